// The send queue under its lock: the only code that touches the queue.
#include <windows.h>

#include <vector>

#include "link/link_state.h"
#include "link/portable/send_queue.h"

namespace nimo {
namespace link_internal {

namespace {

SRWLOCK queue_lock = SRWLOCK_INIT;
SendQueue queue;

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
  {
    QueueLock lock;
    result = queue.Push(frame);
  }
  PushOutcome outcome;
  outcome.queued = result.queued;
  outcome.coalesced = result.coalesced;
  return outcome;  // a dropped frame is freed here, outside the lock
}

bool PopFrame(std::vector<std::uint8_t>* frame) {
  QueueLock lock;
  return queue.PopFront(frame);
}

}  // namespace link_internal
}  // namespace nimo
