#include "client/portable/pointer_presence.h"

namespace nimo {
namespace client {

void PointerPresence::SetSize(std::uint32_t surface, std::uint32_t width, std::uint32_t height) {
  if (surface >= kSurfaceSlotCount || width == 0 || height == 0) return;
  width_[surface] = width;
  height_[surface] = height;
}

PointerPresence::MoveOutcome PointerPresence::Moved(std::uint32_t surface, std::uintptr_t window, int x, int y,
                                                    bool button_held) {
  MoveOutcome out;
  if (surface >= kSurfaceSlotCount || window == 0) return out;
  const bool sized = width_[surface] != 0;
  const bool inside = !sized || (x >= 0 && y >= 0 && static_cast<std::uint32_t>(x) < width_[surface] &&
                                 static_cast<std::uint32_t>(y) < height_[surface]);
  // Another surface of this window the pointer was in: it came from there.
  for (std::uint32_t s = 0; s < kSurfaceSlotCount; ++s) {
    if (s != surface && inside_[s] == window) {
      out.leave_mask |= 1u << s;
      inside_[s] = 0;
    }
  }
  if (inside || button_held) {
    inside_[surface] = window;
    return out;
  }
  if (inside_[surface] != 0) out.leave_mask |= 1u << surface;
  inside_[surface] = 0;
  out.forward = false;
  return out;
}

std::uint32_t PointerPresence::LeftWindow(std::uintptr_t window) {
  std::uint32_t mask = 0;
  for (std::uint32_t s = 0; s < kSurfaceSlotCount; ++s) {
    if (window != 0 && inside_[s] == window) {
      mask |= 1u << s;
      inside_[s] = 0;
    }
  }
  return mask;
}

}  // namespace client
}  // namespace nimo
