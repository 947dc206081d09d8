// The list Poll takes events from, bounded in count and bytes. Each surface's newest frame
// waits in a slot of its own (a newer frame replaces it where it stands), so frames never
// crowd out other events and other events never push frames out. Past the bound new
// events are dropped and counted; one kDropped entry, placed where the first loss
// happened, tells the program how many were lost until it was taken.
//
// Threads: any; every call holds the list's own lock. Owned by HostState, made with it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

#include "client/nimo_host.h"

namespace nimo {
namespace host {

class EventList {
 public:
  void SetBounds(std::size_t max_events, std::size_t max_bytes);
  void Push(Event&& e);
  bool Pop(Event* out);
  // What an event counts against the byte bound.
  static std::size_t Cost(const Event& e);

 private:
  enum class Entry : std::uint8_t { kEvent, kFrameSlot, kDropped };
  struct Item {
    Entry entry = Entry::kEvent;
    std::uint32_t surface = 0;  // kFrameSlot
    Event event;                // kEvent
  };

  std::mutex lock_;
  std::size_t max_events_ = 10000;
  std::size_t max_bytes_ = 16u << 20;
  std::deque<Item> items_;
  std::size_t counted_events_ = 0;  // kEvent entries
  std::size_t counted_bytes_ = 0;
  Event frames_[kSurfaceSlotCount];
  bool frame_waiting_[kSurfaceSlotCount] = {};
  bool dropped_waiting_ = false;
  std::uint64_t dropped_events_ = 0;
  std::uint64_t dropped_bytes_ = 0;
};

}  // namespace host
}  // namespace nimo
