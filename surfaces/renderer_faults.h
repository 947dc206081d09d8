// Faults of a surface's page renderer, seen through the surface's request handler.
//
// A renderer that ends (crash, out of memory, killed) is logged with its status and reported
// to the client as a failed load of the page (LoadEvent kind 2, ERR_FAILED, the page's URL);
// the page is then reloaded after a short delay, so the client next sees the usual load
// report. A page that keeps crashing stays down once its reloads for the minute are spent,
// until the client navigates or reloads it. Nothing is reloaded while the process shuts down
// or after the surface's browser closed.
//
// A renderer that stops answering gets a grace period (one log line) and is then ended
// through the engine's callback, which brings the path above; one that answers again in
// time is left alone. The decisions are surfaces/portable/renderer_recovery.h.
//
// Threads: the callbacks, the delayed tasks and ForgetRendererFaults run on the engine's UI
// thread; NoteClientLoad on any thread; the installer on the main thread before the engine
// runs.
#pragma once
#include <atomic>
#include <cstdint>

#include "base/engine_ref.h"
#include "base/portable/engine_abi.h"
#include "surfaces/portable/renderer_recovery.h"

namespace nimo {

// A surface's renderer-fault record, part of its record (surfaces/surface.h). UI thread,
// except `client_loads`, which any thread may count.
struct RendererFaults {
  RendererFaultState state;
  // The engine's callback of a running grace period.
  EngineRef<cef_unresponsive_process_callback_t> callback;
  // Client loads NoteClientLoad has counted, and how many of them the UI thread has applied.
  std::atomic<std::uint32_t> client_loads{0};
  std::uint32_t seen_client_loads = 0;
};

// Sets on_render_process_unresponsive, on_render_process_responsive and
// on_render_process_terminated of a surface's embedded request handler; the base and every
// other slot are left as they are.
void InstallRendererFaultHandlers(cef_request_handler_t* handler);

// The client has just asked the surface to load (Navigate, Reload): a reload still waiting
// after a renderer fault is dropped and the page's crash history starts afresh.
void NoteClientLoad(std::uint32_t surface_id);

// The surface's browser has closed (or the table is torn down): a waiting reload is
// dropped, a held unresponsive callback released, the history forgotten.
void ForgetRendererFaults(std::uint32_t surface_id);

}  // namespace nimo
