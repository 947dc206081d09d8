#include "surfaces/portable/held_input.h"

#include <cstdlib>

namespace nimo {

namespace {

unsigned Bit(cef_mouse_button_type_t button) { return 1u << static_cast<unsigned>(button); }

bool KnownButton(cef_mouse_button_type_t button) {
  return button == MBT_LEFT || button == MBT_MIDDLE || button == MBT_RIGHT;
}

}  // namespace

void HeldInput::NoteKey(const cef_key_event_t& key) {
  if (key.type == KEYEVENT_CHAR) return;
  for (auto it = keys_.begin(); it != keys_.end(); ++it) {
    if (it->windows_key_code != key.windows_key_code) continue;
    if (key.type == KEYEVENT_KEYUP) keys_.erase(it);
    return;
  }
  if (key.type == KEYEVENT_RAWKEYDOWN || key.type == KEYEVENT_KEYDOWN) {
    keys_.push_back(HeldKey{key.windows_key_code, key.native_key_code, key.is_system_key});
  }
}

bool HeldInput::KeyReachesPage(const cef_key_event_t& key, bool dragging) {
  if (key.type == KEYEVENT_CHAR) return !dragging && !last_down_held_;
  auto held = held_back_.begin();
  while (held != held_back_.end() && *held != key.windows_key_code) ++held;
  if (key.type == KEYEVENT_KEYUP) {
    if (held == held_back_.end()) return true;
    held_back_.erase(held);
    if (held_back_.empty()) last_down_held_ = false;
    return false;
  }
  last_down_held_ = true;
  if (held != held_back_.end()) return false;  // a repeat of a key held back
  if (dragging) {
    bool page_has_it = false;
    for (const HeldKey& k : keys_) page_has_it = page_has_it || k.windows_key_code == key.windows_key_code;
    if (!page_has_it) held_back_.push_back(key.windows_key_code);
    return false;
  }
  last_down_held_ = false;
  return true;
}

void HeldInput::NoteMove(int x, int y, std::uint32_t modifiers) {
  x_ = x;
  y_ = y;
  modifiers_ = modifiers;
}

int HeldInput::NoteButton(cef_mouse_button_type_t button, bool up, int x, int y, std::uint32_t modifiers,
                          std::uint32_t now_ms, bool double_message, const DoubleClickRule& rule) {
  NoteMove(x, y, modifiers);
  if (!KnownButton(button)) return 1;
  if (up) {
    buttons_ &= ~Bit(button);
    return counts_[button];
  }
  buttons_ |= Bit(button);
  int count = 1;
  // Unsigned difference: a clock that wrapped between the presses still measures right.
  const std::uint32_t elapsed = now_ms - last_ms_;
  if (pressed_before_ && last_button_ == button && elapsed <= rule.time_ms &&
      std::abs(x - last_x_) * 2 <= rule.box_width && std::abs(y - last_y_) * 2 <= rule.box_height) {
    count = last_count_ + 1;
  }
  if (double_message && count < 2) count = 2;
  pressed_before_ = true;
  last_button_ = button;
  last_x_ = x;
  last_y_ = y;
  last_ms_ = now_ms;
  last_count_ = count;
  counts_[button] = count;
  return count;
}

HeldRelease HeldInput::TakeAll() {
  HeldRelease release;
  release.keys.swap(keys_);
  held_back_.clear();
  last_down_held_ = false;
  for (cef_mouse_button_type_t b : {MBT_LEFT, MBT_MIDDLE, MBT_RIGHT}) {
    if (buttons_ & Bit(b)) release.buttons.push_back(b);
  }
  release.x = x_;
  release.y = y_;
  release.modifiers = modifiers_;
  buttons_ = 0;
  pressed_before_ = false;
  counts_[0] = counts_[1] = counts_[2] = 1;
  return release;
}

}  // namespace nimo
