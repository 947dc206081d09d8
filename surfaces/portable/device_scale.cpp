#include "surfaces/portable/device_scale.h"

#include <cmath>
#include <limits>

namespace nimo {

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return -FloorDiv(-a, b); }

std::int32_t Saturate(std::int64_t v) {
  if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

std::uint32_t Usable(std::uint32_t milli) { return ValidScale(milli) ? milli : kScaleOne; }

}  // namespace

bool ValidScale(std::uint32_t milli) { return milli >= kScaleMin && milli <= kScaleMax; }

float ScaleFactor(std::uint32_t milli) { return static_cast<float>(Usable(milli)) / 1000.0f; }

std::int32_t DipLength(std::uint32_t physical, std::uint32_t milli) {
  if (physical == 0) return 0;
  const std::int64_t dip = CeilDiv(static_cast<std::int64_t>(physical) * 1000, Usable(milli));
  return Saturate(dip < 1 ? 1 : dip);
}

std::int32_t PaintLength(std::int32_t dip, std::uint32_t milli) {
  if (dip <= 0) return 0;
  const float scaled = static_cast<float>(dip) * ScaleFactor(milli);
  return Saturate(static_cast<std::int64_t>(std::ceil(static_cast<double>(scaled))));
}

std::int32_t TextureLength(std::int32_t painted, std::uint32_t physical, std::uint32_t milli) {
  if (milli == kScaleOne || physical == 0 || painted <= 0) return painted;
  return static_cast<std::uint32_t>(painted) > physical ? Saturate(physical) : painted;
}

std::int32_t PixelToDip(std::int32_t pixel, std::uint32_t milli) {
  return Saturate(FloorDiv(static_cast<std::int64_t>(pixel) * 1000, Usable(milli)));
}

cef_rect_t DipRectToPixels(const cef_rect_t& dip, std::uint32_t milli) {
  const std::int64_t m = Usable(milli);
  const std::int64_t left = FloorDiv(static_cast<std::int64_t>(dip.x) * m, 1000);
  const std::int64_t top = FloorDiv(static_cast<std::int64_t>(dip.y) * m, 1000);
  const std::int64_t right =
      CeilDiv((static_cast<std::int64_t>(dip.x) + (dip.width > 0 ? dip.width : 0)) * m, 1000);
  const std::int64_t bottom =
      CeilDiv((static_cast<std::int64_t>(dip.y) + (dip.height > 0 ? dip.height : 0)) * m, 1000);
  cef_rect_t out;
  out.x = Saturate(left);
  out.y = Saturate(top);
  out.width = dip.width > 0 ? Saturate(right - left) : 0;
  out.height = dip.height > 0 ? Saturate(bottom - top) : 0;
  return out;
}

}  // namespace nimo
