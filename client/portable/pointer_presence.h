// Which surfaces the pointer is inside, per window, so that each surface hears that the
// pointer left it: when it moves out of the surface's rectangle, onto another surface of
// the same window, or out of the window. Pages rely on that for hover effects and menus
// that close on leaving.
//
// Pure; one instance per host library session, used under the session's lock.
#pragma once
#include <cstdint>

#include "protocol/wire.h"

namespace nimo {
namespace client {

class PointerPresence {
 public:
  // The surface's size in window pixels as last asked for; 0 sides: unknown, taken as
  // covering the whole window.
  void SetSize(std::uint32_t surface, std::uint32_t width, std::uint32_t height);

  struct MoveOutcome {
    bool forward = true;         // the move goes to `surface`
    std::uint32_t leave_mask = 0;  // bit s: surface s is left and gets a leave first
  };
  // A mouse move the program gives `surface` in `window` at (x, y) relative to the
  // surface's top-left corner. A move outside the surface's rectangle with a button held
  // is still the surface's (the page keeps its press or drag); without one it is a leave.
  MoveOutcome Moved(std::uint32_t surface, std::uintptr_t window, int x, int y, bool button_held);
  // The pointer left `window`: every surface it was inside there is left.
  std::uint32_t LeftWindow(std::uintptr_t window);

 private:
  std::uint32_t width_[kSurfaceSlotCount] = {};
  std::uint32_t height_[kSurfaceSlotCount] = {};
  std::uintptr_t inside_[kSurfaceSlotCount] = {};  // the window the pointer is inside the surface in, 0: none
};

}  // namespace client
}  // namespace nimo
