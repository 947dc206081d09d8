#include "bench/latency_rows.h"

#include <cstdio>

namespace nimo_bench {

void PathRuns::Add(const PaintLatency& run, const std::vector<PaintCall>& calls, std::size_t frames_read,
                   const std::string& engine_log, unsigned surface, const std::vector<long long>& raw, long exit) {
  ++runs;
  Pool(&latency, run);
  const std::vector<long long> own_part = OwnPart(calls, HandedStamps(engine_log, surface));
  own.insert(own.end(), own_part.begin(), own_part.end());
  raw_loaded.insert(raw_loaded.end(), raw.begin(), raw.end());
  paints += calls.size();
  frames += frames_read;
  if (exit != 0) exit_code = exit;
}

void PathRuns::Failed() {
  ++runs;
  started = false;
  exit_code = -1;
}

void AddLatencyRows(const std::string& section, const char* path_name, const PathRuns& runs, const std::string& what,
                    const Percentiles& idle, double p50_bound, double p99_bound, Table* table) {
  using T = Row::Target;
  const Percentiles total = Of(runs.latency.product), loaded = Of(runs.raw_loaded), own = Of(runs.own);
  char note[400], figure[96];
  std::snprintf(note, sizeof note,
                "%s, %zu runs: %zu paints, %zu FrameReady, %zu paired; from the call, less the stand-in GPU; raw: %zu "
                "messages read during the same runs (idle: p50 %.0f p99 %.0f us); exit %ld",
                what.c_str(), runs.runs, runs.paints, runs.frames, total.samples, loaded.samples, idle.p50, idle.p99,
                runs.exit_code);
  std::snprintf(figure, sizeof figure, "paint→FrameReady, %s p50 (us)", path_name);
  table->Add({section, figure, loaded.p50, total.p50, T::kRatioAtMost, p50_bound, note});
  std::snprintf(figure, sizeof figure, "paint→FrameReady, %s p99 (us)", path_name);
  table->Add({section, figure, loaded.p99, total.p99, T::kRatioAtMost, p99_bound, ""});
  std::snprintf(note, sizeof note,
                "call → bytes handed to WriteFile, less the stand-in GPU, from the engine's frame stamps; %zu frames, "
                "max %.0f us",
                own.samples, own.max);
  std::snprintf(figure, sizeof figure, "own part, %s p50 (us)", path_name);
  table->Add({section, figure, 0, own.p50, T::kValueAtMost, 20, note});
  std::snprintf(figure, sizeof figure, "own part, %s p99 (us)", path_name);
  table->Add({section, figure, 0, own.p99, T::kValueAtMost, 500, ""});
}

}  // namespace nimo_bench
