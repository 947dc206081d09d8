// Where a popup widget of a page (the open list of a <select>, which the engine paints as
// a picture of its own) is drawn in the surface's texture, and whether a copy of the view
// has painted over it. Pure functions; used on the UI thread only.
#pragma once
#include <cstdint>

#include "base/portable/engine_abi.h"
#include "surfaces/portable/copy_plan.h"

namespace nimo {

// One copy of the popup's own pixels into the surface's texture: `source` is a region of
// the popup's pixels, starting at their (0, 0); the destination point is (dest_x, dest_y).
struct PopupCopy {
  bool visible = false;  // false: no pixel of the popup lands in the texture
  CopyBox source = {};
  std::uint32_t dest_x = 0;
  std::uint32_t dest_y = 0;
};

// The copy that draws a popup announced at `rect` (view coordinates, which may reach past
// the view), whose pixels are popup_width x popup_height, into a texture of
// texture_width x texture_height. The rectangle is first moved back inside the texture: one
// reaching past the right or bottom edge is shifted left or up, then a negative x or y
// becomes 0, so one wider or taller than the texture starts at 0. The copy is then clipped
// to the texture and to the pixels there are (a paint smaller than the rectangle leaves
// the rest to the view). Not visible when the rectangle, the pixels or the texture are
// empty. Computed in 64 bits: no input overflows.
PopupCopy PlanPopupCopy(const cef_rect_t& rect, std::int32_t popup_width, std::int32_t popup_height,
                        std::int32_t texture_width, std::int32_t texture_height);

// Whether a view copy planned as `plan` wrote any pixel where `popup` is drawn: a full
// copy always does, a partial one when one of its boxes overlaps the popup's.
bool ViewCopyReachesPopup(const CopyPlan& plan, const PopupCopy& popup);

}  // namespace nimo
