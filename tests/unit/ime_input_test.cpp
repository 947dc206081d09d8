#include "client/portable/ime_input.h"

#include <gtest/gtest.h>

namespace {

using nimo::client::CandidateRect;
using nimo::client::CompositionMessage;
using nimo::client::CompositionPlan;
using nimo::client::PlanComposition;
using Next = CompositionPlan::Next;

TEST(ImeInput, CompositionMessagesBecomeCommitsCompositionsAndCancels) {
  CompositionMessage m;
  m.has_composition = true;
  m.composition = u"\u306B\u307B\u3093";  // にほん, the middle clause being converted
  m.cursor = 3;
  m.attributes = std::string("\x02\x01\x02", 3);
  CompositionPlan p = PlanComposition(m);
  EXPECT_FALSE(p.commit);
  EXPECT_EQ(p.next, Next::kSet);
  EXPECT_EQ(p.text, "\xE3\x81\xAB\xE3\x81\xBB\xE3\x82\x93");
  EXPECT_EQ(p.selection_start, 1u);
  EXPECT_EQ(p.selection_end, 2u);

  m.attributes = std::string("\x00\x00\x00", 3);  // nothing converted yet: a caret at the cursor
  m.cursor = 2;
  p = PlanComposition(m);
  EXPECT_EQ(p.selection_start, 2u);
  EXPECT_EQ(p.selection_end, 2u);
  m.cursor = 99;  // a cursor past the text stays at its end
  m.attributes.clear();
  EXPECT_EQ(PlanComposition(m).selection_start, 3u);

  // A result and the next composition in one message: commit first, then show the rest.
  m.has_result = true;
  m.result = u"\u65E5\u672C";
  m.composition = u"\u3054";
  m.cursor = 1;
  p = PlanComposition(m);
  EXPECT_TRUE(p.commit);
  EXPECT_EQ(p.commit_text, "\xE6\x97\xA5\xE6\x9C\xAC");
  EXPECT_EQ(p.next, Next::kSet);
  // A result that empties the composition: only the commit.
  m.composition.clear();
  p = PlanComposition(m);
  EXPECT_TRUE(p.commit);
  EXPECT_EQ(p.next, Next::kNothing);
  // Everything composed deleted, no result: the page drops it.
  m.has_result = false;
  EXPECT_EQ(PlanComposition(m).next, Next::kCancel);
  // Neither string in the message (a cursor move only): nothing.
  CompositionMessage none;
  EXPECT_FALSE(PlanComposition(none).commit);
  EXPECT_EQ(PlanComposition(none).next, Next::kNothing);
}

TEST(ImeInput, TextCrossesToUtf8WithSurrogatePairsAndLoneHalves) {
  EXPECT_EQ(nimo::client::Utf16ToUtf8(u"a\u00E9\U0001F600"), "a\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(nimo::client::Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(0xD800)) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(nimo::client::Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(0xDC00))), "\xEF\xBF\xBD");
}

TEST(ImeInput, TheCandidateWindowGoesToTheSelectedCharacterInWindowCoordinates) {
  const std::vector<nimo::ImeRect> rects = {{10, 20, 8, 16}, {18, 20, 8, 16}, {26, 20, 8, 16}};
  nimo::ImeRect r;
  ASSERT_TRUE(CandidateRect(rects, 1, {100, 50}, &r));
  EXPECT_EQ(r.x, 118);
  EXPECT_EQ(r.y, 70);
  EXPECT_EQ(r.height, 16);
  ASSERT_TRUE(CandidateRect(rects, 7, {0, 0}, &r));
  EXPECT_EQ(r.x, 26) << "past the characters: the last one";
  EXPECT_FALSE(CandidateRect({}, 0, {0, 0}, &r));
}

}  // namespace
