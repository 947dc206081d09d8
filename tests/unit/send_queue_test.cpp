#include "link/portable/send_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "protocol/frame_ring.h"
#include "protocol/wire.h"

namespace nimo {
namespace {

using Bytes = std::vector<std::uint8_t>;

// `marker` goes into the width, so frames can be told apart in Describe.
Bytes FrameReady(std::uint32_t surface, std::uint32_t marker, std::uint64_t handle = 0x40) {
  const Bytes p = BuildFrameReadyPayload(FrameReadyPayload{surface, marker, 0, 0, handle});
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
  FrameReady3Fields ring;
  if (h.type == kMsgFrameReady3 && DecodeFrameReady3(p, h.length, &ring))
    return "R" + std::to_string(ring.surface_id) + "." + std::to_string(ring.slot);
  if (h.type == kMsgFrameFence) return "Fence";
  if (h.type == kMsgFrameReady && h.length >= 24) {
    const FrameReadyPayload r = DecodeFrameReady(p);
    return "F" + std::to_string(r.surface_id) + "." + std::to_string(r.width);
  }
  return "T" + std::to_string(h.type) + ":" + std::string(p + 16, p + h.length);
}

std::string Drain(SendQueue& q) {
  std::string all;
  QueuedFrame f;
  while (q.PopFront(&f)) all += (all.empty() ? "" : " ") + Describe(f.bytes);
  return all;
}

// A queue entry of a ready-made frame, classified as the generic send classifies one.
QueuedFrame Entry(Bytes bytes) {
  QueuedFrame f;
  const FrameHeader h = DecodeFrameHeader(bytes.data());
  ClassifyReadyMade(h.type, bytes.data() + kFrameHeaderSize, h.length, &f);
  f.bytes = std::move(bytes);
  return f;
}

bool Push(SendQueue& q, Bytes bytes, bool* coalesced = nullptr) {
  QueuedFrame f = Entry(std::move(bytes));
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
  QueuedFrame f;
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
  QueuedFrame short_frame = Entry(BuildFrame(kMsgFrameReady, p.data(), 23));
  EXPECT_FALSE(short_frame.frame_ready);
  EXPECT_FALSE(q.Push(short_frame).coalesced);
  EXPECT_EQ(q.size(), 3u);
}

TEST(SendQueue, FullQueueDropsTheNewestButReplacementStillFits) {
  SendQueue q;
  QueuedFrame f;
  // Surface 2's handle was announced already (its first frame went out).
  ASSERT_TRUE(Push(q, FrameReady(2, 0)));
  ASSERT_TRUE(q.PopFront(&f));
  for (int i = 0; i < 63; ++i) ASSERT_TRUE(Push(q, Text(kMsgConsoleLine, 0, std::to_string(i))));
  ASSERT_TRUE(Push(q, FrameReady(3, 1)));
  ASSERT_EQ(q.size(), kSendQueueCapacity);

  QueuedFrame extra = Entry(Text(kMsgConsoleLine, 0, "65th"));
  const SendPushResult dropped = q.Push(extra);
  EXPECT_FALSE(dropped.queued);
  EXPECT_FALSE(extra.bytes.empty()) << "a dropped frame stays with the caller";
  EXPECT_FALSE(Push(q, FrameReady(2, 1))) << "a FrameReady of a known handle with nothing to replace is dropped too";

  bool coalesced = false;
  EXPECT_TRUE(Push(q, FrameReady(3, 2), &coalesced));
  EXPECT_TRUE(coalesced);
  EXPECT_EQ(q.size(), kSendQueueCapacity);

  ASSERT_TRUE(q.PopFront(&f));
  EXPECT_EQ(Describe(f.bytes), "T4:0") << "queued frames are never evicted";
  std::string last;
  while (q.PopFront(&f)) last = Describe(f.bytes);
  EXPECT_EQ(last, "F3.2");
}

// A texture re-created while the client is not reading: the client can close only the
// handles it is told of, so the first frame of every new handle stays queued, even past
// the bound; later frames of one handle still coalesce, and frames of a handle already
// told replace nothing but themselves.
TEST(SendQueue, FirstFrameOfEveryNewHandleIsKept) {
  SendQueue q;
  QueuedFrame f;
  ASSERT_TRUE(Push(q, FrameReady(1, 1, 0x10)));
  ASSERT_TRUE(q.PopFront(&f));  // handle 0x10 announced
  for (int i = 0; i < 64; ++i) ASSERT_TRUE(Push(q, Text(kMsgConsoleLine, 0, std::to_string(i))));
  EXPECT_FALSE(Push(q, FrameReady(1, 2, 0x10))) << "a known handle's frame obeys the bound";

  bool coalesced = true;
  EXPECT_TRUE(Push(q, FrameReady(1, 3, 0x20), &coalesced)) << "a new handle passes the bound";
  EXPECT_FALSE(coalesced);
  EXPECT_TRUE(Push(q, FrameReady(1, 4, 0x20), &coalesced)) << "its later frame replaces it";
  EXPECT_TRUE(coalesced);
  EXPECT_TRUE(Push(q, FrameReady(1, 5, 0x30), &coalesced)) << "the next handle does not replace it";
  EXPECT_FALSE(coalesced);
  EXPECT_TRUE(Push(q, FrameReady(0, 1, 0x30))) << "handles are told apart per surface";
  EXPECT_EQ(q.size(), 64u + 3u);
  EXPECT_FALSE(Push(q, Text(kMsgConsoleLine, 0, "over"))) << "everything else still sees a full queue";

  for (int i = 0; i < 64; ++i) ASSERT_TRUE(q.PopFront(&f));
  EXPECT_EQ(Drain(q), "F1.4 F1.5 F0.1");

  // Once told, a handle's pending frame is an ordinary one: the next handle replaces it.
  ASSERT_TRUE(Push(q, FrameReady(1, 6, 0x30)));
  EXPECT_TRUE(Push(q, FrameReady(1, 7, 0x40), &coalesced));
  EXPECT_TRUE(coalesced);
  EXPECT_EQ(Drain(q), "F1.7");
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

// The ring's reports: each FrameReady3 holds its own slot, so none replaces another (the
// client would hold a slot it never heard of); on a full queue one of a known slot texture
// is dropped (its sender frees the slot), while the fence and a new slot texture's first
// frame carry a handle and pass.
TEST(SendQueue, RingFramesAreNeverCoalescedAndOnlyHandleFreeOnesDrop) {
  SendQueue q;
  const auto ring = [](std::uint32_t surface, std::uint32_t slot, bool new_texture) {
    FrameReady3Fields f;
    f.surface_id = surface;
    f.slot = slot;
    f.flags = new_texture ? kFrameReady3NewTexture : 0;
    const Bytes p = EncodeFrameReady3(f);
    return BuildFrame(kMsgFrameReady3, p.data(), kFrameReady3PayloadSize);
  };
  bool coalesced = true;
  ASSERT_TRUE(Push(q, ring(0, 0, false), &coalesced));
  ASSERT_TRUE(Push(q, ring(0, 1, false), &coalesced));
  EXPECT_FALSE(coalesced);
  ASSERT_TRUE(Push(q, FrameReady(0, 1)));
  ASSERT_TRUE(Push(q, ring(0, 2, false), &coalesced));
  EXPECT_FALSE(coalesced) << "a FrameReady3 is not a FrameReady";
  EXPECT_EQ(Drain(q), "R0.0 R0.1 F0.1 R0.2");

  for (int i = 0; i < 64; ++i) ASSERT_TRUE(Push(q, Text(kMsgConsoleLine, 0, std::to_string(i))));
  EXPECT_FALSE(Push(q, ring(1, 0, false)));
  const Bytes fence = EncodeFrameFence(0x44);
  EXPECT_TRUE(Push(q, BuildFrame(kMsgFrameFence, fence.data(), kFrameFencePayloadSize)));
  EXPECT_TRUE(Push(q, ring(1, 1, true)));
  QueuedFrame f;
  for (int i = 0; i < 64; ++i) ASSERT_TRUE(q.PopFront(&f));
  EXPECT_EQ(Drain(q), "Fence R1.1");
}

}  // namespace
}  // namespace nimo
