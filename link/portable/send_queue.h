// The bounded queue of outbound frames between the senders and the one pipe writer.
//
// Holds at most kSendQueueCapacity complete frames (header + payload), first in, first
// out, with one exception: a FrameReady for a surface removes a FrameReady of the same
// surface still waiting, and the new one joins at the end (behind everything queued
// before it), so a slow client gets the newest frame of each surface, not a backlog.
// When the queue is full the NEW frame is dropped; queued frames are never evicted.
//
// Handles: every FrameReady names a texture handle the engine duplicated into the client,
// which only the client can close and only once a FrameReady has told it the value. So
// the first FrameReady that carries a surface's new handle is never lost: coalescing
// removes it only for a later frame of the SAME handle (which then carries the duty on),
// and it is queued even when the queue is full. Such frames are few (one per texture the
// engine re-created while the client was not reading), so the bound still holds for
// everything else. A frame marked `keeps_handle` (the frame ring's fence and its
// FrameReady3 of a new slot texture) is queued even when full for the same reason; the
// ring's other FrameReady3 are never coalesced (each one holds its own slot), and when the
// full queue drops one, the sender learns it from the push and frees that slot.
//
// No locking inside: the owner guards every call with its own lock (the writer's queue
// lock), so the whole push, coalescing scan included, is one short critical section.
// Frames are moved in and out, never copied or decoded, so nothing is allocated under the
// lock except the queue's own bookkeeping.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace nimo {

constexpr std::size_t kSendQueueCapacity = 64;

struct SendPushResult {
  bool queued = false;     // the frame is now in the queue (else it was dropped)
  bool coalesced = false;  // an older FrameReady of the same surface was removed
};

// One complete frame (header + payload) as the sender built it, with what coalescing needs
// to know of a FrameReady, so the queue never decodes what the sender has just encoded.
struct QueuedFrame {
  std::vector<std::uint8_t> bytes;
  bool frame_ready = false;  // a FrameReady: `surface` and `handle` are its fields
  std::uint32_t surface = 0;
  std::uint64_t handle = 0;
  bool keeps_handle = false;  // not a FrameReady, but announces a handle all the same
};

// For a frame built from a ready-made payload: marks it as a FrameReady with its surface
// and handle when it is one (type FrameReady, a payload of at least 24 bytes), and as
// keeping a handle when it is a FrameFence or a FrameReady3 of a new slot texture.
void ClassifyReadyMade(std::uint16_t type, const std::uint8_t* payload, std::uint32_t length, QueuedFrame* frame);

class SendQueue {
 public:
  // Takes the frame. On a drop `frame` is left untouched, so the caller still owns and
  // frees it.
  SendPushResult Push(QueuedFrame& frame);

  // Moves the oldest frame into `out`; false when empty.
  bool PopFront(QueuedFrame* out);

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

 private:
  struct Entry {
    QueuedFrame frame;
    bool announces_handle = false;  // first FrameReady of its surface's handle still to go
  };
  struct LastHandle {
    std::uint32_t surface;
    std::uint64_t handle;
  };
  // Whether `handle` differs from the one the previous FrameReady of `surface` carried;
  // remembers it either way.
  bool IsNewHandle(std::uint32_t surface, std::uint64_t handle);

  std::deque<Entry> entries_;
  std::vector<LastHandle> last_handles_;  // one per surface seen; surfaces are few
};

}  // namespace nimo
