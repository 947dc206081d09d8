#include "link/portable/send_queue.h"

#include <utility>

#include "protocol/frame_ring.h"
#include "protocol/wire.h"

namespace nimo {

void ClassifyReadyMade(std::uint16_t type, const std::uint8_t* payload, std::uint32_t length, QueuedFrame* frame) {
  if (type == kMsgFrameFence) frame->keeps_handle = true;
  FrameReady3Fields ring_frame;
  if (type == kMsgFrameReady3 && DecodeFrameReady3(payload, length, &ring_frame))
    frame->keeps_handle = (ring_frame.flags & kFrameReady3NewTexture) != 0;
  if (type != kMsgFrameReady || payload == nullptr || length < kFrameReadyPayloadSize) return;
  const FrameReadyPayload fields = DecodeFrameReady(payload);
  frame->frame_ready = true;
  frame->surface = fields.surface_id;
  frame->handle = fields.client_handle;
}

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

SendPushResult SendQueue::Push(QueuedFrame& frame) {
  SendPushResult result;
  bool announces = frame.keeps_handle;
  if (frame.frame_ready) {
    announces = IsNewHandle(frame.surface, frame.handle);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (!it->frame.frame_ready || it->frame.surface != frame.surface) continue;
      // The first frame of another handle must reach the client; a frame of the same
      // handle may replace it and carries its duty on.
      if (it->announces_handle && it->frame.handle != frame.handle) continue;
      announces = announces || it->announces_handle;
      entries_.erase(it);
      result.coalesced = true;
      break;  // there is never more than one to remove
    }
  }
  if (announces || entries_.size() < kSendQueueCapacity) {
    entries_.push_back(Entry{std::move(frame), announces});
    frame.bytes.clear();
    result.queued = true;
  }
  return result;
}

bool SendQueue::PopFront(QueuedFrame* out) {
  if (entries_.empty()) return false;
  *out = std::move(entries_.front().frame);
  entries_.pop_front();
  return true;
}

}  // namespace nimo
