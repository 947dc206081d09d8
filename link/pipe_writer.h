// The writing half of the client link, one object: the pipe (which the reader borrows), the
// write event, the bounded send queue (link/portable/send_queue.h) and the writer thread.
// Internal to link/: senders go through link/send.h, the connection through
// link/pipe_link.h.
//
// Lifetime: the one PipeWriter (TheWriter) is made before main and never destroyed, so a
// send from any thread at any time finds it. Start (main thread, from ConnectPipe) gives it
// the pipe and starts the thread; Close (UI thread, after the message loop, before
// cef_shutdown) stops the thread, waits for it a bounded time and only then closes the
// pipe and the event. A writer that does not end in time (stuck in a write the client
// never reads) keeps them: it is still using them, and the process ends shortly after.
//
// One write at a time, in queue order: whoever holds the pipe's write (`writing_`) owns the
// frame being written and the OVERLAPPED, and nobody else writes until it lets go. Most of
// the time the queue is empty and nothing is being written; a sender that finds the link
// so takes the write itself and starts it on the overlapped pipe, which never blocks: a
// frame the pipe takes at once is done before the send returns, without waking anyone; a
// write the pipe cannot finish at once (the client is behind) is handed to the writer
// thread to complete, and later frames queue behind it as before. Waking a sleeping thread
// for every frame cost more than the write itself and, on a busy machine, milliseconds.
// The writer thread writes whatever is queued while the pipe's write is free or its own,
// and, woken by a sender at most every 200 ms, does the periodic work (statistics report,
// UI latency probe) as after each of its own drains.
//
// Threads: Push and Stop from any thread; the queue and the flags are touched only under
// the queue lock, which is never held while another lock is taken, nor during a write.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>

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

  // Queues one frame (or drops it, see the queue's rules), and starts writing it at once
  // when it is the only frame and the pipe's write is free. `frame` is moved from when
  // queued; a dropped frame is freed by the caller, outside the lock. Never waits for the
  // pipe or the client.
  SendPushResult Push(QueuedFrame& frame);

  // Wakes the writer for good: it writes what is queued and ends. Any thread.
  void Stop();
  // Stop, then waits up to `wait_ms` for the thread; closes the pipe and the event only
  // when it has ended. The reader must have ended first. UI thread, once.
  void Close(DWORD wait_ms);

 private:
  enum class WriteState { kDone, kPending, kFailed };
  // What the writer thread is to do after a wake-up.
  struct Work {
    bool complete_handed = false;  // finish the write a sender handed over
    bool drain = false;            // it holds the pipe's write: write the queue
    bool failed = false;           // a sender's write failed: end
  };

  static DWORD WINAPI ThreadMain(void* self);
  void Run();
  bool HasWorkLocked() const;
  Work WaitForWork();
  // Takes the next frame into current_, or lets the pipe's write go when there is none.
  bool NextOrRelease();
  bool StoppedAndIdle();
  // The holder of the pipe's write: starts writing current_, then collects the result.
  WriteState StartWrite();
  bool FinishWrite(bool wait);
  void WriteDirectly();
  void MarkFailed();
  void ProbeUiLatency();

  std::atomic<bool> started_{false};
  UniqueFileHandle pipe_;
  UniqueHandle write_event_;  // manual-reset, the OVERLAPPED's event
  UniqueHandle thread_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE wake_ = CONDITION_VARIABLE_INIT;
  SendQueue queue_;            // under lock_
  bool asleep_ = false;        // under lock_
  bool stop_ = false;          // under lock_
  bool writing_ = false;       // under lock_: someone holds the pipe's write
  bool handed_over_ = false;   // under lock_: a sender's write is pending, the writer completes it
  bool failed_ = false;        // under lock_: a write failed, nothing more is written
  bool periodic_due_ = false;  // under lock_: a sender asks for the periodic work
  // The holder of the pipe's write's: the frame, its OVERLAPPED and when the write began.
  QueuedFrame current_;
  OVERLAPPED overlapped_ = {};
  std::int64_t write_began_ = 0;
  // When the writer last did its periodic work (timer ticks; senders read it).
  std::atomic<std::int64_t> last_periodic_{0};
  std::int64_t last_probe_ = 0;  // writer thread only
};

// The process's one writer.
PipeWriter& TheWriter();

}  // namespace nimo
