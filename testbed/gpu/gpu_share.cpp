// Device-free access to shared texture sections, for the stand-in engine (which plays the
// engine's own GPU process and hands out shared texture handles) and for tests that check
// pixels without a device of their own.
#include "testbed/gpu/d3d11_objects.h"

#include <cstring>

extern "C" {

HANDLE WINAPI NimoStandinShareTexture(std::uint32_t width, std::uint32_t height, std::uint32_t format,
                                      const void* pixels, std::uint32_t row_pitch) {
  using namespace standin;
  EntryClock clock;
  if (width == 0 || height == 0 || width > 16384 || height > 16384 || !IsKnownFormat(format)) return nullptr;
  if (pixels && row_pitch < width * 4u) return nullptr;
  SectionView view;
  const UINT misc = D3D11_RESOURCE_MISC_SHARED | D3D11_RESOURCE_MISC_SHARED_NTHANDLE;
  if (!CreateSection(width, height, format, D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET, misc, &view))
    return nullptr;
  if (pixels) {
    std::uint32_t pitch = view.header()->row_pitch;
    for (std::uint32_t y = 0; y < height; ++y)
      std::memcpy(view.pixels() + static_cast<size_t>(y) * pitch,
                  static_cast<const std::uint8_t*>(pixels) + static_cast<size_t>(y) * row_pitch,
                  static_cast<size_t>(width) * 4u);
  }
  HANDLE handle = view.section;
  view.section = nullptr;  // handed to the caller; the view alone is unmapped here
  CloseSection(&view);
  return handle;
}

BOOL WINAPI NimoStandinWriteTexture(HANDLE handle, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                                    std::uint32_t height, const void* pixels, std::uint32_t row_pitch) {
  using namespace standin;
  EntryClock clock;
  SectionView view;
  if (!pixels || !OpenSection(handle, &view)) return FALSE;
  const SectionHeader* h = view.header();
  bool inside = view.writable && x <= h->width && y <= h->height && width <= h->width - x &&
                height <= h->height - y && row_pitch >= width * 4u;
  if (inside) {
    for (std::uint32_t r = 0; r < height; ++r)
      std::memcpy(view.pixels() + static_cast<size_t>(y + r) * h->row_pitch + static_cast<size_t>(x) * 4u,
                  static_cast<const std::uint8_t*>(pixels) + static_cast<size_t>(r) * row_pitch,
                  static_cast<size_t>(width) * 4u);
  }
  CloseSection(&view);
  return inside ? TRUE : FALSE;
}

BOOL WINAPI NimoStandinReadTexture(HANDLE handle, std::uint32_t* width, std::uint32_t* height, std::uint32_t* format,
                                   void* out, std::uint64_t out_size) {
  using namespace standin;
  EntryClock clock;
  SectionView view;
  if (!OpenSection(handle, &view)) return FALSE;
  const SectionHeader* h = view.header();
  if (width) *width = h->width;
  if (height) *height = h->height;
  if (format) *format = h->format;
  std::uint64_t need = static_cast<std::uint64_t>(h->width) * h->height * 4u;
  if (out && out_size >= need) {
    for (std::uint32_t r = 0; r < h->height; ++r)
      std::memcpy(static_cast<std::uint8_t*>(out) + static_cast<size_t>(r) * h->width * 4u,
                  view.pixels() + static_cast<size_t>(r) * h->row_pitch, static_cast<size_t>(h->width) * 4u);
  }
  CloseSection(&view);
  return TRUE;
}

}  // extern "C"
