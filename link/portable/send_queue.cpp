#include "link/portable/send_queue.h"

#include <utility>

#include "link/portable/wire.h"

namespace nimo {

SendPushResult SendQueue::Push(std::vector<std::uint8_t>& frame) {
  SendPushResult result;
  std::uint32_t surface = 0;
  if (FrameReadySurface(frame.data(), frame.size(), &surface)) {
    for (auto it = frames_.begin(); it != frames_.end(); ++it) {
      std::uint32_t queued_surface = 0;
      if (FrameReadySurface(it->data(), it->size(), &queued_surface) && queued_surface == surface) {
        frames_.erase(it);
        result.coalesced = true;
        break;  // there is never more than one per surface to remove
      }
    }
  }
  if (frames_.size() < kSendQueueCapacity) {
    frames_.push_back(std::move(frame));
    frame.clear();
    result.queued = true;
  }
  return result;
}

bool SendQueue::PopFront(std::vector<std::uint8_t>* out) {
  if (frames_.empty()) return false;
  *out = std::move(frames_.front());
  frames_.pop_front();
  return true;
}

}  // namespace nimo
