// The pointer of a surface for clients of protocol 3: the page's cursor and tooltip
// reported as they change, the device scale the client sets (sizes and input stay in
// texture pixels, the page lays out in DIP), and HTML drags played inside the page from the
// client's mouse input (surfaces/portable/drag_session.h). Clients of protocol 2 never reach
// any of it: the callbacks are installed only for protocol 3, and the scale of a surface
// stays 1.
//
// State lives in the surface record (Surface::pointer), created with the table and touched
// only on the UI thread; a drag's data reference is given back when the drag ends or the
// surface's browser closes.
//
// Threads: the engine's UI thread only.
#pragma once
#include <cstdint>
#include <string>

#include "base/engine_ref.h"
#include "base/portable/engine_abi_pointer.h"
#include "surfaces/portable/cursor_shape.h"
#include "surfaces/portable/device_scale.h"
#include "surfaces/portable/drag_session.h"

namespace nimo {

struct Surface;
struct InputRecord;
struct InputTranslation;

struct SurfacePointer {
  std::uint32_t scale_milli = kScaleOne;  // the client's SetScale; 1000 until it sends one
  CursorShape page_cursor;                // the page's own cursor, shown again after a drag
  CursorShape told_cursor;                // the last cursor reported to the client
  bool cursor_told = false;
  DragSession drag;
  EngineRef<cef_drag_data_t> drag_data;   // the page's data while its drag is in progress
};

// For a client of protocol 3: sets the cursor and tooltip callbacks of every record's
// display handler and the screen and drag callbacks of its render handler, and lets the
// input and SetScale reach this file. Main thread, once, after InitSurfaceTable and before
// the engine starts; without it nothing here changes what the engine sees.
void EnablePointer();
bool PointerEnabled();

// SetScale: thousandths, 500 to 4000, anything else ignored. Kept without a browser too
// (a later CreateSurface starts at that scale); with one, the engine is told the screen
// changed and the view resized.
void SetSurfaceScale(std::uint32_t surface_id, std::uint32_t scale_milli);

// The view rectangle the engine is told: the surface's size in DIP at its scale.
std::int32_t ViewDipWidth(const Surface& surface);
std::int32_t ViewDipHeight(const Surface& surface);

// A mouse position of the client (texture pixels) in the page's DIP.
void MouseToDip(const Surface& surface, cef_mouse_event_t* event);

// One piece of client input on its way to the page (`t`, translated from `input`): the
// horizontal wheel is added (WM_MOUSEHWHEEL; a tilt to the right, a positive delta,
// scrolls right, which the engine wants as a negative deltaX), mouse positions become DIP,
// and while a drag is in progress the mouse belongs to it. Keys are shown to the drag
// (Escape ends it) but not taken: which keys reach the page during a drag the held input
// decides (KeyboardNoteInput). True when the input was taken (nothing more goes to the
// page). Nothing changes unless the pointer is enabled.
bool PointerTakesInput(const InputRecord& input, cef_browser_host_t* host, InputTranslation* t);

// Ends a drag in progress without a drop: focus taken, the surface hidden or closing.
void CancelSurfaceDrag(Surface* surface, cef_browser_host_t* host);

// The surface's browser has closed: a drag's data is given back, the cursor forgotten.
void ForgetPointer(Surface* surface);

}  // namespace nimo
