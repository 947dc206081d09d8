// The stand-in engine must follow the real engine's rules, or the product's tests prove
// nothing: real string conversion, the size checks, asynchronous browser life spans,
// delayed tasks in due order, fresh wrappers per crossing, and a faithful account of
// every leak and over-release. These tests load it in-process (a fresh copy per test)
// and play the product's part with counted objects.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/portable/engine_abi.h"
#include "gtest/gtest.h"
#include "testbed/gpu/standin_gpu.h"
#include "tests/support/journal.h"

namespace {

using nimo_test::Journal;
using nimo_test::JournalEntry;
using nimo_test::ScenarioWriter;

std::string ExeDir() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p = path;
  return p.substr(0, p.find_last_of("\\/"));
}

// --- product-side objects with real reference counts ---------------------------------

template <class T>
struct Counted {
  T cef;
  std::atomic<int> refs;
};

template <class T>
void CEF_CALLBACK CountedAddRef(cef_base_ref_counted_t* b) {
  ++reinterpret_cast<Counted<T>*>(b)->refs;
}
template <class T>
int CEF_CALLBACK CountedRelease(cef_base_ref_counted_t* b) {
  return --reinterpret_cast<Counted<T>*>(b)->refs == 0 ? 1 : 0;
}
template <class T>
int CEF_CALLBACK CountedHasOne(cef_base_ref_counted_t* b) {
  return reinterpret_cast<Counted<T>*>(b)->refs == 1;
}
template <class T>
int CEF_CALLBACK CountedHasAny(cef_base_ref_counted_t* b) {
  return reinterpret_cast<Counted<T>*>(b)->refs >= 1;
}

template <class T>
void InitCounted(Counted<T>* c) {
  std::memset(&c->cef, 0, sizeof(T));
  c->cef.base.size = sizeof(T);
  c->cef.base.add_ref = CountedAddRef<T>;
  c->cef.base.release = CountedRelease<T>;
  c->cef.base.has_one_ref = CountedHasOne<T>;
  c->cef.base.has_at_least_one_ref = CountedHasAny<T>;
  c->refs = 1;
}

template <class T>
void Release(T* object) {
  if (object) object->base.release(&object->base);
}

std::string Utf8(const cef_string_t* s) {
  std::string out;
  if (!s || !s->str) return out;
  for (size_t i = 0; i < s->length; ++i) out += static_cast<char>(s->str[i]);  // ASCII in these tests
  return out;
}

// --- the engine under test -------------------------------------------------------------

#define ENGINE_FN(name) reinterpret_cast<name##_fn>(reinterpret_cast<void*>(GetProcAddress(module_, #name)))

class StandinEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    base_ = std::string(temp) + "nimo_standin_" + info->name() + "_" + std::to_string(GetCurrentProcessId());
    journal_path_ = base_ + ".journal";
    scenario_path_ = base_ + ".scenario";
    DeleteFileA(journal_path_.c_str());
    DeleteFileA(scenario_path_.c_str());
    SetEnvironmentVariableA("NIMO_STANDIN_JOURNAL", journal_path_.c_str());
    SetEnvironmentVariableA("NIMO_STANDIN_SCENARIO", scenario_path_.c_str());
  }

  void TearDown() override {
    if (module_) FreeLibrary(module_);
    SetEnvironmentVariableA("NIMO_STANDIN_JOURNAL", nullptr);
    SetEnvironmentVariableA("NIMO_STANDIN_SCENARIO", nullptr);
    DeleteFileA(journal_path_.c_str());
    DeleteFileA(scenario_path_.c_str());
  }

  // Loads a fresh engine; the scenario must be written before.
  void Load(const ScenarioWriter& scenario = ScenarioWriter()) {
    ASSERT_TRUE(scenario.WriteTo(scenario_path_));
    module_ = LoadLibraryA((ExeDir() + "\\dezor2.dll").c_str());
    ASSERT_NE(module_, nullptr);
  }

  Journal ReadJournal() const { return Journal::Load(journal_path_); }

  cef_settings_t Settings() {
    cef_settings_t s;
    std::memset(&s, 0, sizeof s);
    s.size = sizeof s;
    s.no_sandbox = 1;
    s.windowless_rendering_enabled = 1;
    return s;
  }

  bool Initialize() {
    cef_settings_t s = Settings();
    cef_main_args_t args = {nullptr};
    return ENGINE_FN(cef_initialize)(&args, &s, nullptr, nullptr) == 1;
  }

  HMODULE module_ = nullptr;
  std::string base_, journal_path_, scenario_path_;
};

// --- strings ---------------------------------------------------------------------------

TEST_F(StandinEngineTest, StringsConvertForRealAndCatchBadFrees) {
  Load();
  auto to16 = ENGINE_FN(cef_string_utf8_to_utf16);
  auto clear = ENGINE_FN(cef_string_utf16_clear);
  cef_string_t s = {};
  const char text[] = "a\xC3\xA9\xF0\x9F\x98\x80";  // a, e-acute, one astral character
  EXPECT_EQ(to16(text, sizeof text - 1, &s), 1);
  ASSERT_EQ(s.length, 4u);
  EXPECT_EQ(s.str[0], u'a');
  EXPECT_EQ(s.str[1], 0xE9);
  EXPECT_EQ(s.str[2], 0xD83D);
  EXPECT_EQ(s.str[3], 0xDE00);
  EXPECT_NE(s.dtor, nullptr);
  clear(&s);
  EXPECT_EQ(s.str, nullptr);
  EXPECT_EQ(s.length, 0u);

  // A truncated sequence is replaced and reported; the length argument, not a NUL, ends input.
  EXPECT_EQ(to16("\xC3x\0y", 4, &s), 0);
  ASSERT_EQ(s.length, 4u);
  EXPECT_EQ(s.str[0], 0xFFFD);
  EXPECT_EQ(s.str[1], u'x');
  EXPECT_EQ(s.str[2], 0);
  EXPECT_EQ(s.str[3], u'y');
  clear(&s);

  cef_string_utf8_t narrow = {};
  const char16_t lone[] = {u'z', 0xD800};
  EXPECT_EQ(ENGINE_FN(cef_string_utf16_to_utf8)(lone, 2, &narrow), 0);
  EXPECT_EQ(std::string(narrow.str, narrow.length), "z\xEF\xBF\xBD");
  ENGINE_FN(cef_string_utf8_clear)(&narrow);

  const char16_t borrowed[] = u"keep";
  EXPECT_EQ(ENGINE_FN(cef_string_utf16_set)(borrowed, 4, &s, 0), 1);
  EXPECT_EQ(s.str, borrowed);
  EXPECT_EQ(s.dtor, nullptr);
  EXPECT_EQ(ENGINE_FN(cef_string_utf16_set)(borrowed, 4, &s, 1), 1);
  EXPECT_NE(s.str, borrowed);
  EXPECT_NE(s.dtor, nullptr);
  clear(&s);

  cef_string_userfree_t userfree = ENGINE_FN(cef_string_userfree_utf16_alloc)();
  ASSERT_NE(userfree, nullptr);
  ENGINE_FN(cef_string_userfree_utf16_free)(userfree);
  ENGINE_FN(cef_string_userfree_utf16_free)(userfree);  // a double free must be caught, not crash
  cef_string_utf16_t foreign = {};
  ENGINE_FN(cef_string_userfree_utf16_free)(&foreign);
  EXPECT_EQ(ReadJournal().Count("strings.bad_userfree_free"), 2u);
}

TEST_F(StandinEngineTest, JournalKeepsEveryTextExactly) {
  Load();
  cef_command_line_t* line = ENGINE_FN(cef_command_line_create)();
  ASSERT_NE(line, nullptr);
  // Quotes, backslashes, controls, U+0001/U+0002, non-ASCII, an astral character and a
  // lone surrogate: what the product's texts can hold.
  const char16_t value[] = {u'a', u' ', u'"', u'\\', u'\n', 0x01, 0x02, u'=', 0xE9, 0xD83D, 0xDE00, 0xDC00, u'z'};
  cef_string_t name = {const_cast<char16_t*>(u"k"), 1, nullptr};
  cef_string_t text = {const_cast<char16_t*>(value), sizeof value / sizeof value[0], nullptr};
  line->append_switch_with_value(line, &name, &text);
  cef_string_t bare = {const_cast<char16_t*>(u"plain-word_1.2:3/x"), 18, nullptr};
  line->append_switch_with_value(line, &name, &bare);
  cef_string_t empty = {};
  line->append_switch_with_value(line, &name, &empty);
  Release(line);
  auto seen = ReadJournal().Events("cmdline.append_switch_with_value");
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].Get("value"), std::string("a \"\\\n\x01\x02=\xC3\xA9\xF0\x9F\x98\x80\xED\xB0\x80z"));
  EXPECT_NE(seen[0].line.find("\\u{DC00}"), std::string::npos) << seen[0].line;
  EXPECT_EQ(seen[1].Get("value"), "plain-word_1.2:3/x");
  EXPECT_EQ(seen[1].line.find('"'), std::string::npos) << "plain words stay bare";
  EXPECT_TRUE(seen[2].Has("value"));
  EXPECT_EQ(seen[2].Get("value", "absent"), "");
}

TEST_F(StandinEngineTest, VersionAndHashAreTheRevisionsUnlessScripted) {
  Load();
  const int expected[8] = {132, 3, 2, 3117, 132, 0, 6834, 161};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(ENGINE_FN(cef_version_info)(i), expected[i]) << i;
  EXPECT_STREQ(ENGINE_FN(cef_api_hash)(0), "aafe004dac5cf8b7f0b5ef12518c4a16e150f510");
  EXPECT_STREQ(ENGINE_FN(cef_api_hash)(1), "3e3393f10c4b95f7516521c8643b9a735fd0c3f3");
  FreeLibrary(module_);
  module_ = nullptr;
  Load(ScenarioWriter().Line("api_hash platform=0123").Line("version_info 131 2 0"));
  EXPECT_STREQ(ENGINE_FN(cef_api_hash)(0), "0123");
  EXPECT_EQ(ENGINE_FN(cef_version_info)(0), 131);
  EXPECT_EQ(ENGINE_FN(cef_version_info)(6), 6834);
}

// --- process dispatch and initialisation ----------------------------------------------

Counted<cef_app_t> g_app;
std::vector<std::string> g_switches_seen;

void CEF_CALLBACK AppCommandLine(cef_app_t*, const cef_string_t* process_type, cef_command_line_t* line) {
  g_switches_seen.push_back("type=" + Utf8(process_type));
  cef_string_t name = {const_cast<char16_t*>(u"no-sandbox"), 10, nullptr};
  cef_string_t key = {const_cast<char16_t*>(u"use-angle"), 9, nullptr};
  cef_string_t value = {const_cast<char16_t*>(u"d3d11"), 5, nullptr};
  line->append_switch(line, &name);
  line->append_switch_with_value(line, &key, &value);
  cef_string_userfree_t all = line->get_command_line_string(line);
  g_switches_seen.push_back(Utf8(all));
  Release(line);
  return;
}

TEST_F(StandinEngineTest, BrowserProcessDispatchReturnsNegativeAndConsumesTheApp) {
  Load();
  InitCounted(&g_app);
  g_app.cef.base.add_ref(&g_app.cef.base);  // the reference the call takes over
  cef_main_args_t args = {nullptr};
  EXPECT_LT(ENGINE_FN(cef_execute_process)(&args, &g_app.cef, nullptr), 0);
  EXPECT_EQ(g_app.refs.load(), 1);
}

TEST_F(StandinEngineTest, InitializeRefusesOtherSettingsSizesAndJournalsEveryMember) {
  Load();
  InitCounted(&g_app);
  g_app.cef.on_before_command_line_processing = AppCommandLine;
  g_switches_seen.clear();
  cef_settings_t s = Settings();
  s.size = 439;
  cef_main_args_t args = {nullptr};
  g_app.cef.base.add_ref(&g_app.cef.base);
  EXPECT_EQ(ENGINE_FN(cef_initialize)(&args, &s, &g_app.cef, nullptr), 0);
  EXPECT_EQ(g_app.refs.load(), 1) << "a refused call still drops the reference it was given";
  EXPECT_TRUE(g_switches_seen.empty());

  s.size = 440;
  cef_string_t cache = {};
  ENGINE_FN(cef_string_utf8_to_utf16)("C:\\x y\\cache", 12, &cache);
  s.cache_path = cache;
  s.remote_debugging_port = 9222;
  g_app.cef.base.add_ref(&g_app.cef.base);
  EXPECT_EQ(ENGINE_FN(cef_initialize)(&args, &s, &g_app.cef, nullptr), 1);
  ASSERT_EQ(g_switches_seen.size(), 2u);
  EXPECT_EQ(g_switches_seen[0], "type=");
  EXPECT_NE(g_switches_seen[1].find(" --no-sandbox --use-angle=d3d11"), std::string::npos) << g_switches_seen[1];
  ENGINE_FN(cef_shutdown)();
  EXPECT_EQ(g_app.refs.load(), 1) << "the engine releases the app at shutdown";

  Journal j = ReadJournal();
  const JournalEntry* refused = j.First("initialize.refused");
  ASSERT_NE(refused, nullptr);
  EXPECT_EQ(refused->Get("size"), "439");
  const JournalEntry* init = j.First("initialize");
  ASSERT_NE(init, nullptr);
  EXPECT_EQ(init->Get("cache_path"), "C:\\x y\\cache");
  EXPECT_EQ(init->Get("remote_debugging_port"), "9222");
  EXPECT_EQ(init->Get("windowless_rendering_enabled"), "1");
  EXPECT_TRUE(init->Has("chrome_app_icon_id"));
  EXPECT_EQ(j.Events("cmdline.append_switch", "name", "no-sandbox").size(), 1u);
  auto with_value = j.Events("cmdline.append_switch_with_value", "name", "use-angle");
  ASSERT_EQ(with_value.size(), 1u);
  EXPECT_EQ(with_value[0].Get("value"), "d3d11");
  EXPECT_EQ(with_value[0].Get("process"), "browser");
  long long leaks = -1, over = -1;
  ASSERT_TRUE(j.References(0, &leaks, &over));
  EXPECT_EQ(leaks, 0) << j.DescribeLeaks();
  EXPECT_EQ(over, 0);
  ENGINE_FN(cef_string_utf16_clear)(&cache);
}

// --- the message loop ------------------------------------------------------------------

struct TimedTask {
  Counted<cef_task_t> task;
  int label = 0;
  std::chrono::steady_clock::time_point posted;
  long long ran_after_ms = -1;
};
std::vector<int> g_run_order;
cef_quit_message_loop_fn g_quit = nullptr;

void CEF_CALLBACK RunTimed(cef_task_t* self) {
  TimedTask* t = reinterpret_cast<TimedTask*>(self);
  t->ran_after_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t->posted).count();
  g_run_order.push_back(t->label);
  if (t->label < 0) g_quit();
}

TEST_F(StandinEngineTest, LoopRunsTasksInDueOrderWithRealDelaysAndReleasesThem) {
  Load();
  g_quit = ENGINE_FN(cef_quit_message_loop);
  auto post = ENGINE_FN(cef_post_delayed_task);
  TimedTask early;  // posted before initialisation: refused, stays ours
  InitCounted(&early.task);
  early.task.cef.execute = RunTimed;
  EXPECT_EQ(ENGINE_FN(cef_post_task)(TID_UI, &early.task.cef), 0);
  EXPECT_EQ(early.task.refs.load(), 1);
  ASSERT_TRUE(Initialize());
  g_quit();  // a quit outside the loop is lost, as with the engine

  const int labels[] = {40, 10, 0, 11, -60};
  const long long delays[] = {40, 10, 0, 10, 60};
  TimedTask tasks[5];
  g_run_order.clear();
  for (int i = 0; i < 5; ++i) {
    InitCounted(&tasks[i].task);
    tasks[i].task.cef.execute = RunTimed;
    tasks[i].label = labels[i];
    tasks[i].posted = std::chrono::steady_clock::now();
    EXPECT_EQ(post(TID_UI, &tasks[i].task.cef, delays[i]), 1);
  }
  TimedTask io;
  InitCounted(&io.task);
  EXPECT_EQ(ENGINE_FN(cef_post_task)(TID_IO, &io.task.cef), 0);
  EXPECT_EQ(io.task.refs.load(), 1) << "a refused task stays the caller's";
  EXPECT_EQ(ENGINE_FN(cef_currently_on)(TID_UI), 1);

  ENGINE_FN(cef_run_message_loop)();
  EXPECT_EQ(g_run_order, (std::vector<int>{0, 10, 11, 40, -60}));
  for (int i = 0; i < 5; ++i) {
    EXPECT_GE(tasks[i].ran_after_ms, delays[i]) << "task " << labels[i] << " ran before its delay";
    EXPECT_EQ(tasks[i].task.refs.load(), 0) << "the engine releases a task after running it";
  }

  // Tasks still queued at shutdown are released without running.
  TimedTask pending;
  InitCounted(&pending.task);
  pending.task.cef.execute = RunTimed;
  EXPECT_EQ(post(TID_UI, &pending.task.cef, 100000), 1);
  ENGINE_FN(cef_shutdown)();
  EXPECT_EQ(pending.task.refs.load(), 0);
  EXPECT_EQ(pending.ran_after_ms, -1);
  EXPECT_EQ(ENGINE_FN(cef_post_task)(TID_UI, &pending.task.cef), 0) << "nothing is queued after shutdown";

  Journal j = ReadJournal();
  auto quits = j.Events("loop.quit");
  ASSERT_EQ(quits.size(), 2u);
  EXPECT_EQ(quits[0].Get("running"), "0");
  EXPECT_EQ(quits[1].Get("running"), "1");
}

// --- browsers --------------------------------------------------------------------------

// A product client whose handlers record what the engine calls and check the rules.
struct TestClient {
  Counted<cef_client_t> client;
  Counted<cef_life_span_handler_t> life;
  Counted<cef_load_handler_t> load;
  Counted<cef_request_handler_t> request;
  Counted<cef_render_handler_t> render;
  Counted<cef_display_handler_t> display;
};

TestClient g_client;
std::vector<std::string> g_calls;
cef_browser_t* g_browser = nullptr;  // kept from on_after_created
bool g_cancel_web = true;            // on_before_browse cancels http(s) navigations
int g_popups_allowed = 0;
cef_frame_t* g_leaked_frame = nullptr;
cef_browser_host_t* g_over_released_host = nullptr;
bool g_misbehave = false;

struct PaintSeen {
  std::string path;
  int type = 0;
  int width = 0, height = 0;
  std::vector<cef_rect_t> dirty;
  std::vector<std::uint32_t> pixels;
  void* handle = nullptr;
};
std::vector<PaintSeen> g_paints;

std::string Url(cef_string_userfree_t u, cef_string_userfree_utf16_free_fn free_fn) {
  std::string s = Utf8(u);
  if (u) free_fn(u);
  return s;
}

cef_string_userfree_utf16_free_fn g_free = nullptr;

template <class T>
T* CEF_CALLBACK GetHandler(cef_client_t*);

cef_life_span_handler_t* CEF_CALLBACK GetLife(cef_client_t*) {
  g_client.life.cef.base.add_ref(&g_client.life.cef.base);
  return &g_client.life.cef;
}
cef_load_handler_t* CEF_CALLBACK GetLoad(cef_client_t*) {
  g_client.load.cef.base.add_ref(&g_client.load.cef.base);
  return &g_client.load.cef;
}
cef_request_handler_t* CEF_CALLBACK GetRequest(cef_client_t*) {
  g_client.request.cef.base.add_ref(&g_client.request.cef.base);
  return &g_client.request.cef;
}
cef_render_handler_t* CEF_CALLBACK GetRender(cef_client_t*) {
  g_client.render.cef.base.add_ref(&g_client.render.cef.base);
  return &g_client.render.cef;
}
cef_display_handler_t* CEF_CALLBACK GetDisplay(cef_client_t*) {
  g_client.display.cef.base.add_ref(&g_client.display.cef.base);
  return &g_client.display.cef;
}

void CEF_CALLBACK AfterCreated(cef_life_span_handler_t*, cef_browser_t* browser) {
  g_calls.push_back(std::string("after_created popup=") + std::to_string(browser->is_popup(browser)));
  if (browser->is_popup(browser)) {
    cef_browser_host_t* host = browser->get_host(browser);
    host->close_browser(host, 1);
    Release(host);
    Release(browser);
    return;
  }
  g_browser = browser;  // keep the reference we were given
  if (g_misbehave) {
    g_leaked_frame = browser->get_main_frame(browser);  // never released
    g_over_released_host = browser->get_host(browser);
    Release(g_over_released_host);
    Release(g_over_released_host);  // one release too many
  }
}

void CEF_CALLBACK BeforeClose(cef_life_span_handler_t*, cef_browser_t* browser) {
  g_calls.push_back("before_close");
  if (g_browser && browser->is_same(browser, (g_browser->base.add_ref(&g_browser->base), g_browser))) {
    Release(g_browser);
    g_browser = nullptr;
    g_quit();
  }
  Release(browser);
}

int CEF_CALLBACK BeforePopup(cef_life_span_handler_t*, cef_browser_t* browser, cef_frame_t* frame, int,
                             const cef_string_t* url, const cef_string_t*, cef_window_open_disposition_t, int,
                             const cef_popup_features_t*, cef_window_info_t*, cef_client_t**, cef_browser_settings_t*,
                             cef_dictionary_value_t**, int*) {
  g_calls.push_back("popup " + Utf8(url));
  Release(browser);
  Release(frame);
  if (g_popups_allowed > 0) {
    --g_popups_allowed;
    return 0;
  }
  return 1;
}

void CEF_CALLBACK ViewRect(cef_render_handler_t*, cef_browser_t* browser, cef_rect_t* rect) {
  *rect = {0, 0, 640, 480};
  Release(browser);
}

int CEF_CALLBACK BeforeBrowse(cef_request_handler_t*, cef_browser_t* browser, cef_frame_t* frame, cef_request_t* request,
                              int, int) {
  std::string url = Url(request->get_url(request), g_free);
  g_calls.push_back("browse " + url + (frame->is_main(frame) ? " main" : " sub"));
  Release(browser);
  Release(frame);
  Release(request);
  return g_cancel_web && url.compare(0, 4, "http") == 0 ? 1 : 0;
}

Counted<cef_resource_request_handler_t> g_resources;

cef_return_value_t CEF_CALLBACK BeforeResourceLoad(cef_resource_request_handler_t*, cef_browser_t* browser,
                                                   cef_frame_t* frame, cef_request_t* request, cef_callback_t* callback) {
  std::string url = Url(request->get_url(request), g_free);
  if (url == "file:///C:/assets/a.png") {
    cef_string_t moved = {const_cast<char16_t*>(u"file:///C:/ui/assets/a.png"), 26, nullptr};
    request->set_url(request, &moved);
  }
  Release(browser);
  Release(frame);
  Release(request);
  Release(callback);
  return RV_CONTINUE;
}

cef_resource_request_handler_t* CEF_CALLBACK GetResourceHandler(cef_request_handler_t*, cef_browser_t* browser,
                                                                cef_frame_t* frame, cef_request_t* request, int, int,
                                                                const cef_string_t*, int*) {
  Release(browser);
  Release(frame);
  Release(request);
  g_resources.cef.base.add_ref(&g_resources.cef.base);
  return &g_resources.cef;
}

void CEF_CALLBACK LoadStart(cef_load_handler_t*, cef_browser_t* browser, cef_frame_t* frame, cef_transition_type_t) {
  g_calls.push_back(std::string("load_start ") + (frame->is_main(frame) ? "main" : "sub"));
  Release(browser);
  Release(frame);
}
void CEF_CALLBACK LoadEnd(cef_load_handler_t*, cef_browser_t* browser, cef_frame_t* frame, int status) {
  g_calls.push_back(std::string("load_end ") + (frame->is_main(frame) ? "main " : "sub ") + std::to_string(status));
  Release(browser);
  Release(frame);
}
void CEF_CALLBACK LoadError(cef_load_handler_t*, cef_browser_t* browser, cef_frame_t* frame, cef_errorcode_t code,
                            const cef_string_t* text, const cef_string_t* url) {
  g_calls.push_back("load_error " + std::to_string(code) + " " + Utf8(text) + " " + Utf8(url) +
                    (frame->is_main(frame) ? " main" : " sub"));
  Release(browser);
  Release(frame);
}
int CEF_CALLBACK Console(cef_display_handler_t*, cef_browser_t* browser, cef_log_severity_t level,
                         const cef_string_t* message, const cef_string_t* source, int line) {
  g_calls.push_back("console " + std::to_string(level) + " " + Utf8(message) + " " + Utf8(source) + ":" +
                    std::to_string(line));
  Release(browser);
  return 1;
}

void CEF_CALLBACK OnPaint(cef_render_handler_t*, cef_browser_t* browser, cef_paint_element_type_t type, size_t count,
                          const cef_rect_t* rects, const void* buffer, int width, int height) {
  PaintSeen p;
  p.path = "cpu";
  p.type = type;
  p.width = width;
  p.height = height;
  p.dirty.assign(rects, rects + count);
  const std::uint32_t* px = static_cast<const std::uint32_t*>(buffer);
  p.pixels.assign(px, px + static_cast<size_t>(width) * height);
  g_paints.push_back(p);
  Release(browser);
}

void CEF_CALLBACK OnAcceleratedPaint(cef_render_handler_t*, cef_browser_t* browser, cef_paint_element_type_t type,
                                     size_t count, const cef_rect_t* rects, const cef_accelerated_paint_info_t* info) {
  PaintSeen p;
  p.path = "gpu";
  p.type = type;
  p.dirty.assign(rects, rects + count);
  p.handle = info->shared_texture_handle;
  auto read = NimoStandinExport<NimoStandinReadTextureFn>("d3d11.dll", "NimoStandinReadTexture");
  std::uint32_t w = 0, h = 0, format = 0;
  if (read && read(info->shared_texture_handle, &w, &h, &format, nullptr, 0)) {
    p.width = static_cast<int>(w);
    p.height = static_cast<int>(h);
    p.pixels.resize(static_cast<size_t>(w) * h);
    read(info->shared_texture_handle, &w, &h, &format, p.pixels.data(), p.pixels.size() * 4);
  }
  g_paints.push_back(p);
  Release(browser);
}

void InitClient() {
  InitCounted(&g_client.client);
  InitCounted(&g_client.life);
  InitCounted(&g_client.load);
  InitCounted(&g_client.request);
  InitCounted(&g_client.render);
  InitCounted(&g_client.display);
  g_client.client.cef.get_life_span_handler = GetLife;
  g_client.client.cef.get_load_handler = GetLoad;
  g_client.client.cef.get_request_handler = GetRequest;
  g_client.client.cef.get_render_handler = GetRender;
  g_client.client.cef.get_display_handler = GetDisplay;
  g_client.life.cef.on_after_created = AfterCreated;
  g_client.life.cef.on_before_close = BeforeClose;
  g_client.life.cef.on_before_popup = BeforePopup;
  g_client.render.cef.get_view_rect = ViewRect;
  g_client.render.cef.on_paint = OnPaint;
  g_client.render.cef.on_accelerated_paint = OnAcceleratedPaint;
  g_paints.clear();
  g_client.request.cef.on_before_browse = BeforeBrowse;
  g_client.request.cef.get_resource_request_handler = GetResourceHandler;
  InitCounted(&g_resources);
  g_resources.cef.on_before_resource_load = BeforeResourceLoad;
  g_client.load.cef.on_load_start = LoadStart;
  g_client.load.cef.on_load_end = LoadEnd;
  g_client.load.cef.on_load_error = LoadError;
  g_client.display.cef.on_console_message = Console;
  g_calls.clear();
  g_browser = nullptr;
  g_cancel_web = true;
  g_popups_allowed = 0;
  g_misbehave = false;
}

class StandinBrowserTest : public StandinEngineTest {
 protected:
  void Start(const ScenarioWriter& scenario = ScenarioWriter()) {
    Load(scenario);
    InitClient();
    g_quit = ENGINE_FN(cef_quit_message_loop);
    g_free = ENGINE_FN(cef_string_userfree_utf16_free);
    ASSERT_TRUE(Initialize());
  }

  int Create(const char* url, size_t settings_size = sizeof(cef_browser_settings_t), int shared_texture = 1,
             int external_begin_frame = 0) {
    cef_window_info_t window;
    std::memset(&window, 0, sizeof window);
    window.bounds = {0, 0, 800, 600};
    window.windowless_rendering_enabled = 1;
    window.shared_texture_enabled = shared_texture;
    window.external_begin_frame_enabled = external_begin_frame;
    cef_browser_settings_t settings;
    std::memset(&settings, 0, sizeof settings);
    settings.size = settings_size;
    settings.windowless_frame_rate = 30;
    cef_string_t u = {};
    ENGINE_FN(cef_string_utf8_to_utf16)(url, std::strlen(url), &u);
    g_client.client.cef.base.add_ref(&g_client.client.cef.base);
    int ok = ENGINE_FN(cef_browser_host_create_browser)(&window, &g_client.client.cef, &u, &settings, nullptr, nullptr);
    ENGINE_FN(cef_string_utf16_clear)(&u);
    return ok;
  }

  // Closes the kept browser after `delay_ms` of loop time and runs the loop until its
  // on_before_close.
  // Runs the engine's loop and closes the browser after `delay_ms`; with `ready`, not before
  // it holds (asked on the UI thread every `delay_ms`, for at most 10 s), so a busy machine
  // cannot end a scripted page before it has played.
  void RunThenClose(long long delay_ms, std::function<bool()> ready = nullptr) {
    static Counted<cef_task_t> closer;
    static std::function<bool()> close_when;
    static long long every_ms = 0;
    static ULONGLONG deadline = 0;
    static cef_post_delayed_task_fn post = nullptr;
    post = ENGINE_FN(cef_post_delayed_task);
    close_when = std::move(ready);
    every_ms = delay_ms;
    deadline = GetTickCount64() + 10000;
    InitCounted(&closer);
    closer.cef.execute = [](cef_task_t* self) {
      if (close_when && !close_when() && GetTickCount64() < deadline) {
        self->base.add_ref(&self->base);  // the reference the next post gives away
        post(TID_UI, self, every_ms);
        return;
      }
      ASSERT_NE(g_browser, nullptr);
      cef_browser_host_t* host = g_browser->get_host(g_browser);
      host->close_browser(host, 1);
      Release(host);
    };
    post(TID_UI, &closer.cef, delay_ms);
    ENGINE_FN(cef_run_message_loop)();
    close_when = nullptr;
  }
};

TEST_F(StandinBrowserTest, CreationChecksTheSizeAndTheLifeSpanIsAsynchronous) {
  Start();
  EXPECT_EQ(Create("about:blank", 263), 0);
  EXPECT_EQ(g_client.client.refs.load(), 1) << "a refused creation drops the client reference";
  ASSERT_EQ(Create("file:///C:/ui/index.html"), 1);
  EXPECT_TRUE(g_calls.empty()) << "on_after_created must not run inside the create call";
  EXPECT_EQ(g_client.client.refs.load(), 2) << "the engine holds the client while the browser lives";
  RunThenClose(10, [] { return g_calls.size() >= 4; });
  EXPECT_EQ(g_calls, (std::vector<std::string>{"after_created popup=0", "browse file:///C:/ui/index.html main",
                                               "load_start main", "load_end main 200", "before_close"}));
  EXPECT_EQ(g_client.client.refs.load(), 1) << "the client is released after on_before_close";
  ENGINE_FN(cef_shutdown)();

  Journal j = ReadJournal();
  const JournalEntry* create = j.First("create_browser");
  ASSERT_NE(create, nullptr);
  EXPECT_EQ(create->Get("width"), "800");
  EXPECT_EQ(create->Get("shared_texture_enabled"), "1");
  EXPECT_EQ(create->Get("external_begin_frame_enabled"), "0");
  EXPECT_EQ(create->Get("windowless_frame_rate"), "30");
  EXPECT_EQ(create->Get("settings_size"), "264");
  EXPECT_EQ(j.First("create_browser.refused")->Get("settings_size"), "263");
  const JournalEntry* rect = j.First("cb.get_view_rect");
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->Get("width"), "640");
  EXPECT_EQ(j.Events("host.close_browser", "force", "1").size(), 1u);
  EXPECT_EQ(g_client.life.refs.load(), 1) << "handlers the getters return are released by the engine";
  EXPECT_EQ(g_client.load.refs.load(), 1);
  EXPECT_EQ(g_client.render.refs.load(), 1);
  long long leaks = -1, over = -1;
  ASSERT_TRUE(j.References(0, &leaks, &over));
  EXPECT_EQ(leaks, 0) << j.DescribeLeaks();
  EXPECT_EQ(over, 0) << j.DescribeLeaks();
}

TEST_F(StandinBrowserTest, EveryCrossingIsAFreshWrapperOfTheSameBrowser) {
  Start();
  ASSERT_EQ(Create("about:blank"), 1);
  static Counted<cef_task_t> probe;
  static bool checked = false;
  checked = false;
  InitCounted(&probe);
  probe.cef.execute = [](cef_task_t*) {
    cef_browser_host_t* a = g_browser->get_host(g_browser);
    cef_browser_host_t* b = g_browser->get_host(g_browser);
    EXPECT_NE(a, b);
    cef_browser_t* again = a->get_browser(a);
    EXPECT_NE(again, g_browser);
    EXPECT_EQ(again->get_identifier(again), g_browser->get_identifier(g_browser));
    again->base.add_ref(&again->base);  // is_same consumes its argument
    EXPECT_EQ(g_browser->is_same(g_browser, again), 1);
    cef_frame_t* frame = again->get_main_frame(again);
    cef_browser_t* via_frame = frame->get_browser(frame);
    EXPECT_EQ(via_frame->is_same(via_frame, again), 1);  // consumes `again`
    Release(via_frame);
    Release(frame);
    Release(a);
    Release(b);
    checked = true;
  };
  ENGINE_FN(cef_post_delayed_task)(TID_UI, &probe.cef, 5);
  RunThenClose(20);
  EXPECT_TRUE(checked);
  ENGINE_FN(cef_shutdown)();
  long long leaks = -1, over = -1;
  Journal j = ReadJournal();
  ASSERT_TRUE(j.References(0, &leaks, &over));
  EXPECT_EQ(leaks, 0) << j.DescribeLeaks();
  EXPECT_EQ(over, 0) << j.DescribeLeaks();
}

TEST_F(StandinBrowserTest, LeaksAndOverReleasesAreReportedAtShutdownWithoutACrash) {
  Start();
  g_misbehave = true;
  ASSERT_EQ(Create("about:blank"), 1);
  static Counted<cef_task_t> late;
  InitCounted(&late);
  late.cef.execute = [](cef_task_t*) {
    g_over_released_host->was_hidden(g_over_released_host, 1);  // a call on a released wrapper
  };
  ENGINE_FN(cef_post_delayed_task)(TID_UI, &late.cef, 5);
  RunThenClose(20);
  ENGINE_FN(cef_shutdown)();
  Journal j = ReadJournal();
  long long leaks = -1, over = -1;
  ASSERT_TRUE(j.References(0, &leaks, &over));
  EXPECT_EQ(leaks, 1);
  EXPECT_EQ(over, 1);
  auto leak = j.Events("refs.leak");
  ASSERT_EQ(leak.size(), 1u);
  EXPECT_EQ(leak[0].Get("kind"), "frame");
  EXPECT_EQ(leak[0].Get("origin"), "get_main_frame");
  EXPECT_EQ(j.First("refs.overrelease")->Get("kind"), "browser_host");
  auto late_call = j.Events("refs.use_after_release");
  ASSERT_EQ(late_call.size(), 1u);
  EXPECT_EQ(late_call[0].Get("slot"), "was_hidden");
}

TEST_F(StandinBrowserTest, ScriptedPageDrivesLoadsConsoleNavigationsAndPopups) {
  ScenarioWriter s;
  // The first matching block wins, so the exact page comes before the prefix.
  s.Page("file:///C:/ui/next.html", {"popup url=about:blank", "popup url=data:text/html,x",
                                     "resource url=file:///C:/assets/a.png", "load_end status=201"});
  s.Page("file:///C:/ui/*",
         {"load_start", "wait 5", "console level=2 line=7 source=app.js message=" + ScenarioWriter::Quote("he said \"hi\""),
          "load_error frame=sub code=-105 text=NAME url=http://sub.test/", "browse url=https://web.test/ follow=1",
          "browse url=file:///C:/ui/next.html follow=1"});
  Start(s);
  g_popups_allowed = 1;  // the first popup is allowed, the second cancelled
  ASSERT_EQ(Create("file:///C:/ui/index.html"), 1);
  const std::vector<std::string> expected = {
      "after_created popup=0",
      "browse file:///C:/ui/index.html main",
      "load_start main",
      "console 2 he said \"hi\" app.js:7",
      "load_error -105 NAME http://sub.test/ sub",
      "browse https://web.test/ main",
      "browse file:///C:/ui/next.html main",
      "popup about:blank",
      "popup data:text/html,x",
      "load_end main 201",
      "after_created popup=1",
      "browse about:blank main",
  };
  // The asset request is answered on the engine's IO thread: wait for its journal line too.
  RunThenClose(20, [this, &expected] {
    return g_calls.size() >= expected.size() && ReadJournal().First("resource.request") != nullptr;
  });
  ASSERT_GE(g_calls.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(g_calls.begin(), g_calls.begin() + expected.size()), expected);
  ENGINE_FN(cef_shutdown)();
  Journal j = ReadJournal();
  auto navs = j.Events("nav.before_browse", "url", "https://web.test/");
  ASSERT_EQ(navs.size(), 1u);
  EXPECT_EQ(navs[0].Get("result"), "cancel");
  auto popups = j.Events("cb.on_before_popup");
  ASSERT_EQ(popups.size(), 2u);
  EXPECT_EQ(popups[0].Get("result"), "allow");
  EXPECT_EQ(popups[1].Get("result"), "cancel");
  EXPECT_EQ(j.Count("browser.popup_created"), 1u);
  const JournalEntry* resource = j.First("resource.request");
  ASSERT_NE(resource, nullptr);
  EXPECT_EQ(resource->Get("final_url"), "file:///C:/ui/assets/a.png") << "the product's set_url is honoured";
  const JournalEntry* console = j.First("cb.on_console_message");
  ASSERT_NE(console, nullptr);
  EXPECT_EQ(console->Get("message"), "he said \"hi\"");
  EXPECT_EQ(console->Get("result"), "1");
  long long leaks = -1, over = -1;
  ASSERT_TRUE(j.References(0, &leaks, &over));
  EXPECT_EQ(leaks, 0) << j.DescribeLeaks();
  EXPECT_EQ(over, 0);
}

// --- paints ---------------------------------------------------------------------------

const char probe[] =
    "data:text/html,<html><body style=\"margin:0;background:rgb(20,20,20)\"><div id=b style=\"width:240px;"
    "height:240px;background:rgb(210,70,70)\"></div><script>var b=document.getElementById('b'),n=0;function f(){n++;"
    "b.style.transform='translateX('+(n&255)+'px)';requestAnimationFrame(f);}requestAnimationFrame(f);</script>"
    "</body></html>";

std::uint32_t Pixel(const PaintSeen& p, int x, int y) { return p.pixels[static_cast<size_t>(y) * p.width + x]; }

TEST_F(StandinBrowserTest, CpuPaintsCarryTheScriptedPatternAndDirtyRects) {
  ScenarioWriter s;
  s.Page("about:blank", {"load_start", "paint pattern=checker color=0xFF336699 dirty=\"10,10,20,20;50,0,5,5\"",
                         "paint type=popup width=30 height=20 color=0xFF00FF00", "load_end"});
  Start(s);
  ASSERT_EQ(Create("about:blank", sizeof(cef_browser_settings_t), 0, 0), 1);
  RunThenClose(20, [] { return g_paints.size() >= 2; });  // timer frames at the browser's 30 fps
  ASSERT_GE(g_paints.size(), 2u);
  const PaintSeen& first = g_paints[0];
  EXPECT_EQ(first.path, "cpu");
  EXPECT_EQ(first.type, PET_VIEW);
  ASSERT_EQ(first.width, 640);  // the view rect the render handler reported
  ASSERT_EQ(first.height, 480);
  ASSERT_EQ(first.dirty.size(), 2u);
  EXPECT_EQ(first.dirty[0].x, 10);
  EXPECT_EQ(first.dirty[1].width, 5);
  EXPECT_EQ(Pixel(first, 0, 0), ~0xFF336699u | 0xFF000000u);
  EXPECT_EQ(Pixel(first, 8, 0), 0xFF336699u);
  EXPECT_EQ(Pixel(first, 8, 8), ~0xFF336699u | 0xFF000000u);
  const PaintSeen& popup = g_paints[1];
  EXPECT_EQ(popup.type, PET_POPUP);
  EXPECT_EQ(popup.width, 30);
  EXPECT_EQ(Pixel(popup, 29, 19), 0xFF00FF00u);
  // Without external begin frames the engine's own timer paints what changed: nothing.
  for (size_t i = 2; i < g_paints.size(); ++i) EXPECT_EQ(g_paints[i].type, PET_VIEW);
  ENGINE_FN(cef_shutdown)();
}

TEST_F(StandinBrowserTest, ProbePageMovesOnePixelPerBeginFrameThroughPooledSharedTextures) {
  HMODULE gpu = LoadLibraryA("d3d11.dll");
  auto marker = NimoStandinExport<NimoStandinMarkerFn>("d3d11.dll", "NimoStandinD3d11Marker");
  ASSERT_TRUE(gpu && marker && marker() == kNimoStandinGpuMagic) << "needs the stand-in d3d11.dll (the build's wine-run.sh)";
  Start();
  ASSERT_EQ(Create(probe, sizeof(cef_browser_settings_t), 1, 1), 1);
  static Counted<cef_task_t> frames;
  InitCounted(&frames);
  frames.cef.execute = [](cef_task_t*) {
    EXPECT_TRUE(g_paints.empty()) << "with external begin frames nothing paints unasked";
    cef_browser_host_t* host = g_browser->get_host(g_browser);
    for (int i = 0; i < 3; ++i) host->send_external_begin_frame(host);
    Release(host);
  };
  ENGINE_FN(cef_post_delayed_task)(TID_UI, &frames.cef, 40);
  RunThenClose(80, [] { return g_paints.size() >= 3; });
  ASSERT_EQ(g_paints.size(), 3u);
  for (const PaintSeen& p : g_paints) {
    EXPECT_EQ(p.path, "gpu");
    ASSERT_EQ(p.width, 640);
    ASSERT_EQ(p.dirty.size(), 1u);
  }
  EXPECT_EQ(g_paints[0].dirty[0].width, 640) << "the first frame is whole";
  EXPECT_EQ(g_paints[1].dirty[0].x, 1);
  EXPECT_EQ(g_paints[1].dirty[0].width, 241);
  EXPECT_EQ(g_paints[1].dirty[0].height, 240);
  EXPECT_NE(g_paints[0].handle, g_paints[1].handle) << "the pool hands out another texture";
  EXPECT_EQ(g_paints[0].handle, g_paints[2].handle);
  const PaintSeen& second = g_paints[1];  // square at x = 2
  EXPECT_EQ(Pixel(second, 1, 0), 0xFF141414u);
  EXPECT_EQ(Pixel(second, 2, 0), 0xFFD24646u);
  EXPECT_EQ(Pixel(second, 241, 239), 0xFFD24646u);
  EXPECT_EQ(Pixel(second, 242, 0), 0xFF141414u);
  EXPECT_EQ(Pixel(second, 2, 240), 0xFF141414u);
  const PaintSeen& third = g_paints[2];  // the older pooled texture brought up to date
  EXPECT_EQ(Pixel(third, 2, 0), 0xFF141414u);
  EXPECT_EQ(Pixel(third, 3, 0), 0xFFD24646u);
  ENGINE_FN(cef_shutdown)();
  FreeLibrary(gpu);
}

TEST_F(StandinBrowserTest, AnimatedRegionsKeepEveryPooledTextureUpToDate) {
  HMODULE gpu = LoadLibraryA("d3d11.dll");
  auto marker = NimoStandinExport<NimoStandinMarkerFn>("d3d11.dll", "NimoStandinD3d11Marker");
  ASSERT_TRUE(gpu && marker && marker() == kNimoStandinGpuMagic) << "needs the stand-in d3d11.dll (the build's wine-run.sh)";
  ScenarioWriter s;
  s.Page("about:blank", {"load_start", "paint pattern=gradient animate=1 dirty=\"0,0,4,4\"", "load_end"});
  Start(s);
  ASSERT_EQ(Create("about:blank", sizeof(cef_browser_settings_t), 1, 1), 1);
  static Counted<cef_task_t> frames;
  InitCounted(&frames);
  frames.cef.execute = [](cef_task_t*) {
    cef_browser_host_t* host = g_browser->get_host(g_browser);
    for (int i = 0; i < 4; ++i) host->send_external_begin_frame(host);
    Release(host);
  };
  ENGINE_FN(cef_post_delayed_task)(TID_UI, &frames.cef, 30);
  RunThenClose(70, [] { return g_paints.size() >= 4; });
  ASSERT_EQ(g_paints.size(), 4u);
  EXPECT_EQ(g_paints[0].dirty[0].width, 640) << "the first frame after a navigation is whole";
  for (size_t i = 1; i < 4; ++i) {
    ASSERT_EQ(g_paints[i].dirty.size(), 1u);
    EXPECT_EQ(g_paints[i].dirty[0].width, 4);
  }
  // Frame F paints red = F inside the region; outside, frame 1's pixels stay in every texture.
  for (size_t i = 0; i < 4; ++i) {
    std::uint32_t frame = static_cast<std::uint32_t>(i + 1);
    EXPECT_EQ(Pixel(g_paints[i], 3, 3), 0xFF000000u | frame << 16 | 3u << 8 | 3u) << "paint " << i;
    EXPECT_EQ(Pixel(g_paints[i], 100, 50), 0xFF000000u | 1u << 16 | 50u << 8 | 100u) << "paint " << i;
  }
  ENGINE_FN(cef_shutdown)();
  FreeLibrary(gpu);
}

TEST_F(StandinBrowserTest, HiddenBrowsersPaintNothingAndRepaintWholeWhenShown) {
  Start();
  ASSERT_EQ(Create(probe, sizeof(cef_browser_settings_t), 0, 1), 1);  // changes every frame
  static Counted<cef_task_t> steps;
  InitCounted(&steps);
  steps.cef.execute = [](cef_task_t*) {
    cef_browser_host_t* host = g_browser->get_host(g_browser);
    host->send_external_begin_frame(host);  // the page's first frame
    host->was_hidden(host, 1);
    host->send_external_begin_frame(host);
    host->was_hidden(host, 0);
    host->send_external_begin_frame(host);
    host->send_external_begin_frame(host);
    Release(host);
  };
  ENGINE_FN(cef_post_delayed_task)(TID_UI, &steps.cef, 20);
  RunThenClose(60, [] { return g_paints.size() >= 3; });
  ASSERT_EQ(g_paints.size(), 3u) << "no frame while hidden";
  EXPECT_EQ(g_paints[1].dirty[0].width, 640) << "shown again: the whole view";
  EXPECT_EQ(g_paints[1].dirty[0].height, 480);
  EXPECT_LT(g_paints[2].dirty[0].width, 640);
  ENGINE_FN(cef_shutdown)();
}

TEST_F(StandinBrowserTest, QuietEventsAreCountedInsteadOfWritten) {
  Start(ScenarioWriter().Line("quiet host.send_key_event paint."));
  ASSERT_EQ(Create("about:blank"), 1);
  static Counted<cef_task_t> keys;
  InitCounted(&keys);
  keys.cef.execute = [](cef_task_t*) {
    cef_browser_host_t* host = g_browser->get_host(g_browser);
    cef_key_event_t key = {};
    key.windows_key_code = 65;
    for (int i = 0; i < 3; ++i) host->send_key_event(host, &key);
    host->set_focus(host, 1);
    Release(host);
  };
  ENGINE_FN(cef_post_delayed_task)(TID_UI, &keys.cef, 10);
  RunThenClose(30);
  ENGINE_FN(cef_shutdown)();
  Journal j = ReadJournal();
  EXPECT_EQ(j.Count("host.send_key_event"), 0u);
  EXPECT_EQ(j.Count("host.set_focus"), 1u);
  auto counts = j.Events("journal.quiet", "prefix", "host.send_key_event");
  ASSERT_EQ(counts.size(), 1u);
  EXPECT_EQ(counts[0].Get("count"), "3");
}

// --- the renderer role (a child process: the role is chosen by its command line) --------

Counted<cef_render_process_handler_t> g_renderer;
Counted<cef_v8handler_t> g_invoke;
HMODULE g_child_engine = nullptr;

template <class Fn>
Fn ChildFn(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(g_child_engine, name)));
}

cef_string_t Borrow(const char16_t* text) {
  cef_string_t s = {const_cast<char16_t*>(text), std::char_traits<char16_t>::length(text), nullptr};
  return s;
}

int CEF_CALLBACK InvokeExecute(cef_v8handler_t*, const cef_string_t*, cef_v8value_t* object, size_t count,
                               cef_v8value_t* const* arguments, cef_v8value_t** retval, cef_string_t*) {
  cef_v8context_t* context = ChildFn<cef_v8context_get_current_context_fn>("cef_v8context_get_current_context")();
  cef_frame_t* frame = context->get_frame(context);
  cef_string_t name = Borrow(u"mp:invoke");
  cef_process_message_t* message = ChildFn<cef_process_message_create_fn>("cef_process_message_create")(&name);
  cef_list_value_t* list = message->get_argument_list(message);
  list->set_size(list, count);
  for (size_t i = 0; i < count; ++i) {
    cef_string_userfree_t text = arguments[i]->get_string_value(arguments[i]);
    list->set_string(list, i, text);
    if (text) ChildFn<cef_string_userfree_utf16_free_fn>("cef_string_userfree_utf16_free")(text);
    Release(arguments[i]);
  }
  Release(list);
  frame->send_process_message(frame, PID_BROWSER, message);  // consumes the message
  Release(frame);
  Release(context);
  Release(object);
  *retval = ChildFn<cef_v8value_create_undefined_fn>("cef_v8value_create_undefined")();
  return 1;
}

void CEF_CALLBACK WebKitInitialized(cef_render_process_handler_t*) {
  // No context is entered yet: the engine refuses to make objects here.
  cef_v8value_t* early = ChildFn<cef_v8value_create_object_fn>("cef_v8value_create_object")(nullptr, nullptr);
  if (early) Release(early);
}

void CEF_CALLBACK ContextCreated(cef_render_process_handler_t*, cef_browser_t* browser, cef_frame_t* frame,
                                 cef_v8context_t* context) {
  cef_v8value_t* global = context->get_global(context);
  cef_v8value_t* mp = ChildFn<cef_v8value_create_object_fn>("cef_v8value_create_object")(nullptr, nullptr);
  cef_string_t name = Borrow(u"invoke");
  g_invoke.cef.base.add_ref(&g_invoke.cef.base);  // create_function takes one over
  cef_v8value_t* fn = ChildFn<cef_v8value_create_function_fn>("cef_v8value_create_function")(&name, &g_invoke.cef);
  mp->set_value_bykey(mp, &name, fn, V8_PROPERTY_ATTRIBUTE_NONE);  // consumes fn
  cef_string_t key = Borrow(u"mp");
  global->set_value_bykey(global, &key, mp, V8_PROPERTY_ATTRIBUTE_NONE);  // consumes mp
  Release(global);
  Release(browser);
  Release(frame);
  Release(context);
}

cef_render_process_handler_t* CEF_CALLBACK GetRenderer(cef_app_t*) {
  g_renderer.cef.base.add_ref(&g_renderer.cef.base);
  return &g_renderer.cef;
}

// A DISABLED_ suite: left out of a normal run, started only by the case below.
TEST(DISABLED_StandinRendererChild, PlaysTheRendererRole) {
  ASSERT_NE(std::strstr(GetCommandLineA(), "--nimo-standin-child"), nullptr) << "runs only as the child below";
  g_child_engine = LoadLibraryA((ExeDir() + "\\dezor2.dll").c_str());
  ASSERT_NE(g_child_engine, nullptr);
  InitCounted(&g_app);
  InitCounted(&g_renderer);
  InitCounted(&g_invoke);
  g_app.cef.get_render_process_handler = GetRenderer;
  g_renderer.cef.on_web_kit_initialized = WebKitInitialized;
  g_renderer.cef.on_context_created = ContextCreated;
  g_invoke.cef.execute = InvokeExecute;
  cef_main_args_t args = {nullptr};
  g_app.cef.base.add_ref(&g_app.cef.base);
  int code = ChildFn<cef_execute_process_fn>("cef_execute_process")(&args, &g_app.cef, nullptr);
  // The product's objects must come back to the counts they started with.
  bool balanced = g_app.refs == 1 && g_renderer.refs == 1;
  ExitProcess(balanced ? static_cast<UINT>(code) : 99u);
}

TEST_F(StandinEngineTest, RendererRoleGivesContextsValuesAndProcessMessages) {
  ScenarioWriter s;
  s.Line("exit_code 7 type=renderer").Line("exit_code 3");
  s.Renderer({"context frame=main url=file:///C:/ui/index.html", "call mp.invoke s:save " + ScenarioWriter::Quote("s:[1, 2]"),
              "call mp.nothing s:x", "context frame=sub"});
  ASSERT_TRUE(s.WriteTo(scenario_path_));
  std::string command = "\"" + ExeDir() + "\\win_standin_engine.exe\" --gtest_filter=DISABLED_StandinRendererChild.* "
                        "--gtest_also_run_disabled_tests "
                        "--type=renderer --nimo-standin-child";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::vector<char> buffer(command.begin(), command.end());
  buffer.push_back(0);
  ASSERT_TRUE(CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(code, 7u) << "the scripted exit code of the renderer type (99: product objects unbalanced)";

  Journal j = ReadJournal();
  EXPECT_EQ(j.Count("v8.outside_context"), 1u);
  auto contexts = j.Events("renderer.on_context_created");
  ASSERT_EQ(contexts.size(), 2u);
  EXPECT_EQ(contexts[0].Get("mp_members"), "invoke");
  EXPECT_EQ(contexts[1].Get("frame"), "sub");
  auto calls = j.Events("renderer.call");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].Get("handled"), "1");
  EXPECT_EQ(calls[0].Get("result"), "undefined");
  EXPECT_EQ(calls[1].Get("result"), "undefined is not a function");
  auto sent = j.Events("frame.send_process_message");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Get("name"), "mp:invoke");
  EXPECT_EQ(sent[0].Get("target"), "0");
  EXPECT_EQ(sent[0].Get("arg0"), "s:save");
  EXPECT_EQ(sent[0].Get("arg1"), "s:[1, 2]");
  const JournalEntry* final_line = j.First("cmdline.final");
  ASSERT_NE(final_line, nullptr);
  EXPECT_EQ(final_line->Get("process"), "renderer");
  long long leaks = -1, over = -1;
  ASSERT_TRUE(j.References(0, &leaks, &over));
  EXPECT_EQ(leaks, 0) << j.DescribeLeaks();
  EXPECT_EQ(over, 0) << j.DescribeLeaks();
}

}  // namespace
