#include "surfaces/portable/copy_plan.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

using nimo::CopyPlan;
using nimo::PlanAcceleratedCopy;

bool SameBox(const nimo::CopyBox& b, std::uint32_t l, std::uint32_t t, std::uint32_t r, std::uint32_t bo) {
  return b.left == l && b.top == t && b.right == r && b.bottom == bo;
}

TEST(CopyPlan, FullCopyWhenPendingOrWithoutUsableRectangles) {
  const cef_rect_t one[1] = {{10, 10, 5, 5}};
  EXPECT_TRUE(PlanAcceleratedCopy(true, one, 1, 800, 600).full_copy);  // fresh texture
  EXPECT_TRUE(PlanAcceleratedCopy(false, nullptr, 3, 800, 600).full_copy);
  EXPECT_TRUE(PlanAcceleratedCopy(false, one, 0, 800, 600).full_copy);
  EXPECT_EQ(PlanAcceleratedCopy(true, one, 1, 800, 600).box_count, 0u);

  const CopyPlan partial = PlanAcceleratedCopy(false, one, 1, 800, 600);
  EXPECT_FALSE(partial.full_copy);
  ASSERT_EQ(partial.box_count, 1u);
  EXPECT_TRUE(SameBox(partial.boxes[0], 10, 10, 15, 15));
}

TEST(CopyPlan, UpToThirtyTwoRectanglesAreCopiedInOrderAndMoreMeansOneFullCopy) {
  std::vector<cef_rect_t> rects;
  for (int i = 0; i < 33; ++i) rects.push_back({i * 10, i, 4, 2});
  const CopyPlan at_limit = PlanAcceleratedCopy(false, rects.data(), 32, 1000, 1000);
  EXPECT_FALSE(at_limit.full_copy);
  ASSERT_EQ(at_limit.box_count, 32u);
  for (std::uint32_t i = 0; i < 32; ++i) {
    EXPECT_TRUE(SameBox(at_limit.boxes[i], i * 10, i, i * 10 + 4, i + 2)) << i;
  }
  const CopyPlan over = PlanAcceleratedCopy(false, rects.data(), 33, 1000, 1000);
  EXPECT_TRUE(over.full_copy);
  EXPECT_EQ(over.box_count, 0u);
  EXPECT_TRUE(PlanAcceleratedCopy(false, rects.data(), static_cast<std::size_t>(-1), 1000, 1000).full_copy);
}

TEST(CopyPlan, RectanglesAreClippedToTheTexture) {
  const cef_rect_t rects[] = {
      {-5, -7, 20, 20},      // off the top-left corner
      {790, 590, 50, 50},    // past the bottom-right corner
      {0, 0, 800, 600},      // exactly the texture
      {-100, 10, 5000, 1},   // wider than the texture on both sides
  };
  const CopyPlan plan = PlanAcceleratedCopy(false, rects, 4, 800, 600);
  ASSERT_EQ(plan.box_count, 4u);
  EXPECT_TRUE(SameBox(plan.boxes[0], 0, 0, 15, 13));
  EXPECT_TRUE(SameBox(plan.boxes[1], 790, 590, 800, 600));
  EXPECT_TRUE(SameBox(plan.boxes[2], 0, 0, 800, 600));
  EXPECT_TRUE(SameBox(plan.boxes[3], 0, 10, 800, 11));
}

TEST(CopyPlan, EmptyAndOutsideRectanglesAreSkippedWithoutFallingBackToAFullCopy) {
  const cef_rect_t rects[] = {
      {800, 0, 10, 10},   // right of the texture
      {0, 600, 10, 10},   // below it
      {-10, 0, 10, 10},   // ends exactly at the left edge
      {5, 5, 0, 10},      // no width
      {5, 5, 10, -3},     // negative height
      {3, 4, 1, 1},       // the one real box
  };
  const CopyPlan plan = PlanAcceleratedCopy(false, rects, 6, 800, 600);
  EXPECT_FALSE(plan.full_copy);
  ASSERT_EQ(plan.box_count, 1u);
  EXPECT_TRUE(SameBox(plan.boxes[0], 3, 4, 4, 5));

  const CopyPlan nothing = PlanAcceleratedCopy(false, rects, 5, 800, 600);
  EXPECT_FALSE(nothing.full_copy);
  EXPECT_EQ(nothing.box_count, 0u);
}

TEST(CopyPlan, ExtremeRectanglesNeitherOverflowNorEscapeTheTexture) {
  const cef_rect_t rects[] = {
      {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
      {INT_MIN, INT_MIN, INT_MAX, INT_MAX},  // ends at -1: nothing
      {INT_MIN, INT_MIN, -1, -1},
      {100, 100, INT_MAX, INT_MAX},          // x + w overflows 32 bits
      {INT_MIN, 0, INT_MAX, 10},
  };
  const CopyPlan plan = PlanAcceleratedCopy(false, rects, 5, 640, 480);
  ASSERT_EQ(plan.box_count, 1u);
  EXPECT_TRUE(SameBox(plan.boxes[0], 100, 100, 640, 480));
  // A texture of no size takes nothing.
  const cef_rect_t whole[] = {{0, 0, 10, 10}};
  EXPECT_EQ(PlanAcceleratedCopy(false, whole, 1, 0, 0).box_count, 0u);
}

}  // namespace
