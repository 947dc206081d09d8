// The limits of the pipe itself: a message-mode pipe between this program and a copy of
// itself started with `--raw-peer <pipe>` (or `--raw-peer-latency <pipe>`). One-way latency both ways (spaced messages the
// size of a FrameReady frame), then message rates for 16 B, 4 KiB and 1 MiB payloads and for
// input-sized messages. Every engine figure of the report is set beside these.
//
// Threads: the benchmark's main thread.
#pragma once
#include "bench/bench_util.h"

namespace nimo_bench {

constexpr int kLatencySamples = 400;
constexpr DWORD kSpacingMs = 2;  // latency samples are spaced so they measure no queueing
// Script texts of the rate runs; the largest fills the largest payload (head + text = 1 MiB).
const std::size_t kScriptSizes[] = {16, 4096, (1 << 20) - 16};
const int kScriptCounts[] = {20000, 4000, 60};
constexpr int kInputCount = 50000;
constexpr std::size_t kInputFrame = 12 + 32;
constexpr std::size_t kLatencyMessage = 12 + 24;  // a FrameReady frame

// Latency runs are repeated in rounds, each raw run right before an engine run, and the
// samples of all rounds are pooled: the machine's load then weighs on both sides alike.
constexpr int kLatencyRounds = 3;

struct RawFigures {
  Percentiles to_peer, from_peer;  // one-way latency, microseconds
  std::vector<long long> to_peer_samples, from_peer_samples;
  double rate[3] = {0, 0, 0};      // messages per second by script size
  double input_rate = 0;
};

// The peer's side; returns its exit code. `latency_only` ends it after the latency runs.
int RunRawPeer(const char* pipe_name, bool latency_only, DWORD spacing_ms);
// The whole raw run: latency both ways, then the rates.
bool MeasureRawPipe(RawFigures* out);
// Latency both ways only (about two seconds): taken again right before each engine
// latency run, so that both see the same load of the machine.
// `spacing_ms` matches the engine traffic it is compared with: how long both ends sleep
// between messages changes how quickly they wake.
bool MeasureRawLatency(RawFigures* out, DWORD spacing_ms);
// Adds the samples of `round` to `pooled` and recomputes its percentiles.
void PoolLatency(RawFigures* pooled, const RawFigures& round);
void Pool(std::vector<long long>* pooled, const std::vector<long long>& round);

}  // namespace nimo_bench
