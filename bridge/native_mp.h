// Native window.mp in the renderer: when ZUNT_CEF_NATIVE_MP is exactly "1", every script
// context the engine creates gets window.mp with two native functions, invoke and send,
// each sending the process message "mp:invoke" (call name, payload) to the browser
// process. Renderer main thread only (where the engine creates contexts and runs script).
#pragma once
#include "base/portable/engine_abi.h"

namespace nimo {

// The application object's get_render_process_handler: the static handler, filled on the
// first call.
cef_render_process_handler_t* CEF_CALLBACK GetRenderProcessHandler(cef_app_t* self);

// Whether native mode holds for this process right now (the variable is read afresh).
bool NativeMpEnabled();

// Creates window.mp with invoke and send in `context`; logs and gives up when the engine
// entry points, the global object or the new object are missing. The context stays the
// caller's.
void InstallWindowMp(cef_v8context_t* context);

// The static handler behind invoke and send.
cef_v8handler_t* MpInvokeHandler();

}  // namespace nimo
