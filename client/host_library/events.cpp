#include "client/host_library/events.h"

namespace nimo {
namespace host {

namespace {

// Events the program cannot do without: never dropped, whatever the bound.
bool Essential(Event::Kind kind) {
  return kind == Event::Kind::kStarted || kind == Event::Kind::kHello || kind == Event::Kind::kEngineEnded ||
         kind == Event::Kind::kTextureFailed || kind == Event::Kind::kCallbackFailed;
}

}  // namespace

std::size_t EventList::Cost(const Event& e) {
  std::size_t n = sizeof(Event) + e.report.text.size() + e.page.kind.size() + e.page.name.size() + e.error.size() +
                  e.pipe_name.size();
  for (const protocol::PageArg& a : e.page.args) n += sizeof a + a.value.size();
  // The largest payloads of all: a custom cursor's picture and a composition's rectangles.
  n += e.cursor.pixels.size() + e.report.rects.size() * sizeof(ImeRect);
  return n;
}

void EventList::SetBounds(std::size_t max_events, std::size_t max_bytes) {
  std::lock_guard<std::mutex> hold(lock_);
  max_events_ = max_events;
  max_bytes_ = max_bytes;
}

void EventList::Push(Event&& e) {
  std::lock_guard<std::mutex> hold(lock_);
  if (e.kind == Event::Kind::kFrame && e.report.surface_id < kSurfaceSlotCount) {
    const std::uint32_t id = e.report.surface_id;
    if (frame_waiting_[id]) {
      e.new_texture = e.new_texture || frames_[id].new_texture;
      frames_[id] = std::move(e);
      return;
    }
    frames_[id] = std::move(e);
    frame_waiting_[id] = true;
    Item item;
    item.entry = Entry::kFrameSlot;
    item.surface = id;
    items_.push_back(std::move(item));
    return;
  }
  const std::size_t cost = Cost(e);
  if (!Essential(e.kind) && (counted_events_ + 1 > max_events_ || counted_bytes_ + cost > max_bytes_)) {
    ++dropped_events_;
    dropped_bytes_ += cost;
    if (!dropped_waiting_) {
      dropped_waiting_ = true;
      Item item;
      item.entry = Entry::kDropped;
      items_.push_back(std::move(item));
    }
    return;
  }
  ++counted_events_;
  counted_bytes_ += cost;
  Item item;
  item.event = std::move(e);
  items_.push_back(std::move(item));
}

bool EventList::Pop(Event* out) {
  std::lock_guard<std::mutex> hold(lock_);
  if (items_.empty()) return false;
  Item& item = items_.front();
  switch (item.entry) {
    case Entry::kEvent:
      --counted_events_;
      counted_bytes_ -= Cost(item.event);
      *out = std::move(item.event);
      break;
    case Entry::kFrameSlot:
      *out = std::move(frames_[item.surface]);
      frames_[item.surface] = Event();
      frame_waiting_[item.surface] = false;
      break;
    case Entry::kDropped:
      *out = Event();
      out->kind = Event::Kind::kDropped;
      out->dropped_events = dropped_events_;
      out->dropped_bytes = dropped_bytes_;
      dropped_events_ = dropped_bytes_ = 0;
      dropped_waiting_ = false;
      break;
  }
  items_.pop_front();
  return true;
}

}  // namespace host
}  // namespace nimo
