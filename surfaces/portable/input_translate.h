// Translation of one forwarded Win32 input message into the single engine host call that
// delivers it (send_key_event, send_mouse_click_event, send_mouse_move_event or
// send_mouse_wheel_event) with that call's event fields and arguments.
// Pure function; any thread (the input task calls it on the UI thread).
#pragma once
#include <cstdint>

#include "base/portable/engine_abi.h"

namespace nimo {

// Which host call delivers the message; kNone drops it (double-clicks, WM_DEADCHAR and
// every message outside the table).
enum class InputCall { kNone, kKeyEvent, kMouseClick, kMouseMove, kMouseWheel };

// Names from before the engine's own event types were declared; the same types now.
using KeyEventFields = cef_key_event_t;
using MouseEventFields = cef_mouse_event_t;

// The arguments of the chosen host call; fields the call does not take stay zero.
struct InputTranslation {
  InputCall call = InputCall::kNone;
  cef_key_event_t key = {};      // kKeyEvent
  cef_mouse_event_t mouse = {};  // every mouse call
  cef_mouse_button_type_t button = MBT_LEFT;  // kMouseClick
  int mouse_up = 0;          // kMouseClick
  int click_count = 0;       // kMouseClick: always 1
  int mouse_leave = 0;       // kMouseMove
  int delta_x = 0;           // kMouseWheel: always 0
  int delta_y = 0;           // kMouseWheel
};

// `message`, `wparam` and `lparam` as the client saw them; `modifiers` are the engine's
// event-flag bits and pass through unchanged. Mouse positions are the signed 16-bit
// halves of the low 32 bits of `lparam`; the wheel delta is the signed high word of the
// low 32 bits of `wparam`; key codes are the low 32 bits of `wparam` and `lparam`.
InputTranslation TranslateInput(std::uint32_t message, std::uint64_t wparam,
                                std::uint64_t lparam, std::uint32_t modifiers);

struct InputRecord;
// The same for a decoded InputEvent payload; its surface id is the caller's business.
InputTranslation TranslateInput(const InputRecord& record);

}  // namespace nimo
