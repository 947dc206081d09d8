#include "surfaces/portable/popup_place.h"

#include <algorithm>

namespace nimo {

namespace {

// The start of a span of `length` moved inside [0, limit): not past the far edge, then not
// before 0.
std::int64_t PlaceSpan(std::int64_t start, std::int64_t length, std::int64_t limit) {
  return std::max<std::int64_t>(0, std::min(start, limit - length));
}

}  // namespace

PopupCopy PlanPopupCopy(const cef_rect_t& rect, std::int32_t popup_width, std::int32_t popup_height,
                        std::int32_t texture_width, std::int32_t texture_height) {
  PopupCopy copy;
  if (rect.width <= 0 || rect.height <= 0 || popup_width <= 0 || popup_height <= 0 || texture_width <= 0 ||
      texture_height <= 0)
    return copy;
  const std::int64_t x = PlaceSpan(rect.x, rect.width, texture_width);
  const std::int64_t y = PlaceSpan(rect.y, rect.height, texture_height);
  const std::int64_t width = std::min<std::int64_t>({rect.width, popup_width, texture_width - x});
  const std::int64_t height = std::min<std::int64_t>({rect.height, popup_height, texture_height - y});
  if (width <= 0 || height <= 0) return copy;
  copy.visible = true;
  copy.source = {0, 0, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
  copy.dest_x = static_cast<std::uint32_t>(x);
  copy.dest_y = static_cast<std::uint32_t>(y);
  return copy;
}

bool ViewCopyReachesPopup(const CopyPlan& plan, const PopupCopy& popup) {
  if (!popup.visible) return false;
  if (plan.full_copy) return true;
  const std::uint32_t left = popup.dest_x;
  const std::uint32_t top = popup.dest_y;
  const std::uint32_t right = left + popup.source.right;
  const std::uint32_t bottom = top + popup.source.bottom;
  for (std::size_t i = 0; i < plan.box_count; ++i) {
    const CopyBox& b = plan.boxes[i];
    if (b.left < right && left < b.right && b.top < bottom && top < b.bottom) return true;
  }
  return false;
}

}  // namespace nimo
