// Window messages to input records: the keyboard's state read where the message is being
// handled, the wheel's screen position made a window position, leaving tracked per surface.
#include <windows.h>

#include "client/host_library/state.h"

namespace nimo {
namespace host {

namespace {

bool Down(int key) { return (GetKeyState(key) & 0x8000) != 0; }

}  // namespace

void HostState::NoteSurfaceSize(std::uint32_t surface, std::uint32_t width, std::uint32_t height) {
  std::lock_guard<std::mutex> hold(lock);
  presence.SetSize(surface, width, height);
}

bool HostState::PresenceMessage(std::uint32_t surface, HWND window, UINT message, WPARAM wparam,
                                const InputRecord& move, const client::KeyboardState& keys) {
  const auto id = reinterpret_cast<std::uintptr_t>(window);
  client::PointerPresence::MoveOutcome outcome;
  {
    std::lock_guard<std::mutex> hold(lock);
    if (message == WM_MOUSEMOVE) {
      outcome = presence.Moved(surface, id, LparamX(move.lparam), LparamY(move.lparam),
                               (wparam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) != 0);
    } else {
      outcome.leave_mask = presence.LeftWindow(id);
      outcome.forward = false;
    }
  }
  for (std::uint32_t s = 0; s < kSurfaceSlotCount; ++s) {
    InputRecord leave;
    if ((outcome.leave_mask & (1u << s)) &&
        client::TranslateWindowMessage(s, WM_MOUSELEAVE, 0, 0, keys, SurfacePlacement(), &leave, 3)) {
      Queue(protocol::Input(leave));
    }
  }
  return !outcome.forward;
}

bool Host::ForwardInput(std::uint32_t surface, HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                        const SurfacePlacement& placement) {
  bool keyboard_result = false;
  if (ForwardKeyboardMessage(*this, *state_, surface, window, message, wparam, lparam, placement, &keyboard_result))
    return keyboard_result;
  client::KeyboardState keys;
  keys.shift = Down(VK_SHIFT);
  keys.control = Down(VK_CONTROL);
  keys.alt = Down(VK_MENU);
  keys.caps_lock = (GetKeyState(VK_CAPITAL) & 1) != 0;
  keys.num_lock = (GetKeyState(VK_NUMLOCK) & 1) != 0;
  keys.left_button = Down(VK_LBUTTON);
  keys.middle_button = Down(VK_MBUTTON);
  keys.right_button = Down(VK_RBUTTON);
  bool pointer_result = false;
  if (state_->PointerMessage(this, surface, window, message, wparam, &lparam, &pointer_result)) return pointer_result;
  if (message == WM_MOUSEWHEEL && window != nullptr) {
    POINT pt = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
    ScreenToClient(window, &pt);
    lparam = static_cast<LPARAM>(protocol::PackPoint(pt.x, pt.y));
  }
  InputRecord record;
  if (!client::TranslateWindowMessage(surface, message, static_cast<std::uint64_t>(wparam),
                                      static_cast<std::uint64_t>(lparam), keys, placement, &record,
                                      protocol_version()))
    return false;
  HostState& s = *state_;
  const bool pointer_message = window != nullptr && surface < kSurfaceSlotCount &&
                               (message == WM_MOUSEMOVE || message == WM_MOUSELEAVE);
  if (pointer_message) {
    // Tracked per surface and window: a surface in a second window asks for its own leave.
    // A window's request is used up by its WM_MOUSELEAVE, for every surface in it.
    bool track = false;
    {
      std::lock_guard<std::mutex> hold(s.lock);
      if (message == WM_MOUSEMOVE) {
        track = s.leave_tracked[surface] != window;
        s.leave_tracked[surface] = window;
      } else {
        for (HWND& tracked : s.leave_tracked)
          if (tracked == window) tracked = nullptr;
      }
    }
    // WM_MOUSELEAVE comes only to a window that asked for it, once per request.
    if (track) {
      TRACKMOUSEEVENT t = {sizeof t, TME_LEAVE, window, 0};
      TrackMouseEvent(&t);
    }
  }
  // Protocol 3: a surface hears that the pointer left it, wherever it went; version 2
  // keeps passing moves and the window's leave as they come.
  if (pointer_message && protocol_version() >= 3 && s.PresenceMessage(surface, window, message, wparam, record, keys))
    return true;
  const bool queued = s.Queue(protocol::Input(record));
  // Alt+F4, Alt+Space and F10 still reach the window's DefWindowProc.
  if (message == WM_SYSKEYDOWN || message == WM_SYSKEYUP || message == WM_SYSCHAR) return false;
  return queued;
}

}  // namespace host
}  // namespace nimo
