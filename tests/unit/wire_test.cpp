#include "protocol/wire.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace nimo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(std::uint32_t magic, std::uint16_t type, std::uint32_t length, std::size_t payload_bytes) {
  Bytes f(kFrameHeaderSize + payload_bytes, 0xAB);
  EncodeFrameHeader(FrameHeader{magic, type, 0, length}, f.data());
  return f;
}

ReceivedFrame Receive(const Bytes& f) { return ValidateReceived(ReadStatus::kComplete, f.data(), f.size()); }

TEST(WireBytes, HelloFromProcess4660IsTheDocumentedTwentyBytes) {
  const Bytes payload = BuildHelloPayload(4660);
  const Bytes frame = BuildFrame(kMsgHello, payload.data(), static_cast<std::uint32_t>(payload.size()));
  const Bytes expected = {0x4F, 0x4D, 0x49, 0x4E, 0x01, 0x00, 0x00, 0x00, 0x08, 0x00,
                          0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x34, 0x12, 0x00, 0x00};
  EXPECT_EQ(frame, expected);
}

TEST(WireBytes, FieldsAreLittleEndianAtTheirOffsets) {
  std::uint8_t buf[kInputRecordSize];
  EncodeInputRecord(InputRecord{3, 0x20A, 0xFF880000ull, 0x1122334455667788ull, 0x80, 0xDEADBEEF}, buf);
  EXPECT_EQ(ReadU32(buf), 3u);
  EXPECT_EQ(buf[4], 0x0A);
  EXPECT_EQ(buf[5], 0x02);
  EXPECT_EQ(ReadU64(buf + 8), 0xFF880000ull);
  EXPECT_EQ(buf[16], 0x88);
  EXPECT_EQ(buf[23], 0x11);
  EXPECT_EQ(ReadU32(buf + 24), 0x80u);
  const InputRecord back = DecodeInputRecord(buf);
  EXPECT_EQ(back.lparam, 0x1122334455667788ull);
  EXPECT_EQ(back.reserved, 0xDEADBEEFu);

  std::uint8_t fr[kFrameReadyPayloadSize];
  EncodeFrameReady(FrameReadyPayload{1, 1280, 720, 1, 0x0000000100000ABCull}, fr);
  EXPECT_EQ(ReadU32(fr + 4), 1280u);
  EXPECT_EQ(ReadU32(fr + 8), 720u);
  EXPECT_EQ(fr[16], 0xBC);
  EXPECT_EQ(fr[20], 0x01);
  const FrameReadyPayload p = DecodeFrameReady(fr);
  EXPECT_EQ(p.client_handle, 0x0000000100000ABCull);
  EXPECT_EQ(p.format, 1u);
}

TEST(WireBuild, RefusesPayloadsAboveTheLimitAndZeroFillsWithoutPayload) {
  EXPECT_TRUE(BuildFrame(kMsgConsoleLine, nullptr, kMaxPayloadSize + 1).empty());
  const Bytes max = BuildFrame(kMsgConsoleLine, nullptr, kMaxPayloadSize);
  ASSERT_EQ(max.size(), kMaxFrameSize);
  EXPECT_EQ(DecodeFrameHeader(max.data()).length, kMaxPayloadSize);
  EXPECT_EQ(max.back(), 0);
  const Bytes empty = BuildFrame(kMsgHello, nullptr, 0);
  EXPECT_EQ(empty.size(), kFrameHeaderSize);
  EXPECT_EQ(ReadU16(empty.data() + 6), 0) << "reserved is written as 0";
}

TEST(WireReceive, ShutdownFrameOfTwelveBytes) {
  const Bytes exact = {0x4F, 0x4D, 0x49, 0x4E, 0x6D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(Receive(exact).outcome, ReceiveOutcome::kShutdown);
  // Shutdown ignores any payload it carries.
  EXPECT_EQ(Receive(Frame(kFrameMagic, kMsgShutdown, 5, 5)).outcome, ReceiveOutcome::kShutdown);
}

TEST(WireReceive, SameHeaderWithAnotherTypeIsValidButIgnored) {
  const ReceivedFrame r = Receive(Frame(kFrameMagic, kMsgResizeSurface, 0, 0));
  ASSERT_EQ(r.outcome, ReceiveOutcome::kOk);
  EXPECT_EQ(r.type, kMsgResizeSurface);
  EXPECT_EQ(DecodeCommand(r).action, CommandAction::kIgnore);
}

TEST(WireReceive, ClosedCases) {
  const Bytes f = Frame(kFrameMagic, kMsgNavigate, 16, 16);
  EXPECT_EQ(ValidateReceived(ReadStatus::kFailed, f.data(), f.size()).outcome, ReceiveOutcome::kClosed);
  EXPECT_EQ(ValidateReceived(ReadStatus::kComplete, f.data(), 0).outcome, ReceiveOutcome::kClosed);
  EXPECT_EQ(ValidateReceived(ReadStatus::kComplete, f.data(), 11).outcome, ReceiveOutcome::kClosed);
  EXPECT_EQ(ValidateReceived(ReadStatus::kComplete, nullptr, 0).outcome, ReceiveOutcome::kClosed);
}

TEST(WireReceive, BadFrameCases) {
  Bytes reversed = Frame(kFrameMagic, kMsgNavigate, 16, 16);
  std::swap(reversed[0], reversed[3]);
  std::swap(reversed[1], reversed[2]);
  EXPECT_EQ(Receive(reversed).outcome, ReceiveOutcome::kBadFrame) << "\"NIMO\" instead of \"OMIN\"";

  EXPECT_EQ(Receive(Frame(kFrameMagic, kMsgNavigate, 16, 17)).outcome, ReceiveOutcome::kBadFrame);
  EXPECT_EQ(Receive(Frame(kFrameMagic, kMsgNavigate, 16, 15)).outcome, ReceiveOutcome::kBadFrame);
  // Even a Shutdown needs a consistent size.
  EXPECT_EQ(Receive(Frame(kFrameMagic, kMsgShutdown, 0, 1)).outcome, ReceiveOutcome::kBadFrame);
  // One byte over the limit fails even when that many bytes arrived.
  EXPECT_EQ(Receive(Frame(kFrameMagic, kMsgExecuteScript, kMaxPayloadSize + 1, kMaxPayloadSize + 1)).outcome,
            ReceiveOutcome::kBadFrame);
  // A message that did not fit the receive buffer is malformed, not a closed pipe.
  const Bytes head = Frame(kFrameMagic, kMsgExecuteScript, 16, 16);
  EXPECT_EQ(ValidateReceived(ReadStatus::kTooLong, head.data(), head.size()).outcome, ReceiveOutcome::kBadFrame);
}

TEST(WireReceive, LargestPayloadIsAccepted) {
  const Bytes f = Frame(kFrameMagic, kMsgExecuteScript, kMaxPayloadSize, kMaxPayloadSize);
  const ReceivedFrame r = Receive(f);
  ASSERT_EQ(r.outcome, ReceiveOutcome::kOk);
  EXPECT_EQ(r.length, kMaxPayloadSize);
  const DecodedCommand c = DecodeCommand(r);
  EXPECT_EQ(c.action, CommandAction::kSurface);
  EXPECT_EQ(c.text_length, kMaxPayloadSize - kSurfaceHeadSize);
}

TEST(WireCommand, SurfaceCommandsCarryHeadAndText) {
  Bytes payload(16 + 3);
  EncodeSurfaceHead(SurfaceHead{2, 800, 600, 9}, payload.data());
  std::memcpy(payload.data() + 16, "abc", 3);
  const Bytes f = BuildFrame(kMsgCreateSurface, payload.data(), static_cast<std::uint32_t>(payload.size()));
  const DecodedCommand c = DecodeCommand(Receive(f));
  ASSERT_EQ(c.action, CommandAction::kSurface);
  EXPECT_EQ(c.type, kMsgCreateSurface);
  EXPECT_EQ(c.head.surface_id, 2u);
  EXPECT_EQ(c.head.param1, 800u);
  EXPECT_EQ(c.head.param2, 600u);
  EXPECT_EQ(c.head.param3, 9u);
  EXPECT_EQ(std::string(c.text, c.text_length), "abc");

  // Exactly 16 bytes: a command with an empty text (CreateSurface then opens about:blank).
  const Bytes bare = BuildFrame(kMsgCreateSurface, payload.data(), 16);
  const DecodedCommand b = DecodeCommand(Receive(bare));
  ASSERT_EQ(b.action, CommandAction::kSurface);
  EXPECT_EQ(b.text_length, 0u);

  // 15 bytes: silently ignored.
  EXPECT_EQ(DecodeCommand(Receive(BuildFrame(kMsgNavigate, payload.data(), 15))).action, CommandAction::kIgnore);
}

TEST(WireCommand, TypesOutsideTheCatalogueAreIgnored) {
  const Bytes payload(16, 0);
  for (std::uint16_t type : {0, 1, 5, 99, 110, 0xFFFF}) {
    const ReceivedFrame r = Receive(BuildFrame(type, payload.data(), 16));
    ASSERT_EQ(r.outcome, ReceiveOutcome::kOk) << type;
    EXPECT_EQ(DecodeCommand(r).action, CommandAction::kIgnore) << type;
  }
  for (std::uint16_t type : {100, 101, 102, 103, 104, 105, 108}) {
    EXPECT_EQ(DecodeCommand(Receive(BuildFrame(type, payload.data(), 16))).action, CommandAction::kSurface) << type;
  }
}

// Version 2 stays version 2: commands from 110 up are ignored unless the link negotiated
// version 3, which hands them on with their payload as it came and changes nothing for the
// version-2 commands; Hello says the version.
TEST(WireCommand, CommandsFrom110UpOnlyOnAVersionThreeLink) {
  const Bytes payload = {1, 2, 3};
  for (std::uint16_t type : {110, 111, 200, 0xFFFF}) {
    const Bytes frame = BuildFrame(type, payload.data(), 3);
    const ReceivedFrame r = Receive(frame);
    EXPECT_EQ(DecodeCommand(r, 2).action, CommandAction::kIgnore) << type;
    const DecodedCommand v3 = DecodeCommand(r, 3);
    ASSERT_EQ(v3.action, CommandAction::kVersion3) << type;
    EXPECT_EQ(v3.type, type);
    ASSERT_EQ(v3.length, 3u);
    EXPECT_EQ(Bytes(v3.payload, v3.payload + v3.length), payload);
  }
  EXPECT_EQ(DecodeCommand(Receive(BuildFrame(110, nullptr, 0)), 3).action, CommandAction::kVersion3)
      << "an empty payload is the version-3 table's to judge";
  const Bytes head(16, 0);
  for (std::uint16_t type : {0, 5, 99, 109}) {
    EXPECT_EQ(DecodeCommand(Receive(BuildFrame(type, head.data(), 16)), 3).action, CommandAction::kIgnore) << type;
  }
  EXPECT_EQ(DecodeCommand(Receive(BuildFrame(kMsgReload, head.data(), 16)), 3).action, CommandAction::kSurface);

  EXPECT_EQ(BuildHelloPayload(4660, 3), Bytes({0x03, 0x00, 0x00, 0x00, 0x34, 0x12, 0x00, 0x00}));
  for (std::uint16_t type = 1; type <= 5; ++type) EXPECT_TRUE(ReportAllowed(type, 2)) << type;
  EXPECT_FALSE(ReportAllowed(6, 2));
  EXPECT_FALSE(ReportAllowed(0xFFFF, 2));
  EXPECT_TRUE(ReportAllowed(6, 3));
}

TEST(WireCommand, InputNeedsThirtyTwoBytesAndIgnoresTheRest) {
  Bytes payload(40, 0xEE);
  EncodeInputRecord(InputRecord{1, 0x201, 7, 0xFFFF0010ull, 4, 0}, payload.data());
  for (std::uint16_t type : {kMsgInputEvent, kMsgInputEventAlt}) {
    EXPECT_EQ(DecodeCommand(Receive(BuildFrame(type, payload.data(), 31))).action, CommandAction::kIgnore);
    const DecodedCommand c = DecodeCommand(Receive(BuildFrame(type, payload.data(), 40)));
    ASSERT_EQ(c.action, CommandAction::kInput);
    EXPECT_EQ(c.input.surface_id, 1u);
    EXPECT_EQ(c.input.message, 0x201u);
    EXPECT_EQ(c.input.wparam, 7u);
    EXPECT_EQ(c.input.lparam, 0xFFFF0010ull);
    EXPECT_EQ(c.input.modifiers, 4u);
  }
  // An input record may not be shorter just because its type has a 16-byte head elsewhere.
  EXPECT_EQ(DecodeCommand(Receive(BuildFrame(kMsgInputEvent, payload.data(), 16))).action, CommandAction::kIgnore);
}

TEST(WireInput, PositionsAndWheelAreSignedSixteenBit) {
  EXPECT_EQ(LparamX(0xFFFF0010ull), 16);
  EXPECT_EQ(LparamY(0xFFFF0010ull), -1);
  EXPECT_EQ(LparamX(0x0000FFFEull), -2);
  EXPECT_EQ(LparamY(0x7FFF0000ull), 32767);
  EXPECT_EQ(LparamX(0xFFFFFFFF00050006ull), 6) << "bits above 31 do not matter";
  EXPECT_EQ(WheelDelta(0xFF880000ull), -120);
  EXPECT_EQ(WheelDelta(0x00780000ull), 120);
  EXPECT_EQ(WheelDelta(0x0000FFFFull), 0);
}

TEST(WireReports, LoadAndTextPayloads) {
  const Bytes done = BuildLoadFinishedPayload(3);
  ASSERT_EQ(done.size(), 16u);
  const SurfaceHead d = DecodeSurfaceHead(done.data());
  EXPECT_EQ(d.surface_id, 3u);
  EXPECT_EQ(d.param1 | d.param2 | d.param3, 0u);

  const Bytes failed = BuildLoadFailedPayload(1, -105, "http://x/");
  ASSERT_EQ(failed.size(), 16u + 9u);
  const SurfaceHead f = DecodeSurfaceHead(failed.data());
  EXPECT_EQ(f.param1, kLoadEventFailed);
  EXPECT_EQ(static_cast<std::int32_t>(f.param2), -105);
  EXPECT_EQ(f.param3, 0u);
  EXPECT_EQ(std::string(failed.begin() + 16, failed.end()), "http://x/");

  const std::string text("a\x01\x02" "b", 4);
  const Bytes line = BuildSurfaceTextPayload(2, text);
  ASSERT_EQ(line.size(), 20u);
  EXPECT_EQ(DecodeSurfaceHead(line.data()).surface_id, 2u);
  EXPECT_EQ(std::string(line.begin() + 16, line.end()), text);
  EXPECT_EQ(BuildSurfaceTextPayload(0, nullptr, 10).size(), 16u);
}

}  // namespace
}  // namespace nimo
