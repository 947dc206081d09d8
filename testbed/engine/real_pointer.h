// The Chromium mode's pointer: what the engine tells the product about the pointer of a
// real page and what it takes back. Cursor and tooltip have no DevTools event, so after
// every mouse move the page is asked what lies under the pointer (its computed `cursor`,
// a custom cursor's picture, the nearest `title`) and a change becomes on_cursor_change or
// on_tooltip. HTML drags are intercepted (Input.setInterceptDrags): a drag the page starts
// becomes start_dragging, and the product's drag_target_* calls drive the page's drop
// target with Input.dispatchDragEvent.
//
// Threads: Real* from any thread; product callbacks are raised on the UI thread.
#pragma once
#include <nlohmann/json.hpp>

#include "testbed/engine/engine_decls.h"
#include "testbed/engine/pointer.h"

namespace standin {

struct BrowserCore;

// A page was opened: intercept its drags.
void RealPointerOpen(BrowserCore* b);
// The mouse moved to view point (x, y) (already sent to the page): looks at what is there.
void RealPointerMoved(BrowserCore* b, int x, int y);
// Input.dragIntercepted of the page: the drag goes to the product's start_dragging.
void RealDragIntercepted(BrowserCore* b, const nlohmann::json& params);
// drag_target_*: `type` is dragEnter (with the drag's items), dragOver, drop or
// dragCancel (at the last point, `e` null).
void RealDragTarget(BrowserCore* b, const char* type, const cef_mouse_event_t* e, const DragItems* items);
// drag_source_ended_at: the page's drag source lets go of the press that started it.
void RealDragSourceEnded(BrowserCore* b, int x, int y);
// The page is gone: its pointer state is forgotten.
void RealPointerClosed(BrowserCore* b);

}  // namespace standin
