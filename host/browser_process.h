// The whole life of the browser process, the role the client starts with --nimomp-browser.
// Main thread (it becomes the engine's UI thread).
#pragma once
#include <windows.h>

namespace nimo {

// The client process, opened for handle duplication from --nimomp-clientpid before the
// engine starts; null when no client id was given or it could not be opened. Written once
// by the main thread before any other thread exists, read from any thread afterwards.
extern HANDLE client_process;

// Returns the process exit code: 0 after a normal shutdown, 2 when the engine library lacks
// an entry point the browser process cannot run without, 3 when the engine fails to start.
int RunBrowserProcess(HINSTANCE instance);

}  // namespace nimo
