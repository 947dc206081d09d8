// The pipe protocol from the client's side, against the real executable and the stand-in
// engine: every way a link ends (with its log line, all browsers closed and exit code 0),
// frames that must be accepted or ignored without ending the link, and the lifecycle
// without a pipe.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol/wire.h"
#include "tests/support/engine_session.h"

namespace nimo {
namespace test {
namespace {

const char kShutdownLine[] = "[nimo-webengine][ipc] Shutdown requested\n";
const char kDesyncLine[] = "[nimo-webengine][ipc] DESYNC (bad magic/size) - exiting\n";
const char kClosedLine[] = "[nimo-webengine][ipc] pipe closed by client - exiting\n";
const char kClosingLine[] = "[nimo-webengine][ipc] closing browsers, then quitting\n";

std::vector<std::uint8_t> Frame(std::uint16_t type, std::uint32_t length_field,
                                std::size_t payload_bytes) {
  std::vector<std::uint8_t> frame(kFrameHeaderSize + payload_bytes, 0);
  WriteFrameHeader(frame.data(), type, length_field);
  return frame;
}

// The link ended for `line`, the UI surface's browser was closed, the process ended with
// 0 and held no engine reference at shutdown.
void ExpectOrderlyEnd(EngineSession& s, const char* line) {
  EXPECT_EQ(s.WaitExit(), 0);
  const std::string log = s.Log();
  EXPECT_NE(log.find(line), std::string::npos) << log;
  EXPECT_NE(log.find(kClosingLine), std::string::npos) << log;
  for (const char* other : {kShutdownLine, kDesyncLine, kClosedLine}) {
    if (other != line) {
      EXPECT_EQ(log.find(other), std::string::npos) << log;
    }
  }
  const nimo_test::Journal j = s.Journal();
  EXPECT_EQ(j.Events("host.close_browser", "force", "1").size(), j.Count("cb.on_after_created"));
  EXPECT_EQ(j.Count("cb.on_before_close"), j.Count("cb.on_after_created"));
  std::string detail;
  EXPECT_TRUE(s.ReferencesClean(&detail)) << detail;
}

TEST(LinkEnds, HelloFirstWithVersionAndEnginePid) {
  EngineSession s;
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(s.engine_pid(), s.process_id());
  ASSERT_TRUE(s.client().SendShutdown());
  ExpectOrderlyEnd(s, kShutdownLine);
  EXPECT_TRUE(s.LogHas("[nimo-webengine][ipc] connected to " + s.client().pipe_name() + "\n"));
}

TEST(LinkEnds, TheExactTwelveShutdownBytes) {
  EngineSession s;
  ASSERT_TRUE(s.Start());
  const std::uint8_t bytes[12] = {0x4F, 0x4D, 0x49, 0x4E, 0x6D, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(s.client().SendRaw(bytes, sizeof bytes));
  // Never read: the reader has stopped.
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgNavigate, 0, 0, 0, 0, "about:blank#after"));
  ExpectOrderlyEnd(s, kShutdownLine);
  EXPECT_TRUE(s.Journal().Events("frame.load_url", "url", "about:blank#after").empty());
}

TEST(LinkEnds, ShutdownIgnoresItsPayload) {
  EngineSession s;
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(s.client().SendFrame(kMsgShutdown, std::vector<std::uint8_t>(40, 0xEE)));
  ExpectOrderlyEnd(s, kShutdownLine);
}

TEST(LinkEnds, ReversedMagicIsDesync) {
  EngineSession s;
  ASSERT_TRUE(s.Start());
  std::vector<std::uint8_t> frame = Frame(kMsgResizeSurface, 16, 16);
  const std::uint8_t reversed[4] = {'N', 'I', 'M', 'O'};
  std::memcpy(frame.data(), reversed, 4);
  ASSERT_TRUE(s.client().SendRaw(frame));
  ExpectOrderlyEnd(s, kDesyncLine);
}

TEST(LinkEnds, OneByteMoreThanTheLengthIsDesync) {
  EngineSession s;
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(s.client().SendRaw(Frame(kMsgResizeSurface, 16, 17)));
  ExpectOrderlyEnd(s, kDesyncLine);
}

TEST(LinkEnds, OneByteLessThanTheLengthIsDesync) {
  EngineSession s;
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(s.client().SendRaw(Frame(kMsgResizeSurface, 16, 15)));
  ExpectOrderlyEnd(s, kDesyncLine);
}

TEST(LinkEnds, LengthAboveTheLimitIsDesyncEvenWhenThatMuchArrives) {
  // 0x100001 bytes of payload make a message longer than the largest valid frame: the
  // read cannot take it whole, which is a broken framing, not a closed pipe.
  EngineSession s;
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(s.client().SendRaw(Frame(kMsgExecuteScript, kMaxPayloadSize + 1, kMaxPayloadSize + 1)));
  ExpectOrderlyEnd(s, kDesyncLine);
}

TEST(LinkEnds, AMessageLongerThanAnyFrameIsDesyncWhateverItsHeaderSays) {
  EngineSession s;
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(s.client().SendRaw(Frame(kMsgResizeSurface, 16, kMaxPayloadSize + 64)));
  ExpectOrderlyEnd(s, kDesyncLine);
}

TEST(LinkEnds, AZeroLengthMessageIsAClosedPipe) {
  EngineSession s;
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(s.client().SendRaw("", 0));
  ExpectOrderlyEnd(s, kClosedLine);
}

TEST(LinkEnds, ElevenBytesAreAClosedPipe) {
  EngineSession s;
  ASSERT_TRUE(s.Start());
  std::vector<std::uint8_t> frame = Frame(kMsgShutdown, 0, 0);
  frame.pop_back();
  ASSERT_TRUE(s.client().SendRaw(frame));
  ExpectOrderlyEnd(s, kClosedLine);
}

TEST(LinkEnds, ClientClosingItsEndIsAClosedPipe) {
  EngineSession s;
  ASSERT_TRUE(s.Start());
  s.client().Close();
  ExpectOrderlyEnd(s, kClosedLine);
}

TEST(LinkStaysUp, FramesThatAreIgnored) {
  EngineSession s;
  ASSERT_TRUE(s.Start());
  // Scripts go to surface 0's browser, which may come after Hello; one sent before it
  // would be dropped whatever the link did with it.
  ASSERT_TRUE(s.WaitForEvents("cb.on_after_created", 1, 10000));
  FakeClient& c = s.client();
  ASSERT_TRUE(c.SendRaw(Frame(kMsgResizeSurface, 0, 0)));       // header only
  ASSERT_TRUE(c.SendRaw(Frame(kMsgInputEvent, 31, 31)));        // input too short
  ASSERT_TRUE(c.SendRaw(Frame(99, 16, 16)));                    // outside the catalogue
  ASSERT_TRUE(c.SendRaw(Frame(110, 0, 0)));
  ASSERT_TRUE(c.SendRaw(Frame(0xFFFF, 16, 16)));
  // The largest payload is accepted whole (a script of 0x100000 - 16 bytes).
  std::vector<std::uint8_t> big = Frame(kMsgExecuteScript, kMaxPayloadSize, kMaxPayloadSize);
  std::memset(big.data() + kFrameHeaderSize + kSurfaceHeadSize, ';', kMaxPayloadSize - kSurfaceHeadSize);
  ASSERT_TRUE(c.SendRaw(big));
  ASSERT_TRUE(c.SendSurfaceCommand(kMsgExecuteScript, 0, 0, 0, 0, "window.marker = 1"));
  ASSERT_TRUE(s.WaitForEvents("frame.execute_java_script", 1, 10000, "code", "window.marker = 1"));
  ASSERT_TRUE(c.SendShutdown());
  ExpectOrderlyEnd(s, kShutdownLine);
  const nimo_test::Journal j = s.Journal();
  EXPECT_EQ(j.Events("frame.execute_java_script", "length",
                     std::to_string(kMaxPayloadSize - kSurfaceHeadSize)).size(), 1u);
}

// A client that does not ask for version 3 (or asks for less) gets version 2 byte for byte:
// the same Hello, and commands from 110 up ignored with the link up; one that asks gets a
// Hello saying 3.
TEST(ProtocolVersion, TwoUnlessTheClientAsksForThree) {
  for (const char* ask : {"", "--nimomp-protocol=1"}) {
    SessionOptions options;
    options.extra_args = ask;
    EngineSession s(options);
    ASSERT_TRUE(s.Start()) << ask;
    std::vector<std::uint8_t> hello = {0x4F, 0x4D, 0x49, 0x4E, 0x01, 0x00, 0x00, 0x00, 0x08, 0x00,
                                       0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0, 0, 0, 0};
    WriteU32(hello.data() + 16, s.engine_pid());
    EXPECT_EQ(s.client().hello().raw, hello) << ask;
    ASSERT_TRUE(s.WaitForEvents("cb.on_after_created", 1, 10000)) << ask;  // scripts need surface 0's browser
    FakeClient& c = s.client();
    // Shaped like a version-2 command, so a link that took it for one would show it.
    ASSERT_TRUE(c.SendSurfaceCommand(110, 0, 0, 0, 0, "window.v3 = 1"));
    ASSERT_TRUE(c.SendSurfaceCommand(114, 0, 640, 480, 1, "about:blank#v3"));
    // The client's clock without the probe: a version-2 engine keeps its own pump.
    ASSERT_TRUE(c.SendSurfaceCommand(116, 0, 1, 0, 1));
    ASSERT_TRUE(c.SendSurfaceCommand(kMsgExecuteScript, 0, 0, 0, 0, "window.marker = 1"));
    ASSERT_TRUE(s.WaitForEvents("frame.execute_java_script", 1, 10000, "code", "window.marker = 1")) << ask;
    const std::size_t ticks = s.Journal().Count("host.send_external_begin_frame");
    EXPECT_TRUE(s.WaitForEvents("host.send_external_begin_frame", ticks + 10, 10000)) << ask;
    ASSERT_TRUE(c.SendShutdown());
    ASSERT_TRUE(c.WaitClosed(15000));
    ExpectOrderlyEnd(s, kShutdownLine);
    const nimo_test::Journal j = s.Journal();
    EXPECT_TRUE(j.Events("frame.execute_java_script", "code", "window.v3 = 1").empty()) << ask;
    EXPECT_TRUE(j.Events("frame.load_url", "url", "about:blank#v3").empty()) << ask;
    for (const Report& r : c.skipped()) EXPECT_LE(r.type, kLastVersion2Report) << ask;
    EXPECT_FALSE(s.LogHas("protocol version")) << ask;
  }

  SessionOptions options;
  options.extra_args = "--nimomp-protocol=\"3\"";
  options.hello_version = 3;
  EngineSession s(options);
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(DecodeHello(s.client().hello().payload.data()).process_id, s.engine_pid());
  ASSERT_TRUE(s.client().SendSurfaceCommand(110, 0, 0, 0, 0, "window.v3 = 1"));
  ASSERT_TRUE(s.client().SendShutdown());
  ExpectOrderlyEnd(s, kShutdownLine);
  EXPECT_TRUE(s.LogHas("[nimo-webengine][ipc] protocol version 3\n")) << s.Log();
}

TEST(Lifecycle, WithoutAPipeTheEngineRunsOn) {
  SessionOptions options;
  options.connect_pipe = false;
  EngineSession s(options);
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(s.WaitForEvents("cb.on_after_created", 1, 10000));
  Sleep(300);
  EXPECT_TRUE(s.Running());
  EXPECT_EQ(s.Log().find("[ipc]"), std::string::npos) << s.Log();
}

TEST(Lifecycle, APipeThatNeverAppearsIsGivenUpAfterAboutFiveSeconds) {
  SessionOptions options;
  options.pipe_override = "\\\\.\\pipe\\nimo-never-created-" + std::to_string(GetTickCount64());
  EngineSession s(options);
  const ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(s.WaitForLog("[nimo-webengine][ipc] could not open pipe " + options.pipe_override + "\n",
                           20000));
  std::printf("gave up on the pipe after %llu ms\n",
              static_cast<unsigned long long>(GetTickCount64() - start));
  // Without a link the browser process goes on.
  ASSERT_TRUE(s.WaitForEvents("cb.on_after_created", 1, 10000));
  EXPECT_TRUE(s.Running());
}

}  // namespace
}  // namespace test
}  // namespace nimo
