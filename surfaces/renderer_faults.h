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
#include <cstdint>

#include "host/portable/engine_abi.h"

namespace nimo {

// Sets on_render_process_unresponsive, on_render_process_responsive and
// on_render_process_terminated of a surface's embedded request handler; the base and every
// other slot are left as they are.
void InstallRendererFaultHandlers(cef_request_handler_t* handler);

// The client has just asked the surface to load (Navigate, Reload): a reload still waiting
// after a renderer fault is dropped and the page's crash history starts afresh.
void NoteClientLoad(std::uint32_t surface_id);

// The surface's browser has closed: a waiting reload is dropped, a held unresponsive
// callback released, the history forgotten.
void ForgetRendererFaults(std::uint32_t surface_id);

}  // namespace nimo
