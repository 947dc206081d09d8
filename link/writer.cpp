// The writer thread: the only writer of the pipe. It sleeps until a frame is queued,
// writes every queued frame as one pipe message (outside the queue lock), then lets the
// statistics report and, at most every 200 ms, measures how long the UI thread takes to
// run a task. It ends after the first failed write, or on the first wake-up after the
// reader has stopped the link (having written what was queued).
#include <windows.h>

#include <vector>

#include "diag/log.h"
#include "diag/perf_stats.h"
#include "host/base/engine_api.h"
#include "link/link_state.h"
#include "link/pipe_link.h"
#include "link/ui_task.h"

namespace nimo {
namespace link_internal {

namespace {

constexpr double kLatencyProbeIntervalUs = 200000.0;
std::int64_t last_probe = 0;  // writer thread only

bool WriteOneFrame(HANDLE handle, const std::vector<std::uint8_t>& frame) {
  OVERLAPPED ov = {};
  ov.hEvent = write_event.get();  // WriteFile resets it when the write begins
  DWORD written = 0;
  if (!WriteFile(handle, frame.data(), static_cast<DWORD>(frame.size()), nullptr, &ov) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  return GetOverlappedResult(handle, &ov, &written, TRUE) && written == frame.size();
}

void ProbeUiLatency() {
  const std::int64_t now = QpcNow();
  if (last_probe != 0 && QpcMicros(last_probe, now) <= kLatencyProbeIntervalUs) return;
  last_probe = now;
  if (!engine_api.cef_post_task) return;
  UiTask* task = CreateUiTask(LatencyPing, nullptr, nullptr, nullptr, 0);
  if (!task) return;
  task->posted_at = QpcNow();
  PostBuiltUiTask(task);
}

}  // namespace

DWORD WINAPI WriterThread(void*) {
  const HANDLE handle = pipe.load(std::memory_order_acquire);
  std::vector<std::uint8_t> frame;
  for (;;) {
    WaitForFrameOrStop();
    while (PopFrame(&frame)) {
      const std::int64_t before = QpcNow();
      const bool ok = WriteOneFrame(handle, frame);
      RecordPipeWrite(QpcMicros(before, QpcNow()));
      if (!ok) {
        WriteLog("[nimo-webengine][ipc] pipe write failed - client gone\n");
        return 0;
      }
    }
    ReportPerfIfDue();
    ProbeUiLatency();
    if (link_stopped.load(std::memory_order_acquire)) return 0;
  }
}

}  // namespace link_internal

void LatencyPing(UiTask* task) { RecordUiLatency(QpcMicros(task->posted_at, QpcNow())); }

}  // namespace nimo
