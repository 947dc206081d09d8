#include "bench/send_cost.h"

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "base/engine_api.h"
#include "diag/perf_stats.h"
#include "link/pipe_link.h"
#include "link/send.h"
#include "link/ui_task.h"
#include "protocol/wire.h"
#include "surfaces/commands.h"
#include "tests/support/fake_client.h"

namespace nimo_bench {

namespace {

constexpr int kCalls = 200000;
constexpr int kSpacedCalls = 8000;

// The link posts its latency probes and, at its end, the close-all task to the UI thread;
// here there is none, so each task is released as if it had run.
int DiscardTask(cef_thread_id_t, cef_task_t* task) {
  task->base.release(&task->base);
  return 1;
}

// `spacing_us` 0: back to back, the writer always busy; else the writer falls asleep
// between calls and every call has to wake it.
std::vector<double> TimedSends(std::uint32_t surfaces, int calls, double spacing_us) {
  const double frequency = nimo::QpcFrequency();
  std::vector<double> costs;
  costs.reserve(calls);
  std::uint8_t payload[nimo::kFrameReadyPayloadSize];
  for (int i = 0; i < calls; ++i) {
    if (spacing_us > 0) {
      const std::int64_t from = nimo::QpcNow();
      while (nimo::QpcMicros(from, nimo::QpcNow()) < spacing_us) {
      }
    }
    nimo::EncodeFrameReady(nimo::FrameReadyPayload{static_cast<std::uint32_t>(i) % surfaces, 1280, 720, 1, 0x40},
                           payload);
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    nimo::SendFrame(nimo::kMsgFrameReady, payload, sizeof payload);
    QueryPerformanceCounter(&b);
    costs.push_back(static_cast<double>(b.QuadPart - a.QuadPart) * 1e6 / frequency);
    // A paint every few microseconds at most: let the writer run between calls.
    if (spacing_us == 0 && i % 64 == 63) SwitchToThread();
  }
  return costs;
}

}  // namespace

void MeasureSendCost(Table* table) {
  nimo::engine_api.cef_post_task = DiscardTask;
  nimo::InitPerfStats();
  // A small pipe buffer, so that a reader that pauses stalls the writer at once.
  nimo::test::FakeClient client(4096);
  if (!nimo::ConnectPipe(client.pipe_name().c_str(), nimo::SurfaceCommandSink()) || !client.WaitConnected(5000)) {
    std::printf("send cost: the link did not open\n");
    return;
  }
  std::atomic<bool> reading{true}, stop{false};
  std::atomic<long> received{0};
  std::thread reader([&] {
    nimo::test::Report r;
    while (!stop.load()) {
      if (!reading.load()) {
        Sleep(1);
        continue;
      }
      if (client.Read(&r, 20)) received.fetch_add(1);
    }
  });
  const Percentiles reading_cost = OfDoubles(TimedSends(4, kCalls, 0));
  const long read_while_timed = received.load();
  const Percentiles spaced_cost = OfDoubles(TimedSends(4, kSpacedCalls, 250));
  const long read_while_spaced = received.load() - read_while_timed;
  reading.store(false);
  Sleep(100);
  const nimo::PerfCounters before = nimo::ReadPerfCounters();
  const Percentiles stalled_cost = OfDoubles(TimedSends(4, kCalls, 0));
  const nimo::PerfCounters after = nimo::ReadPerfCounters();
  stop.store(true);
  reader.join();
  char note[160];
  std::snprintf(note, sizeof note, "%d calls, max %.1f us; the client read %ld frames meanwhile", kCalls,
                reading_cost.max, read_while_timed);
  table->Add({"SendFrame", "UI-thread cost p50 (us), client reading", 0, reading_cost.p50, Row::Target::kNone, 0, note});
  table->Add({"SendFrame", "UI-thread cost p99 (us), client reading", 0, reading_cost.p99, Row::Target::kValueAtMost, 2, ""});
  std::snprintf(note, sizeof note, "%d calls 250 us apart, p50 %.1f us, max %.1f us; the client read %ld frames",
                kSpacedCalls, spaced_cost.p50, spaced_cost.max, read_while_spaced);
  table->Add({"SendFrame", "UI-thread cost p99 (us), writer asleep", 0, spaced_cost.p99, Row::Target::kValueAtMost, 2, note});
  std::snprintf(note, sizeof note, "max %.1f us; %lld coalesced, %lld dropped", stalled_cost.max,
                static_cast<long long>(after.coalesced - before.coalesced),
                static_cast<long long>(after.dropped - before.dropped));
  table->Add({"SendFrame", "UI-thread cost p99 (us), client stalled", 0, stalled_cost.p99, Row::Target::kValueAtMost, 2, note});
}

}  // namespace nimo_bench
