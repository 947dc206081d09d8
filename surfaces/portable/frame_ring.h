// The decisions of one surface's frame ring (protocol 3 with --nimomp-frame-ring): which of
// the surface's N slot textures a finished frame goes to, when a slot may be written, and
// what waits while none may. A slot is held from the FrameReady3 that announced it until
// the client's FrameRelease; only free slots are written. With no free slot the newest
// frame waits in the surface's own texture (latest wins; a frame replaced before it was
// delivered is counted) and goes out as soon as a slot is released. Frame numbers count
// every frame the page painted, so a gap tells the client that frames were replaced.
//
// The caller does the copies and the sends and tells the ring what happened; nothing here
// waits. Threads: one ring belongs to one thread (the engine's UI thread).
#pragma once
#include <cstdint>

namespace nimo {

constexpr std::uint32_t kMaxRingSlots = 4;

// What goes into a FrameReady3 of the delivered frame.
struct RingDelivery {
  std::uint32_t slot = 0;
  bool new_texture = false;  // the slot's texture was made since the client was last told of it
  std::uint64_t frame_number = 0;
  std::uint64_t paint_time = 0;
};

class FrameRing {
 public:
  // `slots` 0 (no ring) or 2..kMaxRingSlots; anything else is 0. Every slot starts free,
  // without a texture the client knows.
  void Configure(std::uint32_t slots);
  std::uint32_t size() const { return size_; }
  bool active() const { return size_ != 0; }

  // The page painted a frame, now complete in the surface's own texture, at `paint_time`.
  // It waits to be delivered; a frame still waiting is replaced by it (and counted).
  // Returns the frame's number (1 for the first).
  std::uint64_t OnPaint(std::uint64_t paint_time);
  bool pending() const { return pending_; }

  // The slot the waiting frame should be copied into now: a free one, taken in turn after
  // the slot written last; -1 when nothing waits or every slot is held.
  int NextSlot() const;
  // The waiting frame was copied into `slot` (which NextSlot gave): the slot is held from
  // now on and nothing waits. Returns what its FrameReady3 says.
  RingDelivery Deliver(std::uint32_t slot);
  // The FrameReady3 of `delivery` was queued: the client now knows the slot's texture.
  // Not queued (the send queue was full): the slot is free again and the frame waits
  // again, unless a newer one already does.
  void Sent(const RingDelivery& delivery, bool queued);

  // The client's FrameRelease. False (nothing changes) for a slot out of range or not
  // held; a repeated or stray release therefore cannot free a slot that a later frame holds.
  bool Release(std::uint32_t slot);

  // The slot's texture was made anew (first use, another size, a new device): its next
  // FrameReady3 tells the client to open the new handle.
  void TextureMade(std::uint32_t slot);

  bool held(std::uint32_t slot) const { return slot < size_ && slots_[slot].held; }
  std::uint32_t held_count() const;
  std::uint64_t frame_number() const { return frame_number_; }
  std::uint64_t replaced() const { return replaced_; }

  // The surface's textures are gone (its browser closed): nothing waits any more. Holds
  // stay until the client releases them (it may still be reading its copy), and so do the
  // frame numbers, which never go back.
  void DropPending() { pending_ = false; }

 private:
  struct Slot {
    bool held = false;
    bool texture_unannounced = false;
  };
  std::uint32_t size_ = 0;
  Slot slots_[kMaxRingSlots];
  std::uint32_t last_written_ = kMaxRingSlots - 1;
  bool pending_ = false;
  std::uint64_t pending_number_ = 0;
  std::uint64_t pending_time_ = 0;
  std::uint64_t frame_number_ = 0;
  std::uint64_t replaced_ = 0;
};

}  // namespace nimo
