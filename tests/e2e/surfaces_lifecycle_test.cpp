// The browser process end to end: the real executable in a sandbox, the stand-in engine
// journaling what the product asks of it, and a fake client on a real pipe. Covers the
// engine settings, the UI surface at start-up, the creation rules of client surfaces, the
// frame pump, the shutdown paths (a browser arriving late, a popup, the last close) and the
// reference balance the engine reports at shutdown.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "protocol/pacing_messages.h"
#include "protocol/wire.h"
#include "surfaces/commands.h"
#include "tests/support/fake_client.h"
#include "tests/support/journal.h"
#include "tests/support/process_harness.h"

namespace nimo {
namespace test {
namespace {

using nimo_test::Journal;
using nimo_test::JournalEntry;
using nimo_test::ScenarioWriter;

constexpr DWORD kTimeoutMs = 20000;

// One engine run: sandbox with the stand-in engine, journal and scenario files, a client.
class Session {
 public:
  explicit Session(const std::string& scenario = "") {
    SandboxLayout layout;
    layout.libraries = {"dezor2.dll"};
    sandbox_ = std::make_unique<Sandbox>(layout);
    journal_path_ = sandbox_->Path("journal.txt");
    scenario_path_ = sandbox_->Path("scenario.txt");
    sandbox_->WriteFile("scenario.txt", scenario);
  }
  Sandbox& sandbox() { return *sandbox_; }
  FakeClient& client() { return client_; }

  std::vector<std::string> Environment() const {
    return {"NIMO_STANDIN_JOURNAL=" + journal_path_, "NIMO_STANDIN_SCENARIO=" + scenario_path_};
  }
  // Starts the browser process connected to this session's client and waits for Hello.
  bool Start(const std::string& extra_args = "", std::uint32_t version = 2) {
    if (!sandbox_->ok()) return false;
    const std::string args = "--nimomp-browser " + client_.PipeSwitches() + " " + extra_args;
    if (!sandbox_->Start(args, Environment(), &process_)) return false;
    return client_.Handshake(kTimeoutMs, nullptr, version);
  }
  // The same with the client id left to `extra_args`.
  bool StartWithoutClientId(const std::string& extra_args) {
    if (!sandbox_->ok()) return false;
    const std::string args = "--nimomp-browser --nimomp-pipe=" + client_.pipe_name() + " " + extra_args;
    if (!sandbox_->Start(args, Environment(), &process_)) return false;
    return client_.Handshake(kTimeoutMs);
  }
  // Starts without a pipe (the process then runs until it is ended from outside).
  bool StartUnlinked(const std::string& args) {
    return sandbox_->ok() && sandbox_->Start(args, Environment(), &process_);
  }
  RunResult Wait() { return process_.Wait(kTimeoutMs); }
  SandboxProcess& process() { return process_; }

  Journal LoadJournal() const { return Journal::Load(journal_path_); }
  // Re-reads the journal until `ready` holds or the time is up.
  bool WaitFor(const std::function<bool(const Journal&)>& ready, DWORD timeout_ms = kTimeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
      if (ready(LoadJournal())) return true;
      if (GetTickCount() - start > timeout_ms) return false;
      Sleep(15);
    }
  }
  // The engine's id of the browser created for `url`, or -1.
  static long long BrowserFor(const Journal& j, const std::string& url) {
    for (const JournalEntry& e : j.Events("create_browser")) {
      if (e.Get("url") == url) return e.Int("browser", -1);
    }
    return -1;
  }
  static std::size_t CountFor(const Journal& j, const std::string& event, long long browser) {
    return j.Events(event, "browser", std::to_string(browser)).size();
  }

 private:
  std::unique_ptr<Sandbox> sandbox_;
  std::string journal_path_;
  std::string scenario_path_;
  FakeClient client_;
  SandboxProcess process_;
};

void ExpectBalancedReferences(const Journal& j) {
  long long leaks = -1, over = -1;
  ASSERT_TRUE(j.References(0, &leaks, &over)) << "the engine never reached shutdown";
  EXPECT_EQ(leaks, 0) << j.DescribeLeaks();
  EXPECT_EQ(over, 0);
  EXPECT_EQ(j.Count("refs.use_after_release"), 0u);
}

bool CreateSurface(FakeClient& c, std::uint32_t id, std::uint32_t w, std::uint32_t h,
                   const std::string& url) {
  return c.SendSurfaceCommand(kMsgCreateSurface, id, w, h, 0, url);
}

std::string Folder(const Sandbox& s, const std::string& relative) {
  char full[MAX_PATH] = {};
  GetFullPathNameA(s.Path(relative).c_str(), MAX_PATH, full, nullptr);
  return full;
}

// ---- start-up and settings ---------------------------------------------------------------

TEST(BrowserProcess, InitialisesTheEngineWithTheSettingsTheSwitchesName) {
  Session s;
  ASSERT_TRUE(s.Start("--nimomp-cache=..\\my_cache --nimomp-locales=loc --nimomp-resources=res"))
      << s.sandbox().error();
  ASSERT_TRUE(s.client().SendShutdown());
  const RunResult run = s.Wait();
  EXPECT_EQ(run.exit_code, 0u);

  const Journal j = s.LoadJournal();
  const JournalEntry* init = j.First("initialize");
  ASSERT_NE(init, nullptr);
  EXPECT_EQ(init->Int("size"), 440);
  EXPECT_EQ(init->Int("no_sandbox"), 1);
  EXPECT_EQ(init->Get("browser_subprocess_path"), s.sandbox().exe_path());
  EXPECT_EQ(init->Int("multi_threaded_message_loop"), 0);
  EXPECT_EQ(init->Int("external_message_pump"), 0);
  EXPECT_EQ(init->Int("windowless_rendering_enabled"), 1);
  EXPECT_EQ(init->Int("command_line_args_disabled"), 0);
  // Relative switch values are resolved against the working folder, the executable's.
  EXPECT_EQ(init->Get("cache_path"), Folder(s.sandbox(), "..\\my_cache"));
  EXPECT_EQ(init->Get("root_cache_path"), init->Get("cache_path"));
  EXPECT_EQ(init->Get("locales_dir_path"), Folder(s.sandbox(), "loc"));
  EXPECT_EQ(init->Get("resources_dir_path"), Folder(s.sandbox(), "res"));
  EXPECT_EQ(init->Get("log_file"), Folder(s.sandbox(), "..\\logs\\webengine.log"));
  for (const char* empty : {"user_agent", "locale", "framework_dir_path", "javascript_flags",
                            "accept_language_list"}) {
    EXPECT_EQ(init->Get(empty, "?"), "") << empty;
  }
  for (const char* zero : {"log_severity", "remote_debugging_port", "persist_session_cookies"}) {
    EXPECT_EQ(init->Int(zero, -1), 0) << zero;
  }
  EXPECT_TRUE(s.sandbox().Exists("..\\my_cache"));  // the cache folder is made
}

TEST(BrowserProcess, DefaultFoldersLieBesideAndAboveTheExecutable) {
  Session s;
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(s.client().SendShutdown());
  EXPECT_EQ(s.Wait().exit_code, 0u);
  const Journal j = s.LoadJournal();
  const JournalEntry* init = j.First("initialize");
  ASSERT_NE(init, nullptr);
  EXPECT_EQ(init->Get("resources_dir_path"), s.sandbox().exe_dir());
  EXPECT_EQ(init->Get("locales_dir_path"), Folder(s.sandbox(), "..\\cef\\locales"));
  EXPECT_EQ(init->Get("cache_path"), Folder(s.sandbox(), "..\\cef_cache"));
  EXPECT_TRUE(s.sandbox().Exists("..\\cef_cache"));
  const std::string log = s.sandbox().ReadLog();
  EXPECT_NE(log.find("[nimo-webengine][browser] cef_initialize: subprocess=" +
                     s.sandbox().exe_path() + "\n"),
            std::string::npos);
  // The last line counts the paints of the run, as a signed decimal number.
  const std::size_t at = log.find("[nimo-webengine][browser] shut down. paints=");
  ASSERT_NE(at, std::string::npos);
  const std::string count = log.substr(at + 44, log.find('\n', at) - at - 44);
  EXPECT_FALSE(count.empty());
  EXPECT_EQ(count.find_first_not_of("-0123456789"), std::string::npos) << count;
}

TEST(BrowserProcess, UiSurfaceOpensAtStartUpWithItsWindowAndSettings) {
  Session s;
  ASSERT_TRUE(s.Start("--nimomp-url=https://ui.test/start"));
  ASSERT_TRUE(s.WaitFor([](const Journal& j) { return j.Count("cb.on_after_created") > 0; }));
  ASSERT_TRUE(s.client().SendShutdown());
  EXPECT_EQ(s.Wait().exit_code, 0u);

  const Journal j = s.LoadJournal();
  ASSERT_EQ(j.Count("create_browser"), 1u);
  const JournalEntry c = j.Events("create_browser")[0];
  EXPECT_EQ(c.Get("url"), "https://ui.test/start");
  EXPECT_EQ(c.Int("x", -1), 0);
  EXPECT_EQ(c.Int("y", -1), 0);
  EXPECT_EQ(c.Int("width"), 1280);
  EXPECT_EQ(c.Int("height"), 720);
  EXPECT_EQ(c.Int("windowless_rendering_enabled"), 1);
  EXPECT_EQ(c.Int("shared_texture_enabled"), 1);
  EXPECT_EQ(c.Int("external_begin_frame_enabled"), 1);
  EXPECT_EQ(c.Int("settings_size"), 264);
  EXPECT_EQ(c.Int("windowless_frame_rate"), 60);
  EXPECT_EQ(c.Get("background_color"), "0x0");
  EXPECT_EQ(c.Int("runtime_style", -1), 0);
  EXPECT_NE(s.sandbox().ReadLog().find(
                "[nimo-webengine][browser] cef_initialize OK \xE2\x80\x94 creating OSR browser: "
                "https://ui.test/start\n"),
            std::string::npos);
  ExpectBalancedReferences(j);
}

TEST(BrowserProcess, UiSurfaceUrlDefaultsToBlankAndMayBeEmpty) {
  {
    Session s;
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.client().SendShutdown());
    EXPECT_EQ(s.Wait().exit_code, 0u);
    const Journal j = s.LoadJournal();
    const JournalEntry* c = j.First("create_browser");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Get("url"), "about:blank");
  }
  {
    Session s;
    ASSERT_TRUE(s.Start("--nimomp-url="));
    ASSERT_TRUE(s.client().SendShutdown());
    EXPECT_EQ(s.Wait().exit_code, 0u);
    const Journal j = s.LoadJournal();
    const JournalEntry* c = j.First("create_browser");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Get("url", "?"), "");
  }
}

TEST(BrowserProcess, FlagFilesChangeTheUiSurface) {
  Session s;
  ASSERT_TRUE(s.sandbox().WriteFile("ZUNT_WEB_TESTPAGE", ""));
  ASSERT_TRUE(s.sandbox().WriteFile("ZUNT_WEB_CPUFRAMES", ""));
  ASSERT_TRUE(s.sandbox().WriteFile("ZUNT_WEB_NOEXTBF", ""));
  ASSERT_TRUE(s.Start("--nimomp-url=https://ui.test/"));
  ASSERT_TRUE(s.WaitFor([](const Journal& j) { return j.Count("cb.on_after_created") > 0; }));
  Sleep(100);  // time for a frame pump to show itself, if one were wrongly started
  ASSERT_TRUE(s.client().SendShutdown());
  EXPECT_EQ(s.Wait().exit_code, 0u);

  const Journal j = s.LoadJournal();
  const JournalEntry* c = j.First("create_browser");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->Get("url").size(), 328u);
  EXPECT_EQ(c->Get("url").rfind("data:text/html,", 0), 0u);
  EXPECT_EQ(c->Int("shared_texture_enabled", -1), 0);
  EXPECT_EQ(c->Int("external_begin_frame_enabled", -1), 0);
  EXPECT_EQ(j.Count("host.send_external_begin_frame"), 0u);
  const std::string log = s.sandbox().ReadLog();
  // The start-up line still names the switch's URL.
  EXPECT_NE(log.find("creating OSR browser: https://ui.test/\n"), std::string::npos);
  EXPECT_NE(log.find("[nimo-webengine][browser] ZUNT_WEB_TESTPAGE active - UI surface is the probe page\n"),
            std::string::npos);
  EXPECT_NE(log.find("[nimo-webengine][browser] ZUNT_WEB_CPUFRAMES active - on_paint instead of shared textures\n"),
            std::string::npos);
}

TEST(BrowserProcess, EngineThatFailsToStartEndsWithThree) {
  Session s("initialize_result 0\n");
  ASSERT_TRUE(s.StartUnlinked("--nimomp-browser"));
  const RunResult run = s.Wait();
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 3u);
  const std::string log = s.sandbox().ReadLog();
  // The folders given follow: a missing resources or locales folder is the usual cause.
  EXPECT_NE(log.find("[nimo-webengine][browser] cef_initialize FAILED\n[nimo-webengine][browser] folders given: "
                     "resources=" + s.sandbox().exe_dir() + " locales="),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("entering message loop"), std::string::npos);
}

TEST(BrowserProcess, RefusedUiSurfaceStillRunsAndShutsDownAtOnce) {
  Session s("create_browser_result 0\n");
  ASSERT_TRUE(s.StartWithoutClientId("--nimomp-clientpid=notanumber"));
  ASSERT_TRUE(s.client().SendShutdown());
  const RunResult run = s.Wait();
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0u);
  const std::string log = s.sandbox().ReadLog();
  EXPECT_NE(log.find("[nimo-webengine][browser] create_browser FAILED\n"), std::string::npos);
  EXPECT_NE(log.find("[nimo-webengine][gpu] OpenProcess(client) FAILED err="), std::string::npos);
  EXPECT_NE(log.find("entering message loop"), std::string::npos);
  ExpectBalancedReferences(s.LoadJournal());
}

// ---- client surfaces ---------------------------------------------------------------------

TEST(ClientSurfaces, EachIdGetsItsRulesAndOnlyOneBrowserPerSlot) {
  Session s;
  ASSERT_TRUE(s.Start("--nimomp-url=https://s0.test/"));
  FakeClient& c = s.client();
  ASSERT_TRUE(CreateSurface(c, 1, 800, 600, "https://s1.test/"));
  ASSERT_TRUE(CreateSurface(c, 1, 10, 10, "https://s1-again.test/"));  // still creating
  ASSERT_TRUE(CreateSurface(c, 2, 0, 0, ""));
  ASSERT_TRUE(CreateSurface(c, 3, 640, 0, "https://s3.test/"));
  ASSERT_TRUE(CreateSurface(c, 4, 100, 100, "https://s4.test/"));      // no such slot
  ASSERT_TRUE(CreateSurface(c, 0, 100, 100, "https://s0-again.test/"));  // slot 0 is taken
  // Until every pumped surface has had a frame asked for (the one without a pump must have none).
  ASSERT_TRUE(s.WaitFor([](const Journal& j) {
    if (j.Count("cb.on_after_created") < 4) return false;
    for (const char* url : {"https://s0.test/", "https://s1.test/", "https://s3.test/"}) {
      const long long id = Session::BrowserFor(j, url);
      if (id == -1 || Session::CountFor(j, "host.send_external_begin_frame", id) == 0) return false;
    }
    return true;
  }));
  ASSERT_TRUE(c.SendShutdown());
  EXPECT_EQ(s.Wait().exit_code, 0u);

  const Journal j = s.LoadJournal();
  ASSERT_EQ(j.Count("create_browser"), 4u);
  struct Want {
    const char* url;
    int width, height, rate, shared, extbf;
  } wants[] = {{"https://s0.test/", 1280, 720, 60, 1, 1},
               {"https://s1.test/", 800, 600, 30, 1, 1},
               {"about:blank", 1280, 720, 1, 0, 0},
               {"https://s3.test/", 640, 720, 1, 1, 1}};
  for (const Want& w : wants) {
    const long long id = Session::BrowserFor(j, w.url);
    ASSERT_NE(id, -1) << w.url;
    const std::vector<JournalEntry> creates = j.Events("create_browser");
    const JournalEntry* e = nullptr;
    for (const JournalEntry& x : creates) {
      if (x.Get("url") == w.url) e = &x;
    }
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Int("width"), w.width) << w.url;
    EXPECT_EQ(e->Int("height"), w.height) << w.url;
    EXPECT_EQ(e->Int("windowless_frame_rate"), w.rate) << w.url;
    EXPECT_EQ(e->Int("shared_texture_enabled", -1), w.shared) << w.url;
    EXPECT_EQ(e->Int("external_begin_frame_enabled", -1), w.extbf) << w.url;
    const std::size_t frames = Session::CountFor(j, "host.send_external_begin_frame", id);
    if (w.extbf) {
      EXPECT_GT(frames, 0u) << w.url;
    } else {
      EXPECT_EQ(frames, 0u) << w.url;
    }
  }
  ExpectBalancedReferences(j);
}

TEST(ClientSurfaces, RecreatedSurfaceKeepsItsLastSize) {
  ScenarioWriter w;
  w.Page("file:///C:/nimo-test/closes.html", {"wait 30", "close force=1"});
  Session s(w.Text());
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(CreateSurface(s.client(), 1, 1000, 500, "file:///C:/nimo-test/closes.html"));
  ASSERT_TRUE(s.WaitFor([](const Journal& j) { return j.Count("cb.on_before_close") >= 1; }));
  Sleep(50);
  ASSERT_TRUE(CreateSurface(s.client(), 1, 0, 0, "https://second.test/"));
  ASSERT_TRUE(s.WaitFor([](const Journal& j) { return j.Count("cb.on_after_created") >= 3; }));
  ASSERT_TRUE(s.client().SendShutdown());
  EXPECT_EQ(s.Wait().exit_code, 0u);

  const Journal j = s.LoadJournal();
  const long long second = Session::BrowserFor(j, "https://second.test/");
  ASSERT_NE(second, -1);
  for (const JournalEntry& e : j.Events("create_browser")) {
    if (e.Int("browser") != second) continue;
    EXPECT_EQ(e.Int("width"), 1000);
    EXPECT_EQ(e.Int("height"), 500);
  }
  ExpectBalancedReferences(j);
}

// ---- frame pump --------------------------------------------------------------------------

TEST(FramePump, TicksAre16MsApartAndEndWithTheLink) {
  Session s;
  ASSERT_TRUE(s.Start("--nimomp-url=https://pumped.test/"));
  ASSERT_TRUE(s.WaitFor([](const Journal& j) { return j.Count("host.send_external_begin_frame") >= 20; }));
  ASSERT_TRUE(s.client().SendShutdown());
  EXPECT_EQ(s.Wait().exit_code, 0u);

  const Journal j = s.LoadJournal();
  const long long id = Session::BrowserFor(j, "https://pumped.test/");
  std::vector<long long> times;
  long long close_at = -1;
  for (const JournalEntry& e : j.entries()) {
    if (e.event == "host.send_external_begin_frame" && e.Int("browser") == id) {
      times.push_back(e.micros);
      EXPECT_EQ(e.Int("from_ui", 1), 1);
    }
    if (e.event == "host.close_browser" && close_at < 0) close_at = e.micros;
  }
  ASSERT_GE(times.size(), 20u);
  ASSERT_GE(close_at, 0);
  // Every tick is posted with the pump's delay.
  std::size_t pump_posts = 0;
  for (const JournalEntry& e : j.Events("task.post")) {
    if (e.Int("delay", -1) == 16) ++pump_posts;
  }
  EXPECT_GE(pump_posts, times.size());
  // After the link ended the pump gives at most one more begin frame.
  const auto after = std::count_if(times.begin(), times.end(), [&](long long t) { return t > close_at; });
  EXPECT_LE(after, 1);

  std::vector<long long> gaps;
  for (std::size_t i = 1; i < times.size(); ++i) gaps.push_back(times[i] - times[i - 1]);
  std::sort(gaps.begin(), gaps.end());
  std::printf("frame pump: %u begin frames, interval p50 %.1f ms, p90 %.1f ms\n",
              static_cast<unsigned>(times.size()),
              gaps[gaps.size() / 2] / 1000.0, gaps[gaps.size() * 9 / 10] / 1000.0);
}

TEST(FramePump, StopsWhenTheClientGoesAway) {
  Session s;
  ASSERT_TRUE(s.Start("--nimomp-url=https://gone.test/"));
  ASSERT_TRUE(s.WaitFor([](const Journal& j) { return j.Count("host.send_external_begin_frame") >= 3; }));
  s.client().Close();
  const RunResult run = s.Wait();
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0u);
  ExpectBalancedReferences(s.LoadJournal());
}

// ---- frame pacing (protocol 3) -----------------------------------------------------------

// The begin frames the engine gave `browser`, by time.
std::vector<long long> BeginFrames(const Journal& j, long long browser) {
  std::vector<long long> times;
  for (const JournalEntry& e : j.Events("host.send_external_begin_frame", "browser", std::to_string(browser))) {
    times.push_back(e.micros);
  }
  return times;
}

long long MedianGap(const std::vector<long long>& times) {
  std::vector<long long> gaps;
  for (std::size_t i = 1; i < times.size(); ++i) gaps.push_back(times[i] - times[i - 1]);
  if (gaps.empty()) return -1;
  std::sort(gaps.begin(), gaps.end());
  return gaps[gaps.size() / 2];
}

std::size_t CountSince(const std::vector<long long>& times, long long since) {
  return static_cast<std::size_t>(std::count_if(times.begin(), times.end(), [&](long long t) { return t > since; }));
}

// UI tasks run in the order their commands came: a resize of surface `id` (journaled as
// host.was_resized) that follows a command shows that the command's task has run. Returns
// the journal time of that resize, or -1.
long long Settled(Session& s, long long browser, std::uint32_t id, std::uint32_t width) {
  if (!s.client().SendSurfaceCommand(kMsgResizeSurface, id, width, 480, 0)) return -1;
  long long at = -1;
  s.WaitFor([&](const Journal& j) {
    for (const JournalEntry& e : j.Events("cb.get_view_rect", "browser", std::to_string(browser))) {
      if (e.Get("why") == "was_resized" && e.Int("width") == width) at = e.micros;
    }
    return at >= 0;
  });
  return at;
}

TEST(FramePacing, TheEngineClockKeepsTheAskedRateAndTheClientClockGivesOneBeginFramePerCommand) {
  Session s;
  ASSERT_TRUE(s.Start("--nimomp-protocol=3 --nimomp-url=https://paced.test/", 3));
  FakeClient& c = s.client();
  ASSERT_TRUE(s.WaitFor([](const Journal& j) { return j.Count("host.send_external_begin_frame") >= 5; }));
  const long long ui = Session::BrowserFor(s.LoadJournal(), "https://paced.test/");
  ASSERT_GE(ui, 0);

  // Engine clock at 30 frames a second.
  ASSERT_TRUE(c.SendRaw(protocol::SetFramePacing(0, kPacingEngineClock, 30, 0)));
  const long long at30 = Settled(s, ui, 0, 640);
  ASSERT_GE(at30, 0);
  ASSERT_TRUE(s.WaitFor([&](const Journal& j) { return CountSince(BeginFrames(j, ui), at30) >= 31; }));
  std::vector<long long> paced;
  for (long long t : BeginFrames(s.LoadJournal(), ui)) {
    if (t > at30) paced.push_back(t);
  }
  const long long gap = MedianGap(paced);
  EXPECT_GE(gap, 30000) << "30 a second is one every 33.3 ms";
  EXPECT_LE(gap, 37000);

  // Client clock: the pump ends, and every BeginFrame (each sent once the one before was
  // given) is one begin frame on the UI thread.
  ASSERT_TRUE(c.SendRaw(protocol::SetFramePacing(0, kPacingClientClock, 0, 0)));
  const long long client_from = Settled(s, ui, 0, 641);
  ASSERT_GE(client_from, 0);
  // A tick already queued when the clock changed ends without a begin frame.
  EXPECT_EQ(CountSince(BeginFrames(s.LoadJournal(), ui), client_from), 0u);
  for (std::size_t i = 1; i <= 5; ++i) {
    ASSERT_TRUE(c.SendRaw(protocol::BeginFrame(0)));
    ASSERT_TRUE(s.WaitFor([&](const Journal& j) { return CountSince(BeginFrames(j, ui), client_from) >= i; }));
  }
  Sleep(300);  // time in which an engine clock would have ticked about 18 times
  const long long quiet_end = Settled(s, ui, 0, 642);
  ASSERT_GE(quiet_end, 0);
  {
    const Journal j = s.LoadJournal();
    EXPECT_EQ(CountSince(BeginFrames(j, ui), client_from), 5u);
    for (const JournalEntry& e : j.Events("host.send_external_begin_frame", "browser", std::to_string(ui))) {
      EXPECT_EQ(e.Int("from_ui", 0), 1);
    }
  }

  // Back to the engine's default clock: the pump starts again, 16 ms as always.
  ASSERT_TRUE(c.SendRaw(protocol::SetFramePacing(0, kPacingEngineClock, 0, 0)));
  ASSERT_TRUE(s.WaitFor([&](const Journal& j) { return CountSince(BeginFrames(j, ui), quiet_end) >= 10; }));

  ASSERT_TRUE(c.SendShutdown());
  EXPECT_EQ(s.Wait().exit_code, 0u);
  ExpectBalancedReferences(s.LoadJournal());
}

TEST(FramePacing, ASurfaceNotCreatedYetStartsWithItsSettingsAndSurfaceTwoTakesOnlyTheProbeFlag) {
  Session s;
  ASSERT_TRUE(s.Start("--nimomp-protocol=3 --nimomp-url=data:text/html,zero", 3));
  FakeClient& c = s.client();
  ASSERT_TRUE(c.SendRaw(protocol::SetFramePacing(3, kPacingClientClock, 0, kPacingFlagNoProbe)));
  ASSERT_TRUE(c.SendRaw(protocol::SetFramePacing(2, kPacingClientClock, 0, kPacingFlagNoProbe)));
  ASSERT_TRUE(CreateSurface(c, 3, 320, 200, "data:text/html,three"));
  ASSERT_TRUE(CreateSurface(c, 2, 320, 200, "data:text/html,two"));
  // Local pages, which the navigation filter lets every surface load.
  ASSERT_TRUE(s.WaitFor([](const Journal& j) { return j.Count("cb.on_load_end") >= 3; }));
  const Journal created = s.LoadJournal();
  const long long three = Session::BrowserFor(created, "data:text/html,three");
  const long long two = Session::BrowserFor(created, "data:text/html,two");
  const long long ui = Session::BrowserFor(created, "data:text/html,zero");
  ASSERT_GE(three, 0);
  const long long settled = Settled(s, three, 3, 330);
  ASSERT_GE(settled, 0);
  ASSERT_TRUE(c.SendRaw(protocol::BeginFrame(3)));
  ASSERT_TRUE(c.SendRaw(protocol::BeginFrame(2)));
  ASSERT_TRUE(s.WaitFor([&](const Journal& j) { return !BeginFrames(j, three).empty(); }));
  // Surface 0 keeps its pump meanwhile: enough of its ticks to have seen others' too.
  const std::size_t ui_before = BeginFrames(s.LoadJournal(), ui).size();
  ASSERT_TRUE(s.WaitFor([&](const Journal& j) { return BeginFrames(j, ui).size() >= ui_before + 10; }));
  ASSERT_TRUE(c.SendShutdown());
  EXPECT_EQ(s.Wait().exit_code, 0u);

  const Journal j = s.LoadJournal();
  EXPECT_EQ(BeginFrames(j, three).size(), 1u) << "surface 3 is on the client's clock from its creation";
  EXPECT_TRUE(BeginFrames(j, two).empty()) << "surface 2 never takes begin frames";
  // Neither gets the probe; surface 0, whose probe was left on, does.
  auto probes = [&](long long browser) {
    std::size_t n = 0;
    for (const JournalEntry& e : j.Events("frame.execute_java_script", "browser", std::to_string(browser))) {
      if (e.Get("code").find("__mpRaf") != std::string::npos) ++n;
    }
    return n;
  };
  EXPECT_EQ(probes(three), 0u);
  EXPECT_EQ(probes(two), 0u);
  EXPECT_GE(probes(ui), 1u);
  ExpectBalancedReferences(j);
}

// ---- shutdown paths (each once a hang or a leak) ------------------------------------------

TEST(Shutdown, ABrowserArrivingAfterShutdownBeganIsClosedAndTheProcessEnds) {
  Session s("created_delay_ms 400\n");
  ASSERT_TRUE(s.Start());
  ASSERT_TRUE(CreateSurface(s.client(), 1, 0, 0, "https://late.test/"));
  ASSERT_TRUE(s.client().SendShutdown());
  const RunResult run = s.Wait();
  ASSERT_FALSE(run.timed_out) << "the process hung waiting for a browser nobody closed";
  EXPECT_EQ(run.exit_code, 0u);
  const Journal j = s.LoadJournal();
  const long long late = Session::BrowserFor(j, "https://late.test/");
  ASSERT_NE(late, -1);
  EXPECT_EQ(Session::CountFor(j, "host.close_browser", late), 1u);
  EXPECT_EQ(j.Count("shutdown.browser_open"), 0u);
  EXPECT_NE(s.sandbox().ReadLog().find("[nimo-webengine][browser] surface 0000000000000001 arrived during shutdown"),
            std::string::npos);
  ExpectBalancedReferences(j);
}

TEST(Shutdown, ABrowserThatNeverArrivesHoldsTheProcessOnlyUntilTheDeadline) {
  // The engine accepts the UI surface's request and never delivers the browser.
  Session s("created_delay_ms 600000\n");
  ASSERT_TRUE(s.Start());
  const ULONGLONG asked = GetTickCount64();
  ASSERT_TRUE(s.client().SendShutdown());
  const RunResult run = s.Wait();
  const ULONGLONG took = GetTickCount64() - asked;
  std::printf("shutdown with a browser that never arrives took %llu ms\n", took);
  ASSERT_FALSE(run.timed_out) << "the process waited for a browser that never came";
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_LT(took, static_cast<ULONGLONG>(kShutdownDeadlineMs) + 5000) << "the deadline did not end it";
  EXPECT_NE(s.sandbox().ReadLog().find("[nimo-webengine][ipc] shutdown deadline of 5000 ms passed with 1 "
                                       "browsers open or on their way - quitting\n"),
            std::string::npos);
}

TEST(Shutdown, PopupsAreRefusedSoTheSurfaceKeepsItsBrowser) {
  ScenarioWriter w;
  w.Page("file:///C:/nimo-test/opener.html", {"load_start", "popup url=https://popup.test/", "load_end"});
  Session s(w.Text());
  ASSERT_TRUE(s.Start("--nimomp-url=file:///C:/nimo-test/opener.html"));
  ASSERT_TRUE(s.WaitFor([](const Journal& j) { return j.Count("cb.on_before_popup") >= 1; }));
  Sleep(50);
  ASSERT_TRUE(s.client().SendShutdown());
  const RunResult run = s.Wait();
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0u);
  const Journal j = s.LoadJournal();
  EXPECT_EQ(j.First("cb.on_before_popup")->Get("result"), "cancel");
  EXPECT_EQ(j.Count("browser.popup_created"), 0u);
  EXPECT_EQ(j.Count("cb.on_after_created"), 1u);
  const long long opener = Session::BrowserFor(j, "file:///C:/nimo-test/opener.html");
  EXPECT_EQ(Session::CountFor(j, "host.close_browser", opener), 1u);
  ExpectBalancedReferences(j);
}

TEST(Shutdown, ContextMenusNeverShowAndLeaveNoReferences) {
  ScenarioWriter w;
  w.Page("file:///C:/nimo-test/menu.html", {"load_start", "context_menu", "load_end"});
  Session s(w.Text());
  ASSERT_TRUE(s.Start("--nimomp-url=file:///C:/nimo-test/menu.html"));
  ASSERT_TRUE(s.WaitFor([](const Journal& j) { return j.Count("cb.context_menu") >= 1; }));
  ASSERT_TRUE(s.client().SendShutdown());
  EXPECT_EQ(s.Wait().exit_code, 0u);
  const Journal j = s.LoadJournal();
  const JournalEntry* menu = j.First("cb.context_menu");
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->Int("items_left", -1), 0);
  EXPECT_EQ(menu->Int("shown", -1), 0);
  ExpectBalancedReferences(j);
}

}  // namespace
}  // namespace test
}  // namespace nimo
