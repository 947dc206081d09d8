// Frame pacing on real pages of headless Chromium (the stand-in's Chromium mode): what a
// still UI costs with the frame-rate probe (as every version-2 client has it) and without
// it, four 1280x720 surfaces for 10 s each time: the engine process's CPU time
// (GetProcessTimes; the stand-in engine lives in that process, so its screenshot decoding
// and frame comparison are in it too and are given apart) and the frames announced; and a
// client clock of 30 and 144 BeginFrame calls a second on an animated page: the time from
// a call to the FrameReady it brings and the frames per call.
//
// Threads: the benchmark's main thread.
#pragma once
#include "bench/bench_util.h"

namespace nimo_bench {

void MeasurePacing(Table* table);

}  // namespace nimo_bench
