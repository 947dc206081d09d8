#include "diag/portable/perf_counters.h"

#include <cstdio>
#include <limits>

namespace nimo {

namespace {
constexpr double kReportWindowSeconds = 10.0;
constexpr size_t kPaintLineBuffer = 400;
constexpr size_t kUiLineBuffer = 320;

void RaiseMax(double& max, double value) {
  if (value > max) max = value;
}

double Average(double total, int32_t count) { return count > 0 ? total / count : 0.0; }

// A window shorter than a tick cannot happen after the due check, but a rate must never
// divide by zero if a caller formats a fresh window.
double Rate(double amount, double seconds) { return seconds > 0 ? amount / seconds : 0.0; }

// Counters are 32-bit like the log format's %ld; saturate instead of wrapping to negative.
int32_t SaturatingAdd(int32_t a, uint64_t b) {
  const uint64_t room = static_cast<uint64_t>(std::numeric_limits<int32_t>::max() - a);
  return b >= room ? std::numeric_limits<int32_t>::max() : a + static_cast<int32_t>(b);
}

std::string FromBuffer(const char* buffer, int written, size_t size) {
  if (written < 0) return std::string();
  size_t n = static_cast<size_t>(written);
  if (n >= size) n = size - 1;
  return std::string(buffer, n);
}
}  // namespace

void PerfCounters::AddPaint(double open_us, double copy_us) {
  paints = SaturatingAdd(paints, 1);
  open_total_us += open_us;
  copy_total_us += copy_us;
  RaiseMax(open_max_us, open_us);
  RaiseMax(copy_max_us, copy_us);
}

void PerfCounters::AddWrite(double write_us) {
  writes = SaturatingAdd(writes, 1);
  write_total_us += write_us;
  RaiseMax(write_max_us, write_us);
}

void PerfCounters::AddLatency(double latency_us) {
  pings = SaturatingAdd(pings, 1);
  latency_total_us += latency_us;
  RaiseMax(latency_max_us, latency_us);
}

void PerfCounters::AddScript(uint64_t text_bytes) {
  script_messages = SaturatingAdd(script_messages, 1);
  script_bytes = SaturatingAdd(script_bytes, text_bytes);
}

bool PerfReportDue(int64_t& last_report, int64_t now, double ticks_per_second,
                   double& elapsed_seconds) {
  elapsed_seconds = 0;
  if (last_report == 0) {
    last_report = now;
    return false;
  }
  if (ticks_per_second <= 0) return false;
  const double elapsed = static_cast<double>(now - last_report) / ticks_per_second;
  if (elapsed < kReportWindowSeconds) return false;
  elapsed_seconds = elapsed;
  last_report = now;
  return true;
}

std::string FormatPerfPaintLine(const PerfCounters& c, double elapsed_seconds) {
  char buffer[kPaintLineBuffer];
  const int n = std::snprintf(
      buffer, sizeof buffer,
      "[nimo-webengine][perf] %s paints %.1f/s | open avg %.0fus max %.0fus | copy avg %.0fus "
      "max %.0fus | write avg %.0fus max %.0fus (%ld) | coalesced %ld dropped %ld\n",
      "COPY  ", Rate(c.paints, elapsed_seconds), Average(c.open_total_us, c.paints),
      c.open_max_us, Average(c.copy_total_us, c.paints), c.copy_max_us,
      Average(c.write_total_us, c.writes), c.write_max_us, static_cast<long>(c.writes),
      static_cast<long>(c.coalesced), static_cast<long>(c.dropped));
  return FromBuffer(buffer, n, sizeof buffer);
}

std::string FormatPerfUiLine(const PerfCounters& c, double elapsed_seconds) {
  char buffer[kUiLineBuffer];
  const int n = std::snprintf(
      buffer, sizeof buffer,
      "[nimo-webengine][perf] uithread: js %.1f msg/s (%.1f KB/s) | input %.1f/s | task "
      "latency avg %.0fus max %.0fus over %ld pings\n",
      Rate(c.script_messages, elapsed_seconds), Rate(c.script_bytes / 1024.0, elapsed_seconds),
      Rate(c.input_events, elapsed_seconds), Average(c.latency_total_us, c.pings),
      c.latency_max_us, static_cast<long>(c.pings));
  return FromBuffer(buffer, n, sizeof buffer);
}

}  // namespace nimo
