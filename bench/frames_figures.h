// Frames through the real executable with the stand-in engine and GPU:
// - paint callback → the client holds its FrameReady, p50/p99 on both paint paths, beside
//   the raw pipe's one-way latency of a message of the same size read during the same
//   runs: counted from the stand-in's call, less the stand-in GPU's time inside it, which
//   has a row of its own (bench/paint_latency.h), and the product's own part up to
//   WriteFile from its frame stamps; with `before_program`, another build of the engine
//   in the bin folder runs in turn with this one and gets rows of its own;
// - four surfaces painting every frame while the client first reads at once and then
//   slowly: paints per second on the UI thread, copy cost, coalesced and dropped frames,
//   the backlog the client finds, and the UI thread's task latency, from the engine's own
//   statistics lines;
// - bytes the product copies per frame for the probe page (dirty rectangles) against a
//   whole 1280x720 frame, from the stand-in GPU's operation log.
//
// Threads: the benchmark's main thread.
#pragma once
#include <string>

#include "bench/bench_util.h"
#include "bench/raw_pipe.h"

namespace nimo_bench {

void MeasureFrames(const RawFigures& raw, const std::string& before_program, Table* table);

}  // namespace nimo_bench
