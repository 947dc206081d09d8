#include "tests/support/child_process.h"

#include <cctype>
#include <cstdio>

#include "tests/support/start_retrying.h"

namespace nimo_test {

namespace {

std::string OwnPath() {
  char exe[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
  if (n == 0 || n >= sizeof exe) return std::string();
  return std::string(exe, n);
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = dir + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  RemoveDirectoryA(dir.c_str());
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (process_) {
    if (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 5000);
  }
  if (!sandbox_.empty()) RemoveTree(sandbox_);
}

bool ChildProcess::Start(const std::string& filter, const std::vector<std::pair<std::string, std::string>>& env) {
  return Launch(OwnPath(), filter, env);
}

bool ChildProcess::StartInSandbox(const std::string& filter,
                                  const std::vector<std::pair<std::string, std::string>>& env) {
  const std::string own = OwnPath();
  if (own.empty()) return false;
  char temp[MAX_PATH];
  DWORD n = GetTempPathA(sizeof temp, temp);
  if (n == 0 || n >= sizeof temp) return false;
  static LONG counter = 0;
  char name[64];
  std::snprintf(name, sizeof name, "nimo-child-%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
  sandbox_ = std::string(temp) + name;
  RemoveTree(sandbox_);
  if (!CreateDirectoryA(sandbox_.c_str(), nullptr)) return false;
  const std::string from = DirectoryOf(own);
  const std::string exe_name = own.substr(from.size() + 1);
  for (const char* file : {exe_name.c_str(), "d3d11.dll", "dxgi.dll"}) {
    if (!CopyFileA((from + "\\" + file).c_str(), (sandbox_ + "\\" + file).c_str(), FALSE)) return false;
  }
  const nimo::UniqueFileHandle flag(CreateFileA((sandbox_ + "\\ZUNT_DEBUG").c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!flag) return false;
  return Launch(sandbox_ + "\\" + exe_name, filter, env);
}

std::string ChildProcess::ReadSandboxFile(const char* name) const {
  std::string text;
  if (sandbox_.empty()) return text;
  FILE* f = std::fopen((sandbox_ + "\\" + name).c_str(), "rb");
  if (!f) return text;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
  std::fclose(f);
  return text;
}

bool ChildProcess::Launch(const std::string& exe, const std::string& filter,
                          const std::vector<std::pair<std::string, std::string>>& env) {
  if (exe.empty()) return false;

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  nimo::UniqueHandle in_read, out_write;  // the child's ends, closed here once it has them
  if (!CreatePipe(in_read.receive(), stdin_write_.receive(), &inherit, 0)) return false;
  if (!CreatePipe(stdout_read_.receive(), out_write.receive(), &inherit, 0)) return false;
  SetHandleInformation(stdin_write_.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(stdout_read_.get(), HANDLE_FLAG_INHERIT, 0);

  // The child's environment block: ours plus the given variables, later ones winning.
  for (const auto& kv : env) SetEnvironmentVariableA(kv.first.c_str(), kv.second.c_str());
  std::string command = "\"" + std::string(exe) + "\" --gtest_filter=" + filter;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in_read.get();
  si.hStdOutput = out_write.get();
  si.hStdError = out_write.get();
  PROCESS_INFORMATION pi = {};
  const bool ok = nimo_test::StartRetrying([&] {
    return CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi) != FALSE;
  });
  for (const auto& kv : env) SetEnvironmentVariableA(kv.first.c_str(), nullptr);
  if (!ok) return false;
  const nimo::UniqueHandle thread(pi.hThread);
  process_.reset(pi.hProcess);
  pid_ = pi.dwProcessId;
  return true;
}

bool ChildProcess::SendLine(const std::string& line) {
  std::string text = line + "\n";
  DWORD written = 0;
  return WriteFile(stdin_write_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

bool ChildProcess::Finish(DWORD timeout_ms, DWORD* exit_code, std::string* output) {
  stdin_write_.reset();
  // Read until the child closes its end; a reading thread would be needed only for
  // outputs larger than the pipe buffer, which these children do not write.
  std::string text;
  DWORD start = GetTickCount();
  for (;;) {
    DWORD avail = 0;
    if (!PeekNamedPipe(stdout_read_.get(), nullptr, 0, nullptr, &avail, nullptr)) break;  // closed
    if (avail > 0) {
      char buffer[4096];
      DWORD got = 0;
      if (!ReadFile(stdout_read_.get(), buffer, avail < sizeof buffer ? avail : sizeof buffer, &got, nullptr)) break;
      text.append(buffer, got);
      continue;
    }
    if (WaitForSingleObject(process_.get(), 10) == WAIT_OBJECT_0) {
      // Drain what is left after the exit.
      while (PeekNamedPipe(stdout_read_.get(), nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(stdout_read_.get(), buffer, avail < sizeof buffer ? avail : sizeof buffer, &got, nullptr)) break;
        text.append(buffer, got);
      }
      break;
    }
    if (GetTickCount() - start > timeout_ms) {
      TerminateProcess(process_.get(), 1);
      if (output) *output = text;
      return false;
    }
  }
  WaitForSingleObject(process_.get(), timeout_ms);
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
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

std::string WithoutLineNumbers(std::string log) {
  for (std::size_t at = log.find(".cpp:"); at != std::string::npos; at = log.find(".cpp:", at + 4)) {
    std::size_t end = at + 5;
    while (end < log.size() && log[end] >= '0' && log[end] <= '9') ++end;
    log.erase(at + 4, end - (at + 4));
  }
  return log;
}

std::string LogText(const std::string& raw) {
  std::string text;
  text.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text += raw[i];
  }
  // A "%p" value: 16 hexadecimal digits after '=' or "clientHandle=".
  for (size_t at = text.find('='); at != std::string::npos; at = text.find('=', at + 1)) {
    size_t digits = 0;
    while (at + 1 + digits < text.size() && isxdigit(static_cast<unsigned char>(text[at + 1 + digits]))) ++digits;
    if (digits != 16) continue;
    for (size_t k = 0; k < 16; ++k) text[at + 1 + k] = static_cast<char>(tolower(static_cast<unsigned char>(text[at + 1 + k])));
  }
  return text;
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
