// The writing half of the client link, one object: the pipe (which the reader borrows), the
// writer's event, the bounded send queue (link/portable/send_queue.h) and the writer
// thread, the only one that writes to the pipe. Internal to link/: senders go through
// link/send.h, the connection through link/pipe_link.h.
//
// Lifetime: the one PipeWriter (TheWriter) is made before main and never destroyed, so a
// send from any thread at any time finds it. Start (main thread, from ConnectPipe) gives it
// the pipe and starts the thread; Close (UI thread, after the message loop, before
// cef_shutdown) stops the thread, waits for it a bounded time and only then closes the
// pipe and the event. A writer that does not end in time (stuck in a write the client
// never reads) keeps them: it is still using them, and the process ends shortly after.
//
// Threads: Push and Stop from any thread; the queue is touched only under the queue lock,
// which is never held while another lock is taken. The writer sleeps on a condition
// variable of that lock rather than on a kernel event: a sender then pays a kernel call
// only when the writer is actually asleep, and the wake-up stays inside the process, which
// keeps the paint path's cost and its latency to the client low.
#pragma once
#include <windows.h>

#include <atomic>

#include "base/win_handle.h"
#include "link/portable/send_queue.h"

namespace nimo {

class PipeWriter {
 public:
  // Takes the opened pipe, makes the write event and starts the writer thread. False, with
  // the pipe closed again, when the event or the thread cannot be made.
  bool Start(UniqueFileHandle pipe);
  // Whether Start succeeded once (the pipe stays borrowed by the reader from then on).
  bool started() const { return started_.load(std::memory_order_acquire); }
  HANDLE pipe() const { return pipe_.get(); }

  // Queues one frame (or drops it, see the queue's rules). `frame` is moved from when
  // queued; a dropped frame is freed by the caller, outside the lock.
  SendPushResult Push(QueuedFrame& frame);

  // Wakes the writer for good: it writes what is queued and ends. Any thread.
  void Stop();
  // Stop, then waits up to `wait_ms` for the thread; closes the pipe and the event only
  // when it has ended. The reader must have ended first. UI thread, once.
  void Close(DWORD wait_ms);

 private:
  static DWORD WINAPI ThreadMain(void* self);
  void Run();
  bool WaitForFrameOrStop();
  bool Pop(QueuedFrame* frame);
  bool WriteOne(const std::vector<std::uint8_t>& bytes);
  void ProbeUiLatency();

  std::atomic<bool> started_{false};
  UniqueFileHandle pipe_;
  UniqueHandle write_event_;  // manual-reset, the writer's OVERLAPPED event
  UniqueHandle thread_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE queued_ = CONDITION_VARIABLE_INIT;
  SendQueue queue_;             // under lock_
  bool asleep_ = false;         // under lock_
  bool stop_ = false;           // under lock_
  std::int64_t last_probe_ = 0; // writer thread only
};

// The process's one writer.
PipeWriter& TheWriter();

}  // namespace nimo
