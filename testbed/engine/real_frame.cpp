#include "testbed/engine/real_frame.h"

#include <algorithm>
#include <cstring>

// The decoded image and the inflated data are frame-sized too (frame_memory.h).
#define STBI_MALLOC(size) ::standin::FrameBlockAlloc(size)
#define STBI_REALLOC(block, size) ::standin::FrameBlockRealloc(block, size)
#define STBI_FREE(block) ::standin::FrameBlockFree(block)
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb_image.h>

namespace standin {
namespace {

constexpr int kTile = 64;
constexpr std::size_t kMaxRects = 16;

int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::vector<unsigned char, FrameAllocator<unsigned char>> Base64Decode(const std::string& text) {
  std::vector<unsigned char, FrameAllocator<unsigned char>> out;
  out.reserve(text.size() / 4 * 3);
  std::uint32_t bits = 0;
  int count = 0;
  for (unsigned char c : text) {
    int v = Base64Value(c);
    if (v < 0) continue;  // padding and line breaks
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    if (++count == 4) {
      out.push_back(static_cast<unsigned char>(bits >> 16));
      out.push_back(static_cast<unsigned char>(bits >> 8));
      out.push_back(static_cast<unsigned char>(bits));
      bits = 0;
      count = 0;
    }
  }
  if (count == 2) out.push_back(static_cast<unsigned char>(bits >> 4));
  if (count == 3) {
    out.push_back(static_cast<unsigned char>(bits >> 10));
    out.push_back(static_cast<unsigned char>(bits >> 2));
  }
  return out;
}

}  // namespace

bool DecodeScreenshot(const std::string& base64_png, DecodedFrame* out) {
  const auto png = Base64Decode(base64_png);
  int w = 0, h = 0, channels = 0;
  unsigned char* rgba = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &w, &h, &channels, 4);
  if (!rgba) return false;
  out->width = w;
  out->height = h;
  out->pixels.resize(static_cast<std::size_t>(w) * h);
  const unsigned char* s = rgba;
  for (std::uint32_t& p : out->pixels) {
    p = (static_cast<std::uint32_t>(s[3]) << 24) | (static_cast<std::uint32_t>(s[0]) << 16) |
        (static_cast<std::uint32_t>(s[1]) << 8) | s[2];
    s += 4;
  }
  stbi_image_free(rgba);
  return true;
}

std::vector<cef_rect_t> ChangedRects(const FramePixels& before, const FramePixels& now,
                                     int width, int height) {
  std::vector<cef_rect_t> rects;
  for (int ty = 0; ty < height; ty += kTile) {
    const int y1 = std::min(height, ty + kTile);
    bool open = false;
    int bx0 = 0, by0 = 0, bx1 = 0, by1 = 0;  // the open run's box, end exclusive
    for (int tx = 0; tx < width; tx += kTile) {
      const int x1 = std::min(width, tx + kTile);
      int cx0 = x1, cy0 = y1, cx1 = tx, cy1 = ty;
      for (int y = ty; y < y1; ++y) {
        const std::uint32_t* a = before.data() + static_cast<std::size_t>(y) * width;
        const std::uint32_t* b = now.data() + static_cast<std::size_t>(y) * width;
        if (std::memcmp(a + tx, b + tx, static_cast<std::size_t>(x1 - tx) * 4) == 0) continue;
        int first = tx;
        while (a[first] == b[first]) ++first;
        int last = x1 - 1;
        while (a[last] == b[last]) --last;
        cx0 = std::min(cx0, first);
        cx1 = std::max(cx1, last + 1);
        cy0 = std::min(cy0, y);
        cy1 = y + 1;
      }
      const bool changed = cx1 > cx0;
      if (changed && open) {
        bx0 = std::min(bx0, cx0);
        bx1 = std::max(bx1, cx1);
        by0 = std::min(by0, cy0);
        by1 = std::max(by1, cy1);
      } else if (changed) {
        open = true;
        bx0 = cx0, by0 = cy0, bx1 = cx1, by1 = cy1;
      } else if (open) {
        rects.push_back(cef_rect_t{bx0, by0, bx1 - bx0, by1 - by0});
        open = false;
      }
    }
    if (open) rects.push_back(cef_rect_t{bx0, by0, bx1 - bx0, by1 - by0});
  }
  if (rects.size() > kMaxRects) {
    int x0 = width, y0 = height, x1 = 0, y1 = 0;
    for (const cef_rect_t& r : rects) {
      x0 = std::min(x0, r.x);
      y0 = std::min(y0, r.y);
      x1 = std::max(x1, r.x + r.width);
      y1 = std::max(y1, r.y + r.height);
    }
    rects.assign(1, cef_rect_t{x0, y0, x1 - x0, y1 - y0});
  }
  return rects;
}

}  // namespace standin
