// Renderer faults end to end: the real executable against the stand-in engine, whose pages
// crash (a page action, or a marked script) and hang (with or without answering again).
// What the client sees on the pipe, what the engine was asked to do and when (journal), the
// log lines, and the reference balance at shutdown.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bridge/page_scripts.h"
#include "protocol/wire.h"
#include "surfaces/portable/renderer_recovery.h"
#include "tests/support/engine_session.h"
#include "tests/support/journal.h"

namespace nimo {
namespace test {
namespace {

using nimo_test::Journal;
using nimo_test::JournalEntry;
using nimo_test::ScenarioWriter;

constexpr DWORD kWaitMs = 20000;
constexpr std::uint32_t kErrFailedOnWire = 0xFFFFFFFEu;  // -2 in the u32 field
const std::string kUiUrl = "file:///C:/faults/ui.html";

struct LoadReport {
  std::uint32_t surface;
  std::uint32_t kind;
  std::uint32_t code;
  std::string url;
};

// Reads LoadEvent reports into `loads` until `done` holds; false on timeout.
bool ReadLoadsUntil(FakeClient& client, std::vector<LoadReport>* loads,
                    const std::function<bool(const std::vector<LoadReport>&)>& done) {
  const ULONGLONG deadline = GetTickCount64() + kWaitMs;
  while (!done(*loads)) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    Report r;
    if (!client.ReadUntil(kMsgLoadEvent, &r, static_cast<DWORD>(deadline - now))) return false;
    loads->push_back({r.surface_id(), r.param(1), r.param(2), r.text()});
  }
  return true;
}

std::size_t Count(const std::vector<LoadReport>& loads, std::uint32_t surface, std::uint32_t kind) {
  std::size_t n = 0;
  for (const LoadReport& l : loads) n += l.surface == surface && l.kind == kind ? 1 : 0;
  return n;
}

std::string BrowserFor(const Journal& j, const std::string& url) {
  for (const JournalEntry& e : j.Events("create_browser")) {
    if (e.Get("url") == url) return e.Get("browser");
  }
  return "";
}

std::vector<JournalEntry> EventsOf(const Journal& j, const std::string& event, const std::string& browser) {
  return j.Events(event, "browser", browser);
}

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

void ExpectReferencesClean(const EngineSession& s) {
  std::string detail;
  EXPECT_TRUE(s.ReferencesClean(&detail)) << detail;
  EXPECT_EQ(s.Journal().Count("refs.use_after_release"), 0u);
}

TEST(RendererFaults, ACrashIsReportedAsAFailedLoadAndThePageLoadsAgainWithinTheLimit) {
  const std::string once = "file:///C:/faults/once.html";
  const std::string loop = "file:///C:/faults/loop.html";
  ScenarioWriter w;
  w.Line("crash_script prefix=CRASH");
  w.Page(loop, {"load_start", "load_end", "crash"});
  SessionOptions options;
  options.scenario = w.Text();
  options.url = kUiUrl;
  EngineSession s(options);
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgCreateSurface, 3, 0, 0, 0, once));
  std::vector<LoadReport> loads;
  ASSERT_TRUE(ReadLoadsUntil(s.client(), &loads, [](const std::vector<LoadReport>& l) { return Count(l, 3, 0) == 1; }));

  // A single crash: the failed load, then the page again.
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgExecuteScript, 3, 0, 0, 0, "CRASH()"));
  ASSERT_TRUE(ReadLoadsUntil(s.client(), &loads, [](const std::vector<LoadReport>& l) { return Count(l, 3, 0) == 2; }));
  std::vector<LoadReport> three;
  for (const LoadReport& l : loads) {
    if (l.surface == 3) three.push_back(l);
  }
  ASSERT_EQ(three.size(), 3u);
  EXPECT_EQ(three[1].kind, kLoadEventFailed);
  EXPECT_EQ(three[1].code, kErrFailedOnWire);
  EXPECT_EQ(three[1].url, once);
  EXPECT_EQ(three[2].kind, kLoadEventFinished);

  // A page that crashes on every load: the first load and three reloads, then it stays
  // down, until the client reloads it and it gets the whole limit again.
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgCreateSurface, 1, 0, 0, 0, loop));
  ASSERT_TRUE(ReadLoadsUntil(s.client(), &loads, [](const std::vector<LoadReport>& l) { return Count(l, 1, 2) == 4; }));
  ASSERT_TRUE(s.WaitForLog("[nimo-webengine][browser] surface 0000000000000001 keeps losing its renderer", kWaitMs));
  Sleep(3 * kCrashReloadDelayMs);  // time for a reload that must not come
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgReload, 1, 0, 0, 0));
  ASSERT_TRUE(ReadLoadsUntil(s.client(), &loads, [](const std::vector<LoadReport>& l) { return Count(l, 1, 2) == 8; }));
  ASSERT_TRUE(s.WaitForEvents("browser.reload", 1 + 3 + 1 + 3, kWaitMs));
  Sleep(3 * kCrashReloadDelayMs);
  ASSERT_TRUE(s.client().SendShutdown());
  EXPECT_EQ(s.WaitExit(), 0);

  EXPECT_EQ(Count(loads, 1, 0), 8u);
  for (const LoadReport& l : loads) {
    if (l.surface != 1 || l.kind != kLoadEventFailed) continue;
    EXPECT_EQ(l.code, kErrFailedOnWire);
    EXPECT_EQ(l.url, loop);
  }
  // Nothing happened to the surfaces that kept their renderers.
  EXPECT_EQ(Count(loads, 0, 0), 1u);
  EXPECT_EQ(Count(loads, 0, 2), 0u);

  const Journal j = s.Journal();
  const std::string once_id = BrowserFor(j, once), loop_id = BrowserFor(j, loop);
  // Each reload comes after the delay, never at once.
  std::vector<long long> ended;
  for (const JournalEntry& e : EventsOf(j, "cb.on_render_process_terminated", once_id)) ended.push_back(e.micros);
  const std::vector<JournalEntry> reloads = EventsOf(j, "browser.reload", once_id);
  ASSERT_EQ(ended.size(), 1u);
  ASSERT_EQ(reloads.size(), 1u);
  EXPECT_GE(reloads[0].micros - ended[0], (kCrashReloadDelayMs - 20) * 1000);
  // The page shim ran again in the reloaded page.
  const std::string shim(kPageShim, kPageShimLength);
  std::size_t shim_after = 0;
  for (const JournalEntry& e : EventsOf(j, "frame.execute_java_script", once_id)) {
    if (e.micros > reloads[0].micros && e.Get("code") == shim) ++shim_after;
  }
  EXPECT_GE(shim_after, 1u);
  // Three automatic reloads, the client's own, then three more.
  EXPECT_EQ(EventsOf(j, "browser.reload", loop_id).size(), 7u);
  EXPECT_EQ(EventsOf(j, "cb.on_render_process_terminated", loop_id).size(), 8u);

  const std::string log = s.Log();
  EXPECT_EQ(Occurrences(log, "surface 0000000000000003 renderer ended (crashed) - reloading the page\n"), 1);
  EXPECT_EQ(Occurrences(log, "surface 0000000000000001 renderer ended (crashed) - reloading the page\n"), 6);
  EXPECT_EQ(Occurrences(log, "surface 0000000000000001 keeps losing its renderer"), 2);
  ExpectReferencesClean(s);
}

TEST(RendererFaults, AHungRendererIsEndedAfterTheGracePeriodUnlessItAnswersAndShutdownReloadsNothing) {
  const std::string stuck = "file:///C:/faults/stuck.html";
  const std::string slow = "file:///C:/faults/slow.html";
  const std::string late = "file:///C:/faults/late.html";
  ScenarioWriter w;
  w.Line("crash_script prefix=CRASH");
  w.Page(stuck, {"load_start", "load_end", "hang"});
  w.Page(slow, {"load_start", "load_end", "hang respond_after=1000", "console message=answered"});
  w.Page(late, {"load_start", "load_end", "hang"});
  SessionOptions options;
  options.scenario = w.Text();
  options.url = kUiUrl;
  EngineSession s(options);
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgCreateSurface, 1, 0, 0, 0, stuck));
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgCreateSurface, 3, 0, 0, 0, slow));

  // The stuck page is ended after the grace period: a failed load, then the page again
  // (and it hangs again, so a second grace period runs from its reload).
  std::vector<LoadReport> loads;
  ASSERT_TRUE(ReadLoadsUntil(s.client(), &loads, [](const std::vector<LoadReport>& l) { return Count(l, 1, 0) == 2; }));
  ASSERT_TRUE(s.WaitForEvents("cb.on_console_message", 1, kWaitMs));

  // A page in its grace period at shutdown, and a crash just before the shutdown: its
  // reload would be due after the process began to close everything.
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgCreateSurface, 2, 0, 0, 0, late));
  ASSERT_TRUE(ReadLoadsUntil(s.client(), &loads, [](const std::vector<LoadReport>& l) { return Count(l, 2, 0) == 1; }));
  ASSERT_TRUE(s.WaitForEvents("cb.on_render_process_unresponsive", 4, kWaitMs));
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgExecuteScript, 3, 0, 0, 0, "CRASH()"));
  ASSERT_TRUE(s.client().SendShutdown());
  EXPECT_EQ(s.WaitExit(), 0);

  const Journal j = s.Journal();
  const std::string stuck_id = BrowserFor(j, stuck), slow_id = BrowserFor(j, slow), late_id = BrowserFor(j, late);
  for (const JournalEntry& e : j.Events("cb.on_render_process_unresponsive")) {
    EXPECT_EQ(e.Int("handled", -1), 1) << e.line;
  }
  // The stuck page: ended through the callback after the grace period, with the status of
  // a killed renderer, then reloaded. (Its second grace period, from the reload on, ran
  // into the shutdown.)
  const std::vector<JournalEntry> hung = EventsOf(j, "cb.on_render_process_unresponsive", stuck_id);
  const std::vector<JournalEntry> terminated = EventsOf(j, "unresponsive.terminate", stuck_id);
  const std::vector<JournalEntry> ended = EventsOf(j, "cb.on_render_process_terminated", stuck_id);
  const std::vector<JournalEntry> reloads = EventsOf(j, "browser.reload", stuck_id);
  ASSERT_GE(hung.size(), 2u);
  ASSERT_GE(terminated.size(), 1u);
  ASSERT_GE(ended.size(), 1u);
  ASSERT_GE(reloads.size(), 1u);
  EXPECT_EQ(terminated[0].Int("ends", -1), 1);
  EXPECT_EQ(terminated[0].Int("from_ui", -1), 1);
  EXPECT_GE(terminated[0].micros - hung[0].micros, (kHangGraceMs - 50) * 1000);
  EXPECT_EQ(ended[0].Int("status", -1), 1);
  EXPECT_GT(ended[0].micros, terminated[0].micros);
  EXPECT_GE(reloads[0].micros - ended[0].micros, (kCrashReloadDelayMs - 20) * 1000);
  EXPECT_LT(reloads[0].micros, hung[1].micros);

  // The slow page answered in time: never ended, and its script went on.
  EXPECT_EQ(EventsOf(j, "cb.on_render_process_responsive", slow_id).size(), 1u);
  EXPECT_EQ(EventsOf(j, "unresponsive.terminate", slow_id).size(), 0u);
  EXPECT_EQ(EventsOf(j, "cb.on_console_message", slow_id).size(), 1u);
  // Its crash right before the shutdown was reported but not reloaded; the late page's
  // grace period ended with the process, not with a termination.
  EXPECT_EQ(EventsOf(j, "cb.on_render_process_terminated", slow_id).size(), 1u);
  EXPECT_EQ(EventsOf(j, "browser.reload", slow_id).size(), 0u);
  EXPECT_EQ(EventsOf(j, "unresponsive.terminate", late_id).size(), 0u);

  const std::string log = s.Log();
  EXPECT_GE(Occurrences(log, "surface 0000000000000001 renderer not answering - ending it in 5000 ms unless it answers\n"), 2);
  EXPECT_GE(Occurrences(log, "surface 0000000000000001 renderer ended (killed) - reloading the page\n"), 1);
  EXPECT_EQ(Occurrences(log, "surface 0000000000000003 renderer not answering"), 1);
  ExpectReferencesClean(s);
}

}  // namespace
}  // namespace test
}  // namespace nimo
