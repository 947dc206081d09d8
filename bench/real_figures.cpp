#include "bench/real_figures.h"

#include <cstdio>
#include <string>
#include <vector>

#include "bench/frame_session.h"
#include "bench/latency_rows.h"
#include "bench/paint_latency.h"
#include "bench/raw_stream.h"
#include "protocol/wire.h"
#include "tests/support/chromium_guard.h"

namespace nimo_bench {

using nimo::FrameReadyPayload;
using nimo::test::Report;
using nimo_test::JournalEntry;

namespace {

constexpr int kWidth = 640, kHeight = 360;
constexpr DWORD kRunMs = 6000;
constexpr DWORD kRawSpacingMs = 16;  // the raw pipe's messages come at the page's frame rate
constexpr int kCompareRounds = 3;

// A small animation on a still page, and a long page to scroll.
const char kAnimationPage[] =
    "<!doctype html><html><head><style>body{margin:0;background:#fff;font:16px sans-serif}"
    "#sq{position:absolute;left:0;top:150px;width:40px;height:40px;background:#c03030;"
    "animation:move 2s linear infinite alternate}@keyframes move{to{transform:translateX(560px)}}"
    "</style></head><body><h1 style='margin:20px'>A still heading</h1><div id='sq'></div></body></html>\n";

std::string ScrollPage() {
  std::string page = "<!doctype html><html><body style='margin:0;font:18px sans-serif'>";
  for (int i = 0; i < 400; ++i) {
    char row[160];
    std::snprintf(row, sizeof row, "<div style='height:40px;background:#%02x%02x%02x'>row %d</div>", 40 + (i * 7) % 200,
                  80 + (i * 13) % 160, 120 + (i * 3) % 120, i);
    page += row;
  }
  return page + "</body></html>\n";
}

bool WriteText(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

struct RealRun {
  PaintLatency latency;
  std::vector<PaintCall> calls;
  std::string log;                    // the engine's, with its frame stamps
  std::vector<long long> raw_loaded;  // the raw pipe read while the session ran
  std::vector<long long> copied;      // bytes per frame into the surface texture
  std::vector<long long> screenshot, decode, diff;
  std::size_t paints = 0, frames = 0;
  long exit_code = -1;
  bool started = false;
};

// One session on `url` with surface 0 at kWidth x kHeight, of the engine `program`; with
// `scroll`, the client turns the wheel a third of a notch over the page every 20 ms, a
// steady scroll. A latency run has a raw pipe read beside it for the whole run.
RealRun Run(const std::string& url, bool cpu, bool scroll, const std::string& program) {
  RealRun out;
  FrameSessionOptions options;
  options.scenario = "chromium\nquiet host.send_external_begin_frame\n";
  options.url = url;  // no stand-in GPU log: its file writes would fall inside the product's paint calls
  options.program = program;
  options.switches = "--nimomp-frame-stamps=1";
  if (cpu) options.flag_files = {"ZUNT_WEB_CPUFRAMES"};
  FrameSession s(options);
  if (!s.Start()) return out;
  out.started = true;
  s.client().SendSurfaceCommand(nimo::kMsgResizeSurface, 0, kWidth, kHeight, 0);
  ConcurrentRawPipe raw;
  if (!scroll && !raw.Start(kRawSpacingMs, static_cast<int>(kRunMs / kRawSpacingMs))) {
    std::printf("real pages: the raw peer did not start\n");
  }
  std::vector<long long> received;
  const ULONGLONG start = GetTickCount64();
  ULONGLONG next_wheel = start + 1500;
  Report r;
  while (GetTickCount64() - start < kRunMs) {
    if (scroll && GetTickCount64() >= next_wheel) {
      next_wheel += 20;
      s.client().SendInput(0, 0x020A, static_cast<std::uint64_t>(static_cast<std::uint16_t>(-40)) << 16,
                           (200u << 16) | 300u, 0);
    }
    if (!s.client().Read(&r, 10)) continue;
    if (r.type != nimo::kMsgFrameReady || r.payload.size() != nimo::kFrameReadyPayloadSize) continue;
    const long long now = NowMicros();
    const FrameReadyPayload p = nimo::DecodeFrameReady(r.payload.data());
    if (p.surface_id == 0 && p.width == kWidth && p.height == kHeight) received.push_back(now);
  }
  out.raw_loaded = raw.Finish();
  out.frames = received.size();
  out.exit_code = s.Stop();
  out.log = s.log();
  const nimo_test::Journal journal = s.journal();
  nimo_test::EndChromiumOf(journal);
  out.calls = PaintCalls(journal, cpu ? "cpu" : "gpu", kWidth, kHeight);
  out.paints = out.calls.size();
  out.latency = PairWithReads(out.calls, received);
  for (const JournalEntry& e : journal.Events("paint.real")) {
    if (e.Int("width") != kWidth) continue;
    out.screenshot.push_back(e.Int("screenshot_us"));
    out.decode.push_back(e.Int("decode_us"));
    out.diff.push_back(e.Int("diff_us"));
  }
  if (!cpu) {
    // The first paints of a new size copy the whole frame by design.
    for (std::size_t i = 2; i < out.calls.size(); ++i) out.copied.push_back(out.calls[i].copied);
  }
  return out;
}

// The latency runs of one build on one path, and the stand-in's figures of those runs.
struct Pooled {
  PathRuns runs;
  std::vector<long long> copied, screenshot, decode, diff;

  void Add(const RealRun& run) {
    if (!run.started) {
      runs.Failed();
      return;
    }
    runs.Add(run.latency, run.calls, run.frames, run.log, 0, run.raw_loaded, run.exit_code);
    Pool(&copied, run.copied);
    Pool(&screenshot, run.screenshot);
    Pool(&decode, run.decode);
    Pool(&diff, run.diff);
  }
};

void AddRealLatencyRows(const std::string& section, const Pooled (&paths)[2], const Percentiles& idle, Table* table) {
  static const char* const kNames[] = {"shared texture", "CPU buffer"};
  char what[96];
  std::snprintf(what, sizeof what, "%dx%d animation page, raw spaced %lu ms", kWidth, kHeight,
                static_cast<unsigned long>(kRawSpacingMs));
  for (int i = 0; i < 2; ++i) AddLatencyRows(section, kNames[i], paths[i].runs, what, idle, 1.5, 1.3, table);
}

}  // namespace

void MeasureRealPages(const RawFigures& earlier, const std::string& before_program, Table* table) {
  using T = Row::Target;
  const std::string name =
      "nimo-bench-real-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
  const std::string folder = "Z:\\tmp\\" + name;
  if (!CreateDirectoryA(folder.c_str(), nullptr) || !WriteText(folder + "\\anim.html", kAnimationPage) ||
      !WriteText(folder + "\\scroll.html", ScrollPage())) {
    std::printf("real pages: cannot write the pages under Z:\\tmp\n");
    return;
  }
  const std::string anim = "file:///Z:/tmp/" + name + "/anim.html";
  const std::string scroll = "file:///Z:/tmp/" + name + "/scroll.html";
  // The raw pipe on an idle machine, before any Chromium runs, for comparison only: the
  // rows set each engine figure beside the raw pipe read during the same runs.
  RawFigures idle = earlier;
  RawFigures fresh;
  if (MeasureRawLatency(&fresh, kRawSpacingMs)) idle = fresh;
  // With an engine to compare, both run in alternating order, so that a change in the
  // machine's load weighs on both alike.
  const std::string current = FrameSessionOptions().program;
  const bool compare = !before_program.empty();
  const int rounds = compare ? kCompareRounds : 1;
  Pooled now[2], before[2];
  for (int round = 0; round < rounds; ++round) {
    for (int path = 0; path < 2; ++path) {
      const bool before_first = compare && (round + path) % 2 == 1;
      if (before_first) before[path].Add(Run(anim, path == 1, false, before_program));
      now[path].Add(Run(anim, path == 1, false, current));
      if (compare && !before_first) before[path].Add(Run(anim, path == 1, false, before_program));
    }
  }
  const RealRun scrolled = Run(scroll, false, true, current);
  DeleteFileA((folder + "\\anim.html").c_str());
  DeleteFileA((folder + "\\scroll.html").c_str());
  RemoveDirectoryA(folder.c_str());
  if (!now[0].runs.started || !now[1].runs.started || !scrolled.started ||
      (compare && (!before[0].runs.started || !before[1].runs.started))) {
    std::printf("real pages: the engine did not start\n");
    return;
  }
  char note[240];
  std::snprintf(note, sizeof note, "%zu messages 16 ms apart before any Chromium ran; p99 %.0f, max %.0f us",
                idle.from_peer.samples, idle.from_peer.p99, idle.from_peer.max);
  table->Add({"real pages", "raw pipe idle, p50 (us)", idle.from_peer.p50, 0, T::kNone, 0, note});
  table->Add({"real pages", "raw pipe idle, p99 (us)", idle.from_peer.p99, 0, T::kNone, 0, ""});
  AddRealLatencyRows("real pages", now, idle.from_peer, table);
  if (compare) AddRealLatencyRows("real pages, before: " + before_program, before, idle.from_peer, table);
  const double whole = static_cast<double>(kWidth) * kHeight * 4;
  const Percentiles a = Of(now[0].copied), s = Of(scrolled.copied);
  std::snprintf(note, sizeof note, "%zu copies; p99 %.0f bytes", a.samples, a.p99);
  table->Add({"real pages", "animation bytes copied per frame vs whole frame", whole, a.p50, T::kNone, 0, note});
  std::snprintf(note, sizeof note, "%zu copies, wheel every 20 ms; p99 %.0f bytes; exit %ld", s.samples, s.p99,
                scrolled.exit_code);
  table->Add({"real pages", "scroll bytes copied per frame vs whole frame", whole, s.p50, T::kNone, 0, note});
  static const char* const kNames[] = {"shared texture", "CPU buffer"};
  for (int i = 0; i < 2; ++i) {
    const Percentiles with_gpu = Of(now[i].runs.latency.with_gpu), standin = Of(now[i].runs.latency.standin_gpu);
    std::snprintf(note, sizeof note,
                  "not the product's: in-memory copies and texture opens; p99 %.0f us; call→read with it p50 %.0f "
                  "p99 %.0f us",
                  standin.p99, with_gpu.p50, with_gpu.p99);
    char figure[96];
    std::snprintf(figure, sizeof figure, "real page: GPU in %s paint p50 (us)", kNames[i]);
    table->Add({"stand-in", figure, 0, standin.p50, T::kNone, 0, note});
  }
  const Percentiles shot = Of(now[0].screenshot), dec = Of(now[0].decode), dif = Of(now[0].diff);
  std::snprintf(note, sizeof note, "the stand-in's work, not the product's; p99 %.0f us over %zu frames", shot.p99,
                shot.samples);
  table->Add({"stand-in", "real page: begin frame + screenshot p50 (us)", 0, shot.p50, T::kNone, 0, note});
  std::snprintf(note, sizeof note, "p99 %.0f us", dec.p99);
  table->Add({"stand-in", "real page: PNG decode p50 (us)", 0, dec.p50, T::kNone, 0, note});
  std::snprintf(note, sizeof note, "p99 %.0f us", dif.p99);
  table->Add({"stand-in", "real page: frame comparison p50 (us)", 0, dif.p50, T::kNone, 0, note});
}

}  // namespace nimo_bench
