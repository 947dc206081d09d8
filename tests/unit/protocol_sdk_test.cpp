// The client SDK and the engine's wire code are two sides of one contract: every command
// the SDK builds must decode in the engine as meant, and every report the engine builds
// must decode in the SDK.
#include "client/nimo_protocol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "protocol/wire.h"

namespace {

namespace sdk = nimo::protocol;
using Bytes = std::vector<std::uint8_t>;

// The decoded command with its text copied out, since the frame it points into is gone.
struct Seen : nimo::DecodedCommand {
  std::string body;
};

Seen EngineSees(const Bytes& frame) {
  const nimo::ReceivedFrame r = nimo::ValidateReceived(nimo::ReadStatus::kComplete, frame.data(), frame.size());
  EXPECT_EQ(r.outcome, nimo::ReceiveOutcome::kOk);
  Seen seen;
  static_cast<nimo::DecodedCommand&>(seen) = nimo::DecodeCommand(r);
  if (seen.text != nullptr) seen.body.assign(seen.text, seen.text_length);
  seen.text = nullptr;
  return seen;
}

std::string Text(const Seen& c) { return c.body; }

Bytes EngineReport(std::uint16_t type, const Bytes& payload) {
  return nimo::BuildFrame(type, payload.data(), static_cast<std::uint32_t>(payload.size()));
}

TEST(SdkCommands, HeadCommandsDecodeInTheEngine) {
  Seen c = EngineSees(sdk::CreateSurface(2, 800, 600, "https://a.test/"));
  EXPECT_EQ(c.action, nimo::CommandAction::kSurface);
  EXPECT_EQ(c.type, nimo::kMsgCreateSurface);
  EXPECT_EQ(c.head.surface_id, 2u);
  EXPECT_EQ(c.head.param1, 800u);
  EXPECT_EQ(c.head.param2, 600u);
  EXPECT_EQ(Text(c), "https://a.test/");
  EXPECT_EQ(sdk::CreateSurface(1, 0, 0).size(), 12u + 16u) << "no URL: exactly the head";

  c = EngineSees(sdk::Navigate(3, "about:blank"));
  EXPECT_EQ(c.type, nimo::kMsgNavigate);
  EXPECT_EQ(c.head.surface_id, 3u);
  EXPECT_EQ(Text(c), "about:blank");

  c = EngineSees(sdk::ExecuteScript(1, std::string("a\0b", 3)));
  EXPECT_EQ(c.type, nimo::kMsgExecuteScript);
  EXPECT_EQ(c.text_length, 3u) << "texts are counted bytes, not C strings";

  c = EngineSees(sdk::ResizeSurface(1, 1920, 1080));
  EXPECT_EQ(c.type, nimo::kMsgResizeSurface);
  EXPECT_EQ(c.head.param1, 1920u);
  EXPECT_EQ(c.head.param2, 1080u);

  EXPECT_EQ(EngineSees(sdk::SetFocus(1, true)).head.param3, 1u);
  EXPECT_EQ(EngineSees(sdk::SetFocus(1, false)).head.param3, 0u);
  EXPECT_EQ(EngineSees(sdk::SetHidden(2, true)).type, nimo::kMsgSetHidden);
  EXPECT_EQ(EngineSees(sdk::SetHidden(2, true)).head.param3, 1u);
  EXPECT_EQ(EngineSees(sdk::Reload(0, true)).type, nimo::kMsgReload);
  EXPECT_EQ(EngineSees(sdk::Reload(0, false)).head.param3, 0u);
}

TEST(SdkCommands, ShutdownIsTheTwelveDocumentedBytes) {
  const Bytes expected = {0x4F, 0x4D, 0x49, 0x4E, 0x6D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(sdk::Shutdown(), expected);
  const Bytes s = sdk::Shutdown();
  EXPECT_EQ(nimo::ValidateReceived(nimo::ReadStatus::kComplete, s.data(), s.size()).outcome,
            nimo::ReceiveOutcome::kShutdown);
}

TEST(SdkCommands, TextsUpToTheLimitAndNotBeyond) {
  const std::string largest(nimo::kMaxPayloadSize - nimo::kSurfaceHeadSize, 'x');
  const Bytes f = sdk::ExecuteScript(1, largest);
  ASSERT_EQ(f.size(), nimo::kMaxFrameSize);
  EXPECT_EQ(EngineSees(f).text_length, largest.size());
  EXPECT_TRUE(sdk::ExecuteScript(1, largest + "x").empty());
}

TEST(SdkCommands, InputHelpersGiveTheEngineTheirCoordinatesAndMessages) {
  Seen c = EngineSees(sdk::MouseMove(1, -3, 70000 - 65536, nimo::kShiftDown));
  ASSERT_EQ(c.action, nimo::CommandAction::kInput);
  EXPECT_EQ(c.input.message, nimo::kWmMouseMove);
  EXPECT_EQ(nimo::LparamX(c.input.lparam), -3);
  EXPECT_EQ(nimo::LparamY(c.input.lparam), 4464);
  EXPECT_EQ(c.input.modifiers, nimo::kShiftDown);

  c = EngineSees(sdk::MouseWheel(2, 10, -1, -120));
  EXPECT_EQ(c.input.message, nimo::kWmMouseWheel);
  EXPECT_EQ(nimo::WheelDelta(c.input.wparam), -120);
  EXPECT_EQ(c.input.wparam, 0xFF880000ull);
  EXPECT_EQ(c.input.lparam, 0xFFFF000Aull);

  EXPECT_EQ(EngineSees(sdk::MouseClick(1, sdk::MouseButton::kLeft, false, 0, 0)).input.message, 0x201u);
  EXPECT_EQ(EngineSees(sdk::MouseClick(1, sdk::MouseButton::kLeft, true, 0, 0)).input.message, 0x202u);
  EXPECT_EQ(EngineSees(sdk::MouseClick(1, sdk::MouseButton::kRight, true, 0, 0)).input.message, 0x205u);
  EXPECT_EQ(EngineSees(sdk::MouseClick(1, sdk::MouseButton::kMiddle, false, 0, 0)).input.message, 0x207u);
  EXPECT_EQ(EngineSees(sdk::MouseLeave(3)).input.message, 0x2A3u);

  c = EngineSees(sdk::Key(1, false, 0x41, 0x1E0001, nimo::kControlDown));
  EXPECT_EQ(c.input.message, 0x100u);
  EXPECT_EQ(c.input.wparam, 0x41u);
  EXPECT_EQ(c.input.lparam, 0x1E0001u);
  EXPECT_EQ(EngineSees(sdk::Key(1, true, 0x41, 0, 0, true)).input.message, 0x105u);
  c = EngineSees(sdk::Char(1, 0x20AC));
  EXPECT_EQ(c.input.message, 0x102u);
  EXPECT_EQ(c.input.wparam, 0x20ACu);
}

TEST(SdkReports, EngineReportsDecode) {
  sdk::Report r;
  const Bytes hello = EngineReport(nimo::kMsgHello, nimo::BuildHelloPayload(4660));
  ASSERT_EQ(sdk::DecodeReport(hello.data(), hello.size(), &r), sdk::DecodeStatus::kOk);
  EXPECT_EQ(r.type, nimo::kMsgHello);
  EXPECT_EQ(r.version, 2u);
  EXPECT_EQ(r.engine_pid, 4660u);

  const Bytes frame = EngineReport(nimo::kMsgFrameReady,
                                   nimo::BuildFrameReadyPayload({3, 1280, 720, 1, 0xFFFFFFFF00001234ull}));
  ASSERT_EQ(sdk::DecodeReport(frame.data(), frame.size(), &r), sdk::DecodeStatus::kOk);
  EXPECT_EQ(r.surface_id, 3u);
  EXPECT_EQ(r.width, 1280u);
  EXPECT_EQ(r.height, 720u);
  EXPECT_EQ(r.format, nimo::kFrameFormatBgra);
  EXPECT_EQ(r.client_handle, 0xFFFFFFFF00001234ull);

  const Bytes failed = EngineReport(nimo::kMsgLoadEvent, nimo::BuildLoadFailedPayload(1, -105, "http://gone/"));
  ASSERT_EQ(sdk::DecodeReport(failed.data(), failed.size(), &r), sdk::DecodeStatus::kOk);
  EXPECT_EQ(r.load_kind, nimo::kLoadEventFailed);
  EXPECT_EQ(r.error_code, -105);
  EXPECT_EQ(r.text, "http://gone/");

  const Bytes done = EngineReport(nimo::kMsgLoadEvent, nimo::BuildLoadFinishedPayload(2));
  ASSERT_EQ(sdk::DecodeReport(done.data(), done.size(), &r), sdk::DecodeStatus::kOk);
  EXPECT_EQ(r.surface_id, 2u);
  EXPECT_EQ(r.load_kind, nimo::kLoadEventFinished);
  EXPECT_TRUE(r.text.empty());

  const std::string line("WARN|a\x01" "b", 8);
  const Bytes console = EngineReport(nimo::kMsgConsoleLine, nimo::BuildSurfaceTextPayload(1, line));
  ASSERT_EQ(sdk::DecodeReport(console.data(), console.size(), &r), sdk::DecodeStatus::kOk);
  EXPECT_EQ(r.type, nimo::kMsgConsoleLine);
  EXPECT_EQ(r.text, line);
  EXPECT_STREQ(sdk::ReportName(r.type), "ConsoleLine");
}

TEST(SdkReports, MalformedReportsAreNamed) {
  sdk::Report r;
  const Bytes hello = EngineReport(nimo::kMsgHello, nimo::BuildHelloPayload(1));
  EXPECT_EQ(sdk::DecodeReport(hello.data(), 11, &r), sdk::DecodeStatus::kTooShort);
  EXPECT_EQ(sdk::DecodeReport(hello.data(), hello.size() - 1, &r), sdk::DecodeStatus::kBadLength);
  Bytes bad = hello;
  bad[0] = 'N';
  EXPECT_EQ(sdk::DecodeReport(bad.data(), bad.size(), &r), sdk::DecodeStatus::kBadMagic);
  const Bytes short_frame = nimo::BuildFrame(nimo::kMsgFrameReady, nullptr, 23);
  EXPECT_EQ(sdk::DecodeReport(short_frame.data(), short_frame.size(), &r), sdk::DecodeStatus::kShortPayload);
  const Bytes short_text = nimo::BuildFrame(nimo::kMsgPageMessage, nullptr, 15);
  EXPECT_EQ(sdk::DecodeReport(short_text.data(), short_text.size(), &r), sdk::DecodeStatus::kShortPayload);
  const Bytes unknown = nimo::BuildFrame(77, nullptr, 0);
  EXPECT_EQ(sdk::DecodeReport(unknown.data(), unknown.size(), &r), sdk::DecodeStatus::kUnknownType);
  EXPECT_EQ(r.type, 77);
}

// \x01 and \x02 as in the page's texts.
const std::string kBuy = "NIMOMP|invoke|buy\x01\x02ssword\x01\x02n3\x01\x02" "b1\x01\x02z\x01\x02o[1,2]\x01\x02z";

TEST(SdkPageMessages, TheDocumentedInvokeParsesAndReEncodes) {
  sdk::PageMessage m;
  ASSERT_TRUE(sdk::ParsePageMessage(kBuy, &m));
  EXPECT_TRUE(m.well_formed);
  EXPECT_EQ(m.kind, "invoke");
  EXPECT_EQ(m.name, "buy");
  ASSERT_EQ(m.args.size(), 6u);
  EXPECT_EQ(m.args[0].tag, 's');
  EXPECT_EQ(m.args[0].value, "sword");
  EXPECT_EQ(m.args[1].AsNumber(), 3.0);
  EXPECT_TRUE(m.args[2].AsBool());
  EXPECT_EQ(m.args[3].tag, 'z');
  EXPECT_EQ(m.args[4].value, "[1,2]");
  EXPECT_EQ(m.args[5].tag, 'z');

  const std::vector<sdk::PageArg> args = {sdk::PageArg::String("sword"), sdk::PageArg::Number(3),
                                          sdk::PageArg::Bool(true),      sdk::PageArg::Null(),
                                          sdk::PageArg::Json("[1,2]"),   sdk::PageArg::Number(std::nan(""))};
  EXPECT_EQ(sdk::EncodePageMessage("invoke", "buy", args), kBuy);
}

TEST(SdkPageMessages, EdgesOfTheGrammar) {
  sdk::PageMessage m;
  ASSERT_TRUE(sdk::ParsePageMessage("NIMOMP|trigger|ping", &m));
  EXPECT_EQ(m.name, "ping");
  EXPECT_TRUE(m.args.empty());

  ASSERT_TRUE(sdk::ParsePageMessage("NIMOMP|trigger|", &m));
  EXPECT_EQ(m.kind, "trigger");
  EXPECT_EQ(m.name, "");

  // "|" may occur in the name and in values; only the kind is free of it.
  ASSERT_TRUE(sdk::ParsePageMessage("NIMOMP|callRemote|a|b\x01\x02s{a|}", &m));
  EXPECT_EQ(m.kind, "callRemote");
  EXPECT_EQ(m.name, "a|b");
  ASSERT_EQ(m.args.size(), 1u);
  EXPECT_EQ(m.args[0].value, "{a|}");

  // An empty string argument is distinct from no argument.
  ASSERT_TRUE(sdk::ParsePageMessage("NIMOMP|trigger|x\x01\x02s", &m));
  ASSERT_EQ(m.args.size(), 1u);
  EXPECT_EQ(m.args[0].value, "");

  // A name holding U+0001 splits there: the rest is an irregular argument, kept raw.
  ASSERT_TRUE(sdk::ParsePageMessage("NIMOMP|trigger|a\x01" "b\x01\x02n1", &m));
  EXPECT_EQ(m.name, "a");
  EXPECT_FALSE(m.well_formed);
  ASSERT_EQ(m.args.size(), 2u);
  EXPECT_EQ(m.args[0].tag, '?');
  EXPECT_EQ(m.args[0].value, "b");
  EXPECT_EQ(m.args[1].value, "1");

  EXPECT_FALSE(sdk::ParsePageMessage("NIMOMP|", &m)) << "just the tag has no kind";
  EXPECT_FALSE(sdk::ParsePageMessage("nimomp|trigger|x", &m));
  EXPECT_FALSE(sdk::ParsePageMessage(" NIMOMP|trigger|x", &m));
}

TEST(SdkPageMessages, NumbersAreWrittenAsScriptWritesThem) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {42, "42"},          {0.5, "0.5"},         {-3, "-3"},
      {1e21, "1e+21"},     {1e20, "100000000000000000000"},
      {123456789012345680000.0, "123456789012345680000"},
      {0.1 + 0.2, "0.30000000000000004"},
      {0.000001, "0.000001"}, {1e-7, "1e-7"},   {-1.5e-10, "-1.5e-10"},
      {-0.0, "0"},         {5e-324, "5e-324"},  {1.7976931348623157e308, "1.7976931348623157e+308"},
      {100, "100"},        {1.25, "1.25"},      {2.5e25, "2.5e+25"},
  };
  for (const auto& c : cases) EXPECT_EQ(sdk::ScriptNumberText(c.value), c.text) << c.text;
  EXPECT_EQ(sdk::PageArg::Number(INFINITY).tag, 'z');
  EXPECT_EQ(sdk::PageArg::Number(-0.0).value, "0");
}

}  // namespace

namespace {

// Protocol 3's keyboard messages: the engine takes the composition commands only in a
// version-3 session, and a bounds report whose count claims more rectangles than it
// carries is refused rather than read past its end.
TEST(SdkProtocolThree, CompositionCommandsAndKeyboardReportsCrossTheWire) {
  const Bytes compose = sdk::ImeSetComposition(1, "\xE3\x81\xAB\xE3\x81\xBB", 1, 2);
  const nimo::ReceivedFrame r = nimo::ValidateReceived(nimo::ReadStatus::kComplete, compose.data(), compose.size());
  EXPECT_EQ(nimo::DecodeCommand(r).action, nimo::CommandAction::kIgnore) << "version 2 ignores it";
  const nimo::DecodedCommand c = nimo::DecodeCommand(r, 3);
  EXPECT_EQ(c.action, nimo::CommandAction::kVersion3);
  EXPECT_EQ(c.type, nimo::kMsgImeSetComposition);
  ASSERT_EQ(c.length, 16u + 6u);
  const nimo::SurfaceHead head = nimo::DecodeSurfaceHead(c.payload);
  EXPECT_EQ(head.surface_id, 1u);
  EXPECT_EQ(head.param1, 1u);
  EXPECT_EQ(head.param2, 2u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.payload) + 16, c.length - 16), "\xE3\x81\xAB\xE3\x81\xBB");
  for (const Bytes& frame : {sdk::ImeCommitText(2, "x"), sdk::ImeFinishComposing(2, true), sdk::ImeCancelComposition(2)}) {
    const nimo::ReceivedFrame f = nimo::ValidateReceived(nimo::ReadStatus::kComplete, frame.data(), frame.size());
    EXPECT_EQ(nimo::DecodeCommand(f, 3).action, nimo::CommandAction::kVersion3);
    EXPECT_EQ(nimo::DecodeCommand(f, 2).action, nimo::CommandAction::kIgnore);
  }

  sdk::Report report;
  const Bytes state = EngineReport(nimo::kMsgTextInputState, nimo::EncodeTextInputState(3, 5));
  ASSERT_EQ(sdk::DecodeReport(state.data(), state.size(), &report), sdk::DecodeStatus::kOk);
  EXPECT_EQ(report.surface_id, 3u);
  EXPECT_EQ(report.input_mode, nimo::kInputModeEmail);
  EXPECT_STREQ(sdk::ReportName(report.type), "TextInputState");

  const nimo::ImeRect rects[] = {{10, 20, 12, -30}, {-5, 0, 0, 7}};
  Bytes bounds = EngineReport(nimo::kMsgImeCompositionBounds, nimo::EncodeImeCompositionBounds(0, 4, 6, rects, 2));
  ASSERT_EQ(sdk::DecodeReport(bounds.data(), bounds.size(), &report), sdk::DecodeStatus::kOk);
  EXPECT_EQ(report.range_from, 4u);
  EXPECT_EQ(report.range_to, 6u);
  ASSERT_EQ(report.rects.size(), 2u);
  EXPECT_EQ(report.rects[0].height, -30);
  EXPECT_EQ(report.rects[1].x, -5);
  EXPECT_EQ(report.rects[1].height, 7);
  bounds[12 + 12] = 3;  // the count says three, two follow
  EXPECT_EQ(sdk::DecodeReport(bounds.data(), bounds.size(), &report), sdk::DecodeStatus::kShortPayload);
  bounds[12 + 15] = 0x80;  // a count whose byte size wraps 32 bits
  EXPECT_EQ(sdk::DecodeReport(bounds.data(), bounds.size(), &report), sdk::DecodeStatus::kShortPayload);
  const Bytes none = EngineReport(nimo::kMsgImeCompositionBounds, nimo::EncodeImeCompositionBounds(0, 0xFFFFFFFFu, 0xFFFFFFFFu, nullptr, 0));
  EXPECT_EQ(none.size(), 12u + 16u);
}

}  // namespace
