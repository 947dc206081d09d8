// The stand-in's frame-sized buffers: realloc keeps the bytes whichever side of the
// threshold a block moves to (the PNG decoder grows its buffers that way), and a big
// block is the system's own allocation, given back whole when freed, so frames of
// changing sizes leave nothing behind in the process.
#include "testbed/engine/frame_memory.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

namespace {

using standin::FrameBlockAlloc;
using standin::FrameBlockFree;
using standin::FrameBlockRealloc;
using standin::kFrameBlockMinimum;

void Fill(void* block, std::size_t size, unsigned seed) {
  auto* p = static_cast<unsigned char*>(block);
  for (std::size_t i = 0; i < size; ++i) p[i] = static_cast<unsigned char>((i * 131 + seed) >> 3);
}

bool Holds(const void* block, std::size_t size, unsigned seed) {
  const auto* p = static_cast<const unsigned char*>(block);
  for (std::size_t i = 0; i < size; ++i) {
    if (p[i] != static_cast<unsigned char>((i * 131 + seed) >> 3)) return false;
  }
  return true;
}

DWORD StateOf(const void* address) {
  MEMORY_BASIC_INFORMATION m = {};
  if (VirtualQuery(address, &m, sizeof m) != sizeof m) return 0;
  return m.State;
}

TEST(StandinFrameMemory, ReallocKeepsTheBytesAcrossTheThresholdBothWays) {
  const std::size_t small = 1000, big = 3 * kFrameBlockMinimum + 17, bigger = 2 * 1024 * 1024 + 5;
  void* block = FrameBlockAlloc(small);
  ASSERT_NE(nullptr, block);
  Fill(block, small, 1);
  block = FrameBlockRealloc(block, big);  // into the system's memory
  ASSERT_NE(nullptr, block);
  EXPECT_TRUE(Holds(block, small, 1));
  Fill(block, big, 2);
  block = FrameBlockRealloc(block, bigger);
  ASSERT_NE(nullptr, block);
  EXPECT_TRUE(Holds(block, big, 2));
  block = FrameBlockRealloc(block, big);  // shrinking stays in place
  ASSERT_NE(nullptr, block);
  EXPECT_TRUE(Holds(block, big, 2));
  block = FrameBlockRealloc(block, 64);  // back to malloc
  ASSERT_NE(nullptr, block);
  EXPECT_TRUE(Holds(block, 64, 2));
  FrameBlockFree(block);
  FrameBlockFree(nullptr);
  void* fresh = FrameBlockRealloc(nullptr, 10);
  ASSERT_NE(nullptr, fresh);
  FrameBlockFree(fresh);
}

TEST(StandinFrameMemory, BigBlocksGoBackToTheSystemAndFramesOfEveryViewSizeLeaveNothing) {
  void* block = FrameBlockAlloc(kFrameBlockMinimum);
  ASSERT_NE(nullptr, block);
  std::memset(block, 0x5A, kFrameBlockMinimum);
  EXPECT_EQ(static_cast<DWORD>(MEM_COMMIT), StateOf(block));
  FrameBlockFree(block);
  EXPECT_EQ(static_cast<DWORD>(MEM_FREE), StateOf(block)) << "a freed frame stayed in the process";

  // Frames as a page that is resized gives them: each size in turn, copied as the
  // previous frame is kept, freed on the next.
  static const int sizes[][2] = {{320, 200}, {800, 450}, {480, 300}, {640, 360}};
  standin::FramePixels last;
  for (int round = 0; round < 200; ++round) {
    const int* s = sizes[round % 4];
    standin::FramePixels frame(static_cast<std::size_t>(s[0]) * s[1], 0xFF000000u | round);
    last = frame;
    ASSERT_EQ(0xFF000000u | round, last.back());
  }
  const void* kept = last.data();
  last = standin::FramePixels();
  EXPECT_EQ(static_cast<DWORD>(MEM_FREE), StateOf(kept));
}

}  // namespace
