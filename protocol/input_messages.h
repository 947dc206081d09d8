// The Win32 window messages an InputEvent may carry and the modifier bits beside them, as
// numbers: windows.h is not available to the portable code on either side of the pipe.
// The client forwards these messages as its window saw them; the engine turns each into one
// engine input call (surfaces/portable/input_translate.h) and drops every other message, double-clicks
// and WM_DEADCHAR included. Plain constants; any thread.
#pragma once
#include <cstdint>

namespace nimo {

constexpr std::uint32_t kWmKeyDown = 0x100;
constexpr std::uint32_t kWmKeyUp = 0x101;
constexpr std::uint32_t kWmChar = 0x102;
constexpr std::uint32_t kWmSysKeyDown = 0x104;
constexpr std::uint32_t kWmSysKeyUp = 0x105;
constexpr std::uint32_t kWmSysChar = 0x106;
constexpr std::uint32_t kWmMouseMove = 0x200;
constexpr std::uint32_t kWmLButtonDown = 0x201;
constexpr std::uint32_t kWmLButtonUp = 0x202;
constexpr std::uint32_t kWmRButtonDown = 0x204;
constexpr std::uint32_t kWmRButtonUp = 0x205;
constexpr std::uint32_t kWmMButtonDown = 0x207;
constexpr std::uint32_t kWmMButtonUp = 0x208;
constexpr std::uint32_t kWmMouseWheel = 0x20A;
constexpr std::uint32_t kWmMouseLeave = 0x2A3;
// Protocol 3 only: the horizontal wheel (a tilt to the right is a positive delta).
constexpr std::uint32_t kWmMouseHWheel = 0x20E;
// Double-clicks: a client sends the matching button-down message instead; the engine drops these.
constexpr std::uint32_t kWmLButtonDblClk = 0x203;
constexpr std::uint32_t kWmRButtonDblClk = 0x206;
constexpr std::uint32_t kWmMButtonDblClk = 0x209;

// InputRecord.modifiers: the engine's event-flag bits, passed to it untranslated.
constexpr std::uint32_t kCapsLockOn = 0x1;
constexpr std::uint32_t kShiftDown = 0x2;
constexpr std::uint32_t kControlDown = 0x4;
constexpr std::uint32_t kAltDown = 0x8;
constexpr std::uint32_t kLeftMouseButton = 0x10;
constexpr std::uint32_t kMiddleMouseButton = 0x20;
constexpr std::uint32_t kRightMouseButton = 0x40;
constexpr std::uint32_t kNumLockOn = 0x100;
constexpr std::uint32_t kIsKeyPad = 0x200;
constexpr std::uint32_t kIsRepeat = 0x2000;

}  // namespace nimo
