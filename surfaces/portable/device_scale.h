// A surface's device scale: the client sizes the surface and sends input in physical
// pixels (the texture's), the engine lays the page out in device-independent pixels (DIP)
// and paints DIP x scale pixels. These conversions keep the two in step at every scale.
// The scale travels as thousandths (1000 = 1.0) so every conversion here is exact integer
// arithmetic; only PaintLength repeats the engine's own float rounding.
//
// Pure functions; any thread (the surfaces call them on the UI thread).
#pragma once
#include <cstdint>

#include "base/portable/engine_abi.h"

namespace nimo {

constexpr std::uint32_t kScaleOne = 1000;
constexpr std::uint32_t kScaleMin = 500;
constexpr std::uint32_t kScaleMax = 4000;

// Whether a client's scale (thousandths) is accepted: 500 to 4000.
bool ValidScale(std::uint32_t milli);

// The scale as the engine's device_scale_factor.
float ScaleFactor(std::uint32_t milli);

// The view's length in DIP for `physical` pixels: the smallest DIP length whose pixels
// cover them (ceil(physical / scale)), so every pixel of the surface lies on the page.
// At least 1 for a non-zero length.
std::int32_t DipLength(std::uint32_t physical, std::uint32_t milli);

// The pixels the engine paints for `dip` DIP: ceil(dip x scale) in float, as it rounds.
std::int32_t PaintLength(std::int32_t dip, std::uint32_t milli);

// The texture's length for a paint `painted` pixels long on a surface `physical` pixels
// long: at a scale the engine's picture of the rounded-up DIP view can be a pixel longer
// than the surface, and the texture keeps the surface's size; at scale 1 the texture
// follows the paint, as it always did.
std::int32_t TextureLength(std::int32_t painted, std::uint32_t physical, std::uint32_t milli);

// A pixel coordinate of the texture (may be negative or past the view while the mouse is
// captured) as the DIP coordinate it shows: floor(pixel / scale).
std::int32_t PixelToDip(std::int32_t pixel, std::uint32_t milli);

// A rectangle the engine gives in view DIP (a popup widget, a composed character) as the
// texture pixels it covers: floor of the near edges, ceil of the far ones; an empty extent
// stays empty. Saturates
// instead of overflowing.
cef_rect_t DipRectToPixels(const cef_rect_t& dip, std::uint32_t milli);

}  // namespace nimo
