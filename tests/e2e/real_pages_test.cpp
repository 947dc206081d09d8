// Real pages through the real executable: the stand-in engine in its Chromium mode turns
// every browser into a page of headless Chromium, so the page shim, the frame-rate probe,
// clicks, client scripts, the navigation filter, asset redirection, both paint paths and
// the recovery from a renderer crash are seen working on pages a real engine lays out and
// runs. Seen from the client's side of the pipe (reports, pixels read through the
// announced handles) and in the journal.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/portable/engine_abi.h"
#include "protocol/keyboard_messages.h"
#include "protocol/pacing_messages.h"
#include "protocol/pointer_messages.h"
#include "protocol/wire.h"
#include "tests/support/chromium_guard.h"
#include "tests/support/fake_client.h"
#include "tests/support/journal.h"
#include "tests/support/process_harness.h"
#include "tests/support/shared_texture_reader.h"

namespace {

using nimo::FrameReadyPayload;
using nimo::test::FakeClient;
using nimo::test::Report;
using nimo::test::Sandbox;
using nimo::test::StandInGpuLayout;
using nimo::test::SandboxProcess;
using nimo_test::Journal;
using nimo_test::JournalEntry;

constexpr DWORD kWaitMs = 15000;
constexpr std::uint32_t kGreen = 0xFF008000u;  // the box before the client's answer
constexpr std::uint32_t kRed = 0xFFC80000u;    // and after it
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

// The UI page. Its box and button sit at known places; the image is asked for by an
// absolute path, as a page built for a web server does.
const std::vector<std::string> kPageLines = {
    "<!doctype html>",
    "<html><head><meta charset=\"utf-8\"><style>",
    "body{margin:0;background:#fff;height:3000px}",
    "#box{position:absolute;left:20px;top:20px;width:100px;height:50px;background:rgb(0,128,0)}",
    "#go{position:absolute;left:200px;top:20px;width:120px;height:40px}",
    "#logo{position:absolute;left:20px;top:100px}",
    "#t{position:absolute;left:400px;top:20px;width:200px;height:30px}",
    "</style></head><body>",
    "<div id=\"box\"></div><button id=\"go\">Press</button><img id=\"logo\" src=\"/img/dot.bmp\">",
    "<input id=\"t\">",
    "<script>",
    "var clicks = 0;",
    "document.getElementById('go').onclick = function () { clicks++; mp.trigger('clicked', clicks); };",
    "(function ready() {",
    "  if (!window.mp || !window.mp.events) return setTimeout(ready, 10);",
    "  mp.events.add('answer', function (text) {",
    "    document.getElementById('box').style.background = 'rgb(200,0,0)';",
    "    console.log('answer ' + text);",
    "  });",
    "  mp.trigger('ready');",
    "})();",
    "</script></body></html>",
};

// The pointer page: a link with a title, a text field, an element with a custom cursor
// made by the page itself, a draggable item and a drop zone, a button, and a body wider
// than the view. Laid out in CSS pixels; the test works in the texture's pixels.
const std::vector<std::string> kPointerPageLines = {
    "<!doctype html>",
    "<html><head><meta charset=\"utf-8\"><style>",
    "body{margin:0;background:#fff;width:3000px;height:360px;overflow-y:hidden}",
    "div,a,input,button{position:absolute;box-sizing:border-box}",
    "#link{left:20px;top:20px;width:100px;height:30px;display:block}",
    "#field{left:20px;top:80px;width:150px;height:30px}",
    "#custom{left:200px;top:20px;width:100px;height:50px;background:#ccc}",
    "#item{left:20px;top:150px;width:100px;height:40px;background:#f80}",
    "#zone{left:300px;top:150px;width:150px;height:100px;background:#08f}",
    "#b{left:400px;top:20px;width:100px;height:40px}",
    "</style></head><body>",
    "<a id=\"link\" href=\"#there\" title=\"go there\">link</a><input id=\"field\">",
    "<div id=\"custom\"></div><div id=\"item\" draggable=\"true\">sword</div><div id=\"zone\"></div>",
    "<button id=\"b\">b</button>",
    "<script>",
    "var c = document.createElement('canvas'); c.width = 8; c.height = 8;",
    "var g = c.getContext('2d'); g.fillStyle = 'rgb(255,0,0)'; g.fillRect(0, 0, 8, 8);",
    "document.getElementById('custom').style.cursor = 'url(' + c.toDataURL() + ') 3 4, auto';",
    "var item = document.getElementById('item'), zone = document.getElementById('zone');",
    "item.addEventListener('dragstart', function (e) { e.dataTransfer.setData('text/plain', 'sword-7'); });",
    "item.addEventListener('dragend', function (e) { mp.trigger('dragend', e.dataTransfer.dropEffect); });",
    "zone.addEventListener('dragover', function (e) { e.preventDefault(); });",
    "zone.addEventListener('drop', function (e) { e.preventDefault();",
    "  mp.trigger('dropped', e.dataTransfer.getData('text/plain')); });",
    "document.getElementById('b').onclick = function () { mp.trigger('clicked'); };",
    "(function ready() {",
    "  if (!window.mp || !window.mp.events) return setTimeout(ready, 10);",
    "  mp.trigger('metrics', devicePixelRatio, innerWidth, innerHeight);",
    "})();",
    "</script></body></html>",
};

// A still menu whose box starts to move when a script gives it the class "moving".
const std::vector<std::string> kStillPageLines = {
    "<!doctype html>",
    "<html><head><meta charset=\"utf-8\"><style>",
    "body{margin:0;background:#fff;font:20px sans-serif}",
    "#box{position:absolute;left:20px;top:120px;width:60px;height:60px;background:rgb(0,0,200)}",
    ".moving{animation:slide 1s linear infinite alternate}",
    "@keyframes slide{to{transform:translateX(400px)}}",
    "</style></head><body><h1 style=\"margin:20px\">Menu</h1><div id=\"box\"></div>",
    "<script>",
    "(function ready() {",
    "  if (!window.mp || !window.mp.events) return setTimeout(ready, 10);",
    "  mp.trigger('ready');",
    "})();",
    "</script></body></html>",
};

// A pane without the page bridge (surface 1 runs none): a box that turns red when clicked
// and a field, each telling what happened on the console.
const std::vector<std::string> kPaneLines = {
    "<!doctype html>",
    "<html><head><meta charset=\"utf-8\"><style>",
    "body{margin:0;background:#fff}",
    "#box{position:absolute;left:20px;top:20px;width:100px;height:50px;background:rgb(0,0,200)}",
    "#t{position:absolute;left:20px;top:100px;width:200px;height:30px}",
    "</style></head><body><div id=\"box\"></div><input id=\"t\">",
    "<script>",
    "document.getElementById('box').onclick = function () {",
    "  this.style.background = 'rgb(200,0,0)'; console.log('pane clicked'); };",
    "document.getElementById('t').oninput = function () { console.log('pane typed ' + this.value); };",
    "</script></body></html>",
};

int LineOf(const std::string& part) {
  for (std::size_t i = 0; i < kPageLines.size(); ++i) {
    if (kPageLines[i].find(part) != std::string::npos) return static_cast<int>(i) + 1;
  }
  return 0;
}

// An 8x8 blue 24-bit BMP.
std::string DotBmp() {
  std::string b(54 + 8 * 8 * 3, '\0');
  auto put32 = [&b](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<std::uint32_t>(b.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, 8);
  put32(22, 8);
  b[26] = 1;
  b[28] = 24;
  put32(34, 8 * 8 * 3);
  for (std::size_t p = 54; p < b.size(); p += 3) b[p] = static_cast<char>(0xFF);  // B, G, R
  return b;
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

// The page's folder on a host path (Chromium runs on the host; the product sees it on
// Wine's drive Z:), removed at the end.
class PageFolder {
 public:
  PageFolder() {
    const std::string name = "nimo-real-pages-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount64());
    unix_ = "/tmp/" + name;
    windows_ = "Z:\\tmp\\" + name;
    ok_ = CreateDirectoryA(windows_.c_str(), nullptr) && CreateDirectoryA((windows_ + "\\ui").c_str(), nullptr) &&
          CreateDirectoryA((windows_ + "\\ui\\img").c_str(), nullptr);
    std::string html;
    for (const std::string& line : kPageLines) html += line + "\n";
    std::string pointer_html;
    for (const std::string& line : kPointerPageLines) pointer_html += line + "\n";
    std::string still_html;
    for (const std::string& line : kStillPageLines) still_html += line + "\n";
    std::string pane_html;
    for (const std::string& line : kPaneLines) pane_html += line + "\n";
    ok_ = ok_ && Write("ui\\index.html", html) && Write("ui\\img\\dot.bmp", DotBmp()) &&
          Write("ui\\pointer.html", pointer_html) && Write("ui\\still.html", still_html) &&
          Write("ui\\pane.html", pane_html);
  }
  ~PageFolder() { RemoveTree(windows_); }
  bool ok() const { return ok_; }
  // The page as the product is given it.
  std::string url() const { return "file:///Z:" + unix_ + "/ui/index.html"; }
  std::string pointer_url() const { return "file:///Z:" + unix_ + "/ui/pointer.html"; }
  std::string still_url() const { return "file:///Z:" + unix_ + "/ui/still.html"; }
  std::string pane_url() const { return "file:///Z:" + unix_ + "/ui/pane.html"; }
  // The page folder as the UI origin's root.
  std::string ui_root() const { return windows_ + "\\ui"; }
  std::string unix_path() const { return unix_; }

 private:
  bool Write(const std::string& relative, const std::string& bytes) {
    FILE* f = std::fopen((windows_ + "\\" + relative).c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
  }
  std::string unix_, windows_;
  bool ok_ = false;
};

// One run of the executable with surface 0 on the UI page and every browser a real page.
class RealRun {
 public:
  RealRun() : sandbox_(StandInGpuLayout()) {}
  ~RealRun() {
    if (process_.running()) process_.Kill();
    nimo_test::EndChromiumOf(journal());
  }

  // `switches` are appended to the command line as given; `protocol` above 2 asks the engine
  // for that version, which its Hello must then carry.
  bool Start(const std::string& url, bool cpu_frames, const std::string& scenario_lines = "",
             const std::string& switches = "", std::uint32_t protocol = 2) {
    if (!sandbox_.ok() || !sandbox_.WriteFile("scenario.txt", "chromium\n" + scenario_lines)) return false;
    if (cpu_frames && !sandbox_.WriteFile("ZUNT_WEB_CPUFRAMES", "")) return false;
    const std::vector<std::string> env = {"NIMO_STANDIN_JOURNAL=" + sandbox_.Path("journal.txt"),
                                          "NIMO_STANDIN_SCENARIO=" + sandbox_.Path("scenario.txt")};
    const std::string extra = switches + (protocol > 2 ? " --nimomp-protocol=" + std::to_string(protocol) : "");
    if (!sandbox_.Start("--nimomp-browser " + client_.PipeSwitches() + " --nimomp-url=" + url + extra, env,
                        &process_)) {
      return false;
    }
    for (int i = 0; i < 75 && !client_.WaitConnected(200); ++i) {
      if (!process_.running()) return false;
    }
    return client_.Handshake(kWaitMs, nullptr, protocol);
  }

  // Reads reports until one not matched before satisfies `match`, whenever it came (a
  // page may speak before its load is reported). FrameReady reports are remembered on the
  // way, the newest per surface.
  template <class Match>
  bool WaitFor(Match match, Report* out = nullptr, DWORD timeout_ms = kWaitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
      for (std::size_t i = 0; i < seen_.size(); ++i) {
        if (used_[i] || !match(seen_[i])) continue;
        used_[i] = true;
        if (out) *out = seen_[i];
        return true;
      }
      if (GetTickCount() - start > timeout_ms) return false;
      Report r;
      if (!client_.Read(&r, 50)) continue;
      if (r.type == nimo::kMsgFrameReady && r.payload.size() == nimo::kFrameReadyPayloadSize) {
        const FrameReadyPayload f = nimo::DecodeFrameReady(r.payload.data());
        frames_[f.surface_id] = f;
      }
      seen_.push_back(r);
      used_.push_back(false);
    }
  }

  bool WaitPage(const std::string& text, Report* out = nullptr, DWORD timeout_ms = kWaitMs) {
    return WaitFor([&](const Report& r) { return r.type == nimo::kMsgPageMessage && r.text() == text; }, out,
                   timeout_ms);
  }
  bool WaitLoad(std::uint32_t surface, std::uint32_t kind, Report* out = nullptr, DWORD timeout_ms = kWaitMs) {
    return WaitFor(
        [&](const Report& r) {
          return r.type == nimo::kMsgLoadEvent && r.surface_id() == surface && r.param(1) == kind;
        },
        out, timeout_ms);
  }

  // Polls the newest frame of a surface until the pixel at (x, y) is `color`.
  bool WaitPixel(std::uint32_t surface, std::uint32_t x, std::uint32_t y, std::uint32_t color,
                 std::uint32_t* last = nullptr) {
    const DWORD start = GetTickCount();
    std::uint32_t seen = 0;
    while (GetTickCount() - start < kWaitMs) {
      WaitFor([](const Report&) { return false; }, nullptr, 100);
      auto it = frames_.find(surface);
      if (it == frames_.end()) continue;
      const nimo_test::SharedFrame f = nimo_test::ReadSharedTexture(it->second.client_handle);
      if (!f.opened || x >= f.width || y >= f.height) continue;
      seen = f.at(x, y) | 0xFF000000u;
      if (seen == color) return true;
    }
    if (last) *last = seen;
    return false;
  }

  bool Script(std::uint32_t surface, const std::string& code) {
    return client_.SendSurfaceCommand(nimo::kMsgExecuteScript, surface, 0, 0, 0, code);
  }
  // A key typed as the client sends it: down, the character, up.
  bool Type(std::uint32_t surface, std::uint32_t vk, std::uint32_t scan, char16_t character) {
    const std::uint64_t down = (static_cast<std::uint64_t>(scan) << 16) | 1, up = down | 0xC0000000u;
    return client_.SendInput(surface, WM_KEYDOWN, vk, down, 0) && client_.SendInput(surface, WM_CHAR, character, down, 0) &&
           client_.SendInput(surface, WM_KEYUP, vk, up, 0);
  }
  bool Click(std::uint32_t surface, int x, int y) {
    const std::uint64_t at = static_cast<std::uint64_t>((y << 16) | (x & 0xFFFF));
    return client_.SendInput(surface, WM_LBUTTONDOWN, MK_LBUTTON, at, 0) &&
           client_.SendInput(surface, WM_LBUTTONUP, 0, at, 0);
  }

  // Shuts down; the exit code, or -1 when the engine did not end.
  long Stop() {
    client_.SendShutdown();
    client_.WaitClosed(kWaitMs);
    const nimo::test::RunResult r = process_.Wait(kWaitMs);
    return r.timed_out ? -1 : static_cast<long>(r.exit_code);
  }

  // What every run must end with: no reference fault, and Chromium ended by the stand-in.
  void ExpectCleanEnd() {
    const Journal j = journal();
    const JournalEntry* refs = j.First("refs");
    ASSERT_NE(nullptr, refs) << "no reference summary";
    EXPECT_EQ(0, refs->Int("leaks", -1)) << j.DescribeLeaks();
    EXPECT_EQ(0, refs->Int("overreleases", -1));
    EXPECT_EQ(0u, j.Count("refs.use_after_release"));
    const JournalEntry* stopped = j.First("chromium.stopped");
    ASSERT_NE(nullptr, stopped);
    EXPECT_EQ(1, stopped->Int("ended"));
    EXPECT_EQ(0, nimo_test::EndChromiumOf(j)) << "Chromium outlived the engine";
  }

  // Runs `script` on `surface` every 100 ms until the page's reply of the same name is
  // `expected` (a page message "NIMOMP|trigger|name..."), or the test's usual wait has
  // passed; the reply last read, empty when none came. For what the page shows only in
  // its own time (input through Chromium's queue, a scroll that lands with a later frame).
  std::string AskUntil(std::uint32_t surface, const std::string& script, const std::string& expected) {
    const std::string name = expected.substr(0, expected.find('\x01'));
    std::string reply;
    for (const DWORD start = GetTickCount(); reply != expected && GetTickCount() - start < kWaitMs;) {
      if (!reply.empty()) Sleep(100);
      Report r;
      if (!Script(surface, script) ||
          !WaitFor([&name](const Report& p) {
            return p.type == nimo::kMsgPageMessage && p.text().rfind(name, 0) == 0;
          }, &r)) {
        return std::string();
      }
      reply = r.text();
    }
    return reply;
  }

  // Reads the journal every 100 ms until `event` is in it at least `n` times or the test's
  // usual wait has passed; the count last read. For what the engine does in its own time
  // after a page's answer (a further round trip to the page, a task on its thread).
  std::size_t WaitJournal(const std::string& event, std::size_t n) const {
    std::size_t count = journal().Count(event);
    for (const DWORD start = GetTickCount(); count < n && GetTickCount() - start < kWaitMs;) {
      Sleep(100);
      count = journal().Count(event);
    }
    return count;
  }

  // Reports read so far of a type at or above `type`.
  std::size_t SeenFrom(std::uint16_t type) const {
    std::size_t n = 0;
    for (const Report& r : seen_) n += r.type >= type && r.type < nimo::kMsgCreateSurface ? 1 : 0;
    return n;
  }

  FakeClient& client() { return client_; }
  Journal journal() const { return Journal::Load(sandbox_.Path("journal.txt")); }
  const std::map<std::uint32_t, FrameReadyPayload>& frames() const { return frames_; }

 private:
  Sandbox sandbox_;
  FakeClient client_;
  SandboxProcess process_;
  std::vector<Report> seen_;
  std::vector<bool> used_;
  std::map<std::uint32_t, FrameReadyPayload> frames_;
};

// The page shim and the probe run in a real page; its calls arrive byte for byte; a client
// script reaches the page's handler, whose console line names the page's source and line.
TEST(RealPages, PageBridgeOnARealPage) {
  PageFolder pages;
  ASSERT_TRUE(pages.ok());
  RealRun run;
  ASSERT_TRUE(run.Start(pages.url(), false));
  ASSERT_TRUE(run.WaitLoad(0, 0));
  ASSERT_TRUE(run.WaitPage("NIMOMP|trigger|ready"));
  ASSERT_TRUE(run.WaitFor([](const Report& r) { return r.type == nimo::kMsgFrameReady; }));

  ASSERT_TRUE(run.Script(0,
                         "mp.invoke('buy', 'sword|\\u00e9\\u0001x', 3, true, null, [1, {a: 'b'}], NaN);"
                         "mp.trigger('ping'); mp.events.callRemote('save', 0.5, -0, 1e21)"));
  EXPECT_TRUE(run.WaitPage("NIMOMP|invoke|buy\x01\x02ssword|\xC3\xA9\x01x\x01\x02n3\x01\x02"
                           "b1\x01\x02z\x01\x02o[1,{\"a\":\"b\"}]\x01\x02z"));
  EXPECT_TRUE(run.WaitPage("NIMOMP|trigger|ping"));
  EXPECT_TRUE(run.WaitPage("NIMOMP|callRemote|save\x01\x02n0.5\x01\x02n0\x01\x02n1e+21"));

  // The probe has made its marker on an animation frame and keeps it moving. The marker
  // is looked at only inside animation frames: how many frames the page had before this
  // script runs depends on the machine's load (under load the first frame with a body may
  // still be to come), and inside a frame the probe's callback has already run, as it was
  // asked for before ours. Three frames in a row: the marker is there and moved twice.
  ASSERT_TRUE(run.Script(0,
                         "requestAnimationFrame(function () {"
                         "  var m = document.querySelectorAll('div[style*=\"2147483647\"]'), seen = [];"
                         "  (function look() {"
                         "    seen.push(m.length ? m[0].style.transform : '');"
                         "    if (seen.length < 3) return requestAnimationFrame(look);"
                         "    mp.trigger('probe', typeof window.__mpEmit, window.__mpRaf, m.length,"
                         "               seen[0] !== seen[1] && seen[1] !== seen[2]);"
                         "  })(); });"));
  // The reply, or the script's own uncaught error, shown as it came.
  Report probe;
  ASSERT_TRUE(run.WaitFor(
      [](const Report& r) {
        return (r.type == nimo::kMsgPageMessage && r.text().rfind("NIMOMP|trigger|probe", 0) == 0) ||
               (r.type == nimo::kMsgConsoleLine && r.text().rfind("ERROR|Uncaught", 0) == 0);
      },
      &probe))
      << "no reply from the probe check";
  EXPECT_EQ("NIMOMP|trigger|probe\x01\x02sfunction\x01\x02n1\x01\x02n1\x01\x02" "b1", probe.text());

  // Keys typed into a real input field, and the wheel turned towards the user scrolls down.
  // The pointer over the field changes the page's cursor, which a version-2 client never
  // hears of; nor of a horizontal wheel, which does nothing.
  ASSERT_TRUE(run.client().SendInput(0, WM_MOUSEMOVE, 0, (35u << 16) | 500u, 0));
  ASSERT_TRUE(run.client().SendInput(0, 0x20E /* WM_MOUSEHWHEEL */, 120u << 16, (300u << 16) | 300u, 0));
  ASSERT_TRUE(run.Click(0, 500, 35));
  ASSERT_TRUE(run.Type(0, 'H', 0x23, u'h'));
  ASSERT_TRUE(run.Type(0, 'I', 0x17, u'i'));
  ASSERT_TRUE(run.client().SendInput(0, WM_MOUSEWHEEL, static_cast<std::uint64_t>(static_cast<std::uint16_t>(-120)) << 16,
                                     (300u << 16) | 300u, 0));
  // The page is asked until it shows them: the input events travel Chromium's input queue
  // beside the script, and the scroll reaches the page with a later frame, so when they
  // show depends on the machine's load. Events lost on the way never show.
  const std::string typed = "NIMOMP|trigger|typed\x01\x02shi\x01\x02" "b1\x01\x02st";
  EXPECT_EQ(typed, run.AskUntil(0, "mp.trigger('typed', document.getElementById('t').value, window.scrollY > 0,"
                                   "                     document.activeElement.id)", typed));

  ASSERT_TRUE(run.Script(0, "window.__mpEmit('answer', ['from the client'])"));
  Report line;
  EXPECT_FALSE(run.WaitFor([](const Report& r) { return r.type > nimo::kMsgPageMessage; }, nullptr, 200))
      << "a version-2 client got a report it does not know";
  EXPECT_LE(1u, run.WaitJournal("cb.on_cursor_change", 1)) << "the page's cursor never changed";
  ASSERT_TRUE(run.WaitFor(
      [](const Report& r) { return r.type == nimo::kMsgConsoleLine && r.text().find("answer") != std::string::npos; },
      &line));
  EXPECT_EQ("log|answer from the client  (" + pages.url() + ":" + std::to_string(LineOf("console.log('answer")) +
                ")",
            line.text());

  // A version-2 session: the engine asked for a keyboard on the click into the field, yet
  // no report of a later version reached the client, and the page got no focus watcher.
  ASSERT_TRUE(run.Script(0, "mp.trigger('watch', typeof window.__mpFocusWatch)"));
  EXPECT_TRUE(run.WaitPage("NIMOMP|trigger|watch\x01\x02sundefined"));
  // The engine asks only after Chromium has answered the press and the page has told what
  // has the focus; the session must not end before that, however slow the machine is.
  run.WaitJournal("cb.on_virtual_keyboard_requested", 1);
  EXPECT_EQ(0, run.Stop());
  EXPECT_GE(run.journal().Count("cb.on_virtual_keyboard_requested"), 1u);
  EXPECT_EQ(0u, run.SeenFrom(nimo::kMsgTextInputState));
  run.ExpectCleanEnd();
}

// Surface 0 may not leave its local page; surface 2 may, and offline a web URL ends in a
// load error. The page's absolute image path is served from the page's folder.
TEST(RealPages, NavigationFilterAndAssetsOnRealPages) {
  PageFolder pages;
  ASSERT_TRUE(pages.ok());
  RealRun run;
  ASSERT_TRUE(run.Start(pages.url(), false));
  ASSERT_TRUE(run.WaitLoad(0, 0));
  ASSERT_TRUE(run.WaitPage("NIMOMP|trigger|ready"));

  ASSERT_TRUE(run.Script(0, "mp.trigger('logo', document.getElementById('logo').naturalWidth)"));
  EXPECT_TRUE(run.WaitPage("NIMOMP|trigger|logo\x01\x02n8"));
  bool redirected = false;
  for (const JournalEntry& e : run.journal().Events("resource.request")) {
    if (e.Get("url") == "file:///Z:/img/dot.bmp") {
      EXPECT_EQ("file:///Z:" + pages.unix_path() + "/ui/img/dot.bmp", e.Get("final_url"));
      redirected = true;
    }
  }
  EXPECT_TRUE(redirected) << "the image request never reached the product";

  // A page script leaving for the web: cancelled, and the page stays.
  ASSERT_TRUE(run.Script(0, "location.href = 'https://nimo.invalid/away'"));
  const DWORD start = GetTickCount();
  std::vector<JournalEntry> cancelled;
  while (cancelled.empty() && GetTickCount() - start < kWaitMs) {
    Sleep(50);
    cancelled = run.journal().Events("nav.before_browse", "url", "https://nimo.invalid/away");
  }
  ASSERT_EQ(1u, cancelled.size());
  EXPECT_EQ("cancel", cancelled[0].Get("result"));
  ASSERT_TRUE(run.Script(0, "mp.trigger('still', location.pathname, document.getElementById('go').textContent)"));
  EXPECT_TRUE(run.WaitPage("NIMOMP|trigger|still\x01\x02s" + pages.unix_path() + "/ui/index.html\x01\x02sPress"));

  // Surface 2 goes anywhere; with no network the load fails with the engine's error.
  ASSERT_TRUE(run.client().SendSurfaceCommand(nimo::kMsgCreateSurface, 2, 640, 360, 0, "https://nimo.invalid/"));
  Report failed;
  ASSERT_TRUE(run.WaitLoad(2, 2, &failed));
  EXPECT_EQ(static_cast<std::uint32_t>(-105), failed.param(2));  // ERR_NAME_NOT_RESOLVED
  EXPECT_EQ("https://nimo.invalid/", failed.text());
  const std::vector<JournalEntry> allowed = run.journal().Events("nav.before_browse", "url", "https://nimo.invalid/");
  ASSERT_EQ(1u, allowed.size());
  EXPECT_EQ("allow", allowed[0].Get("result"));

  EXPECT_EQ(0, run.Stop());
  run.ExpectCleanEnd();
}

// Both paint paths carry the real page's pixels into the client's texture: the box where
// the page put it, a click on the real button, the client's answer repainting only what
// changed, and a resize giving frames of the new size.
class RealPageFrames : public testing::TestWithParam<bool> {};

TEST_P(RealPageFrames, ShowThePageAtItsPlaces) {
  const bool cpu = GetParam();
  PageFolder pages;
  ASSERT_TRUE(pages.ok());
  RealRun run;
  ASSERT_TRUE(run.Start(pages.url(), cpu));
  ASSERT_TRUE(run.WaitLoad(0, 0));
  ASSERT_TRUE(run.WaitPage("NIMOMP|trigger|ready"));
  std::uint32_t seen = 0;
  EXPECT_TRUE(run.WaitPixel(0, 70, 45, kGreen, &seen)) << std::hex << seen;
  EXPECT_TRUE(run.WaitPixel(0, 400, 300, kWhite, &seen)) << std::hex << seen;
  EXPECT_TRUE(run.WaitPixel(0, 24, 104, 0xFF0000FFu, &seen)) << std::hex << seen;  // the image

  ASSERT_TRUE(run.Click(0, 260, 40));
  EXPECT_TRUE(run.WaitPage("NIMOMP|trigger|clicked\x01\x02n1"));

  ASSERT_TRUE(run.Script(0, "window.__mpEmit('answer', ['red'])"));
  EXPECT_TRUE(run.WaitPixel(0, 70, 45, kRed, &seen)) << std::hex << seen;
  EXPECT_TRUE(run.WaitPixel(0, 400, 300, kWhite, &seen)) << std::hex << seen;
  // Frames after the first announced only what changed: the journal's dirty rectangles.
  bool partial = false;
  for (const JournalEntry& e : run.journal().Events("paint.deliver", "browser", "1")) {
    partial = partial || (e.Get("dirty") != "0,0," + e.Get("width") + "," + e.Get("height"));
  }
  EXPECT_TRUE(partial) << "every frame was painted whole";

  ASSERT_TRUE(run.client().SendSurfaceCommand(nimo::kMsgResizeSurface, 0, 640, 400, 0));
  Report resized;
  ASSERT_TRUE(run.WaitFor(
      [](const Report& r) {
        if (r.type != nimo::kMsgFrameReady || r.payload.size() != nimo::kFrameReadyPayloadSize) return false;
        const FrameReadyPayload f = nimo::DecodeFrameReady(r.payload.data());
        return f.surface_id == 0 && f.width == 640 && f.height == 400;
      },
      &resized));
  EXPECT_TRUE(run.WaitPixel(0, 70, 45, kRed, &seen)) << std::hex << seen;
  EXPECT_TRUE(run.WaitPixel(0, 600, 380, kWhite, &seen)) << std::hex << seen;

  EXPECT_EQ(0, run.Stop());
  run.ExpectCleanEnd();
}

INSTANTIATE_TEST_SUITE_P(Paths, RealPageFrames, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& p) { return p.param ? "Cpu" : "Gpu"; });

// Frames at the client's pace and none while nothing changes, on both paint paths: a
// protocol-3 client turns the probe off in the page that runs it and takes the clock; with
// begin frames at 30 a second a still page sends no frame for two seconds, then a CSS
// animation started by a script sends frames, never more than the client asked for.
class RealPagePacing : public testing::TestWithParam<bool> {};

TEST_P(RealPagePacing, AStillPageSendsNothingAndAnAnimationFollowsTheClientsBeginFrames) {
  const bool cpu = GetParam();
  PageFolder pages;
  ASSERT_TRUE(pages.ok());
  RealRun run;
  ASSERT_TRUE(run.Start(pages.still_url(), cpu, "", "", 3));
  ASSERT_TRUE(run.WaitPage("NIMOMP|trigger|ready"));
  auto frame_of_surface0 = [](const Report& r) {
    return r.type == nimo::kMsgFrameReady && r.payload.size() == nimo::kFrameReadyPayloadSize &&
           nimo::DecodeFrameReady(r.payload.data()).surface_id == 0;
  };
  // A small view: every frame of a real page is a screenshot of Chromium's.
  ASSERT_TRUE(run.client().SendSurfaceCommand(nimo::kMsgResizeSurface, 0, 480, 270, 0));
  ASSERT_TRUE(run.WaitFor([](const Report& r) {
    return r.type == nimo::kMsgFrameReady && r.payload.size() == nimo::kFrameReadyPayloadSize &&
           nimo::DecodeFrameReady(r.payload.data()).width == 480;
  }));
  ASSERT_TRUE(run.client().SendRaw(nimo::protocol::SetFramePacing(0, nimo::kPacingClientClock, 0,
                                                                  nimo::kPacingFlagNoProbe)));
  const std::string markers =
      "mp.trigger('markers', Array.prototype.filter.call(document.getElementsByTagName('div'),"
      " function (d) { return d.style.zIndex === '2147483647'; }).length)";
  const std::string none = "NIMOMP|trigger|markers\x01\x02n0";
  EXPECT_EQ(none, run.AskUntil(0, markers, none)) << "the probe's pixel stayed";

  // Begin frames at 30 a second until two seconds passed without a frame (the probe's last
  // change may still come); the page must get there within ten.
  const DWORD start = GetTickCount();
  DWORD quiet_since = start, next = start;
  std::size_t calls = 0;
  while (GetTickCount() - quiet_since < 2000 && GetTickCount() - start < 10000) {
    if (GetTickCount() >= next) {
      next += 33;
      ASSERT_TRUE(run.client().SendRaw(nimo::protocol::BeginFrame(0)));
      ++calls;
    }
    if (run.WaitFor(frame_of_surface0, nullptr, 5)) quiet_since = GetTickCount();
  }
  EXPECT_GE(GetTickCount() - quiet_since, 2000u) << "frames kept coming from a still page after " << calls
                                                  << " begin frames";

  ASSERT_TRUE(run.Script(0, "document.getElementById('box').className = 'moving'"));
  std::size_t frames = 0, asked = 0;
  for (const DWORD moving = GetTickCount(); GetTickCount() - moving < 3000;) {
    if (GetTickCount() - moving >= asked * 33) {
      ASSERT_TRUE(run.client().SendRaw(nimo::protocol::BeginFrame(0)));
      ++asked;
    }
    if (run.WaitFor(frame_of_surface0, nullptr, 5)) ++frames;
  }
  // Frames still on their way after the last call (a screenshot of a busy Chromium can
  // take half a second).
  while (run.WaitFor(frame_of_surface0, nullptr, 1500)) ++frames;
  std::printf("client clock, %s path: %zu begin frames, %zu frames\n", cpu ? "CPU" : "GPU", asked, frames);
  // How many of the calls bring a frame depends on how fast Chromium answers; never more
  // frames than calls, and the moving box brings some.
  EXPECT_GE(frames, 2u) << "the animation did not follow the begin frames";
  EXPECT_LE(frames, asked) << "more frames than the client asked for";
  // The box still moves, but without calls there is no frame.
  EXPECT_FALSE(run.WaitFor(frame_of_surface0, nullptr, 1500)) << "a frame the client did not ask for";

  EXPECT_EQ(0, run.Stop());
  run.ExpectCleanEnd();
}

INSTANTIATE_TEST_SUITE_P(Paths, RealPagePacing, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& p) { return p.param ? "Cpu" : "Gpu"; });

// A real renderer crash (Page.crash) on the UI surface: the client is told of a failed load
// of the page, the engine reloads it, the client gets the page's load report again and the
// page draws again from its new document (the box back to the green it starts with).
TEST(RealPages, ACrashedRendererComesBackWithItsPage) {
  PageFolder pages;
  ASSERT_TRUE(pages.ok());
  RealRun run;
  ASSERT_TRUE(run.Start(pages.url(), false, "crash_script prefix=CRASH\n"));
  ASSERT_TRUE(run.WaitLoad(0, 0));
  ASSERT_TRUE(run.WaitPage("NIMOMP|trigger|ready"));
  ASSERT_TRUE(run.Script(0, "window.__mpEmit('answer', ['red'])"));
  std::uint32_t seen = 0;
  ASSERT_TRUE(run.WaitPixel(0, 70, 45, kRed, &seen)) << std::hex << seen;

  ASSERT_TRUE(run.Script(0, "CRASH"));
  Report failed;
  ASSERT_TRUE(run.WaitLoad(0, 2, &failed));
  EXPECT_EQ(static_cast<std::uint32_t>(-2), failed.param(2));  // ERR_FAILED
  EXPECT_EQ(pages.url(), failed.text());
  ASSERT_TRUE(run.WaitLoad(0, 0));
  EXPECT_TRUE(run.WaitPage("NIMOMP|trigger|ready")) << "the page shim did not run in the reloaded page";
  EXPECT_TRUE(run.WaitPixel(0, 70, 45, kGreen, &seen)) << std::hex << seen;

  EXPECT_EQ(0, run.Stop());
  const Journal j = run.journal();
  EXPECT_EQ(1u, j.Count("chromium.crash_page"));
  const std::vector<JournalEntry> ended = j.Events("cb.on_render_process_terminated");
  ASSERT_EQ(1u, ended.size());
  EXPECT_EQ(2, ended[0].Int("status", -1));
  EXPECT_EQ(1u, j.Count("browser.reload"));
  run.ExpectCleanEnd();
}

// Four real pages in one Chromium at once: the UI origin on surface 0, panes on surfaces 1
// and 3 (shared textures, begin frames from the engine) and on surface 2 (CPU buffers, the
// stand-in's own ticks). Clicks, typing and a resize go to surfaces 0 and 3 interleaved;
// every page answers and every surface shows its page. Then the whole Chromium dies: each
// of the four surfaces reports a failed load of its page (-2), the engine reloads them all
// and the pages come back, painting, in the Chromium started in its place.
TEST(RealPages, FourPagesAtOnceAndAChromiumThatDies) {
  PageFolder pages;
  ASSERT_TRUE(pages.ok());
  RealRun run;
  const std::string ui = "https://nimo.localhost/index.html";
  ASSERT_TRUE(run.Start(ui, false, "", " --nimomp-ui-root=" + pages.ui_root()));
  const std::map<std::uint32_t, std::string> urls = {
      {0, ui}, {1, pages.pane_url() + "?s=1"}, {2, pages.pane_url() + "?s=2"}, {3, pages.pane_url() + "?s=3"}};
  for (std::uint32_t s = 1; s <= 3; ++s) {
    ASSERT_TRUE(run.client().SendSurfaceCommand(nimo::kMsgCreateSurface, s, 640, 360, 0, urls.at(s)));
  }
  // Chromium starts, then the four pages open one after another on the engine's UI thread,
  // each over several DevTools round trips: on a loaded machine that takes a while.
  constexpr DWORD kPagesWaitMs = 40000;
  for (std::uint32_t s = 0; s <= 3; ++s) ASSERT_TRUE(run.WaitLoad(s, 0, nullptr, kPagesWaitMs)) << "surface " << s;
  ASSERT_TRUE(run.WaitPage("NIMOMP|trigger|ready"));
  auto console = [&run](std::uint32_t surface, const std::string& prefix) {
    return run.WaitFor([&](const Report& r) {
      return r.type == nimo::kMsgConsoleLine && r.surface_id() == surface && r.text().rfind(prefix, 0) == 0;
    });
  };
  auto frame_of = [&run](std::uint32_t surface, std::uint32_t width, std::uint32_t height) {
    return run.WaitFor([=](const Report& r) {
      if (r.type != nimo::kMsgFrameReady || r.payload.size() != nimo::kFrameReadyPayloadSize) return false;
      const FrameReadyPayload f = nimo::DecodeFrameReady(r.payload.data());
      return f.surface_id == surface && f.width == width && f.height == height;
    });
  };

  // Surfaces 0 and 3 at once: a click on each, into each one's field, two keys each, a
  // resize each.
  ASSERT_TRUE(run.Click(0, 260, 40));
  ASSERT_TRUE(run.Click(3, 70, 45));
  ASSERT_TRUE(run.Click(0, 500, 35));
  ASSERT_TRUE(run.Click(3, 120, 115));
  ASSERT_TRUE(run.Type(0, 'H', 0x23, u'h'));
  ASSERT_TRUE(run.Type(3, 'H', 0x23, u'h'));
  ASSERT_TRUE(run.Type(0, 'I', 0x17, u'i'));
  ASSERT_TRUE(run.Type(3, 'I', 0x17, u'i'));
  ASSERT_TRUE(run.client().SendSurfaceCommand(nimo::kMsgResizeSurface, 0, 600, 340, 0));
  ASSERT_TRUE(run.client().SendSurfaceCommand(nimo::kMsgResizeSurface, 3, 480, 300, 0));
  EXPECT_TRUE(run.WaitPage("NIMOMP|trigger|clicked\x01\x02n1"));
  EXPECT_TRUE(console(3, "log|pane clicked"));
  EXPECT_TRUE(console(3, "log|pane typed hi "));
  EXPECT_EQ("NIMOMP|trigger|typed\x01\x02shi",
            run.AskUntil(0, "mp.trigger('typed', document.getElementById('t').value)", "NIMOMP|trigger|typed\x01\x02shi"));
  EXPECT_TRUE(frame_of(0, 600, 340));
  EXPECT_TRUE(frame_of(3, 480, 300));

  // Every page still answers and paints: a script on each, and each surface's pixels.
  ASSERT_TRUE(run.Script(0, "window.__mpEmit('answer', ['red'])"));
  for (std::uint32_t s = 1; s <= 2; ++s) {
    ASSERT_TRUE(run.Script(s, "console.log('pane alive ' + location.search)"));
    EXPECT_TRUE(console(s, "log|pane alive ?s=" + std::to_string(s))) << "surface " << s;
  }
  std::uint32_t seen = 0;
  EXPECT_TRUE(run.WaitPixel(0, 70, 45, kRed, &seen)) << std::hex << seen;
  EXPECT_TRUE(run.WaitPixel(0, 24, 104, 0xFF0000FFu, &seen)) << std::hex << seen;  // the image, from the UI root
  EXPECT_TRUE(run.WaitPixel(1, 70, 45, 0xFF0000C8u, &seen)) << std::hex << seen;
  EXPECT_TRUE(run.WaitPixel(2, 70, 45, 0xFF0000C8u, &seen)) << std::hex << seen;
  EXPECT_TRUE(run.WaitPixel(3, 70, 45, kRed, &seen)) << std::hex << seen;
  EXPECT_EQ(0u, run.journal().Count("chromium.lost")) << "Chromium died under four pages";

  // The whole Chromium dies.
  const Journal before = run.journal();
  const JournalEntry* started = before.First("chromium.started");
  ASSERT_NE(nullptr, started);
  ASSERT_TRUE(nimo_test::KillChromium(*started));
  for (std::uint32_t s = 0; s <= 3; ++s) {
    Report failed;
    ASSERT_TRUE(run.WaitLoad(s, 2, &failed, kPagesWaitMs)) << "surface " << s;
    EXPECT_EQ(static_cast<std::uint32_t>(-2), failed.param(2));  // ERR_FAILED
    EXPECT_EQ(urls.at(s), failed.text());
  }
  for (std::uint32_t s = 0; s <= 3; ++s) {
    EXPECT_TRUE(run.WaitLoad(s, 0, nullptr, kPagesWaitMs)) << "surface " << s << " not reloaded";
  }
  EXPECT_TRUE(run.WaitPage("NIMOMP|trigger|ready")) << "the page shim did not run in the reloaded page";
  EXPECT_TRUE(run.WaitPixel(0, 70, 45, kGreen, &seen)) << std::hex << seen;
  EXPECT_TRUE(run.WaitPixel(2, 70, 45, 0xFF0000C8u, &seen)) << std::hex << seen;
  EXPECT_TRUE(run.WaitPixel(3, 70, 45, 0xFF0000C8u, &seen)) << std::hex << seen;

  EXPECT_EQ(0, run.Stop());
  const Journal j = run.journal();
  EXPECT_EQ(1u, j.Count("chromium.lost"));
  EXPECT_EQ(2u, j.Count("chromium.started"));
  EXPECT_EQ(4u, j.Events("cb.on_render_process_terminated").size());
  run.ExpectCleanEnd();
}

// A UI built the usual way, served from a folder as https://nimo.localhost/: the module
// graph, a fetched JSON file, a dynamic import, WebAssembly compiled while it streams, a
// stylesheet and an image all load; localStorage survives a reload; the page bridge and
// the console channel work as on a file: page. Requests that try to leave the folder get
// 404 (or 400) and none of the bytes beside it; a large file streams through the
// asynchronous reads; a Range request gets 206 through the handler's skip. On both paint
// paths.
const std::vector<std::pair<std::string, std::string>> kAppFiles = {
    {"index.html",
     "<!doctype html><html><head><meta charset=\"utf-8\"><link rel=\"stylesheet\" href=\"/css/app.css\">"
     "<script type=\"module\" src=\"/js/main.js\"></script></head>"
     "<body><div id=\"box\"></div><img id=\"logo\" src=\"/img/dot.bmp\"></body></html>\n"},
    {"css\\app.css",
     "body{margin:0;background:#fff}\n"
     "#box{position:absolute;left:20px;top:20px;width:100px;height:50px;background:rgb(0,128,0)}\n"
     "#logo{position:absolute;left:20px;top:100px}\n"},
    {"js\\main.js",
     "import { greet } from './lib/greet.js';\n"
     "const config = await (await fetch('/data/config.json')).json();\n"
     "const lazy = await import('./lazy.js');\n"
     "const { instance } = await WebAssembly.instantiateStreaming(fetch('/wasm/add.wasm'));\n"
     "const visits = Number(localStorage.getItem('visits') || 0) + 1;\n"
     "localStorage.setItem('visits', String(visits));\n"
     "(function ready() {\n"
     "  if (!window.mp || !window.mp.events) return setTimeout(ready, 10);\n"
     "  mp.trigger('app', greet(config.name), lazy.value, instance.exports.add(2, 3), location.origin, visits,\n"
     "             getComputedStyle(document.getElementById('box')).backgroundColor);\n"
     "  console.log('module app ran');\n"
     "})();\n"},
    {"js\\lib\\greet.js", "import { prefix } from './names.js';\nexport const greet = (n) => prefix + n;\n"},
    {"js\\lib\\names.js", "export const prefix = 'Hello, ';\n"},
    {"js\\lazy.js", "export const value = 'loaded later';\n"},
    {"data\\config.json", "{\"name\": \"nimo\"}\n"},
    // (module (func (export "add") (param i32 i32) (result i32) local.get 0 local.get 1 i32.add))
    {"wasm\\add.wasm",
     std::string("\0asm\1\0\0\0\1\7\1\x60\2\x7f\x7f\1\x7f\3\2\1\0\7\7\1\3add\0\0\n\x09\1\7\0\x20\0\x20\1\x6a\x0b", 41)},
};

constexpr std::size_t kBigSize = 16u << 20;
unsigned char BigByte(std::size_t i) { return static_cast<unsigned char>(i * 7 + (i >> 16)); }

class UiFolder {
 public:
  UiFolder() {
    const std::string name = "nimo-ui-origin-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount64());
    unix_ = "/tmp/" + name;
    windows_ = "Z:\\tmp\\" + name;
    ok_ = CreateDirectoryA(windows_.c_str(), nullptr);
    for (const char* dir : {"app", "app\\css", "app\\js", "app\\js\\lib", "app\\data", "app\\wasm", "app\\img"}) {
      ok_ = ok_ && CreateDirectoryA((windows_ + "\\" + dir).c_str(), nullptr);
    }
    for (const auto& f : kAppFiles) ok_ = ok_ && Write("app\\" + f.first, f.second);
    std::string big(kBigSize, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(BigByte(i));
    ok_ = ok_ && Write("app\\img\\dot.bmp", DotBmp()) && Write("app\\big.bin", big) &&
          Write("secret.txt", "TOP-SECRET beside the UI folder\n");
    // A link inside the folder to the file beside it, made on the host as a UI tool chain
    // would leave one.
    std::string command = "/bin/ln -s " + unix_ + "/secret.txt " + unix_ + "/app/escape.txt";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                       &info)) {
      WaitForSingleObject(info.hProcess, 10000);
      CloseHandle(info.hProcess);
      CloseHandle(info.hThread);
    }
    // The process Wine reports may end before the host program has run: look for the link.
    for (int i = 0; i < 100 && !linked_; ++i) {
      linked_ = GetFileAttributesA((windows_ + "\\app\\escape.txt").c_str()) != INVALID_FILE_ATTRIBUTES;
      if (!linked_) Sleep(50);
    }
  }
  ~UiFolder() {
    // The link goes with the folder on the host's side (Wine does not delete links).
    std::string command = "/bin/rm -rf " + unix_;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                       &info)) {
      CloseHandle(info.hProcess);
      CloseHandle(info.hThread);
    }
    for (int i = 0; i < 100 && GetFileAttributesA(windows_.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
  }
  bool ok() const { return ok_; }
  bool linked() const { return linked_; }
  std::string root() const { return windows_ + "\\app"; }

 private:
  bool Write(const std::string& relative, const std::string& bytes) {
    FILE* f = std::fopen((windows_ + "\\" + relative).c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
  }
  std::string unix_, windows_;
  bool ok_ = false;
  bool linked_ = false;
};

class UiOriginApp : public testing::TestWithParam<bool> {};

TEST_P(UiOriginApp, ModuleAppRunsAndNothingOutsideTheFolderIsServed) {
  UiFolder folder;
  ASSERT_TRUE(folder.ok());
  RealRun run;
  // DevTools on a port of this run: the stand-in's Chromium must listen there.
  const int devtools_port = 20000 + static_cast<int>(GetCurrentProcessId() % 20000) + (GetParam() ? 1 : 0);
  ASSERT_TRUE(run.Start("https://nimo.localhost/", GetParam(), "",
                        " --nimomp-ui-root=" + folder.root() +
                            " --nimomp-devtools-port=" + std::to_string(devtools_port)));
  ASSERT_TRUE(run.WaitLoad(0, 0));
  const std::string app = "NIMOMP|trigger|app\x01\x02sHello, nimo\x01\x02sloaded later\x01\x02n5\x01\x02"
                          "shttps://nimo.localhost\x01\x02n";
  const std::string styled = "\x01\x02srgb(0, 128, 0)";
  // The module graph comes request by request over the stand-in's DevTools link: on a
  // loaded machine that takes longer than a single page.
  constexpr DWORD kAppWaitMs = 40000;
  auto trigger = [&run](const std::string& name, Report* out) {
    const std::string prefix = "NIMOMP|trigger|" + name;
    return run.WaitFor([&prefix](const Report& r) {
      return r.type == nimo::kMsgPageMessage && r.text().compare(0, prefix.size(), prefix) == 0; }, out, kAppWaitMs);
  };
  Report first;
  ASSERT_TRUE(trigger("app", &first));
  EXPECT_EQ(app + "1" + styled, first.text());
  Report line;
  ASSERT_TRUE(run.WaitFor(
      [](const Report& r) {
        return r.type == nimo::kMsgConsoleLine && r.text().find("module app ran") != std::string::npos;
      },
      &line));
  EXPECT_EQ("log|module app ran  (https://nimo.localhost/js/main.js:11)", line.text());
  std::uint32_t seen = 0;
  EXPECT_TRUE(run.WaitPixel(0, 70, 45, kGreen, &seen)) << std::hex << seen;                 // the stylesheet
  EXPECT_TRUE(run.WaitPixel(0, 24, 104, 0xFF0000FFu, &seen)) << std::hex << seen;  // the image

  // Ways out of the folder, as a page (or what it loaded) may try them.
  ASSERT_TRUE(run.Script(0,
                         "(async () => {"
                         "  const paths = ['/../secret.txt', '/%2e%2e/secret.txt', '/..%2fsecret.txt',"
                         "    '/%2e%2e%5csecret.txt', '/js/..%5c..%5csecret.txt', '/C:/Windows/win.ini',"
                         "    '/%5c%5c%3f%5cZ:%5ctmp%5csecret.txt', '/CON', '/nul.txt', '/a%00b', '/js/lib%2f..%2f..',"
                         "    '/escape.txt', '/js/', '/nothere.js', '/%zz', '/%C0%AE%C0%AE/secret.txt'];"
                         "  const out = [];"
                         "  for (const p of paths) {"
                         "    const r = await fetch(p); const t = await r.text();"
                         "    out.push(r.status + (t.includes('TOP-SECRET') ? 'LEAK' : ''));"
                         "  }"
                         "  mp.trigger('ways', out.join(','));"
                         "})()"));
  Report ways;
  ASSERT_TRUE(trigger("ways", &ways));
  EXPECT_TRUE(folder.linked()) << "no link was made; the link case proves nothing";
  EXPECT_EQ("NIMOMP|trigger|ways\x01\x02s404,404,404,404,404,404,404,404,404,404,404,404,404,404,400,400",
            ways.text());

  // A large file streams in pieces, read on the thread pool; a Range request is skipped to,
  // and one starting past the end is answered 416 (the engine skips to it first all the same).
  unsigned sum = 0;
  for (std::size_t i = 0; i < kBigSize; ++i) sum += BigByte(i);
  ASSERT_TRUE(run.Script(0,
                         "(async () => {"
                         "  const r = await fetch('/big.bin'); const b = new Uint8Array(await r.arrayBuffer());"
                         "  let s = 0; for (let i = 0; i < b.length; i++) s = (s + b[i]) >>> 0;"
                         "  const p = await fetch('/big.bin', {headers: {Range: 'bytes=1000000-1000099'}});"
                         "  const q = new Uint8Array(await p.arrayBuffer());"
                         "  let past = 'network error';"
                         "  try {"
                         "    const u = await fetch('/big.bin', {headers: {Range: 'bytes=" +
                             std::to_string(kBigSize + 10) + "-'}});"
                         "    past = u.status + ' ' + u.headers.get('content-range');"
                         "  } catch (e) {}"
                         "  const h = await fetch('/big.bin?head', {method: 'HEAD'});"
                         "  mp.trigger('big', r.status, b.length, s, p.status, p.headers.get('content-range'),"
                         "             q.length, q[0], q[99], past, h.status);"
                         "})()"));
  Report big;
  ASSERT_TRUE(trigger("big", &big));
  EXPECT_EQ("NIMOMP|trigger|big\x01\x02n200\x01\x02n" + std::to_string(kBigSize) + "\x01\x02n" +
                           std::to_string(sum) + "\x01\x02n206\x01\x02sbytes 1000000-1000099/" +
                           std::to_string(kBigSize) + "\x01\x02n100\x01\x02n" + std::to_string(BigByte(1000000)) +
                           "\x01\x02n" + std::to_string(BigByte(1000099)) + "\x01\x02s416 bytes */" +
                           std::to_string(kBigSize) + "\x01\x02n200",
            big.text());

  // localStorage of the origin survives a reload.
  ASSERT_TRUE(run.client().SendSurfaceCommand(nimo::kMsgReload, 0, 0, 0, 0));
  Report again;
  ASSERT_TRUE(trigger("app", &again));
  EXPECT_EQ(app + "2" + styled, again.text());

  EXPECT_EQ(0, run.Stop());
  const Journal j = run.journal();
  const std::vector<JournalEntry> opened = j.Events("nav.before_browse", "url", "https://nimo.localhost/");
  ASSERT_FALSE(opened.empty());
  EXPECT_EQ("allow", opened[0].Get("result"));
  bool streamed = false, skipped = false;
  for (const JournalEntry& e : j.Events("resource.answered")) {
    if (e.Int("bytes", 0) == static_cast<long long>(kBigSize)) {
      streamed = e.Int("async_reads", 0) > 1 && e.Int("failed", 1) == 0;
    }
  }
  for (const JournalEntry& e : j.Events("resource.skip")) skipped = skipped || e.Int("skipped", 0) == 1000000;
  EXPECT_TRUE(streamed) << "the large file was not read through the asynchronous path";
  // HEAD answers the headers of the whole file and not one byte of its body.
  const std::vector<JournalEntry> heads = j.Events("resource.request", "url", "https://nimo.localhost/big.bin?head");
  ASSERT_EQ(1u, heads.size());
  const std::vector<JournalEntry> head_answer = j.Events("resource.answered", "request", heads[0].Get("request"));
  ASSERT_EQ(1u, head_answer.size());
  EXPECT_EQ(0, head_answer[0].Int("failed", 1));
  EXPECT_EQ(200, head_answer[0].Int("status"));
  EXPECT_EQ(0, head_answer[0].Int("bytes", -1)) << "a HEAD request got the file's body";
  const JournalEntry* init = j.First("initialize");
  ASSERT_NE(nullptr, init);
  EXPECT_EQ(devtools_port, init->Int("remote_debugging_port", -1));
  const JournalEntry* started = j.First("chromium.started");
  ASSERT_NE(nullptr, started);
  EXPECT_EQ(devtools_port, started->Int("port", -1));
  EXPECT_TRUE(skipped) << "the Range request never reached skip";
  run.ExpectCleanEnd();
}

INSTANTIATE_TEST_SUITE_P(Paths, UiOriginApp, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& p) { return p.param ? "Cpu" : "Gpu"; });

// Protocol 3 on a real page at scale 1.5: a 960x540 surface is a 640x360 page whose frames
// are 960x540 and whose input the client gives in texture pixels. Hovering reports the
// page's cursor (a link's hand, a field's I-beam, a custom picture with its pixels) and its
// tooltip; a click at the button's centre hits it; the horizontal wheel scrolls sideways; a
// dragged item drops its data on the zone, and Escape cancels a second drag.
TEST(RealPages, PointerCursorTooltipScaleWheelAndDragOnARealPage) {
  constexpr std::uint32_t kSurface = 3;  // a surface with page scripts and begin frames
  PageFolder pages;
  ASSERT_TRUE(pages.ok());
  RealRun run;
  ASSERT_TRUE(run.Start(pages.url(), false, "", "", 3));
  ASSERT_TRUE(run.WaitLoad(0, 0));
  ASSERT_TRUE(run.client().SendSurfaceCommand(nimo::kMsgSetScale, kSurface, 1500, 0, 0));
  ASSERT_TRUE(run.client().SendSurfaceCommand(nimo::kMsgCreateSurface, kSurface, 960, 540, 0, pages.pointer_url()));
  ASSERT_TRUE(run.WaitLoad(kSurface, 0));
  EXPECT_TRUE(run.WaitPage("NIMOMP|trigger|metrics\x01\x02n1.5\x01\x02n640\x01\x02n360"));
  EXPECT_TRUE(run.WaitFor([](const Report& r) {
    if (r.type != nimo::kMsgFrameReady || r.payload.size() != nimo::kFrameReadyPayloadSize) return false;
    const FrameReadyPayload f = nimo::DecodeFrameReady(r.payload.data());
    return f.surface_id == kSurface && f.width == 960 && f.height == 540;
  }));

  auto move = [&run, kSurface](int x, int y, std::uint64_t buttons = 0) {
    return run.client().SendInput(kSurface, WM_MOUSEMOVE, buttons, (static_cast<std::uint64_t>(y) << 16) | x,
                                  buttons ? EVENTFLAG_LEFT_MOUSE_BUTTON : 0);
  };
  auto cursor = [&run, kSurface](std::uint32_t type, Report* out = nullptr) {
    return run.WaitFor([type, kSurface](const Report& r) {
      return r.type == nimo::kMsgCursorChanged && r.surface_id() == kSurface && r.param(1) == type;
    }, out);
  };
  auto tooltip = [&run, kSurface](const std::string& text) {
    return run.WaitFor([&text, kSurface](const Report& r) {
      return r.type == nimo::kMsgTooltip && r.surface_id() == kSurface && r.text() == text;
    });
  };
  ASSERT_TRUE(move(105, 52));  // the link, DIP (70, 35)
  EXPECT_TRUE(cursor(CT_HAND));
  EXPECT_TRUE(tooltip("go there"));
  ASSERT_TRUE(move(142, 142));  // the field
  EXPECT_TRUE(cursor(CT_IBEAM));
  EXPECT_TRUE(tooltip(""));
  // Composing in the field: the composed characters' rectangles come in texture pixels, inside
  // the field's (30, 120)-(255, 165), not in the page's DIP.
  ASSERT_TRUE(run.Click(kSurface, 142, 142));
  ASSERT_TRUE(run.client().SendSurfaceCommand(nimo::kMsgImeSetComposition, kSurface, 1, 2, 0, "abc"));
  Report composed;
  ASSERT_TRUE(run.WaitFor([kSurface](const Report& r) {
    return r.type == nimo::kMsgImeCompositionBounds && r.surface_id() == kSurface && r.payload.size() > 20;
  }, &composed));
  nimo::ImeBoundsReport bounds;
  ASSERT_TRUE(nimo::DecodeImeCompositionBounds(composed.payload.data(), composed.payload.size(), &bounds));
  ASSERT_EQ(3u, bounds.rects.size());
  for (const nimo::ImeRect& r : bounds.rects) {
    EXPECT_GE(r.x, 30);
    EXPECT_LE(r.x + r.width, 255);
    EXPECT_GE(r.y, 120);
    EXPECT_LE(r.y + r.height, 165);
  }
  ASSERT_TRUE(run.client().SendSurfaceCommand(nimo::kMsgImeCancelComposition, kSurface, 0, 0, 0));
  ASSERT_TRUE(move(375, 67));  // the custom cursor: 8x8 red, hotspot (3, 4)
  Report custom;
  ASSERT_TRUE(cursor(CT_CUSTOM, &custom));
  nimo::CursorReport decoded;
  ASSERT_TRUE(nimo::DecodeCursorChanged(custom.payload.data(), custom.payload.size(), &decoded));
  EXPECT_EQ(3, decoded.hotspot_x);
  EXPECT_EQ(4, decoded.hotspot_y);
  ASSERT_EQ(8u, decoded.width);
  ASSERT_EQ(8u, decoded.height);
  for (std::size_t i = 0; i < decoded.pixels.size(); i += 4) {
    ASSERT_EQ(0x00, decoded.pixels[i]) << i;      // B
    ASSERT_EQ(0x00, decoded.pixels[i + 1]) << i;  // G
    ASSERT_EQ(0xFF, decoded.pixels[i + 2]) << i;  // R
    ASSERT_EQ(0xFF, decoded.pixels[i + 3]) << i;  // A
  }

  ASSERT_TRUE(run.Click(kSurface, 675, 60));  // the button's centre, DIP (450, 40)
  EXPECT_TRUE(run.WaitPage("NIMOMP|trigger|clicked"));

  // A tilt to the right (positive delta) scrolls the page right.
  ASSERT_TRUE(run.client().SendInput(kSurface, 0x20E /* WM_MOUSEHWHEEL */, static_cast<std::uint64_t>(120) << 16,
                                     (300u << 16) | 300u, 0));
  const std::string sideways = "NIMOMP|trigger|scroll\x01\x02" "b1\x01\x02n0";
  EXPECT_EQ(sideways, run.AskUntil(kSurface, "mp.trigger('scroll', scrollX > 0, scrollY)", sideways))
      << "the horizontal wheel did not scroll sideways";
  // Back to the origin, and still there a moment later: the wheel's scroll may still be
  // animating, and would carry the page away from under the drag below.
  const std::string home = "NIMOMP|trigger|home\x01\x02n0";
  ASSERT_EQ(home, run.AskUntil(kSurface, "scrollTo(0, 0); setTimeout(function () { mp.trigger('home', scrollX); }, 200)",
                               home))
      << "the page did not come back to its origin";

  // A drag: pressed on the item, moved until the page starts its drag, then over the zone
  // and released there.
  auto start_drag = [&](std::size_t nth) {
    if (!move(105, 255)) return false;
    if (!run.client().SendInput(kSurface, WM_LBUTTONDOWN, MK_LBUTTON, (255u << 16) | 105u, EVENTFLAG_LEFT_MOUSE_BUTTON)) {
      return false;
    }
    for (int x = 115; x <= 175; x += 10) {
      if (!move(x, 260, MK_LBUTTON)) return false;
    }
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kWaitMs) {
      if (run.journal().Events("cb.start_dragging", "result", "1").size() >= nth) return true;
      Sleep(50);
    }
    return false;
  };
  ASSERT_TRUE(start_drag(1));
  ASSERT_TRUE(move(400, 300, MK_LBUTTON));
  ASSERT_TRUE(move(562, 300, MK_LBUTTON));  // the zone, DIP (375, 200)
  ASSERT_TRUE(run.client().SendInput(kSurface, WM_LBUTTONUP, 0, (300u << 16) | 562u, 0));
  EXPECT_TRUE(run.WaitPage("NIMOMP|trigger|dropped\x01\x02ssword-7"));
  EXPECT_TRUE(run.WaitPage("NIMOMP|trigger|dragend\x01\x02scopy"));

  // Escape in the middle of a drag cancels it: nothing drops, the source ends with none.
  ASSERT_TRUE(start_drag(2));
  ASSERT_TRUE(move(562, 300, MK_LBUTTON));
  ASSERT_TRUE(run.client().SendInput(kSurface, WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0));
  ASSERT_TRUE(run.client().SendInput(kSurface, WM_LBUTTONUP, 0, (300u << 16) | 562u, 0));
  EXPECT_TRUE(run.WaitPage("NIMOMP|trigger|dragend\x01\x02snone"));
  EXPECT_FALSE(run.WaitPage("NIMOMP|trigger|dropped\x01\x02ssword-7", nullptr, 500)) << "the cancelled drag dropped";

  EXPECT_EQ(0, run.Stop());
  const Journal j = run.journal();
  // The engine's drag calls in the page's DIP: the drop where the client released.
  const std::vector<JournalEntry> drops = j.Events("host.drag_target_drop");
  ASSERT_EQ(1u, drops.size());
  EXPECT_EQ(374, drops[0].Int("x", -1));  // 562 / 1.5 = 374.67, floored as the engine does
  EXPECT_EQ(200, drops[0].Int("y", -1));
  EXPECT_EQ(1u, j.Count("host.drag_target_drag_leave"));
  EXPECT_EQ(2u, j.Count("host.drag_source_system_drag_ended"));
  // Each drag's data goes back to the engine when that drag ends, before the pointer moves
  // again, not when the next drag replaces it or at the close.
  int ended = 0, freed = 0, freed_in_time = 0;
  bool waiting_for_release = false;
  for (const JournalEntry& e : j.entries()) {
    if (e.event == "host.drag_source_system_drag_ended") {
      ++ended;
      waiting_for_release = true;
    } else if (e.event == "refs.freed" && e.Get("kind") == "drag_data") {
      ++freed;
      if (waiting_for_release) ++freed_in_time;
      waiting_for_release = false;
    } else if (e.event == "host.send_mouse_move_event") {
      waiting_for_release = false;
    }
  }
  EXPECT_EQ(2, ended);
  EXPECT_EQ(2, freed);
  EXPECT_EQ(2, freed_in_time) << "a drag's data was still held after its drag ended";
  run.ExpectCleanEnd();
}

}  // namespace
