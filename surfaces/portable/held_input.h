// What one surface's page believes about the keyboard and the mouse buttons, kept from the
// input the client forwards: which keys and buttons are down (so that a surface losing the
// focus can release them, and nothing stays pressed in the page), and how many presses in
// a row the current one is (so that double clicks and double-click selection work).
//
// Plain data with pure decisions; owned by the surface's record, touched on the UI thread
// by the input commands and the focus command, reset with the record.
#pragma once
#include <cstdint>
#include <vector>

#include "base/portable/engine_abi.h"

namespace nimo {

// The system's double-click rules: the time between two presses and the size of the box
// around the first press the second one must fall in (SM_CXDOUBLECLK x SM_CYDOUBLECLK).
struct DoubleClickRule {
  std::uint32_t time_ms = 500;
  std::int32_t box_width = 4;
  std::int32_t box_height = 4;
};

// A key to release: the key code, the native code it went down with, and whether it was a
// system key (Alt held, F10).
struct HeldKey {
  int windows_key_code = 0;
  int native_key_code = 0;
  int is_system_key = 0;
};

struct HeldRelease {
  std::vector<HeldKey> keys;                      // in the order they went down
  std::vector<cef_mouse_button_type_t> buttons;   // left, middle, right order
  int x = 0;                                      // where the pointer was last seen
  int y = 0;
  std::uint32_t modifiers = 0;                    // the last modifiers seen
};

class HeldInput {
 public:
  // A key event about to be sent. A key-down (raw or not) is remembered once however
  // often it repeats; a key-up forgets it. Characters change nothing.
  void NoteKey(const cef_key_event_t& key);
  // A mouse move or wheel at (x, y).
  void NoteMove(int x, int y, std::uint32_t modifiers);
  // A press or release of `button` at (x, y) at `now_ms` (a millisecond clock that may wrap).
  // Returns the click count to send: a press counts up from the previous press of the same
  // button when it comes within the rule's time and box, else it is 1; `double_message`
  // (the system's own double-click message) counts at least 2. A release carries the
  // count of the press it ends (1 when none is known).
  int NoteButton(cef_mouse_button_type_t button, bool up, int x, int y, std::uint32_t modifiers,
                 std::uint32_t now_ms, bool double_message, const DoubleClickRule& rule);
  // Whether a key event goes to the page while `dragging` (the page plays a drag) or after
  // one. The drag has the keyboard: a key that goes down during it is held back together
  // with its repeats, its characters and its key-up, even when that comes after the drag,
  // so the page sees both halves of a key or neither. A key already down in the page before
  // the drag loses its repeats but still gets its key-up. Call before NoteKey, which only
  // keys that reach the page go to.
  bool KeyReachesPage(const cef_key_event_t& key, bool dragging);
  // The page started a drag from the current press: the press ended as a drag, not as a
  // click, so the next press starts a new count.
  void EndPressSeries() { pressed_before_ = false; }
  // Everything still down, and forgets it (and the press counting and the keys held back):
  // the focus was lost.
  HeldRelease TakeAll();

  bool AnyDown() const { return !keys_.empty() || buttons_ != 0; }

 private:
  std::vector<HeldKey> keys_;
  std::vector<int> held_back_;    // key codes that went down during a drag, until their key-up
  bool last_down_held_ = false;   // the last key-down was held back: so are its characters
  unsigned buttons_ = 0;  // bit 1 << cef_mouse_button_type_t
  int x_ = 0;
  int y_ = 0;
  std::uint32_t modifiers_ = 0;
  // The last press, for counting.
  bool pressed_before_ = false;
  cef_mouse_button_type_t last_button_ = MBT_LEFT;
  int last_x_ = 0;
  int last_y_ = 0;
  std::uint32_t last_ms_ = 0;
  int last_count_ = 0;
  int counts_[3] = {1, 1, 1};  // per button: the count its release carries
};

}  // namespace nimo
