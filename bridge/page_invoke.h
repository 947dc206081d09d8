// Receiver of the renderer's "mp:invoke" process messages (what native window.mp's invoke
// and send post) in the browser process. Each one goes to the client as the PageMessage a
// console-tagged call would have produced: "NIMOMP|invoke|" + name + U+0001 U+0002 "s" +
// payload, so the client decodes both modes with the same grammar.
//
// Threads: the callback runs on the engine's UI thread; the installer on the main thread
// before the engine runs.
#pragma once
#include "base/portable/engine_abi.h"

namespace nimo {

// Sets on_process_message_received of a surface's embedded client; the base and every
// other slot are left as they are.
void InstallProcessMessageReceiver(cef_client_t* client);

}  // namespace nimo
