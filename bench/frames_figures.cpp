#include "bench/frames_figures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/frame_session.h"
#include "bench/latency_rows.h"
#include "bench/paint_latency.h"
#include "bench/raw_stream.h"
#include "protocol/wire.h"

namespace nimo_bench {

using nimo::FrameReadyPayload;
using nimo::test::Report;
using nimo_test::JournalEntry;
using nimo_test::ScenarioWriter;

namespace {

constexpr int kFrameSamples = 1300;  // over ten seconds: one statistics window
constexpr int kFrameSpacingMs = 8;
constexpr std::uint32_t kGpuSurface = 0;  // the UI surface: shared textures
constexpr std::uint32_t kCpuSurface = 2;  // always the CPU path
constexpr int kCpuWidth = 320, kCpuHeight = 200;
// The latency run keeps both views small, so the figure is the callback's and the link's
// cost rather than the stand-in GPU's memory copies.
constexpr int kLatencyWidth = 64, kLatencyHeight = 64;
const char kCpuUrl[] = "https://bench.test/cpu";
constexpr DWORD kSlowPipeBuffer = 256;  // holds a handful of frames: the queue takes the rest
const char kPerfCopyLine[] = "[nimo-webengine][perf] COPY   paints ";
const char kPerfUiLine[] = "[nimo-webengine][perf] uithread: ";

bool IsFrameReady(const Report& r) {
  return r.type == nimo::kMsgFrameReady && r.payload.size() == nimo::kFrameReadyPayloadSize;
}

// Paints spaced so that none waits for another; a small dirty rectangle keeps the copy
// cheap, so the figure is the callback's and the link's cost.
std::vector<std::string> SpacedPaints() {
  std::vector<std::string> actions = {"load_start", "load_end", "wait 800"};
  for (int i = 0; i < kFrameSamples; ++i) {
    char paint[96];
    std::snprintf(paint, sizeof paint, "paint pattern=solid color=0xFF%06X dirty=\"0,0,16,16\"", 0x102030 + i);
    actions.push_back(paint);
    actions.push_back("wait " + std::to_string(kFrameSpacingMs));
  }
  return actions;
}

// The figures of one "[perf]" window, parsed from the engine's log.
struct PerfWindow {
  double paints_per_s = 0, open_avg = 0, copy_avg = 0, copy_max = 0, write_avg = 0, write_max = 0;
  long writes = 0, coalesced = 0, dropped = 0;
  double task_avg = 0, task_max = 0;
  long pings = 0;
  bool ok = false;
};

std::vector<PerfWindow> PerfWindows(const std::string& log) {
  std::vector<PerfWindow> out;
  std::size_t at = 0;
  while ((at = log.find(kPerfCopyLine, at)) != std::string::npos) {
    PerfWindow w;
    const char* line = log.c_str() + at + std::strlen(kPerfCopyLine);
    double open_max = 0;
    w.ok = std::sscanf(line,
                       "%lf/s | open avg %lfus max %lfus | copy avg %lfus max %lfus | write avg %lfus max %lfus "
                       "(%ld) | coalesced %ld dropped %ld",
                       &w.paints_per_s, &w.open_avg, &open_max, &w.copy_avg, &w.copy_max, &w.write_avg, &w.write_max,
                       &w.writes, &w.coalesced, &w.dropped) == 10;
    const std::size_t ui = log.find(kPerfUiLine, at);
    if (ui != std::string::npos) {
      const char* latency = std::strstr(log.c_str() + ui, "task latency avg ");
      if (latency) std::sscanf(latency, "task latency avg %lfus max %lfus over %ld pings", &w.task_avg, &w.task_max, &w.pings);
    }
    out.push_back(w);
    at += std::strlen(kPerfCopyLine);
  }
  return out;
}

// One path at a time; the client notes when it read each FrameReady, the stand-in engine's
// journal when it called the paint callback and how long its GPU worked inside the call,
// the engine's log when it handed each frame to WriteFile; a raw pipe is read meanwhile.
void MeasurePath(bool shared_texture, const std::string& program, PathRuns* total) {
  const std::uint32_t surface = shared_texture ? kGpuSurface : kCpuSurface;
  ScenarioWriter scenario;
  scenario.Page(shared_texture ? "about:blank#ui" : kCpuUrl, SpacedPaints());
  FrameSessionOptions options;
  options.scenario = scenario.Text();
  options.program = program;
  options.switches = "--nimomp-frame-stamps=1";
  FrameSession s(options);
  if (!s.Start()) {
    std::printf("frame latency: the engine did not start\n");
    total->Failed();
    return;
  }
  if (shared_texture) {
    s.client().SendSurfaceCommand(nimo::kMsgResizeSurface, kGpuSurface, kLatencyWidth, kLatencyHeight, 0);
  } else {
    s.client().SendSurfaceCommand(nimo::kMsgCreateSurface, kCpuSurface, kLatencyWidth, kLatencyHeight, 0, kCpuUrl);
  }
  ConcurrentRawPipe raw;
  if (!raw.Start(kFrameSpacingMs, kFrameSamples)) std::printf("frame latency: the raw peer did not start\n");
  std::vector<long long> received;
  const ULONGLONG deadline = GetTickCount64() + 60000;
  Report r;
  // The page's paints end; reading stops when it went quiet after the last one.
  while (GetTickCount64() < deadline) {
    if (!s.client().Read(&r, 1500)) break;
    if (!IsFrameReady(r)) continue;
    const long long now = NowMicros();
    const FrameReadyPayload p = nimo::DecodeFrameReady(r.payload.data());
    if (p.surface_id == surface && p.width == kLatencyWidth && p.height == kLatencyHeight) received.push_back(now);
  }
  const std::vector<long long> raw_loaded = raw.Finish();
  const long exit_code = s.Stop();
  const std::vector<PaintCall> calls =
      PaintCalls(s.journal(), shared_texture ? "gpu" : "cpu", kLatencyWidth, kLatencyHeight);
  total->Add(PairWithReads(calls, received), calls, received.size(), s.log(), surface, raw_loaded, exit_code);
}

void FrameLatency(const RawFigures& earlier, const std::string& before_program, Table* table) {
  // The raw pipe on its own, for comparison only: the rows set each figure beside the raw
  // pipe read during the same runs.
  RawFigures idle = earlier;
  RawFigures fresh;
  if (MeasureRawLatency(&fresh, kFrameSpacingMs)) idle = fresh;
  // With an engine to compare, both run in alternating order, so that a change in the
  // machine's load weighs on both alike.
  const std::string current = FrameSessionOptions().program;
  const bool compare = !before_program.empty();
  PathRuns now[2], before[2];
  for (int round = 0; round < kLatencyRounds; ++round) {
    for (int path = 0; path < 2; ++path) {
      const bool before_first = compare && (round + path) % 2 == 1;
      if (before_first) MeasurePath(path == 0, before_program, &before[path]);
      MeasurePath(path == 0, current, &now[path]);
      if (compare && !before_first) MeasurePath(path == 0, before_program, &before[path]);
    }
  }
  using T = Row::Target;
  static const char* const kNames[] = {"shared texture", "CPU buffer"};
  char what[160];
  std::snprintf(what, sizeof what, "scripted paints %d ms apart; raw: %zu-byte messages as far apart", kFrameSpacingMs,
                kLatencyMessage);
  for (int i = 0; i < 2; ++i) AddLatencyRows("frames", kNames[i], now[i], what, idle.from_peer, 1.5, 2, table);
  if (compare) {
    for (int i = 0; i < 2; ++i) {
      AddLatencyRows("frames, before: " + before_program, kNames[i], before[i], what, idle.from_peer, 1.5, 2, table);
    }
  }
  struct Path {
    const char* name;
    const PathRuns& figures;
  };
  const Path paths[] = {{"shared texture", now[0]}, {"CPU buffer", now[1]}};
  char figure[96], note[240];
  // The stand-in's share, apart: what it spent inside the product's paint call.
  for (const Path& path : paths) {
    const Percentiles with_gpu = Of(path.figures.latency.with_gpu), standin = Of(path.figures.latency.standin_gpu);
    std::snprintf(note, sizeof note,
                  "not the product's: in-memory copies and texture opens; p99 %.0f us; call→read with it p50 %.0f "
                  "p99 %.0f us",
                  standin.p99, with_gpu.p50, with_gpu.p99);
    std::snprintf(figure, sizeof figure, "scripted page: GPU in %s paint p50 (us)", path.name);
    table->Add({"stand-in", figure, 0, standin.p50, T::kNone, 0, note});
  }
}

struct ReadPhase {
  std::map<std::uint32_t, long> frames;  // FrameReady read, by surface
  long long start = 0, end = 0;
};

// Reads until the log holds `perf_lines` statistics windows; with `gap_ms` the client
// sleeps that long before each read (a slow client).
ReadPhase ReadUntilWindow(FrameSession& s, std::size_t perf_lines, DWORD gap_ms, DWORD timeout_ms) {
  ReadPhase phase;
  phase.start = NowMicros();
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  ULONGLONG next_check = 0;
  Report r;
  while (GetTickCount64() < deadline) {
    if (gap_ms) Sleep(gap_ms);
    if (s.client().Read(&r, 20) && IsFrameReady(r)) ++phase.frames[nimo::DecodeFrameReady(r.payload.data()).surface_id];
    if (GetTickCount64() >= next_check) {
      if (CountOf(s.log(), kPerfCopyLine) >= perf_lines) break;
      next_check = GetTickCount64() + 200;
    }
  }
  phase.end = NowMicros();
  return phase;
}

double PaintsPerSecond(const std::vector<JournalEntry>& delivers, long long from, long long to, std::size_t* surfaces) {
  std::map<long long, long> by_browser;
  for (const JournalEntry& e : delivers) {
    if (e.micros >= from && e.micros < to && e.Int("type") == 0) ++by_browser[e.Int("browser")];
  }
  *surfaces = by_browser.size();
  long total = 0;
  for (const auto& b : by_browser) total += b.second;
  return to > from ? total * 1e6 / static_cast<double>(to - from) : 0;
}

void FourSurfacesSlowClient(Table* table) {
  ScenarioWriter scenario;
  // Every frame opportunity paints a changed square, and only the square is announced.
  const std::vector<std::string> animate = {"load_start", "load_end", "paint pattern=gradient animate=1 dirty=\"0,0,32,32\""};
  scenario.Page("about:blank#*", animate);
  scenario.Page(kCpuUrl, animate);
  scenario.Line("quiet cb.get_view_rect");
  FrameSessionOptions options;
  options.scenario = scenario.Text();
  options.pipe_buffer = kSlowPipeBuffer;
  FrameSession s(options);
  if (!s.Start()) {
    std::printf("four surfaces: the engine did not start\n");
    return;
  }
  s.client().SendSurfaceCommand(nimo::kMsgCreateSurface, 1, kCpuWidth, kCpuHeight, 0, "about:blank#one");
  s.client().SendSurfaceCommand(nimo::kMsgCreateSurface, 2, kCpuWidth, kCpuHeight, 0, kCpuUrl);
  s.client().SendSurfaceCommand(nimo::kMsgCreateSurface, 3, kCpuWidth, kCpuHeight, 0, "about:blank#three");
  // The first window starts with the first paint; the client keeps up during it, then
  // reads one report every 100 ms for the second, then drains what waited.
  const ReadPhase fast = ReadUntilWindow(s, 1, 0, 30000);
  const ReadPhase slow = ReadUntilWindow(s, 2, 100, 30000);
  // Hidden surfaces stop painting, so what the client finds now is what waited for it:
  // the frames in the pipe's buffer and at most one queued FrameReady per surface.
  for (std::uint32_t id = 0; id < 4; ++id) s.client().SendSurfaceCommand(nimo::kMsgSetHidden, id, 0, 0, 1);
  Sleep(500);
  std::map<std::uint32_t, long> backlog;
  Report r;
  while (s.client().Read(&r, 300)) {
    if (IsFrameReady(r)) ++backlog[nimo::DecodeFrameReady(r.payload.data()).surface_id];
  }
  const long exit_code = s.Stop();
  const std::vector<PerfWindow> windows = PerfWindows(s.log());
  const std::vector<JournalEntry> delivers = s.journal().Events("paint.deliver");
  std::size_t fast_surfaces = 0, slow_surfaces = 0;
  const double fast_pace = PaintsPerSecond(delivers, fast.start, fast.end, &fast_surfaces);
  const double slow_pace = PaintsPerSecond(delivers, slow.start, slow.end, &slow_surfaces);
  long read_fast = 0, read_slow = 0, waiting = 0;
  for (const auto& f : fast.frames) read_fast += f.second;
  for (const auto& f : slow.frames) read_slow += f.second;
  for (const auto& b : backlog) {
    waiting += b.second;
  }
  char note[200];
  using T = Row::Target;
  const char* sec = "4 surfaces";
  std::snprintf(note, sizeof note, "%zu surfaces painting; client read %ld FrameReady; exit %ld", fast_surfaces, read_fast, exit_code);
  table->Add({sec, "UI paints/s, client keeping up", 0, fast_pace, T::kNone, 0, note});
  std::snprintf(note, sizeof note, "%zu surfaces painting; client read %ld FrameReady (10/s)", slow_surfaces, read_slow);
  table->Add({sec, "UI paints/s, slow client (ratio to fast)", fast_pace, slow_pace, T::kRatioAtLeast, 0.9, note});
  if (windows.size() >= 2 && windows[0].ok && windows[1].ok) {
    const PerfWindow& a = windows[0];
    const PerfWindow& b = windows[1];
    table->Add({sec, "copy avg per paint (us), slow vs fast", a.copy_avg, b.copy_avg, T::kRatioAtMost, 1.5, ""});
    table->Add({sec, "copy max per paint (us), slow vs fast", a.copy_max, b.copy_max, T::kNone, 0, ""});
    std::snprintf(note, sizeof note, "fast window: %ld coalesced, %ld dropped, %ld written", a.coalesced, a.dropped, a.writes);
    table->Add({sec, "FrameReady coalesced, slow window", 0, static_cast<double>(b.coalesced), T::kNone, 0, note});
    std::snprintf(note, sizeof note, "%ld written in the slow window; 0 means no more than one per surface waited", b.writes);
    table->Add({sec, "frames dropped (queue full), slow window", 0, static_cast<double>(b.dropped), T::kNone, 0, note});
    std::snprintf(note, sizeof note, "max %.0f us over %ld pings; fast window avg %.0f max %.0f over %ld", b.task_max, b.pings,
                  a.task_avg, a.task_max, a.pings);
    table->Add({sec, "UI task latency avg (us), slow window", a.task_avg, b.task_avg, T::kNone, 0, note});
  } else {
    std::printf("four surfaces: the engine wrote %zu statistics windows, 2 needed\n", windows.size());
  }
  // What the pipe's buffer held is not the queue's; the rest waited in the queue.
  const long in_pipe = static_cast<long>(kSlowPipeBuffer / (nimo::kFrameHeaderSize + nimo::kFrameReadyPayloadSize));
  const long queued = waiting > in_pipe ? waiting - in_pipe : 0;
  std::snprintf(note, sizeof note, "%ld FrameReady waited in all for %zu surfaces; the pipe's %lu bytes hold %ld",
                waiting, backlog.size(), static_cast<unsigned long>(kSlowPipeBuffer), in_pipe);
  table->Add({sec, "FrameReady queued per surface at resume", 0, queued / 4.0, T::kValueAtMost, 1, note});
}

void ProbeBytes(Table* table) {
  ScenarioWriter scenario;
  FrameSessionOptions options;
  options.scenario = scenario.Text();
  options.flag_files = {"ZUNT_WEB_TESTPAGE"};
  options.gpu_log = true;
  FrameSession s(options);
  if (!s.Start()) {
    std::printf("probe bytes: the engine did not start\n");
    return;
  }
  Report r;
  int frames = 0;
  const ULONGLONG deadline = GetTickCount64() + 20000;
  while (frames < 120 && GetTickCount64() < deadline) {
    if (s.client().Read(&r, 500) && IsFrameReady(r)) ++frames;
  }
  s.Stop();
  // "gpu pid=<engine> Flush bytes=<n>": what one paint copied into the surface texture.
  const std::string log = s.gpu_log();
  const std::string prefix = "gpu pid=" + std::to_string(s.engine_pid()) + " Flush bytes=";
  std::vector<long long> per_frame;
  for (std::size_t at = log.find(prefix); at != std::string::npos; at = log.find(prefix, at + 1)) {
    per_frame.push_back(std::atoll(log.c_str() + at + prefix.size()));
  }
  // The first paints after (re)creation copy the whole frame by design; the steady state
  // is what the page costs.
  const std::size_t skip = per_frame.size() > 4 ? 2 : 0;
  const Percentiles p = Of(std::vector<long long>(per_frame.begin() + skip, per_frame.end()));
  const double whole = 1280.0 * 720.0 * 4.0;
  char note[128];
  std::snprintf(note, sizeof note, "%zu flushes, %d FrameReady; p99 %.0f bytes; the first full copy %lld", per_frame.size(),
                frames, p.p99, per_frame.empty() ? 0LL : per_frame[0]);
  table->Add({"bytes", "probe page bytes per frame vs whole 1280x720", whole, p.p50, Row::Target::kRatioAtMost, 0.1, note});
}

}  // namespace

void MeasureFrames(const RawFigures& raw, const std::string& before_program, Table* table) {
  FrameLatency(raw, before_program, table);
  ProbeBytes(table);
  FourSurfacesSlowClient(table);
}

}  // namespace nimo_bench
