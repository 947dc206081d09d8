// What SendFrame costs the thread that calls it (the UI thread, for every paint): the link
// is opened in this process to a pipe read by another thread at full speed, and each call
// with a FrameReady payload is timed on its own. A second run keeps the reader away, so
// the queue fills and coalescing and dropping are timed too.
//
// Threads: the benchmark's main thread, once per process (the link opens only once).
#pragma once
#include "bench/bench_util.h"

namespace nimo_bench {

void MeasureSendCost(Table* table);

}  // namespace nimo_bench
