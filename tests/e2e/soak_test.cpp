// A bounded soak of the real executable: the stand-in engine and GPU, all four surfaces
// painting without pause on both paths (surface 2 on CPU buffers, the others on shared
// textures), and a seeded pseudo-random mix of every client command for
// NIMO_SOAK_SECONDS seconds (default 25). NIMO_SOAK_SEED replays a run's random choices;
// which command each choice becomes still depends on when the reports arrive. The client
// side keeps a model of what each command must cause and checks, while it runs and at
// the end:
//   - every navigation, reload and creation gives its load report, every echoed script
//     its console line, each in order per surface, and nothing arrives unasked;
//   - each browser sees the UI-thread commands (input, focus, visibility, reload) and the
//     reader-thread ones (navigation, script) in the order sent;
//   - frames follow resizes and their content never steps back to an older frame;
//   - the engine's handle count and private bytes do not grow after warm-up, and no GPU
//     texture is left at shutdown;
//   - the shutdown ends with exit code 0, no dropped report and no reference left.
// A closed surface is one whose page closed its own browser (the protocol has no close
// command); it is then created again.
#include <windows.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "protocol/wire.h"
#include "tests/support/fake_client.h"
#include "tests/support/journal.h"
#include "tests/support/journal_tail.h"
#include "tests/support/process_figures.h"
#include "tests/support/process_harness.h"
#include "tests/support/shared_texture_reader.h"

namespace {

using nimo::test::FakeClient;
using nimo::test::Report;
using nimo::test::Sandbox;
using nimo::test::StandInGpuLayout;
using nimo::test::SandboxProcess;
using nimo_test::JournalEntry;
using nimo_test::ProcessFigures;
using nimo_test::ScenarioWriter;

const char kEchoPrefix[] = "/*soak*/";

// splitmix64: the same schedule for the same seed on every machine.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
  bool Chance(std::uint32_t percent) { return Below(100) < percent; }

 private:
  std::uint64_t state_;
};

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
  char value[64];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  if (n == 0 || n >= sizeof value) return fallback;
  return std::strtoull(value, nullptr, 0);
}

// The scenario: every page paints a gradient whose red channel is its frame number, on
// every frame opportunity; the URL's fragment picks whole or partial frames, a failing
// load, or a page that closes its browser.
std::string Scenario() {
  ScenarioWriter s;
  s.Line(std::string("script_echo prefix=") + kEchoPrefix);
  // Per-frame events would make the journal huge; they are only counted.
  // Released engine objects are kept for a few seconds only, so the stand-in's own
  // memory stays flat and a growth is the product's.
  s.Line("quarantine 4000");
  s.Line("quiet paint.deliver host.send_external_begin_frame task. cb.get_view_rect");
  const std::string whole = "paint animate=1 pattern=gradient";
  const std::string part = "paint animate=1 pattern=gradient dirty=\"0,0,16,16;24,8,8,8\"";
  for (const char* base : {"about:blank#", "https://soak.test/"}) {
    const std::string b = base;
    s.Page(b + "close*", {"close"});
    s.Page(b + "fail*", {"load_start", "load_error code=-105 text=soak", whole});
    s.Page(b + "part*", {"load_start", "load_end", part});
  }
  s.Page("*", {"load_start", "load_end", whole});
  return s.Text();
}

struct Size {
  std::uint32_t w = 0, h = 0;
  bool operator==(const Size& o) const { return w == o.w && h == o.h; }
};

// Something the engine must journal, in order; optional ones (sent to a closing browser)
// may be missing.
struct Expected {
  std::string text;
  bool optional = false;
};

struct Echo {
  std::string line;  // the ConsoleLine text it must come back as
  bool optional = false;
  ULONGLONG sent = 0;
};

enum class Phase { kEmpty, kCreating, kLive, kClosing };

struct SurfaceModel {
  std::uint32_t id = 0;
  Phase phase = Phase::kEmpty;
  ULONGLONG phase_since = 0;
  std::string url;         // the page shown (or loading)
  std::string create_url;  // the URL of the current browser's creation (unique)
  bool loading = false;    // a load report is awaited
  std::uint32_t load_kind = 0;
  std::string load_url;
  ULONGLONG load_since = 0;
  bool hidden = false;
  ULONGLONG shown_at = 0;
  std::vector<Size> sizes;  // every size sent, in order
  std::size_t size_at = 0;  // index of the size of the latest frame
  ULONGLONG size_sent = 0;
  std::deque<Echo> echoes;
  std::uint64_t handle = 0;            // the newest texture handle announced
  int frame_mark = -1;                 // red channel of the last sampled frame
  ULONGLONG frame_mark_at = 0;
  ULONGLONG last_sample = 0;
};

std::string HostInput(std::uint32_t message, std::uint64_t wparam, std::uint64_t lparam,
                      std::uint32_t modifiers) {
  char out[256];
  const int mx = static_cast<std::int16_t>(lparam & 0xFFFF);
  const int my = static_cast<std::int16_t>((lparam >> 16) & 0xFFFF);
  const long key = static_cast<std::int32_t>(wparam & 0xFFFFFFFFu);
  const long native = static_cast<std::int32_t>(lparam & 0xFFFFFFFFu);
  const unsigned ch = static_cast<unsigned>(wparam & 0xFFFF);
  const unsigned m = modifiers;
  switch (message) {
    case 0x100: case 0x101: case 0x102: case 0x104: case 0x105: case 0x106: {
      const int type = (message == 0x100 || message == 0x104) ? 0 : (message == 0x101 || message == 0x105) ? 2 : 3;
      const int sys = message >= 0x104 ? 1 : 0;
      const unsigned c = type == 3 ? ch : 0;
      std::snprintf(out, sizeof out,
                    "send_key_event type=%d modifiers=%u windows_key_code=%ld native_key_code=%ld is_system_key=%d "
                    "character=%u unmodified_character=%u focus_on_editable_field=0",
                    type, m, key, native, sys, c, c);
      return out;
    }
    case 0x200:
      std::snprintf(out, sizeof out, "send_mouse_move_event x=%d y=%d modifiers=%u mouse_leave=0", mx, my, m);
      return out;
    case 0x2A3:
      std::snprintf(out, sizeof out, "send_mouse_move_event x=0 y=0 modifiers=%u mouse_leave=1", m);
      return out;
    case 0x201: case 0x202: case 0x204: case 0x205: case 0x207: case 0x208: {
      const int button = message <= 0x202 ? 0 : message <= 0x205 ? 2 : 1;
      const int up = (message == 0x202 || message == 0x205 || message == 0x208) ? 1 : 0;
      std::snprintf(out, sizeof out, "send_mouse_click_event x=%d y=%d modifiers=%u button=%d mouse_up=%d click_count=1",
                    mx, my, m, button, up);
      return out;
    }
    case 0x20A:
      std::snprintf(out, sizeof out, "send_mouse_wheel_event x=%d y=%d modifiers=%u delta_x=0 delta_y=%d", mx, my, m,
                    static_cast<int>(static_cast<std::int16_t>((wparam >> 16) & 0xFFFF)));
      return out;
    default:
      return "";  // dead characters and double-clicks reach no host call
  }
}

// The journaled form of the calls the model expects, for one entry; "" for other events.
std::string JournalCall(const JournalEntry& e) {
  static const std::map<std::string, std::vector<std::string>> kKeys = {
      {"host.send_key_event",
       {"type", "modifiers", "windows_key_code", "native_key_code", "is_system_key", "character",
        "unmodified_character", "focus_on_editable_field"}},
      {"host.send_mouse_click_event", {"x", "y", "modifiers", "button", "mouse_up", "click_count"}},
      {"host.send_mouse_move_event", {"x", "y", "modifiers", "mouse_leave"}},
      {"host.send_mouse_wheel_event", {"x", "y", "modifiers", "delta_x", "delta_y"}},
      {"host.set_focus", {"focus"}},
      {"host.was_hidden", {"hidden"}},
      {"browser.reload", {"ignore_cache"}},
  };
  if (e.event == "frame.load_url") return "load_url " + e.Get("url");
  if (e.event == "frame.execute_java_script") {
    const std::string code = e.Get("code");
    return code.compare(0, sizeof kEchoPrefix - 1, kEchoPrefix) == 0 ? "script " + code : "";
  }
  const auto k = kKeys.find(e.event);
  if (k == kKeys.end()) return "";
  std::string line = e.event.substr(e.event.find('.') + 1);
  for (const std::string& key : k->second) line += " " + key + "=" + e.Get(key, "?");
  return line;
}

bool IsReaderCall(const std::string& call) {
  return call.compare(0, 9, "load_url ") == 0 || call.compare(0, 7, "script ") == 0;
}

// Matches what the engine journaled against the expected calls: every required one in
// order, optional ones where they fit, nothing else. "" when they agree.
std::string CompareCalls(const std::vector<Expected>& expected, const std::vector<std::string>& seen) {
  std::size_t i = 0;
  for (std::size_t s = 0; s < seen.size(); ++s) {
    while (i < expected.size() && expected[i].optional && expected[i].text != seen[s]) ++i;
    if (i == expected.size()) return "unexpected call #" + std::to_string(s) + ": " + seen[s];
    if (expected[i].text != seen[s]) {
      std::string context;
      for (std::size_t k = s < 3 ? 0 : s - 3; k < seen.size() && k < s + 3; ++k) context += "\n  seen " + seen[k];
      for (std::size_t k = i < 3 ? 0 : i - 3; k < expected.size() && k < i + 3; ++k)
        context += "\n  expected " + expected[k].text + (expected[k].optional ? " (optional)" : "");
      return "call #" + std::to_string(s) + " is \"" + seen[s] + "\", expected \"" + expected[i].text + "\"" + context;
    }
    ++i;
  }
  for (; i < expected.size(); ++i) {
    if (!expected[i].optional) return "missing call \"" + expected[i].text + "\"";
  }
  return "";
}

enum Command {
  kCreate, kNavigate, kScript, kResize, kFocus, kHidden, kInput, kReload, kClose, kShutdown, kCommandKinds
};
const char* const kCommandNames[kCommandKinds] = {"create", "navigate", "script", "resize", "focus",
                                                  "hidden", "input",    "reload", "close",  "shutdown"};

class Soak {
 public:
  Soak(std::uint64_t seed, ULONGLONG seconds)
      : random_(seed), seconds_(seconds), sandbox_(StandInGpuLayout()), journal_(sandbox_.Path("journal.txt")) {}


  void Run();

 private:
  bool Start();
  void Fail(const std::string& what) {
    if (++failures_ <= 10) ADD_FAILURE() << what;
  }
  ULONGLONG Now() const { return GetTickCount64(); }
  void Handle(const Report& r);
  void OnFrame(const Report& r);
  void OnLoad(const Report& r);
  void OnConsole(const Report& r);
  void Step();
  void CheckDeadlines();
  void FollowJournal();
  bool Quiet() const;
  void SendCreate(SurfaceModel& s);
  void SendNavigate(SurfaceModel& s, const std::string& kind);
  void SendScript(SurfaceModel& s, bool optional);
  void SendResize(SurfaceModel& s);
  void SendInput(SurfaceModel& s, bool optional);
  std::string Url(const SurfaceModel& s, const std::string& kind) {
    return std::string(s.id == 2 ? "https://soak.test/" : "about:blank#") + kind + "-" + std::to_string(++serial_) +
           "-s" + std::to_string(s.id);
  }
  void ExpectLoad(SurfaceModel& s, const std::string& url) {
    s.loading = true;
    s.load_since = Now();
    s.url = url;
    s.load_url = url;
    s.load_kind = url.find("fail-") != std::string::npos ? nimo::kLoadEventFailed : nimo::kLoadEventFinished;
    s.frame_mark = -1;
  }
  // Calls the engine must see on the surface's current browser, in order.
  void ExpectUi(const SurfaceModel& s, const Expected& e) { ui_calls_[s.create_url].push_back(e); }
  void ExpectReader(const SurfaceModel& s, const Expected& e) { reader_calls_[s.create_url].push_back(e); }
  void Drain(DWORD ms) {
    const ULONGLONG until = Now() + ms;
    Report r;
    do {
      while (client_.Read(&r, 2)) Handle(r);
    } while (Now() < until);
  }
  void FinalChecks();
  long long Sent() const {
    long long total = 0;
    for (long long n : sent_) total += n;
    return total;
  }

  Random random_;
  ULONGLONG seconds_;
  Sandbox sandbox_;
  FakeClient client_;
  SandboxProcess process_;
  nimo_test::JournalTail journal_;
  std::map<std::string, long long> browser_of_;  // creation URL -> the engine's browser id
  std::set<long long> closed_;                   // browsers past on_before_close
  std::map<long long, std::string> url_of_;
  // What the engine journaled, by creation URL, as JournalCall words.
  std::map<std::string, std::vector<std::string>> ui_seen_, reader_seen_;
  bool refs_seen_ = false;
  std::string gpu_live_;  // the stand-in GPU's objects still alive at shutdown
  long long textures_live_ = -1;
  long long leaks_ = -1, overreleases_ = -1, problems_ = 0;
  std::string problem_lines_;
  ULONGLONG last_journal_poll_ = 0;
  SurfaceModel surfaces_[4];
  std::map<std::string, std::uint32_t> create_urls_;  // every creation URL, to its surface
  // By creation URL (one browser each): input, focus, visibility and reload, which run as
  // UI tasks, and navigation and script, which the reader thread carries out.
  std::map<std::string, std::vector<Expected>> ui_calls_, reader_calls_;
  int serial_ = 0;
  int failures_ = 0;
  long long sent_[kCommandKinds] = {};
  long long reports_[6] = {};
  long long frame_checks_ = 0;
};

bool Soak::Start() {
  if (!sandbox_.ok() || !sandbox_.WriteFile("scenario.txt", Scenario())) return false;
  const std::vector<std::string> env = {"NIMO_STANDIN_JOURNAL=" + sandbox_.Path("journal.txt"),
                                        "NIMO_STANDIN_SCENARIO=" + sandbox_.Path("scenario.txt")};
  SurfaceModel& ui = surfaces_[0];
  ui.create_url = "about:blank#c0-s0";
  create_urls_[ui.create_url] = 0;
  if (!sandbox_.Start("--nimomp-browser " + client_.PipeSwitches() + " --nimomp-url=" + ui.create_url, env, &process_))
    return false;
  for (int i = 0; i < 75 && !client_.WaitConnected(200); ++i) {
    if (!process_.running()) return false;
  }
  if (!client_.Handshake(15000)) return false;
  for (std::uint32_t id = 0; id < 4; ++id) {
    surfaces_[id].id = id;
    surfaces_[id].phase_since = Now();
  }
  // The UI surface opens itself at the default size; it is made small at once.
  ui.phase = Phase::kCreating;
  ui.sizes.push_back(Size{1280, 720});
  ExpectLoad(ui, ui.create_url);
  SendResize(ui);
  return true;
}

void Soak::Handle(const Report& r) {
  if (r.type < 6) ++reports_[r.type];
  switch (r.type) {
    case nimo::kMsgFrameReady:
      OnFrame(r);
      break;
    case nimo::kMsgLoadEvent:
      OnLoad(r);
      break;
    case nimo::kMsgConsoleLine:
      OnConsole(r);
      break;
    default:
      Fail("unexpected report of type " + std::to_string(r.type) + " for surface " + std::to_string(r.surface_id()) +
           ": " + r.text());
  }
}

void Soak::OnFrame(const Report& r) {
  if (r.payload.size() != nimo::kFrameReadyPayloadSize) return Fail("FrameReady of " + std::to_string(r.payload.size()) + " bytes");
  const nimo::FrameReadyPayload p = nimo::DecodeFrameReady(r.payload.data());
  if (p.surface_id >= 4) return Fail("FrameReady for surface " + std::to_string(p.surface_id));
  SurfaceModel& s = surfaces_[p.surface_id];
  if (p.format != (p.surface_id == 2 ? 0u : 1u)) Fail("FrameReady format " + std::to_string(p.format));
  // A frame has the size last seen or one sent after it (sizes sent in between may be
  // skipped: a newer frame replaces a waiting one).
  std::size_t k = s.size_at;
  while (k < s.sizes.size() && !(s.sizes[k] == Size{p.width, p.height})) ++k;
  if (k == s.sizes.size()) {
    return Fail("surface " + std::to_string(s.id) + " frame of " + std::to_string(p.width) + "x" +
                std::to_string(p.height) + ", expected " + std::to_string(s.sizes.back().w) + "x" +
                std::to_string(s.sizes.back().h));
  }
  s.size_at = k;
  if (p.client_handle == 0) return Fail("FrameReady without a handle");
  if (s.handle != p.client_handle) {
    // A new texture: the handle of the old one is never announced again.
    if (s.handle) CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(s.handle)));
    s.handle = p.client_handle;
  }
  // Sampled a few times a second: the red channel of pixel (1,2) holds the frame number of
  // the gradient (mod 256); within one document it only moves forward, and at most ~70
  // frames can pass in a second, so a step of 128 or more (mod 256) is a step back.
  const ULONGLONG now = Now();
  if (s.phase != Phase::kLive || s.loading || s.hidden || now - s.last_sample < 150 || p.width < 2 || p.height < 3) return;
  s.last_sample = now;
  const nimo_test::SharedFrame f = nimo_test::ReadSharedTexture(p.client_handle);
  if (!f.opened) {
    return Fail("surface " + std::to_string(s.id) + " texture handle " + std::to_string(p.client_handle) + " does not open");
  }
  if (f.width < 2 || f.height < 3) return;
  const std::uint32_t pixel = f.at(1, 2);
  if ((pixel & 0xFF00FFFFu) != 0xFF000201u) return;  // the page's first, plain frame
  const int red = static_cast<int>((pixel >> 16) & 0xFF);
  if (s.frame_mark >= 0 && now - s.frame_mark_at < 1000) {
    ++frame_checks_;
    if (((red - s.frame_mark) & 255) >= 128) {
      Fail("surface " + std::to_string(s.id) + " shows frame " + std::to_string(red) + " after frame " +
           std::to_string(s.frame_mark));
    }
  }
  s.frame_mark = red;
  s.frame_mark_at = now;
}

void Soak::OnLoad(const Report& r) {
  const std::uint32_t id = r.surface_id();
  if (id >= 4 || r.payload.size() < nimo::kSurfaceHeadSize) return Fail("bad LoadEvent");
  SurfaceModel& s = surfaces_[id];
  const std::uint32_t kind = r.param(1);
  if (!s.loading) return Fail("surface " + std::to_string(id) + " unasked LoadEvent kind " + std::to_string(kind));
  if (kind != s.load_kind) {
    Fail("surface " + std::to_string(id) + " LoadEvent kind " + std::to_string(kind) + " for " + s.load_url);
  } else if (kind == nimo::kLoadEventFailed &&
             (static_cast<std::int32_t>(r.param(2)) != -105 || r.text() != s.load_url)) {
    Fail("surface " + std::to_string(id) + " failed load reports " + std::to_string(static_cast<std::int32_t>(r.param(2))) +
         " " + r.text() + " for " + s.load_url);
  } else if (kind == nimo::kLoadEventFinished && r.payload.size() != nimo::kSurfaceHeadSize) {
    Fail("LoadEvent kind 0 with text");
  }
  s.loading = false;
  s.frame_mark = -1;
  if (s.phase == Phase::kCreating) {
    s.phase = Phase::kLive;
    s.phase_since = Now();
  }
}

void Soak::OnConsole(const Report& r) {
  const std::uint32_t id = r.surface_id();
  if (id >= 4) return Fail("ConsoleLine for surface " + std::to_string(id));
  SurfaceModel& s = surfaces_[id];
  const std::string text = r.text();
  while (!s.echoes.empty() && s.echoes.front().optional && s.echoes.front().line != text) s.echoes.pop_front();
  if (s.echoes.empty()) return Fail("surface " + std::to_string(id) + " unasked console line: " + text);
  if (s.echoes.front().line != text) {
    Fail("surface " + std::to_string(id) + " console line \"" + text + "\", expected \"" + s.echoes.front().line + "\"");
  }
  s.echoes.pop_front();
}

void Soak::SendCreate(SurfaceModel& s) {
  const Size size{64u + 16u * random_.Below(17), 48u + 16u * random_.Below(13)};
  s.create_url = Url(s, random_.Chance(30) ? "part" : "c");
  create_urls_[s.create_url] = s.id;
  s.sizes.push_back(size);
  s.size_sent = Now();
  s.phase = Phase::kCreating;
  s.phase_since = Now();
  s.hidden = false;
  s.shown_at = Now();
  ExpectLoad(s, s.create_url);
  ++sent_[kCreate];
  client_.SendSurfaceCommand(nimo::kMsgCreateSurface, s.id, size.w, size.h, 0, s.create_url);
}

void Soak::SendNavigate(SurfaceModel& s, const std::string& kind) {
  const std::string url = Url(s, kind);
  ExpectReader(s, {"load_url " + url, false});
  if (kind == "close") {
    s.phase = Phase::kClosing;
    s.phase_since = Now();
    s.url = url;
    ++sent_[kClose];
  } else {
    ExpectLoad(s, url);
    ++sent_[kNavigate];
  }
  client_.SendSurfaceCommand(nimo::kMsgNavigate, s.id, 0, 0, 0, url);
}

void Soak::SendScript(SurfaceModel& s, bool optional) {
  // Texts of every length up to the console cut, with bytes the string conversion must keep.
  std::string code = std::string(kEchoPrefix) + "window.__soak=" + std::to_string(++serial_) + ";";
  if (random_.Chance(30)) code += "/* \xC3\xA9\xE2\x82\xAC|\xF0\x9F\x98\x80 */";
  if (random_.Chance(20)) code += std::string(random_.Below(500), 'x');
  s.echoes.push_back(Echo{"log|" + code + "  (echo:1)", optional, Now()});
  ExpectReader(s, {"script " + code, optional});
  ++sent_[kScript];
  client_.SendSurfaceCommand(nimo::kMsgExecuteScript, s.id, 0, 0, 0, code);
}

void Soak::SendResize(SurfaceModel& s) {
  Size size{64u + 16u * random_.Below(17), 48u + 16u * random_.Below(13)};
  if (!s.sizes.empty() && size == s.sizes.back()) size.w += 16;  // the same size changes nothing
  s.sizes.push_back(size);
  s.size_sent = Now();
  ++sent_[kResize];
  client_.SendSurfaceCommand(nimo::kMsgResizeSurface, s.id, size.w, size.h, 0);
}

void Soak::SendInput(SurfaceModel& s, bool optional) {
  static const std::uint32_t kMessages[] = {0x100, 0x101, 0x102, 0x104, 0x105, 0x106, 0x200, 0x200, 0x200,
                                            0x201, 0x202, 0x203, 0x204, 0x205, 0x206, 0x207, 0x208, 0x209,
                                            0x20A, 0x20A, 0x103, 0x2A3, 0x0F};
  const std::uint32_t message = kMessages[random_.Below(sizeof kMessages / sizeof kMessages[0])];
  std::uint64_t wparam = 0, lparam = 0;
  const std::uint32_t modifiers = random_.Below(0x800);
  if (message == 0x102 || message == 0x106) {
    wparam = 0x20 + random_.Below(0x7000);
  } else if (message < 0x200) {
    wparam = 0x08 + random_.Below(0xF0);
  } else if (message == 0x20A) {
    wparam = static_cast<std::uint64_t>(static_cast<std::uint16_t>(static_cast<std::int16_t>(random_.Below(961)) - 480)) << 16;
  }
  lparam = random_.Next() & 0xFFFFFFFFull;
  if (random_.Chance(10)) lparam |= 0xABCD00000000ull;  // the high half is not part of the message
  const std::string call = HostInput(message, wparam, lparam, modifiers);
  if (!call.empty()) ExpectUi(s, {call, optional});
  ++sent_[kInput];
  // Both input command types; the engine treats them alike.
  if (random_.Chance(50)) {
    client_.SendInput(s.id, message, wparam, lparam, modifiers);
  } else {
    std::vector<std::uint8_t> payload(nimo::kInputRecordSize);
    nimo::InputRecord rec = {s.id, message, wparam, lparam, modifiers, 0};
    nimo::EncodeInputRecord(rec, payload.data());
    client_.SendFrame(nimo::kMsgInputEventAlt, payload);
  }
}

// One command, chosen at random among those the model can account for.
void Soak::Step() {
  SurfaceModel& s = surfaces_[random_.Below(4)];
  if (s.phase == Phase::kEmpty) {
    if (Now() - s.phase_since > 100 && random_.Chance(20)) SendCreate(s);
    return;
  }
  if (s.phase == Phase::kCreating) return;
  const bool closing = s.phase == Phase::kClosing;
  // A closing browser may still take a command or not; nothing is expected of it.
  const std::uint32_t roll = random_.Below(100);
  if (roll < 45) return SendInput(s, closing);
  if (roll < 57) {
    if (s.echoes.size() < 6) SendScript(s, closing);
    return;
  }
  if (roll < 64) {
    ++sent_[kFocus];
    const std::uint32_t focus = random_.Below(2);
    ExpectUi(s, {"set_focus focus=" + std::to_string(focus), closing});
    client_.SendSurfaceCommand(nimo::kMsgSetFocus, s.id, 0, 0, focus);
    return;
  }
  if (closing) return;
  if (roll < 71) {
    if (s.sizes.empty() || s.sizes[s.size_at] == s.sizes.back() || s.hidden) SendResize(s);
    return;
  }
  if (roll < 78) {
    s.hidden = !s.hidden;
    if (!s.hidden) s.shown_at = Now();
    ++sent_[kHidden];
    ExpectUi(s, {std::string("was_hidden hidden=") + (s.hidden ? "1" : "0"), false});
    client_.SendSurfaceCommand(nimo::kMsgSetHidden, s.id, 0, 0, s.hidden ? 1 : 0);
    return;
  }
  if (s.loading) return;
  if (roll < 90) {
    const std::uint32_t kind = random_.Below(10);
    return SendNavigate(s, kind < 6 ? "n" : kind < 8 ? "part" : "fail");
  }
  if (roll < 97) {
    const std::uint32_t ignore = random_.Below(2);
    ++sent_[kReload];
    ExpectUi(s, {"reload ignore_cache=" + std::to_string(ignore), false});
    ExpectLoad(s, s.url);
    client_.SendSurfaceCommand(nimo::kMsgReload, s.id, 0, 0, ignore);
    return;
  }
  // The page closes itself only once everything asked of it has come back; about one
  // command in 300 closes a surface, so each browser lives for a few seconds.
  if (s.echoes.empty() && random_.Chance(20)) SendNavigate(s, "close");
}

// The engine's browser of a closing surface has gone when the journal shows its
// on_before_close; only then can the slot be created again.
void Soak::FollowJournal() {
  for (const JournalEntry& e : journal_.Poll()) {
    if (e.pid != process_.pid()) continue;  // a sub-process
    const long long browser = e.Int("browser", -1);
    if (e.event == "create_browser") {
      browser_of_[e.Get("url")] = browser;
      url_of_[browser] = e.Get("url");
    } else if (e.event == "cb.on_before_close") {
      closed_.insert(browser);
    } else if (e.event == "gpu.live") {
      gpu_live_ = e.line.substr(e.line.find("gpu.live"));
      textures_live_ = e.Int("textures", -1);
    } else if (e.event == "refs") {
      refs_seen_ = true;
      leaks_ = e.Int("leaks", -1);
      overreleases_ = e.Int("overreleases", -1);
    } else if (e.event == "refs.leak" || e.event == "refs.overrelease" || e.event == "refs.use_after_release" ||
               e.event == "scenario.error") {
      ++problems_;
      if (problem_lines_.size() < 4000) problem_lines_ += e.line + "\n";
    }
    const std::string call = JournalCall(e);
    if (call.empty()) continue;
    const auto url = url_of_.find(browser);
    if (url == url_of_.end()) {
      Fail("a call on a browser of no surface: " + e.line);
      continue;
    }
    (IsReaderCall(call) ? reader_seen_ : ui_seen_)[url->second].push_back(call);
  }
  for (SurfaceModel& s : surfaces_) {
    if (s.phase != Phase::kClosing) continue;
    const auto b = browser_of_.find(s.create_url);
    if (b == browser_of_.end() || !closed_.count(b->second)) continue;
    s.phase = Phase::kEmpty;
    s.phase_since = Now();
    s.loading = false;
    s.frame_mark = -1;
    s.handle = 0;  // the client keeps the old handle open: a late frame may still name it
  }
}

bool Soak::Quiet() const {
  for (const SurfaceModel& s : surfaces_) {
    if (s.loading || s.phase == Phase::kClosing) return false;
    for (const Echo& e : s.echoes)
      if (!e.optional) return false;
    if (s.phase == Phase::kLive && !s.hidden && !(s.sizes[s.size_at] == s.sizes.back())) return false;
  }
  return true;
}

void Soak::CheckDeadlines() {
  const ULONGLONG now = Now();
  if (now - last_journal_poll_ >= 100) {
    last_journal_poll_ = now;
    FollowJournal();
  }
  const ULONGLONG limit = 10000;
  for (SurfaceModel& s : surfaces_) {
    const std::string id = "surface " + std::to_string(s.id);
    if (s.loading && now - s.load_since > limit) {
      Fail(id + ": no load report for " + s.load_url);
      s.loading = false;
      if (s.phase == Phase::kCreating) s.phase = Phase::kLive;
    }
    if (!s.echoes.empty() && !s.echoes.front().optional && now - s.echoes.front().sent > limit) {
      Fail(id + ": no console line for " + s.echoes.front().line);
      s.echoes.pop_front();
    }
    if (s.phase == Phase::kClosing) {
      if (now - s.phase_since > limit) {
        Fail(id + ": the browser did not close after " + s.url);
        s.phase_since = now;
      }
    }
    // A visible live surface shows a frame of its newest size soon after it was asked.
    if (s.phase == Phase::kLive && !s.hidden && !(s.sizes[s.size_at] == s.sizes.back())) {
      const ULONGLONG since = s.size_sent > s.shown_at ? s.size_sent : s.shown_at;
      if (now - since > limit && now - s.phase_since > limit) {
        Fail(id + ": no frame of " + std::to_string(s.sizes.back().w) + "x" + std::to_string(s.sizes.back().h));
        s.size_at = s.sizes.size() - 1;
      }
    }
  }
}

void Soak::Run() {
  if (!Start()) {
    ADD_FAILURE() << "the engine did not start and connect:\n" << sandbox_.ReadLog();
    return;
  }
  HANDLE process = process_.handle();
  const ULONGLONG start = Now();
  const ULONGLONG end = start + seconds_ * 1000;
  // Warm-up: every surface has been created, resized, closed and shown a few times, and
  // the engine's pools and caches have filled.
  const ULONGLONG warm = start + (seconds_ * 1000) / 4;
  ProcessFigures before, after;
  // The figures through the run, so a long run's trend can be quoted.
  const ULONGLONG sample_every = seconds_ * 1000 / 10 < 5000 ? 5000 : seconds_ * 1000 / 10;
  ULONGLONG next_sample = start + sample_every;
  ULONGLONG next_command = start;
  ULONGLONG next_deadline_check = start;
  Report r;
  while (Now() < end && failures_ < 10 && process_.running()) {
    while (client_.Read(&r, 1)) Handle(r);
    const ULONGLONG now = Now();
    if (now >= next_deadline_check) {
      CheckDeadlines();
      next_deadline_check = now + 50;
    }
    if (!before.ok && now >= warm) before = nimo_test::SampleProcess(process);
    if (now >= next_sample) {
      next_sample += sample_every;
      const ProcessFigures f = nimo_test::SampleProcess(process);
      std::printf("soak %3llu s: engine handles %lu, private %.1f MiB, commands %lld, frames %lld\n",
                  static_cast<unsigned long long>((now - start) / 1000), static_cast<unsigned long>(f.handles),
                  f.private_bytes / 1048576.0, Sent(), reports_[nimo::kMsgFrameReady]);
      std::fflush(stdout);
    }
    // About 200 commands a second, in bursts of one to four.
    if (now >= next_command) {
      for (std::uint32_t n = 1 + random_.Below(4); n > 0; --n) Step();
      next_command = now + 5 + random_.Below(15);
    }
  }
  // Everything asked is answered, every visible surface shows its size.
  const ULONGLONG settle = Now() + 15000;
  while (!Quiet() && Now() < settle && failures_ < 10) {
    Drain(50);
    CheckDeadlines();
  }
  Drain(500);
  if (!Quiet()) Fail("the engine did not answer everything before shutdown");
  after = nimo_test::SampleProcess(process);

  ++sent_[kShutdown];
  client_.SendShutdown();
  const bool closed = client_.WaitClosed(20000);
  for (const Report& late : client_.skipped()) Handle(late);
  EXPECT_TRUE(closed) << "the engine kept its end of the pipe open after Shutdown";
  const nimo::test::RunResult result = process_.Wait(20000);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(0u, result.exit_code);

  ASSERT_TRUE(before.ok && after.ok) << "the engine's handle count or memory could not be read";
  const long long handle_growth = static_cast<long long>(after.handles) - static_cast<long long>(before.handles);
  const long long memory_growth =
      static_cast<long long>(after.private_bytes) - static_cast<long long>(before.private_bytes);
  EXPECT_LE(handle_growth, 32) << "handles " << before.handles << " -> " << after.handles;
  EXPECT_LE(memory_growth, 16ll << 20) << "private bytes " << before.private_bytes << " -> " << after.private_bytes;

  FinalChecks();

  std::printf("soak summary: %llu s, commands:", static_cast<unsigned long long>((Now() - start) / 1000));
  long long total = 0;
  for (int c = 0; c < kCommandKinds; ++c) {
    std::printf(" %s=%lld", kCommandNames[c], sent_[c]);
    total += sent_[c];
  }
  std::printf(" (total %lld); reports: load=%lld console=%lld page=%lld frames=%lld; frame order checks=%lld; "
              "engine handles %lu->%lu, private %.1f->%.1f MiB\n",
              total, reports_[nimo::kMsgLoadEvent], reports_[nimo::kMsgConsoleLine], reports_[nimo::kMsgPageMessage],
              reports_[nimo::kMsgFrameReady], frame_checks_, static_cast<unsigned long>(before.handles),
              static_cast<unsigned long>(after.handles), before.private_bytes / 1048576.0,
              after.private_bytes / 1048576.0);
  std::fflush(stdout);
}

void Soak::FinalChecks() {
  FollowJournal();  // the rest of the journal, up to the engine's last line
  EXPECT_TRUE(refs_seen_) << "no reference summary from the engine";
  EXPECT_EQ(0, leaks_);
  EXPECT_EQ(0, overreleases_);
  EXPECT_EQ(0, problems_) << problem_lines_;
  // Every surface texture, and every engine texture opened for a copy, was released.
  EXPECT_EQ(0, textures_live_) << gpu_live_;
  EXPECT_EQ(url_of_.size(), create_urls_.size()) << "browsers created";
  for (const auto& c : url_of_) {
    const std::string& url = c.second;
    EXPECT_EQ("", CompareCalls(ui_calls_[url], ui_seen_[url])) << url << ": UI-thread commands";
    EXPECT_EQ("", CompareCalls(reader_calls_[url], reader_seen_[url])) << url << ": navigation and scripts";
  }

  // The engine's own figures: nothing dropped for want of room, however long it ran.
  const std::string log = sandbox_.ReadLog();
  long long dropped = 0, coalesced = 0;
  for (std::size_t at = log.find("| coalesced "); at != std::string::npos; at = log.find("| coalesced ", at + 1)) {
    long c = 0, d = 0;
    if (std::sscanf(log.c_str() + at, "| coalesced %ld dropped %ld", &c, &d) == 2) {
      coalesced += c;
      dropped += d;
    }
  }
  EXPECT_EQ(0, dropped) << "reports dropped by the engine's send queue";
  std::printf("engine: coalesced frames %lld, dropped %lld, log lines %zu; at shutdown %s\n", coalesced, dropped,
              static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n')), gpu_live_.c_str());
}

TEST(Soak, MixedLoadKeepsEveryReportOrderAndResource) {
  const ULONGLONG seconds = EnvNumber("NIMO_SOAK_SECONDS", 25);
  const std::uint64_t seed =
      EnvNumber("NIMO_SOAK_SEED", (static_cast<std::uint64_t>(GetTickCount64()) << 16) ^ GetCurrentProcessId());
  std::printf("soak: %llu s, seed 0x%016" PRIx64 " (repeat with NIMO_SOAK_SEED=0x%016" PRIx64 ")\n",
              static_cast<unsigned long long>(seconds), seed, seed);
  std::fflush(stdout);
  Soak soak(seed, seconds);
  soak.Run();
}

}  // namespace
