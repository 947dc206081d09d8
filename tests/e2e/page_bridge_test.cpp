// The page bridge of the real executable against the stand-in engine: scripts injected
// into main frames only (never on surface 1), load events, the console channel, the
// navigation filter and asset rewriting, seen from the client's side of the pipe and in
// the engine's journal.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "bridge/page_scripts.h"
#include "protocol/wire.h"
#include "tests/support/fake_client.h"
#include "tests/support/journal.h"
#include "tests/support/process_harness.h"

namespace nimo {
namespace test {
namespace {

using nimo_test::Journal;
using nimo_test::JournalEntry;
using nimo_test::ScenarioWriter;

constexpr DWORD kReportMs = 10000;
const std::string kShim(kPageShim, kPageShimLength);
const std::string kProbe(kRateProbe, kRateProbeLength);

// One run of the executable with a scenario, driven through the fake client.
class BridgeRun {
 public:
  BridgeRun() : sandbox_(Layout()) {}

  // Starts the browser process with surface 0 on `ui_url`.
  bool Start(const ScenarioWriter& scenario, const std::string& ui_url) {
    if (!sandbox_.ok()) return false;
    scenario_ = sandbox_.root() + "\\scenario.txt";
    journal_ = sandbox_.root() + "\\journal.txt";
    if (!scenario.WriteTo(scenario_)) return false;
    const std::vector<std::string> env = {"NIMO_STANDIN_SCENARIO=" + scenario_,
                                          "NIMO_STANDIN_JOURNAL=" + journal_};
    return client_.Launch(sandbox_.exe_path(), "--nimomp-url=" + ui_url, env, &engine_) &&
           client_.Handshake(kReportMs);
  }

  bool Create(std::uint32_t id, const std::string& url) {
    return client_.SendSurfaceCommand(kMsgCreateSurface, id, 0, 0, 0, url);
  }

  // Reads reports until `count` of `type` have come (others are kept aside).
  std::vector<Report> Collect(std::uint16_t type, size_t count) {
    std::vector<Report> got;
    Report r;
    while (got.size() < count && client_.ReadUntil(type, &r, kReportMs)) got.push_back(r);
    return got;
  }

  // Shuts the engine down; returns its exit code (-1 when it did not end).
  long Finish() {
    client_.SendShutdown();
    return engine_.WaitExit(20000);
  }

  Journal journal() const { return Journal::Load(journal_); }
  std::string log() const { return sandbox_.ReadLog(); }
  FakeClient& client() { return client_; }

 private:
  static SandboxLayout Layout() {
    SandboxLayout layout;
    layout.libraries = {"dezor2.dll"};
    return layout;
  }

  Sandbox sandbox_;
  FakeClient client_;
  EngineProcess engine_;
  std::string scenario_;
  std::string journal_;
};

// Browser ids of the journal by the URL they were created with.
std::map<std::string, std::string> BrowsersByUrl(const Journal& journal) {
  std::map<std::string, std::string> ids;
  for (const JournalEntry& e : journal.Events("create_browser")) ids[e.Get("url")] = e.Get("browser");
  return ids;
}

// No object handed out by the engine to the page bridge's callbacks, or returned to them,
// was leaked or released once too often. Other parts of the product answer for their own.
void ExpectBridgeReferencesClean(const Journal& journal) {
  long long leaks = -1, over = -1;
  ASSERT_TRUE(journal.References(0, &leaks, &over)) << "the engine never shut down";
  static const char* const kBridgeOrigins[] = {
      "on_load_start", "on_load_end", "on_load_error", "on_console_message", "on_before_browse",
      "get_resource_request_handler", "on_before_resource_load", "get_host"};
  for (const char* event : {"refs.leak", "refs.overrelease", "refs.use_after_release"}) {
    for (const JournalEntry& e : journal.Events(event)) {
      for (const char* origin : kBridgeOrigins) EXPECT_NE(e.Get("origin"), origin) << e.line;
    }
  }
}

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(PageBridgeE2E, ScriptsGoIntoMainFramesOnlyAndNeverOnSurfaceOne) {
  ScenarioWriter scenario;
  scenario.Page("file:///C:/ui/*", {"load_start", "load_start frame=sub", "load_end frame=sub", "load_end"});
  BridgeRun run;
  ASSERT_TRUE(run.Start(scenario, "file:///C:/ui/zero.html"));
  ASSERT_TRUE(run.Create(1, "file:///C:/ui/one.html"));
  ASSERT_TRUE(run.Create(3, "file:///C:/ui/three.html"));

  // One kind-0 event per surface: sub-frame load ends are not reported.
  std::map<std::uint32_t, int> finished;
  for (const Report& r : run.Collect(kMsgLoadEvent, 3)) {
    EXPECT_EQ(r.payload.size(), 16u);
    EXPECT_EQ(r.param(1), kLoadEventFinished);
    ++finished[r.surface_id()];
  }
  EXPECT_EQ(finished, (std::map<std::uint32_t, int>{{0, 1}, {1, 1}, {3, 1}}));
  ASSERT_EQ(run.Finish(), 0);

  const Journal journal = run.journal();
  const auto ids = BrowsersByUrl(journal);
  ASSERT_EQ(ids.size(), 3u);
  for (const auto& page : ids) {
    std::vector<std::string> codes;
    for (const JournalEntry& e : journal.Events("frame.execute_java_script", "browser", page.second)) {
      EXPECT_EQ(e.Get("frame"), "main");
      EXPECT_EQ(e.Get("script_url"), "");
      EXPECT_EQ(e.Int("start_line", -1), 0);
      codes.push_back(e.Get("code"));
    }
    if (page.first == "file:///C:/ui/one.html") {
      EXPECT_TRUE(codes.empty()) << "surface 1 got page scripts";
    } else {
      // Load start: shim then probe; load end: the shim once more.
      EXPECT_EQ(codes, (std::vector<std::string>{kShim, kProbe, kShim})) << page.first;
    }
  }
  // Each main-frame load end refreshed the view: one was_resized and one invalidate each.
  EXPECT_GE(journal.Count("host.was_resized"), 3u);
  EXPECT_GE(journal.Events("host.invalidate", "type", "0").size(), 3u);
  ExpectBridgeReferencesClean(journal);
}

TEST(PageBridgeE2E, FailedLoadsOfAnyFrameAreReportedWithCodeAndUrl) {
  ScenarioWriter scenario;
  scenario.Page("file:///C:/ui/zero.html",
                {"load_start", "load_error frame=sub code=-105 url=https://ads.example/x.js",
                 "load_end"});
  scenario.Page("file:///C:/ui/broken.html",
                {"load_start", "load_error code=-6 text=gone url=" + ScenarioWriter::Quote("file:///C:/ui/br\xC3\xB6ken.html")});
  BridgeRun run;
  ASSERT_TRUE(run.Start(scenario, "file:///C:/ui/zero.html"));
  ASSERT_TRUE(run.Create(1, "file:///C:/ui/broken.html"));
  std::vector<Report> events = run.Collect(kMsgLoadEvent, 3);
  ASSERT_EQ(events.size(), 3u);
  std::map<std::string, Report> failed;
  int finished = 0;
  for (const Report& r : events) {
    if (r.param(1) == kLoadEventFailed) failed[r.text()] = r;
    else if (r.param(1) == kLoadEventFinished && r.surface_id() == 0) ++finished;
  }
  EXPECT_EQ(finished, 1);
  ASSERT_EQ(failed.size(), 2u);
  const Report& sub = failed["https://ads.example/x.js"];
  EXPECT_EQ(sub.surface_id(), 0u);
  EXPECT_EQ(static_cast<std::int32_t>(sub.param(2)), -105);
  const Report& main = failed["file:///C:/ui/br\xC3\xB6ken.html"];
  EXPECT_EQ(main.surface_id(), 1u);
  EXPECT_EQ(static_cast<std::int32_t>(main.param(2)), -6);
  EXPECT_EQ(main.param(3), 0u);
  ASSERT_EQ(run.Finish(), 0);
  ExpectBridgeReferencesClean(run.journal());
}

TEST(PageBridgeE2E, ConsoleMessagesBecomePageMessagesAndConsoleLines) {
  const std::string call = "NIMOMP|callRemote|save\x01\x02s{a}";
  const std::string exact(600, 'e');
  const std::string over = std::string(600, 'o') + "!";
  ScenarioWriter scenario;
  scenario.Page("file:///C:/ui/*", {
      "load_start",
      "console level=0 message=" + ScenarioWriter::Quote(call) + " source=x.js line=4",
      "console level=3 message=hello source=file:///C:/ui/app.js line=12",
      "console level=3 message=hello line=12",
      "console level=2 message=" + ScenarioWriter::Quote(exact),
      "console level=2 message=" + ScenarioWriter::Quote(over) + " source=a.js line=0",
      "console level=99 message=bad",
      "console level=-1 message=low",
      "console level=2 message=" + ScenarioWriter::Quote("") + " source=" + ScenarioWriter::Quote(""),
      "console level=2 message=" + ScenarioWriter::Quote(" NIMOMP|trigger|x"),
      "console level=2 message=NIMOMP|",
      "load_end"});
  BridgeRun run;
  ASSERT_TRUE(run.Start(scenario, "file:///C:/ui/zero.html"));
  ASSERT_TRUE(run.Create(3, "file:///C:/ui/three.html"));
  ASSERT_EQ(run.Collect(kMsgLoadEvent, 2).size(), 2u);
  ASSERT_EQ(run.Finish(), 0);

  // Everything read so far, in arrival order, per surface.
  std::map<std::uint32_t, std::vector<std::pair<std::uint16_t, std::string>>> texts;
  for (const Report& r : run.client().skipped()) {
    if (r.type == kMsgConsoleLine || r.type == kMsgPageMessage) {
      EXPECT_EQ(r.param(1) | r.param(2) | r.param(3), 0u);
      texts[r.surface_id()].push_back({r.type, r.text()});
    }
  }
  const std::vector<std::pair<std::uint16_t, std::string>> expected = {
      {kMsgPageMessage, call},
      {kMsgConsoleLine, "WARN|hello  (file:///C:/ui/app.js:12)"},
      {kMsgConsoleLine, "WARN|hello"},
      {kMsgConsoleLine, "log|" + exact},
      {kMsgConsoleLine, "log|" + std::string(600, 'o') + "...  (a.js:0)"},
      {kMsgConsoleLine, "ERROR|bad"},
      {kMsgConsoleLine, "log|low"},
      {kMsgConsoleLine, "log|"},
      {kMsgConsoleLine, "log| NIMOMP|trigger|x"},
      {kMsgPageMessage, "NIMOMP|"},
  };
  EXPECT_EQ(texts[0], expected);
  EXPECT_EQ(texts[3], expected);
  // Console output goes to the client only, never to the log, and the engine keeps its own.
  EXPECT_EQ(run.log().find("hello"), std::string::npos);
  const Journal journal = run.journal();
  EXPECT_EQ(journal.Count("cb.on_console_message"), 2 * expected.size());
  for (const JournalEntry& e : journal.Events("cb.on_console_message")) EXPECT_EQ(e.Get("result"), "0") << e.line;
  ExpectBridgeReferencesClean(journal);
}

TEST(PageBridgeE2E, NavigationsLeaveLocalContentOnlyOnSurfaceTwo) {
  ScenarioWriter scenario;
  scenario.Page("file:///C:/ui/*", {"load_start",
                                    "browse url=https://example.com/",
                                    "browse url=about:srcdoc frame=sub",
                                    "browse url=ABOUT:BLANK redirect=1",
                                    "browse url=about:blank",
                                    "browse url=" + ScenarioWriter::Quote("data:text/html,<p>x"),
                                    "browse url=file:///C:/ui/other.html",
                                    "load_end"});
  BridgeRun run;
  ASSERT_TRUE(run.Start(scenario, "file:///C:/ui/zero.html"));
  for (std::uint32_t id : {1u, 2u, 3u}) ASSERT_TRUE(run.Create(id, "file:///C:/ui/s" + std::to_string(id) + ".html"));
  ASSERT_EQ(run.Collect(kMsgLoadEvent, 4).size(), 4u);
  ASSERT_EQ(run.Finish(), 0);

  const Journal journal = run.journal();
  const auto ids = BrowsersByUrl(journal);
  for (std::uint32_t id = 0; id < 4; ++id) {
    const std::string url = id == 0 ? "file:///C:/ui/zero.html" : "file:///C:/ui/s" + std::to_string(id) + ".html";
    ASSERT_EQ(ids.count(url), 1u);
    std::map<std::string, std::string> result;
    for (const JournalEntry& e : journal.Events("nav.before_browse", "browser", ids.at(url))) result[e.Get("url")] = e.Get("result");
    const std::string web = id == 2 ? "allow" : "cancel";
    EXPECT_EQ(result["https://example.com/"], web) << "surface " << id;
    EXPECT_EQ(result["about:srcdoc"], web);
    EXPECT_EQ(result["ABOUT:BLANK"], web);
    EXPECT_EQ(result["about:blank"], "allow");
    EXPECT_EQ(result["data:text/html,<p>x"], "allow");
    EXPECT_EQ(result["file:///C:/ui/other.html"], "allow");
    EXPECT_EQ(result[url], "allow");
  }
  EXPECT_EQ(CountOf(run.log(), "[nimo-webengine][browser] BLOCKED navigation\n"), 9);
  ExpectBridgeReferencesClean(journal);
}

TEST(PageBridgeE2E, AssetRequestsFollowTheLastLocalPageOfAnySurface) {
  ScenarioWriter scenario;
  scenario.Page("file:///C:/Games/ui/index.html", {
      "load_start",
      "resource url=file:///C:/assets/logo.png",
      "resource url=" + ScenarioWriter::Quote("file:///C:/static/js/app.js?v=3"),
      "resource url=file:///C:/Windows/win.ini",
      "resource url=file:///D:/assets/logo.png",
      "resource url=https://cdn.example/assets/a.png",
      "wait 200",
      "load_end"});
  scenario.Page("file:///D:/build/index.html", {"load_start", "resource url=file:///D:/build/app.js", "wait 200", "load_end"});
  scenario.Page("data:*", {"load_start", "resource url=file:///D:/img/a.png", "resource url=file:///C:/assets/logo.png",
                           "wait 200", "load_end"});
  BridgeRun run;
  ASSERT_TRUE(run.Start(scenario, "file:///C:/Games/ui/index.html"));
  ASSERT_EQ(run.Collect(kMsgLoadEvent, 1).size(), 1u);
  // Another surface's local page moves the redirection of every surface.
  ASSERT_TRUE(run.Create(3, "file:///D:/build/index.html"));
  ASSERT_EQ(run.Collect(kMsgLoadEvent, 1).size(), 1u);
  ASSERT_TRUE(run.Create(1, "data:text/html,later"));
  ASSERT_EQ(run.Collect(kMsgLoadEvent, 1).size(), 1u);
  ASSERT_EQ(run.Finish(), 0);

  std::vector<std::pair<std::string, std::string>> seen;
  const Journal journal = run.journal();
  for (const JournalEntry& e : journal.Events("resource.request")) seen.push_back({e.Get("url"), e.Get("final_url")});
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"file:///C:/assets/logo.png", "file:///C:/Games/ui/assets/logo.png"},
      {"file:///C:/static/js/app.js?v=3", "file:///C:/Games/ui/static/js/app.js?v=3"},
      {"file:///C:/Windows/win.ini", "file:///C:/Windows/win.ini"},
      {"file:///D:/assets/logo.png", "file:///D:/assets/logo.png"},
      {"https://cdn.example/assets/a.png", "https://cdn.example/assets/a.png"},
      {"file:///D:/build/app.js", "file:///D:/build/app.js"},
      {"file:///D:/img/a.png", "file:///D:/build/img/a.png"},
      {"file:///C:/assets/logo.png", "file:///C:/assets/logo.png"},
  };
  EXPECT_EQ(seen, expected);
  for (const JournalEntry& e : journal.Events("resource.request")) EXPECT_NE(e.Get("result"), "cancel") << e.line;
  ExpectBridgeReferencesClean(journal);
}

}  // namespace
}  // namespace test
}  // namespace nimo
