// Client commands through the real executable and pipe, as the stand-in engine sees them:
// every input message's host call, resize, hide/show with the late refreshes, reload with
// and without the cache, Navigate/ExecuteScript, and the probe-page flag on surface 0.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "protocol/wire.h"
#include "tests/support/engine_session.h"

namespace nimo {
namespace test {
namespace {

using nimo_test::JournalEntry;

// Starts a session and waits until the UI surface has its browser.
void StartWithUiSurface(EngineSession& s) {
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(s.WaitForEvents("cb.on_after_created", 1, 10000));
}

void ShutDown(EngineSession& s) {
  ASSERT_TRUE(s.client().SendShutdown());
  EXPECT_EQ(s.WaitExit(), 0);
  std::string detail;
  EXPECT_TRUE(s.ReferencesClean(&detail)) << detail;
}

// The host input calls of the journal, each as "<slot> k=v ..." over the given keys.
std::vector<std::string> InputCalls(const nimo_test::Journal& j) {
  std::vector<std::string> out;
  for (const JournalEntry& e : j.entries()) {
    std::vector<std::string> keys;
    if (e.event == "host.send_key_event") {
      keys = {"type", "modifiers", "windows_key_code", "native_key_code", "is_system_key",
              "character", "unmodified_character", "focus_on_editable_field"};
    } else if (e.event == "host.send_mouse_click_event") {
      keys = {"x", "y", "modifiers", "button", "mouse_up", "click_count"};
    } else if (e.event == "host.send_mouse_move_event") {
      keys = {"x", "y", "modifiers", "mouse_leave"};
    } else if (e.event == "host.send_mouse_wheel_event") {
      keys = {"x", "y", "modifiers", "delta_x", "delta_y"};
    } else {
      continue;
    }
    std::string line = e.event.substr(5);
    for (const std::string& k : keys) line += " " + k + "=" + e.Get(k, "?");
    out.push_back(line);
  }
  return out;
}

TEST(Commands, EveryInputMessageReachesTheEngineInOrder) {
  EngineSession s;
  StartWithUiSurface(s);
  struct Input {
    std::uint32_t message;
    std::uint64_t wparam, lparam;
    std::uint32_t modifiers;
  };
  const Input inputs[] = {
      {0x100, 0x41, 0x1E0001, 2},        {0x101, 0x41, 0xC01E0001, 0},
      {0x102, 0x10061, 0x1E0001, 0},     {0x104, 0x12, 0x20380001, 8},
      {0x105, 0x12, 0xC0380001, 8},      {0x106, 0x66, 0x20210001, 8},
      {0x200, 0, 0xFFFF0010, 0x10},      {0x201, 1, 0x00200010, 0x10},
      {0x202, 0, 0x00200010, 0},         {0x203, 1, 0x00200010, 0},  // double-click: dropped
      {0x204, 2, 0x80008000, 0x40},      {0x205, 0, 0x00050005, 0},
      {0x206, 2, 0x00050005, 0},         {0x207, 0x10, 0x00070003, 0x20},
      {0x208, 0, 0x00070003, 0},         {0x209, 0, 0x00070003, 0},
      {0x20A, 0xFF880000, 0x00640032, 0}, {0x103, 0x41, 0, 0},       // dead char: dropped
      {0x2A3, 0, 0x00640032, 0},
  };
  for (const Input& in : inputs) {
    ASSERT_TRUE(s.client().SendInput(0, in.message, in.wparam, in.lparam, in.modifiers));
  }
  // The same record under the second input type, and for surfaces that cannot take it.
  ASSERT_TRUE(s.client().SendInput(3, 0x100, 0x42, 0, 0));
  ASSERT_TRUE(s.client().SendInput(9, 0x100, 0x42, 0, 0));
  ShutDown(s);
  const std::vector<std::string> expected = {
      "send_key_event type=0 modifiers=2 windows_key_code=65 native_key_code=1966081 is_system_key=0 character=0 unmodified_character=0 focus_on_editable_field=0",
      "send_key_event type=2 modifiers=0 windows_key_code=65 native_key_code=-1071775743 is_system_key=0 character=0 unmodified_character=0 focus_on_editable_field=0",
      "send_key_event type=3 modifiers=0 windows_key_code=65633 native_key_code=1966081 is_system_key=0 character=97 unmodified_character=97 focus_on_editable_field=0",
      "send_key_event type=0 modifiers=8 windows_key_code=18 native_key_code=540540929 is_system_key=1 character=0 unmodified_character=0 focus_on_editable_field=0",
      "send_key_event type=2 modifiers=8 windows_key_code=18 native_key_code=-1070071807 is_system_key=1 character=0 unmodified_character=0 focus_on_editable_field=0",
      "send_key_event type=3 modifiers=8 windows_key_code=102 native_key_code=539033601 is_system_key=1 character=102 unmodified_character=102 focus_on_editable_field=0",
      "send_mouse_move_event x=16 y=-1 modifiers=16 mouse_leave=0",
      "send_mouse_click_event x=16 y=32 modifiers=16 button=0 mouse_up=0 click_count=1",
      "send_mouse_click_event x=16 y=32 modifiers=0 button=0 mouse_up=1 click_count=1",
      "send_mouse_click_event x=-32768 y=-32768 modifiers=64 button=2 mouse_up=0 click_count=1",
      "send_mouse_click_event x=5 y=5 modifiers=0 button=2 mouse_up=1 click_count=1",
      "send_mouse_click_event x=3 y=7 modifiers=32 button=1 mouse_up=0 click_count=1",
      "send_mouse_click_event x=3 y=7 modifiers=0 button=1 mouse_up=1 click_count=1",
      "send_mouse_wheel_event x=50 y=100 modifiers=0 delta_x=0 delta_y=-120",
      "send_mouse_move_event x=0 y=0 modifiers=0 mouse_leave=1",
  };
  const nimo_test::Journal j = s.Journal();
  EXPECT_EQ(InputCalls(j), expected);
  // Everything read before Shutdown ran before the browsers were closed.
  std::size_t last_input = 0, first_close = j.entries().size();
  for (std::size_t i = 0; i < j.entries().size(); ++i) {
    const std::string& event = j.entries()[i].event;
    if (event == "host.send_key_event" || event.compare(0, 16, "host.send_mouse_") == 0) {
      last_input = i;
    }
    if (event == "host.close_browser" && first_close == j.entries().size()) first_close = i;
  }
  EXPECT_LT(last_input, first_close);
}

// Entries of `event` journaled strictly between two instants.
std::vector<JournalEntry> Between(const nimo_test::Journal& j, const std::string& event,
                                  long long from, long long to) {
  std::vector<JournalEntry> out;
  for (const JournalEntry& e : j.Events(event)) {
    if (e.micros > from && e.micros < to) out.push_back(e);
  }
  return out;
}

TEST(Commands, ResizeHideShowAndReload) {
  EngineSession s;
  StartWithUiSurface(s);
  // The page's own load refreshes the view once; the commands come after it.
  ASSERT_TRUE(s.WaitForEvents("cb.on_load_end", 1, 10000));
  const std::size_t resized_before = s.Journal().Count("host.was_resized");
  FakeClient& c = s.client();
  ASSERT_TRUE(c.SendSurfaceCommand(kMsgResizeSurface, 0, 800, 600, 0));
  ASSERT_TRUE(c.SendSurfaceCommand(kMsgResizeSurface, 0, 800, 600, 0));  // same size: nothing
  ASSERT_TRUE(c.SendSurfaceCommand(kMsgResizeSurface, 0, 0, 600, 0));    // zero side: nothing
  ASSERT_TRUE(c.SendSurfaceCommand(kMsgSetHidden, 0, 0, 0, 1));
  ASSERT_TRUE(s.WaitForEvents("host.was_hidden", 1, 10000, "hidden", "1"));
  {
    const nimo_test::Journal j = s.Journal();
    EXPECT_EQ(j.Count("host.was_resized") - resized_before, 1u);
    std::vector<JournalEntry> rects = j.Events("cb.get_view_rect", "why", "was_resized");
    ASSERT_FALSE(rects.empty());
    EXPECT_EQ(rects.back().Get("width"), "800");
    EXPECT_EQ(rects.back().Get("height"), "600");
  }
  const std::size_t invalidates_before = s.Journal().Count("host.invalidate");
  ASSERT_TRUE(c.SendSurfaceCommand(kMsgSetHidden, 0, 0, 0, 0));
  ASSERT_TRUE(s.WaitForEvents("host.invalidate", invalidates_before + 4, 10000));
  Sleep(100);  // room for a wrong fifth repaint to show up
  ASSERT_TRUE(c.SendSurfaceCommand(kMsgReload, 0, 0, 0, 1));
  ASSERT_TRUE(c.SendSurfaceCommand(kMsgReload, 0, 0, 0, 0));
  ASSERT_TRUE(s.WaitForEvents("browser.reload", 2, 10000));
  ShutDown(s);

  const nimo_test::Journal j = s.Journal();
  const std::vector<JournalEntry> shown = j.Events("host.was_hidden", "hidden", "0");
  ASSERT_EQ(shown.size(), 1u);
  const std::vector<JournalEntry> reloads = j.Events("browser.reload");
  ASSERT_EQ(reloads.size(), 2u);
  EXPECT_EQ(reloads[0].Get("ignore_cache"), "1");
  EXPECT_EQ(reloads[1].Get("ignore_cache"), "0");
  // Shown: one immediate repaint, then three more at 50, 150 and 400 ms, and nothing
  // else until the reloads.
  const long long at = shown[0].micros;
  const std::vector<JournalEntry> invalidates =
      Between(j, "host.invalidate", at - 1, reloads[0].micros);
  EXPECT_EQ(Between(j, "host.was_resized", at - 1, reloads[0].micros).size(), 4u);
  ASSERT_EQ(invalidates.size(), 4u);
  // The refreshes come late, never before their delay (lower bounds only: a busy machine
  // may be later).
  EXPECT_GE(invalidates[1].micros - at, 50000);
  EXPECT_GE(invalidates[2].micros - at, 150000);
  EXPECT_GE(invalidates[3].micros - at, 400000);
  for (const JournalEntry& e : invalidates) {
    EXPECT_EQ(e.Get("type"), "0");
    EXPECT_EQ(e.Get("from_ui"), "1") << "host calls belong to the UI thread";
  }
  for (const JournalEntry& e : j.Events("host.was_resized")) EXPECT_EQ(e.Get("from_ui"), "1");
}

TEST(Commands, NavigateAndScriptReachTheMainFrame) {
  EngineSession s;
  StartWithUiSurface(s);
  const std::string script = "window.__mpEmit('ready', [1, \"\xC3\xA9\"])";
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgNavigate, 0, 0, 0, 0, "about:blank#next"));
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgNavigate, 0, 0, 0, 0, ""));
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgExecuteScript, 0, 0, 0, 0, script));
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgExecuteScript, 0, 0, 0, 0, ""));
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgExecuteScript, 2, 0, 0, 0, "no browser"));
  ASSERT_TRUE(s.WaitForEvents("frame.execute_java_script", 1, 10000, "code", script));
  ShutDown(s);
  const nimo_test::Journal j = s.Journal();
  const std::vector<JournalEntry> loads = j.Events("frame.load_url");
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_EQ(loads[0].Get("url"), "about:blank#next");
  EXPECT_EQ(loads[0].Get("frame"), "main");
  std::vector<JournalEntry> scripts;
  for (const JournalEntry& e : j.Events("frame.execute_java_script")) {
    if (e.Get("code") == script) scripts.push_back(e);
  }
  ASSERT_EQ(scripts.size(), 1u);
  EXPECT_EQ(scripts[0].Get("script_url"), "");
  EXPECT_EQ(scripts[0].Get("start_line"), "0");
  EXPECT_EQ(j.Events("frame.execute_java_script", "code", "no browser").size(), 0u);
}

TEST(Commands, TheProbePageFlagPinsSurfaceZeroOnly) {
  SessionOptions options;
  options.flag_files = {"ZUNT_WEB_TESTPAGE"};
  EngineSession s(options);
  StartWithUiSurface(s);
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgNavigate, 0, 0, 0, 0, "about:blank#zero"));
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgCreateSurface, 1, 320, 200, 0, "about:blank#one"));
  ASSERT_TRUE(s.WaitForEvents("cb.on_after_created", 2, 10000));
  ASSERT_TRUE(s.client().SendSurfaceCommand(kMsgNavigate, 1, 0, 0, 0, "about:blank#one-next"));
  ASSERT_TRUE(s.WaitForEvents("frame.load_url", 1, 10000));
  ShutDown(s);
  const nimo_test::Journal j = s.Journal();
  EXPECT_TRUE(j.Events("frame.load_url", "url", "about:blank#zero").empty());
  EXPECT_EQ(j.Events("frame.load_url", "url", "about:blank#one-next").size(), 1u);
}

TEST(Commands, AClientThatStopsReadingNeverStallsTheUiThread) {
  // The page floods the client with console lines while the client reads nothing: the
  // reports beyond the queue are dropped, but input keeps reaching the page.
  nimo_test::ScenarioWriter scenario;
  scenario.Page("*", {"load_start", "load_end",
                      "console level=0 line=1 source=flood message=" +
                          nimo_test::ScenarioWriter::Quote(std::string(2000, 'f')) + " repeat=400"});
  SessionOptions options;
  options.scenario = scenario.Text();
  options.pipe_buffer = 4096;
  EngineSession s(options);
  StartWithUiSurface(s);
  ASSERT_TRUE(s.WaitForEvents("cb.on_console_message", 400, 20000));
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(s.client().SendInput(0, 0x200, 0, i, 0));
  ASSERT_TRUE(s.WaitForEvents("host.send_mouse_move_event", 100, 20000))
      << "input stopped while the client was not reading";
  // Now read what was kept: far fewer than were raised, none out of order.
  int lines = 0;
  Report r;
  while (s.client().Read(&r, 500)) {
    if (r.type == kMsgConsoleLine) ++lines;
  }
  EXPECT_GT(lines, 0);
  EXPECT_LT(lines, 400);
  std::printf("console lines kept while the client was stalled: %d of 400\n", lines);
  ShutDown(s);
}

}  // namespace
}  // namespace test
}  // namespace nimo
