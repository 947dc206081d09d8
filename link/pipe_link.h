// The client link: opening the client's named pipe, the Hello report, and the reader
// thread that validates every command frame and hands each one to the command sink it was
// connected with. When the link ends (Shutdown, a closed pipe or a malformed frame) the
// reader stops the writer and tells the sink. There is no reconnection.
//
// Threads: ConnectPipe on the main (UI) thread, once, after the engine is initialised and
// the statistics exist; CloseLink on the same thread at the end. link_stopped may be read
// from any thread.
#pragma once
#include <atomic>

#include "protocol/wire.h"

namespace nimo {

// Where the commands go. Both run on the reader thread; either may be null.
struct CommandSink {
  // Each valid command that is not to be ignored, in order of arrival. `command.text`
  // points into the reader's buffer and is valid only during the call.
  void (*on_command)(const DecodedCommand& command);
  // Once, after the last command, when the link has ended.
  void (*on_link_end)();
};

// 0 until the reader thread has ended the link, then 1 for the rest of the process.
extern std::atomic<int> link_stopped;

// Opens `name` (a full pipe path, e.g. "\\.\pipe\x"), waiting about 5 s for it to appear
// or become free, sets message read mode, starts the writer, queues Hello and starts the
// reader, which hands the commands to `sink`. The link speaks `protocol_version` (the
// negotiated one, protocol/version.h): Hello says it, and only on version 3 are commands
// from kFirstVersion3Command up handed on. False (logged "could not open pipe") when it
// cannot be opened; the process then runs on without a link and every send is refused.
// False as well for every call after the first successful one.
bool ConnectPipe(const char* name, const CommandSink& sink, std::uint32_t protocol_version = kProtocolVersion);

// Lets go of the link: waits up to `wait_ms` for the reader and then for the writer to end
// (each has normally ended with the link), and only then closes the pipe, its events and
// the threads' handles. A thread still running keeps them, deliberately, to the process's
// end. UI thread, after the message loop, before cef_shutdown; nothing after a failed or
// missing ConnectPipe.
void CloseLink(unsigned long wait_ms);

}  // namespace nimo
