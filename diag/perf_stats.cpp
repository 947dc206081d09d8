#include "diag/perf_stats.h"

#include <windows.h>

#include <string>

#include "diag/log.h"
#include "diag/portable/perf_counters.h"

namespace nimo {

std::atomic<double> qpc_frequency{0.0};

namespace {

// The stats lock. A slim lock needs no creation, so a count arriving before start-up has
// activated the statistics (the pipe writer counts unconditionally) is still safe.
SRWLOCK stats_lock = SRWLOCK_INIT;
std::atomic<bool> stats_active{false};
PerfCounters counters;
std::int64_t last_report = 0;

class StatsLock {
 public:
  StatsLock() { AcquireSRWLockExclusive(&stats_lock); }
  ~StatsLock() { ReleaseSRWLockExclusive(&stats_lock); }
  StatsLock(const StatsLock&) = delete;
  StatsLock& operator=(const StatsLock&) = delete;
};

}  // namespace

double QpcFrequency() {
  double f = qpc_frequency.load(std::memory_order_relaxed);
  if (f == 0.0) {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    f = static_cast<double>(value.QuadPart);
    qpc_frequency.store(f, std::memory_order_relaxed);
  }
  return f;
}

std::int64_t QpcNow() {
  LARGE_INTEGER value;
  QueryPerformanceCounter(&value);
  return value.QuadPart;
}

double QpcMicros(std::int64_t from, std::int64_t to) {
  return static_cast<double>(to - from) * 1000000.0 / QpcFrequency();
}

void InitPerfStats() { stats_active.store(true, std::memory_order_release); }

bool PerfStatsActive() { return stats_active.load(std::memory_order_acquire); }

void RecordPaint(double open_us, double copy_us) {
  if (!PerfStatsActive()) return;
  StatsLock lock;
  counters.AddPaint(open_us, copy_us);
}

void RecordPipeWrite(double write_us) {
  StatsLock lock;
  counters.AddWrite(write_us);
}

void RecordQueueOutcome(bool coalesced, bool dropped) {
  if ((!coalesced && !dropped) || !PerfStatsActive()) return;
  StatsLock lock;
  if (coalesced) ++counters.coalesced;
  if (dropped) ++counters.dropped;
}

void RecordOutOfMemory(const char* what) noexcept {
  {
    StatsLock lock;
    ++counters.alloc_failures;
  }
  WriteLog("[nimo-webengine][memory] out of memory - %s dropped\n", what);
}

void CountInputEvent() {
  if (!PerfStatsActive()) return;
  StatsLock lock;
  ++counters.input_events;
}

void CountScriptMessage(std::uint64_t text_bytes) {
  if (!PerfStatsActive()) return;
  StatsLock lock;
  counters.AddScript(text_bytes);
}

void ReportPerfIfDue() noexcept {
  if (!PerfStatsActive()) return;
  const double frequency = QpcFrequency();
  PerfCounters window;
  double elapsed = 0;
  {
    StatsLock lock;
    if (!PerfReportDue(last_report, QpcNow(), frequency, elapsed)) return;
    window = counters;
    counters = PerfCounters();
  }
  try {
    WriteLogText(FormatPerfPaintLine(window, elapsed).c_str());
    WriteLogText(FormatPerfUiLine(window, elapsed).c_str());
  } catch (...) {
    RecordOutOfMemory("a performance report");
  }
}

PerfCounters ReadPerfCounters() {
  StatsLock lock;
  return counters;
}

void RecordUiLatency(double latency_us) {
  if (!PerfStatsActive()) return;
  StatsLock lock;
  counters.AddLatency(latency_us);
}

}  // namespace nimo
