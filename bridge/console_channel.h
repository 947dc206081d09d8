// The console channel: every console message of every page of a surface reaches the
// client. A text starting with "NIMOMP|" (what the page shim writes for window.mp calls)
// goes whole as a PageMessage; every other text as one ConsoleLine with its level word,
// cut to 600 bytes, and its source and line. In sessions of protocol 3 a call line of
// window.mp.call becomes a PageCall (bridge/page_api.h), and a document of an origin the
// client did not list gets no PageMessage: its tagged texts are console lines too.
//
// Threads: the callback runs on the engine's UI thread; the installer on the main thread
// before the engine runs.
#pragma once
#include "base/portable/engine_abi.h"

namespace nimo {

// Sets on_console_message of a surface's embedded display handler; the base and every
// other slot are left as they are.
void InstallConsoleChannel(cef_display_handler_t* handler);

}  // namespace nimo
