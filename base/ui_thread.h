// The UI-thread check. Most of the browser process belongs to the engine's UI thread (the
// main thread, which runs the engine's message loop): every callback of the surfaces'
// handlers and every UI-task body. RequireUiThread at the top of such an entry point makes
// a call from any other thread, which would otherwise race silently on unlocked state,
// visible: it is logged once per entry point and counted, and the process runs on. Only a
// Debug build (NIMO_THREAD_CHECKS_FATAL) ends the process there, so a shipped build never
// dies of a check. The check is compiled in when NIMO_THREAD_CHECKS is defined (every
// build but Release); in a Release build RequireUiThread is empty.
//
// A call is on the UI thread when it is on the thread RecordUiThread recorded (no thread
// recorded: any thread passes that test), and, once NoteEngineInitialized was called and
// the engine exports cef_currently_on, when the engine agrees.
//
// Threads: RecordUiThread and NoteEngineInitialized on the main thread, before the calls
// they govern; the rest from any thread.
#pragma once

namespace nimo {

// Records the calling thread as the UI thread.
void RecordUiThread();

// From now on the engine's cef_currently_on(TID_UI) is consulted as well (when resolved).
void NoteEngineInitialized();

// Whether the calling thread passes the check above. Compiled in every build.
bool OnUiThread();

// What happens on a failed check: by default it is counted, the line
// "[nimo-webengine][thread] <where> called off the UI thread" is logged the first time
// `where` (compared as text) fails, and a Debug build then ends the process with
// std::abort. A test installs its own handler to observe the failure; returns the
// previous handler (null handler restores the default).
using ThreadViolationHandler = void (*)(const char* where);
ThreadViolationHandler SetThreadViolationHandler(ThreadViolationHandler handler);

// Failed checks the default handler has seen since the process began.
int ThreadViolationCount();

#if defined(NIMO_THREAD_CHECKS)
void RequireUiThread(const char* where);
#else
inline void RequireUiThread(const char*) {}
#endif

}  // namespace nimo
