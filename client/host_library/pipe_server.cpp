#include "client/host_library/pipe_server.h"

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

namespace {

// A descriptor whose list grants the pipe to this process's user and to SYSTEM, and to no
// one else. Holds its buffers; valid while it lives.
class OwnerOnlyDescriptor {
 public:
  bool Build(DWORD* error) {
    HANDLE raw_token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw_token)) return Failed(error);
    UniqueHandle token(raw_token);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return Failed(error);
    user_.resize(size);
    if (!GetTokenInformation(token.get(), TokenUser, user_.data(), size, &size)) return Failed(error);
    PSID user = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    DWORD system_size = sizeof system_;
    if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system_, &system_size)) return Failed(error);
    const DWORD acl_size = static_cast<DWORD>(sizeof(ACL) + 2 * sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(user) +
                                              GetLengthSid(system_));
    acl_.resize(acl_size);
    PACL acl = reinterpret_cast<PACL>(acl_.data());
    if (!InitializeAcl(acl, acl_size, ACL_REVISION) || !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, user) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, system_) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE))
      return Failed(error);
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    return true;
  }
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  static bool Failed(DWORD* error) {
    *error = GetLastError();
    return false;
  }
  std::vector<std::uint8_t> user_;
  std::vector<std::uint8_t> acl_;
  BYTE system_[SECURITY_MAX_SID_SIZE] = {};
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
};

}  // namespace

bool PipeServer::Create(const std::string& prefix, DWORD buffer_size, std::size_t max_message, PipeFailure* failure) {
  static LONG counter = 0;
  char name[200];
  std::snprintf(name, sizeof name, "\\\\.\\pipe\\%s-%lu-%llu-%ld", prefix.c_str(),
                static_cast<unsigned long>(GetCurrentProcessId()), static_cast<unsigned long long>(GetTickCount64()),
                InterlockedIncrement(&counter));
  name_ = name;
  read_event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  write_event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!read_event_ || !write_event_) return Fail(failure, "CreateEvent", GetLastError());
  OwnerOnlyDescriptor security;
  DWORD error = 0;
  if (!security.Build(&error)) return Fail(failure, "pipe security descriptor", error);
  std::wstring wide_name(name_.size(), L'\0');  // UTF-8 in, never longer in UTF-16
  wide_name.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, name_.data(), static_cast<int>(name_.size()),
                                                                &wide_name[0], static_cast<int>(wide_name.size()))));
  pipe_.reset(CreateNamedPipeW(wide_name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                               PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                               buffer_size, buffer_size, 0, security.attributes()));
  if (!pipe_) return Fail(failure, "CreateNamedPipe", GetLastError());
  buffer_.resize(max_message);
  return true;
}

bool PipeServer::WaitConnected(DWORD timeout_ms, HANDLE give_up, PipeFailure* failure, DWORD expected_pid) {
  if (connected_) return true;
  if (!pipe_) return Fail(failure, "ConnectNamedPipe", ERROR_INVALID_HANDLE);
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    OVERLAPPED ov = {};
    ov.hEvent = read_event_.get();
    if (!ConnectNamedPipe(pipe_.get(), &ov)) {
      const DWORD error = GetLastError();
      if (error == ERROR_IO_PENDING) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = timeout_ms == INFINITE ? INFINITE : now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        HANDLE waits[2] = {read_event_.get(), give_up};
        const DWORD r = WaitForMultipleObjects(give_up != nullptr ? 2 : 1, waits, FALSE, left);
        DWORD ignored = 0;
        if (r != WAIT_OBJECT_0) {
          CancelIoEx(pipe_.get(), &ov);
          GetOverlappedResult(pipe_.get(), &ov, &ignored, TRUE);
          return Fail(failure, r == WAIT_OBJECT_0 + 1 ? "engine exited before connecting" : "ConnectNamedPipe",
                      r == WAIT_TIMEOUT ? static_cast<DWORD>(WAIT_TIMEOUT) : 0);
        }
        if (!GetOverlappedResult(pipe_.get(), &ov, &ignored, FALSE))
          return Fail(failure, "ConnectNamedPipe", GetLastError());
      } else if (error != ERROR_PIPE_CONNECTED) {
        return Fail(failure, "ConnectNamedPipe", error);
      }
    }
    if (expected_pid == 0) break;
    ULONG client = 0;
    if (!GetNamedPipeClientProcessId(pipe_.get(), &client)) return Fail(failure, "GetNamedPipeClientProcessId", GetLastError());
    if (client == expected_pid) break;
    // Another process of this user opened the pipe first: it gets a broken pipe, and the
    // engine, which retries a busy pipe, gets its turn.
    ++refused_;
    DisconnectNamedPipe(pipe_.get());
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
