// The frame ring: its messages on the wire, its switch, and the slot decisions a surface
// makes with them.
#include "surfaces/portable/frame_ring.h"

#include <gtest/gtest.h>

#include <vector>

#include "client/nimo_protocol.h"
#include "protocol/frame_ring.h"

namespace nimo {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FrameRingWire, ReportsAndReleaseCrossTheWire) {
  FrameReady3Fields f;
  f.surface_id = 2;
  f.slot = 3;
  f.flags = kFrameReady3NewTexture;
  f.client_handle = 0x1122334455667788ull;
  f.width = 800;
  f.height = 600;
  f.format = kFrameFormatBgra;
  f.fence_value = 0x0102030405060708ull;
  f.paint_time = 0xA0B0C0D0E0F00010ull;
  f.frame_number = 77;
  const Bytes payload = EncodeFrameReady3(f);
  ASSERT_EQ(payload.size(), 64u);
  // The documented offsets: handle at 16, size and format at 24..35, a zero, then the
  // fence value, the paint time and the frame number.
  EXPECT_EQ(payload[4], 3);
  EXPECT_EQ(payload[8], 1);
  EXPECT_EQ(payload[16], 0x88);
  EXPECT_EQ(payload[23], 0x11);
  EXPECT_EQ(ReadU32(payload.data() + 24), 800u);
  EXPECT_EQ(ReadU32(payload.data() + 36), 0u);
  EXPECT_EQ(payload[40], 0x08);
  EXPECT_EQ(payload[55], 0xA0);
  EXPECT_EQ(ReadU64(payload.data() + 56), 77u);

  const Bytes frame = BuildFrame(kMsgFrameReady3, payload.data(), 64);
  protocol::Report r;
  ASSERT_EQ(protocol::DecodeReport(frame.data(), frame.size(), &r), protocol::DecodeStatus::kOk);
  EXPECT_STREQ(protocol::ReportName(r.type), "FrameReady3");
  EXPECT_EQ(r.surface_id, 2u);
  EXPECT_EQ(r.slot, 3u);
  EXPECT_EQ(r.flags, kFrameReady3NewTexture);
  EXPECT_EQ(r.client_handle, f.client_handle);
  EXPECT_EQ(r.width, 800u);
  EXPECT_EQ(r.height, 600u);
  EXPECT_EQ(r.format, kFrameFormatBgra);
  EXPECT_EQ(r.fence_value, f.fence_value);
  EXPECT_EQ(r.paint_time, f.paint_time);
  EXPECT_EQ(r.frame_number, 77u);
  const Bytes cut = BuildFrame(kMsgFrameReady3, payload.data(), 63);
  EXPECT_EQ(protocol::DecodeReport(cut.data(), cut.size(), &r), protocol::DecodeStatus::kShortPayload);

  const Bytes fence_payload = EncodeFrameFence(0xABCD);
  ASSERT_EQ(fence_payload.size(), 24u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(fence_payload[i], 0) << "the head is all zero";
  const Bytes fence = BuildFrame(kMsgFrameFence, fence_payload.data(), 24);
  ASSERT_EQ(protocol::DecodeReport(fence.data(), fence.size(), &r), protocol::DecodeStatus::kOk);
  EXPECT_EQ(r.client_handle, 0xABCDu);
  EXPECT_STREQ(protocol::ReportName(r.type), "FrameFence");
  const Bytes short_fence = BuildFrame(kMsgFrameFence, fence_payload.data(), 16);
  EXPECT_EQ(protocol::DecodeReport(short_fence.data(), short_fence.size(), &r), protocol::DecodeStatus::kShortPayload);

  const Bytes release = protocol::FrameRelease(1, 2);
  ASSERT_EQ(release.size(), 12u + 16u);
  const ReceivedFrame received = ValidateReceived(ReadStatus::kComplete, release.data(), release.size());
  EXPECT_EQ(DecodeCommand(received, 2).action, CommandAction::kIgnore) << "version 2 has no ring";
  const DecodedCommand c = DecodeCommand(received, 3);
  ASSERT_EQ(c.action, CommandAction::kVersion3);
  EXPECT_EQ(c.type, kMsgFrameRelease);
  std::uint32_t surface = 9, slot = 9;
  ASSERT_TRUE(DecodeFrameRelease(c.payload, c.length, &surface, &slot));
  EXPECT_EQ(surface, 1u);
  EXPECT_EQ(slot, 2u);
  EXPECT_FALSE(DecodeFrameRelease(c.payload, 15, &surface, &slot));

  // The reports exist on a version-3 link only.
  EXPECT_FALSE(ReportAllowed(kMsgFrameFence, 2));
  EXPECT_FALSE(ReportAllowed(kMsgFrameReady3, 2));
  EXPECT_TRUE(ReportAllowed(kMsgFrameReady3, 3));
}

TEST(FrameRingWire, RingSizeSwitch) {
  EXPECT_EQ(ParseFrameRingSize("2"), 2u);
  EXPECT_EQ(ParseFrameRingSize("4"), 4u);
  EXPECT_EQ(ParseFrameRingSize("03"), 3u);
  for (const char* off : {"", "1", "5", "0", "-3", "3 ", "x", "+2", "2.0", "100000000002"})
    EXPECT_EQ(ParseFrameRingSize(off), 0u) << off;
}

// Delivers whatever waits into the slot the ring picks, as the engine does after a copy.
int DeliverNext(FrameRing& ring, RingDelivery* out = nullptr, bool queued = true) {
  const int slot = ring.NextSlot();
  if (slot < 0) return slot;
  const RingDelivery d = ring.Deliver(static_cast<std::uint32_t>(slot));
  ring.Sent(d, queued);
  if (out) *out = d;
  return slot;
}

TEST(FrameRingSlots, WritesOnlyFreeSlotsAndKeepsTheNewestFrameWhileAllAreHeld) {
  FrameRing ring;
  ring.Configure(3);
  ASSERT_TRUE(ring.active());
  EXPECT_EQ(ring.NextSlot(), -1) << "nothing painted, nothing to write";

  RingDelivery d;
  std::vector<int> written;
  for (std::uint64_t t = 1; t <= 3; ++t) {
    ring.OnPaint(100 * t);
    written.push_back(DeliverNext(ring, &d));
    EXPECT_EQ(d.frame_number, t);
    EXPECT_EQ(d.paint_time, 100 * t);
  }
  EXPECT_EQ(written, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(ring.held_count(), 3u);

  // Every slot held: frames wait, the newest wins, the replaced ones are counted.
  ring.OnPaint(400);
  ring.OnPaint(500);
  ring.OnPaint(600);
  EXPECT_TRUE(ring.pending());
  EXPECT_EQ(ring.NextSlot(), -1);
  EXPECT_EQ(ring.replaced(), 2u);

  EXPECT_FALSE(ring.Release(7)) << "out of range";
  ASSERT_TRUE(ring.Release(1));
  EXPECT_FALSE(ring.Release(1)) << "a second release of the same frame changes nothing";
  EXPECT_EQ(DeliverNext(ring, &d), 1) << "the released slot takes the waiting frame";
  EXPECT_EQ(d.frame_number, 6u) << "the newest, numbered so that the gap shows the replaced ones";
  EXPECT_EQ(d.paint_time, 600u);
  EXPECT_FALSE(ring.pending());

  // Free slots are taken in turn after the one written last, never a held one.
  ASSERT_TRUE(ring.Release(0));
  ASSERT_TRUE(ring.Release(2));
  ring.OnPaint(700);
  EXPECT_EQ(DeliverNext(ring), 2);
  ring.OnPaint(800);
  EXPECT_EQ(DeliverNext(ring), 0);
  ring.OnPaint(900);
  EXPECT_EQ(DeliverNext(ring), -1);
  EXPECT_EQ(ring.frame_number(), 9u);
}

TEST(FrameRingSlots, NewTexturesAreAnnouncedUntilAReportCarryingThemWasQueued) {
  FrameRing ring;
  ring.Configure(2);
  ring.TextureMade(0);
  ring.OnPaint(1);
  RingDelivery d;
  EXPECT_EQ(DeliverNext(ring, &d, /*queued=*/false), 0);
  EXPECT_TRUE(d.new_texture);
  // Not queued: the slot is free again and the frame waits for it.
  EXPECT_FALSE(ring.held(0));
  EXPECT_TRUE(ring.pending());
  EXPECT_EQ(DeliverNext(ring, &d), 1);
  EXPECT_EQ(d.frame_number, 1u);
  EXPECT_FALSE(d.new_texture) << "slot 1's texture was never announced as new: it was not made";
  ring.TextureMade(0);
  ring.OnPaint(2);
  EXPECT_EQ(DeliverNext(ring, &d), 0);
  EXPECT_TRUE(d.new_texture) << "the failed report did not tell the client";
  ring.Release(0);
  ring.OnPaint(3);
  EXPECT_EQ(DeliverNext(ring, &d), 0);
  EXPECT_FALSE(d.new_texture);
}

TEST(FrameRingSlots, SizesOutsideTheRangeMeanNoRingAndDroppingKeepsHoldsAndNumbers) {
  FrameRing ring;
  for (std::uint32_t n : {0u, 1u, 5u, 100u}) {
    ring.Configure(n);
    EXPECT_FALSE(ring.active()) << n;
    ring.OnPaint(1);
    EXPECT_EQ(ring.NextSlot(), -1);
    EXPECT_FALSE(ring.Release(0));
  }
  ring.Configure(4);
  ring.OnPaint(1);
  DeliverNext(ring);
  ring.OnPaint(2);
  ring.DropPending();  // the surface's browser closed
  EXPECT_EQ(ring.NextSlot(), -1);
  EXPECT_TRUE(ring.held(0)) << "the client may still read what it holds";
  EXPECT_EQ(ring.OnPaint(3), 3u) << "numbers never go back";
}

}  // namespace
}  // namespace nimo
