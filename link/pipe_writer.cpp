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
constexpr char kWriteFailedLine[] = "[nimo-webengine][ipc] pipe write failed - client gone\n";

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

// Whether the writer thread has something to do (a sleeping one must then be woken).
bool PipeWriter::HasWorkLocked() const {
  return failed_ || handed_over_ || periodic_due_ || (!writing_ && (stop_ || !queue_.empty()));
}

SendPushResult PipeWriter::Push(QueuedFrame& frame) {
  SendPushResult result;
  bool wake = false, direct = false;
  {
    QueueLock lock(&lock_);
    // Through the queue even when written at once, so that its rules (and what it knows of
    // each surface's texture handle) see every frame.
    result = queue_.Push(frame);
    if (result.queued && !writing_ && !stop_ && !failed_ && queue_.size() == 1 &&
        link_stopped.load(std::memory_order_acquire) == 0) {
      queue_.PopFront(&current_);
      writing_ = true;
      direct = true;
    } else {
      wake = result.queued && asleep_ && HasWorkLocked();
    }
  }
  if (wake) WakeConditionVariable(&wake_);
  if (direct) WriteDirectly();
  return result;
}

// On the sender's thread, holding the pipe's write: starts the write and, when the pipe took
// it at once, finishes it; a pending one goes to the writer thread.
void PipeWriter::WriteDirectly() {
  const WriteState state = StartWrite();
  bool ok = true, periodic = false;
  if (state == WriteState::kDone) {
    ok = FinishWrite(false);
    periodic = QpcMicros(last_periodic_.load(std::memory_order_relaxed), QpcNow()) > kLatencyProbeIntervalUs;
  }
  bool wake = false;
  {
    QueueLock lock(&lock_);
    if (state == WriteState::kPending) {
      handed_over_ = true;  // the writer keeps the pipe's write until the queue is empty
    } else {
      writing_ = false;
      if (state == WriteState::kFailed || !ok) failed_ = true;
      if (periodic) periodic_due_ = true;
    }
    wake = asleep_ && HasWorkLocked();
  }
  if (wake) WakeConditionVariable(&wake_);
}

PipeWriter::WriteState PipeWriter::StartWrite() {
  write_began_ = QpcNow();
  if (current_.frame_ready) StampFrameHanded(current_.surface, write_began_);
  overlapped_ = {};
  overlapped_.hEvent = write_event_.get();  // WriteFile resets it when the write begins
  if (WriteFile(pipe_.get(), current_.bytes.data(), static_cast<DWORD>(current_.bytes.size()), nullptr,
                &overlapped_)) {
    return WriteState::kDone;
  }
  if (GetLastError() == ERROR_IO_PENDING) return WriteState::kPending;
  RecordPipeWrite(QpcMicros(write_began_, QpcNow()));
  WriteLogText(kWriteFailedLine);
  current_ = QueuedFrame();
  return WriteState::kFailed;
}

// Collects the started write's result (waiting for it only when `wait`), counts it and lets
// the frame go. False, logged, when it failed.
bool PipeWriter::FinishWrite(bool wait) {
  DWORD written = 0;
  const bool ok = GetOverlappedResult(pipe_.get(), &overlapped_, &written, wait ? TRUE : FALSE) &&
                  written == current_.bytes.size();
  RecordPipeWrite(QpcMicros(write_began_, QpcNow()));
  current_ = QueuedFrame();
  if (!ok) WriteLogText(kWriteFailedLine);
  return ok;
}

void PipeWriter::MarkFailed() {
  QueueLock lock(&lock_);
  failed_ = true;
  writing_ = false;
}

void PipeWriter::Stop() {
  {
    QueueLock lock(&lock_);
    stop_ = true;
  }
  WakeConditionVariable(&wake_);
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

// Sleeps until there is work, then takes it: a handed-over write, or the pipe's write when
// it is free and frames wait.
PipeWriter::Work PipeWriter::WaitForWork() {
  QueueLock lock(&lock_);
  while (!HasWorkLocked()) {
    asleep_ = true;
    SleepConditionVariableSRW(&wake_, &lock_, INFINITE, 0);
    asleep_ = false;
  }
  Work work;
  work.failed = failed_;
  if (failed_) return work;
  if (handed_over_) {
    handed_over_ = false;
    work.complete_handed = true;
    work.drain = true;
  } else if (!writing_ && !queue_.empty()) {
    writing_ = true;
    work.drain = true;
  }
  periodic_due_ = false;
  return work;
}

bool PipeWriter::NextOrRelease() {
  QueueLock lock(&lock_);
  if (queue_.PopFront(&current_)) return true;
  writing_ = false;
  return false;
}

// At most every 200 ms: how long the UI thread takes to run a task, timed from the moment
// the task is built.
void PipeWriter::ProbeUiLatency() {
  const std::int64_t now = QpcNow();
  if (last_probe_ != 0 && QpcMicros(last_probe_, now) <= kLatencyProbeIntervalUs) return;
  last_probe_ = now;
  PostLatencyProbe();
}

// Whether the writer is to end now: the link was stopped and nobody holds the pipe's write
// (a sender still holding it wakes the writer when it lets go).
bool PipeWriter::StoppedAndIdle() {
  QueueLock lock(&lock_);
  return (stop_ || link_stopped.load(std::memory_order_acquire) != 0) && !writing_;
}

// Completes a handed-over write and writes every queued frame as one pipe message (outside
// the queue lock), then lets the statistics report and probes the UI thread. Ends after the
// first failed write (its own or a sender's), or on the first wake-up after the link was
// stopped (having written what was queued).
void PipeWriter::Run() {
  for (;;) {
    const Work work = WaitForWork();
    if (work.failed) return;
    if (work.complete_handed && !FinishWrite(true)) {
      MarkFailed();
      return;
    }
    if (work.drain) {
      while (NextOrRelease()) {
        const WriteState state = StartWrite();
        if (state == WriteState::kFailed || !FinishWrite(true)) {
          MarkFailed();
          return;
        }
      }
    }
    ReportPerfIfDue();
    ProbeUiLatency();
    last_periodic_.store(QpcNow(), std::memory_order_relaxed);
    if (StoppedAndIdle()) return;
  }
}

}  // namespace nimo
