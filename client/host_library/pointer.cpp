// The pointer in the host library (protocol 3): each surface's cursor as a ready HCURSOR,
// the tooltip as an event, the device scale set by the program or following its window's
// monitor (WM_DPICHANGED), the mouse captured while a button is down, and the horizontal
// wheel.
#include <windows.h>

#include <cmath>

#include "client/host_library/state.h"
#include "protocol/input_messages.h"
#include "protocol/pointer_messages.h"

namespace nimo {
namespace host {

namespace {

constexpr UINT kWmDpiChanged = 0x2E0;

// GetDpiForWindow where the system has it (Windows 10 1607 on), else the screen's DPI.
UINT WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const GetDpiForWindowFn get = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (get && window) {
    const UINT dpi = get(window);
    if (dpi) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace

bool HostState::HandlePointerReport(const std::vector<std::uint8_t>& message) {
  if (message.size() < kFrameHeaderSize) return false;
  const std::uint16_t type = static_cast<std::uint16_t>(message[4] | (message[5] << 8));
  if (type != kMsgCursorChanged && type != kMsgTooltip) return false;
  const std::uint8_t* payload = message.data() + kFrameHeaderSize;
  const std::size_t length = message.size() - kFrameHeaderSize;
  Event e;
  e.report.type = type;
  if (type == kMsgCursorChanged) {
    if (!DecodeCursorChanged(payload, length, &e.cursor)) return false;  // a bad report, as any other
    cursors.Update(e.cursor);
    e.kind = Event::Kind::kCursor;
    e.report.surface_id = e.cursor.surface_id;
  } else {
    if (!DecodeTooltip(payload, length, &e.report.surface_id, &e.report.text)) return false;
    e.kind = Event::Kind::kTooltip;
  }
  Deliver(std::move(e));
  return true;
}

HCURSOR Host::CursorFor(std::uint32_t surface) { return state_->cursors.For(surface); }

bool Host::SetScale(std::uint32_t surface, float scale) {
  if (!(scale >= 0.5f && scale <= 4.0f) || protocol_version() < 3) return false;
  const std::uint32_t milli = static_cast<std::uint32_t>(std::lround(static_cast<double>(scale) * 1000.0));
  return state_->Queue(protocol::HeadCommand(kMsgSetScale, surface, milli, 0, 0));
}

bool Host::FollowWindowDpi(std::uint32_t surface, HWND window) {
  if (surface >= kSurfaceSlotCount || protocol_version() < 3) return false;
  {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->dpi_window[surface] = window;
  }
  return window == nullptr || SetScale(surface, static_cast<float>(WindowDpi(window)) / 96.0f);
}

// The pointer's share of ForwardInput: true when the message was the pointer's alone (the
// caller returns `*result`); `lparam` may be rewritten (the horizontal wheel's screen
// position becomes a window position).
bool HostState::PointerMessage(Host* host, std::uint32_t surface, HWND window, UINT message, WPARAM wparam,
                               LPARAM* lparam, bool* result) {
  if (message == kWmDpiChanged) {
    // Not input: every surface following this window takes the new monitor's scale, and
    // the program still handles the message itself.
    std::uint32_t following[kSurfaceSlotCount];
    std::uint32_t count = 0;
    {
      std::lock_guard<std::mutex> hold(lock);
      for (std::uint32_t s = 0; s < kSurfaceSlotCount; ++s) {
        if (window != nullptr && dpi_window[s] == window) following[count++] = s;
      }
    }
    for (std::uint32_t i = 0; i < count; ++i) host->SetScale(following[i], static_cast<float>(LOWORD(wparam)) / 96.0f);
    *result = false;
    return true;
  }
  if (message == kWmMouseHWheel) {
    // Its position comes in screen coordinates; the translator refuses it below version 3.
    if (window != nullptr) {
      POINT pt = {static_cast<short>(LOWORD(*lparam)), static_cast<short>(HIWORD(*lparam))};
      ScreenToClient(window, &pt);
      *lparam = static_cast<LPARAM>(protocol::PackPoint(pt.x, pt.y));
    }
    return false;
  }
  // A press captures the mouse, so its release (and the end of a drag) still comes when the
  // pointer has left the window; the last button up lets it go.
  if (window != nullptr && surface < kSurfaceSlotCount && host->protocol_version() >= 3) {
    if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN) {
      SetCapture(window);
    } else if ((message == WM_LBUTTONUP || message == WM_RBUTTONUP || message == WM_MBUTTONUP) &&
               (wparam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0 && GetCapture() == window) {
      ReleaseCapture();
    }
  }
  return false;
}

}  // namespace host
}  // namespace nimo
