// In a renderer process of a protocol-3 session: window.mp (with call) in every new
// main-frame document before any script of the page runs. The browser process says so,
// and names the origins, through the environment every renderer inherits
// (bridge/portable/page_script_env.h), and says which browsers take it through their
// creation info (surfaces/browser_info.h): the environment is the same for every surface,
// and surface 1 must never get window.mp. Without both nothing happens here.
//
// State: the identifiers of this renderer's browsers whose creation info carried the mark,
// owned here; added when the engine announces a browser, removed when it destroys it, gone
// with the process.
//
// Threads: the renderer's main thread (the engine's render-process callbacks).
#pragma once
#include "base/portable/engine_abi.h"

namespace nimo {

// The engine announced `browser` in this renderer with its creation info `extra_info`
// (null when it has none): a marked browser is remembered. Both stay the caller's.
void NoteRendererBrowser(cef_browser_t* browser, cef_dictionary_value_t* extra_info);

// The engine destroyed `browser` in this renderer: it is forgotten. It stays the caller's.
void ForgetRendererBrowser(cef_browser_t* browser);

// Runs the page script in `frame` when the variable is set, the frame is a main frame and
// `browser` was announced marked. Both stay the caller's.
void InstallEarlyPageApi(cef_browser_t* browser, cef_frame_t* frame);

}  // namespace nimo
