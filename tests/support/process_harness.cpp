#include "tests/support/process_harness.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "base/wide_text.h"
#include "tests/support/start_retrying.h"

namespace nimo {
namespace test {
namespace {

std::atomic<unsigned> sandbox_counter{0};

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string NameOf(const std::string& entry) {
  // Entries like "=C:=C:\dir" keep their leading '=' as part of the name.
  const size_t eq = entry.find('=', 1);
  return eq == std::string::npos ? entry : entry.substr(0, eq);
}

bool Filtered(const std::string& name) {
  const std::string upper = Upper(name);
  return upper.rfind("ZUNT_", 0) == 0 || upper.rfind("NIMO_STANDIN_", 0) == 0;
}

// Paths are UTF-8 in this harness and reach the system through the wide calls, so a
// sandbox may lie in a folder whose name no code page holds.
std::wstring Wide(const std::string& text) { return nimo::WideFromUtf8(text); }

bool RemoveTree(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(path.c_str()) != 0;
  }
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (std::wcscmp(data.cFileName, L".") == 0 || std::wcscmp(data.cFileName, L"..") == 0) continue;
      RemoveTree(path + L"\\" + data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  return RemoveDirectoryW(path.c_str()) != 0;
}

std::vector<wchar_t> EnvironmentBlock(const std::vector<std::string>& entries) {
  std::vector<wchar_t> block;
  for (const std::string& entry : entries) {
    const std::wstring wide = Wide(entry);
    block.insert(block.end(), wide.begin(), wide.end());
    block.push_back(L'\0');
  }
  if (entries.empty()) block.push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

FILE* OpenFile(const std::string& path, const wchar_t* mode) { return _wfopen(Wide(path).c_str(), mode); }

}  // namespace

std::string TestBinDirectory() {
  std::vector<wchar_t> path(32768, L'\0');
  GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  const std::string text = nimo::Utf8FromWide(std::wstring(path.data()));
  const size_t cut = text.find_last_of("\\/");
  return cut == std::string::npos ? "." : text.substr(0, cut);
}

std::vector<std::string> SandboxEnvironment(const std::vector<std::string>& env) {
  std::vector<std::string> entries;
  if (wchar_t* strings = GetEnvironmentStringsW()) {
    for (const wchar_t* p = strings; *p != L'\0'; p += std::wcslen(p) + 1) {
      const std::string entry = nimo::Utf8FromWide(std::wstring(p));
      if (!Filtered(NameOf(entry))) entries.push_back(entry);
    }
    FreeEnvironmentStringsW(strings);
  }
  for (const std::string& change : env) {
    const std::string name = Upper(NameOf(change));
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const std::string& e) { return Upper(NameOf(e)) == name; }),
                  entries.end());
    if (change.find('=', 1) != std::string::npos) entries.push_back(change);
  }
  return entries;
}

SandboxProcess::~SandboxProcess() {
  Kill();
}

bool SandboxProcess::running() const {
  return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

RunResult SandboxProcess::Wait(DWORD timeout_ms) {
  RunResult result;
  if (!process_) return result;
  result.started = true;
  if (WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) {
    result.timed_out = true;
    TerminateProcess(process_.get(), 0xDEAD);
    WaitForSingleObject(process_.get(), 10000);
  }
  GetExitCodeProcess(process_.get(), &result.exit_code);
  return result;
}

void SandboxProcess::Kill() {
  if (!process_) return;
  if (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 0xDEAD);
    WaitForSingleObject(process_.get(), 10000);
  }
  process_.reset();
  pid_ = 0;
}

SandboxLayout StandInGpuLayout() {
  SandboxLayout layout;
  layout.libraries = {"dezor2.dll", "d3d11.dll", "dxgi.dll"};
  return layout;
}

Sandbox::Sandbox(const SandboxLayout& layout) : exe_name_(layout.exe_name) {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  std::string base = nimo::Utf8FromWide(std::wstring(temp));
  while (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.pop_back();
  char name[96];
  std::snprintf(name, sizeof name, "\\nimo-sbx-%lu-%llu-%u",
                static_cast<unsigned long>(GetCurrentProcessId()),
                static_cast<unsigned long long>(GetTickCount64()), sandbox_counter++);
  root_ = base + name + layout.folder_suffix;
  exe_dir_ = root_ + "\\bin";
  if (!CreateDirectoryW(Wide(root_).c_str(), nullptr) || !CreateDirectoryW(Wide(exe_dir_).c_str(), nullptr)) {
    error_ = "cannot create " + exe_dir_;
    return;
  }
  if (!CopyFromBin(layout.program, "", exe_name_)) return;
  for (const std::string& library : layout.libraries) {
    if (!CopyFromBin(library, layout.library_folder)) return;
  }
  if (layout.debug_flag) {
    const bool made = layout.debug_flag_is_directory ? MakeDirectory("ZUNT_DEBUG")
                                                     : WriteFile("ZUNT_DEBUG", "");
    if (!made) error_ = "cannot create the ZUNT_DEBUG flag";
  }
}

Sandbox::~Sandbox() {
  char keep[4] = {};
  if (GetEnvironmentVariableA("NIMO_KEEP_SANDBOX", keep, sizeof keep) == 1 && keep[0] == '1') return;
  if (root_.empty()) return;
  // A process that just ended may still hold its files for a moment.
  for (int attempt = 0; attempt < 40 && !RemoveTree(Wide(root_)); ++attempt) Sleep(50);
}

std::string Sandbox::Path(const std::string& relative) const {
  return relative.empty() ? exe_dir_ : exe_dir_ + "\\" + relative;
}

bool Sandbox::CopyFromBin(const std::string& file, const std::string& folder,
                          const std::string& as_name) {
  const std::string source = TestBinDirectory() + "\\" + file;
  if (!folder.empty() && !MakeDirectory(folder)) return false;
  const std::string target = Path(folder.empty() ? (as_name.empty() ? file : as_name)
                                                 : folder + "\\" + (as_name.empty() ? file : as_name));
  if (!CopyFileW(Wide(source).c_str(), Wide(target).c_str(), FALSE)) {
    error_ = "cannot copy " + source + " to " + target;
    return false;
  }
  return true;
}

bool Sandbox::WriteFile(const std::string& relative, const std::string& content) {
  FILE* file = OpenFile(Path(relative), L"wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  return std::fclose(file) == 0 && ok;
}

bool Sandbox::MakeDirectory(const std::string& relative) {
  const std::string full = Path(relative);
  // Create each level in turn; existing ones are fine.
  for (size_t i = exe_dir_.size() + 1; i <= full.size(); ++i) {
    if (i == full.size() || full[i] == '\\' || full[i] == '/') {
      const std::string level = full.substr(0, i);
      if (!CreateDirectoryW(Wide(level).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
      }
    }
  }
  const DWORD attributes = GetFileAttributesW(Wide(full).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Sandbox::Remove(const std::string& relative) { return RemoveTree(Wide(Path(relative))); }

bool Sandbox::Exists(const std::string& relative) const {
  return GetFileAttributesW(Wide(Path(relative)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Sandbox::ReadFile(const std::string& relative) const {
  std::string content;
  FILE* file = OpenFile(Path(relative), L"rb");
  if (file == nullptr) return content;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, n);
  std::fclose(file);
  return content;
}

std::string Sandbox::ReadLog() const {
  const std::string raw = ReadFile("webengine.log");
  std::string text;
  text.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text.push_back(raw[i]);
  }
  return text;
}

bool Sandbox::Start(const std::string& arguments, const std::vector<std::string>& env,
                    SandboxProcess* out) {
  if (out == nullptr) return false;
  out->Kill();
  std::string command = "\"" + exe_path() + "\"";
  if (!arguments.empty()) command += " " + arguments;
  const std::wstring wide_command = Wide(command);
  std::vector<wchar_t> command_buffer(wide_command.begin(), wide_command.end());
  command_buffer.push_back(L'\0');
  std::vector<wchar_t> block = EnvironmentBlock(SandboxEnvironment(env));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  const std::wstring exe = Wide(exe_path()), dir = Wide(exe_dir_);
  if (!nimo_test::StartRetrying([&] {
        return CreateProcessW(exe.c_str(), command_buffer.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                              block.data(), dir.c_str(), &startup, &info) != FALSE;
      })) {
    return false;
  }
  const UniqueHandle thread(info.hThread);
  out->process_.reset(info.hProcess);
  out->pid_ = info.dwProcessId;
  return true;
}

RunResult Sandbox::Run(const std::string& arguments, const std::vector<std::string>& env,
                       DWORD timeout_ms) {
  SandboxProcess process;
  if (!Start(arguments, env, &process)) return RunResult();
  return process.Wait(timeout_ms);
}

}  // namespace test
}  // namespace nimo
