#include "protocol/frame_ring.h"

namespace nimo {

std::vector<std::uint8_t> EncodeFrameFence(std::uint64_t client_handle) {
  std::vector<std::uint8_t> out(kFrameFencePayloadSize, 0);
  EncodeSurfaceHead(SurfaceHead{0, 0, 0, 0}, out.data());
  WriteU64(out.data() + kSurfaceHeadSize, client_handle);
  return out;
}

void EncodeFrameReady3(const FrameReady3Fields& f, std::uint8_t* out) {
  EncodeSurfaceHead(SurfaceHead{f.surface_id, f.slot, f.flags, 0}, out);
  WriteU64(out + 16, f.client_handle);
  WriteU32(out + 24, f.width);
  WriteU32(out + 28, f.height);
  WriteU32(out + 32, f.format);
  WriteU32(out + 36, 0);
  WriteU64(out + 40, f.fence_value);
  WriteU64(out + 48, f.paint_time);
  WriteU64(out + 56, f.frame_number);
}

std::vector<std::uint8_t> EncodeFrameReady3(const FrameReady3Fields& fields) {
  std::vector<std::uint8_t> out(kFrameReady3PayloadSize);
  EncodeFrameReady3(fields, out.data());
  return out;
}

SurfaceHead FrameReleaseHead(std::uint32_t surface_id, std::uint32_t slot) {
  return SurfaceHead{surface_id, slot, 0, 0};
}

bool DecodeFrameFence(const std::uint8_t* payload, std::size_t length, std::uint64_t* client_handle) {
  if (payload == nullptr || length < kFrameFencePayloadSize) return false;
  *client_handle = ReadU64(payload + kSurfaceHeadSize);
  return true;
}

bool DecodeFrameReady3(const std::uint8_t* payload, std::size_t length, FrameReady3Fields* out) {
  if (payload == nullptr || length < kFrameReady3PayloadSize) return false;
  const SurfaceHead head = DecodeSurfaceHead(payload);
  FrameReady3Fields f;
  f.surface_id = head.surface_id;
  f.slot = head.param1;
  f.flags = head.param2;
  f.client_handle = ReadU64(payload + 16);
  f.width = ReadU32(payload + 24);
  f.height = ReadU32(payload + 28);
  f.format = ReadU32(payload + 32);
  f.fence_value = ReadU64(payload + 40);
  f.paint_time = ReadU64(payload + 48);
  f.frame_number = ReadU64(payload + 56);
  *out = f;
  return true;
}

bool DecodeFrameRelease(const std::uint8_t* payload, std::size_t length, std::uint32_t* surface_id,
                        std::uint32_t* slot) {
  if (payload == nullptr || length < kSurfaceHeadSize) return false;
  const SurfaceHead head = DecodeSurfaceHead(payload);
  *surface_id = head.surface_id;
  *slot = head.param1;
  return true;
}

std::uint32_t ParseFrameRingSize(std::string_view value) {
  if (value.empty() || value.size() > 2) return 0;
  std::uint32_t n = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return n >= kFrameRingMin && n <= kFrameRingMax ? n : 0;
}

}  // namespace nimo
