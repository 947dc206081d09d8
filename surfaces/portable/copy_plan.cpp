#include "surfaces/portable/copy_plan.h"

#include <algorithm>

namespace nimo {

CopyPlan PlanAcceleratedCopy(bool full_copy_pending, const cef_rect_t* rects, std::size_t count,
                             std::int32_t texture_width, std::int32_t texture_height) {
  CopyPlan plan;
  if (full_copy_pending || rects == nullptr || count == 0 || count > kMaxDirtyRects) {
    plan.full_copy = true;
    return plan;
  }
  const std::int64_t width = texture_width;
  const std::int64_t height = texture_height;
  for (std::size_t i = 0; i < count; ++i) {
    const cef_rect_t& r = rects[i];
    const std::int64_t left = std::max<std::int64_t>(r.x, 0);
    const std::int64_t top = std::max<std::int64_t>(r.y, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t{r.x} + r.width, width);
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{r.y} + r.height, height);
    if (right <= left || bottom <= top) continue;
    plan.boxes[plan.box_count++] = {static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(top),
                                    static_cast<std::uint32_t>(right),
                                    static_cast<std::uint32_t>(bottom)};
  }
  return plan;
}

}  // namespace nimo
