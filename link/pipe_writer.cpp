#include "link/pipe_writer.h"

#include <utility>

#include "diag/frame_stamps.h"
#include "diag/log.h"
#include "diag/perf_stats.h"
#include "link/pipe_link.h"
#include "link/ui_task.h"

namespace nimo {

namespace {

constexpr double kLatencyProbeIntervalUs = 200000.0;

class QueueLock {
 public:
  explicit QueueLock(SRWLOCK* lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
  ~QueueLock() { ReleaseSRWLockExclusive(lock_); }
  QueueLock(const QueueLock&) = delete;
  QueueLock& operator=(const QueueLock&) = delete;

 private:
  SRWLOCK* lock_;
};

}  // namespace

PipeWriter& TheWriter() {
  // Never destroyed (see the header): a send may come from any thread until the very end.
  static PipeWriter* const writer = new PipeWriter();
  return *writer;
}

bool PipeWriter::Start(UniqueFileHandle pipe) {
  write_event_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!write_event_) return false;
  pipe_ = std::move(pipe);
  thread_.reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
  if (!thread_) {
    pipe_.reset();
    write_event_.reset();
    return false;
  }
  started_.store(true, std::memory_order_release);
  return true;
}

SendPushResult PipeWriter::Push(QueuedFrame& frame) {
  SendPushResult result;
  bool wake = false;
  {
    QueueLock lock(&lock_);
    result = queue_.Push(frame);
    // A busy writer finds the frame on its own before it sleeps again.
    wake = result.queued && asleep_;
  }
  if (wake) WakeConditionVariable(&queued_);
  return result;
}

void PipeWriter::Stop() {
  {
    QueueLock lock(&lock_);
    stop_ = true;
  }
  WakeConditionVariable(&queued_);
}

void PipeWriter::Close(DWORD wait_ms) {
  if (!started()) return;
  Stop();
  if (WaitForSingleObject(thread_.get(), wait_ms) != WAIT_OBJECT_0) {
    WriteLog("[nimo-webengine][ipc] writer still busy after %llu ms - its pipe stays open\n",
             static_cast<std::uint64_t>(wait_ms));
    return;
  }
  thread_.reset();
  pipe_.reset();
  write_event_.reset();
}

DWORD WINAPI PipeWriter::ThreadMain(void* self) {
  static_cast<PipeWriter*>(self)->Run();
  return 0;
}

// Sleeps until a frame is queued or Stop was called; returns whether it was.
bool PipeWriter::WaitForFrameOrStop() {
  QueueLock lock(&lock_);
  while (queue_.empty() && !stop_) {
    asleep_ = true;
    SleepConditionVariableSRW(&queued_, &lock_, INFINITE, 0);
    asleep_ = false;
  }
  return stop_;
}

bool PipeWriter::Pop(QueuedFrame* frame) {
  QueueLock lock(&lock_);
  return queue_.PopFront(frame);
}

bool PipeWriter::WriteOne(const std::vector<std::uint8_t>& bytes) {
  OVERLAPPED ov = {};
  ov.hEvent = write_event_.get();  // WriteFile resets it when the write begins
  DWORD written = 0;
  if (!WriteFile(pipe_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &ov) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  return GetOverlappedResult(pipe_.get(), &ov, &written, TRUE) && written == bytes.size();
}

// At most every 200 ms: how long the UI thread takes to run a task, timed from the moment
// the task is built.
void PipeWriter::ProbeUiLatency() {
  const std::int64_t now = QpcNow();
  if (last_probe_ != 0 && QpcMicros(last_probe_, now) <= kLatencyProbeIntervalUs) return;
  last_probe_ = now;
  PostLatencyProbe();
}

// Writes every queued frame as one pipe message (outside the queue lock), then lets the
// statistics report and probes the UI thread. Ends after the first failed write, or on the
// first wake-up after the link was stopped (having written what was queued).
void PipeWriter::Run() {
  QueuedFrame frame;
  for (;;) {
    const bool stopped = WaitForFrameOrStop();
    while (Pop(&frame)) {
      const std::int64_t before = QpcNow();
      if (frame.frame_ready) StampFrameHanded(frame.surface, before);
      const bool ok = WriteOne(frame.bytes);
      RecordPipeWrite(QpcMicros(before, QpcNow()));
      if (!ok) {
        WriteLog("[nimo-webengine][ipc] pipe write failed - client gone\n");
        return;
      }
    }
    ReportPerfIfDue();
    ProbeUiLatency();
    if (stopped || link_stopped.load(std::memory_order_acquire)) return;
  }
}

}  // namespace nimo
