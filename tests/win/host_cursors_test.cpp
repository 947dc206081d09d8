// The host library's cursor table: a page's picture becomes a cursor of its own, the
// system's cursors are shared, and a replaced picture's cursor is destroyed only after the
// program has been handed a later one twice.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "client/host_library/cursors.h"

namespace {

using nimo::CursorReport;
using nimo::host::CursorTable;

CursorReport Custom(std::uint32_t surface, std::uint8_t red) {
  CursorReport r;
  r.surface_id = surface;
  r.type = nimo::kCursorTypeCustom;
  r.hotspot_x = 3;
  r.hotspot_y = 4;
  r.width = 8;
  r.height = 8;
  r.pixels.assign(8 * 8 * 4, 0);
  for (std::size_t i = 0; i < r.pixels.size(); i += 4) {
    r.pixels[i + 2] = red;
    r.pixels[i + 3] = 0xFF;
  }
  return r;
}

CursorReport Standard(std::uint32_t surface, std::uint32_t type) {
  CursorReport r;
  r.surface_id = surface;
  r.type = type;
  return r;
}

TEST(HostCursors, PicturesBecomeCursorsOfTheirOwnAndAreDestroyedOnlyWhenNoLongerShown) {
  CursorTable table;
  const HCURSOR arrow = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  const HCURSOR hand = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));
  EXPECT_EQ(arrow, table.For(1));  // before any report
  table.Update(Standard(1, 2));    // CT_HAND
  EXPECT_EQ(hand, table.For(1));
  EXPECT_EQ(arrow, table.For(2));  // per surface

  table.Update(Custom(1, 0xFF));
  const HCURSOR first = table.For(1);
  ASSERT_NE(nullptr, first);
  EXPECT_NE(arrow, first);
  EXPECT_NE(hand, first);
  ICONINFO info = {};
  ASSERT_TRUE(GetIconInfo(first, &info));
  EXPECT_FALSE(info.fIcon);
  EXPECT_EQ(3u, info.xHotspot);
  EXPECT_EQ(4u, info.yHotspot);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  EXPECT_EQ(first, table.For(1));  // made once, not per call
  EXPECT_EQ(1u, table.LiveCustom());

  // Replaced: the old picture lives until the program has been given the new cursor twice.
  table.Update(Custom(1, 0x80));
  const HCURSOR second = table.For(1);
  EXPECT_NE(first, second);
  EXPECT_EQ(2u, table.LiveCustom());
  table.For(1);
  EXPECT_EQ(1u, table.LiveCustom());
  // The page hides its cursor: none; the picture is retired the same way.
  table.Update(Standard(1, 37));  // CT_NONE
  EXPECT_EQ(nullptr, table.For(1));
  table.For(1);
  EXPECT_EQ(0u, table.LiveCustom());
  // A surface out of range shows the arrow and changes nothing.
  table.Update(Custom(7, 1));
  EXPECT_EQ(arrow, table.For(7));
  EXPECT_EQ(0u, table.LiveCustom());

  // A surface the program never asks about: each replaced picture goes at once, however
  // many come (and For of another surface changes nothing of it).
  for (int i = 0; i < 50; ++i) {
    table.Update(Custom(2, static_cast<std::uint8_t>(i)));
    table.For(3);
  }
  EXPECT_EQ(1u, table.LiveCustom());
  table.Update(Standard(2, 2));
  EXPECT_EQ(0u, table.LiveCustom());
  // Handed out once, then replaced many times unseen: only the one handed out waits.
  table.Update(Custom(2, 1));
  const HCURSOR shown = table.For(2);
  for (int i = 0; i < 50; ++i) table.Update(Custom(2, static_cast<std::uint8_t>(i)));
  EXPECT_EQ(2u, table.LiveCustom());
  ICONINFO still = {};
  ASSERT_TRUE(GetIconInfo(shown, &still)) << "a cursor the program was given was destroyed";
  if (still.hbmColor) DeleteObject(still.hbmColor);
  if (still.hbmMask) DeleteObject(still.hbmMask);
}

}  // namespace
