// What an accelerated paint copies from the engine's frame texture into the surface's
// shared texture: the whole resource, or up to kMaxDirtyRects boxes clipped to the
// texture. Pure function; used on the UI thread only.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/portable/engine_abi.h"

namespace nimo {

// More dirty rectangles than this make one full copy instead.
constexpr std::size_t kMaxDirtyRects = 32;

// A region of subresource 0, left/top inclusive, right/bottom exclusive (the fields of a
// D3D11_BOX with front 0 and back 1); the destination point is (left, top).
struct CopyBox {
  std::uint32_t left;
  std::uint32_t top;
  std::uint32_t right;
  std::uint32_t bottom;
};

struct CopyPlan {
  bool full_copy = false;    // CopyResource, then clear the surface's pending flag
  std::size_t box_count = 0;  // partial copy: boxes[0..box_count) in the engine's order
  CopyBox boxes[kMaxDirtyRects] = {};
};

// A full copy when one is pending (a new texture), when `rects` is null, or when `count`
// is 0 or above kMaxDirtyRects. Otherwise each rectangle (x, y, width, height as the
// engine gives them) is clipped to [0, texture_width) x [0, texture_height); rectangles
// that clip to nothing are left out, so a partial plan may hold no box at all. Edges are
// computed in 64 bits: no rectangle, however large or negative, overflows.
CopyPlan PlanAcceleratedCopy(bool full_copy_pending, const cef_rect_t* rects, std::size_t count,
                             std::int32_t texture_width, std::int32_t texture_height);

}  // namespace nimo
