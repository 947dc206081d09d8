#include "testbed/engine/pointer.h"

#include <cmath>
#include <cstring>

#include "testbed/engine/browser.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/loop.h"
#include "testbed/engine/real_page.h"
#include "testbed/engine/real_pointer.h"
#include "testbed/engine/refs.h"
#include "testbed/engine/slots.h"
#include "testbed/engine/strings.h"

namespace standin {

namespace {

struct DragDataCore {
  DragItems items;
  bool read_only = true;
};

DragDataCore* DragCore(cef_drag_data_t* self) { return CoreOf<DragDataCore>(self); }

std::string ItemText(const DragDataCore* core, const char* mime) {
  for (const auto& item : core->items.items) {
    if (item.first == mime) return item.second;
  }
  return std::string();
}

cef_drag_data_t* WrapDragData(DragDataCore* core, const char* origin);

cef_drag_data_t* CEF_CALLBACK DragClone(cef_drag_data_t* self) {
  CheckAlive(self, "drag_data.clone");
  DragDataCore* copy = new DragDataCore(*DragCore(self));
  copy->read_only = false;
  return WrapDragData(copy, "drag_data.clone");
}
int CEF_CALLBACK DragIsReadOnly(cef_drag_data_t* self) {
  CheckAlive(self, "drag_data.is_read_only");
  return DragCore(self)->read_only ? 1 : 0;
}
int CEF_CALLBACK DragIsLink(cef_drag_data_t* self) {
  CheckAlive(self, "drag_data.is_link");
  return ItemText(DragCore(self), "text/uri-list").empty() ? 0 : 1;
}
int CEF_CALLBACK DragIsFragment(cef_drag_data_t* self) {
  CheckAlive(self, "drag_data.is_fragment");
  return DragIsLink(self) ? 0 : 1;
}
int CEF_CALLBACK DragIsFile(cef_drag_data_t* self) {
  CheckAlive(self, "drag_data.is_file");
  return 0;
}
cef_string_userfree_t CEF_CALLBACK DragLinkUrl(cef_drag_data_t* self) {
  CheckAlive(self, "drag_data.get_link_url");
  return NewUserfreeUtf8(ItemText(DragCore(self), "text/uri-list"));
}
cef_string_userfree_t CEF_CALLBACK DragFragmentText(cef_drag_data_t* self) {
  CheckAlive(self, "drag_data.get_fragment_text");
  return NewUserfreeUtf8(ItemText(DragCore(self), "text/plain"));
}
cef_string_userfree_t CEF_CALLBACK DragFragmentHtml(cef_drag_data_t* self) {
  CheckAlive(self, "drag_data.get_fragment_html");
  return NewUserfreeUtf8(ItemText(DragCore(self), "text/html"));
}
int CEF_CALLBACK DragHasImage(cef_drag_data_t* self) {
  CheckAlive(self, "drag_data.has_image");
  return 0;
}

void FillDragData(cef_drag_data_t* d) {
  d->clone = DragClone;
  d->is_read_only = DragIsReadOnly;
  d->is_link = DragIsLink;
  d->is_fragment = DragIsFragment;
  d->is_file = DragIsFile;
  d->get_link_url = DragLinkUrl;
  d->get_fragment_text = DragFragmentText;
  d->get_fragment_html = DragFragmentHtml;
  d->has_image = DragHasImage;
}

cef_drag_data_t* WrapDragData(DragDataCore* core, const char* origin) {
  cef_drag_data_t* data = MakeWrapper<cef_drag_data_t>(core, "drag_data", origin, FillDragData);
  // Each drag data object is shown by this one wrapper only.
  InfoOf(data)->free_core = [](void* c) { delete static_cast<DragDataCore*>(c); };
  InfoOf(data)->journal_free = true;
  return data;
}

BrowserCore* HostCore(cef_browser_host_t* self) { return CoreOf<BrowserCore>(self); }

void CEF_CALLBACK HostNotifyScreenInfoChanged(cef_browser_host_t* self) {
  CheckAlive(self, "notify_screen_info_changed");
  BrowserCore* b = HostCore(self);
  Event("host.notify_screen_info_changed").Num("browser", b->id).Num("from_ui", OnUiThread() ? 1 : 0);
  PostEngineWork([b] {
    if (b->closed.load()) return;
    const float before = b->scale.load();
    const float now = QueryScreenScale(b, "notify_screen_info_changed");
    if (b->real && now != before) RealScaleChanged(b);
  });
}

void CEF_CALLBACK HostDragEnter(cef_browser_host_t* self, cef_drag_data_t* data, const cef_mouse_event_t* e,
                                cef_drag_operations_mask_t ops) {
  CheckAlive(self, "drag_target_drag_enter");
  BrowserCore* b = HostCore(self);
  const DragItems items = ItemsOf(data);
  Event("host.drag_target_drag_enter").Num("browser", b->id).Num("x", e ? e->x : 0).Num("y", e ? e->y : 0)
      .Num("ops", ops).Num("data", data ? 1 : 0).Num("items", static_cast<long long>(items.items.size()))
      .Num("from_ui", OnUiThread() ? 1 : 0);
  if (data) Consume(data, "drag_target_drag_enter");
  if (e && b->real) RealDragTarget(b, "dragEnter", e, &items);
}

void CEF_CALLBACK HostDragOver(cef_browser_host_t* self, const cef_mouse_event_t* e, cef_drag_operations_mask_t ops) {
  CheckAlive(self, "drag_target_drag_over");
  BrowserCore* b = HostCore(self);
  Event("host.drag_target_drag_over").Num("browser", b->id).Num("x", e ? e->x : 0).Num("y", e ? e->y : 0)
      .Num("ops", ops);
  if (e && b->real) RealDragTarget(b, "dragOver", e, nullptr);
}

void CEF_CALLBACK HostDragLeave(cef_browser_host_t* self) {
  CheckAlive(self, "drag_target_drag_leave");
  BrowserCore* b = HostCore(self);
  Event("host.drag_target_drag_leave").Num("browser", b->id);
  if (b->real) RealDragTarget(b, "dragCancel", nullptr, nullptr);
}

void CEF_CALLBACK HostDrop(cef_browser_host_t* self, const cef_mouse_event_t* e) {
  CheckAlive(self, "drag_target_drop");
  BrowserCore* b = HostCore(self);
  Event("host.drag_target_drop").Num("browser", b->id).Num("x", e ? e->x : 0).Num("y", e ? e->y : 0);
  if (e && b->real) RealDragTarget(b, "drop", e, nullptr);
}

void CEF_CALLBACK HostDragSourceEndedAt(cef_browser_host_t* self, int x, int y, cef_drag_operations_mask_t op) {
  CheckAlive(self, "drag_source_ended_at");
  BrowserCore* b = HostCore(self);
  Event("host.drag_source_ended_at").Num("browser", b->id).Num("x", x).Num("y", y).Num("op", op);
  if (b->real) RealDragSourceEnded(b, x, y);
}

void CEF_CALLBACK HostDragSourceSystemEnded(cef_browser_host_t* self) {
  CheckAlive(self, "drag_source_system_drag_ended");
  Event("host.drag_source_system_drag_ended").Num("browser", HostCore(self)->id);
}

}  // namespace

void RaiseCursorChange(BrowserCore* b, int type, const cef_cursor_info_t* custom) {
  cef_display_handler_t* h = DisplayHandlerOf(b);
  const bool has = STANDIN_HAS_SLOT(h, cef_display_handler_t, on_cursor_change);
  int result = 0;
  if (has) result = h->on_cursor_change(h, WrapBrowser(b, "on_cursor_change"), nullptr,
                                        static_cast<cef_cursor_type_t>(type), type == CT_CUSTOM ? custom : nullptr);
  ReleaseHandler(h);
  Event("cb.on_cursor_change").Num("browser", b->id).Num("type", type)
      .Num("width", custom && type == CT_CUSTOM ? custom->size.width : 0)
      .Num("height", custom && type == CT_CUSTOM ? custom->size.height : 0).Num("present", has ? 1 : 0)
      .Num("result", result);
}

void RaiseTooltip(BrowserCore* b, const std::u16string& text) {
  cef_display_handler_t* h = DisplayHandlerOf(b);
  const bool has = STANDIN_HAS_SLOT(h, cef_display_handler_t, on_tooltip);
  int result = 0;
  if (has) {
    // The engine's own string: the handler may change it.
    cef_string_t s = {};
    SetString(&s, text);
    result = h->on_tooltip(h, WrapBrowser(b, "on_tooltip"), &s);
    ClearString(&s);
  }
  ReleaseHandler(h);
  Event("cb.on_tooltip").Num("browser", b->id).Text("text", U16ToUtf8(text)).Num("present", has ? 1 : 0)
      .Num("result", result);
}

bool RaiseStartDragging(BrowserCore* b, const DragItems& items, int x, int y) {
  cef_render_handler_t* h = RenderHandlerOf(b);
  const bool has = STANDIN_HAS_SLOT(h, cef_render_handler_t, start_dragging);
  int result = 0;
  if (has) {
    DragDataCore* core = new DragDataCore();
    core->items = items;
    result = h->start_dragging(h, WrapBrowser(b, "start_dragging"), WrapDragData(core, "start_dragging"),
                               items.allowed_ops, x, y);
  }
  ReleaseHandler(h);
  Event("cb.start_dragging").Num("browser", b->id).Num("x", x).Num("y", y).Num("ops", items.allowed_ops)
      .Num("items", static_cast<long long>(items.items.size())).Num("present", has ? 1 : 0).Num("result", result);
  return result != 0;
}

float QueryScreenScale(BrowserCore* b, const char* why) {
  cef_render_handler_t* h = RenderHandlerOf(b);
  const bool has = STANDIN_HAS_SLOT(h, cef_render_handler_t, get_screen_info);
  cef_screen_info_t info = {};
  int result = 0;
  if (has) result = h->get_screen_info(h, WrapBrowser(b, "get_screen_info"), &info);
  ReleaseHandler(h);
  float scale = 1.0f;
  if (result != 0 && info.device_scale_factor > 0.0f) scale = info.device_scale_factor;
  b->scale = scale;
  Event("cb.get_screen_info").Num("browser", b->id).Text("why", why).Num("present", has ? 1 : 0)
      .Num("result", result).Num("scale_milli", ScaleMilli(scale)).Num("x", info.rect.x).Num("y", info.rect.y)
      .Num("width", info.rect.width).Num("height", info.rect.height);
  return scale;
}

int PaintPixels(const BrowserCore* b, int dip) {
  const float scale = b->scale.load();
  if (scale == 1.0f || dip <= 0) return dip;
  return static_cast<int>(std::ceil(static_cast<double>(static_cast<float>(dip) * scale)));
}

int ScaleMilli(float scale) { return static_cast<int>(std::lround(static_cast<double>(scale) * 1000.0)); }

DragItems ItemsOf(cef_drag_data_t* data) {
  if (data == nullptr || !IsWrapper(data) || std::strcmp(InfoOf(data)->kind, "drag_data") != 0) return DragItems();
  return DragCore(data)->items;
}

void FillPointerHostSlots(cef_browser_host_t* h) {
  h->notify_screen_info_changed = HostNotifyScreenInfoChanged;
  h->drag_target_drag_enter = HostDragEnter;
  h->drag_target_drag_over = HostDragOver;
  h->drag_target_drag_leave = HostDragLeave;
  h->drag_target_drop = HostDrop;
  h->drag_source_ended_at = HostDragSourceEndedAt;
  h->drag_source_system_drag_ended = HostDragSourceSystemEnded;
}

}  // namespace standin
