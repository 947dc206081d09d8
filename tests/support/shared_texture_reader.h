// Reads a shared texture the way the reference client does: its own device, the handle
// opened with OpenSharedResource1, a staging copy, Map, rows copied out. Works against the
// stand-in GPU and the real runtime alike. Test threads.
#pragma once
#include <cstdint>
#include <vector>

namespace nimo_test {

struct SharedFrame {
  bool opened = false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint32_t> pixels;  // 0xAARRGGBB, rows packed
  std::uint32_t at(std::uint32_t x, std::uint32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// `handle` must be valid in this process (the value a FrameReady announced to it).
SharedFrame ReadSharedTexture(std::uint64_t handle);

}  // namespace nimo_test
