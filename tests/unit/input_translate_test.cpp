#include "surfaces/portable/input_translate.h"

#include <gtest/gtest.h>

#include <set>

#include "protocol/wire.h"

namespace {

using nimo::InputCall;
using nimo::TranslateInput;

const std::uint32_t kMods = 0x2 | 0x4 | 0x2000;  // shift, control, repeat

struct KeyRow {
  std::uint32_t message;
  cef_key_event_type_t type;
  int system;
  bool has_character;
};

TEST(InputTranslate, KeyMessagesBuildTheKeyEventOfTheirRow) {
  const KeyRow rows[] = {
      {0x100, KEYEVENT_RAWKEYDOWN, 0, false}, {0x101, KEYEVENT_KEYUP, 0, false},
      {0x102, KEYEVENT_CHAR, 0, true},        {0x104, KEYEVENT_RAWKEYDOWN, 1, false},
      {0x105, KEYEVENT_KEYUP, 1, false},      {0x106, KEYEVENT_CHAR, 1, true},
  };
  for (const KeyRow& row : rows) {
    SCOPED_TRACE(row.message);
    const auto t = TranslateInput(row.message, 0x00000001000000E9ull, 0xABCD00001E0001ull, kMods);
    ASSERT_EQ(t.call, InputCall::kKeyEvent);
    EXPECT_EQ(t.key.type, row.type);
    EXPECT_EQ(t.key.is_system_key, row.system);
    EXPECT_EQ(t.key.modifiers, kMods);
    EXPECT_EQ(t.key.windows_key_code, 0xE9);       // low 32 bits of wparam
    EXPECT_EQ(t.key.native_key_code, 0x001E0001);  // low 32 bits of lparam
    EXPECT_EQ(t.key.focus_on_editable_field, 0);
    EXPECT_EQ(t.key.character, row.has_character ? u'\u00E9' : 0);
    EXPECT_EQ(t.key.unmodified_character, row.has_character ? u'\u00E9' : 0);
  }
}

TEST(InputTranslate, CharactersAreTheLowWordAndKeyCodesKeepTheirSign) {
  const auto t = TranslateInput(0x102, 0xFFFFFFFFFFFFD83Dull, 0xC0000001ull, 0);
  EXPECT_EQ(t.key.character, static_cast<char16_t>(0xD83D));
  EXPECT_EQ(t.key.unmodified_character, static_cast<char16_t>(0xD83D));
  EXPECT_EQ(t.key.windows_key_code, -10179);  // 0xFFFFD83D read as i32
  EXPECT_EQ(t.key.native_key_code, -1073741823);  // 0xC0000001 read as i32
}

struct ClickRow {
  std::uint32_t message;
  cef_mouse_button_type_t button;
  int up;
};

TEST(InputTranslate, ButtonMessagesAreSingleClicksWithTheirButtonAndDirection) {
  const ClickRow rows[] = {
      {0x201, MBT_LEFT, 0},   {0x202, MBT_LEFT, 1},
      {0x204, MBT_RIGHT, 0},  {0x205, MBT_RIGHT, 1},
      {0x207, MBT_MIDDLE, 0}, {0x208, MBT_MIDDLE, 1},
  };
  for (const ClickRow& row : rows) {
    SCOPED_TRACE(row.message);
    const auto t = TranslateInput(row.message, 0x1, 0x00C80064, kMods);
    ASSERT_EQ(t.call, InputCall::kMouseClick);
    EXPECT_EQ(t.button, row.button);
    EXPECT_EQ(t.mouse_up, row.up);
    EXPECT_EQ(t.click_count, 1);
    EXPECT_EQ(t.mouse.x, 100);
    EXPECT_EQ(t.mouse.y, 200);
    EXPECT_EQ(t.mouse.modifiers, kMods);
  }
}

TEST(InputTranslate, MousePositionHalvesAreSignExtended) {
  auto t = TranslateInput(0x200, 0, 0xFFFF0010ull, 0);
  ASSERT_EQ(t.call, InputCall::kMouseMove);
  EXPECT_EQ(t.mouse.x, 16);
  EXPECT_EQ(t.mouse.y, -1);
  EXPECT_EQ(t.mouse_leave, 0);

  // Only the low 32 bits of lparam carry the position.
  t = TranslateInput(0x200, 0, 0x123456788000FFFFull, 0);
  EXPECT_EQ(t.mouse.x, -1);
  EXPECT_EQ(t.mouse.y, -32768);

  t = TranslateInput(0x201, 0, 0x7FFF7FFFull, 0);
  EXPECT_EQ(t.mouse.x, 32767);
  EXPECT_EQ(t.mouse.y, 32767);
}

TEST(InputTranslate, WheelDeltaIsTheSignedHighWordOfWparam) {
  auto t = TranslateInput(0x20A, 0xFF880000ull, 0x00050006ull, kMods);
  ASSERT_EQ(t.call, InputCall::kMouseWheel);
  EXPECT_EQ(t.delta_y, -120);
  EXPECT_EQ(t.delta_x, 0);
  EXPECT_EQ(t.mouse.x, 6);
  EXPECT_EQ(t.mouse.y, 5);
  EXPECT_EQ(t.mouse.modifiers, kMods);

  // Key-state bits in the low word and bits above 32 do not leak into the delta.
  t = TranslateInput(0x20A, 0xFFFFFFFF00780008ull, 0, 0);
  EXPECT_EQ(t.delta_y, 120);
}

TEST(InputTranslate, MouseLeaveIgnoresLparam) {
  const auto t = TranslateInput(0x2A3, 0x55, 0x00C80064, kMods);
  ASSERT_EQ(t.call, InputCall::kMouseMove);
  EXPECT_EQ(t.mouse_leave, 1);
  EXPECT_EQ(t.mouse.x, 0);
  EXPECT_EQ(t.mouse.y, 0);
  EXPECT_EQ(t.mouse.modifiers, kMods);
}

TEST(InputTranslate, EveryMessageOutsideTheTableIsDropped) {
  const std::set<std::uint32_t> handled = {0x100, 0x101, 0x102, 0x104, 0x105, 0x106,
                                           0x200, 0x201, 0x202, 0x204, 0x205, 0x207,
                                           0x208, 0x20A, 0x2A3};
  int dropped = 0;
  for (std::uint32_t m = 0; m < 0x1000; ++m) {
    const auto t = TranslateInput(m, 0x1234, 0x5678, 1);
    EXPECT_EQ(t.call != InputCall::kNone, handled.count(m) == 1) << "message " << m;
    if (t.call == InputCall::kNone) ++dropped;
  }
  EXPECT_EQ(dropped, 0x1000 - static_cast<int>(handled.size()));
  // Double-clicks, WM_DEADCHAR and a handled number in the upper bits are dropped.
  for (std::uint32_t m : {0x203u, 0x206u, 0x209u, 0x103u, 0x10100u, 0xFFFFFFFFu}) {
    EXPECT_EQ(TranslateInput(m, 0, 0, 0).call, InputCall::kNone) << m;
  }
}

TEST(InputTranslate, DecodedInputRecordTranslatesLikeItsFields) {
  std::uint8_t bytes[nimo::kInputRecordSize];
  nimo::InputRecord in = {2, 0x20A, 0xFF880000ull, 0xFFFF0010ull, kMods, 0xDEAD};
  nimo::EncodeInputRecord(in, bytes);
  const auto t = TranslateInput(nimo::DecodeInputRecord(bytes));
  ASSERT_EQ(t.call, InputCall::kMouseWheel);
  EXPECT_EQ(t.delta_y, -120);
  EXPECT_EQ(t.mouse.x, 16);
  EXPECT_EQ(t.mouse.y, -1);
  EXPECT_EQ(t.mouse.modifiers, kMods);
}

}  // namespace
