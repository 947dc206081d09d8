// Memory for the Chromium mode's frame-sized buffers (decoded screenshots, the previous
// frame kept for comparison, the frame the view paints from). Every real frame allocates
// and frees a few of these, of whatever size the page has at the moment, on the decoder
// and UI threads. In the C runtime's heap that churn of blocks from a quarter to a few
// MiB leaves free space scattered through the heap that later blocks do not fit, and the
// process's private memory creeps up for as long as frames keep coming. Blocks of
// kFrameBlockMinimum bytes or more therefore come from the system one by one and go back
// to it when freed; smaller ones (a tiny view, stb_image's bookkeeping) use malloc.
//
// Threads: any; a block may be freed on another thread than the one that made it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace standin {

constexpr std::size_t kFrameBlockMinimum = 64 * 1024;

// malloc/realloc/free alike (null for size 0 is not special: a block is returned); a
// block made here must be freed here.
void* FrameBlockAlloc(std::size_t size);
void* FrameBlockRealloc(void* block, std::size_t size);
void FrameBlockFree(void* block);

template <class T>
struct FrameAllocator {
  using value_type = T;
  FrameAllocator() = default;
  template <class U>
  FrameAllocator(const FrameAllocator<U>&) {}
  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    void* p = FrameBlockAlloc(n * sizeof(T));
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t) { FrameBlockFree(p); }
  template <class U>
  bool operator==(const FrameAllocator<U>&) const { return true; }
  template <class U>
  bool operator!=(const FrameAllocator<U>&) const { return false; }
};

// A frame's pixels, 0xAARRGGBB words (BGRA bytes in memory), row after row.
using FramePixels = std::vector<std::uint32_t, FrameAllocator<std::uint32_t>>;

}  // namespace standin
