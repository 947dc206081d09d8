#include "surfaces/portable/popup_place.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using nimo::CopyPlan;
using nimo::PlanPopupCopy;
using nimo::PopupCopy;
using nimo::ViewCopyReachesPopup;

// Destination and size of a visible copy (the source always starts at the pixels' origin).
bool Lands(const PopupCopy& c, std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h) {
  return c.visible && c.dest_x == x && c.dest_y == y && c.source.left == 0 && c.source.top == 0 &&
         c.source.right == w && c.source.bottom == h;
}

TEST(PopupPlace, APopupIsMovedBackInsideTheTextureAndClippedOnlyWhereItIsLargerThanIt) {
  // Inside: unchanged; touching the right and bottom edges still counts as inside.
  EXPECT_TRUE(Lands(PlanPopupCopy({40, 30, 100, 60}, 100, 60, 320, 200), 40, 30, 100, 60));
  EXPECT_TRUE(Lands(PlanPopupCopy({220, 140, 100, 60}, 100, 60, 320, 200), 220, 140, 100, 60));
  // Past the right and bottom edges: shifted left and up by the overflow.
  EXPECT_TRUE(Lands(PlanPopupCopy({260, 170, 100, 60}, 100, 60, 320, 200), 220, 140, 100, 60));
  // Before the left and top edges: moved to 0.
  EXPECT_TRUE(Lands(PlanPopupCopy({-15, -4, 100, 60}, 100, 60, 320, 200), 0, 0, 100, 60));
  // Larger than the texture: starts at 0 whichever side it sticks out of, and what still
  // sticks out past the right and bottom is not copied.
  EXPECT_TRUE(Lands(PlanPopupCopy({50, -10, 400, 250}, 400, 250, 320, 200), 0, 0, 320, 200));
  // A paint smaller than the announced rectangle copies the pixels there are; a larger one
  // no more than the rectangle.
  EXPECT_TRUE(Lands(PlanPopupCopy({10, 10, 100, 60}, 80, 70, 320, 200), 10, 10, 80, 60));
  // Extreme rectangles neither overflow nor escape the texture.
  EXPECT_TRUE(Lands(PlanPopupCopy({INT_MAX, INT_MAX, 10, 10}, 10, 10, 320, 200), 310, 190, 10, 10));
  EXPECT_TRUE(Lands(PlanPopupCopy({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, 5, 5, 320, 200), 0, 0, 5, 5));
  EXPECT_TRUE(Lands(PlanPopupCopy({INT_MAX, INT_MIN, INT_MAX, 1}, 400, 1, 320, 200), 0, 0, 320, 1));

  // Nothing to draw: an empty or negative rectangle, no pixels, no texture.
  EXPECT_FALSE(PlanPopupCopy({10, 10, 0, 60}, 100, 60, 320, 200).visible);
  EXPECT_FALSE(PlanPopupCopy({10, 10, 100, -1}, 100, 60, 320, 200).visible);
  EXPECT_FALSE(PlanPopupCopy({10, 10, 100, 60}, 0, 60, 320, 200).visible);
  EXPECT_FALSE(PlanPopupCopy({10, 10, 100, 60}, 100, 60, 0, 200).visible);
}

TEST(PopupPlace, OnlyAViewCopyThatOverlapsThePopupPaintsOverIt) {
  const PopupCopy popup = PlanPopupCopy({40, 30, 100, 60}, 100, 60, 320, 200);  // x 40..140, y 30..90
  CopyPlan plan;
  plan.full_copy = true;
  EXPECT_TRUE(ViewCopyReachesPopup(plan, popup));

  plan.full_copy = false;
  EXPECT_FALSE(ViewCopyReachesPopup(plan, popup));  // a partial copy of nothing
  plan.box_count = 2;
  plan.boxes[0] = {0, 0, 40, 200};    // ends where the popup starts
  plan.boxes[1] = {140, 90, 320, 200};  // starts where the popup ends
  EXPECT_FALSE(ViewCopyReachesPopup(plan, popup));
  plan.boxes[1] = {139, 89, 150, 95};  // one pixel of it
  EXPECT_TRUE(ViewCopyReachesPopup(plan, popup));
  plan.boxes[0] = {50, 40, 60, 50};  // wholly inside it
  plan.box_count = 1;
  EXPECT_TRUE(ViewCopyReachesPopup(plan, popup));

  plan.full_copy = true;
  EXPECT_FALSE(ViewCopyReachesPopup(plan, PopupCopy()));  // no popup drawn
}

}  // namespace
