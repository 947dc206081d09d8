#include "testbed/engine/frame_memory.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace standin {
namespace {

// Every block starts with this header; the caller's bytes follow it, 16-byte aligned as
// malloc's are.
struct alignas(16) Header {
  std::size_t size;  // the caller's bytes
  std::size_t from_system;
};

Header* HeaderOf(void* block) { return static_cast<Header*>(block) - 1; }

}  // namespace

void* FrameBlockAlloc(std::size_t size) {
  if (size > static_cast<std::size_t>(-1) - sizeof(Header)) return nullptr;
  const bool from_system = size >= kFrameBlockMinimum;
  void* raw = from_system ? VirtualAlloc(nullptr, sizeof(Header) + size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE)
                          : std::malloc(sizeof(Header) + size);
  if (raw == nullptr) return nullptr;
  Header* h = static_cast<Header*>(raw);
  h->size = size;
  h->from_system = from_system ? 1 : 0;
  return h + 1;
}

void FrameBlockFree(void* block) {
  if (block == nullptr) return;
  Header* h = HeaderOf(block);
  if (h->from_system) {
    VirtualFree(h, 0, MEM_RELEASE);
  } else {
    std::free(h);
  }
}

void* FrameBlockRealloc(void* block, std::size_t size) {
  if (block == nullptr) return FrameBlockAlloc(size);
  Header* h = HeaderOf(block);
  if (size <= h->size && (h->from_system != 0) == (size >= kFrameBlockMinimum)) {
    h->size = size;  // shrinking in place; the tail stays with the block until it is freed
    return block;
  }
  void* grown = FrameBlockAlloc(size);
  if (grown == nullptr) return nullptr;  // like realloc: the old block stays valid
  std::memcpy(grown, block, h->size < size ? h->size : size);
  FrameBlockFree(block);
  return grown;
}

}  // namespace standin
