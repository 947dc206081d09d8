// The frame ring (protocol 3, --nimomp-frame-ring) through the real executable with the
// stand-in engine and GPU, on both paint paths:
// - paint callback → the client holds its FrameReady3, p50/p99, counted the product's way
//   as the FrameReady rows are (bench/paint_latency.h), beside the raw pipe;
// - the frame's age when the client has its pixels: from the paint time the FrameReady3
//   carries (the engine's performance counter when its paint began) to the client's Map
//   of a copy of the slot, after a GPU-side wait on the fence. It includes the stand-in
//   GPU's copies on both sides.
// The client releases each slot as soon as it has read it.
//
// Threads: the benchmark's main thread.
#pragma once
#include "bench/bench_util.h"
#include "bench/raw_pipe.h"

namespace nimo_bench {

void MeasureRing(const RawFigures& raw, Table* table);

}  // namespace nimo_bench
