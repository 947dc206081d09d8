// The keyboard side of a protocol-3 session: the text-input mode and composition bounds
// the engine reports, the input method's window messages turned into composition commands
// (read through the input-method API, imm32; decided in client/portable/ime_input.h), its
// windows placed at the composed characters, and the focus the surfaces lose and get back
// with the program's window.
#include <windows.h>

#include <imm.h>

#include <string>

#include "client/host_library/state.h"
#include "client/portable/ime_input.h"

namespace nimo {
namespace host {

namespace {

namespace p = protocol;

std::u16string CompositionString(HIMC imc, DWORD which) {
  const LONG bytes = ImmGetCompositionStringW(imc, which, nullptr, 0);
  if (bytes <= 0) return std::u16string();
  std::wstring text(static_cast<std::size_t>(bytes) / sizeof(wchar_t), L'\0');
  ImmGetCompositionStringW(imc, which, &text[0], static_cast<DWORD>(bytes));
  return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

// The candidate window below the composed character the selection starts at, the
// composition window (for input methods that still show one) on it.
void PlaceImeWindows(HostState& s, std::uint32_t surface, HWND window, const SurfacePlacement& at) {
  ImeRect r;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    if (!client::CandidateRect(s.ime_rects[surface], s.ime_selection[surface], at, &r)) return;
  }
  HIMC imc = ImmGetContext(window);
  if (!imc) return;
  COMPOSITIONFORM composition = {};
  composition.dwStyle = CFS_POINT;
  composition.ptCurrentPos = {r.x, r.y};
  ImmSetCompositionWindow(imc, &composition);
  CANDIDATEFORM candidate = {};
  candidate.dwIndex = 0;
  candidate.dwStyle = CFS_EXCLUDE;
  candidate.ptCurrentPos = {r.x, r.y + r.height};
  candidate.rcArea = {r.x, r.y, r.x + r.width, r.y + r.height};
  ImmSetCandidateWindow(imc, &candidate);
  ImmReleaseContext(window, imc);
}

void OnComposition(Host& host, HostState& s, std::uint32_t surface, HWND window, LPARAM flags,
                   const SurfacePlacement& placement) {
  HIMC imc = ImmGetContext(window);
  if (!imc) return;
  client::CompositionMessage m;
  m.has_result = (flags & GCS_RESULTSTR) != 0;
  if (m.has_result) m.result = CompositionString(imc, GCS_RESULTSTR);
  m.has_composition = (flags & GCS_COMPSTR) != 0;
  if (m.has_composition) {
    m.composition = CompositionString(imc, GCS_COMPSTR);
    m.cursor = ImmGetCompositionStringW(imc, GCS_CURSORPOS, nullptr, 0);
    const LONG count = ImmGetCompositionStringW(imc, GCS_COMPATTR, nullptr, 0);
    if (count > 0) {
      m.attributes.assign(static_cast<std::size_t>(count), '\0');
      ImmGetCompositionStringW(imc, GCS_COMPATTR, &m.attributes[0], static_cast<DWORD>(count));
    }
  }
  ImmReleaseContext(window, imc);
  const client::CompositionPlan plan = client::PlanComposition(m);
  if (plan.commit) host.ImeCommitText(surface, plan.commit_text);
  if (plan.next == client::CompositionPlan::Next::kSet) {
    host.ImeSetComposition(surface, plan.text, plan.selection_start, plan.selection_end);
  } else if (plan.next == client::CompositionPlan::Next::kCancel) {
    host.ImeCancelComposition(surface);
  }
  PlaceImeWindows(s, surface, window, placement);
}

}  // namespace

void HostState::NoteKeyboardReport(const p::Report& report) {
  std::lock_guard<std::mutex> hold(lock);
  if (report.surface_id >= kSurfaceSlotCount) return;
  if (report.type == kMsgTextInputState) text_modes[report.surface_id] = report.input_mode;
  if (report.type == kMsgImeCompositionBounds) ime_rects[report.surface_id] = report.rects;
}

bool HostState::KeyboardProtocol() {
  std::lock_guard<std::mutex> hold(lock);
  return protocol_version >= 3;
}

std::uint32_t Host::TextInputMode(std::uint32_t surface) const {
  if (surface >= kSurfaceSlotCount) return kInputModeNone;
  std::lock_guard<std::mutex> hold(state_->lock);
  return state_->text_modes[surface];
}

bool Host::ImeSetComposition(std::uint32_t surface, const std::string& text, std::uint32_t selection_start,
                             std::uint32_t selection_end) {
  HostState& s = *state_;
  if (!s.KeyboardProtocol() || surface >= kSurfaceSlotCount) return false;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.composing[surface] = !text.empty();
    s.ime_selection[surface] = selection_start;
  }
  return s.Queue(p::ImeSetComposition(surface, text, selection_start, selection_end));
}

bool Host::ImeCommitText(std::uint32_t surface, const std::string& text) {
  HostState& s = *state_;
  if (!s.KeyboardProtocol() || surface >= kSurfaceSlotCount) return false;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.composing[surface] = false;
  }
  return s.Queue(p::ImeCommitText(surface, text));
}

bool Host::ImeFinishComposing(std::uint32_t surface, bool keep_selection) {
  HostState& s = *state_;
  if (!s.KeyboardProtocol() || surface >= kSurfaceSlotCount) return false;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.composing[surface] = false;
  }
  return s.Queue(p::ImeFinishComposing(surface, keep_selection));
}

bool Host::ImeCancelComposition(std::uint32_t surface) {
  HostState& s = *state_;
  if (!s.KeyboardProtocol() || surface >= kSurfaceSlotCount) return false;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.composing[surface] = false;
  }
  return s.Queue(p::ImeCancelComposition(surface));
}

void Host::FocusLost() {
  HostState& s = *state_;
  for (std::uint32_t id = 0; id < kSurfaceSlotCount; ++id) {
    {
      std::lock_guard<std::mutex> hold(s.lock);
      if (!s.focused[id] || s.focus_suspended[id]) continue;
      s.focus_suspended[id] = true;
    }
    s.Queue(p::SetFocus(id, false));
  }
}

bool ForwardKeyboardMessage(Host& host, HostState& s, std::uint32_t surface, HWND window, UINT message,
                            WPARAM wparam, LPARAM lparam, const SurfacePlacement& placement, bool* result) {
  switch (message) {
    case WM_IME_SETCONTEXT:
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_COMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_KILLFOCUS:
    case WM_SETFOCUS:
    case WM_ACTIVATEAPP:
      break;
    default:
      return false;
  }
  // Other sessions keep the window's own handling of all of these.
  if (!s.KeyboardProtocol() || surface >= kSurfaceSlotCount) {
    *result = false;
    return true;
  }
  *result = true;
  switch (message) {
    case WM_IME_SETCONTEXT:
      // The page shows the composition inline: the system's composition window must not
      // draw over the game. The candidate list stays the input method's.
      if (window) DefWindowProcW(window, message, wparam, lparam & ~static_cast<LPARAM>(ISC_SHOWUICOMPOSITIONWINDOW));
      break;
    case WM_IME_STARTCOMPOSITION:
      if (window) PlaceImeWindows(s, surface, window, placement);
      break;
    case WM_IME_COMPOSITION:
      if (window) OnComposition(host, s, surface, window, lparam, placement);
      break;
    case WM_IME_ENDCOMPOSITION: {
      // Ended without a result (Escape, the input method switched off): the page drops
      // what it showed.
      bool pending;
      {
        std::lock_guard<std::mutex> hold(s.lock);
        pending = s.composing[surface];
      }
      if (pending) host.ImeCancelComposition(surface);
      break;
    }
    case WM_ACTIVATEAPP:
      if (!wparam) host.FocusLost();
      *result = false;
      break;
    case WM_KILLFOCUS:
      host.FocusLost();
      *result = false;
      break;
    case WM_SETFOCUS:
      for (std::uint32_t id = 0; id < kSurfaceSlotCount; ++id) {
        {
          std::lock_guard<std::mutex> hold(s.lock);
          if (!s.focus_suspended[id]) continue;
          s.focus_suspended[id] = false;
        }
        s.Queue(p::SetFocus(id, true));
      }
      *result = false;
      break;
  }
  return true;
}

}  // namespace host
}  // namespace nimo
