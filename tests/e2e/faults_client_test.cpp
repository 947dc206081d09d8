// Faults on the client's side of the link, against the real executable: the client going
// away while four surfaces paint or in the middle of a burst of commands, a Shutdown while
// every surface is still being created, and every class of malformed frame after valid
// traffic. Each ends the engine with 0 within two seconds, with the link's own log line,
// every browser closed and no engine reference left.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "protocol/wire.h"
#include "tests/support/engine_session.h"
#include "tests/support/fault_support.h"

namespace nimo {
namespace test {
namespace {

using nimo_test::JournalEntry;
using nimo_test::ScenarioWriter;

const char kShutdownLine[] = "[nimo-webengine][ipc] Shutdown requested\n";
const char kDesyncLine[] = "[nimo-webengine][ipc] DESYNC (bad magic/size) - exiting\n";
const char kClosedLine[] = "[nimo-webengine][ipc] pipe closed by client - exiting\n";
const char kClosingLine[] = "[nimo-webengine][ipc] closing browsers, then quitting\n";
constexpr ULONGLONG kExitBoundMs = 2000;  // hang guard from the trigger to the exit
constexpr std::uint32_t kMouseMove = 0x200;

// The engine ends with 0 within the bound after `trigger`, logs `line` (and no other end
// of the link), closes every browser it had and holds no engine reference.
void ExpectOrderlyEnd(EngineSession& s, const char* line, ULONGLONG trigger) {
  const ULONGLONG spent = GetTickCount64() - trigger;
  const long code = s.WaitExit(static_cast<DWORD>(spent < kExitBoundMs ? kExitBoundMs - spent : 1));
  EXPECT_EQ(code, 0) << "no exit 0 within " << kExitBoundMs << " ms of the trigger";
  std::printf("  exit %ld, %llu ms after the trigger\n", code,
              static_cast<unsigned long long>(GetTickCount64() - trigger));
  const std::string log = s.Log();
  EXPECT_NE(log.find(line), std::string::npos) << log;
  EXPECT_NE(log.find(kClosingLine), std::string::npos) << log;
  for (const char* other : {kShutdownLine, kDesyncLine, kClosedLine}) {
    if (std::strcmp(other, line) != 0) {
      EXPECT_EQ(log.find(other), std::string::npos) << log;
    }
  }
  const nimo_test::Journal j = s.Journal();
  EXPECT_EQ(j.Events("host.close_browser", "force", "1").size(), j.Count("cb.on_after_created"));
  EXPECT_EQ(j.Count("cb.on_before_close"), j.Count("cb.on_after_created"));
  EXPECT_EQ(j.Count("shutdown.browser_open"), 0u);
  std::string detail;
  EXPECT_TRUE(s.ReferencesClean(&detail)) << detail;
}

TEST(ClientGone, WhileFourSurfacesPaint) {
  ScenarioWriter w;
  w.Line("quiet task. host.send_external_begin_frame cb.get_view_rect");
  AddPaintingPages(&w);
  EngineSession s(PaintingOptions(w.Text()));
  ASSERT_TRUE(StartPainting(s, 160, 90, 10, 20000)) << s.Log();
  // Frames of every surface are on their way to the client.
  std::set<std::uint32_t> announced;
  const ULONGLONG until = GetTickCount64() + 400;
  Report r;
  while (GetTickCount64() < until) {
    if (s.client().Read(&r, 50) && r.type == kMsgFrameReady) announced.insert(r.surface_id());
  }
  EXPECT_EQ(announced.size(), 4u);
  // Gone without a word, with frames still being written to it.
  Sleep(50);
  const ULONGLONG trigger = GetTickCount64();
  s.client().Close();
  ExpectOrderlyEnd(s, kClosedLine, trigger);
  EXPECT_EQ(s.Journal().Count("cb.on_after_created"), 4u);
}

// A painting session whose client pipe holds almost nothing, so a client that stops
// reading leaves the engine's writer waiting in a write at once.
SessionOptions StallingOptions() {
  ScenarioWriter w;
  w.Line("quiet task. host.send_external_begin_frame cb.get_view_rect cb.on_console_message");
  AddPaintingPages(&w, {"console message=" + ScenarioWriter::Quote(std::string(600, 'c')) +
                        " numbered=1 repeat=1000000 batch=1 interval=5"});
  SessionOptions options = PaintingOptions(w.Text());
  options.pipe_buffer = 4096;
  return options;
}

TEST(ClientGone, WhileTheEngineWaitsToWrite) {
  EngineSession s(StallingOptions());
  ASSERT_TRUE(StartPainting(s, 160, 90, 10, 20000)) << s.Log();
  Sleep(1000);  // not reading: the pipe is full and the send queue too
  const ULONGLONG trigger = GetTickCount64();
  s.client().Close();
  ExpectOrderlyEnd(s, kClosedLine, trigger);
  EXPECT_TRUE(s.LogHas("[nimo-webengine][ipc] pipe write failed - client gone\n")) << s.Log();
}

TEST(ClientGone, AfterAShutdownItNeverReads) {
  // The writer may never finish its write; the engine must not wait for it.
  EngineSession s(StallingOptions());
  ASSERT_TRUE(StartPainting(s, 160, 90, 10, 20000)) << s.Log();
  Sleep(1000);
  const ULONGLONG trigger = GetTickCount64();
  ASSERT_TRUE(s.client().SendShutdown());
  ExpectOrderlyEnd(s, kShutdownLine, trigger);
}

TEST(ClientGone, InTheMiddleOfABurstOfCommands) {
  EngineSession s;
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(s.WaitForEvents("cb.on_after_created", 1, 10000));
  // Input and scripts as fast as the pipe takes them (megabytes of script, so the engine
  // is still reading when the client closes its end).
  constexpr int kMoves = 3000;
  const std::string padding = ";" + std::string(8192, ' ');
  for (int i = 0; i < kMoves; ++i) {
    ASSERT_TRUE(s.client().SendInput(0, kMouseMove, 0, static_cast<std::uint64_t>(i), 0));
    if (i % 10 == 0) {
      ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgExecuteScript, 0, 0, 0, 0, "burst " + std::to_string(i) + padding));
      ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgResizeSurface, 0, 200 + i / 10, 100, 0));
    }
  }
  const ULONGLONG trigger = GetTickCount64();
  s.client().Close();
  ExpectOrderlyEnd(s, kClosedLine, trigger);

  // What reached the engine is a prefix of what was sent, in order, nothing corrupted.
  const nimo_test::Journal j = s.Journal();
  const std::vector<JournalEntry> moves = j.Events("host.send_mouse_move_event");
  for (std::size_t i = 0; i < moves.size(); ++i) {
    ASSERT_EQ(moves[i].Int("x", -1), static_cast<long long>(i)) << "move " << i;
    ASSERT_EQ(moves[i].Int("y", -1), 0);
  }
  int scripts = 0;
  for (const JournalEntry& e : j.Events("frame.execute_java_script")) {
    if (e.Get("code").rfind("burst ", 0) != 0) continue;  // the page script of the load
    ASSERT_EQ(e.Get("code"), "burst " + std::to_string(scripts * 10) + padding);
    ++scripts;
  }
  EXPECT_LE(static_cast<std::size_t>(scripts), moves.size() / 10 + 1);
  std::printf("  burst: %u of %d moves and %d scripts reached the engine before the close\n",
              static_cast<unsigned>(moves.size()), kMoves, scripts);
}

TEST(ShutdownDuringCreation, EverySurfaceStillOnItsWay) {
  SessionOptions options;
  options.scenario = "created_delay_ms 700\n";
  EngineSession s(options);
  ASSERT_TRUE(s.Start());
  for (std::uint32_t id = 1; id < 4; ++id) {
    ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgCreateSurface, id, 64, 48, 0, "about:blank#on-its-way"));
  }
  const ULONGLONG trigger = GetTickCount64();
  ASSERT_TRUE(s.client().SendShutdown());
  ExpectOrderlyEnd(s, kShutdownLine, trigger);
  const nimo_test::Journal j = s.Journal();
  EXPECT_EQ(j.Count("create_browser"), 4u);
  EXPECT_EQ(j.Count("cb.on_after_created"), 4u);
  const std::string log = s.Log();
  for (int id = 0; id < 4; ++id) {
    char line[96];
    std::snprintf(line, sizeof line, "[nimo-webengine][browser] surface %016X arrived during shutdown - closing\n", id);
    EXPECT_NE(log.find(line), std::string::npos) << "surface " << id << " was not on its way:\n" << log;
  }
}

std::vector<std::uint8_t> Frame(std::uint32_t magic, std::uint16_t type, std::uint32_t length_field,
                                std::size_t payload_bytes) {
  std::vector<std::uint8_t> frame(kFrameHeaderSize + payload_bytes, 0x5A);
  EncodeFrameHeader(FrameHeader{magic, type, 0, length_field}, frame.data());
  return frame;
}

struct Malformed {
  const char* name;
  std::vector<std::uint8_t> bytes;
  const char* line;  // the link's end; kShutdownLine: the frame is ignored and the link stays
};

std::vector<Malformed> MalformedFrames() {
  std::vector<std::uint8_t> reversed = Frame(kFrameMagic, kMsgResizeSurface, 16, 16);
  std::swap(reversed[0], reversed[3]);
  std::swap(reversed[1], reversed[2]);
  std::vector<std::uint8_t> eleven = Frame(kFrameMagic, kMsgShutdown, 0, 0);
  eleven.pop_back();
  return {
      {"bad magic", Frame(0xDEADBEEFu, kMsgResizeSurface, 16, 16), kDesyncLine},
      {"reversed magic", reversed, kDesyncLine},
      {"length one above the bytes", Frame(kFrameMagic, kMsgNavigate, 16, 15), kDesyncLine},
      {"length one below the bytes", Frame(kFrameMagic, kMsgNavigate, 16, 17), kDesyncLine},
      {"header without its payload", Frame(kFrameMagic, kMsgCreateSurface, 16, 0), kDesyncLine},
      {"length above the limit", Frame(kFrameMagic, kMsgExecuteScript, kMaxPayloadSize + 1, 16), kDesyncLine},
      {"longer than any frame", Frame(kFrameMagic, kMsgExecuteScript, 16, kMaxPayloadSize + 64), kDesyncLine},
      {"shutdown with a stray byte", Frame(kFrameMagic, kMsgShutdown, 0, 1), kDesyncLine},
      {"eleven bytes", eleven, kClosedLine},
      {"empty message", {}, kClosedLine},
      {"unknown type", Frame(kFrameMagic, 99, 16, 16), kShutdownLine},
      {"highest type", Frame(kFrameMagic, 0xFFFF, 0, 0), kShutdownLine},
      {"input one byte short", Frame(kFrameMagic, kMsgInputEvent, 31, 31), kShutdownLine},
      {"create without a full head", Frame(kFrameMagic, kMsgCreateSurface, 15, 15), kShutdownLine},
  };
}

TEST(MalformedAfterTraffic, EachClassEndsOrIsIgnoredAsItShould) {
  for (const Malformed& m : MalformedFrames()) {
    SCOPED_TRACE(m.name);
    std::printf("%s\n", m.name);
    EngineSession s;
    ASSERT_TRUE(s.Start());
    FakeClient& c = s.client();
    // Valid traffic of every kind first, with its effects seen.
    ASSERT_TRUE(c.SendSurfaceCommand(kMsgCreateSurface, 1, 64, 48, 0, "about:blank#traffic"));
    ASSERT_TRUE(s.WaitForEvents("cb.on_after_created", 2, 10000));
    ASSERT_TRUE(c.SendInput(1, kMouseMove, 0, 0x00050007, 0));
    ASSERT_TRUE(c.SendSurfaceCommand(kMsgResizeSurface, 1, 80, 60, 0));
    ASSERT_TRUE(c.SendSurfaceCommand(kMsgSetFocus, 1, 0, 0, 1));
    ASSERT_TRUE(c.SendSurfaceCommand(kMsgExecuteScript, 1, 0, 0, 0, "before"));
    ASSERT_TRUE(s.WaitForEvents("host.set_focus", 1, 10000));
    ASSERT_TRUE(s.WaitForEvents("frame.execute_java_script", 1, 10000, "code", "before"));

    ULONGLONG trigger = GetTickCount64();
    ASSERT_TRUE(c.SendRaw(m.bytes));
    if (m.line == kShutdownLine) {
      // Ignored: the link carries on and the next command still works.
      ASSERT_TRUE(c.SendSurfaceCommand(kMsgExecuteScript, 1, 0, 0, 0, "after"));
      ASSERT_TRUE(s.WaitForEvents("frame.execute_java_script", 1, 10000, "code", "after"));
      EXPECT_TRUE(s.Running());
      trigger = GetTickCount64();
      ASSERT_TRUE(c.SendShutdown());
    } else if (m.bytes.size() < 4096) {
      // Nothing after the fault is read. (Not after the oversized message: the rest of it
      // may still fill the pipe, and this write would wait for room.)
      c.SendSurfaceCommand(kMsgExecuteScript, 1, 0, 0, 0, "after");
    }
    ExpectOrderlyEnd(s, m.line, trigger);
    const nimo_test::Journal j = s.Journal();
    EXPECT_EQ(j.Count("create_browser"), 2u);
    EXPECT_EQ(j.Count("host.send_mouse_move_event"), 1u);
    if (m.line != kShutdownLine) {
      EXPECT_TRUE(j.Events("frame.execute_java_script", "code", "after").empty());
    }
  }
}

}  // namespace
}  // namespace test
}  // namespace nimo
