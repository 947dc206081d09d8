#include "link/pipe_link.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "diag/log.h"
#include "diag/perf_stats.h"
#include "host/base/wide_text.h"
#include "host/base/win_handle.h"
#include "link/link_state.h"
#include "link/send.h"
#include "protocol/wire.h"

namespace nimo {

std::atomic<int> link_stopped{0};

namespace {

using link_internal::pipe;
using link_internal::read_event;
using link_internal::write_event;
using link_internal::link_open;

constexpr int kOpenAttempts = 100;
constexpr DWORD kOpenRetryMs = 50;

// Reads one whole pipe message into `buffer`. A completion at once and a pending read end
// the same way; a message longer than the buffer is reported as such, not as a closed
// pipe, because it means the client broke the framing.
ReadStatus ReadMessage(HANDLE handle, std::uint8_t* buffer, DWORD capacity, DWORD* received) {
  OVERLAPPED ov = {};
  ov.hEvent = read_event.get();  // ReadFile resets it when the read begins
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

// The receiver of the commands; set once by ConnectPipe before the reader starts.
CommandSink sink = {};

// Reads and hands on commands until the link ends; returns how it ended. A command whose
// handling fails for lack of memory is dropped (and counted); the link goes on.
ReceiveOutcome ReadCommands(HANDLE handle, std::vector<std::uint8_t>& buffer) {
  for (;;) {
    DWORD received = 0;
    const ReadStatus status = ReadMessage(handle, buffer.data(), kMaxFrameSize, &received);
    const ReceivedFrame frame = ValidateReceived(status, buffer.data(), received);
    if (frame.outcome != ReceiveOutcome::kOk) return frame.outcome;
    const DecodedCommand command = DecodeCommand(frame);
    if (command.action == CommandAction::kIgnore || !sink.on_command) continue;
    try {
      sink.on_command(command);
    } catch (...) {
      RecordOutOfMemory("a command");
    }
  }
}

// No exception leaves a thread procedure: it would end the process without a word.
DWORD WINAPI ReaderThread(void*) {
  const HANDLE handle = pipe.load(std::memory_order_acquire);
  ReceiveOutcome outcome = ReceiveOutcome::kClosed;
  try {
    std::vector<std::uint8_t> buffer(kMaxFrameSize, 0);
    outcome = ReadCommands(handle, buffer);
  } catch (...) {
    RecordOutOfMemory("the link's read buffer");  // the link ends as if closed
  }
  WriteLogText(EndLine(outcome));
  link_stopped.exchange(1);
  link_internal::StopWriter();
  if (sink.on_link_end) {
    try {
      sink.on_link_end();
    } catch (...) {
      RecordOutOfMemory("the end of the link");
    }
  }
  return 0;
}

bool StartThread(LPTHREAD_START_ROUTINE procedure) {
  // The threads are never joined: their handle is closed at once.
  const UniqueHandle thread(CreateThread(nullptr, 0, procedure, nullptr, 0, nullptr));
  return thread.valid();
}

}  // namespace

bool ConnectPipe(const char* name, const CommandSink& command_sink) {
  if (!name) return false;
  // There is no reconnection: the link objects and its two threads are made once.
  if (link_open.load(std::memory_order_acquire)) {
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
  if (handle) {
    read_event.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    write_event.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  }
  if (!handle || !read_event || !write_event) {
    WriteLog("[nimo-webengine][ipc] could not open pipe %s\n", name);
    read_event.reset();
    write_event.reset();
    return false;
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(handle.get(), &mode, nullptr, nullptr);
  // The pipe stays open for the rest of the process: both threads use it until they end.
  pipe.store(handle.release(), std::memory_order_release);
  link_open.store(true, std::memory_order_release);

  sink = command_sink;
  StartThread(link_internal::WriterThread);
  std::uint8_t hello[kHelloPayloadSize];
  WriteU32(hello, kProtocolVersion);
  WriteU32(hello + 4, GetCurrentProcessId());
  SendFrame(kMsgHello, hello, sizeof hello);
  StartThread(ReaderThread);
  WriteLog("[nimo-webengine][ipc] connected to %s\n", name);
  return true;
}

}  // namespace nimo
