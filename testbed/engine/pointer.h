// The pointer of a page as the engine tells the product and takes it back: cursor and
// tooltip changes (display handler), a drag the page starts (render handler's
// start_dragging, with drag data of its own), the drop target the product plays with the
// host's drag_target_* calls and the end it tells with drag_source_*, and the screen the
// product describes with get_screen_info (its device scale sizes every paint).
//
// Threads: Raise* and QueryScreenScale on the UI thread; the host slots from any thread.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "base/portable/engine_abi_pointer.h"
#include "testbed/engine/engine_decls.h"

namespace standin {

struct BrowserCore;

// What a page drags: its data items (MIME type, text) and the operations it allows.
struct DragItems {
  std::vector<std::pair<std::string, std::string>> items;
  int allowed_ops = 0;
};

// on_cursor_change with no cursor handle (a windowless browser makes none); `custom` only
// for CT_CUSTOM. Journaled as cb.on_cursor_change.
void RaiseCursorChange(BrowserCore* b, int type, const cef_cursor_info_t* custom);
// on_tooltip; an empty text when the tooltip goes. Journaled as cb.on_tooltip.
void RaiseTooltip(BrowserCore* b, const std::u16string& text);
// start_dragging with fresh read-only drag data at view point (x, y); whether the product
// took the drag (without the slot, or with 0, the engine ends the drag at once).
bool RaiseStartDragging(BrowserCore* b, const DragItems& items, int x, int y);

// Asks the render handler's get_screen_info (when present) and keeps the device scale in
// the browser (1 when the product answers 0 or has no slot). Journaled as
// cb.get_screen_info.
float QueryScreenScale(BrowserCore* b, const char* why);
// Pixels the engine paints for a DIP length at the browser's scale (rounded up).
int PaintPixels(const BrowserCore* b, int dip);
// The scale in thousandths, as the Chromium mode picks its browser.
int ScaleMilli(float scale);

// The drag items a drag data object of this engine carries (empty for anything else).
DragItems ItemsOf(cef_drag_data_t* data);

// Host slots: notify_screen_info_changed and the drag calls.
void FillPointerHostSlots(cef_browser_host_t* host);

}  // namespace standin
