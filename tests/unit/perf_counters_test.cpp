#include "diag/portable/perf_counters.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace nimo {
namespace {

constexpr double kFreq = 10'000'000.0;  // ticks per second, as Windows reports it
constexpr int64_t kSecond = 10'000'000;

TEST(PerfReportDue, FirstCallOnlyArmsThenTenSecondWindows) {
  int64_t last = 0;
  double elapsed = -1;
  EXPECT_FALSE(PerfReportDue(last, 5 * kSecond, kFreq, elapsed));
  EXPECT_EQ(last, 5 * kSecond);
  EXPECT_FALSE(PerfReportDue(last, 5 * kSecond + 10 * kSecond - 1, kFreq, elapsed));
  EXPECT_EQ(last, 5 * kSecond) << "an early check must not move the window";
  ASSERT_TRUE(PerfReportDue(last, 15 * kSecond, kFreq, elapsed));
  EXPECT_DOUBLE_EQ(elapsed, 10.0);
  EXPECT_EQ(last, 15 * kSecond);
  // A second thread arriving with the same reading finds the fresh window.
  EXPECT_FALSE(PerfReportDue(last, 15 * kSecond, kFreq, elapsed));
  // After a quiet period the window covers the whole quiet time.
  ASSERT_TRUE(PerfReportDue(last, 75 * kSecond, kFreq, elapsed));
  EXPECT_DOUBLE_EQ(elapsed, 60.0);
}

TEST(PerfReportDue, UnknownFrequencyNeverReports) {
  int64_t last = 1;
  double elapsed = 0;
  EXPECT_FALSE(PerfReportDue(last, 1'000 * kSecond, 0.0, elapsed));
}

TEST(PerfCounters, ByteCounterSaturatesInsteadOfWrapping) {
  PerfCounters c;
  for (int i = 0; i < 3; ++i) c.AddScript(1u << 30);  // 3 GiB of script in one window
  EXPECT_EQ(c.script_bytes, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(c.script_messages, 3);
}

TEST(PerfLines, PaintLineCarriesEveryFigureInOrder) {
  PerfCounters c;
  c.AddPaint(10, 100);
  c.AddPaint(30, 300);
  c.AddWrite(5);
  c.AddWrite(15);
  c.AddWrite(10);
  c.coalesced = 4;
  c.dropped = 1;
  EXPECT_EQ(FormatPerfPaintLine(c, 10.0),
            "[nimo-webengine][perf] COPY   paints 0.2/s | open avg 20us max 30us | copy avg "
            "200us max 300us | write avg 10us max 15us (3) | coalesced 4 dropped 1\n");
}

TEST(PerfLines, EmptyWindowPrintsZeroRatesAndAverages) {
  PerfCounters c;
  EXPECT_EQ(FormatPerfPaintLine(c, 12.5),
            "[nimo-webengine][perf] COPY   paints 0.0/s | open avg 0us max 0us | copy avg 0us "
            "max 0us | write avg 0us max 0us (0) | coalesced 0 dropped 0\n");
  EXPECT_EQ(FormatPerfUiLine(c, 12.5),
            "[nimo-webengine][perf] uithread: js 0.0 msg/s (0.0 KB/s) | input 0.0/s | task "
            "latency avg 0us max 0us over 0 pings\n");
}

TEST(PerfLines, UiLineRatesOverTheWindow) {
  PerfCounters c;
  c.AddScript(1024);
  c.AddScript(1024);  // 2048 bytes over 10 s = 0.2 KB/s
  c.input_events = 55;
  c.AddLatency(100);
  c.AddLatency(300);
  EXPECT_EQ(FormatPerfUiLine(c, 10.0),
            "[nimo-webengine][perf] uithread: js 0.2 msg/s (0.2 KB/s) | input 5.5/s | task "
            "latency avg 200us max 300us over 2 pings\n");
}

TEST(PerfLines, HugeFiguresAreCutToTheBufferNotOverflowed) {
  PerfCounters c;
  c.paints = 1;
  c.open_total_us = c.open_max_us = c.copy_total_us = c.copy_max_us = 1e300;
  c.writes = 1;
  c.write_total_us = c.write_max_us = 1e300;
  const std::string line = FormatPerfPaintLine(c, 1.0);
  EXPECT_EQ(line.size(), 399u);
  EXPECT_EQ(line.rfind("[nimo-webengine][perf] COPY   paints 1.0/s | open avg 1", 0), 0u);
  c.latency_total_us = c.latency_max_us = 1e300;
  c.pings = 1;
  EXPECT_EQ(FormatPerfUiLine(c, 1.0).size(), 319u);
}

}  // namespace
}  // namespace nimo
