#include "tests/support/child_process.h"

#include <cstdio>

namespace nimo_test {

ChildProcess::~ChildProcess() {
  if (process_) {
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 1);
    CloseHandle(process_);
  }
  if (stdin_write_) CloseHandle(stdin_write_);
  if (stdout_read_) CloseHandle(stdout_read_);
}

bool ChildProcess::Start(const std::string& filter, const std::vector<std::pair<std::string, std::string>>& env) {
  char exe[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
  if (n == 0 || n >= sizeof exe) return false;

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE in_read = nullptr, out_write = nullptr;
  if (!CreatePipe(&in_read, &stdin_write_, &inherit, 0)) return false;
  if (!CreatePipe(&stdout_read_, &out_write, &inherit, 0)) return false;
  SetHandleInformation(stdin_write_, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(stdout_read_, HANDLE_FLAG_INHERIT, 0);

  // The child's environment block: ours plus the given variables, later ones winning.
  for (const auto& kv : env) SetEnvironmentVariableA(kv.first.c_str(), kv.second.c_str());
  std::string command = "\"" + std::string(exe) + "\" --gtest_filter=" + filter;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in_read;
  si.hStdOutput = out_write;
  si.hStdError = out_write;
  PROCESS_INFORMATION pi = {};
  BOOL ok = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  for (const auto& kv : env) SetEnvironmentVariableA(kv.first.c_str(), nullptr);
  CloseHandle(in_read);
  CloseHandle(out_write);
  if (!ok) return false;
  CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  pid_ = pi.dwProcessId;
  return true;
}

bool ChildProcess::SendLine(const std::string& line) {
  std::string text = line + "\n";
  DWORD written = 0;
  return WriteFile(stdin_write_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

bool ChildProcess::Finish(DWORD timeout_ms, DWORD* exit_code, std::string* output) {
  CloseHandle(stdin_write_);
  stdin_write_ = nullptr;
  // Read until the child closes its end; a reading thread would be needed only for
  // outputs larger than the pipe buffer, which these children do not write.
  std::string text;
  DWORD start = GetTickCount();
  for (;;) {
    DWORD avail = 0;
    if (!PeekNamedPipe(stdout_read_, nullptr, 0, nullptr, &avail, nullptr)) break;  // closed
    if (avail > 0) {
      char buffer[4096];
      DWORD got = 0;
      if (!ReadFile(stdout_read_, buffer, avail < sizeof buffer ? avail : sizeof buffer, &got, nullptr)) break;
      text.append(buffer, got);
      continue;
    }
    if (WaitForSingleObject(process_, 10) == WAIT_OBJECT_0) {
      // Drain what is left after the exit.
      while (PeekNamedPipe(stdout_read_, nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(stdout_read_, buffer, avail < sizeof buffer ? avail : sizeof buffer, &got, nullptr)) break;
        text.append(buffer, got);
      }
      break;
    }
    if (GetTickCount() - start > timeout_ms) {
      TerminateProcess(process_, 1);
      if (output) *output = text;
      return false;
    }
  }
  WaitForSingleObject(process_, timeout_ms);
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  if (exit_code) *exit_code = code;
  if (output) *output = text;
  return true;
}

std::string ReadStdinLine() {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  std::string line;
  char c;
  DWORD got = 0;
  while (ReadFile(in, &c, 1, &got, nullptr) && got == 1) {
    if (c == '\n') break;
    if (c != '\r') line += c;
  }
  return line;
}

std::string FindOutputValue(const std::string& output, const std::string& key) {
  std::string needle = key + "=";
  size_t at = 0;
  while ((at = output.find(needle, at)) != std::string::npos) {
    if (at == 0 || output[at - 1] == '\n') {
      size_t end = output.find_first_of("\r\n", at);
      return output.substr(at + needle.size(), end == std::string::npos ? std::string::npos : end - at - needle.size());
    }
    at += needle.size();
  }
  return std::string();
}

}  // namespace nimo_test
