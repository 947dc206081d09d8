// Frames of a real page: the DevTools screenshot (base64 PNG) decoded into BGRA pixels,
// and the rectangles that changed since the previous frame, found by comparing the two
// (the browser reports damage but not where).
//
// Threads: any; no shared state.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "testbed/engine/engine_decls.h"
#include "testbed/engine/frame_memory.h"

namespace standin {

struct DecodedFrame {
  int width = 0;
  int height = 0;
  FramePixels pixels;  // 0xAARRGGBB words, that is BGRA bytes in memory
};

// False when the text is no base64 PNG.
bool DecodeScreenshot(const std::string& base64_png, DecodedFrame* out);

// The changed areas of `now` against `before` (same size), as a few rectangles: 64x64
// tiles are compared, each run of changed tiles in a tile row becomes the exact box of
// its changed pixels, and more than 16 boxes are joined into one. Empty when nothing
// changed.
std::vector<cef_rect_t> ChangedRects(const FramePixels& before, const FramePixels& now,
                                     int width, int height);

}  // namespace standin
