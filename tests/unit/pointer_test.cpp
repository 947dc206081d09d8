#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "client/portable/cursor_map.h"
#include "protocol/pointer_messages.h"
#include "surfaces/portable/cursor_shape.h"
#include "surfaces/portable/device_scale.h"
#include "surfaces/portable/drag_session.h"

namespace {

using nimo::DipLength;
using nimo::DipRectToPixels;
using nimo::PaintLength;
using nimo::PixelToDip;
using nimo::TextureLength;
using nimo::kScaleOne;

TEST(DeviceScale, EveryPixelOfTheSurfaceLiesOnThePageAndThePaintCoversItAtCommonScales) {
  for (std::uint32_t milli : {1000u, 1250u, 1500u, 1750u, 2000u, 500u, 4000u}) {
    for (std::uint32_t physical = 1; physical <= 4096; ++physical) {
      const std::int32_t dip = DipLength(physical, milli);
      // The last pixel column is inside the DIP view, the one after it is not needed.
      ASSERT_LT(PixelToDip(static_cast<std::int32_t>(physical) - 1, milli), dip) << milli << " " << physical;
      ASSERT_GE(dip, 1);
      // The engine's paint covers the surface and exceeds it by less than one DIP (plus the
      // engine's rounding up to a whole pixel).
      const std::int32_t paint = PaintLength(dip, milli);
      ASSERT_GE(paint, static_cast<std::int32_t>(physical)) << milli << " " << physical;
      ASSERT_LT((paint - static_cast<std::int32_t>(physical) - 1) * 1000, static_cast<std::int32_t>(milli))
          << milli << " " << physical;
    }
  }
  // Whole results stay whole, without float drift at the edges.
  EXPECT_EQ(DipLength(960, 1500), 640);
  EXPECT_EQ(DipLength(540, 1500), 360);
  EXPECT_EQ(PaintLength(640, 1500), 960);
  EXPECT_EQ(DipLength(1280, 1250), 1024);
  EXPECT_EQ(PaintLength(1024, 1250), 1280);
  EXPECT_EQ(DipLength(1066, 1250), 853);  // 852.8: the partial DIP still belongs to the view
  EXPECT_EQ(DipLength(0, 1500), 0);
  // Scale 1 changes nothing; an invalid scale counts as 1.
  EXPECT_EQ(DipLength(1917, 1000), 1917);
  EXPECT_EQ(DipLength(1917, 0), 1917);
  EXPECT_EQ(PixelToDip(1916, 5000), 1916);
  EXPECT_TRUE(nimo::ValidScale(500));
  EXPECT_TRUE(nimo::ValidScale(4000));
  EXPECT_FALSE(nimo::ValidScale(499));
  EXPECT_FALSE(nimo::ValidScale(4001));
  EXPECT_FLOAT_EQ(nimo::ScaleFactor(1250), 1.25f);
}

TEST(DeviceScale, PointsAndRectanglesConvertWithoutOffByOneAtTheEdges) {
  // Points floor, also before the view (a captured mouse left of the surface).
  EXPECT_EQ(PixelToDip(0, 1500), 0);
  EXPECT_EQ(PixelToDip(1, 1500), 0);
  EXPECT_EQ(PixelToDip(2, 1500), 1);
  EXPECT_EQ(PixelToDip(959, 1500), 639);
  EXPECT_EQ(PixelToDip(480, 1500), 320);  // the centre of 960 is the centre of 640
  EXPECT_EQ(PixelToDip(1065, 1250), 852);
  EXPECT_EQ(PixelToDip(-1, 1500), -1);
  EXPECT_EQ(PixelToDip(-3, 1500), -2);
  EXPECT_EQ(PixelToDip(INT_MAX, 500), INT_MAX);  // saturates
  EXPECT_EQ(PixelToDip(INT_MIN, 500), INT_MIN);

  // A rectangle reaching the view's far edge in DIP reaches the surface's far edge in pixels.
  const cef_rect_t edge = DipRectToPixels({540, 300, 100, 60}, 1500);  // 640 x 360 view
  EXPECT_EQ(edge.x, 810);
  EXPECT_EQ(edge.y, 450);
  EXPECT_EQ(edge.x + edge.width, 960);
  EXPECT_EQ(edge.y + edge.height, 540);
  // At 1.25 the near edge floors and the far edge ceils, so the pixels cover the DIP box.
  const cef_rect_t q = DipRectToPixels({1, 3, 5, 2}, 1250);  // 1.25..7.5, 3.75..6.25
  EXPECT_EQ(q.x, 1);
  EXPECT_EQ(q.y, 3);
  EXPECT_EQ(q.width, 7);
  EXPECT_EQ(q.height, 4);
  const cef_rect_t right = DipRectToPixels({753, 0, 100, 10}, 1250);  // ends at DIP 853
  EXPECT_EQ(right.x + right.width, 1067);  // what the engine paints for 853 DIP
  EXPECT_EQ(PaintLength(853, 1250), 1067);
  // The texture keeps the surface's 1066; a paint from a smaller view shrinks it, and at
  // scale 1 the texture follows the paint.
  EXPECT_EQ(TextureLength(1067, 1066, 1250), 1066);
  EXPECT_EQ(TextureLength(800, 1066, 1250), 800);
  EXPECT_EQ(TextureLength(1067, 1066, kScaleOne), 1067);
  EXPECT_EQ(TextureLength(1067, 0, 1500), 1067);
  // Before the view and empty rectangles.
  const cef_rect_t before = DipRectToPixels({-3, -1, 2, 0}, 1500);
  EXPECT_EQ(before.x, -5);
  EXPECT_EQ(before.y, -2);
  EXPECT_EQ(before.width, 4);   // -4.5 .. -1.5
  EXPECT_EQ(before.height, 0);  // empty stays empty
  // Extremes saturate.
  const cef_rect_t huge = DipRectToPixels({INT_MAX, INT_MIN, INT_MAX, 1}, 4000);
  EXPECT_EQ(huge.x, INT_MAX);
  EXPECT_EQ(huge.y, INT_MIN);
}

TEST(CursorShape, StandardShapesPassCustomPicturesAreCopiedAndTooLargeOnesBecomeTheArrow) {
  const auto hand = nimo::DecideCursor(CT_HAND, nullptr);
  EXPECT_EQ(hand.shape.type, static_cast<std::uint32_t>(CT_HAND));
  EXPECT_FALSE(hand.oversized);
  EXPECT_TRUE(hand.shape.pixels.empty());
  EXPECT_EQ(nimo::DecideCursor(999, nullptr).shape.type, static_cast<std::uint32_t>(CT_POINTER));
  EXPECT_EQ(nimo::DecideCursor(-1, nullptr).shape.type, static_cast<std::uint32_t>(CT_POINTER));

  std::vector<std::uint8_t> pixels(3 * 2 * 4);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7);
  cef_cursor_info_t info = {};
  info.hotspot = {2, 1};
  info.image_scale_factor = 1.0f;
  info.buffer = pixels.data();
  info.size = {3, 2};
  const auto custom = nimo::DecideCursor(CT_CUSTOM, &info);
  EXPECT_EQ(custom.shape.type, static_cast<std::uint32_t>(CT_CUSTOM));
  EXPECT_EQ(custom.shape.width, 3u);
  EXPECT_EQ(custom.shape.height, 2u);
  EXPECT_EQ(custom.shape.hotspot_x, 2);
  EXPECT_EQ(custom.shape.hotspot_y, 1);
  EXPECT_EQ(custom.shape.pixels, pixels);
  pixels[0] = 255;  // the engine's buffer goes away after the call: the shape has its own
  EXPECT_NE(custom.shape.pixels, pixels);
  // A hotspot outside the picture is pulled onto its nearest pixel: exactly at the last
  // pixel, one past it and far past it, on both axes.
  const struct {
    int x, y, want_x, want_y;
  } hotspots[] = {{-4, 9, 0, 1}, {2, 1, 2, 1}, {3, 2, 2, 1}, {-1, -1, 0, 0}, {1000, 0, 2, 0}, {0, 1000, 0, 1}};
  for (const auto& h : hotspots) {
    SCOPED_TRACE(testing::Message() << h.x << "," << h.y);
    info.hotspot = {h.x, h.y};
    const auto d = nimo::DecideCursor(CT_CUSTOM, &info);
    EXPECT_EQ(d.shape.hotspot_x, h.want_x);
    EXPECT_EQ(d.shape.hotspot_y, h.want_y);
  }

  std::vector<std::uint8_t> big(129 * 128 * 4);
  info.buffer = big.data();
  info.size = {128, 128};
  EXPECT_EQ(nimo::DecideCursor(CT_CUSTOM, &info).shape.type, static_cast<std::uint32_t>(CT_CUSTOM));
  info.size = {129, 128};
  const auto oversized = nimo::DecideCursor(CT_CUSTOM, &info);
  EXPECT_TRUE(oversized.oversized);
  EXPECT_EQ(oversized.shape.type, static_cast<std::uint32_t>(CT_POINTER));
  EXPECT_TRUE(oversized.shape.pixels.empty());
  info.size = {4, 4};
  info.buffer = nullptr;
  EXPECT_EQ(nimo::DecideCursor(CT_CUSTOM, &info).shape.type, static_cast<std::uint32_t>(CT_POINTER));
  EXPECT_EQ(nimo::DecideCursor(CT_CUSTOM, nullptr).shape.type, static_cast<std::uint32_t>(CT_POINTER));

  EXPECT_EQ(nimo::DragCursor(DRAG_OPERATION_COPY | DRAG_OPERATION_MOVE).type, static_cast<std::uint32_t>(CT_DND_MOVE));
  EXPECT_EQ(nimo::DragCursor(DRAG_OPERATION_COPY).type, static_cast<std::uint32_t>(CT_DND_COPY));
  EXPECT_EQ(nimo::DragCursor(DRAG_OPERATION_LINK).type, static_cast<std::uint32_t>(CT_DND_LINK));
  EXPECT_EQ(nimo::DragCursor(DRAG_OPERATION_NONE).type, static_cast<std::uint32_t>(CT_DND_NONE));
  EXPECT_TRUE(nimo::SameCursor(hand.shape, nimo::DecideCursor(CT_HAND, nullptr).shape));
  EXPECT_FALSE(nimo::SameCursor(hand.shape, custom.shape));
}

using nimo::DragCall;
using nimo::DragCallKind;
using nimo::DragInput;
using nimo::DragSession;

std::vector<DragCallKind> Kinds(const std::vector<DragCall>& calls) {
  std::vector<DragCallKind> kinds;
  for (const DragCall& c : calls) kinds.push_back(c.kind);
  return kinds;
}

cef_mouse_event_t At(int x, int y) { return cef_mouse_event_t{x, y, EVENTFLAG_LEFT_MOUSE_BUTTON}; }

TEST(DragSession, ADragEntersMovesAndDropsOrIsCancelledAndAlwaysEndsTheSource) {
  DragSession drag;
  std::vector<DragCall> calls;
  EXPECT_FALSE(drag.TakeInput(DragInput::kMove, At(1, 1), &calls));  // no drag: input goes to the page
  ASSERT_TRUE(drag.Start(DRAG_OPERATION_COPY | DRAG_OPERATION_MOVE, 10, 20, &calls));
  EXPECT_FALSE(drag.Start(DRAG_OPERATION_COPY, 1, 1, &calls));  // one at a time
  ASSERT_EQ(Kinds(calls), std::vector<DragCallKind>{DragCallKind::kEnter});
  EXPECT_EQ(calls[0].event.x, 10);
  EXPECT_EQ(calls[0].event.y, 20);
  EXPECT_EQ(calls[0].operation, DRAG_OPERATION_COPY | DRAG_OPERATION_MOVE);
  calls.clear();
  EXPECT_TRUE(drag.TakeInput(DragInput::kMove, At(30, 40), &calls));
  EXPECT_TRUE(drag.TakeInput(DragInput::kOther, At(0, 0), &calls));  // swallowed
  ASSERT_EQ(Kinds(calls), std::vector<DragCallKind>{DragCallKind::kOver});
  EXPECT_EQ(calls[0].event.x, 30);
  calls.clear();
  drag.SetOperation(DRAG_OPERATION_COPY);
  EXPECT_TRUE(drag.TakeInput(DragInput::kLeftUp, At(50, 60), &calls));
  EXPECT_EQ(Kinds(calls), (std::vector<DragCallKind>{DragCallKind::kDrop, DragCallKind::kEndedAt,
                                                      DragCallKind::kSystemEnded}));
  EXPECT_EQ(calls[0].event.x, 50);
  EXPECT_EQ(calls[1].event.y, 60);
  EXPECT_EQ(calls[1].operation, DRAG_OPERATION_COPY);
  EXPECT_FALSE(drag.active());
  calls.clear();

  // Escape: leave at the last point, the source ends with no effect; the rest of the
  // gesture goes to the page again.
  ASSERT_TRUE(drag.Start(DRAG_OPERATION_MOVE, 5, 5, &calls));
  drag.TakeInput(DragInput::kMove, At(7, 8), &calls);
  calls.clear();
  EXPECT_TRUE(drag.TakeInput(DragInput::kEscapeDown, At(0, 0), &calls));
  EXPECT_EQ(Kinds(calls), (std::vector<DragCallKind>{DragCallKind::kLeave, DragCallKind::kEndedAt,
                                                      DragCallKind::kSystemEnded}));
  EXPECT_EQ(calls[1].event.x, 7);
  EXPECT_EQ(calls[1].operation, DRAG_OPERATION_NONE);
  calls.clear();
  EXPECT_FALSE(drag.TakeInput(DragInput::kLeftUp, At(7, 8), &calls));
  EXPECT_TRUE(calls.empty());

  // A release over a place whose effect is "none" leaves instead of dropping; a drop the
  // page gave no effect for ends as the engine's fallback effect.
  drag.Start(DRAG_OPERATION_MOVE | DRAG_OPERATION_COPY, 0, 0, &calls);
  drag.SetOperation(DRAG_OPERATION_NONE);
  calls.clear();
  drag.TakeInput(DragInput::kLeftUp, At(1, 1), &calls);
  EXPECT_EQ(calls.front().kind, DragCallKind::kLeave);
  EXPECT_EQ(calls[1].operation, DRAG_OPERATION_NONE);
  calls.clear();
  drag.Start(DRAG_OPERATION_MOVE | DRAG_OPERATION_COPY, 0, 0, &calls);
  calls.clear();
  drag.TakeInput(DragInput::kLeftUp, At(1, 1), &calls);
  EXPECT_EQ(calls.front().kind, DragCallKind::kDrop);
  EXPECT_EQ(calls[1].operation, DRAG_OPERATION_MOVE);
  calls.clear();
  drag.Start(DRAG_OPERATION_EVERY, 0, 0, &calls);
  calls.clear();
  drag.TakeInput(DragInput::kLeftUp, At(1, 1), &calls);
  EXPECT_EQ(calls[1].operation, DRAG_OPERATION_COPY);
  calls.clear();

  // Focus lost, hidden, closed: cancelled once; a second cancel does nothing.
  drag.Start(DRAG_OPERATION_COPY, 3, 4, &calls);
  calls.clear();
  drag.Cancel(&calls);
  drag.Cancel(&calls);
  EXPECT_EQ(Kinds(calls), (std::vector<DragCallKind>{DragCallKind::kLeave, DragCallKind::kEndedAt,
                                                      DragCallKind::kSystemEnded}));
  EXPECT_EQ(calls[1].event.x, 3);
  drag.SetOperation(DRAG_OPERATION_COPY);  // after the end: no effect on the next drag
  calls.clear();
  drag.Start(DRAG_OPERATION_LINK, 0, 0, &calls);
  calls.clear();
  drag.TakeInput(DragInput::kLeftUp, At(0, 0), &calls);
  EXPECT_EQ(calls[1].operation, DRAG_OPERATION_LINK);
}

}  // namespace

namespace {

TEST(PointerMessages, CursorAndTooltipPayloadsRoundTripAndMalformedOnesAreRefused) {
  std::vector<std::uint8_t> pixels(2 * 3 * 4);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i + 1);
  const std::vector<std::uint8_t> custom = nimo::EncodeCursorChanged(2, CT_CUSTOM, 1, -1, 2, 3, pixels);
  ASSERT_EQ(16u + 8u + 24u, custom.size());
  // The head and the picture's size, little-endian.
  EXPECT_EQ((std::vector<std::uint8_t>{2, 0, 0, 0, 45, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 3, 0, 0, 0}),
            std::vector<std::uint8_t>(custom.begin(), custom.begin() + 24));
  nimo::CursorReport r;
  ASSERT_TRUE(nimo::DecodeCursorChanged(custom.data(), custom.size(), &r));
  EXPECT_EQ(2u, r.surface_id);
  EXPECT_EQ(static_cast<std::uint32_t>(CT_CUSTOM), r.type);
  EXPECT_EQ(1, r.hotspot_x);
  EXPECT_EQ(-1, r.hotspot_y);
  EXPECT_EQ(pixels, r.pixels);
  // A standard cursor is the head alone.
  const std::vector<std::uint8_t> hand = nimo::EncodeCursorChanged(0, CT_HAND, 0, 0, 0, 0, {});
  ASSERT_EQ(16u, hand.size());
  ASSERT_TRUE(nimo::DecodeCursorChanged(hand.data(), hand.size(), &r));
  EXPECT_EQ(static_cast<std::uint32_t>(CT_HAND), r.type);
  EXPECT_TRUE(r.pixels.empty());
  // A picture that does not match its size, or is larger than allowed, is refused.
  EXPECT_FALSE(nimo::DecodeCursorChanged(custom.data(), custom.size() - 1, &r));
  EXPECT_FALSE(nimo::DecodeCursorChanged(custom.data(), 20, &r));
  EXPECT_FALSE(nimo::DecodeCursorChanged(hand.data(), 15, &r));
  // Bytes past the picture are no cursor either: one byte more, or one whole row more.
  std::vector<std::uint8_t> longer = custom;
  longer.push_back(0);
  EXPECT_FALSE(nimo::DecodeCursorChanged(longer.data(), longer.size(), &r));
  longer.resize(custom.size() + 2 * 4);
  EXPECT_FALSE(nimo::DecodeCursorChanged(longer.data(), longer.size(), &r));
  std::vector<std::uint8_t> wide = nimo::EncodeCursorChanged(0, CT_CUSTOM, 0, 0, 129, 1, std::vector<std::uint8_t>(129 * 4));
  EXPECT_FALSE(nimo::DecodeCursorChanged(wide.data(), wide.size(), &r));

  const std::vector<std::uint8_t> tip = nimo::EncodeTooltip(3, "caf\xC3\xA9");
  std::uint32_t surface = 0;
  std::string text;
  ASSERT_TRUE(nimo::DecodeTooltip(tip.data(), tip.size(), &surface, &text));
  EXPECT_EQ(3u, surface);
  EXPECT_EQ("caf\xC3\xA9", text);
  const std::vector<std::uint8_t> gone = nimo::EncodeTooltip(3, "");
  ASSERT_TRUE(nimo::DecodeTooltip(gone.data(), gone.size(), &surface, &text));
  EXPECT_EQ("", text);
  EXPECT_FALSE(nimo::DecodeTooltip(gone.data(), 15, &surface, &text));
}

}  // namespace

namespace {

TEST(CursorMap, EveryEngineCursorHasASystemCursor) {
  using nimo::client::StandardCursorId;
  EXPECT_EQ(32512u, StandardCursorId(CT_POINTER));   // IDC_ARROW
  EXPECT_EQ(32649u, StandardCursorId(CT_HAND));      // IDC_HAND
  EXPECT_EQ(32513u, StandardCursorId(CT_IBEAM));     // IDC_IBEAM
  EXPECT_EQ(32644u, StandardCursorId(CT_EASTRESIZE));
  EXPECT_EQ(32645u, StandardCursorId(CT_ROWRESIZE));
  EXPECT_EQ(32648u, StandardCursorId(CT_NOTALLOWED));  // IDC_NO
  EXPECT_EQ(32648u, StandardCursorId(CT_DND_NONE));
  EXPECT_EQ(32512u, StandardCursorId(CT_DND_COPY));
  EXPECT_EQ(32512u, StandardCursorId(9999));
  for (std::uint32_t type = 0; type <= CT_DND_LINK; ++type) {
    const std::uint32_t id = StandardCursorId(type);
    EXPECT_TRUE((id >= 32512 && id <= 32516) || (id >= 32642 && id <= 32651)) << type;
  }
}

}  // namespace
