#include "client/portable/window_input.h"

namespace nimo {
namespace client {

namespace {

namespace p = protocol;

// Window messages not named by the protocol header.
constexpr std::uint32_t kWmLButtonDblClk = 0x203, kWmRButtonDblClk = 0x206, kWmMButtonDblClk = 0x209;
// Key state bits of a mouse message's wparam.
constexpr std::uint64_t kMkLButton = 0x1, kMkRButton = 0x2, kMkShift = 0x4, kMkControl = 0x8, kMkMButton = 0x10;
// The engine's other modifier bits.
constexpr std::uint32_t kCapsLockOn = 0x1, kNumLockOn = 0x100, kIsKeyPad = 0x200, kIsRepeat = 0x2000;
// Key message lparam bits.
constexpr std::uint64_t kContextAlt = 1ull << 29, kPreviousDown = 1ull << 30;

std::uint32_t LockBits(const KeyboardState& k) {
  return (k.caps_lock ? kCapsLockOn : 0) | (k.num_lock ? kNumLockOn : 0);
}

std::uint32_t KeyboardBits(const KeyboardState& k) {
  return LockBits(k) | (k.shift ? p::kShiftDown : 0) | (k.control ? p::kControlDown : 0) |
         (k.alt ? p::kAltDown : 0) | (k.left_button ? p::kLeftMouseButton : 0) |
         (k.middle_button ? p::kMiddleMouseButton : 0) | (k.right_button ? p::kRightMouseButton : 0);
}

// A mouse message's own wparam says which buttons and keys were down; alt it leaves out.
std::uint32_t MouseBits(std::uint64_t key_flags, const KeyboardState& k) {
  return LockBits(k) | (k.alt ? p::kAltDown : 0) | ((key_flags & kMkShift) ? p::kShiftDown : 0) |
         ((key_flags & kMkControl) ? p::kControlDown : 0) | ((key_flags & kMkLButton) ? p::kLeftMouseButton : 0) |
         ((key_flags & kMkMButton) ? p::kMiddleMouseButton : 0) |
         ((key_flags & kMkRButton) ? p::kRightMouseButton : 0);
}

std::uint64_t Shifted(std::uint64_t lparam, const SurfacePlacement& at) {
  const int x = static_cast<std::int16_t>(static_cast<std::uint16_t>(lparam & 0xFFFF));
  const int y = static_cast<std::int16_t>(static_cast<std::uint16_t>((lparam >> 16) & 0xFFFF));
  return p::PackPoint(x - at.origin_x, y - at.origin_y);
}

}  // namespace

bool TranslateWindowMessage(std::uint32_t surface, std::uint32_t message, std::uint64_t wparam,
                            std::uint64_t lparam, const KeyboardState& keys, const SurfacePlacement& placement,
                            p::InputRecord* out) {
  p::InputRecord r;
  r.surface_id = surface;
  r.message = message;
  switch (message) {
    case kWmLButtonDblClk:
    case kWmRButtonDblClk:
    case kWmMButtonDblClk:
      r.message = message - 2;  // the matching button-down message
      [[fallthrough]];
    case p::kWmMouseMove:
    case p::kWmLButtonDown:
    case p::kWmLButtonUp:
    case p::kWmRButtonDown:
    case p::kWmRButtonUp:
    case p::kWmMButtonDown:
    case p::kWmMButtonUp:
      r.wparam = wparam & 0xFFFF;
      r.lparam = Shifted(lparam, placement);
      r.modifiers = MouseBits(wparam, keys);
      break;
    case p::kWmMouseWheel:
      r.wparam = wparam & 0xFFFFFFFFull;  // the delta in the high word, key flags in the low
      r.lparam = Shifted(lparam, placement);
      r.modifiers = MouseBits(wparam & 0xFFFF, keys);
      break;
    case p::kWmMouseLeave:
      r.modifiers = KeyboardBits(keys);
      break;
    case p::kWmKeyDown:
    case p::kWmKeyUp:
    case p::kWmChar:
    case p::kWmSysKeyDown:
    case p::kWmSysKeyUp:
    case p::kWmSysChar: {
      r.wparam = wparam & 0xFFFFFFFFull;
      r.lparam = lparam & 0xFFFFFFFFull;
      r.modifiers = KeyboardBits(keys);
      const bool up = message == p::kWmKeyUp || message == p::kWmSysKeyUp;
      if (!up && (lparam & kPreviousDown)) r.modifiers |= kIsRepeat;
      if (message >= p::kWmSysKeyDown && (lparam & kContextAlt)) r.modifiers |= p::kAltDown;
      const bool key = message != p::kWmChar && message != p::kWmSysChar;
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
