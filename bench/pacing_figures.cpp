#include "bench/pacing_figures.h"

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "bench/frame_session.h"
#include "protocol/pacing_messages.h"
#include "protocol/wire.h"
#include "tests/support/chromium_guard.h"

namespace nimo_bench {

using nimo::test::Report;
using nimo_test::JournalEntry;

namespace {

constexpr int kWidth = 1280, kHeight = 720;
constexpr DWORD kStillMs = 10000;
constexpr DWORD kClockMs = 5000;

const char kStillPage[] =
    "<!doctype html><html><head><style>body{margin:0;background:#20242c;color:#eee;font:24px sans-serif}"
    "li{margin:12px}</style></head><body><h1 style='margin:40px'>Main menu</h1><ul><li>Play</li><li>Options</li>"
    "<li>Quit</li></ul></body></html>\n";

const char kAnimatedPage[] =
    "<!doctype html><html><head><style>body{margin:0;background:#fff}"
    "#sq{position:absolute;left:0;top:300px;width:80px;height:80px;background:#c03030;"
    "animation:move 2s linear infinite alternate}@keyframes move{to{transform:translateX(1180px)}}"
    "</style></head><body><div id='sq'></div></body></html>\n";

bool WriteText(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

long long CpuMicros(HANDLE process) {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return -1;
  auto micros = [](const FILETIME& t) {
    return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10;
  };
  return micros(kernel) + micros(user);
}

bool IsFrame(const Report& r) {
  return r.type == nimo::kMsgFrameReady && r.payload.size() == nimo::kFrameReadyPayloadSize;
}

// Reads reports for `ms`, counting FrameReady.
std::size_t CountFrames(FrameSession& s, DWORD ms) {
  std::size_t frames = 0;
  Report r;
  for (const ULONGLONG start = GetTickCount64(); GetTickCount64() - start < ms;) {
    if (s.client().Read(&r, 10) && IsFrame(r)) ++frames;
  }
  return frames;
}

struct StillRun {
  bool started = false;
  long long cpu_us = -1;        // the engine process over the window
  long long standin_us = 0;     // the stand-in's PNG decoding and frame comparison in that window
  std::size_t frames = 0;       // FrameReady read in the window
  std::size_t begin_frames = 0; // asked of the engine in the window
  std::size_t paints = 0;       // frames the stand-in painted in the window
  std::vector<long long> screenshot_us;  // Chromium's answer to each begin frame with damage
  long exit_code = -1;
};

// The stand-in's scripted page in place of a real one: a still page whose one pixel changes
// on every frame, as the probe's marker makes it (`changing`), or that never changes.
std::string ScriptedStill(bool changing) {
  return std::string("quiet host.send_external_begin_frame paint.deliver paint.delivered\n"
                     "page *\nload_start\nload_end\n") +
         (changing ? "paint animate=1 dirty=\"0,0,1,1\"\n" : "") + "end\n";
}

// Four surfaces on the still page; `probe_off`: a protocol-3 client that turns the probe off
// before the surfaces exist (surface 0 is on its way already: its probe is stopped in the page).
// With a `scenario` the pages are the stand-in's scripted ones, `cpu` the CPU paint path.
StillRun Still(const std::string& url, bool probe_off, const std::string& scenario = "chromium\n",
               bool cpu = false) {
  StillRun out;
  FrameSessionOptions options;
  options.scenario = scenario;
  options.url = url;
  if (cpu) options.flag_files = {"ZUNT_WEB_CPUFRAMES"};
  options.protocol = probe_off ? 3 : 2;
  FrameSession s(options);
  if (!s.Start()) return out;
  out.started = true;
  if (probe_off) {
    for (std::uint32_t id = 0; id < 4; ++id) {
      s.client().SendRaw(nimo::protocol::SetFramePacing(id, nimo::kPacingEngineClock, 0, nimo::kPacingFlagNoProbe));
    }
  }
  for (std::uint32_t id = 1; id < 4; ++id) {
    s.client().SendSurfaceCommand(nimo::kMsgCreateSurface, id, kWidth, kHeight, 0, url);
  }
  // Loads, first paints and the probe's last change settle first.
  CountFrames(s, 4000);
  const long long from = NowMicros();
  const long long cpu0 = CpuMicros(s.engine_process());
  out.frames = CountFrames(s, kStillMs);
  const long long cpu1 = CpuMicros(s.engine_process());
  const long long to = NowMicros();
  if (cpu0 >= 0 && cpu1 >= 0) out.cpu_us = cpu1 - cpu0;
  out.exit_code = s.Stop();
  const nimo_test::Journal journal = s.journal();
  nimo_test::EndChromiumOf(journal);
  for (const JournalEntry& e : journal.Events("paint.real")) {
    if (e.micros < from || e.micros > to) continue;
    out.standin_us += e.Int("decode_us") + e.Int("diff_us");
    out.screenshot_us.push_back(e.Int("screenshot_us"));
    ++out.paints;
  }
  for (const JournalEntry& e : journal.Events("host.send_external_begin_frame")) {
    if (e.micros >= from && e.micros <= to) ++out.begin_frames;
  }
  return out;
}

struct ClockRun {
  bool started = false;
  std::vector<long long> latency;  // first call after the previous frame -> this FrameReady
  std::size_t calls = 0, frames = 0;
  long exit_code = -1;
};

// Surface 0 on the animated page, on the client's clock at `rate` BeginFrame calls a second;
// with a `scenario`, on the stand-in's scripted page instead.
ClockRun Clock(const std::string& url, int rate, const std::string& scenario = "chromium\n") {
  ClockRun out;
  FrameSessionOptions options;
  options.scenario = scenario + "quiet host.send_external_begin_frame\n";
  options.url = url;
  options.protocol = 3;
  FrameSession s(options);
  if (!s.Start()) return out;
  out.started = true;
  s.client().SendRaw(nimo::protocol::SetFramePacing(0, nimo::kPacingClientClock, 0, nimo::kPacingFlagNoProbe));
  // The page loads on begin frames of the client's too.
  const long long interval = 1000000 / rate;
  auto drive = [&](long long until, bool measure) {
    long long next = NowMicros();
    long long first_unanswered = -1;
    Report r;
    while (NowMicros() < until) {
      const long long now = NowMicros();
      if (now >= next) {
        next += interval;
        if (s.client().SendRaw(nimo::protocol::BeginFrame(0)) && measure) {
          ++out.calls;
          if (first_unanswered < 0) first_unanswered = now;
        }
      }
      if (!s.client().Read(&r, 1) || !IsFrame(r)) continue;
      if (!measure || first_unanswered < 0) continue;
      ++out.frames;
      out.latency.push_back(NowMicros() - first_unanswered);
      first_unanswered = -1;
    }
  };
  drive(NowMicros() + 3000000, false);
  drive(NowMicros() + static_cast<long long>(kClockMs) * 1000, true);
  out.exit_code = s.Stop();
  nimo_test::EndChromiumOf(s.journal());
  return out;
}

}  // namespace

void MeasurePacing(Table* table) {
  using T = Row::Target;
  const std::string name =
      "nimo-bench-pacing-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
  const std::string folder = "Z:\\tmp\\" + name;
  if (!CreateDirectoryA(folder.c_str(), nullptr) || !WriteText(folder + "\\still.html", kStillPage) ||
      !WriteText(folder + "\\animated.html", kAnimatedPage)) {
    std::printf("pacing: cannot write the pages under Z:\\tmp\n");
    return;
  }
  const std::string still = "file:///Z:/tmp/" + name + "/still.html";
  const std::string animated = "file:///Z:/tmp/" + name + "/animated.html";
  const StillRun with_probe = Still(still, false);
  const StillRun without = Still(still, true);
  const StillRun scripted_on = Still("about:blank#ui", false, ScriptedStill(true));
  const StillRun scripted_off = Still("about:blank#ui", true, ScriptedStill(false));
  const StillRun scripted_cpu_on = Still("about:blank#ui", false, ScriptedStill(true), true);
  const StillRun scripted_cpu_off = Still("about:blank#ui", true, ScriptedStill(false), true);
  const ClockRun at30 = Clock(animated, 30);
  const ClockRun at144 = Clock(animated, 144);
  // A scripted page that changes on every frame opportunity: the engine's own path from the
  // call to the frame, without Chromium's screenshot.
  const std::string moving = "page *\nload_start\nload_end\npaint animate=1 dirty=\"0,0,64,64\"\nend\n";
  const ClockRun scripted30 = Clock("about:blank#ui", 30, moving);
  const ClockRun scripted144 = Clock("about:blank#ui", 144, moving);
  DeleteFileA((folder + "\\still.html").c_str());
  DeleteFileA((folder + "\\animated.html").c_str());
  RemoveDirectoryA(folder.c_str());

  char note[240];
  struct StillRow {
    const char* name;
    const StillRun& run;
  };
  const StillRow stills[] = {{"probe on (protocol 2)", with_probe},
                             {"probe off", without},
                             {"scripted, a pixel changing per frame", scripted_on},
                             {"scripted, nothing changing", scripted_off},
                             {"scripted CPU path, a pixel changing per frame", scripted_cpu_on},
                             {"scripted CPU path, nothing changing", scripted_cpu_off}};
  for (const StillRow& st : stills) {
    if (!st.run.started) {
      std::printf("pacing: the engine did not start (%s)\n", st.name);
      continue;
    }
    const double seconds = kStillMs / 1000.0;
    const bool real = st.run.begin_frames > 0 || st.run.paints > 0;
    if (real) {
      std::snprintf(note, sizeof note,
                    "4 real pages %dx%d, %.0f s; %.1f%% of one core; the stand-in's PNG decode and compare in it: "
                    "%.2f s of wall time; %zu begin frames; exit %ld",
                    kWidth, kHeight, seconds, st.run.cpu_us / 1e4 / seconds, st.run.standin_us / 1e6,
                    st.run.begin_frames, st.run.exit_code);
    } else {
      std::snprintf(note, sizeof note, "4 scripted pages %dx%d, %.0f s; %.1f%% of one core; exit %ld", kWidth, kHeight,
                    seconds, st.run.cpu_us / 1e4 / seconds, st.run.exit_code);
    }
    char figure[96];
    std::snprintf(figure, sizeof figure, "still UI, %s: engine CPU (s)", st.name);
    table->Add({"pacing", figure, 0, st.run.cpu_us / 1e6, T::kNone, 0, note});
    std::snprintf(figure, sizeof figure, "still UI, %s: frames announced", st.name);
    const Percentiles shot = Of(st.run.screenshot_us);
    std::snprintf(note, sizeof note, "the stand-in painted %zu; Chromium's screenshot p50 %.0f us", st.run.paints,
                  shot.p50);
    table->Add({"pacing", figure, 0, static_cast<double>(st.run.frames), T::kNone, 0, real ? note : ""});
  }
  struct Clocked {
    int rate;
    const char* page;
    const ClockRun& run;
  };
  const Clocked clocks[] = {{30, "real", at30}, {144, "real", at144}, {30, "scripted", scripted30},
                            {144, "scripted", scripted144}};
  for (const Clocked& c : clocks) {
    if (!c.run.started) {
      std::printf("pacing: the engine did not start (client clock %d)\n", c.rate);
      continue;
    }
    const Percentiles p = Of(c.run.latency);
    const double per_call = c.run.calls ? static_cast<double>(c.run.frames) / c.run.calls : 0;
    std::snprintf(note, sizeof note,
                  "surface 0 %dx%d, %s, %u s; from the first call after the previous frame; p99 %.0f us; "
                  "%zu calls, %zu frames; exit %ld",
                  kWidth, kHeight,
                  c.page[0] == 'r' ? "a real page's CSS animation" : "a scripted page changing per frame",
                  static_cast<unsigned>(kClockMs / 1000), p.p99, c.run.calls, c.run.frames, c.run.exit_code);
    char figure[96];
    std::snprintf(figure, sizeof figure, "client clock %d/s, %s page: BeginFrame→FrameReady p50 (us)", c.rate,
                  c.page);
    table->Add({"pacing", figure, 0, p.p50, T::kNone, 0, note});
    std::snprintf(figure, sizeof figure, "client clock %d/s, %s page: BeginFrame→FrameReady p99 (us)", c.rate,
                  c.page);
    table->Add({"pacing", figure, 0, p.p99, T::kNone, 0, ""});
    std::snprintf(figure, sizeof figure, "client clock %d/s, %s page: frames per call", c.rate, c.page);
    table->Add({"pacing", figure, 0, per_call, T::kNone, 0, ""});
  }
}

}  // namespace nimo_bench
