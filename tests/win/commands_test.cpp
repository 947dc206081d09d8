// Command bodies against fake engine objects that record every call: what each command
// does to a surface, which host call each input message becomes, and that every host,
// frame and browser reference a handler takes is given back.
#include "surfaces/commands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/engine_api.h"
#include "link/portable/wire.h"
#include "link/ui_task.h"
#include "surfaces/surface.h"

namespace nimo {
namespace {

std::vector<std::string> calls;
int host_refs = 0;     // references handed out by get_host and not yet released
int frame_refs = 0;
int browser_refs = 0;  // references beyond the record's own

std::string Utf16ToAscii(const cef_string_t* s) {
  std::string out;
  if (!s) return "<null>";
  for (size_t i = 0; i < s->length; ++i) out.push_back(static_cast<char>(s->str[i]));
  return out;
}

void Record(const char* format, long long a = 0, long long b = 0, long long c = 0,
            long long d = 0, long long e = 0) {
  char line[200];
  std::snprintf(line, sizeof line, format, a, b, c, d, e);
  calls.push_back(line);
}

// --- Fake host -------------------------------------------------------------------------
void CEF_CALLBACK HostAddRef(cef_base_ref_counted_t*) { ++host_refs; }
int CEF_CALLBACK HostRelease(cef_base_ref_counted_t*) { return --host_refs == 0; }
void CEF_CALLBACK WasResized(cef_browser_host_t*) { Record("was_resized"); }
void CEF_CALLBACK WasHidden(cef_browser_host_t*, int hidden) { Record("was_hidden %lld", hidden); }
void CEF_CALLBACK Invalidate(cef_browser_host_t*, cef_paint_element_type_t type) {
  Record("invalidate %lld", type);
}
void CEF_CALLBACK SetFocus(cef_browser_host_t*, int focus) { Record("set_focus %lld", focus); }
void CEF_CALLBACK CloseBrowser(cef_browser_host_t*, int force) { Record("close_browser %lld", force); }
void CEF_CALLBACK SendKey(cef_browser_host_t*, const cef_key_event_t* e) {
  char line[200];
  std::snprintf(line, sizeof line,
                "key type=%d mods=%u wkc=%d nkc=%d sys=%d char=%d unmod=%d edit=%d", e->type,
                e->modifiers, e->windows_key_code, e->native_key_code, e->is_system_key,
                e->character, e->unmodified_character, e->focus_on_editable_field);
  calls.push_back(line);
}
void CEF_CALLBACK SendClick(cef_browser_host_t*, const cef_mouse_event_t* e,
                            cef_mouse_button_type_t button, int up, int count) {
  char line[200];
  std::snprintf(line, sizeof line, "click x=%d y=%d mods=%u button=%d up=%d count=%d", e->x,
                e->y, e->modifiers, button, up, count);
  calls.push_back(line);
}
void CEF_CALLBACK SendMove(cef_browser_host_t*, const cef_mouse_event_t* e, int leave) {
  char line[200];
  std::snprintf(line, sizeof line, "move x=%d y=%d mods=%u leave=%d", e->x, e->y, e->modifiers,
                leave);
  calls.push_back(line);
}
void CEF_CALLBACK SendWheel(cef_browser_host_t*, const cef_mouse_event_t* e, int dx, int dy) {
  char line[200];
  std::snprintf(line, sizeof line, "wheel x=%d y=%d mods=%u dx=%d dy=%d", e->x, e->y,
                e->modifiers, dx, dy);
  calls.push_back(line);
}

// --- Fake frame ------------------------------------------------------------------------
void CEF_CALLBACK FrameAddRef(cef_base_ref_counted_t*) { ++frame_refs; }
int CEF_CALLBACK FrameRelease(cef_base_ref_counted_t*) { return --frame_refs == 0; }
void CEF_CALLBACK LoadUrl(cef_frame_t*, const cef_string_t* url) {
  calls.push_back("load_url " + Utf16ToAscii(url));
}
void CEF_CALLBACK ExecuteJs(cef_frame_t*, const cef_string_t* code, const cef_string_t* url,
                            int line) {
  calls.push_back("execute_java_script " + Utf16ToAscii(code) + " url=[" + Utf16ToAscii(url) +
                  "] line=" + std::to_string(line));
}

// --- Fake browser ----------------------------------------------------------------------
cef_browser_host_t host;
cef_frame_t frame;
cef_browser_t browser;

void CEF_CALLBACK BrowserAddRef(cef_base_ref_counted_t*) { ++browser_refs; }
int CEF_CALLBACK BrowserRelease(cef_base_ref_counted_t*) { return --browser_refs == 0; }
cef_browser_host_t* CEF_CALLBACK GetHost(cef_browser_t*) {
  host.base.add_ref(&host.base);
  return &host;
}
cef_frame_t* CEF_CALLBACK GetMainFrame(cef_browser_t*) {
  frame.base.add_ref(&frame.base);
  return &frame;
}
void CEF_CALLBACK Reload(cef_browser_t*) { Record("reload"); }
void CEF_CALLBACK ReloadIgnoreCache(cef_browser_t*) { Record("reload_ignore_cache"); }

// --- Fake engine entries ---------------------------------------------------------------
struct Delayed {
  std::int64_t delay_ms;
  SurfaceHead head;
  UiTaskBody run;
};
std::vector<Delayed> delayed;
int quits = 0;

int PostDelayed(cef_thread_id_t, cef_task_t* task, std::int64_t delay_ms) {
  UiTask* t = reinterpret_cast<UiTask*>(task);
  delayed.push_back({delay_ms, t->head, t->run});
  task->base.release(&task->base);
  return 1;
}
void QuitLoop() { ++quits; }
void ClearString(cef_string_utf16_t* s) {
  if (s->dtor) s->dtor(s->str);
  std::memset(s, 0, sizeof *s);
}
void FreeUtf16(char16_t* p) { delete[] p; }
int Utf8ToUtf16(const char* src, size_t len, cef_string_utf16_t* out) {
  ClearString(out);
  out->str = new char16_t[len + 1];
  for (size_t i = 0; i < len; ++i) out->str[i] = static_cast<unsigned char>(src[i]);
  out->length = len;
  out->dtor = FreeUtf16;
  return 1;
}

class CommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = engine_api;
    engine_api.cef_post_delayed_task = PostDelayed;
    engine_api.cef_quit_message_loop = QuitLoop;
    engine_api.cef_string_utf8_to_utf16 = Utf8ToUtf16;
    engine_api.cef_string_utf16_clear = ClearString;
    std::memset(&host, 0, sizeof host);
    host.base.size = sizeof host;
    host.base.add_ref = HostAddRef;
    host.base.release = HostRelease;
    host.was_resized = WasResized;
    host.was_hidden = WasHidden;
    host.invalidate = Invalidate;
    host.set_focus = SetFocus;
    host.close_browser = CloseBrowser;
    host.send_key_event = SendKey;
    host.send_mouse_click_event = SendClick;
    host.send_mouse_move_event = SendMove;
    host.send_mouse_wheel_event = SendWheel;
    std::memset(&frame, 0, sizeof frame);
    frame.base.size = sizeof frame;
    frame.base.add_ref = FrameAddRef;
    frame.base.release = FrameRelease;
    frame.load_url = LoadUrl;
    frame.execute_java_script = ExecuteJs;
    std::memset(&browser, 0, sizeof browser);
    browser.base.size = sizeof browser;
    browser.base.add_ref = BrowserAddRef;
    browser.base.release = BrowserRelease;
    browser.get_host = GetHost;
    browser.get_main_frame = GetMainFrame;
    browser.reload = Reload;
    browser.reload_ignore_cache = ReloadIgnoreCache;
    for (Surface& s : surfaces) {
      s.browser = nullptr;
      s.view_width = 1280;
      s.view_height = 720;
      s.create_pending = 0;
    }
    KeepBrowser(&surfaces[1]);
    calls.clear();
    delayed.clear();
    host_refs = frame_refs = browser_refs = 0;
    quits = 0;
  }
  void TearDown() override {
    EXPECT_EQ(host_refs, 0) << "a host reference was not released";
    EXPECT_EQ(frame_refs, 0) << "a frame reference was not released";
    EXPECT_EQ(browser_refs, 0) << "a browser reference was not released";
    for (Surface& s : surfaces) s.browser = nullptr;
    engine_api = saved_;
  }

  // The record's own reference, which browser_refs does not count.
  void KeepBrowser(Surface* s) {
    s->browser = ShareRef(&browser);
    --browser_refs;
  }
  static void Run(UiTaskBody body, SurfaceHead head) {
    UiTask* task = CreateUiTask(body, nullptr, &head, nullptr, 0);
    body(task);
    task->task.base.release(&task->task.base);
  }
  static void RunInput(std::uint32_t surface, std::uint32_t message, std::uint64_t wparam,
                       std::uint64_t lparam, std::uint32_t modifiers) {
    const InputRecord input{surface, message, wparam, lparam, modifiers, 0};
    UiTask* task = CreateUiTask(InputTask, &input, nullptr, nullptr, 0);
    InputTask(task);
    task->task.base.release(&task->task.base);
  }
  EngineApi saved_;
};

using Calls = std::vector<std::string>;

TEST_F(CommandsTest, ResizeRules) {
  Run(ResizeTask, {1, 0, 600, 0});
  Run(ResizeTask, {1, 800, 0, 0});
  EXPECT_EQ(surfaces[1].view_width, 1280u) << "a zero side keeps the old size";
  Run(ResizeTask, {1, 1280, 720, 0});
  EXPECT_TRUE(calls.empty()) << "zero sides and the current size do nothing";
  Run(ResizeTask, {1, 800, 600, 0});
  EXPECT_EQ(calls, Calls{"was_resized"});
  EXPECT_EQ(surfaces[1].view_width, 800u);
  EXPECT_EQ(surfaces[1].view_height, 600u);
  calls.clear();
  // Without a browser the size is still stored for the browser created later.
  Run(ResizeTask, {2, 300, 200, 0});
  EXPECT_EQ(surfaces[2].view_width, 300u);
  EXPECT_EQ(surfaces[2].view_height, 200u);
  Run(ResizeTask, {4, 300, 200, 0});
  Run(ResizeTask, {0xFFFFFFFFu, 300, 200, 0});
  EXPECT_TRUE(calls.empty());
}

TEST_F(CommandsTest, HidingSchedulesNoRefresh) {
  Run(VisibilityTask, {1, 0, 0, 1});
  EXPECT_EQ(calls, Calls{"was_hidden 1"});
  EXPECT_TRUE(delayed.empty());
}

TEST_F(CommandsTest, ShowingRepaintsNowAndThreeTimesLater) {
  Run(VisibilityTask, {1, 0, 0, 0});
  EXPECT_EQ(calls, (Calls{"was_hidden 0", "was_resized", "invalidate 0"}));
  ASSERT_EQ(delayed.size(), 3u);
  const std::int64_t expected[3] = {50, 150, 400};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(delayed[i].delay_ms, expected[i]);
    EXPECT_EQ(delayed[i].head.surface_id, 1u);
    EXPECT_EQ(delayed[i].run, &RefreshViewTask);
  }
  calls.clear();
  Run(delayed[0].run, delayed[0].head);
  EXPECT_EQ(calls, (Calls{"was_resized", "invalidate 0"}));
}

TEST_F(CommandsTest, ShowingASurfaceWithoutBrowserStillSchedulesTheRefreshes) {
  Run(VisibilityTask, {3, 0, 0, 0});
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(delayed.size(), 3u);
  calls.clear();
  Run(RefreshViewTask, {3, 0, 0, 0});
  EXPECT_TRUE(calls.empty());
}

TEST_F(CommandsTest, WithoutDelayedPostsShowingDoesOnlyTheImmediatePart) {
  engine_api.cef_post_delayed_task = nullptr;
  Run(VisibilityTask, {1, 0, 0, 0});
  EXPECT_EQ(calls, (Calls{"was_hidden 0", "was_resized", "invalidate 0"}));
  EXPECT_TRUE(delayed.empty());
}

TEST_F(CommandsTest, ReloadWithAndWithoutCache) {
  Run(ReloadTask, {1, 0, 0, 1});
  Run(ReloadTask, {1, 0, 0, 0});
  browser.reload_ignore_cache = nullptr;
  Run(ReloadTask, {1, 0, 0, 7});
  EXPECT_EQ(calls, (Calls{"reload_ignore_cache", "reload", "reload"}));
}

TEST_F(CommandsTest, FocusGivenAndTaken) {
  Run(FocusTask, {1, 0, 0, 5});
  Run(FocusTask, {1, 0, 0, 0});
  Run(FocusTask, {2, 0, 0, 1});  // no browser
  EXPECT_EQ(calls, (Calls{"set_focus 1", "set_focus 0"}));
}

TEST_F(CommandsTest, MissingSlotsAreSkipped) {
  std::memset(reinterpret_cast<char*>(&host) + sizeof host.base, 0, sizeof host - sizeof host.base);
  Run(VisibilityTask, {1, 0, 0, 0});
  Run(FocusTask, {1, 0, 0, 1});
  RunInput(1, 0x100, 65, 0, 0);
  browser.get_host = nullptr;
  browser.reload = nullptr;
  browser.reload_ignore_cache = nullptr;
  Run(ResizeTask, {1, 10, 10, 0});
  Run(ReloadTask, {1, 0, 0, 0});
  EXPECT_TRUE(calls.empty());
}

TEST_F(CommandsTest, InputReachesTheHostAndGivesItBack) {
  // The whole message table is proven end to end; here the delivery and its reference.
  RunInput(1, 0x20A, 0xFF880000, 0xFFFF0010, 4);
  RunInput(1, 0x203, 1, 0, 0);  // double-click: dropped
  EXPECT_EQ(calls, Calls{"wheel x=16 y=-1 mods=4 dx=0 dy=-120"});
}

TEST_F(CommandsTest, InputForASurfaceWithoutBrowserOrOutOfRangeDoesNothing) {
  RunInput(2, 0x100, 65, 0, 0);
  RunInput(4, 0x100, 65, 0, 0);
  EXPECT_TRUE(calls.empty());
}

TEST_F(CommandsTest, NavigateAndScriptRunOnTheMainFrameWithTheirOwnReferences) {
  // The record's reference may go away on the UI thread meanwhile: the reader must hold
  // its own browser reference during the call (given back afterwards).
  frame.load_url = [](cef_frame_t*, const cef_string_t* url) {
    EXPECT_GE(browser_refs, 1) << "no browser reference held during the call";
    calls.push_back("load_url " + Utf16ToAscii(url));
  };
  NavigateSurface(1, "https://example.test/a", 22);
  ExecuteScriptInSurface(1, "mp.go(1)", 8);
  EXPECT_EQ(calls, (Calls{"load_url https://example.test/a",
                          "execute_java_script mp.go(1) url=[] line=0"}));
}

TEST_F(CommandsTest, NavigateAndScriptIgnoreEmptyTextsAndMissingSurfaces) {
  NavigateSurface(1, "", 0);
  NavigateSurface(1, nullptr, 5);
  ExecuteScriptInSurface(1, "x", 0);
  NavigateSurface(2, "about:blank", 11);
  ExecuteScriptInSurface(2, "x", 1);
  NavigateSurface(4, "about:blank", 11);
  ExecuteScriptInSurface(9, "x", 1);
  browser.get_main_frame = nullptr;
  NavigateSurface(1, "about:blank", 11);
  EXPECT_TRUE(calls.empty());
}

TEST_F(CommandsTest, NavigateOnTheUiSurfaceWorksWithoutTheProbeFlag) {
  KeepBrowser(&surfaces[0]);
  NavigateSurface(0, "about:blank", 11);
  EXPECT_EQ(calls, Calls{"load_url about:blank"});
}

TEST_F(CommandsTest, CreateTaskAsksForTheBrowserOnce) {
  // The request itself is the surface table's; here only that the task hands it on: a
  // live surface ignores it, so nothing reaches the engine.
  UiTask* task = CreateUiTask(CreateSurfaceTask, nullptr, nullptr, "about:blank", 11);
  task->head = SurfaceHead{1, 10, 10, 0};
  CreateSurfaceTask(task);
  task->task.base.release(&task->task.base);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(surfaces[1].view_width, 1280u) << "a live surface keeps its size";
}

// Last: quitting is set once per process.
TEST_F(CommandsTest, ZZCloseAllAndQuitClosesEveryBrowserOnce) {
  KeepBrowser(&surfaces[3]);
  ASSERT_EQ(quitting.load(), 0);
  CloseAllAndQuit(nullptr);
  EXPECT_EQ(quitting.load(), 1);
  EXPECT_EQ(calls, (Calls{"close_browser 1", "close_browser 1"}));
  EXPECT_EQ(quits, 0) << "the last browser to close ends the loop, not this";
  calls.clear();
  CloseAllAndQuit(nullptr);
  EXPECT_TRUE(calls.empty()) << "a second run does nothing";
}

}  // namespace
}  // namespace nimo
