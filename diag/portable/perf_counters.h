// The performance counters of the browser process and their two report lines, without any
// locking or timer: the caller (diag/perf_stats.cpp) holds the stats lock around every
// mutation and formats a snapshot outside it. Any thread, under the caller's lock.
#pragma once
#include <cstdint>
#include <string>

namespace nimo {

struct PerfCounters {
  int32_t paints = 0;
  double open_total_us = 0, open_max_us = 0;
  double copy_total_us = 0, copy_max_us = 0;
  int32_t writes = 0;
  double write_total_us = 0, write_max_us = 0;
  int32_t coalesced = 0;
  int32_t dropped = 0;         // reports the full send queue refused
  int32_t alloc_failures = 0;  // work lost to an allocation failure (logged one by one)
  int32_t script_messages = 0;
  int32_t script_bytes = 0;
  int32_t input_events = 0;
  int32_t pings = 0;
  double latency_total_us = 0, latency_max_us = 0;

  void AddPaint(double open_us, double copy_us);
  void AddWrite(double write_us);
  void AddLatency(double latency_us);
  void AddScript(uint64_t text_bytes);
};

// Decides whether a report window has closed. `last_report` is 0 before the first check,
// which only arms the interval. On true, `elapsed_seconds` holds the window's length and
// `last_report` has moved to `now`; on the arming call `last_report` is set and false
// returned.
bool PerfReportDue(int64_t& last_report, int64_t now, double ticks_per_second,
                   double& elapsed_seconds);

// The two report lines, each ending in "\n", cut to the 400- and 320-byte buffers the log
// has always used (a cut line loses its tail, never corrupts memory).
std::string FormatPerfPaintLine(const PerfCounters& c, double elapsed_seconds);
std::string FormatPerfUiLine(const PerfCounters& c, double elapsed_seconds);

}  // namespace nimo
