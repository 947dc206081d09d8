#include "link/portable/send_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/portable/wire.h"

namespace nimo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FrameReady(std::uint32_t surface, std::uint32_t marker) {
  const Bytes p = BuildFrameReadyPayload(FrameReadyPayload{surface, marker, 0, 0, 0});
  return BuildFrame(kMsgFrameReady, p.data(), 24);
}

Bytes Text(std::uint16_t type, std::uint32_t surface, const std::string& text) {
  const Bytes p = BuildSurfaceTextPayload(surface, text);
  return BuildFrame(type, p.data(), static_cast<std::uint32_t>(p.size()));
}

// One readable token per frame so the order can be compared as a whole.
std::string Describe(const Bytes& f) {
  const FrameHeader h = DecodeFrameHeader(f.data());
  const std::uint8_t* p = f.data() + kFrameHeaderSize;
  if (h.type == kMsgFrameReady && h.length >= 24) {
    const FrameReadyPayload r = DecodeFrameReady(p);
    return "F" + std::to_string(r.surface_id) + "." + std::to_string(r.width);
  }
  return "T" + std::to_string(h.type) + ":" + std::string(p + 16, p + h.length);
}

std::string Drain(SendQueue& q) {
  std::string all;
  Bytes f;
  while (q.PopFront(&f)) all += (all.empty() ? "" : " ") + Describe(f);
  return all;
}

bool Push(SendQueue& q, Bytes f, bool* coalesced = nullptr) {
  const SendPushResult r = q.Push(f);
  if (coalesced) *coalesced = r.coalesced;
  return r.queued;
}

TEST(SendQueue, FirstInFirstOut) {
  SendQueue q;
  EXPECT_TRUE(Push(q, Text(kMsgConsoleLine, 0, "a")));
  EXPECT_TRUE(Push(q, Text(kMsgLoadEvent, 1, "b")));
  EXPECT_TRUE(Push(q, FrameReady(2, 1)));
  EXPECT_EQ(Drain(q), "T4:a T3:b F2.1");
  Bytes f;
  EXPECT_FALSE(q.PopFront(&f));
}

TEST(SendQueue, CoalescedFrameReadyJoinsAtTheEnd) {
  SendQueue q;
  bool coalesced = true;
  Push(q, FrameReady(0, 1), &coalesced);
  EXPECT_FALSE(coalesced);
  Push(q, Text(kMsgLoadEvent, 0, "load"));
  Push(q, FrameReady(1, 1));
  Push(q, FrameReady(0, 2), &coalesced);
  EXPECT_TRUE(coalesced);
  // The old surface-0 frame is gone, the load event kept its place, the new frame is last.
  EXPECT_EQ(Drain(q), "T3:load F1.1 F0.2");
}

TEST(SendQueue, OtherSurfacesAndShortFrameReadiesAreNotCoalesced) {
  SendQueue q;
  bool coalesced = true;
  Push(q, FrameReady(0, 1));
  Push(q, FrameReady(1, 1), &coalesced);
  EXPECT_FALSE(coalesced) << "surface 1 must not replace surface 0";
  const Bytes p = BuildFrameReadyPayload(FrameReadyPayload{0, 9, 0, 0, 0});
  Bytes short_frame = BuildFrame(kMsgFrameReady, p.data(), 23);
  EXPECT_FALSE(q.Push(short_frame).coalesced);
  EXPECT_EQ(q.size(), 3u);
}

TEST(SendQueue, FullQueueDropsTheNewestButReplacementStillFits) {
  SendQueue q;
  for (int i = 0; i < 63; ++i) ASSERT_TRUE(Push(q, Text(kMsgConsoleLine, 0, std::to_string(i))));
  ASSERT_TRUE(Push(q, FrameReady(3, 1)));
  ASSERT_EQ(q.size(), kSendQueueCapacity);

  Bytes extra = Text(kMsgConsoleLine, 0, "65th");
  const SendPushResult dropped = q.Push(extra);
  EXPECT_FALSE(dropped.queued);
  EXPECT_FALSE(extra.empty()) << "a dropped frame stays with the caller";
  EXPECT_FALSE(Push(q, FrameReady(2, 1))) << "a FrameReady with nothing to replace is dropped too";

  bool coalesced = false;
  EXPECT_TRUE(Push(q, FrameReady(3, 2), &coalesced));
  EXPECT_TRUE(coalesced);
  EXPECT_EQ(q.size(), kSendQueueCapacity);

  Bytes f;
  ASSERT_TRUE(q.PopFront(&f));
  EXPECT_EQ(Describe(f), "T4:0") << "queued frames are never evicted";
  std::string last;
  while (q.PopFront(&f)) last = Describe(f);
  EXPECT_EQ(last, "F3.2");
}

TEST(SendQueue, AtMostOnePendingFrameReadyPerSurface) {
  SendQueue q;
  for (std::uint32_t round = 1; round <= 100; ++round) {
    if (round % 10 == 0) Push(q, Text(kMsgConsoleLine, 0, std::to_string(round)));
    for (std::uint32_t s = 0; s < 4; ++s) ASSERT_TRUE(Push(q, FrameReady(s, round)));
  }
  EXPECT_EQ(q.size(), 4u + 10u);
  const std::string all = Drain(q);
  const std::string tail = "T4:100 F0.100 F1.100 F2.100 F3.100";
  ASSERT_GE(all.size(), tail.size());
  EXPECT_EQ(all.substr(all.size() - tail.size()), tail);
}

}  // namespace
}  // namespace nimo
