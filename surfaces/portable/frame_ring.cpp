#include "surfaces/portable/frame_ring.h"

namespace nimo {

void FrameRing::Configure(std::uint32_t slots) {
  *this = FrameRing();
  size_ = slots >= 2 && slots <= kMaxRingSlots ? slots : 0;
  last_written_ = size_ == 0 ? 0 : size_ - 1;
}

std::uint64_t FrameRing::OnPaint(std::uint64_t paint_time) {
  ++frame_number_;
  if (pending_) ++replaced_;
  pending_ = true;
  pending_number_ = frame_number_;
  pending_time_ = paint_time;
  return frame_number_;
}

int FrameRing::NextSlot() const {
  if (!pending_ || size_ == 0) return -1;
  for (std::uint32_t step = 1; step <= size_; ++step) {
    const std::uint32_t slot = (last_written_ + step) % size_;
    if (!slots_[slot].held) return static_cast<int>(slot);
  }
  return -1;
}

RingDelivery FrameRing::Deliver(std::uint32_t slot) {
  RingDelivery d;
  if (slot >= size_) return d;
  slots_[slot].held = true;
  last_written_ = slot;
  pending_ = false;
  d.slot = slot;
  d.new_texture = slots_[slot].texture_unannounced;
  d.frame_number = pending_number_;
  d.paint_time = pending_time_;
  return d;
}

void FrameRing::Sent(const RingDelivery& delivery, bool queued) {
  if (delivery.slot >= size_) return;
  Slot& s = slots_[delivery.slot];
  if (queued) {
    if (delivery.new_texture) s.texture_unannounced = false;
    return;
  }
  s.held = false;
  if (!pending_) {
    pending_ = true;
    pending_number_ = delivery.frame_number;
    pending_time_ = delivery.paint_time;
  }
}

bool FrameRing::Release(std::uint32_t slot) {
  if (slot >= size_ || !slots_[slot].held) return false;
  slots_[slot].held = false;
  return true;
}

void FrameRing::TextureMade(std::uint32_t slot) {
  if (slot < size_) slots_[slot].texture_unannounced = true;
}

std::uint32_t FrameRing::held_count() const {
  std::uint32_t n = 0;
  for (std::uint32_t i = 0; i < size_; ++i) n += slots_[i].held ? 1 : 0;
  return n;
}

}  // namespace nimo
