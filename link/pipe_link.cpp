#include "link/pipe_link.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/wide_text.h"
#include "base/win_handle.h"
#include "diag/log.h"
#include "diag/perf_stats.h"
#include "link/pipe_writer.h"
#include "link/send.h"
#include "protocol/wire.h"

namespace nimo {

std::atomic<int> link_stopped{0};

namespace {

constexpr int kOpenAttempts = 100;
constexpr DWORD kOpenRetryMs = 50;

// The reading half of the link, filled by ConnectPipe before the reader starts. Never
// destroyed: CloseLink lets go of its handles once the reader has ended, and a reader that
// never ends keeps them to the process's end.
struct Reader {
  CommandSink sink = {};  // the receiver of the commands
  UniqueHandle event;     // manual-reset, the reader's OVERLAPPED event
  UniqueHandle thread;
};
Reader& reader = *new Reader();

// Reads one whole pipe message into `buffer`. A completion at once and a pending read end
// the same way; a message longer than the buffer is reported as such, not as a closed
// pipe, because it means the client broke the framing.
ReadStatus ReadMessage(HANDLE handle, std::uint8_t* buffer, DWORD capacity, DWORD* received) {
  OVERLAPPED ov = {};
  ov.hEvent = reader.event.get();  // ReadFile resets it when the read begins
  *received = 0;
  if (!ReadFile(handle, buffer, capacity, nullptr, &ov)) {
    const DWORD error = GetLastError();
    if (error == ERROR_MORE_DATA) return ReadStatus::kTooLong;
    if (error != ERROR_IO_PENDING) return ReadStatus::kFailed;
  }
  if (!GetOverlappedResult(handle, &ov, received, TRUE)) {
    return GetLastError() == ERROR_MORE_DATA ? ReadStatus::kTooLong : ReadStatus::kFailed;
  }
  return ReadStatus::kComplete;
}

const char* EndLine(ReceiveOutcome outcome) {
  switch (outcome) {
    case ReceiveOutcome::kBadFrame:
      return "[nimo-webengine][ipc] DESYNC (bad magic/size) - exiting\n";
    case ReceiveOutcome::kShutdown:
      return "[nimo-webengine][ipc] Shutdown requested\n";
    default:
      return "[nimo-webengine][ipc] pipe closed by client - exiting\n";
  }
}


// Reads and hands on commands until the link ends; returns how it ended. A command whose
// handling fails for lack of memory is dropped (and counted); the link goes on.
ReceiveOutcome ReadCommands(HANDLE handle, std::vector<std::uint8_t>& buffer) {
  const std::uint32_t version = LinkProtocolVersion();
  for (;;) {
    DWORD received = 0;
    const ReadStatus status = ReadMessage(handle, buffer.data(), kMaxFrameSize, &received);
    const ReceivedFrame frame = ValidateReceived(status, buffer.data(), received);
    if (frame.outcome != ReceiveOutcome::kOk) return frame.outcome;
    const DecodedCommand command = DecodeCommand(frame, version);
    if (command.action == CommandAction::kIgnore || !reader.sink.on_command) continue;
    try {
      reader.sink.on_command(command);
    } catch (...) {
      RecordOutOfMemory("a command");
    }
  }
}

// No exception leaves a thread procedure: it would end the process without a word.
DWORD WINAPI ReaderThread(void*) {
  const HANDLE handle = TheWriter().pipe();
  ReceiveOutcome outcome = ReceiveOutcome::kClosed;
  try {
    std::vector<std::uint8_t> buffer(kMaxFrameSize, 0);
    outcome = ReadCommands(handle, buffer);
  } catch (...) {
    RecordOutOfMemory("the link's read buffer");  // the link ends as if closed
  }
  WriteLogText(EndLine(outcome));
  link_stopped.exchange(1);
  TheWriter().Stop();
  if (reader.sink.on_link_end) {
    try {
      reader.sink.on_link_end();
    } catch (...) {
      RecordOutOfMemory("the end of the link");
    }
  }
  return 0;
}

}  // namespace

bool ConnectPipe(const char* name, const CommandSink& command_sink, std::uint32_t protocol_version) {
  if (!name) return false;
  // There is no reconnection: the link objects and its two threads are made once.
  if (TheWriter().started()) {
    WriteLog("[nimo-webengine][ipc] already connected - %s ignored\n", name);
    return false;
  }
  // The name comes from the command line as UTF-8 and goes to the system as UTF-16.
  const std::wstring wide_name = WideFromUtf8(name);
  UniqueFileHandle handle;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    handle.reset(CreateFileW(wide_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr));
    if (handle) break;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PIPE_BUSY) break;
    Sleep(kOpenRetryMs);
  }
  UniqueHandle event;
  if (handle) event.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (handle) {
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(handle.get(), &mode, nullptr, nullptr);
  }
  if (!event || !TheWriter().Start(std::move(handle))) {
    WriteLog("[nimo-webengine][ipc] could not open pipe %s\n", name);
    return false;
  }
  reader.sink = command_sink;
  reader.event = std::move(event);
  SetLinkProtocolVersion(protocol_version);
  SendHello(GetCurrentProcessId());
  reader.thread.reset(CreateThread(nullptr, 0, ReaderThread, nullptr, 0, nullptr));
  WriteLog("[nimo-webengine][ipc] connected to %s\n", name);
  if (protocol_version != kProtocolVersion) WriteLog("[nimo-webengine][ipc] protocol version %u\n", protocol_version);
  return true;
}

void CloseLink(DWORD wait_ms) {
  if (!TheWriter().started()) return;
  // The writer may close the pipe only after the reader, which borrows it, has ended.
  if (reader.thread && WaitForSingleObject(reader.thread.get(), wait_ms) != WAIT_OBJECT_0) {
    WriteLog("[nimo-webengine][ipc] reader still reading after %llu ms - the pipe stays open\n",
             static_cast<std::uint64_t>(wait_ms));
    TheWriter().Stop();
    return;
  }
  reader.thread.reset();
  reader.event.reset();
  TheWriter().Close(wait_ms);
}

}  // namespace nimo
