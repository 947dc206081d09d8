// The whole life of the browser process, the role the client starts with --nimomp-browser.
// Main thread (it becomes the engine's UI thread).
#pragma once
#include <windows.h>

namespace nimo {

// Returns the process exit code: 0 after a normal shutdown, 2 when the engine library lacks
// an entry point the browser process cannot run without, 3 when the engine fails to start.
int RunBrowserProcess(HINSTANCE instance);

}  // namespace nimo
