// In a renderer process of a protocol-3 session: window.mp (with call) in every new
// main-frame document before any script of the page runs. The browser process says so,
// and names the origins, through the environment every renderer inherits
// (bridge/portable/page_script_env.h); without that variable nothing happens here.
//
// Threads: the renderer's main thread (the engine's context-created callback).
#pragma once
#include "base/portable/engine_abi.h"

namespace nimo {

// Runs the page script in `frame` when the variable is set and the frame is a main frame.
// The frame stays the caller's.
void InstallEarlyPageApi(cef_frame_t* frame);

}  // namespace nimo
