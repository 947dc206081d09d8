// The frame ring of protocol 3, both ways: the FrameFence and FrameReady3 reports and the
// FrameRelease command. A client asks for a ring with --nimomp-frame-ring=<2..4> beside
// --nimomp-protocol=3; without both every frame goes as FrameReady into the one texture.
//
//   FrameFence (report 10): SurfaceHead {0, 0, 0, 0}, then u64 the NT handle of a shared
//     fence, valid in the client (24 bytes). Before any FrameReady3, and again with a new
//     fence after the engine made a new device.
//   FrameReady3 (report 11): SurfaceHead {surface, slot, flags, 0}, then u64 the slot's
//     texture handle (valid in the client), u32 width, u32 height, u32 format (as in
//     FrameReady), u32 0, u64 fence value (reached once the copy is done on the GPU), u64
//     paint time (the engine's performance counter when the paint began), u64 frame number
//     (per surface, one up for every painted frame: a gap means replaced frames); 64 bytes.
//     Flags bit 0: the slot's texture is new, its handle is to be opened (and the slot's
//     previous handle, if any, closed).
//   FrameRelease (command 115): SurfaceHead {surface, slot, 0, 0}: the client reads that
//     slot no more until a FrameReady3 announces it again.
//
// Pure functions; any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "protocol/wire.h"

namespace nimo {

constexpr std::uint16_t kMsgFrameFence = 10;
constexpr std::uint16_t kMsgFrameReady3 = 11;
constexpr std::uint16_t kMsgFrameRelease = 115;

constexpr std::uint32_t kFrameFencePayloadSize = 24;
constexpr std::uint32_t kFrameReady3PayloadSize = 64;
constexpr std::uint32_t kFrameReady3NewTexture = 1;  // flags bit 0

// Slots per surface a client may ask for.
constexpr std::uint32_t kFrameRingMin = 2;
constexpr std::uint32_t kFrameRingMax = 4;

struct FrameReady3Fields {
  std::uint32_t surface_id = 0;
  std::uint32_t slot = 0;
  std::uint32_t flags = 0;
  std::uint64_t client_handle = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t format = 0;
  std::uint64_t fence_value = 0;
  std::uint64_t paint_time = 0;
  std::uint64_t frame_number = 0;
};

std::vector<std::uint8_t> EncodeFrameFence(std::uint64_t client_handle);
void EncodeFrameReady3(const FrameReady3Fields& fields, std::uint8_t* out);  // 64 bytes
std::vector<std::uint8_t> EncodeFrameReady3(const FrameReady3Fields& fields);
SurfaceHead FrameReleaseHead(std::uint32_t surface_id, std::uint32_t slot);

// False for a payload shorter than its layout; longer payloads are read up to their layout.
bool DecodeFrameFence(const std::uint8_t* payload, std::size_t length, std::uint64_t* client_handle);
bool DecodeFrameReady3(const std::uint8_t* payload, std::size_t length, FrameReady3Fields* out);
bool DecodeFrameRelease(const std::uint8_t* payload, std::size_t length, std::uint32_t* surface_id,
                        std::uint32_t* slot);

// The ring size for the value of --nimomp-frame-ring: 2 to 4 as asked; 0 (no ring) for
// an absent or empty value, anything but plain decimal digits, or a number outside 2..4.
std::uint32_t ParseFrameRingSize(std::string_view value);

}  // namespace nimo
