// The surface table driven in-process through a small scripted engine, for what the
// stand-in engine cannot stage (stray browsers, pumps of replaced browsers, the exact
// moment of the quit): browsers are handed out as fresh wrappers per crossing (identity
// only through is_same, which consumes its argument), every wrapper counts its references,
// and posted tasks wait in a list until the test runs them.
#include "surfaces/surface.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/engine_api.h"
#include "host/ui_thread.h"
#include "link/pipe_link.h"
#include "link/ui_task.h"
#include "surfaces/frame_pump.h"

namespace nimo {
namespace {

// ---- the scripted engine -----------------------------------------------------------------

struct BrowserCore {
  int identifier = 0;
  int close_calls = 0;
  int last_force = -1;
  int begin_frames = 0;
  bool host_available = true;
};

// Every object the engine hands out, with its own count; freed only at the end of a test so
// over-releases are seen instead of crashing.
struct Wrapper {
  cef_base_ref_counted_t* base = nullptr;
  int refs = 1;
  int over_releases = 0;
};

struct Engine {
  std::vector<std::unique_ptr<BrowserCore>> cores;
  std::vector<std::unique_ptr<cef_browser_t>> browsers;
  std::vector<std::unique_ptr<cef_browser_host_t>> hosts;
  std::vector<std::unique_ptr<cef_frame_t>> frames;
  std::vector<std::unique_ptr<cef_menu_model_t>> models;
  std::vector<std::unique_ptr<cef_context_menu_params_t>> params;
  std::vector<std::unique_ptr<cef_run_context_menu_callback_t>> callbacks;
  std::vector<Wrapper> wrappers;
  std::map<const void*, BrowserCore*> core_of;  // browser and host wrappers to their browser

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
  int menu_clears = 0;
  int menu_cancels = 0;
};
Engine* engine = nullptr;

Wrapper* WrapperOf(cef_base_ref_counted_t* base) {
  for (Wrapper& w : engine->wrappers) {
    if (w.base == base) return &w;
  }
  return nullptr;
}
void CEF_CALLBACK AddRef(cef_base_ref_counted_t* base) { WrapperOf(base)->refs++; }
int CEF_CALLBACK Release(cef_base_ref_counted_t* base) {
  Wrapper* w = WrapperOf(base);
  if (w->refs == 0) {
    w->over_releases++;
    return 0;
  }
  return --w->refs == 0 ? 1 : 0;
}
template <typename T>
T* Track(std::vector<std::unique_ptr<T>>& store) {
  store.push_back(std::make_unique<T>());
  T* object = store.back().get();
  std::memset(object, 0, sizeof(T));
  object->base.size = sizeof(T);
  object->base.add_ref = AddRef;
  object->base.release = Release;
  Wrapper w;
  w.base = &object->base;
  engine->wrappers.push_back(w);
  return object;
}
int RefsOf(void* object) { return WrapperOf(static_cast<cef_base_ref_counted_t*>(object))->refs; }

BrowserCore* CoreOf(const void* wrapper) { return engine->core_of.at(wrapper); }
void CEF_CALLBACK CloseBrowser(cef_browser_host_t* self, int force) {
  CoreOf(self)->close_calls++;
  CoreOf(self)->last_force = force;
}
void CEF_CALLBACK BeginFrame(cef_browser_host_t* self) { CoreOf(self)->begin_frames++; }
cef_browser_host_t* CEF_CALLBACK GetHost(cef_browser_t* self) {
  BrowserCore* core = CoreOf(self);
  if (!core->host_available) return nullptr;
  cef_browser_host_t* host = Track(engine->hosts);
  engine->core_of[host] = core;
  host->close_browser = CloseBrowser;
  host->send_external_begin_frame = BeginFrame;
  return host;
}
// Like every call the product passes an object to, is_same consumes one reference of it.
int CEF_CALLBACK IsSame(cef_browser_t* self, cef_browser_t* that) {
  if (that == nullptr) return 0;
  const bool same = CoreOf(self) == CoreOf(that);
  that->base.release(&that->base);
  return same;
}

// A fresh wrapper of `core` carrying one reference, as the engine passes to a callback.
cef_browser_t* Wrap(BrowserCore* core) {
  cef_browser_t* b = Track(engine->browsers);
  engine->core_of[b] = core;
  b->get_host = GetHost;
  b->is_same = IsSame;
  return b;
}
BrowserCore* NewCore() {
  engine->cores.push_back(std::make_unique<BrowserCore>());
  engine->cores.back()->identifier = static_cast<int>(engine->cores.size());
  return engine->cores.back().get();
}

int ToUtf16(const char* src, size_t len, cef_string_utf16_t* out) {
  out->str = new char16_t[len + 1];
  for (size_t i = 0; i < len; ++i) out->str[i] = static_cast<unsigned char>(src[i]);
  out->length = len;
  out->dtor = [](char16_t* p) { delete[] p; };
  return 1;
}
void ClearUtf16(cef_string_utf16_t* s) {
  if (s->dtor != nullptr && s->str != nullptr) s->dtor(s->str);
  s->str = nullptr;
  s->length = 0;
  s->dtor = nullptr;
}
std::string Narrow(const cef_string_t* s) {
  std::string out;
  if (s == nullptr) return out;
  for (size_t i = 0; i < s->length; ++i) out.push_back(static_cast<char>(s->str[i]));
  return out;
}
int CreateBrowser(const cef_window_info_t* wi, cef_client_t* client, const cef_string_t* url,
                  const cef_browser_settings_t* settings, cef_dictionary_value_t*,
                  cef_request_context_t*) {
  Engine::Create c;
  c.window_info = *wi;
  c.settings = *settings;
  c.client = client;
  c.url = Narrow(url);
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
    engine_api.cef_string_utf8_to_utf16 = ToUtf16;
    engine_api.cef_string_utf16_clear = ClearUtf16;
    for (Surface& s : surfaces) {
      s.browser = nullptr;
      s.create_pending = 0;
      s.view_width = kDefaultViewWidth;
      s.view_height = kDefaultViewHeight;
    }
    live_browser_count = 0;
    quitting = 0;
    loop_quit_requested = false;
    link_stopped = 0;
    InitSurfaceTable();
  }
  void TearDown() override {
    DropPosted();
    for (Surface& s : surfaces) s.browser = nullptr;  // while their engine still exists
    for (const Wrapper& w : engine->wrappers) EXPECT_EQ(w.over_releases, 0);
    engine_api = saved_api_;
    link_stopped = 0;
    quitting = 0;
    loop_quit_requested = false;
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
  EXPECT_EQ(live_browser_count.load(), 1);

  surfaces[3].texture_width = 640;  // pretend a texture was made
  surfaces[3].texture_height = 480;
  surfaces[3].client_handle = 0x1234;
  surfaces[3].full_copy_pending = 0;
  surfaces[3].view_width = 900;

  cef_browser_t* closing = Wrap(core);  // another crossing, another pointer
  ASSERT_NE(closing, arrived);
  BeforeClose(3, closing);
  EXPECT_EQ(surfaces[3].browser.get(), nullptr);
  EXPECT_EQ(RefsOf(arrived), 0);
  EXPECT_EQ(RefsOf(closing), 0);
  EXPECT_EQ(live_browser_count.load(), 0);
  EXPECT_EQ(surfaces[3].client_handle, 0u);
  EXPECT_EQ(surfaces[3].texture_width, 0u);
  EXPECT_EQ(surfaces[3].texture_height, 0u);
  EXPECT_EQ(surfaces[3].view_width, 900u);        // the view size stays with the slot
  EXPECT_EQ(surfaces[3].full_copy_pending, 0);
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
  EXPECT_EQ(stray_core->close_calls, 1);
  EXPECT_EQ(stray_core->last_force, 1);
  EXPECT_EQ(live_browser_count.load(), 1);

  BeforeClose(1, Wrap(stray_core));
  EXPECT_EQ(surfaces[1].browser.get(), own);
  EXPECT_EQ(RefsOf(own), 1);
  EXPECT_EQ(live_browser_count.load(), 1);
  EXPECT_EQ(own_core->close_calls, 0);

  BeforeClose(1, Wrap(own_core));
  EXPECT_EQ(surfaces[1].browser.get(), nullptr);
  EXPECT_EQ(live_browser_count.load(), 0);
}

TEST_F(SurfaceTest, TheLastCloseEndsTheLoopOnlyOnceShutdownHasBegun) {
  BrowserCore* a = MakeLive(0);
  BrowserCore* b = MakeLive(1);
  quitting = 1;
  BeforeClose(0, Wrap(a));
  EXPECT_EQ(engine->quit_calls, 0);
  BeforeClose(1, Wrap(b));
  EXPECT_EQ(engine->quit_calls, 1);
}

TEST_F(SurfaceTest, ABrowserArrivingDuringShutdownIsClosedAndItsCloseEndsTheLoop) {
  BrowserCore* first = MakeLive(0);
  CreateSurfaceBrowser(1, 0, 0, "late");
  quitting = 1;
  BeforeClose(0, Wrap(first));
  EXPECT_EQ(engine->quit_calls, 0);  // surface 1 is still on its way
  EXPECT_FALSE(QuitLoopIfAllClosed());

  BrowserCore* late = NewCore();
  AfterCreated(1, Wrap(late));
  EXPECT_EQ(late->close_calls, 1);
  EXPECT_EQ(late->last_force, 1);
  EXPECT_EQ(engine->quit_calls, 0);
  BeforeClose(1, Wrap(late));
  EXPECT_EQ(engine->quit_calls, 1);
  EXPECT_EQ(live_browser_count.load(), 0);
}

TEST_F(SurfaceTest, QuitWaitsForStrayBrowsersToClose) {
  BrowserCore* own = MakeLive(2);
  BrowserCore* stray = NewCore();
  AfterCreated(2, Wrap(stray));
  quitting = 1;
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
    UiTask* task = CreateUiTask(nullptr, nullptr, nullptr, nullptr, 0);
    task->task.execute(&task->task);
    task->task.base.release(&task->task.base);
  };
  call_both();
  EXPECT_TRUE(violations.empty()) << "the recorded UI thread passes";
  std::thread(call_both).join();
  EXPECT_EQ(violations, (std::vector<std::string>{"get_view_rect", "UI task"}));
  SetThreadViolationHandler(previous);
}

// ---- context menus -----------------------------------------------------------------------

int CEF_CALLBACK ClearModel(cef_menu_model_t*) {
  engine->menu_clears++;
  return 1;
}
void CEF_CALLBACK CancelMenu(cef_run_context_menu_callback_t*) { engine->menu_cancels++; }

TEST_F(SurfaceTest, ContextMenusAreEmptiedAndCancelledAndEveryArgumentReleased) {
  cef_context_menu_handler_t* h = &surfaces[1].context_menu_handler;
  BrowserCore* core = NewCore();
  cef_browser_t* b = Wrap(core);
  cef_frame_t* f = Track(engine->frames);
  cef_context_menu_params_t* p = Track(engine->params);
  cef_menu_model_t* m = Track(engine->models);
  m->clear = ClearModel;
  h->on_before_context_menu(h, b, f, p, m);
  EXPECT_EQ(engine->menu_clears, 1);
  for (void* o : {static_cast<void*>(b), static_cast<void*>(f), static_cast<void*>(p),
                  static_cast<void*>(m)}) {
    EXPECT_EQ(RefsOf(o), 0);
  }

  b = Wrap(core);
  f = Track(engine->frames);
  p = Track(engine->params);
  m = Track(engine->models);  // no clear slot: skipped
  cef_run_context_menu_callback_t* cb = Track(engine->callbacks);
  cb->cancel = CancelMenu;
  EXPECT_EQ(h->run_context_menu(h, b, f, p, m, cb), 1);
  EXPECT_EQ(engine->menu_cancels, 1);
  for (void* o : {static_cast<void*>(b), static_cast<void*>(f), static_cast<void*>(p),
                  static_cast<void*>(m), static_cast<void*>(cb)}) {
    EXPECT_EQ(RefsOf(o), 0);
  }
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
  EXPECT_EQ(a->begin_frames, 2);
  EXPECT_EQ(b->begin_frames, 2);

  link_stopped = 0;
  BrowserCore* c = MakeLive(3);
  BeforeClose(3, Wrap(c));
  RunPosted();
  EXPECT_TRUE(engine->posted.empty());
  EXPECT_EQ(c->begin_frames, 0);
}

TEST_F(SurfaceTest, AMissingHostDoesNotStopThePump) {
  BrowserCore* core = MakeLive(1);
  core->host_available = false;
  RunPosted();
  EXPECT_EQ(engine->posted.size(), 1u);
  core->host_available = true;
  RunPosted();
  EXPECT_EQ(core->begin_frames, 1);
}

TEST_F(SurfaceTest, AnOldPumpEndsWhenANewBrowserTookTheSlot) {
  BrowserCore* old_core = MakeLive(1);
  BeforeClose(1, Wrap(old_core));  // its tick is still queued
  BrowserCore* new_core = MakeLive(1);
  ASSERT_EQ(engine->posted.size(), 2u);
  RunPosted();
  EXPECT_EQ(engine->posted.size(), 1u);  // only the new browser's pump goes on
  EXPECT_EQ(new_core->begin_frames, 1);
  RunPosted();
  EXPECT_EQ(new_core->begin_frames, 2);
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
  h->get_view_rect(h, Wrap(engine->cores.back().get()), &rect);
  EXPECT_EQ(rect.width, 333);
  EXPECT_EQ(rect.height, 222);
}

}  // namespace
}  // namespace nimo
