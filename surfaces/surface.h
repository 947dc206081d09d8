// The surface table: four records, one per surface id 0..3, each of which is at once the
// engine client of its browser, the owner of the six handlers the client hands out and of
// everything else the surface has (view size, shared texture, popup layer, renderer-fault
// record, frame-pump generation), and of the GPU device the textures are made on. Engine
// callbacks reach their record from the handler pointer they receive (SurfaceFrom).
// Surface 0 is the UI surface, opened at start-up.
//
// Lifetime: the table's storage is made before main and never destroyed, so no static
// destructor ever runs over an engine reference, a texture or a handle. InitSurfaceTable
// fills it on the main thread before the engine is initialised; ReleaseSurfaceTable, on the
// UI thread after the message loop has ended and before cef_shutdown, lets go of every
// browser, texture, handle, popup picture and held engine callback while the engine still
// runs. Whatever a record should still receive after that (an engine callback during
// cef_shutdown) is deliberately left to the process's end: released into an engine that
// has shut down, it would call into freed code. The table's shutdown state below
// (live_browser_count, quitting, loop_quit_requested) lives as long as the process and
// holds nothing that needs letting go.
//
// Threads: everything here belongs to the engine's UI thread (the browser process's main
// thread), which touches the records without locks. The exceptions are marked: the
// atomics, and AcquireSurfaceBrowser, which any thread may call.
#pragma once
#include <d3d11.h>
#include <wrl/client.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/engine_ref.h"
#include "base/portable/engine_abi.h"
#include "base/win_handle.h"
#include "surfaces/frame_pacing.h"
#include "surfaces/frame_ring_slots.h"
#include "surfaces/gpu_device.h"
#include "surfaces/pointer.h"
#include "surfaces/popup.h"
#include "surfaces/portable/held_input.h"
#include "surfaces/portable/surface_rules.h"
#include "surfaces/portable/text_input.h"
#include "surfaces/renderer_faults.h"
#include "surfaces/surface_texture.h"

namespace nimo {

constexpr std::uint32_t kSurfaceCount = 4;
constexpr std::uint32_t kUiSurfaceId = 0;
constexpr std::uint32_t kDefaultViewWidth = 1280;
constexpr std::uint32_t kDefaultViewHeight = 720;

// Standard-layout on purpose: the handlers are found from their own address by offsetof.
struct Surface {
  cef_client_t client;  // its address is the client given to the engine
  cef_render_handler_t render_handler;
  cef_life_span_handler_t life_span_handler;
  cef_load_handler_t load_handler;
  cef_display_handler_t display_handler;
  cef_request_handler_t request_handler;
  cef_context_menu_handler_t context_menu_handler;

  std::uint32_t id;  // slot number, set by InitSurfaceTable
  // The record's own reference while set. Written only on the UI thread and only under
  // the browser lock, so AcquireSurfaceBrowser can read it from other threads.
  EngineRef<cef_browser_t> browser;
  std::uint32_t view_width = kDefaultViewWidth;    // view size reported to the engine
  std::uint32_t view_height = kDefaultViewHeight;
  std::uint8_t create_pending;  // a browser was requested and has not arrived yet

  SurfaceTexture texture;  // the surface's own shared texture, surfaces/surface_texture.h

  PopupLayer popup;        // the page's open popup widget, surfaces/popup.h
  RendererFaults faults;   // renderer crashes and hangs, surfaces/renderer_faults.h
  // One frame pump per browser: a new browser starts a new generation, and a tick of an
  // older one (its browser closed and another arrived before the tick ran) ends instead
  // of doubling the new browser's begin frames. surfaces/frame_pump.h.
  std::uint32_t pump_generation = 0;
  // Protocol 3: who asks for frames and whether the probe runs (surfaces/frame_pacing.h).
  // Kept across browsers, like the view size.
  SurfacePacing pacing;
  // Protocol 3 (surfaces/keyboard.h): the focused field's kind as the client was told it,
  // and the keys and buttons the page believes are down. Reset with the browser.
  TextInputTracker text_input;
  HeldInput held_input;
  SurfacePointer pointer;  // cursor, scale and drag of protocol-3 sessions (surfaces/pointer.h)
  // Protocol 3 with a frame ring: the slot textures the client reads (surfaces/frame_ring_slots.h).
  SurfaceRing ring;
};

class SurfaceTable {
 public:
  Surface& operator[](std::uint32_t id) { return records_[id]; }
  Surface* begin() { return records_; }
  Surface* end() { return records_ + kSurfaceCount; }

  // The table's shutdown state, any thread may read it:
  // browsers between on_after_created and on_before_close;
  std::atomic<int> live_browser_count{0};
  // browsers that arrived on a surface's client without being that surface's own (a popup
  // that slipped through, a second browser for a live slot), closed at once and kept out
  // of the records, whose close the loop must still wait for before it may quit;
  std::atomic<int> stray_browser_count{0};
  // set once when the client link has ended and every browser is being closed (by
  // CloseAllAndQuit): from then on the last browser to close ends the message loop, and a
  // browser that still arrives is closed at once;
  std::atomic<int> quitting{0};
  // whether the engine's message loop was asked to quit (QuitLoopOnce).
  std::atomic<bool> loop_quit_requested{false};

  // The engine's one GPU device, shared by every surface's texture (surfaces/gpu_device.h):
  // UI thread only; let go (GpuDevice::Release) after ReleaseSurfaceTable.
  GpuDevice gpu;

 private:
  Surface records_[kSurfaceCount];
};

extern SurfaceTable& surfaces;

// Fills ids, the client and its handlers in all four records, with the surfaces' own
// callbacks (life span, geometry, paint, navigation filter, context menu). Main thread,
// once, before the engine is initialised; the page bridge's callbacks (load, console,
// process messages) are installed into the records afterwards by the browser process.
void InitSurfaceTable();

// Lets go of everything the records hold (see Lifetime above); the handlers stay
// installed and a record may be used again. UI thread, before cef_shutdown.
void ReleaseSurfaceTable();

// Asks the engine for the browser of `surface_id` (the body of the CreateSurface task).
// Zero width or height keeps the slot's last size; an empty url opens "about:blank".
// Ignored for ids >= 4 and for slots that are creating or live. Sends nothing.
void CreateSurfaceBrowser(std::uint32_t surface_id, std::uint32_t width, std::uint32_t height,
                          const std::string& url);

// Starts the creation of the UI surface at start-up, with the given URL taken as is (the
// probe-page flag included). Returns whether the engine accepted the request.
bool CreateUiSurfaceBrowser(const std::string& url);

// A reference of the caller's own to the surface's browser, or empty when the id is out of
// range or the surface has no browser. Any thread: it is taken under the lock the UI
// thread holds while it sets or clears a record's browser.
EngineRef<cef_browser_t> AcquireSurfaceBrowser(std::uint32_t id);

// Ends the message loop when shutdown has begun and no browser is alive or still being
// created; returns whether it asked the loop to quit. UI thread.
bool QuitLoopIfAllClosed();

// Asks the engine's message loop to quit, once per process (later calls do nothing).
// UI thread. surfaces.loop_quit_requested tells whether it has.
void QuitLoopOnce();

// Browsers alive, stray ones still closing and requested ones not yet arrived. UI thread.
int OpenOrPending();

// The record a handler belongs to, or null when the pointer is not a member of the table.
Surface* SurfaceFrom(cef_client_t* self);
Surface* SurfaceFrom(cef_render_handler_t* self);
Surface* SurfaceFrom(cef_life_span_handler_t* self);
Surface* SurfaceFrom(cef_load_handler_t* self);
Surface* SurfaceFrom(cef_display_handler_t* self);
Surface* SurfaceFrom(cef_request_handler_t* self);
Surface* SurfaceFrom(cef_context_menu_handler_t* self);

}  // namespace nimo
