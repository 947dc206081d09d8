// Reading the scripted adapters and failure knobs from the environment.
#include "testbed/gpu/gpu_common.h"

#include <cstdlib>
#include <cstring>

namespace standin {
namespace {

const char kDefaultAdapters[] = "Stand-in Adapter:2048,Stand-in Software Adapter:0:sw";

std::string ReadEnv(const char* name, bool* present) {
  char buffer[2048];
  DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  *present = n > 0 && n < sizeof buffer;
  if (!*present) {
    // An empty value reads as length 0 too; tell it apart from an unset variable.
    SetLastError(0);
    char probe[1];
    DWORD m = GetEnvironmentVariableA(name, probe, 0);
    *present = m == 1 || (m == 0 && GetLastError() != ERROR_ENVVAR_NOT_FOUND);
    return std::string();
  }
  return std::string(buffer, n);
}

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

}  // namespace

std::vector<ScriptedAdapter> ParseAdapterScript(const char* text) {
  std::vector<ScriptedAdapter> out;
  std::string all(text);
  if (all == "none" || all.empty()) return out;
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(',', start);
    if (end == std::string::npos) end = all.size();
    std::string entry = all.substr(start, end - start);
    start = end + 1;
    if (entry.empty()) continue;
    ScriptedAdapter a;
    size_t c1 = entry.find(':');
    std::string name = entry.substr(0, c1);
    if (c1 != std::string::npos) {
      std::string rest = entry.substr(c1 + 1);
      size_t c2 = rest.find(':');
      a.dedicated_bytes = std::strtoull(rest.substr(0, c2).c_str(), nullptr, 10) << 20;
      if (c2 != std::string::npos) a.software = rest.substr(c2 + 1) == "sw";
    }
    a.name = Utf8ToWide(name);
    out.push_back(a);
    if (end == all.size()) break;
  }
  return out;
}

std::vector<ScriptedAdapter> ReadAdapterScript() {
  bool present = false;
  std::string text = ReadEnv("NIMO_STANDIN_GPU_ADAPTERS", &present);
  return ParseAdapterScript(present ? text.c_str() : kDefaultAdapters);
}

bool FailureScripted(const char* knob) {
  bool present = false;
  std::string text = ReadEnv("NIMO_STANDIN_GPU_FAIL", &present);
  size_t len = std::strlen(knob);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    if (end - start == len && text.compare(start, len, knob) == 0) return true;
    start = end + 1;
  }
  return false;
}

std::string WideToUtf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

}  // namespace standin
