// The host library's event list: what an event counts against the byte bound, so that
// the bound holds for the largest reports too (a custom cursor's picture, a composition's
// rectangles), not only for texts.
#include <gtest/gtest.h>

#include "client/host_library/events.h"

namespace {

using nimo::host::Event;
using nimo::host::EventList;

TEST(HostEventBound, PicturesAndRectanglesCountAgainstTheByteBound) {
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
