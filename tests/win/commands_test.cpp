// Command bodies against the engine fake (tests/support/fake_cef.h): what each command
// does to a surface, which host call each input message becomes, and that every host,
// frame and browser reference a handler takes is given back.
#include "surfaces/commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/engine_api.h"
#include "protocol/wire.h"
#include "surfaces/surface.h"
#include "tests/support/fake_cef.h"

namespace nimo {
namespace {

using test::FakeBrowser;
using test::FakeFrame;

// The browser of surface 1, for checks made inside a call.
FakeBrowser* current = nullptr;

// Delayed tasks as the engine holds them until their time: the test runs them.
struct Delayed {
  std::int64_t delay_ms;
  cef_task_t* task;
};
std::vector<Delayed> delayed;
int quits = 0;

int PostDelayed(cef_thread_id_t, cef_task_t* task, std::int64_t delay_ms) {
  delayed.push_back({delay_ms, task});
  return 1;
}
void RunDelayed(const Delayed& d) { d.task->execute(d.task); }
void DropDelayed() {
  for (const Delayed& d : delayed) d.task->base.release(&d.task->base);
  delayed.clear();
}
void QuitLoop() { ++quits; }

class CommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = engine_api;
    engine_api.cef_post_delayed_task = PostDelayed;
    engine_api.cef_quit_message_loop = QuitLoop;
    test::InstallFakeEngineStrings();
    browser_.reset(test::NewBrowser());
    frame_.reset(test::NewFrame(true));
    browser_->main_frame = frame_.get();
    current = browser_.get();
    for (Surface& s : surfaces) {
      s.browser = nullptr;
      s.view_width = 1280;
      s.view_height = 720;
      s.create_pending = 0;
    }
    Keep(&surfaces[1]);
    DropDelayed();
    quits = 0;
  }
  void TearDown() override {
    DropDelayed();
    for (Surface& s : surfaces) s.browser = nullptr;  // the records' own references
    EXPECT_EQ(browser_->host.refs, 0) << "a host reference was not released";
    EXPECT_EQ(frame_->refs, 0) << "a frame reference was not released";
    EXPECT_EQ(browser_->refs, 0) << "a browser reference was not released";
    current = nullptr;
    engine_api = saved_;
  }

  // The browser becomes the record's, with a reference of the record's own.
  void Keep(Surface* s) { s->browser = ShareRef(&browser_->cef); }
  std::vector<std::string>& host_calls() { return browser_->host.calls; }

  static void Run(void (*body)(const SurfaceHead&), SurfaceHead head) { body(head); }
  static void RunInput(std::uint32_t surface, std::uint32_t message, std::uint64_t wparam,
                       std::uint64_t lparam, std::uint32_t modifiers) {
    InputTask(InputRecord{surface, message, wparam, lparam, modifiers, 0});
  }
  EngineApi saved_;
  std::unique_ptr<FakeBrowser> browser_;
  std::unique_ptr<FakeFrame> frame_;
};

using Calls = std::vector<std::string>;

TEST_F(CommandsTest, ResizeRules) {
  Run(ResizeTask, {1, 0, 600, 0});
  Run(ResizeTask, {1, 800, 0, 0});
  EXPECT_EQ(surfaces[1].view_width, 1280u) << "a zero side keeps the old size";
  Run(ResizeTask, {1, 1280, 720, 0});
  EXPECT_TRUE(host_calls().empty()) << "zero sides and the current size do nothing";
  Run(ResizeTask, {1, 800, 600, 0});
  EXPECT_EQ(host_calls(), Calls{"was_resized"});
  EXPECT_EQ(surfaces[1].view_width, 800u);
  EXPECT_EQ(surfaces[1].view_height, 600u);
  host_calls().clear();
  // Without a browser the size is still stored for the browser created later.
  Run(ResizeTask, {2, 300, 200, 0});
  EXPECT_EQ(surfaces[2].view_width, 300u);
  EXPECT_EQ(surfaces[2].view_height, 200u);
  Run(ResizeTask, {4, 300, 200, 0});
  Run(ResizeTask, {0xFFFFFFFFu, 300, 200, 0});
  EXPECT_TRUE(host_calls().empty());
}

TEST_F(CommandsTest, HidingSchedulesNoRefresh) {
  Run(VisibilityTask, {1, 0, 0, 1});
  EXPECT_EQ(host_calls(), Calls{"was_hidden 1"});
  EXPECT_TRUE(delayed.empty());
}

TEST_F(CommandsTest, ShowingRepaintsNowAndThreeTimesLater) {
  Run(VisibilityTask, {1, 0, 0, 0});
  EXPECT_EQ(host_calls(), (Calls{"was_hidden 0", "was_resized", "invalidate 0"}));
  ASSERT_EQ(delayed.size(), 3u);
  const std::int64_t expected[3] = {50, 150, 400};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(delayed[i].delay_ms, expected[i]);
    // Each one refreshes surface 1's view.
    host_calls().clear();
    RunDelayed(delayed[i]);
    EXPECT_EQ(host_calls(), (Calls{"was_resized", "invalidate 0"}));
  }
}

TEST_F(CommandsTest, ShowingASurfaceWithoutBrowserStillSchedulesTheRefreshes) {
  Run(VisibilityTask, {3, 0, 0, 0});
  EXPECT_TRUE(host_calls().empty());
  EXPECT_EQ(delayed.size(), 3u);
  for (const Delayed& d : delayed) RunDelayed(d);
  RefreshViewTask(3);
  EXPECT_TRUE(host_calls().empty());
}

TEST_F(CommandsTest, WithoutDelayedPostsShowingDoesOnlyTheImmediatePart) {
  engine_api.cef_post_delayed_task = nullptr;
  Run(VisibilityTask, {1, 0, 0, 0});
  EXPECT_EQ(host_calls(), (Calls{"was_hidden 0", "was_resized", "invalidate 0"}));
  EXPECT_TRUE(delayed.empty());
}

TEST_F(CommandsTest, ReloadWithAndWithoutCache) {
  Run(ReloadTask, {1, 0, 0, 1});
  Run(ReloadTask, {1, 0, 0, 0});
  browser_->cef.reload_ignore_cache = nullptr;
  Run(ReloadTask, {1, 0, 0, 7});
  EXPECT_EQ(browser_->calls, (Calls{"reload_ignore_cache", "reload", "reload"}));
}

TEST_F(CommandsTest, FocusGivenAndTaken) {
  Run(FocusTask, {1, 0, 0, 5});
  Run(FocusTask, {1, 0, 0, 0});
  Run(FocusTask, {2, 0, 0, 1});  // no browser
  EXPECT_EQ(host_calls(), (Calls{"set_focus 1", "set_focus 0"}));
}

TEST_F(CommandsTest, MissingSlotsAreSkipped) {
  cef_browser_host_t& host = browser_->host.cef;
  std::memset(reinterpret_cast<char*>(&host) + sizeof host.base, 0, sizeof host - sizeof host.base);
  Run(VisibilityTask, {1, 0, 0, 0});
  Run(FocusTask, {1, 0, 0, 1});
  RunInput(1, 0x100, 65, 0, 0);
  browser_->cef.get_host = nullptr;
  browser_->cef.reload = nullptr;
  browser_->cef.reload_ignore_cache = nullptr;
  Run(ResizeTask, {1, 10, 10, 0});
  Run(ReloadTask, {1, 0, 0, 0});
  EXPECT_TRUE(host_calls().empty());
  EXPECT_TRUE(browser_->calls.empty());
}

TEST_F(CommandsTest, InputReachesTheHostAndGivesItBack) {
  // The whole message table is proven end to end; here the delivery and its reference.
  RunInput(1, 0x20A, 0xFF880000, 0xFFFF0010, 4);
  RunInput(1, 0x203, 1, 0, 0);  // double-click: dropped
  EXPECT_EQ(host_calls(), Calls{"wheel x=16 y=-1 mods=4 dx=0 dy=-120"});
}

TEST_F(CommandsTest, InputForASurfaceWithoutBrowserOrOutOfRangeDoesNothing) {
  RunInput(2, 0x100, 65, 0, 0);
  RunInput(4, 0x100, 65, 0, 0);
  EXPECT_TRUE(host_calls().empty());
}

TEST_F(CommandsTest, NavigateAndScriptRunOnTheMainFrameWithTheirOwnReferences) {
  // The record's reference may go away on the UI thread meanwhile: the reader must hold
  // its own browser reference during the call (given back afterwards).
  frame_->cef.load_url = [](cef_frame_t* self, const cef_string_t* url) {
    EXPECT_GE(current->refs, 2) << "no browser reference of the reader's own during the call";
    reinterpret_cast<FakeFrame*>(self)->loads.push_back(test::Utf8Of(url));
  };
  NavigateSurface(1, "https://example.test/a", 22);
  ExecuteScriptInSurface(1, "mp.go(1)", 8);
  EXPECT_EQ(frame_->loads, Calls{"https://example.test/a"});
  EXPECT_EQ(frame_->scripts, Calls{"mp.go(1)"});
  EXPECT_EQ(frame_->script_urls, Calls{""});
  EXPECT_EQ(frame_->start_lines, std::vector<int>{0});
}

TEST_F(CommandsTest, NavigateAndScriptIgnoreEmptyTextsAndMissingSurfaces) {
  NavigateSurface(1, "", 0);
  NavigateSurface(1, nullptr, 5);
  ExecuteScriptInSurface(1, "x", 0);
  NavigateSurface(2, "about:blank", 11);
  ExecuteScriptInSurface(2, "x", 1);
  NavigateSurface(4, "about:blank", 11);
  ExecuteScriptInSurface(9, "x", 1);
  browser_->cef.get_main_frame = nullptr;
  NavigateSurface(1, "about:blank", 11);
  EXPECT_TRUE(frame_->loads.empty());
  EXPECT_TRUE(frame_->scripts.empty());
}

TEST_F(CommandsTest, NavigateOnTheUiSurfaceWorksWithoutTheProbeFlag) {
  Keep(&surfaces[0]);
  NavigateSurface(0, "about:blank", 11);
  EXPECT_EQ(frame_->loads, Calls{"about:blank"});
}

TEST_F(CommandsTest, CreateTaskAsksForTheBrowserOnce) {
  // The request itself is the surface table's; here only that the task hands it on: a
  // live surface ignores it, so nothing reaches the engine.
  CreateSurfaceTask(SurfaceHead{1, 10, 10, 0}, "about:blank");
  EXPECT_TRUE(host_calls().empty());
  EXPECT_EQ(surfaces[1].view_width, 1280u) << "a live surface keeps its size";
}

// Last: quitting is set once per process.
TEST_F(CommandsTest, ZZCloseAllAndQuitClosesEveryBrowserOnce) {
  Keep(&surfaces[3]);
  ASSERT_EQ(surfaces.quitting.load(), 0);
  CloseAllAndQuit();
  EXPECT_EQ(surfaces.quitting.load(), 1);
  EXPECT_EQ(host_calls(), (Calls{"close_browser 1", "close_browser 1"}));
  EXPECT_EQ(quits, 0) << "the last browser to close ends the loop, not this";
  host_calls().clear();
  CloseAllAndQuit();
  EXPECT_TRUE(host_calls().empty()) << "a second run does nothing";
}

}  // namespace
}  // namespace nimo
