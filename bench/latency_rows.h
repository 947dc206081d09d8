// The paint -> FrameReady rows of one engine build on one paint path, shared by the
// scripted-page and the real-page sections: the product's figure beside the raw pipe read
// during the same runs (bench/raw_stream.h), and the product's own part from its frame
// stamps (call -> bytes handed to WriteFile, less the stand-in GPU).
//
// Threads: the benchmark's main thread.
#pragma once
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/paint_latency.h"

namespace nimo_bench {

// The latency runs of one build on one path, pooled over rounds.
struct PathRuns {
  PaintLatency latency;
  std::vector<long long> own;         // the product's own part, per frame
  std::vector<long long> raw_loaded;  // the raw pipe's one-way latency during the runs
  std::size_t paints = 0, frames = 0, runs = 0;
  long exit_code = 0;
  bool started = true;  // every run started

  // One run: its latencies, the engine's log (for the frame stamps of `surface`), the
  // calls it was paired with and the raw pipe read meanwhile.
  void Add(const PaintLatency& run, const std::vector<PaintCall>& calls, std::size_t frames_read,
           const std::string& engine_log, unsigned surface, const std::vector<long long>& raw, long exit);
  void Failed();
};

// Four rows: p50 and p99 beside the raw pipe under the same load (at most `p50_bound` and
// `p99_bound` times it), the own part's p50 (at most 20 us) and p99 (at most 500 us).
// `what` opens the first row's note (the page and the runs); `idle` is the raw pipe on an
// idle machine, named in the note.
void AddLatencyRows(const std::string& section, const char* path_name, const PathRuns& runs, const std::string& what,
                    const Percentiles& idle, double p50_bound, double p99_bound, Table* table);

}  // namespace nimo_bench
