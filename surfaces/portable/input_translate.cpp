#include "surfaces/portable/input_translate.h"

#include "protocol/input_messages.h"
#include "protocol/wire.h"

namespace nimo {

namespace {

int Low32(std::uint64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v & 0xFFFFFFFFu)); }

void Key(InputTranslation& t, cef_key_event_type_t type, int system, std::uint64_t wparam, std::uint64_t lparam,
         std::uint32_t modifiers, bool with_character) {
  t.call = InputCall::kKeyEvent;
  t.key.type = type;
  t.key.modifiers = modifiers;
  t.key.windows_key_code = Low32(wparam);
  t.key.native_key_code = Low32(lparam);
  t.key.is_system_key = system;
  if (with_character) {
    t.key.character = static_cast<char16_t>(wparam & 0xFFFFu);
    t.key.unmodified_character = t.key.character;
  }
  t.key.focus_on_editable_field = 0;
}

void Click(InputTranslation& t, cef_mouse_button_type_t button, int up) {
  t.call = InputCall::kMouseClick;
  t.button = button;
  t.mouse_up = up;
  t.click_count = 1;
}

}  // namespace

InputTranslation TranslateInput(std::uint32_t message, std::uint64_t wparam,
                                std::uint64_t lparam, std::uint32_t modifiers) {
  InputTranslation t;
  t.mouse.x = LparamX(lparam);
  t.mouse.y = LparamY(lparam);
  t.mouse.modifiers = modifiers;
  switch (message) {
    case kWmKeyDown: Key(t, KEYEVENT_RAWKEYDOWN, 0, wparam, lparam, modifiers, false); break;
    case kWmKeyUp: Key(t, KEYEVENT_KEYUP, 0, wparam, lparam, modifiers, false); break;
    case kWmChar: Key(t, KEYEVENT_CHAR, 0, wparam, lparam, modifiers, true); break;
    case kWmSysKeyDown: Key(t, KEYEVENT_RAWKEYDOWN, 1, wparam, lparam, modifiers, false); break;
    case kWmSysKeyUp: Key(t, KEYEVENT_KEYUP, 1, wparam, lparam, modifiers, false); break;
    case kWmSysChar: Key(t, KEYEVENT_CHAR, 1, wparam, lparam, modifiers, true); break;
    case kWmMouseMove: t.call = InputCall::kMouseMove; break;
    case kWmLButtonDown: Click(t, MBT_LEFT, 0); break;
    case kWmLButtonUp: Click(t, MBT_LEFT, 1); break;
    case kWmRButtonDown: Click(t, MBT_RIGHT, 0); break;
    case kWmRButtonUp: Click(t, MBT_RIGHT, 1); break;
    case kWmMButtonDown: Click(t, MBT_MIDDLE, 0); break;
    case kWmMButtonUp: Click(t, MBT_MIDDLE, 1); break;
    case kWmMouseWheel:
      t.call = InputCall::kMouseWheel;
      t.delta_x = 0;
      t.delta_y = WheelDelta(wparam);
      break;
    case kWmMouseLeave:
      // The leave message carries no position.
      t.call = InputCall::kMouseMove;
      t.mouse.x = 0;
      t.mouse.y = 0;
      t.mouse_leave = 1;
      break;
    default:
      break;
  }
  if (t.call == InputCall::kNone || t.call == InputCall::kKeyEvent) t.mouse = cef_mouse_event_t{};
  return t;
}

InputTranslation TranslateInput(const InputRecord& record) {
  return TranslateInput(record.message, record.wparam, record.lparam, record.modifiers);
}

}  // namespace nimo
