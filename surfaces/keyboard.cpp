#include "surfaces/keyboard.h"

#include <windows.h>

#include <vector>

#include "base/callback_guard.h"
#include "base/engine_ref.h"
#include "base/engine_strings.h"
#include "base/ui_thread.h"
#include "link/send.h"
#include "protocol/input_messages.h"
#include "surfaces/pointer.h"
#include "surfaces/portable/device_scale.h"
#include "surfaces/surface.h"

namespace nimo {

namespace {

constexpr std::uint32_t kButtonFlags = EVENTFLAG_LEFT_MOUSE_BUTTON | EVENTFLAG_MIDDLE_MOUSE_BUTTON |
                                       EVENTFLAG_RIGHT_MOUSE_BUTTON;
// A range the engine takes for "none" (no replacement, no selection).
constexpr cef_range_t kNoRange = {0xFFFFFFFFu, 0xFFFFFFFFu};

Surface* Record(std::uint32_t surface_id) {
  return surface_id < kSurfaceCount ? &surfaces[surface_id] : nullptr;
}

EngineRef<cef_browser_host_t> HostOf(std::uint32_t surface_id) {
  Surface* s = Record(surface_id);
  return s ? GetRef(s->browser.get(), &cef_browser_t::get_host) : EngineRef<cef_browser_host_t>();
}

// Tells the client the surface's mode when it changed since it was last told.
void ReportMode(Surface* s) {
  std::uint32_t mode = 0;
  if (!KeyboardProtocol() || !s->text_input.TakeChange(&mode)) return;
  SendTextInputState(s->id, mode);
}

void CEF_CALLBACK OnVirtualKeyboardRequested(cef_render_handler_t* self, cef_browser_t* browser,
                                             cef_text_input_mode_t mode) {
  RequireUiThread("on_virtual_keyboard_requested");
  const auto browser_ref = AdoptRef(browser);
  Surface* s = SurfaceFrom(self);
  if (!s || !KeyboardProtocol()) return;
  s->text_input.KeyboardRequested(static_cast<std::uint32_t>(mode));
  ReportMode(s);
}

// The rectangles come in view coordinates, which are the texture's pixels at the view's
// scale of 1.
void CEF_CALLBACK OnImeCompositionRangeChanged(cef_render_handler_t* self, cef_browser_t* browser,
                                               const cef_range_t* selected_range, size_t count,
                                               const cef_rect_t* bounds) {
  RequireUiThread("on_ime_composition_range_changed");
  const auto browser_ref = AdoptRef(browser);
  Surface* s = SurfaceFrom(self);
  if (!s || !KeyboardProtocol()) return;
  const cef_range_t range = selected_range ? *selected_range : kNoRange;
  std::vector<ImeRect> rects;
  if (bounds) {
    rects.reserve(count);
    // The engine gives the page's DIP; the client places its windows in texture pixels.
    for (size_t i = 0; i < count; ++i) {
      const cef_rect_t r = DipRectToPixels(bounds[i], s->pointer.scale_milli);
      rects.push_back(ImeRect{r.x, r.y, r.width, r.height});
    }
  }
  SendImeCompositionBounds(s->id, range.from, range.to, rects.data(), rects.size());
}

DoubleClickRule SystemDoubleClick() {
  DoubleClickRule rule;
  rule.time_ms = GetDoubleClickTime();
  rule.box_width = GetSystemMetrics(SM_CXDOUBLECLK);
  rule.box_height = GetSystemMetrics(SM_CYDOUBLECLK);
  return rule;
}

}  // namespace

bool KeyboardProtocol() { return LinkProtocolVersion() >= 3; }

void InstallKeyboardCallbacks(cef_render_handler_t* handler) {
  if (!handler) return;
  handler->on_virtual_keyboard_requested = Guarded<OnVirtualKeyboardRequested>;
  handler->on_ime_composition_range_changed = Guarded<OnImeCompositionRangeChanged>;
}

void KeyboardPageNote(std::uint32_t surface_id, int note) {
  Surface* s = Record(surface_id);
  if (!s || !KeyboardProtocol()) return;
  s->text_input.PageNote(note);
  ReportMode(s);
}

void KeyboardNewDocument(std::uint32_t surface_id) {
  Surface* s = Record(surface_id);
  if (!s || !KeyboardProtocol()) return;
  s->text_input.Reset();
  ReportMode(s);
}

void KeyboardHidden(std::uint32_t surface_id, bool hidden) {
  Surface* s = Record(surface_id);
  if (!s || !KeyboardProtocol()) return;
  s->text_input.SetHidden(hidden);
  ReportMode(s);
}

void KeyboardBrowserClosed(std::uint32_t surface_id) {
  Surface* s = Record(surface_id);
  if (!s) return;
  s->held_input = HeldInput();
  if (!KeyboardProtocol()) return;
  s->text_input.Reset();
  ReportMode(s);
}

void ImeSetCompositionTask(const SurfaceHead& head, const std::string& utf8) {
  const auto host = HostOf(head.surface_id);
  if (!host || !host->ime_set_composition) return;
  TempEngineString text(utf8);
  const std::uint32_t length = static_cast<std::uint32_t>(text.get()->length);
  // One thin solid underline over the whole composition, as the system draws an
  // unconverted one; the selection is clamped to the text.
  cef_composition_underline_t underline = {};
  underline.range = cef_range_t{0, length};
  underline.color = 0xFF000000u;
  underline.background_color = 0;
  underline.thick = 0;
  underline.style = CEF_CUS_SOLID;
  std::uint32_t from = head.param1 < length ? head.param1 : length;
  std::uint32_t to = head.param2 < length ? head.param2 : length;
  if (to < from) to = from;
  const cef_range_t selection = {from, to};
  host->ime_set_composition(host.get(), text.get(), length ? 1 : 0, length ? &underline : nullptr, &kNoRange,
                            &selection);
}

void ImeCommitTextTask(const SurfaceHead& head, const std::string& utf8) {
  const auto host = HostOf(head.surface_id);
  if (!host || !host->ime_commit_text) return;
  TempEngineString text(utf8);
  host->ime_commit_text(host.get(), text.get(), &kNoRange, 0);  // the cursor after the text
}

void ImeFinishComposingTask(const SurfaceHead& head) {
  const auto host = HostOf(head.surface_id);
  if (host && host->ime_finish_composing_text) host->ime_finish_composing_text(host.get(), head.param3 ? 1 : 0);
}

void ImeCancelCompositionTask(const SurfaceHead& head) {
  const auto host = HostOf(head.surface_id);
  if (host && host->ime_cancel_composition) host->ime_cancel_composition(host.get());
}

bool KeyboardNoteInput(const InputRecord& input, InputTranslation* t) {
  Surface* s = Record(input.surface_id);
  if (!s || !KeyboardProtocol()) return true;
  const bool double_message =
      input.message == kWmLButtonDblClk || input.message == kWmRButtonDblClk || input.message == kWmMButtonDblClk;
  // The system's double click is the second press of the pair.
  if (double_message) *t = TranslateInput(input.message - 2, input.wparam, input.lparam, input.modifiers);
  switch (t->call) {
    case InputCall::kKeyEvent:
      if (!s->held_input.KeyReachesPage(t->key, s->pointer.drag.active())) return false;
      s->held_input.NoteKey(t->key);
      break;
    case InputCall::kMouseMove:
      if (!t->mouse_leave) s->held_input.NoteMove(t->mouse.x, t->mouse.y, t->mouse.modifiers);
      break;
    case InputCall::kMouseWheel:
      s->held_input.NoteMove(t->mouse.x, t->mouse.y, t->mouse.modifiers);
      break;
    case InputCall::kMouseClick:
      t->click_count = s->held_input.NoteButton(t->button, t->mouse_up != 0, t->mouse.x, t->mouse.y,
                                                t->mouse.modifiers, GetTickCount(), double_message,
                                                SystemDoubleClick());
      break;
    case InputCall::kNone:
      break;
  }
  return true;
}

void KeyboardFocusLost(std::uint32_t surface_id, cef_browser_host_t* host) {
  Surface* s = Record(surface_id);
  if (!s || !host || !KeyboardProtocol()) return;
  if (host->send_capture_lost_event) host->send_capture_lost_event(host);
  const HeldRelease release = s->held_input.TakeAll();
  if (host->send_mouse_click_event) {
    std::uint32_t modifiers = release.modifiers & ~kButtonFlags;
    // Kept in the client's texture pixels, as every position is noted; the page takes DIP.
    cef_mouse_event_t at = {release.x, release.y, modifiers};
    MouseToDip(*s, &at);
    for (cef_mouse_button_type_t button : release.buttons) {
      host->send_mouse_click_event(host, &at, button, 1, 1);
    }
  }
  if (host->send_key_event) {
    for (const HeldKey& key : release.keys) {
      cef_key_event_t up = {};
      up.type = KEYEVENT_KEYUP;
      up.windows_key_code = key.windows_key_code;
      // A key-up's native code: the key-down's scan code with the previous-state and
      // transition bits set, as the system sends it.
      up.native_key_code = static_cast<int>(static_cast<std::uint32_t>(key.native_key_code) | 0xC0000000u);
      up.is_system_key = key.is_system_key;
      host->send_key_event(host, &up);
    }
  }
}

}  // namespace nimo
