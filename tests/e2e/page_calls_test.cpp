// The page API of protocol 3 on real pages of headless Chromium (the stand-in's Chromium
// mode) through the host library: window.mp.call answered by the game, window.mp before the
// page's first script, and the origins a game lets talk to it; and version 2 as it was.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "client/nimo_host.h"
#include "tests/support/journal.h"
#include "tests/support/process_harness.h"
#include "tests/support/real_page_host.h"

namespace nimo {
namespace test {
namespace {

using nimo_test::Journal;
using Kind = host::Event::Kind;

constexpr DWORD kWaitMs = 20000;

// An inline script in <head> reports what it finds, and writes by hand the texts the
// bridge uses, as a page of another site could.
const char kPage[] =
    "<!doctype html><html><head><meta charset=\"utf-8\"><script>"
    "console.log('head sees ' + typeof window.mp + ' ' + (window.mp ? typeof window.mp.call : '-'));"
    "if (window.mp) mp.trigger('head', typeof mp.call);"
    "console.log('NIMOMP|trigger|by hand');"
    "console.log('NIMOCALL|x.1|{\"name\":\"by hand\",\"args\":[]}');"
    "</script></head><body>calls</body></html>";

class CallSession : public RealPageHost {
 public:
  CallSession() : RealPageHost("crash_script prefix=//crash-renderer\nquiet paint. host.send_external_begin_frame\n") {}

  bool Start(const std::string& url, std::uint32_t version, std::string* why, const std::string& origins = "",
             const std::string& ui_root = "") {
    host::StartOptions o;
    o.url = url;
    o.protocol_version = version;
    o.bridge_origins = origins;
    o.ui_root = ui_root;
    return RealPageHost::Start(o, why);
  }

  // The first event, in arrival order, that satisfies `match` and no earlier wait took:
  // from those already seen, else polled until it comes. Every event polled is kept.
  bool Wait(const std::function<bool(const host::Event&)>& match, host::Event* out = nullptr) {
    const auto take = [&](std::size_t i) {
      taken_[i] = true;
      if (out) *out = seen[i];
      return true;
    };
    for (std::size_t i = 0; i < seen.size(); ++i)
      if (!taken_[i] && match(seen[i])) return take(i);
    const ULONGLONG deadline = GetTickCount64() + kWaitMs;
    while (GetTickCount64() <= deadline) {
      host::Event e;
      while (host.Poll(&e)) {
        if (e.kind == Kind::kFrame) continue;
        seen.push_back(e);
        taken_.push_back(false);
        if (match(e)) return take(seen.size() - 1);
      }
      Sleep(10);
    }
    return false;
  }
  bool WaitPage(std::uint32_t surface, const std::string& text) {
    return Wait([&](const host::Event& e) {
      return e.kind == Kind::kPageMessage && e.report.surface_id == surface && e.report.text == text;
    });
  }
  bool WaitConsole(std::uint32_t surface, const std::string& part) {
    return Wait([&](const host::Event& e) {
      return e.kind == Kind::kConsole && e.report.surface_id == surface && e.report.text.find(part) != std::string::npos;
    });
  }
  bool WaitCall(const std::string& name, host::Event* out) {
    return Wait([&](const host::Event& e) { return e.kind == Kind::kCall && e.call.name == name; }, out);
  }
  std::size_t Seen(Kind kind, std::uint32_t surface) const {
    return static_cast<std::size_t>(std::count_if(seen.begin(), seen.end(), [&](const host::Event& e) {
      return e.kind == kind && e.report.surface_id == surface;
    }));
  }
  std::size_t SettleScripts() const {
    std::size_t n = 0;
    for (const auto& e : journal().Events("frame.execute_java_script"))
      if (e.Get("code").find("window.__mpSettle&&") == 0) ++n;
    return n;
  }

  std::vector<host::Event> seen;

 private:
  std::vector<bool> taken_;  // beside `seen`
};

TEST(PageCalls, CallsAreAnsweredEachByItsOwnAnswerAndDieWithTheirDocument) {
  HostPageFile page("page-calls-calls", kPage);
  ASSERT_TRUE(page.ok());
  CallSession s;
  std::string why;
  ASSERT_TRUE(s.Start(page.url(), 3, &why)) << why;
  // The first document's inline <head> script already has window.mp, call included.
  ASSERT_TRUE(s.WaitPage(0, "NIMOMP|trigger|head\x01\x02sfunction"));
  EXPECT_TRUE(s.WaitConsole(0, "log|head sees object function"));
  // A page that may talk to the game may also write a call line by hand: it is a call
  // (with no promise behind it), and it took the surface's first id.
  host::Event call;
  ASSERT_TRUE(s.WaitCall("by hand", &call));
  EXPECT_EQ(call.call.call_id, 1u);

  // The same page on surface 1 never has window.mp, neither from its first script nor after
  // load; on surface 2 it has it from its first line.
  ASSERT_TRUE(s.host.CreateSurface(1, 640, 360, page.url()));
  ASSERT_TRUE(s.host.CreateSurface(2, 640, 360, page.url()));
  EXPECT_TRUE(s.WaitConsole(2, "log|head sees object function"));
  EXPECT_TRUE(s.WaitConsole(1, "log|head sees undefined -"));
  ASSERT_TRUE(s.Wait([](const host::Event& e) {
    return e.kind == Kind::kLoad && e.report.surface_id == 1 && e.report.load_kind == 0;
  }));
  ASSERT_TRUE(s.host.ExecuteScript(1, "console.log('after load ' + typeof window.mp)"));
  EXPECT_TRUE(s.WaitConsole(1, "log|after load undefined"));

  // await mp.call('add', 2, 3) resolves with the game's 5.
  ASSERT_TRUE(s.host.ExecuteScript(0, "(async () => mp.trigger('added', await mp.call('add', 2, 3)))()"));
  ASSERT_TRUE(s.WaitCall("add", &call));
  EXPECT_EQ(call.call.surface_id, 0u);
  EXPECT_EQ(call.call.args_json, "[2,3]");
  EXPECT_EQ(call.call.origin, "file://");
  EXPECT_EQ(call.report.text, "{\"name\":\"add\",\"args\":[2,3],\"origin\":\"file://\"}");
  EXPECT_EQ(call.call.call_id, 2u);
  ASSERT_TRUE(s.host.Resolve(0, call.call.call_id, "5"));
  ASSERT_TRUE(s.WaitPage(0, "NIMOMP|trigger|added\x01\x02n5"));
  // A second answer for the finished call is ignored by the engine: no script runs for it.
  const std::size_t settled = s.SettleScripts();
  ASSERT_TRUE(s.host.Resolve(0, call.call.call_id, "6"));
  ASSERT_TRUE(s.host.Resolve(0, 999, "6"));

  // A rejection reaches catch as an Error with the game's reason; a value JSON cannot carry
  // fails at once with a TypeError and never reaches the game.
  ASSERT_TRUE(s.host.ExecuteScript(
      0, "mp.call('buy', {item: 'sword'}).catch(e => mp.trigger('refused', e instanceof Error, e.message));"
         "mp.call('bad', () => 1).catch(e => mp.trigger('typeerror', e instanceof TypeError));"));
  ASSERT_TRUE(s.WaitPage(0, "NIMOMP|trigger|typeerror\x01\x02" "b1"));
  ASSERT_TRUE(s.WaitCall("buy", &call));
  EXPECT_EQ(call.call.args_json, "[{\"item\":\"sword\"}]");
  EXPECT_EQ(call.call.call_id, 3u);
  ASSERT_TRUE(s.host.Reject(0, call.call.call_id, "out of stock"));
  ASSERT_TRUE(s.WaitPage(0, "NIMOMP|trigger|refused\x01\x02" "b1\x01\x02sout of stock"));
  EXPECT_EQ(s.SettleScripts(), settled + 1);

  // 100 calls at once, answered in reverse order: each promise gets its own answer.
  ASSERT_TRUE(s.host.ExecuteScript(
      0, "Promise.all(Array.from({length: 100}, (_, i) => mp.call('echo', i)))"
         ".then(r => mp.trigger('all', JSON.stringify(r)));"));
  std::vector<host::Event::PageCall> echoes;
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(s.WaitCall("echo", &call)) << i;
    echoes.push_back(call.call);
  }
  std::string expected = "[";
  for (int i = 0; i < 100; ++i) expected += (i ? "," : "") + std::string("\"e") + std::to_string(i) + "\"";
  expected += "]";
  for (auto it = echoes.rbegin(); it != echoes.rend(); ++it) {
    const std::string n = it->args_json.substr(1, it->args_json.size() - 2);
    ASSERT_TRUE(s.host.Resolve(0, it->call_id, "\"e" + n + "\""));
  }
  ASSERT_TRUE(s.WaitPage(0, "NIMOMP|trigger|all\x01\x02s" + expected));

  // Calls pending when their document goes: a reload brings a new document, and answers to
  // the old calls settle nothing there; the new document's calls go on with new ids.
  ASSERT_TRUE(s.host.ExecuteScript(0, "for (let i = 0; i < 3; i++) mp.call('never', i);"));
  std::vector<std::uint32_t> old_ids;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(s.WaitCall("never", &call));
    old_ids.push_back(call.call.call_id);
  }
  ASSERT_TRUE(s.host.Reload(0));
  ASSERT_TRUE(s.WaitPage(0, "NIMOMP|trigger|head\x01\x02sfunction"));
  const std::size_t before_old_answers = s.SettleScripts();
  for (const std::uint32_t id : old_ids) ASSERT_TRUE(s.host.Resolve(0, id, "\"stale\""));
  ASSERT_TRUE(s.host.ExecuteScript(0, "mp.call('add', 1, 1).then(v => mp.trigger('fresh', v));"));
  ASSERT_TRUE(s.WaitCall("add", &call));
  EXPECT_GT(call.call.call_id, old_ids.back());
  ASSERT_TRUE(s.host.Resolve(0, call.call.call_id, "2"));
  ASSERT_TRUE(s.WaitPage(0, "NIMOMP|trigger|fresh\x01\x02n2"));
  EXPECT_EQ(s.SettleScripts(), before_old_answers + 1) << "only the live call was settled";

  // A renderer that ends takes its document's calls with it, before the engine's reload.
  ASSERT_TRUE(s.host.ExecuteScript(0, "mp.call('lost')"));
  ASSERT_TRUE(s.WaitCall("lost", &call));
  const std::size_t before_crash = s.SettleScripts();
  ASSERT_TRUE(s.host.ExecuteScript(0, "//crash-renderer"));
  ASSERT_TRUE(s.Wait([](const host::Event& e) { return e.kind == Kind::kLoad && e.report.load_kind == 2; }));
  ASSERT_TRUE(s.host.Resolve(0, call.call.call_id, "1"));
  ASSERT_TRUE(s.WaitPage(0, "NIMOMP|trigger|head\x01\x02sfunction"));  // the page the engine reloaded
  EXPECT_EQ(s.SettleScripts(), before_crash);

  const host::ExitReport end = s.host.Shutdown(15000);
  EXPECT_EQ(end.exit_code, 0);
  EXPECT_EQ(s.journal().Count("chromium.renderer_script"), 2u) << "main frames of surfaces 0 and 2 only";
  std::string detail;
  EXPECT_TRUE(s.journal().ReferencesClean(0, &detail)) << detail;
}

TEST(PageCalls, OnlyTheListedOriginsGetTheBridge) {
  HostPageFile remote("page-calls-remote", kPage);
  ASSERT_TRUE(remote.ok());
  CallSession s;
  ASSERT_TRUE(s.sandbox().ok());
  const std::string ui = s.sandbox().Path("ui");
  ASSERT_TRUE(CreateDirectoryA(ui.c_str(), nullptr));
  ASSERT_TRUE(HostPageFile::Write(ui + "\\index.html", kPage));
  std::string why;
  ASSERT_TRUE(s.Start("https://nimo.localhost/", 3, &why, "https://nimo.localhost", ui)) << why;
  // The listed origin has window.mp from its first script, and its calls carry its origin.
  ASSERT_TRUE(s.WaitPage(0, "NIMOMP|trigger|head\x01\x02sfunction"));
  ASSERT_TRUE(s.host.ExecuteScript(0, "mp.call('where')"));
  host::Event call;
  ASSERT_TRUE(s.WaitCall("where", &call));
  EXPECT_EQ(call.call.origin, "https://nimo.localhost");

  // A page of another origin on surface 2: no window.mp, and what it writes by hand stays
  // a console line.
  ASSERT_TRUE(s.host.CreateSurface(2, 640, 360, remote.url()));
  ASSERT_TRUE(s.WaitConsole(2, "log|head sees undefined -"));
  ASSERT_TRUE(s.WaitConsole(2, "log|NIMOMP|trigger|by hand"));
  ASSERT_TRUE(s.WaitConsole(2, "log|NIMOCALL|x.1|"));
  ASSERT_TRUE(s.host.ExecuteScript(2, "console.log('after load ' + typeof window.mp)"));
  ASSERT_TRUE(s.WaitConsole(2, "log|after load undefined"));
  EXPECT_EQ(s.Seen(Kind::kPageMessage, 2), 0u);
  EXPECT_EQ(s.Seen(Kind::kCall, 2), 0u);
  // Surface 0 is still heard.
  ASSERT_TRUE(s.host.ExecuteScript(0, "mp.trigger('still')"));
  EXPECT_TRUE(s.WaitPage(0, "NIMOMP|trigger|still"));
}

TEST(PageCalls, Version2KeepsItsBridge) {
  HostPageFile page("page-calls-v2", kPage);
  ASSERT_TRUE(page.ok());
  CallSession s;
  std::string why;
  ASSERT_TRUE(s.Start(page.url(), 2, &why, "https://nimo.localhost")) << why;
  ASSERT_TRUE(s.Wait([](const host::Event& e) { return e.kind == Kind::kLoad && e.report.load_kind == 0; }));
  // The shim of version 2, without call, whatever the origin list says; what the page
  // writes by hand with the tag is a page message as before, a call line a console line.
  ASSERT_TRUE(s.host.ExecuteScript(0, "mp.trigger('v2', typeof mp.call, typeof window.__mpSettle)"));
  ASSERT_TRUE(s.WaitPage(0, "NIMOMP|trigger|v2\x01\x02sundefined\x01\x02sundefined"));
  EXPECT_TRUE(s.WaitPage(0, "NIMOMP|trigger|by hand"));
  EXPECT_TRUE(s.WaitConsole(0, "log|NIMOCALL|x.1|"));
  // Answers are not part of version 2: the library refuses them, the engine ignores the
  // command sent raw.
  EXPECT_FALSE(s.host.Resolve(0, 1, "1"));
  ASSERT_TRUE(s.host.SendRaw(protocol::ResolveCall(0, 1, 0, "1")));
  ASSERT_TRUE(s.host.ExecuteScript(0, "mp.trigger('after')"));
  ASSERT_TRUE(s.WaitPage(0, "NIMOMP|trigger|after"));
  EXPECT_EQ(s.SettleScripts(), 0u);
  for (const host::Event& e : s.seen) EXPECT_NE(e.kind, Kind::kCall);
  s.host.Shutdown(15000);
  EXPECT_EQ(s.journal().Count("chromium.renderer_script"), 0u);
  for (const auto& e : s.journal().Events("create_browser")) EXPECT_FALSE(e.Has("extra_info_keys")) << e.line;
}

}  // namespace
}  // namespace test
}  // namespace nimo
