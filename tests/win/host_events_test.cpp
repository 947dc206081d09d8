// The host library's Poll list: its count and byte bounds hold exactly at the limit, the
// events a program cannot do without pass any bound, and one kDropped tells what was lost.
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

}  // namespace
