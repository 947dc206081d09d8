// The client link: opening the client's named pipe, the Hello report, and the reader
// thread that validates every command frame and hands it on (most as UI tasks; Navigate
// and ExecuteScript it carries out itself). When the link ends (Shutdown, a closed pipe
// or a malformed frame) the reader stops the writer and posts CloseAllAndQuit. There is
// no reconnection.
//
// Threads: ConnectPipe on the main (UI) thread, once, after the engine is initialised and
// the statistics exist. link_stopped may be read from any thread.
#pragma once
#include <atomic>

namespace nimo {

// 0 until the reader thread has ended the link, then 1 for the rest of the process.
extern std::atomic<int> link_stopped;

// Opens `name` (a full pipe path, e.g. "\\.\pipe\x"), waiting about 5 s for it to appear
// or become free, sets message read mode, starts the writer, queues Hello and starts the
// reader. False (logged "could not open pipe") when it cannot be opened; the process then
// runs on without a link and every send is refused.
bool ConnectPipe(const char* name);

}  // namespace nimo
