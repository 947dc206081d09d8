#include "tests/support/fake_client.h"

#include <cstdio>
#include <cstring>

#include "protocol/wire.h"
#include "tests/support/start_retrying.h"

namespace nimo {
namespace test {

namespace {

std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return bytes.size() >= offset + 4 ? ReadU32(bytes.data() + offset) : 0;
}

Report ParseReport(const std::vector<std::uint8_t>& message) {
  Report report;
  report.raw = message;
  if (message.size() >= kFrameHeaderSize) {
    report.type = ReadU16(message.data() + 4);
    report.payload.assign(message.begin() + kFrameHeaderSize, message.end());
  }
  return report;
}

// "NAME=value" -> "NAME=" (upper-cased: the environment's names are case-insensitive).
std::string EntryKey(const std::string& entry) {
  std::string key = entry.substr(0, entry.find('=') + 1);
  for (char& c : key) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return key;
}

}  // namespace

std::uint32_t Report::surface_id() const { return U32At(payload, 0); }

std::uint32_t Report::param(int index) const {
  return U32At(payload, static_cast<std::size_t>(index) * 4);
}

std::string Report::text() const {
  if (payload.size() <= kSurfaceHeadSize) return std::string();
  return std::string(reinterpret_cast<const char*>(payload.data()) + kSurfaceHeadSize,
                     payload.size() - kSurfaceHeadSize);
}

long EngineProcess::WaitExit(DWORD timeout_ms) {
  if (!process) return -1;
  if (WaitForSingleObject(process.get(), timeout_ms) != WAIT_OBJECT_0) {
    Kill();
    return -1;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  return static_cast<long>(code);
}

bool EngineProcess::Running() const {
  return process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

void EngineProcess::Kill() {
  if (!process) return;
  TerminateProcess(process.get(), 0xDEAD);
  WaitForSingleObject(process.get(), 5000);
}

EngineProcess::~EngineProcess() {
  if (Running()) Kill();
}

FakeClient::FakeClient(DWORD buffer_size) {
  client::PipeFailure failure;
  pipe_.Create("nimo-test", buffer_size, kMaxFrameSize + 4096, &failure);
}

FakeClient::~FakeClient() = default;

std::string FakeClient::PipeSwitches() const {
  char pid[32];
  std::snprintf(pid, sizeof pid, "%lu", static_cast<unsigned long>(GetCurrentProcessId()));
  return "--nimomp-pipe=" + pipe_.name() + " --nimomp-clientpid=" + pid;
}

bool FakeClient::Launch(const std::string& exe, const std::string& extra_args,
                        const std::vector<std::string>& environment, EngineProcess* out) {
  // The child's environment: the given entries, then ours without the names they set.
  std::vector<char> block;
  std::vector<std::string> keys;
  for (const std::string& entry : environment) {
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back('\0');
    keys.push_back(EntryKey(entry));
  }
  if (LPCH current = GetEnvironmentStringsA()) {
    for (const char* p = current; *p; p += std::strlen(p) + 1) {
      const std::string entry(p);
      bool overridden = false;
      for (const std::string& key : keys) overridden = overridden || EntryKey(entry) == key;
      if (!overridden) {
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back('\0');
      }
    }
    FreeEnvironmentStringsA(current);
  }
  block.push_back('\0');

  std::string command = "\"" + exe + "\" --nimomp-browser " + PipeSwitches();
  if (!extra_args.empty()) command += " " + extra_args;
  std::vector<char> command_line(command.begin(), command.end());
  command_line.push_back('\0');
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!nimo_test::StartRetrying([&] {
        return CreateProcessA(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, block.data(), nullptr, &si,
                              &pi) != FALSE;
      })) {
    return false;
  }
  UniqueHandle thread(pi.hThread);
  out->process.reset(pi.hProcess);
  out->pid = pi.dwProcessId;
  return true;
}

bool FakeClient::WaitConnected(DWORD timeout_ms) { return pipe_.WaitConnected(timeout_ms, nullptr, nullptr); }

bool FakeClient::Handshake(DWORD timeout_ms, std::uint32_t* engine_pid, std::uint32_t version) {
  if (!WaitConnected(timeout_ms)) return false;
  Report& hello = hello_;
  if (!Read(&hello, timeout_ms)) return false;
  if (hello.type != kMsgHello || hello.payload.size() != kHelloPayloadSize) return false;
  if (DecodeHello(hello.payload.data()).version != version) return false;
  if (engine_pid) *engine_pid = DecodeHello(hello.payload.data()).process_id;
  return true;
}

bool FakeClient::SendRaw(const void* bytes, std::size_t size) { return pipe_.Write(bytes, size, 10000); }

bool FakeClient::SendFrame(std::uint16_t type, const std::vector<std::uint8_t>& payload) {
  std::vector<std::uint8_t> frame(kFrameHeaderSize + payload.size());
  WriteFrameHeader(frame.data(), type, static_cast<std::uint32_t>(payload.size()));
  if (!payload.empty()) std::memcpy(frame.data() + kFrameHeaderSize, payload.data(), payload.size());
  return SendRaw(frame);
}

bool FakeClient::SendSurfaceCommand(std::uint16_t type, std::uint32_t surface_id, std::uint32_t p1,
                                    std::uint32_t p2, std::uint32_t p3, const std::string& text) {
  std::vector<std::uint8_t> payload(kSurfaceHeadSize + text.size());
  EncodeSurfaceHead(SurfaceHead{surface_id, p1, p2, p3}, payload.data());
  if (!text.empty()) std::memcpy(payload.data() + kSurfaceHeadSize, text.data(), text.size());
  return SendFrame(type, payload);
}

bool FakeClient::SendInput(std::uint32_t surface_id, std::uint32_t message, std::uint64_t wparam,
                           std::uint64_t lparam, std::uint32_t modifiers) {
  std::vector<std::uint8_t> payload(kInputRecordSize);
  EncodeInputRecord(InputRecord{surface_id, message, wparam, lparam, modifiers, 0}, payload.data());
  return SendFrame(kMsgInputEvent, payload);
}

bool FakeClient::SendShutdown() { return SendFrame(kMsgShutdown, {}); }

bool FakeClient::Read(Report* out, DWORD timeout_ms) {
  // A read that times out stays pending and is picked up by the next call, so no report
  // is ever lost between two waits.
  std::vector<std::uint8_t> message;
  if (pipe_.Read(&message, timeout_ms) != client::PipeServer::ReadResult::kMessage) return false;
  *out = ParseReport(message);
  return true;
}

bool FakeClient::ReadUntil(std::uint16_t type, Report* out, DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    Report report;
    if (!Read(&report, static_cast<DWORD>(deadline - now))) return false;
    if (report.type == type) {
      *out = std::move(report);
      return true;
    }
    skipped_.push_back(std::move(report));
  }
}

bool FakeClient::WaitClosed(DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  std::vector<std::uint8_t> message;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    switch (pipe_.Read(&message, static_cast<DWORD>(deadline - now))) {
      case client::PipeServer::ReadResult::kClosed:
        return true;  // the engine's end is gone
      case client::PipeServer::ReadResult::kMessage:
        skipped_.push_back(ParseReport(message));
        break;
      case client::PipeServer::ReadResult::kOversized:
        break;
      default:
        return false;
    }
  }
}

void FakeClient::Close() { pipe_.Close(); }

}  // namespace test
}  // namespace nimo
