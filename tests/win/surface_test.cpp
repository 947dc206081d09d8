// The surface table driven in-process through a small scripted engine, for what the
// stand-in engine cannot stage (stray browsers, pumps of replaced browsers, the exact
// moment of the quit): browsers are handed out as fresh wrappers per crossing (identity
// only through is_same, which consumes its argument), every wrapper counts its references,
// and posted tasks wait in a list until the test runs them.
#include "surfaces/surface.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "base/engine_api.h"
#include "base/ui_thread.h"
#include "link/pipe_link.h"
#include "link/ui_task.h"
#include "surfaces/frame_pump.h"
#include "tests/support/fake_cef.h"

namespace nimo {
namespace {

// ---- the scripted engine -----------------------------------------------------------------
// Its objects are the shared engine fake's (tests/support/fake_cef.h); here the entry points
// and what they were asked. A "core" is a browser's first wrapper: every later crossing
// brings another wrapper of the same identity (Wrap), so the record's own is told apart
// only through is_same.

using BrowserCore = test::FakeBrowser;

struct Engine {
  std::vector<std::unique_ptr<test::FakeBrowser>> browsers;  // every wrapper handed out
  std::vector<std::unique_ptr<test::FakeFrame>> frames;
  std::vector<std::unique_ptr<test::FakeMenuModel>> models;
  std::vector<std::unique_ptr<test::FakeMenuParams>> params;
  std::vector<std::unique_ptr<test::FakeMenuCallback>> callbacks;

  struct Create {
    cef_window_info_t window_info;
    cef_browser_settings_t settings;
    cef_client_t* client;
    std::string url;
  };
  std::vector<Create> creates;
  int create_result = 1;

  struct Posted {
    cef_task_t* task;
    std::int64_t delay_ms;
  };
  std::vector<Posted> posted;
  int quit_calls = 0;
};
Engine* engine = nullptr;

template <typename T>
T* Keep(std::vector<std::unique_ptr<T>>& store, T* object) {
  store.emplace_back(object);
  return object;
}
// A browser of a new identity, not yet handed to the product.
BrowserCore* NewCore() { return Keep(engine->browsers, test::NewBrowser()); }
// A fresh wrapper of `core` carrying one reference, as the engine passes to a callback.
cef_browser_t* Wrap(BrowserCore* core) {
  return test::Pass(Keep(engine->browsers, test::NewWrapperOf(*core)));
}
int RefsOf(cef_browser_t* browser) { return reinterpret_cast<test::FakeBrowser*>(browser)->refs; }

// Host calls of every wrapper of `core`'s browser.
std::vector<std::string> HostCallsOf(const BrowserCore* core) {
  std::vector<std::string> calls;
  for (const auto& b : engine->browsers) {
    if (b->identity == core->identity) calls.insert(calls.end(), b->host.calls.begin(), b->host.calls.end());
  }
  return calls;
}
int Count(const std::vector<std::string>& calls, const std::string& call) {
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}
int CloseCalls(const BrowserCore* core) {
  const std::vector<std::string> calls = HostCallsOf(core);
  return Count(calls, "close_browser 0") + Count(calls, "close_browser 1");
}
int ForcedCloseCalls(const BrowserCore* core) { return Count(HostCallsOf(core), "close_browser 1"); }
int BeginFrames(const BrowserCore* core) { return Count(HostCallsOf(core), "begin_frame"); }
void SetHostAvailable(const BrowserCore* core, bool available) {
  for (const auto& b : engine->browsers) {
    if (b->identity == core->identity) b->has_host = available;
  }
}

int CreateBrowser(const cef_window_info_t* wi, cef_client_t* client, const cef_string_t* url,
                  const cef_browser_settings_t* settings, cef_dictionary_value_t*,
                  cef_request_context_t*) {
  Engine::Create c;
  c.window_info = *wi;
  c.settings = *settings;
  c.client = client;
  c.url = test::Utf8Of(url);
  engine->creates.push_back(c);
  return engine->create_result;
}
int PostTask(cef_thread_id_t, cef_task_t* task) {
  engine->posted.push_back({task, 0});
  return 1;
}
int PostDelayedTask(cef_thread_id_t, cef_task_t* task, std::int64_t delay) {
  engine->posted.push_back({task, delay});
  return 1;
}
void QuitLoop() { engine->quit_calls++; }

class SurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_ = std::make_unique<Engine>();
    engine = engine_.get();
    saved_api_ = engine_api;
    engine_api.cef_browser_host_create_browser = CreateBrowser;
    engine_api.cef_post_task = PostTask;
    engine_api.cef_post_delayed_task = PostDelayedTask;
    engine_api.cef_quit_message_loop = QuitLoop;
    test::InstallFakeEngineStrings();
    for (Surface& s : surfaces) {
      s.browser = nullptr;
      s.create_pending = 0;
      s.view_width = kDefaultViewWidth;
      s.view_height = kDefaultViewHeight;
    }
    surfaces.live_browser_count = 0;
    surfaces.quitting = 0;
    surfaces.loop_quit_requested = false;
    link_stopped = 0;
    InitSurfaceTable();
  }
  void TearDown() override {
    DropPosted();
    for (Surface& s : surfaces) s.browser = nullptr;  // while their engine still exists
    for (const auto& b : engine->browsers) {
      EXPECT_GE(b->refs, 0) << "a browser wrapper was released once too often";
      EXPECT_GE(b->host.refs, 0) << "a host was released once too often";
    }
    engine_api = saved_api_;
    link_stopped = 0;
    surfaces.quitting = 0;
    surfaces.loop_quit_requested = false;
    engine = nullptr;
  }

  // Runs the posted tasks in order of posting (the ones they post wait for the next call);
  // returns how many ran.
  size_t RunPosted() {
    std::vector<Engine::Posted> batch;
    batch.swap(engine->posted);
    for (const Engine::Posted& p : batch) {
      p.task->execute(p.task);
      p.task->base.release(&p.task->base);
    }
    return batch.size();
  }
  void DropPosted() {
    for (const Engine::Posted& p : engine->posted) p.task->base.release(&p.task->base);
    engine->posted.clear();
  }

  // Creates `id` through the command path and delivers its on_after_created.
  BrowserCore* MakeLive(std::uint32_t id, cef_browser_t** wrapper = nullptr) {
    CreateSurfaceBrowser(id, 0, 0, "");
    BrowserCore* core = NewCore();
    cef_browser_t* b = Wrap(core);
    AfterCreated(id, b);
    if (wrapper != nullptr) *wrapper = b;
    return core;
  }
  void AfterCreated(std::uint32_t id, cef_browser_t* b) {
    surfaces[id].life_span_handler.on_after_created(&surfaces[id].life_span_handler, b);
  }
  void BeforeClose(std::uint32_t id, cef_browser_t* b) {
    surfaces[id].life_span_handler.on_before_close(&surfaces[id].life_span_handler, b);
  }

  std::unique_ptr<Engine> engine_;
  EngineApi saved_api_;
};

// ---- the table ---------------------------------------------------------------------------

TEST_F(SurfaceTest, TableGivesEveryRecordItsIdSizesAndOwnHandlers) {
  const size_t sizes[] = {192, 176, 88, 72, 128, 128, 96};
  for (std::uint32_t i = 0; i < kSurfaceCount; ++i) {
    Surface& s = surfaces[i];
    EXPECT_EQ(s.id, i);
    const cef_base_ref_counted_t* bases[] = {&s.client.base,       &s.render_handler.base,
                                             &s.life_span_handler.base, &s.load_handler.base,
                                             &s.display_handler.base,   &s.request_handler.base,
                                             &s.context_menu_handler.base};
    for (int k = 0; k < 7; ++k) {
      EXPECT_EQ(bases[k]->size, sizes[k]) << "record " << i << " structure " << k;
      EXPECT_NE(bases[k]->add_ref, nullptr);
      EXPECT_NE(bases[k]->release, nullptr);
    }
    EXPECT_EQ(s.client.get_render_handler(&s.client), &s.render_handler);
    EXPECT_EQ(s.client.get_life_span_handler(&s.client), &s.life_span_handler);
    EXPECT_EQ(s.client.get_load_handler(&s.client), &s.load_handler);
    EXPECT_EQ(s.client.get_display_handler(&s.client), &s.display_handler);
    EXPECT_EQ(s.client.get_request_handler(&s.client), &s.request_handler);
    EXPECT_EQ(s.client.get_context_menu_handler(&s.client), &s.context_menu_handler);
    // The paint paths and the navigation filter are in place in every record.
    EXPECT_NE(s.render_handler.on_accelerated_paint, nullptr);
    EXPECT_NE(s.render_handler.on_paint, nullptr);
    EXPECT_NE(s.request_handler.on_before_browse, nullptr);
    EXPECT_EQ(s.client.get_keyboard_handler, nullptr);

    EXPECT_EQ(SurfaceFrom(&s.client), &s);
    EXPECT_EQ(SurfaceFrom(&s.render_handler), &s);
    EXPECT_EQ(SurfaceFrom(&s.life_span_handler), &s);
    EXPECT_EQ(SurfaceFrom(&s.load_handler), &s);
    EXPECT_EQ(SurfaceFrom(&s.display_handler), &s);
    EXPECT_EQ(SurfaceFrom(&s.request_handler), &s);
    EXPECT_EQ(SurfaceFrom(&s.context_menu_handler), &s);
  }
}

TEST_F(SurfaceTest, HandlersOutsideTheTableBelongToNoSurface) {
  cef_life_span_handler_t foreign = {};
  EXPECT_EQ(SurfaceFrom(&foreign), nullptr);
  EXPECT_EQ(SurfaceFrom(static_cast<cef_client_t*>(nullptr)), nullptr);
  // A pointer inside a record but not at a handler's place is not a handler of it.
  auto* inside = reinterpret_cast<cef_life_span_handler_t*>(&surfaces[1].render_handler);
  EXPECT_EQ(SurfaceFrom(inside), nullptr);
}

// ---- creation ----------------------------------------------------------------------------

TEST_F(SurfaceTest, CreateIsIgnoredUnlessTheSlotIsEmptyAndTheEngineCanCreate) {
  CreateSurfaceBrowser(4, 0, 0, "x");
  CreateSurfaceBrowser(0xFFFFFFFFu, 0, 0, "x");
  EXPECT_TRUE(engine->creates.empty());

  CreateSurfaceBrowser(1, 0, 0, "a");
  CreateSurfaceBrowser(1, 0, 0, "b");  // still creating: one browser only
  EXPECT_EQ(engine->creates.size(), 1u);

  AfterCreated(1, Wrap(NewCore()));
  CreateSurfaceBrowser(1, 0, 0, "c");  // live
  EXPECT_EQ(engine->creates.size(), 1u);

  engine_api.cef_browser_host_create_browser = nullptr;
  CreateSurfaceBrowser(3, 800, 600, "d");
  EXPECT_EQ(engine->creates.size(), 1u);
  EXPECT_EQ(surfaces[3].view_width, kDefaultViewWidth);  // an ignored create changes nothing
  EXPECT_EQ(surfaces[3].create_pending, 0);
}

TEST_F(SurfaceTest, ZeroSizesKeepTheSlotsLastSizeAndEmptyUrlOpensBlank) {
  CreateSurfaceBrowser(1, 0, 0, "");
  EXPECT_EQ(engine->creates.back().window_info.bounds.width, 1280);
  EXPECT_EQ(engine->creates.back().window_info.bounds.height, 720);
  EXPECT_EQ(engine->creates.back().url, "about:blank");

  engine->create_result = 0;  // refused: the slot is empty again and keeps the size
  CreateSurfaceBrowser(2, 800, 0, "p");
  EXPECT_EQ(surfaces[2].create_pending, 0);
  EXPECT_EQ(surfaces[2].view_width, 800u);
  EXPECT_EQ(surfaces[2].view_height, 720u);

  engine->create_result = 1;
  CreateSurfaceBrowser(2, 0, 300, "q");
  EXPECT_EQ(engine->creates.back().window_info.bounds.width, 800);
  EXPECT_EQ(engine->creates.back().window_info.bounds.height, 300);
}

// ---- life span ---------------------------------------------------------------------------

TEST_F(SurfaceTest, ArrivalKeepsTheCallbacksReferenceAndCloseReleasesBoth) {
  cef_browser_t* arrived = nullptr;
  BrowserCore* core = MakeLive(3, &arrived);
  EXPECT_EQ(surfaces[3].browser.get(), arrived);
  EXPECT_EQ(surfaces[3].create_pending, 0);
  EXPECT_EQ(RefsOf(arrived), 1);  // kept, not added to
  EXPECT_EQ(surfaces.live_browser_count.load(), 1);

  ASSERT_TRUE(EnsureSurfaceTexture(&surfaces[3], 640, 480));
  surfaces[3].texture.FullCopyDone();
  surfaces[3].view_width = 900;

  cef_browser_t* closing = Wrap(core);  // another crossing, another pointer
  ASSERT_NE(closing, arrived);
  BeforeClose(3, closing);
  EXPECT_EQ(surfaces[3].browser.get(), nullptr);
  EXPECT_EQ(RefsOf(arrived), 0);
  EXPECT_EQ(RefsOf(closing), 0);
  EXPECT_EQ(surfaces.live_browser_count.load(), 0);
  EXPECT_EQ(surfaces[3].texture.get(), nullptr);
  EXPECT_EQ(surfaces[3].texture.client_handle(), 0u);
  EXPECT_EQ(surfaces[3].texture.width(), 0u);
  EXPECT_EQ(surfaces[3].texture.height(), 0u);
  EXPECT_EQ(surfaces[3].view_width, 900u);        // the view size stays with the slot
  EXPECT_FALSE(surfaces[3].texture.full_copy_pending());
  EXPECT_EQ(engine->quit_calls, 0);  // not shutting down: closing does not end anything
}

TEST_F(SurfaceTest, ABrowserThatIsNotTheSurfacesOwnNeverTouchesTheRecord) {
  cef_browser_t* own = nullptr;
  BrowserCore* own_core = MakeLive(1, &own);
  BrowserCore* stray_core = NewCore();
  cef_browser_t* stray = Wrap(stray_core);
  AfterCreated(1, stray);
  EXPECT_EQ(surfaces[1].browser.get(), own);
  EXPECT_EQ(RefsOf(stray), 0);
  EXPECT_EQ(CloseCalls(stray_core), 1);
  EXPECT_EQ(ForcedCloseCalls(stray_core), 1);
  EXPECT_EQ(surfaces.live_browser_count.load(), 1);

  BeforeClose(1, Wrap(stray_core));
  EXPECT_EQ(surfaces[1].browser.get(), own);
  EXPECT_EQ(RefsOf(own), 1);
  EXPECT_EQ(surfaces.live_browser_count.load(), 1);
  EXPECT_EQ(CloseCalls(own_core), 0);

  BeforeClose(1, Wrap(own_core));
  EXPECT_EQ(surfaces[1].browser.get(), nullptr);
  EXPECT_EQ(surfaces.live_browser_count.load(), 0);
}

TEST_F(SurfaceTest, TheLastCloseEndsTheLoopOnlyOnceShutdownHasBegun) {
  BrowserCore* a = MakeLive(0);
  BrowserCore* b = MakeLive(1);
  surfaces.quitting = 1;
  BeforeClose(0, Wrap(a));
  EXPECT_EQ(engine->quit_calls, 0);
  BeforeClose(1, Wrap(b));
  EXPECT_EQ(engine->quit_calls, 1);
}

TEST_F(SurfaceTest, ABrowserArrivingDuringShutdownIsClosedAndItsCloseEndsTheLoop) {
  BrowserCore* first = MakeLive(0);
  CreateSurfaceBrowser(1, 0, 0, "late");
  surfaces.quitting = 1;
  BeforeClose(0, Wrap(first));
  EXPECT_EQ(engine->quit_calls, 0);  // surface 1 is still on its way
  EXPECT_FALSE(QuitLoopIfAllClosed());

  BrowserCore* late = NewCore();
  AfterCreated(1, Wrap(late));
  EXPECT_EQ(CloseCalls(late), 1);
  EXPECT_EQ(ForcedCloseCalls(late), 1);
  EXPECT_EQ(engine->quit_calls, 0);
  BeforeClose(1, Wrap(late));
  EXPECT_EQ(engine->quit_calls, 1);
  EXPECT_EQ(surfaces.live_browser_count.load(), 0);
}

TEST_F(SurfaceTest, QuitWaitsForStrayBrowsersToClose) {
  BrowserCore* own = MakeLive(2);
  BrowserCore* stray = NewCore();
  AfterCreated(2, Wrap(stray));
  surfaces.quitting = 1;
  BeforeClose(2, Wrap(own));
  EXPECT_EQ(engine->quit_calls, 0);
  BeforeClose(2, Wrap(stray));
  EXPECT_EQ(engine->quit_calls, 1);
}

// ---- cross-thread reference --------------------------------------------------------------

TEST_F(SurfaceTest, AcquireGivesTheCallerItsOwnReference) {
  EXPECT_FALSE(AcquireSurfaceBrowser(1));
  EXPECT_FALSE(AcquireSurfaceBrowser(4));
  cef_browser_t* own = nullptr;
  BrowserCore* core = MakeLive(1, &own);
  auto got = AcquireSurfaceBrowser(1);
  ASSERT_EQ(got.get(), own);
  EXPECT_EQ(RefsOf(own), 2);
  BeforeClose(1, Wrap(core));  // the record lets go; the caller's reference survives
  EXPECT_EQ(RefsOf(own), 1);
  got.reset();
  EXPECT_EQ(RefsOf(own), 0);
  EXPECT_FALSE(AcquireSurfaceBrowser(1));
}

// ---- thread affinity ---------------------------------------------------------------------

std::vector<std::string> violations;
void RecordViolation(const char* where) { violations.push_back(where); }

TEST_F(SurfaceTest, ACallbackOrTaskOffTheUiThreadIsCaught) {
#if !defined(NIMO_THREAD_CHECKS)
  GTEST_SKIP() << "thread checks are compiled out of this build";
#endif
  RecordUiThread();
  const ThreadViolationHandler previous = SetThreadViolationHandler(RecordViolation);
  violations.clear();
  Surface& s = surfaces[1];
  cef_rect_t rect = {};
  auto call_both = [&s, &rect] {
    s.render_handler.get_view_rect(&s.render_handler, nullptr, &rect);
    PostUiTask("UI task", nullptr);
    cef_task_t* task = engine->posted.back().task;
    engine->posted.pop_back();
    task->execute(task);
    task->base.release(&task->base);
  };
  call_both();
  EXPECT_TRUE(violations.empty()) << "the recorded UI thread passes";
  std::thread(call_both).join();
  EXPECT_EQ(violations, (std::vector<std::string>{"get_view_rect", "UI task"}));
  SetThreadViolationHandler(previous);
#if !defined(NIMO_THREAD_CHECKS_FATAL)
  // The default answer of a build that ships: counted (and logged once per site), and the
  // process goes on.
  SetThreadViolationHandler(nullptr);
  const int counted = ThreadViolationCount();
  std::thread(call_both).join();
  std::thread(call_both).join();
  EXPECT_EQ(ThreadViolationCount() - counted, 4);
  SetThreadViolationHandler(previous);
#endif
}

// ---- context menus -----------------------------------------------------------------------

TEST_F(SurfaceTest, ContextMenusAreEmptiedAndCancelledAndEveryArgumentReleased) {
  cef_context_menu_handler_t* h = &surfaces[1].context_menu_handler;
  BrowserCore* core = NewCore();
  cef_browser_t* b = Wrap(core);
  test::FakeFrame* f = Keep(engine->frames, test::NewFrame(true));
  test::FakeMenuParams* p = Keep(engine->params, test::NewMenuParams());
  test::FakeMenuModel* m = Keep(engine->models, test::NewMenuModel());
  h->on_before_context_menu(h, b, test::Pass(f), test::Pass(p), test::Pass(m));
  EXPECT_EQ(m->clears, 1);
  for (int refs : {RefsOf(b), f->refs, p->refs, m->refs}) EXPECT_EQ(refs, 0);

  b = Wrap(core);
  m = Keep(engine->models, test::NewMenuModel(/*with_clear=*/false));  // skipped
  test::FakeMenuCallback* cb = Keep(engine->callbacks, test::NewMenuCallback());
  EXPECT_EQ(h->run_context_menu(h, b, test::Pass(f), test::Pass(p), test::Pass(m), test::Pass(cb)), 1);
  EXPECT_EQ(cb->cancels, 1);
  for (int refs : {RefsOf(b), f->refs, p->refs, m->refs, cb->refs}) EXPECT_EQ(refs, 0);

  // Work lost to an allocation failure still leaves the menu handled (no native menu).
  b = Wrap(core);
  cb = Keep(engine->callbacks, test::NewMenuCallback());
  cb->cef.cancel = [](cef_run_context_menu_callback_t*) { throw std::bad_alloc(); };
  EXPECT_EQ(h->run_context_menu(h, b, test::Pass(f), test::Pass(p), test::Pass(m), test::Pass(cb)), 1);
  for (int refs : {RefsOf(b), f->refs, p->refs, m->refs, cb->refs}) EXPECT_EQ(refs, 0);
}

// ---- frame pump and view ------------------------------------------------------------------

TEST_F(SurfaceTest, PumpStopsAfterTheLinkEndsOrTheBrowserCloses) {
  BrowserCore* a = MakeLive(0);
  BrowserCore* b = MakeLive(1);
  RunPosted();
  EXPECT_EQ(engine->posted.size(), 2u);
  link_stopped = 1;
  RunPosted();  // one more begin frame each, then no re-post
  EXPECT_TRUE(engine->posted.empty());
  EXPECT_EQ(BeginFrames(a), 2);
  EXPECT_EQ(BeginFrames(b), 2);

  link_stopped = 0;
  BrowserCore* c = MakeLive(3);
  BeforeClose(3, Wrap(c));
  RunPosted();
  EXPECT_TRUE(engine->posted.empty());
  EXPECT_EQ(BeginFrames(c), 0);
}

TEST_F(SurfaceTest, AMissingHostDoesNotStopThePump) {
  BrowserCore* core = MakeLive(1);
  SetHostAvailable(core, false);
  RunPosted();
  EXPECT_EQ(engine->posted.size(), 1u);
  SetHostAvailable(core, true);
  RunPosted();
  EXPECT_EQ(BeginFrames(core), 1);
}

TEST_F(SurfaceTest, AnOldPumpEndsWhenANewBrowserTookTheSlot) {
  BrowserCore* old_core = MakeLive(1);
  BeforeClose(1, Wrap(old_core));  // its tick is still queued
  BrowserCore* new_core = MakeLive(1);
  ASSERT_EQ(engine->posted.size(), 2u);
  RunPosted();
  EXPECT_EQ(engine->posted.size(), 1u);  // only the new browser's pump goes on
  EXPECT_EQ(BeginFrames(new_core), 1);
  RunPosted();
  EXPECT_EQ(BeginFrames(new_core), 2);
}

TEST_F(SurfaceTest, ViewRectIsTheRecordsViewSize) {
  cef_render_handler_t* h = &surfaces[1].render_handler;
  cef_rect_t rect = {7, 7, 7, 7};
  cef_browser_t* b = Wrap(NewCore());
  h->get_view_rect(h, b, &rect);
  EXPECT_EQ(rect.x, 0);
  EXPECT_EQ(rect.y, 0);
  EXPECT_EQ(rect.width, 1280);
  EXPECT_EQ(rect.height, 720);
  EXPECT_EQ(RefsOf(b), 0);
  surfaces[1].view_width = 333;
  surfaces[1].view_height = 222;
  h->get_view_rect(h, Wrap(engine->browsers.back().get()), &rect);
  EXPECT_EQ(rect.width, 333);
  EXPECT_EQ(rect.height, 222);
}

}  // namespace
}  // namespace nimo
