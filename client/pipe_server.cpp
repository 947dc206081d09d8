#include "client/pipe_server.h"

#include <cstdio>
#include <cstring>

namespace nimo {
namespace client {

namespace {

bool Fail(PipeFailure* failure, const char* step, DWORD code) {
  if (failure != nullptr) {
    failure->step = step;
    failure->code = code;
  }
  return false;
}

}  // namespace

bool PipeServer::Create(const std::string& prefix, DWORD buffer_size, std::size_t max_message, PipeFailure* failure) {
  static LONG counter = 0;
  char name[200];
  std::snprintf(name, sizeof name, "\\\\.\\pipe\\%s-%lu-%llu-%ld", prefix.c_str(),
                static_cast<unsigned long>(GetCurrentProcessId()), static_cast<unsigned long long>(GetTickCount64()),
                InterlockedIncrement(&counter));
  name_ = name;
  read_event_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  write_event_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!read_event_ || !write_event_) return Fail(failure, "CreateEvent", GetLastError());
  pipe_.reset(CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                               PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                               buffer_size, buffer_size, 0, nullptr));
  if (!pipe_) return Fail(failure, "CreateNamedPipe", GetLastError());
  buffer_.resize(max_message);
  return true;
}

bool PipeServer::WaitConnected(DWORD timeout_ms, HANDLE give_up, PipeFailure* failure) {
  if (connected_) return true;
  if (!pipe_) return Fail(failure, "ConnectNamedPipe", ERROR_INVALID_HANDLE);
  OVERLAPPED ov = {};
  ov.hEvent = read_event_.get();
  if (!ConnectNamedPipe(pipe_.get(), &ov)) {
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      HANDLE waits[2] = {read_event_.get(), give_up};
      const DWORD r = WaitForMultipleObjects(give_up != nullptr ? 2 : 1, waits, FALSE, timeout_ms);
      DWORD ignored = 0;
      if (r != WAIT_OBJECT_0) {
        CancelIoEx(pipe_.get(), &ov);
        GetOverlappedResult(pipe_.get(), &ov, &ignored, TRUE);
        return Fail(failure, r == WAIT_OBJECT_0 + 1 ? "engine exited before connecting" : "ConnectNamedPipe",
                    r == WAIT_TIMEOUT ? static_cast<DWORD>(WAIT_TIMEOUT) : 0);
      }
      if (!GetOverlappedResult(pipe_.get(), &ov, &ignored, FALSE)) return Fail(failure, "ConnectNamedPipe", GetLastError());
    } else if (error != ERROR_PIPE_CONNECTED) {
      return Fail(failure, "ConnectNamedPipe", error);
    }
  }
  connected_ = true;
  return true;
}

bool PipeServer::StartRead() {
  std::memset(&read_ov_, 0, sizeof read_ov_);
  read_ov_.hEvent = read_event_.get();
  // ReadFile completes at once when a message is queued, and signals the event either way.
  if (!ReadFile(pipe_.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), nullptr, &read_ov_)) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA) return false;
  }
  read_pending_ = true;
  return true;
}

PipeServer::ReadResult PipeServer::FinishRead(std::vector<std::uint8_t>* message) {
  read_pending_ = false;
  DWORD bytes = 0;
  if (GetOverlappedResult(pipe_.get(), &read_ov_, &bytes, FALSE)) {
    message->assign(buffer_.begin(), buffer_.begin() + bytes);
    return ReadResult::kMessage;
  }
  if (GetLastError() != ERROR_MORE_DATA) return ReadResult::kClosed;
  // The rest of the message is already in the pipe: read it away.
  for (;;) {
    if (!StartRead()) return ReadResult::kClosed;
    read_pending_ = false;
    if (GetOverlappedResult(pipe_.get(), &read_ov_, &bytes, TRUE)) return ReadResult::kOversized;
    if (GetLastError() != ERROR_MORE_DATA) return ReadResult::kClosed;
  }
}

PipeServer::ReadResult PipeServer::Read(std::vector<std::uint8_t>* message, DWORD timeout_ms, HANDLE stop) {
  if (!connected_ || !pipe_) return ReadResult::kClosed;
  if (!read_pending_ && !StartRead()) return ReadResult::kClosed;
  HANDLE waits[2] = {read_event_.get(), stop};
  const DWORD r = WaitForMultipleObjects(stop != nullptr ? 2 : 1, waits, FALSE, timeout_ms);
  if (r == WAIT_TIMEOUT) return ReadResult::kTimeout;
  if (r == WAIT_OBJECT_0 + 1) return ReadResult::kStopped;
  if (r != WAIT_OBJECT_0) return ReadResult::kClosed;
  return FinishRead(message);
}

bool PipeServer::Write(const void* bytes, std::size_t size, DWORD timeout_ms, HANDLE stop) {
  if (!connected_ || !pipe_) return false;
  OVERLAPPED ov = {};
  ov.hEvent = write_event_.get();
  DWORD written = 0;
  if (!WriteFile(pipe_.get(), bytes, static_cast<DWORD>(size), nullptr, &ov) && GetLastError() != ERROR_IO_PENDING)
    return false;
  HANDLE waits[2] = {write_event_.get(), stop};
  if (WaitForMultipleObjects(stop != nullptr ? 2 : 1, waits, FALSE, timeout_ms) != WAIT_OBJECT_0) {
    CancelIoEx(pipe_.get(), &ov);
    GetOverlappedResult(pipe_.get(), &ov, &written, TRUE);
    return false;
  }
  return GetOverlappedResult(pipe_.get(), &ov, &written, FALSE) && written == size;
}

void PipeServer::Close() {
  if (!pipe_) return;
  if (read_pending_) {
    CancelIoEx(pipe_.get(), &read_ov_);
    DWORD bytes = 0;
    GetOverlappedResult(pipe_.get(), &read_ov_, &bytes, TRUE);
    read_pending_ = false;
  }
  pipe_.reset();
  connected_ = false;
}

}  // namespace client
}  // namespace nimo
