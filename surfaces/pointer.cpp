#include "surfaces/pointer.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "base/callback_guard.h"
#include "base/engine_strings.h"
#include "base/ui_thread.h"
#include "diag/log.h"
#include "link/send.h"
#include "protocol/input_messages.h"
#include "protocol/wire.h"
#include "surfaces/portable/input_translate.h"
#include "surfaces/surface.h"

namespace nimo {

namespace {

// A custom cursor too large for the client is logged once per process.
std::atomic<bool> oversized_logged{false};
// Set once on the main thread before the engine starts; read on the UI thread after.
bool enabled = false;

constexpr int kVkEscape = 0x1B;

DragInput DragInputOf(const InputTranslation& t) {
  switch (t.call) {
    case InputCall::kMouseMove:
      return t.mouse_leave ? DragInput::kOther : DragInput::kMove;
    case InputCall::kMouseClick:
      return t.button == MBT_LEFT && t.mouse_up ? DragInput::kLeftUp : DragInput::kOther;
    case InputCall::kKeyEvent:
      return t.key.type == KEYEVENT_RAWKEYDOWN && t.key.windows_key_code == kVkEscape ? DragInput::kEscapeDown
                                                                                      : DragInput::kOther;
    default:
      return DragInput::kOther;
  }
}

EngineRef<cef_browser_host_t> HostOf(const Surface& s) { return GetRef(s.browser.get(), &cef_browser_t::get_host); }

void Tell(Surface* s, const CursorShape& shape) {
  if (s->pointer.cursor_told && SameCursor(s->pointer.told_cursor, shape)) return;
  s->pointer.told_cursor = shape;
  s->pointer.cursor_told = true;
  SendCursorChanged(s->id, shape.type, shape.hotspot_x, shape.hotspot_y, shape.width, shape.height, shape.pixels);
}

void RunDragCalls(Surface* s, cef_browser_host_t* host, const std::vector<DragCall>& calls) {
  for (const DragCall& c : calls) {
    switch (c.kind) {
      case DragCallKind::kEnter:
        // The page's data goes back to it: the call consumes a reference, the surface keeps its own.
        if (host->drag_target_drag_enter && s->pointer.drag_data) {
          host->drag_target_drag_enter(host, s->pointer.drag_data.NewRef(), &c.event, c.operation);
        }
        break;
      case DragCallKind::kOver:
        if (host->drag_target_drag_over) host->drag_target_drag_over(host, &c.event, c.operation);
        break;
      case DragCallKind::kDrop:
        if (host->drag_target_drop) host->drag_target_drop(host, &c.event);
        break;
      case DragCallKind::kLeave:
        if (host->drag_target_drag_leave) host->drag_target_drag_leave(host);
        break;
      case DragCallKind::kEndedAt:
        if (host->drag_source_ended_at) host->drag_source_ended_at(host, c.event.x, c.event.y, c.operation);
        break;
      case DragCallKind::kSystemEnded:
        if (host->drag_source_system_drag_ended) host->drag_source_system_drag_ended(host);
        // The drag is over: its data goes back, the page's own cursor shows again.
        s->pointer.drag_data.reset();
        Tell(s, s->pointer.page_cursor);
        break;
    }
  }
}

// ---- cef_display_handler_t ---------------------------------------------------------------

int CEF_CALLBACK OnCursorChange(cef_display_handler_t* self, cef_browser_t* browser, cef_cursor_handle_t,
                                cef_cursor_type_t type, const cef_cursor_info_t* custom) {
  RequireUiThread("on_cursor_change");
  const auto browser_ref = AdoptRef(browser);
  Surface* s = SurfaceFrom(self);
  if (s == nullptr) return 0;
  const CursorDecision decision = DecideCursor(type, custom);
  if (decision.oversized && !oversized_logged.exchange(true)) {
    WriteLog("[nimo-webengine][browser] surface %p: a custom cursor larger than 128x128 (or without pixels) is "
             "reported as the arrow\n",
             s->id);
  }
  s->pointer.page_cursor = decision.shape;
  // During a drag the drop effect shows; the page's cursor comes back when it ends.
  if (!s->pointer.drag.active()) Tell(s, decision.shape);
  return 1;
}

int CEF_CALLBACK OnTooltip(cef_display_handler_t* self, cef_browser_t* browser, cef_string_t* text) {
  RequireUiThread("on_tooltip");
  const auto browser_ref = AdoptRef(browser);
  Surface* s = SurfaceFrom(self);
  if (s == nullptr) return 0;
  const std::string utf8 = ToUtf8(text);
  SendTooltip(s->id, utf8);
  return 1;
}

// ---- cef_render_handler_t ----------------------------------------------------------------

int CEF_CALLBACK GetScreenInfo(cef_render_handler_t* self, cef_browser_t* browser, cef_screen_info_t* info) {
  RequireUiThread("get_screen_info");
  const auto browser_ref = AdoptRef(browser);
  Surface* s = SurfaceFrom(self);
  if (s == nullptr || info == nullptr) return 0;
  info->device_scale_factor = ScaleFactor(s->pointer.scale_milli);
  info->depth = 24;
  info->depth_per_component = 8;
  info->is_monochrome = 0;
  info->rect = cef_rect_t{0, 0, ViewDipWidth(*s), ViewDipHeight(*s)};
  info->available_rect = info->rect;
  return 1;
}

int CEF_CALLBACK StartDragging(cef_render_handler_t* self, cef_browser_t* browser, cef_drag_data_t* drag_data,
                               cef_drag_operations_mask_t allowed_ops, int x, int y) {
  RequireUiThread("start_dragging");
  const auto browser_ref = AdoptRef(browser);
  auto data = AdoptRef(drag_data);
  Surface* s = SurfaceFrom(self);
  if (s == nullptr || !data || !s->browser) return 0;
  const auto host = HostOf(*s);
  if (!host) return 0;
  std::vector<DragCall> calls;
  // A second drag while one is in progress is left to the engine, which ends it at once.
  if (!s->pointer.drag.Start(allowed_ops, x, y, &calls)) return 0;
  s->pointer.drag_data = std::move(data);
  s->held_input.EndPressSeries();
  RunDragCalls(s, host.get(), calls);
  return 1;
}

void CEF_CALLBACK UpdateDragCursor(cef_render_handler_t* self, cef_browser_t* browser,
                                   cef_drag_operations_mask_t operation) {
  RequireUiThread("update_drag_cursor");
  const auto browser_ref = AdoptRef(browser);
  Surface* s = SurfaceFrom(self);
  if (s == nullptr || !s->pointer.drag.active()) return;
  s->pointer.drag.SetOperation(operation);
  Tell(s, DragCursor(operation));
}

}  // namespace

void EnablePointer() {
  enabled = true;
  for (Surface& s : surfaces) {
    s.display_handler.on_cursor_change = Guarded<OnCursorChange>;
    s.display_handler.on_tooltip = Guarded<OnTooltip>;
    s.render_handler.get_screen_info = Guarded<GetScreenInfo>;
    s.render_handler.start_dragging = Guarded<StartDragging>;  // 0: the engine ends the drag
    s.render_handler.update_drag_cursor = Guarded<UpdateDragCursor>;
  }
}

bool PointerEnabled() { return enabled; }

void SetSurfaceScale(std::uint32_t surface_id, std::uint32_t scale_milli) {
  if (!enabled || surface_id >= kSurfaceCount || !ValidScale(scale_milli)) return;
  Surface& s = surfaces[surface_id];
  if (s.pointer.scale_milli == scale_milli) return;
  s.pointer.scale_milli = scale_milli;
  const auto host = HostOf(s);
  if (!host) return;
  if (host->notify_screen_info_changed) host->notify_screen_info_changed(host.get());
  if (host->was_resized) host->was_resized(host.get());
}

std::int32_t ViewDipWidth(const Surface& s) { return DipLength(s.view_width, s.pointer.scale_milli); }
std::int32_t ViewDipHeight(const Surface& s) { return DipLength(s.view_height, s.pointer.scale_milli); }

void MouseToDip(const Surface& s, cef_mouse_event_t* event) {
  if (s.pointer.scale_milli == kScaleOne) return;
  event->x = PixelToDip(event->x, s.pointer.scale_milli);
  event->y = PixelToDip(event->y, s.pointer.scale_milli);
}

bool PointerTakesInput(const InputRecord& input, cef_browser_host_t* host, InputTranslation* t) {
  if (!enabled || input.surface_id >= kSurfaceCount) return false;
  Surface* s = &surfaces[input.surface_id];
  if (input.message == kWmMouseHWheel && t->call == InputCall::kNone) {
    t->call = InputCall::kMouseWheel;
    t->mouse.x = LparamX(input.lparam);
    t->mouse.y = LparamY(input.lparam);
    t->mouse.modifiers = input.modifiers;
    t->delta_x = -WheelDelta(input.wparam);
    t->delta_y = 0;
  }
  if (t->call != InputCall::kNone && t->call != InputCall::kKeyEvent) MouseToDip(*s, &t->mouse);
  if (!s->pointer.drag.active()) return false;
  std::vector<DragCall> calls;
  s->pointer.drag.TakeInput(DragInputOf(*t), t->mouse, &calls);
  RunDragCalls(s, host, calls);
  return t->call != InputCall::kKeyEvent;
}

void CancelSurfaceDrag(Surface* s, cef_browser_host_t* host) {
  if (!s->pointer.drag.active()) return;
  std::vector<DragCall> calls;
  s->pointer.drag.Cancel(&calls);
  if (host != nullptr) {
    RunDragCalls(s, host, calls);
  } else {
    s->pointer.drag_data.reset();
  }
}

void ForgetPointer(Surface* s) {
  std::vector<DragCall> ignored;
  s->pointer.drag.Cancel(&ignored);
  s->pointer.drag_data.reset();
  s->pointer.cursor_told = false;
  s->pointer.page_cursor = CursorShape();
}

}  // namespace nimo
