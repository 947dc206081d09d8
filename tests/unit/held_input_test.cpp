#include "surfaces/portable/held_input.h"

#include <gtest/gtest.h>

namespace {

using nimo::DoubleClickRule;
using nimo::HeldInput;

cef_key_event_t Key(cef_key_event_type_t type, int vk, int native = 0, int system = 0) {
  cef_key_event_t k = {};
  k.type = type;
  k.windows_key_code = vk;
  k.native_key_code = native;
  k.is_system_key = system;
  return k;
}

TEST(HeldInput, FocusLossReleasesExactlyWhatIsStillDownOnceWhereThePointerWas) {
  HeldInput h;
  h.NoteKey(Key(KEYEVENT_RAWKEYDOWN, 'W', 0x110001));
  h.NoteKey(Key(KEYEVENT_RAWKEYDOWN, 'W', 0x40110001));  // auto-repeat: still one key
  h.NoteKey(Key(KEYEVENT_CHAR, 'w'));
  h.NoteKey(Key(KEYEVENT_RAWKEYDOWN, 0x12, 0x380001, 1));  // Alt, a system key
  h.NoteKey(Key(KEYEVENT_RAWKEYDOWN, 'A', 0x1E0001));
  h.NoteKey(Key(KEYEVENT_KEYUP, 'A'));
  const DoubleClickRule rule;
  h.NoteButton(MBT_RIGHT, false, 10, 20, 0, 1000, false, rule);
  h.NoteButton(MBT_LEFT, false, 10, 20, 0, 1100, false, rule);
  h.NoteButton(MBT_LEFT, true, 10, 20, 0, 1150, false, rule);
  h.NoteMove(-5, 300, 0x10);
  EXPECT_TRUE(h.AnyDown());

  const nimo::HeldRelease r = h.TakeAll();
  ASSERT_EQ(r.keys.size(), 2u);
  EXPECT_EQ(r.keys[0].windows_key_code, 'W');
  EXPECT_EQ(r.keys[0].native_key_code, 0x110001);
  EXPECT_EQ(r.keys[0].is_system_key, 0);
  EXPECT_EQ(r.keys[1].windows_key_code, 0x12);
  EXPECT_EQ(r.keys[1].is_system_key, 1);
  ASSERT_EQ(r.buttons.size(), 1u);
  EXPECT_EQ(r.buttons[0], MBT_RIGHT);
  EXPECT_EQ(r.x, -5);
  EXPECT_EQ(r.y, 300);
  EXPECT_EQ(r.modifiers, 0x10u);
  EXPECT_FALSE(h.AnyDown());
  EXPECT_TRUE(h.TakeAll().keys.empty());  // released once, not again
}

// While the page plays a drag it has the keyboard: the page sees a key's down and up both
// or neither, so nothing stays down in it and no key-up comes out of nowhere.
TEST(HeldInput, KeysDuringADragReachThePageInPairsOrNotAtAll) {
  HeldInput h;
  auto send = [&](cef_key_event_type_t type, int vk, bool dragging) {
    const cef_key_event_t k = Key(type, vk);
    if (!h.KeyReachesPage(k, dragging)) return false;
    h.NoteKey(k);
    return true;
  };
  EXPECT_TRUE(send(KEYEVENT_RAWKEYDOWN, 0x10, false));  // Shift down before the drag
  EXPECT_FALSE(send(KEYEVENT_RAWKEYDOWN, 0x10, true));  // its repeat during the drag
  EXPECT_TRUE(send(KEYEVENT_KEYUP, 0x10, true));        // its release still reaches the page
  EXPECT_FALSE(send(KEYEVENT_RAWKEYDOWN, 'A', true));   // pressed during the drag: held back,
  EXPECT_FALSE(send(KEYEVENT_CHAR, 'a', true));
  EXPECT_FALSE(send(KEYEVENT_RAWKEYDOWN, 'A', false));  // with its repeats after the drag,
  EXPECT_FALSE(send(KEYEVENT_CHAR, 'a', false));
  EXPECT_FALSE(send(KEYEVENT_KEYUP, 'A', false));       // and its release
  EXPECT_FALSE(send(KEYEVENT_RAWKEYDOWN, 0x1B, true));  // Escape, which ends the drag
  EXPECT_FALSE(send(KEYEVENT_KEYUP, 0x1B, false));
  EXPECT_TRUE(send(KEYEVENT_RAWKEYDOWN, 'A', false));   // a new press is the page's again
  EXPECT_TRUE(send(KEYEVENT_CHAR, 'a', false));
  EXPECT_TRUE(send(KEYEVENT_KEYUP, 'A', false));
  EXPECT_FALSE(h.AnyDown());
  // A key held back when the focus goes is forgotten: its next press reaches the page.
  EXPECT_FALSE(send(KEYEVENT_RAWKEYDOWN, 'B', true));
  EXPECT_TRUE(h.TakeAll().keys.empty());
  EXPECT_TRUE(send(KEYEVENT_RAWKEYDOWN, 'B', false));
  EXPECT_EQ(h.TakeAll().keys.size(), 1u);
}

TEST(HeldInput, PressesCountUpAtOnePlaceWithinTheDoubleClickTime) {
  HeldInput h;
  DoubleClickRule rule;
  rule.time_ms = 500;
  rule.box_width = 4;
  rule.box_height = 4;
  auto press = [&](cef_mouse_button_type_t b, int x, int y, std::uint32_t t, bool dbl = false) {
    const int n = h.NoteButton(b, false, x, y, 0, t, dbl, rule);
    EXPECT_EQ(h.NoteButton(b, true, x, y, 0, t + 10, false, rule), n) << "the release carries its press's count";
    return n;
  };
  EXPECT_EQ(press(MBT_LEFT, 100, 100, 1000), 1);
  EXPECT_EQ(press(MBT_LEFT, 102, 98, 1400), 2);   // within 2 px and 500 ms of the last press
  EXPECT_EQ(press(MBT_LEFT, 101, 99, 1800), 3);   // a triple click selects the paragraph
  EXPECT_EQ(press(MBT_LEFT, 101, 99, 2400), 1);   // too late
  EXPECT_EQ(press(MBT_LEFT, 101, 99, 2900), 2);   // exactly the double-click time still counts
  EXPECT_EQ(press(MBT_LEFT, 101, 99, 3401), 1);   // one millisecond over does not
  EXPECT_EQ(press(MBT_LEFT, 103, 101, 3600), 2);  // exactly at the box's edge (2 px each way)
  EXPECT_EQ(press(MBT_LEFT, 104, 99, 2500), 1);   // too far
  EXPECT_EQ(press(MBT_RIGHT, 104, 99, 2600), 1);  // another button starts anew
  EXPECT_EQ(press(MBT_LEFT, 104, 99, 2700), 1);
  // The system's double-click message is at least a second press, whatever came before.
  EXPECT_EQ(press(MBT_LEFT, 300, 300, 2750, true), 2);
  EXPECT_EQ(press(MBT_LEFT, 300, 300, 2800), 3);
  // A clock that wrapped between two presses.
  EXPECT_EQ(press(MBT_MIDDLE, 0, 0, 0xFFFFFF00u), 1);
  EXPECT_EQ(press(MBT_MIDDLE, 0, 0, 0x40u), 2);
  // Focus lost: counting starts again.
  h.TakeAll();
  EXPECT_EQ(press(MBT_MIDDLE, 0, 0, 0x80u), 1);
  // A press that became a drag is no first click of a double click.
  EXPECT_EQ(press(MBT_LEFT, 50, 50, 0x100u), 1);
  h.EndPressSeries();
  EXPECT_EQ(press(MBT_LEFT, 50, 50, 0x180u), 1);
  // A release with no press known carries 1.
  HeldInput fresh;
  EXPECT_EQ(fresh.NoteButton(MBT_LEFT, true, 0, 0, 0, 0, false, rule), 1);
}

}  // namespace
