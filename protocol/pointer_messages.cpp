#include "protocol/pointer_messages.h"

#include <algorithm>
#include <utility>

#include "protocol/wire.h"

namespace nimo {

namespace {

void PutU32(std::uint32_t v, std::uint8_t* out) {
  out[0] = static_cast<std::uint8_t>(v);
  out[1] = static_cast<std::uint8_t>(v >> 8);
  out[2] = static_cast<std::uint8_t>(v >> 16);
  out[3] = static_cast<std::uint8_t>(v >> 24);
}

std::uint32_t GetU32(const std::uint8_t* in) {
  return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
         static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

}  // namespace

std::vector<std::uint8_t> EncodeCursorChanged(std::uint32_t surface_id, std::uint32_t type, std::int32_t hotspot_x,
                                              std::int32_t hotspot_y, std::uint32_t width, std::uint32_t height,
                                              const std::vector<std::uint8_t>& pixels) {
  const bool custom = type == kCursorTypeCustom;
  std::vector<std::uint8_t> out(kSurfaceHeadSize + (custom ? 8 + pixels.size() : 0));
  SurfaceHead head;
  head.surface_id = surface_id;
  head.param1 = type;
  head.param2 = static_cast<std::uint32_t>(hotspot_x);
  head.param3 = static_cast<std::uint32_t>(hotspot_y);
  EncodeSurfaceHead(head, out.data());
  if (custom) {
    PutU32(width, out.data() + kSurfaceHeadSize);
    PutU32(height, out.data() + kSurfaceHeadSize + 4);
    if (!pixels.empty()) std::copy(pixels.begin(), pixels.end(), out.begin() + kSurfaceHeadSize + 8);
  }
  return out;
}

std::vector<std::uint8_t> EncodeTooltip(std::uint32_t surface_id, const std::string& text) {
  std::vector<std::uint8_t> out(kSurfaceHeadSize + text.size());
  SurfaceHead head = {};
  head.surface_id = surface_id;
  EncodeSurfaceHead(head, out.data());
  std::copy(text.begin(), text.end(), out.begin() + kSurfaceHeadSize);
  return out;
}

bool DecodeCursorChanged(const std::uint8_t* payload, std::size_t length, CursorReport* out) {
  if (payload == nullptr || length < kSurfaceHeadSize) return false;
  const SurfaceHead head = DecodeSurfaceHead(payload);
  CursorReport r;
  r.surface_id = head.surface_id;
  r.type = head.param1;
  r.hotspot_x = static_cast<std::int32_t>(head.param2);
  r.hotspot_y = static_cast<std::int32_t>(head.param3);
  if (r.type == kCursorTypeCustom) {
    if (length < kSurfaceHeadSize + 8) return false;
    r.width = GetU32(payload + kSurfaceHeadSize);
    r.height = GetU32(payload + kSurfaceHeadSize + 4);
    if (r.width == 0 || r.height == 0 || r.width > kCursorPictureMaxSide || r.height > kCursorPictureMaxSide) {
      return false;
    }
    const std::size_t bytes = static_cast<std::size_t>(r.width) * r.height * 4;
    if (length != kSurfaceHeadSize + 8 + bytes) return false;
    r.pixels.assign(payload + kSurfaceHeadSize + 8, payload + length);
  }
  *out = std::move(r);
  return true;
}

bool DecodeSetScale(const std::uint8_t* payload, std::size_t length, std::uint32_t* surface_id,
                    std::uint32_t* scale_milli) {
  if (payload == nullptr || length < kSurfaceHeadSize) return false;
  const SurfaceHead head = DecodeSurfaceHead(payload);
  *surface_id = head.surface_id;
  *scale_milli = head.param1;
  return true;
}

bool DecodeTooltip(const std::uint8_t* payload, std::size_t length, std::uint32_t* surface_id, std::string* text) {
  if (payload == nullptr || length < kSurfaceHeadSize) return false;
  *surface_id = DecodeSurfaceHead(payload).surface_id;
  text->assign(reinterpret_cast<const char*>(payload) + kSurfaceHeadSize, length - kSurfaceHeadSize);
  return true;
}

}  // namespace nimo
