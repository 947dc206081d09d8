// The decoder of every report the engine sends, for clients: one whole pipe message in,
// its fields out. The layouts are those of protocol/wire.h.
//
// Pure functions; any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/keyboard_messages.h"

namespace nimo {
namespace protocol {

enum class DecodeStatus {
  kOk,
  kTooShort,      // under 12 bytes
  kBadMagic,
  kBadLength,     // length above the limit or not matching the message size
  kShortPayload,  // payload too short for its report type
  kUnknownType,   // a valid frame of a type this decoder does not know
};

struct Report {
  std::uint16_t type = 0;
  // Hello
  std::uint32_t version = 0;
  std::uint32_t engine_pid = 0;
  // every report except Hello
  std::uint32_t surface_id = 0;
  // FrameReady
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t format = 0;
  std::uint64_t client_handle = 0;  // a HANDLE valid in the client process
  // LoadEvent
  std::uint32_t load_kind = 0;
  std::int32_t error_code = 0;  // the web engine's net error code, for kLoadEventFailed
  // LoadEvent (failed URL), ConsoleLine (the line), PageMessage (the whole "NIMOMP|..." text)
  std::string text;
  // TextInputState (protocol 3)
  std::uint32_t input_mode = kInputModeNone;
  // ImeCompositionBounds (protocol 3): the range (0xFFFFFFFF both when there is no
  // composition) and one rectangle per composed character, in the surface texture's pixels.
  std::uint32_t range_from = 0;
  std::uint32_t range_to = 0;
  std::vector<ImeRect> rects;
  // PageCall (protocol 3): the call's id; its JSON {"name","args","origin"} is in `text`.
  std::uint32_t call_id = 0;
  // FrameReady3 (protocol 3, with width, height, format and client_handle above): the
  // slot, flags (kFrameReady3NewTexture), the fence value, the paint time and the frame
  // number. FrameFence: the fence's handle in client_handle.
  std::uint32_t slot = 0;
  std::uint32_t flags = 0;
  std::uint64_t fence_value = 0;
  std::uint64_t paint_time = 0;
  std::uint64_t frame_number = 0;
};

// Decodes one whole message. `out` is reset first; on kShortPayload and kUnknownType its
// type is still set.
DecodeStatus DecodeReport(const void* message, std::size_t size, Report* out);

// "Hello", "FrameReady", ... or "Unknown".
const char* ReportName(std::uint16_t type);

}  // namespace protocol
}  // namespace nimo
