#include "testbed/engine/ime.h"

#include <cstdio>
#include <string>

#include "testbed/engine/browser.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/loop.h"
#include "testbed/engine/real_ime.h"
#include "testbed/engine/refs.h"
#include "testbed/engine/scenario.h"
#include "testbed/engine/slots.h"
#include "testbed/engine/strings.h"

namespace standin {

namespace {

BrowserCore* HostCore(cef_browser_host_t* self) { return CoreOf<BrowserCore>(self); }

std::string RangeText(const cef_range_t* r) {
  return r ? std::to_string(r->from) + "," + std::to_string(r->to) : std::string("null");
}

void CEF_CALLBACK HostImeSetComposition(cef_browser_host_t* self, const cef_string_t* text, size_t underline_count,
                                        const cef_composition_underline_t* underlines,
                                        const cef_range_t* replacement_range, const cef_range_t* selection_range) {
  CheckAlive(self, "ime_set_composition");
  BrowserCore* b = HostCore(self);
  std::string lines;
  for (size_t i = 0; underlines && i < underline_count; ++i) {
    const cef_composition_underline_t& u = underlines[i];
    char one[96];
    std::snprintf(one, sizeof one, "%s%u,%u,%08X,%08X,%d,%d", i ? ";" : "", u.range.from, u.range.to, u.color,
                  u.background_color, u.thick, static_cast<int>(u.style));
    lines += one;
  }
  Event("host.ime_set_composition").Num("browser", b->id).Text("text", ToJournal(text))
      .Num("underline_count", static_cast<long long>(underline_count)).Text("underlines", lines)
      .Text("replacement", RangeText(replacement_range)).Text("selection", RangeText(selection_range))
      .Num("from_ui", OnUiThread() ? 1 : 0);
  if (b->real && !b->closed.load()) {
    const cef_range_t selection = selection_range ? *selection_range : cef_range_t{0, 0};
    RealImeSetComposition(b, ToU16(text), selection);
  }
}

void CEF_CALLBACK HostImeCommitText(cef_browser_host_t* self, const cef_string_t* text,
                                    const cef_range_t* replacement_range, int relative_cursor_pos) {
  CheckAlive(self, "ime_commit_text");
  BrowserCore* b = HostCore(self);
  Event("host.ime_commit_text").Num("browser", b->id).Text("text", ToJournal(text))
      .Text("replacement", RangeText(replacement_range)).Num("relative_cursor_pos", relative_cursor_pos)
      .Num("from_ui", OnUiThread() ? 1 : 0);
  if (b->real && !b->closed.load()) RealImeCommit(b, ToU16(text));
}

void CEF_CALLBACK HostImeFinishComposingText(cef_browser_host_t* self, int keep_selection) {
  CheckAlive(self, "ime_finish_composing_text");
  BrowserCore* b = HostCore(self);
  Event("host.ime_finish_composing_text").Num("browser", b->id).Num("keep_selection", keep_selection)
      .Num("from_ui", OnUiThread() ? 1 : 0);
  if (b->real && !b->closed.load()) RealImeFinish(b);
}

void CEF_CALLBACK HostImeCancelComposition(cef_browser_host_t* self) {
  CheckAlive(self, "ime_cancel_composition");
  BrowserCore* b = HostCore(self);
  Event("host.ime_cancel_composition").Num("browser", b->id).Num("from_ui", OnUiThread() ? 1 : 0);
  if (b->real && !b->closed.load()) RealImeCancel(b);
}

// "x,y,w,h;x,y,w,h" -> rectangles; a malformed entry ends the list.
std::vector<cef_rect_t> ParseRects(const std::string& text) {
  std::vector<cef_rect_t> rects;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find(';', at);
    if (end == std::string::npos) end = text.size();
    cef_rect_t r = {};
    if (std::sscanf(text.substr(at, end - at).c_str(), "%d,%d,%d,%d", &r.x, &r.y, &r.width, &r.height) != 4) break;
    rects.push_back(r);
    at = end + 1;
  }
  return rects;
}

}  // namespace

void FillHostIme(cef_browser_host_t* h) {
  h->ime_set_composition = HostImeSetComposition;
  h->ime_commit_text = HostImeCommitText;
  h->ime_finish_composing_text = HostImeFinishComposingText;
  h->ime_cancel_composition = HostImeCancelComposition;
}

void RaiseVirtualKeyboard(BrowserCore* b, int mode) {
  cef_render_handler_t* h = RenderHandlerOf(b);
  const bool has = STANDIN_HAS_SLOT(h, cef_render_handler_t, on_virtual_keyboard_requested);
  Event("cb.on_virtual_keyboard_requested").Num("browser", b->id).Num("mode", mode).Num("present", has ? 1 : 0);
  if (has) h->on_virtual_keyboard_requested(h, WrapBrowser(b, "on_virtual_keyboard_requested"), mode);
  ReleaseHandler(h);
}

void RaiseCompositionRange(BrowserCore* b, const cef_range_t& range, const std::vector<cef_rect_t>& rects) {
  cef_render_handler_t* h = RenderHandlerOf(b);
  const bool has = STANDIN_HAS_SLOT(h, cef_render_handler_t, on_ime_composition_range_changed);
  std::string list;
  for (const cef_rect_t& r : rects) {
    list += (list.empty() ? "" : ";") + std::to_string(r.x) + "," + std::to_string(r.y) + "," +
            std::to_string(r.width) + "," + std::to_string(r.height);
  }
  Event("cb.on_ime_composition_range_changed").Num("browser", b->id).Unsigned("from", range.from)
      .Unsigned("to", range.to).Num("count", static_cast<long long>(rects.size())).Text("rects", list)
      .Num("present", has ? 1 : 0);
  if (has) {
    h->on_ime_composition_range_changed(h, WrapBrowser(b, "on_ime_composition_range_changed"), &range, rects.size(),
                                        rects.empty() ? nullptr : rects.data());
  }
  ReleaseHandler(h);
}

bool ImeAction(BrowserCore* b, const Directive& d) {
  if (d.keyword == "keyboard_request") {
    RaiseVirtualKeyboard(b, static_cast<int>(d.Int("mode", 0)));
    return true;
  }
  if (d.keyword == "composition_range") {
    const cef_range_t range = {static_cast<std::uint32_t>(d.Int("from", 0)),
                               static_cast<std::uint32_t>(d.Int("to", 0))};
    RaiseCompositionRange(b, range, ParseRects(d.Get("rects")));
    return true;
  }
  return false;
}

}  // namespace standin
