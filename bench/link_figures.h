// The client link through the engine with the stand-in library: ExecuteScript until the
// engine calls execute_java_script (command latency), a page console message until the
// client holds its ConsoleLine (report latency), ExecuteScript rates by size, and
// InputEvent rates with a check that none was lost or reordered. Each figure is added to
// the table beside the raw pipe's.
//
// Threads: the benchmark's main thread.
#pragma once
#include "bench/bench_util.h"
#include "bench/raw_pipe.h"

namespace nimo_bench {

void MeasureLink(const RawFigures& raw, Table* table);

}  // namespace nimo_bench
