// The send queue under its lock: the only code that touches the queue.
#include <windows.h>

#include <vector>

#include "link/link_state.h"
#include "link/portable/send_queue.h"

namespace nimo {
namespace link_internal {

namespace {

SRWLOCK queue_lock = SRWLOCK_INIT;
CONDITION_VARIABLE frame_queued = CONDITION_VARIABLE_INIT;
SendQueue queue;
bool writer_asleep = false;  // under the lock
bool stop_writer = false;    // under the lock

class QueueLock {
 public:
  QueueLock() { AcquireSRWLockExclusive(&queue_lock); }
  ~QueueLock() { ReleaseSRWLockExclusive(&queue_lock); }
  QueueLock(const QueueLock&) = delete;
  QueueLock& operator=(const QueueLock&) = delete;
};

}  // namespace

PushOutcome PushFrame(std::vector<std::uint8_t>&& frame) {
  SendPushResult result;
  bool wake = false;
  {
    QueueLock lock;
    result = queue.Push(frame);
    // A busy writer finds the frame on its own before it sleeps again.
    wake = result.queued && writer_asleep;
  }
  if (wake) WakeConditionVariable(&frame_queued);
  PushOutcome outcome;
  outcome.queued = result.queued;
  outcome.coalesced = result.coalesced;
  return outcome;  // a dropped frame is freed here, outside the lock
}

bool PopFrame(std::vector<std::uint8_t>* frame) {
  QueueLock lock;
  return queue.PopFront(frame);
}

void WaitForFrameOrStop() {
  QueueLock lock;
  while (queue.empty() && !stop_writer) {
    writer_asleep = true;
    SleepConditionVariableSRW(&frame_queued, &queue_lock, INFINITE, 0);
    writer_asleep = false;
  }
}

void StopWriter() {
  {
    QueueLock lock;
    stop_writer = true;
  }
  WakeConditionVariable(&frame_queued);
}

}  // namespace link_internal
}  // namespace nimo
