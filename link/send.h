// The only way to send a report to the client. Each typed send builds its frame here and
// queues it on the writer's bounded send queue (64 frames; a newer FrameReady replaces a
// waiting one of the same surface, see link/portable/send_queue.h), from which the writer
// thread writes it as one pipe message. A sender never waits for the pipe: when the client
// falls behind, frames are dropped, the UI thread never stalls.
//
// Every send returns whether the frame was queued: false, with nothing queued and nothing
// counted, when no link was ever connected or the payload is above the protocol's limit;
// false, counted as dropped, when the queue is full; false, counted as an allocation
// failure and logged, when the frame cannot be allocated. None throws.
//
// Threads: any thread, at any time; before a successful ConnectPipe every send is refused.
// A report type the link's protocol version does not have is refused too, so a version-2
// link carries version-2 reports only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/frame_ring.h"
#include "protocol/keyboard_messages.h"
#include "protocol/pointer_messages.h"
#include "protocol/wire.h"

namespace nimo {

// Hello: the protocol version and this process's id.
bool SendHello(std::uint32_t process_id) noexcept;
// FrameReady: the surface's texture holds a new frame.
bool SendFrameReady(const FrameReadyPayload& frame) noexcept;
// LoadEvent kind 0 (main frame loaded) and kind 2 (a load failed, with its URL).
bool SendLoadFinished(std::uint32_t surface_id) noexcept;
bool SendLoadFailed(std::uint32_t surface_id, std::int32_t error_code, const std::string& url) noexcept;
// A text report, ConsoleLine or PageMessage: the head {surface_id, 0, 0, 0} and the text.
bool SendText(std::uint16_t type, std::uint32_t surface_id, const std::string& text) noexcept;
inline bool SendConsoleLine(std::uint32_t surface_id, const std::string& text) noexcept {
  return SendText(kMsgConsoleLine, surface_id, text);
}
inline bool SendPageMessage(std::uint32_t surface_id, const std::string& text) noexcept {
  return SendText(kMsgPageMessage, surface_id, text);
}

// Protocol 3 (protocol/keyboard_messages.h), refused on a version-2 link like every
// report it does not have. TextInputState: the kind of field that has the keyboard.
bool SendTextInputState(std::uint32_t surface_id, std::uint32_t mode) noexcept;
// ImeCompositionBounds: the composition's range and one rectangle per composed character.
bool SendImeCompositionBounds(std::uint32_t surface_id, std::uint32_t from, std::uint32_t to, const ImeRect* rects,
                              std::size_t count) noexcept;
// Version 3 only (refused on a version-2 link like every report above 5):
// CursorChanged, the surface's cursor type and hotspot, with width x height BGRA `pixels`
// for a custom one (protocol/pointer_messages.h); Tooltip, the text, empty when it goes.
bool SendCursorChanged(std::uint32_t surface_id, std::uint32_t type, std::int32_t hotspot_x, std::int32_t hotspot_y,
                       std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& pixels) noexcept;
inline bool SendTooltip(std::uint32_t surface_id, const std::string& text) noexcept {
  return SendText(kMsgTooltip, surface_id, text);
}

// Version 3 with a frame ring (protocol/frame_ring.h). FrameFence: the shared fence's
// handle in the client. FrameReady3: a slot holds a finished frame. Both are queued even
// when the queue is full while they carry a handle the client has not seen (the fence, a
// new slot texture); any other FrameReady3 may be dropped there, and the caller then frees
// its slot (false).
bool SendFrameFence(std::uint64_t client_handle) noexcept;
bool SendFrameReady3(const FrameReady3Fields& frame) noexcept;

// Any report from ready-made payload bytes (`payload` may be null for zeros), for callers
// that hold a payload already (tests, benchmarks). A FrameReady among them is decoded once
// here so that it coalesces like one of SendFrameReady.
bool SendFrame(std::uint16_t type, const void* payload, std::uint32_t length) noexcept;

// The protocol version the link speaks (protocol/version.h): kProtocolVersion until
// ConnectPipe, then what the client asked for. Code with a version-3 report asks this
// first; every send refuses, uncounted, a report type the link's version does not have.
std::uint32_t LinkProtocolVersion() noexcept;
// Set once by ConnectPipe, before Hello is queued.
void SetLinkProtocolVersion(std::uint32_t version) noexcept;

}  // namespace nimo
