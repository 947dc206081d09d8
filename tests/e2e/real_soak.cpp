// The long real-page soak, a command of its own (not in the test command): four surfaces
// of real pages of headless Chromium behind the stand-in engine (the UI origin on surface
// 0, local pages on 1 and 3 on shared textures, surface 2 on CPU buffers and free to go to
// the web) under a seeded mix of every client command for NIMO_REAL_SOAK_SECONDS seconds
// (default 600). Every page animates, so every shown surface keeps painting. NIMO_SOAK_SEED
// replays a run's random choices.
//
// Every 30 s it prints the engine's handles and private memory and Chromium's resident
// memory (the browser and all its processes); at the end the growth per minute after the
// warm-up (the first quarter of the run, at least a minute). It fails when
//   - a navigation or reload gets no load report, an echoed script no console line, or a
//     shown surface no frame for 30 s;
//   - Chromium is lost or its GPU process ends (the log of the browser is read);
//   - from the warm-up to the end the engine's handles grow by more than 16, its private
//     memory by more than 16 MiB, or Chromium's resident memory by more than 256 MiB;
//   - the shutdown does not end with exit code 0, no reference left and Chromium ended.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "protocol/wire.h"
#include "tests/support/chromium_guard.h"
#include "tests/support/fake_client.h"
#include "tests/support/journal.h"
#include "tests/support/journal_tail.h"
#include "tests/support/process_figures.h"
#include "tests/support/process_harness.h"

namespace {

using nimo::test::FakeClient;
using nimo::test::Report;
using nimo::test::Sandbox;
using nimo::test::StandInGpuLayout;
using nimo::test::SandboxProcess;
using nimo_test::JournalEntry;
using nimo_test::ProcessFigures;

constexpr ULONGLONG kAnswerMs = 45000;   // a load report or an echo, on a busy machine
constexpr ULONGLONG kPaintingMs = 30000;  // a shown surface's frames
constexpr long long kHandleBound = 16;
constexpr std::uint64_t kPrivateBound = 16ull << 20;
constexpr std::uint64_t kChromiumBound = 256ull << 20;

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

 private:
  std::uint64_t state_;
};

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
  char value[64];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  if (n == 0 || n >= sizeof value) return fallback;
  return std::strtoull(value, nullptr, 0);
}

ULONGLONG Now() { return GetTickCount64(); }

// A page that moves a little twice a second (frames without a change cost Chromium no
// screenshot), with a button, a field and more height than a view.
std::string PageHtml(const std::string& title) {
  return "<!doctype html><html><head><meta charset=\"utf-8\"><title>" + title +
         "</title><style>"
         "body{margin:0;background:#fff;height:2000px}"
         "#spin{position:absolute;left:10px;top:10px;width:40px;height:40px;background:#c00;"
         "animation:move 4s steps(8) infinite alternate}"
         "@keyframes move{from{transform:translateX(0)}to{transform:translateX(200px)}}"
         "button{position:absolute;left:20px;top:80px;width:120px;height:40px}"
         "input{position:absolute;left:20px;top:140px;width:200px;height:30px}"
         "</style></head><body><div id=\"spin\"></div><button onclick=\"this.textContent=Date.now()\">b</button>"
         "<input></body></html>\n";
}

// The pages' folder on a host path (Chromium runs on the host), removed at the end.
class SoakPages {
 public:
  SoakPages() {
    const std::string name = "nimo-real-soak-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount64());
    unix_ = "/tmp/" + name;
    windows_ = "Z:\\tmp\\" + name;
    ok_ = CreateDirectoryA(windows_.c_str(), nullptr) && Write("index.html", PageHtml("ui")) &&
          Write("pane.html", PageHtml("pane")) && Write("other.html", PageHtml("other"));
  }
  ~SoakPages() {
    for (const char* f : {"index.html", "pane.html", "other.html"}) DeleteFileA((windows_ + "\\" + f).c_str());
    RemoveDirectoryA(windows_.c_str());
  }
  bool ok() const { return ok_; }
  std::string root() const { return windows_; }
  std::string file(const std::string& name) const { return "file:///Z:" + unix_ + "/" + name; }

 private:
  bool Write(const std::string& name, const std::string& text) {
    FILE* f = std::fopen((windows_ + "\\" + name).c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && written;
  }
  std::string unix_, windows_;
  bool ok_ = false;
};

struct Surface {
  std::uint32_t id = 0;
  std::vector<std::string> urls;  // where it may go
  ULONGLONG load_since = 0;       // a load report is awaited since then (0: none)
  std::map<std::string, ULONGLONG> echoes;  // token -> sent
  bool hidden = false;
  ULONGLONG shown_at = 0;
  ULONGLONG last_frame = 0;
  long long frames = 0;
};

struct Figures {
  ULONGLONG at = 0;
  ProcessFigures engine;
  std::uint64_t chromium_rss = 0;
};

class RealSoak {
 public:
  RealSoak(std::uint64_t seed, ULONGLONG seconds) : random_(seed), seconds_(seconds), sandbox_(StandInGpuLayout()) {}
  ~RealSoak() {
    if (process_.running()) process_.Kill();
    nimo_test::EndChromiumOf(nimo_test::Journal::Load(sandbox_.Path("journal.txt")));
  }
  void Run();

 private:
  bool Start();
  void Step();
  void Handle(const Report& r);
  void FollowJournal();
  void CheckDeadlines();
  Figures Sample();
  void Print(const Figures& f, const char* what);
  void Fail(const std::string& what) {
    ++failures_;
    ADD_FAILURE() << "at " << (Now() - start_) / 1000 << " s: " << what;
  }
  void ExpectLoad(Surface& s) {
    s.load_since = Now();
    s.echoes.clear();  // a script sent before may die with its document
  }
  std::string ChromiumLog() const;

  Random random_;
  ULONGLONG seconds_;
  ULONGLONG start_ = 0;
  Sandbox sandbox_;
  FakeClient client_;
  SandboxProcess process_;
  SoakPages pages_;
  std::unique_ptr<nimo_test::JournalTail> tail_;
  Surface surfaces_[4];
  long long chromium_pid_ = 0;
  std::string chromium_folder_;
  long long lost_ = 0, sent_ = 0, echo_counter_ = 0, failures_ = 0;
  std::map<std::string, long long> sent_by_kind_;
};

bool RealSoak::Start() {
  const std::string scenario =
      "chromium\n"
      // Per-frame events would make the journal huge; they are only counted. Released
      // engine objects are kept for a few seconds only, so the stand-in's own memory stays
      // flat and a growth is the product's.
      "quarantine 4000\n"
      "quiet paint.deliver paint.real host.send_external_begin_frame task. cb.get_view_rect host.send_mouse_move_event\n";
  if (!pages_.ok() || !sandbox_.ok() || !sandbox_.WriteFile("scenario.txt", scenario)) return false;
  const std::vector<std::string> env = {"NIMO_STANDIN_JOURNAL=" + sandbox_.Path("journal.txt"),
                                        "NIMO_STANDIN_SCENARIO=" + sandbox_.Path("scenario.txt")};
  const std::string ui = "https://nimo.localhost/index.html";
  surfaces_[0].urls = {ui, ui + "?again", "https://nimo.localhost/other.html"};
  for (std::uint32_t id = 1; id < 4; ++id) {
    surfaces_[id].urls = {pages_.file("pane.html"), pages_.file("other.html"), pages_.file("pane.html") + "?again"};
  }
  surfaces_[2].urls.push_back("https://soak.invalid/");  // offline: a load error
  if (!sandbox_.Start("--nimomp-browser " + client_.PipeSwitches() + " --nimomp-url=" + ui +
                          " --nimomp-ui-root=" + pages_.root(),
                      env, &process_)) {
    return false;
  }
  for (int i = 0; i < 75 && !client_.WaitConnected(200); ++i) {
    if (!process_.running()) return false;
  }
  if (!client_.Handshake(15000)) return false;
  tail_.reset(new nimo_test::JournalTail(sandbox_.Path("journal.txt")));
  start_ = Now();
  for (std::uint32_t id = 0; id < 4; ++id) {
    Surface& s = surfaces_[id];
    s.id = id;
    s.shown_at = start_;
    ExpectLoad(s);
    if (id > 0) client_.SendSurfaceCommand(nimo::kMsgCreateSurface, id, 640, 360, 0, s.urls[0]);
  }
  return true;
}

void RealSoak::Step() {
  Surface& s = surfaces_[random_.Below(4)];
  const std::uint32_t pick = random_.Below(100);
  const std::uint32_t x = random_.Below(400), y = random_.Below(300);
  const std::uint64_t at = (static_cast<std::uint64_t>(y) << 16) | x;
  std::string kind;
  if (pick < 6) {
    kind = "navigate";
    ExpectLoad(s);
    client_.SendSurfaceCommand(nimo::kMsgNavigate, s.id, 0, 0, 0, s.urls[random_.Below(static_cast<std::uint32_t>(s.urls.size()))]);
  } else if (pick < 10) {
    kind = "reload";
    ExpectLoad(s);
    client_.SendSurfaceCommand(nimo::kMsgReload, s.id, 0, 0, random_.Below(2));
  } else if (pick < 30) {
    if (s.load_since) return;  // echoes go to a page that has loaded
    kind = "script";
    const std::string token = std::to_string(++echo_counter_);
    s.echoes[token] = Now();
    client_.SendSurfaceCommand(nimo::kMsgExecuteScript, s.id, 0, 0, 0, "console.log('soak-echo " + token + "')");
  } else if (pick < 38) {
    kind = "resize";
    static const std::uint32_t sizes[][2] = {{640, 360}, {480, 300}, {800, 450}, {320, 200}};
    const auto& size = sizes[random_.Below(4)];
    client_.SendSurfaceCommand(nimo::kMsgResizeSurface, s.id, size[0], size[1], 0);
  } else if (pick < 43) {
    kind = "focus";
    client_.SendSurfaceCommand(nimo::kMsgSetFocus, s.id, 0, 0, random_.Below(2));
  } else if (pick < 47) {
    kind = "hidden";
    s.hidden = !s.hidden;
    if (!s.hidden) s.shown_at = Now();
    client_.SendSurfaceCommand(nimo::kMsgSetHidden, s.id, 0, 0, s.hidden ? 1 : 0);
  } else if (pick < 65) {
    kind = "click";
    client_.SendInput(s.id, WM_LBUTTONDOWN, MK_LBUTTON, at, 0);
    client_.SendInput(s.id, WM_LBUTTONUP, 0, at, 0);
  } else if (pick < 80) {
    kind = "move";
    client_.SendInput(s.id, WM_MOUSEMOVE, 0, at, 0);
  } else if (pick < 88) {
    kind = "wheel";
    const std::uint16_t delta = random_.Below(2) ? 120 : static_cast<std::uint16_t>(-120);
    client_.SendInput(s.id, WM_MOUSEWHEEL, static_cast<std::uint64_t>(delta) << 16, at, 0);
  } else {
    kind = "key";
    const std::uint32_t letter = 'A' + random_.Below(26);
    client_.SendInput(s.id, WM_KEYDOWN, letter, 1, 0);
    client_.SendInput(s.id, WM_CHAR, letter - 'A' + 'a', 1, 0);
    client_.SendInput(s.id, WM_KEYUP, letter, 0xC0000001u, 0);
  }
  ++sent_;
  ++sent_by_kind_[kind];
}

void RealSoak::Handle(const Report& r) {
  if (r.surface_id() >= 4) return;
  Surface& s = surfaces_[r.surface_id()];
  if (r.type == nimo::kMsgFrameReady) {
    s.last_frame = Now();
    ++s.frames;
  } else if (r.type == nimo::kMsgLoadEvent) {
    s.load_since = 0;
  } else if (r.type == nimo::kMsgConsoleLine) {
    const std::string text = r.text();
    const std::size_t at = text.find("soak-echo ");
    if (at == std::string::npos) return;
    const std::size_t end = text.find(' ', at + 10);
    s.echoes.erase(text.substr(at + 10, end == std::string::npos ? std::string::npos : end - at - 10));
  }
}

void RealSoak::FollowJournal() {
  for (const JournalEntry& e : tail_->Poll()) {
    if (e.event == "chromium.started") {
      chromium_pid_ = e.Int("pid");
      chromium_folder_ = e.Get("folder");
    } else if (e.event == "chromium.lost" || e.event == "chromium.failed") {
      ++lost_;
      Fail(e.event + " (pid " + e.Get("pid") + ")");
    }
  }
}

void RealSoak::CheckDeadlines() {
  const ULONGLONG now = Now();
  for (Surface& s : surfaces_) {
    const std::string id = "surface " + std::to_string(s.id);
    if (s.load_since && now - s.load_since > kAnswerMs) {
      Fail(id + ": no load report");
      s.load_since = 0;
    }
    for (auto it = s.echoes.begin(); it != s.echoes.end();) {
      if (now - it->second > kAnswerMs) {
        Fail(id + ": no console line for echo " + it->first);
        it = s.echoes.erase(it);
      } else {
        ++it;
      }
    }
    const ULONGLONG since = std::max(s.last_frame, s.shown_at);
    if (!s.hidden && now - since > kPaintingMs) {
      Fail(id + ": no frame for " + std::to_string((now - since) / 1000) + " s");
      s.shown_at = now;
    }
  }
}

Figures RealSoak::Sample() {
  Figures f;
  f.at = Now();
  f.engine = nimo_test::SampleProcess(process_.handle());
  f.chromium_rss = chromium_pid_ > 0 ? nimo_test::HostTreeRssBytes(chromium_pid_) : 0;
  return f;
}

void RealSoak::Print(const Figures& f, const char* what) {
  std::printf("real soak %4llu s%s: engine handles %lu, private %.1f MiB, chromium rss %.1f MiB, commands %lld, "
              "frames %lld/%lld/%lld/%lld\n",
              static_cast<unsigned long long>((f.at - start_) / 1000), what, static_cast<unsigned long>(f.engine.handles),
              f.engine.private_bytes / 1048576.0, f.chromium_rss / 1048576.0, sent_, surfaces_[0].frames,
              surfaces_[1].frames, surfaces_[2].frames, surfaces_[3].frames);
  std::fflush(stdout);
}

std::string RealSoak::ChromiumLog() const {
  std::string path = "Z:" + chromium_folder_ + "/chromium.log";
  for (char& c : path) c = c == '/' ? '\\' : c;
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

std::size_t CountOf(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Least-squares slope of a figure over the samples, per minute.
double PerMinute(const std::vector<Figures>& samples, double (*value)(const Figures&)) {
  if (samples.size() < 2) return 0;
  double mt = 0, mv = 0;
  for (const Figures& f : samples) {
    mt += f.at / 60000.0;
    mv += value(f);
  }
  mt /= samples.size();
  mv /= samples.size();
  double num = 0, den = 0;
  for (const Figures& f : samples) {
    const double dt = f.at / 60000.0 - mt;
    num += dt * (value(f) - mv);
    den += dt * dt;
  }
  return den > 0 ? num / den : 0;
}

void RealSoak::Run() {
  if (!Start()) {
    ADD_FAILURE() << "the engine did not start and connect:\n" << sandbox_.ReadLog();
    return;
  }
  const ULONGLONG end = start_ + seconds_ * 1000;
  const ULONGLONG warm = start_ + std::max<ULONGLONG>(60000, seconds_ * 1000 / 4);
  std::vector<Figures> after_warm;
  ULONGLONG next_sample = start_ + 30000, next_command = start_ + 5000, next_check = start_;
  Report r;
  while (Now() < end && failures_ < 10 && process_.running()) {
    while (client_.Read(&r, 5)) Handle(r);
    const ULONGLONG now = Now();
    if (now >= next_check) {
      FollowJournal();
      CheckDeadlines();
      next_check = now + 1000;
    }
    if (now >= next_sample) {
      next_sample += 30000;
      const Figures f = Sample();
      Print(f, now >= warm ? "" : " (warm-up)");
      if (now >= warm) after_warm.push_back(f);
    }
    // About ten commands a second: a real page takes its time for each.
    if (now >= next_command) {
      Step();
      next_command = now + 50 + random_.Below(100);
    }
  }
  // Everything asked is answered; every surface shown again.
  for (Surface& s : surfaces_) {
    if (s.hidden) {
      s.hidden = false;
      s.shown_at = Now();
      client_.SendSurfaceCommand(nimo::kMsgSetHidden, s.id, 0, 0, 0);
    }
  }
  const ULONGLONG settle = Now() + kAnswerMs;
  auto quiet = [this] {
    for (const Surface& s : surfaces_) {
      if (s.load_since || !s.echoes.empty()) return false;
    }
    return true;
  };
  while (!quiet() && Now() < settle && process_.running()) {
    while (client_.Read(&r, 20)) Handle(r);
    FollowJournal();
  }
  CheckDeadlines();
  FollowJournal();
  const Figures last = Sample();
  Print(last, " (end)");
  const std::string log = ChromiumLog();
  const std::size_t overlapping = CountOf(log, "overlapping IssueExternalBeginFrame");
  const std::size_t gpu_ended = CountOf(log, "GPU process exited unexpectedly");

  client_.SendShutdown();
  EXPECT_TRUE(client_.WaitClosed(20000)) << "the engine kept its end of the pipe open after Shutdown";
  const nimo::test::RunResult result = process_.Wait(20000);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(0u, result.exit_code);
  const nimo_test::Journal journal = nimo_test::Journal::Load(sandbox_.Path("journal.txt"));
  const JournalEntry* refs = journal.First("refs");
  ASSERT_NE(nullptr, refs) << "no reference summary";
  EXPECT_EQ(0, refs->Int("leaks", -1)) << journal.DescribeLeaks();
  EXPECT_EQ(0, refs->Int("overreleases", -1));
  const JournalEntry* stopped = journal.First("chromium.stopped");
  ASSERT_NE(nullptr, stopped);
  EXPECT_EQ(1, stopped->Int("ended"));
  EXPECT_EQ(0, nimo_test::EndChromiumOf(journal)) << "Chromium outlived the engine";
  EXPECT_EQ(0u, overlapping) << "Chromium refused overlapping begin frames";
  EXPECT_EQ(0u, gpu_ended) << "Chromium's GPU process ended";
  EXPECT_EQ(0, lost_);

  ASSERT_FALSE(after_warm.empty()) << "the run ended before its warm-up did";
  const Figures first = after_warm.front();  // a copy: the end is added to the list below
  const long long handle_growth = static_cast<long long>(last.engine.handles) - first.engine.handles;
  const long long private_growth = static_cast<long long>(last.engine.private_bytes - first.engine.private_bytes);
  const long long rss_growth = static_cast<long long>(last.chromium_rss - first.chromium_rss);
  after_warm.push_back(last);
  const double minutes = (last.at - first.at) / 60000.0;
  std::printf("real soak: %llu s, %lld commands:", static_cast<unsigned long long>((last.at - start_) / 1000), sent_);
  for (const auto& k : sent_by_kind_) std::printf(" %s=%lld", k.first.c_str(), k.second);
  std::printf("\nreal soak after warm-up (%.1f min): engine handles %lu -> %lu (%+.2f/min), private %.1f -> %.1f MiB "
              "(%+.3f MiB/min), chromium rss %.1f -> %.1f MiB (%+.2f MiB/min); chromium log: %zu overlapping begin "
              "frames, %zu GPU process ends\n",
              minutes, static_cast<unsigned long>(first.engine.handles), static_cast<unsigned long>(last.engine.handles),
              PerMinute(after_warm, [](const Figures& f) { return static_cast<double>(f.engine.handles); }),
              first.engine.private_bytes / 1048576.0, last.engine.private_bytes / 1048576.0,
              PerMinute(after_warm, [](const Figures& f) { return f.engine.private_bytes / 1048576.0; }),
              first.chromium_rss / 1048576.0, last.chromium_rss / 1048576.0,
              PerMinute(after_warm, [](const Figures& f) { return f.chromium_rss / 1048576.0; }), overlapping,
              gpu_ended);
  std::fflush(stdout);
  EXPECT_LE(handle_growth, kHandleBound) << "engine handles grew";
  EXPECT_LE(private_growth, static_cast<long long>(kPrivateBound)) << "engine private memory grew";
  EXPECT_LE(rss_growth, static_cast<long long>(kChromiumBound)) << "Chromium's memory grew";
}

TEST(RealSoak, FourRealSurfacesUnderEveryCommand) {
  const ULONGLONG seconds = EnvNumber("NIMO_REAL_SOAK_SECONDS", 600);
  const std::uint64_t seed =
      EnvNumber("NIMO_SOAK_SEED", (static_cast<std::uint64_t>(GetTickCount64()) << 16) ^ GetCurrentProcessId());
  std::printf("real soak: %llu s, seed 0x%016" PRIx64 " (repeat with NIMO_SOAK_SEED=0x%016" PRIx64 ")\n",
              static_cast<unsigned long long>(seconds), seed, seed);
  std::fflush(stdout);
  RealSoak soak(seed, seconds);
  soak.Run();
}

}  // namespace
