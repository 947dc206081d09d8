// The host library's Poll list: its count and byte bounds hold exactly at the limit, the
// events a program cannot do without pass any bound, one kDropped tells what was lost, and
// the largest reports (a custom cursor's picture, a composition's rectangles) count with
// all their bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "client/host_library/events.h"

namespace {

using nimo::host::Event;
using nimo::host::EventList;
using Kind = nimo::host::Event::Kind;

Event Console(std::size_t text_bytes) {
  Event e;
  e.kind = Kind::kConsole;
  e.report.text.assign(text_bytes, 'x');
  return e;
}

// Pops everything: the kinds in order, and the kDropped counts when one came.
std::string Drain(EventList* list, std::uint64_t* dropped_events = nullptr, std::uint64_t* dropped_bytes = nullptr) {
  std::string kinds;
  Event e;
  while (list->Pop(&e)) {
    kinds += e.kind == Kind::kDropped ? 'D' : e.kind == Kind::kConsole ? 'c' : e.kind == Kind::kEngineEnded ? 'E' : '?';
    if (e.kind == Kind::kDropped) {
      if (dropped_events) *dropped_events = e.dropped_events;
      if (dropped_bytes) *dropped_bytes = e.dropped_bytes;
    }
  }
  return kinds;
}

TEST(HostEvents, BoundsHoldExactlyAtTheLimitAndEssentialEventsAlwaysPass) {
  // The count bound: exactly max_events are kept, the next one is lost and told.
  for (std::size_t bound : {1u, 2u, 5u}) {
    SCOPED_TRACE(bound);
    EventList list;
    list.SetBounds(bound, 1u << 30);
    for (std::size_t i = 0; i < bound + 1; ++i) list.Push(Console(10));
    Event ended;
    ended.kind = Kind::kEngineEnded;
    list.Push(std::move(ended));  // past the bound, still kept
    std::uint64_t lost = 0, lost_bytes = 0;
    EXPECT_EQ(Drain(&list, &lost, &lost_bytes), std::string(bound, 'c') + "DE");
    EXPECT_EQ(lost, 1u);
    EXPECT_EQ(lost_bytes, EventList::Cost(Console(10)));
    // Taken events free their place: the list holds max_events again.
    for (std::size_t i = 0; i < bound; ++i) list.Push(Console(10));
    EXPECT_EQ(Drain(&list), std::string(bound, 'c'));
  }

  // The byte bound: an event that fills it exactly is kept, one byte more is not.
  const std::size_t cost = EventList::Cost(Console(100));
  {
    EventList list;
    list.SetBounds(100, 2 * cost);
    list.Push(Console(100));
    list.Push(Console(100));
    list.Push(Console(0));
    std::uint64_t lost = 0;
    EXPECT_EQ(Drain(&list, &lost), "ccD");
    EXPECT_EQ(lost, 1u);
  }
  {
    EventList list;
    list.SetBounds(100, 2 * cost - 1);
    list.Push(Console(100));
    list.Push(Console(100));
    EXPECT_EQ(Drain(&list), "cD");
  }
}

TEST(HostEvents, PicturesAndRectanglesCountAgainstTheByteBound) {
  Event cursor;
  cursor.kind = Event::Kind::kCursor;
  cursor.cursor.width = 128;
  cursor.cursor.height = 128;
  cursor.cursor.pixels.assign(128 * 128 * 4, 0xFF);
  EXPECT_GE(EventList::Cost(cursor), sizeof(Event) + cursor.cursor.pixels.size());
  Event bounds;
  bounds.kind = Event::Kind::kImeBounds;
  bounds.report.rects.resize(50000);
  EXPECT_GE(EventList::Cost(bounds), sizeof(Event) + 50000 * sizeof(nimo::ImeRect));

  // A 1 MiB bound keeps about 15 cursor pictures of 64 KiB, not a thousand.
  EventList list;
  list.SetBounds(10000, 1u << 20);
  for (int i = 0; i < 1000; ++i) {
    Event e = cursor;
    list.Push(std::move(e));
  }
  std::size_t kept = 0, bytes = 0;
  bool dropped = false;
  Event out;
  while (list.Pop(&out)) {
    if (out.kind == Event::Kind::kDropped) {
      dropped = true;
      EXPECT_EQ(out.dropped_events + kept, 1000u);
      continue;
    }
    ++kept;
    bytes += out.cursor.pixels.size();
  }
  EXPECT_TRUE(dropped);
  EXPECT_LE(bytes, 1u << 20);
  EXPECT_GE(kept, 1u);
}

}  // namespace
