#include "protocol/keyboard_messages.h"

#include <utility>

#include "protocol/wire.h"

namespace nimo {

SurfaceHead TextInputStateHead(std::uint32_t surface_id, std::uint32_t mode) {
  return SurfaceHead{surface_id, mode, 0, 0};
}

std::vector<std::uint8_t> EncodeTextInputState(std::uint32_t surface_id, std::uint32_t mode) {
  std::vector<std::uint8_t> payload(kSurfaceHeadSize);
  EncodeSurfaceHead(TextInputStateHead(surface_id, mode), payload.data());
  return payload;
}

std::vector<std::uint8_t> EncodeImeCompositionBounds(std::uint32_t surface_id, std::uint32_t from, std::uint32_t to,
                                                     const ImeRect* rects, std::size_t count) {
  const std::size_t room = (kMaxPayloadSize - kSurfaceHeadSize) / kImeRectSize;
  if (!rects || count > room) count = rects ? room : 0;
  std::vector<std::uint8_t> payload(kSurfaceHeadSize + count * kImeRectSize);
  EncodeSurfaceHead(SurfaceHead{surface_id, from, to, static_cast<std::uint32_t>(count)}, payload.data());
  std::uint8_t* at = payload.data() + kSurfaceHeadSize;
  for (std::size_t i = 0; i < count; ++i, at += kImeRectSize) {
    WriteU32(at, static_cast<std::uint32_t>(rects[i].x));
    WriteU32(at + 4, static_cast<std::uint32_t>(rects[i].y));
    WriteU32(at + 8, static_cast<std::uint32_t>(rects[i].width));
    WriteU32(at + 12, static_cast<std::uint32_t>(rects[i].height));
  }
  return payload;
}

bool DecodeTextInputState(const std::uint8_t* payload, std::size_t length, std::uint32_t* surface_id,
                          std::uint32_t* mode) {
  if (!payload || length < kSurfaceHeadSize) return false;
  const SurfaceHead head = DecodeSurfaceHead(payload);
  *surface_id = head.surface_id;
  *mode = head.param1;
  return true;
}

bool DecodeImeCompositionBounds(const std::uint8_t* payload, std::size_t length, ImeBoundsReport* out) {
  if (!payload || length < kSurfaceHeadSize) return false;
  const SurfaceHead head = DecodeSurfaceHead(payload);
  if (head.param3 > (length - kSurfaceHeadSize) / kImeRectSize) return false;
  ImeBoundsReport r;
  r.surface_id = head.surface_id;
  r.from = head.param1;
  r.to = head.param2;
  r.rects.resize(head.param3);
  const std::uint8_t* at = payload + kSurfaceHeadSize;
  for (ImeRect& rect : r.rects) {
    rect.x = static_cast<std::int32_t>(ReadU32(at));
    rect.y = static_cast<std::int32_t>(ReadU32(at + 4));
    rect.width = static_cast<std::int32_t>(ReadU32(at + 8));
    rect.height = static_cast<std::int32_t>(ReadU32(at + 12));
    at += kImeRectSize;
  }
  *out = std::move(r);
  return true;
}

}  // namespace nimo
