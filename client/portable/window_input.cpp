#include "client/portable/window_input.h"

namespace nimo {
namespace client {

namespace {

namespace p = protocol;

// Key state bits of a mouse message's wparam.
constexpr std::uint64_t kMkLButton = 0x1, kMkRButton = 0x2, kMkShift = 0x4, kMkControl = 0x8, kMkMButton = 0x10;
// Key message lparam bits.
constexpr std::uint64_t kContextAlt = 1ull << 29, kPreviousDown = 1ull << 30;

std::uint32_t LockBits(const KeyboardState& k) {
  return (k.caps_lock ? kCapsLockOn : 0) | (k.num_lock ? kNumLockOn : 0);
}

std::uint32_t KeyboardBits(const KeyboardState& k) {
  return LockBits(k) | (k.shift ? kShiftDown : 0) | (k.control ? kControlDown : 0) |
         (k.alt ? kAltDown : 0) | (k.left_button ? kLeftMouseButton : 0) |
         (k.middle_button ? kMiddleMouseButton : 0) | (k.right_button ? kRightMouseButton : 0);
}

// A mouse message's own wparam says which buttons and keys were down; alt it leaves out.
std::uint32_t MouseBits(std::uint64_t key_flags, const KeyboardState& k) {
  return LockBits(k) | (k.alt ? kAltDown : 0) | ((key_flags & kMkShift) ? kShiftDown : 0) |
         ((key_flags & kMkControl) ? kControlDown : 0) | ((key_flags & kMkLButton) ? kLeftMouseButton : 0) |
         ((key_flags & kMkMButton) ? kMiddleMouseButton : 0) |
         ((key_flags & kMkRButton) ? kRightMouseButton : 0);
}

std::uint64_t Shifted(std::uint64_t lparam, const SurfacePlacement& at) {
  return p::PackPoint(LparamX(lparam) - at.origin_x, LparamY(lparam) - at.origin_y);
}

}  // namespace

bool TranslateWindowMessage(std::uint32_t surface, std::uint32_t message, std::uint64_t wparam,
                            std::uint64_t lparam, const KeyboardState& keys, const SurfacePlacement& placement,
                            InputRecord* out, int protocol_version) {
  if (message == kWmMouseHWheel && protocol_version < 3) return false;
  InputRecord r;
  r.surface_id = surface;
  r.message = message;
  switch (message) {
    case kWmLButtonDblClk:
    case kWmRButtonDblClk:
    case kWmMButtonDblClk:
      r.message = message - 2;  // the matching button-down message
      [[fallthrough]];
    case kWmMouseMove:
    case kWmLButtonDown:
    case kWmLButtonUp:
    case kWmRButtonDown:
    case kWmRButtonUp:
    case kWmMButtonDown:
    case kWmMButtonUp:
      r.wparam = wparam & 0xFFFF;
      r.lparam = Shifted(lparam, placement);
      r.modifiers = MouseBits(wparam, keys);
      break;
    case kWmMouseWheel:
    case kWmMouseHWheel:
      r.wparam = wparam & 0xFFFFFFFFull;  // the delta in the high word, key flags in the low
      r.lparam = Shifted(lparam, placement);
      r.modifiers = MouseBits(wparam & 0xFFFF, keys);
      break;
    case kWmMouseLeave:
      r.modifiers = KeyboardBits(keys);
      break;
    case kWmKeyDown:
    case kWmKeyUp:
    case kWmChar:
    case kWmSysKeyDown:
    case kWmSysKeyUp:
    case kWmSysChar: {
      r.wparam = wparam & 0xFFFFFFFFull;
      r.lparam = lparam & 0xFFFFFFFFull;
      r.modifiers = KeyboardBits(keys);
      const bool up = message == kWmKeyUp || message == kWmSysKeyUp;
      if (!up && (lparam & kPreviousDown)) r.modifiers |= kIsRepeat;
      if (message >= kWmSysKeyDown && (lparam & kContextAlt)) r.modifiers |= kAltDown;
      const bool key = message != kWmChar && message != kWmSysChar;
      if (key && r.wparam >= 0x60 && r.wparam <= 0x6F) r.modifiers |= kIsKeyPad;  // VK_NUMPAD0..VK_DIVIDE
      break;
    }
    default:
      return false;
  }
  *out = r;
  return true;
}

}  // namespace client
}  // namespace nimo
