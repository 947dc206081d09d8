// The load callbacks of every surface's browser: at each main-frame load the page shim
// (window.mp, window.__mpEmit) and the frame-rate probe are run in the page, except on
// surface 1; a finished main-frame load refreshes the view and is reported to the client
// as LoadEvent kind 0, every failed load (any frame) as LoadEvent kind 2 with its URL. In
// sessions of protocol 3 the focus watcher runs beside the shim, the shim comes with call
// and only for documents of the origins the client lets talk (bridge/page_api.h), a
// main-frame load start ends the surface's focused field (surfaces/keyboard.h) and its
// pending calls, and a client may keep the probe out of a surface's pages
// (surfaces/frame_pacing.h).
//
// Threads: the engine's UI thread (the callbacks, and the two injections they use).
#pragma once
#include <cstdint>

#include "base/portable/engine_abi.h"

namespace nimo {

// Runs the page shim / the frame-rate probe in `frame` when it is a main frame (a frame
// without is_main counts as one). Does nothing for a null frame or when the engine cannot
// convert strings. The frame stays the caller's: no reference is taken or dropped.
void InjectPageShim(cef_frame_t* frame);
void InjectFrameRateProbe(cef_frame_t* frame);
void InjectFocusWatch(cef_frame_t* frame);

// Takes the frame-rate probe out of the surface's current document: its marker pixel goes
// and it asks for no more animation frames (only a probe run in a protocol-3 session can
// be stopped). The surfaces' ProbeStopper, installed by the browser process.
void StopFrameRateProbe(std::uint32_t surface_id);

// Sets on_load_start, on_load_end and on_load_error of a surface's embedded load handler;
// the base and every other slot are left as they are. Main thread, before the engine runs.
void InstallLoadHandler(cef_load_handler_t* handler);

}  // namespace nimo
