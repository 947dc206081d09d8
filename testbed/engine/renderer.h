// The renderer role of cef_execute_process: the product's render-process handler is given
// browsers, frames and script contexts, and the scenario's renderer block is played.
//
// Threads: the sub-process's main thread.
#pragma once
#include "testbed/engine/engine_decls.h"

namespace standin {

void PlayRendererProcess(cef_app_t* app);

}  // namespace standin
