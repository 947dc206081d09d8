// Real pages of headless Chromium (the stand-in's Chromium mode) through the engine:
// paint -> FrameReady latency on both paint paths beside the raw pipe measured right
// before, counted from the stand-in's call less the stand-in GPU's time inside it
// (bench/paint_latency.h); the bytes the product copies per frame for a small animation
// and for a page scroll against a whole frame (the stand-in GPU's counters, journaled per
// paint); and the stand-in's own time per frame (its GPU inside the paint call,
// screenshot, PNG decode, frame comparison), which is not the product's.
//
// Threads: the benchmark's main thread.
#pragma once
#include <string>

#include "bench/bench_util.h"
#include "bench/raw_pipe.h"

namespace nimo_bench {

// `before_program`: when not empty, another engine build in the bench's bin folder, run in
// turn with this one (before/after) and reported in rows of its own.
void MeasureRealPages(const RawFigures& raw, const std::string& before_program, Table* table);

}  // namespace nimo_bench
