// Performance statistics of the browser process: counters of the paint paths, the pipe
// writer and the UI thread's responsiveness, and every ten seconds or more (whenever a
// busy thread checks) the two "[perf]" lines in the log. Counting is a few additions
// under one short lock; formatting and logging happen outside it.
//
// Threads: every function may be called from any thread. InitPerfStats is called once by
// the browser-process start-up right after the engine is initialised; until then nothing
// is counted (except pipe writes, which are always counted) and nothing reported.
#pragma once
#include <atomic>
#include <cstdint>

#include "diag/portable/perf_counters.h"

namespace nimo {

// QueryPerformanceFrequency as a double, filled on first use by whichever thread needs it.
extern std::atomic<double> qpc_frequency;
double QpcFrequency();
std::int64_t QpcNow();
// Microseconds between two timer readings.
double QpcMicros(std::int64_t from, std::int64_t to);

// Activates the statistics (the stats lock itself needs no creation). Idempotent.
void InitPerfStats();
bool PerfStatsActive();

// One paint copied into a surface texture; the CPU path passes 0 as the open time.
void RecordPaint(double open_us, double copy_us);
// One frame written to the pipe, successful or not (counted even before activation).
void RecordPipeWrite(double write_us);
// Outcome of one SendFrame: a waiting FrameReady was replaced and/or the new frame dropped.
void RecordQueueOutcome(bool coalesced, bool dropped);
// Work lost to an allocation failure (a report, a command, or the work of one engine
// callback or UI task): counted as an allocation failure (at any time; `dropped` stays the
// count of reports the full queue refused) and logged as
// "[nimo-webengine][memory] out of memory - <what> dropped". Never throws.
void RecordOutOfMemory(const char* what) noexcept;
// Commands received by the reader thread.
void CountInputEvent();
void CountScriptMessage(std::uint64_t text_bytes);

// Writes the two report lines when at least ten seconds have passed since the last report
// (the first call only starts the window) and starts counting afresh. Never throws.
void ReportPerfIfDue() noexcept;

// A copy of the counters of the current window (for diagnostics and tests).
PerfCounters ReadPerfCounters();

// One measurement of the latency probe: how long a task waited for the UI thread.
void RecordUiLatency(double latency_us);

}  // namespace nimo
