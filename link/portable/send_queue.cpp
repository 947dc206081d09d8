#include "link/portable/send_queue.h"

#include <utility>

#include "protocol/wire.h"

namespace nimo {

namespace {

bool FrameReadyOf(const std::vector<std::uint8_t>& frame, std::uint32_t* surface, std::uint64_t* handle) {
  if (!FrameReadySurface(frame.data(), frame.size(), surface)) return false;
  *handle = DecodeFrameReady(frame.data() + kFrameHeaderSize).client_handle;
  return true;
}

}  // namespace

bool SendQueue::IsNewHandle(std::uint32_t surface, std::uint64_t handle) {
  for (LastHandle& last : last_handles_) {
    if (last.surface != surface) continue;
    const bool is_new = last.handle != handle;
    last.handle = handle;
    return is_new;
  }
  last_handles_.push_back(LastHandle{surface, handle});
  return true;
}

SendPushResult SendQueue::Push(std::vector<std::uint8_t>& frame) {
  SendPushResult result;
  std::uint32_t surface = 0;
  std::uint64_t handle = 0;
  bool announces = false;
  const bool frame_ready = FrameReadyOf(frame, &surface, &handle);
  if (frame_ready) {
    announces = IsNewHandle(surface, handle);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (!it->frame_ready || it->surface != surface) continue;
      // The first frame of another handle must reach the client; a frame of the same
      // handle may replace it and carries its duty on.
      if (it->announces_handle && it->handle != handle) continue;
      announces = announces || it->announces_handle;
      entries_.erase(it);
      result.coalesced = true;
      break;  // there is never more than one to remove
    }
  }
  if (announces || entries_.size() < kSendQueueCapacity) {
    entries_.push_back(Entry{std::move(frame), frame_ready, surface, handle, announces});
    frame.clear();
    result.queued = true;
  }
  return result;
}

bool SendQueue::PopFront(std::vector<std::uint8_t>* out) {
  if (entries_.empty()) return false;
  *out = std::move(entries_.front().frame);
  entries_.pop_front();
  return true;
}

}  // namespace nimo
