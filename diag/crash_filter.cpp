#include "diag/crash_filter.h"

#include <cstring>

#include "diag/log.h"
#include "diag/portable/crash_line.h"

namespace nimo {
namespace {

// Fills `out` (kCrashLineInModuleSize bytes) with the line for `record`; stack only.
void FormatCrash(const EXCEPTION_RECORD* record, char* out) {
  const uint32_t code = static_cast<uint32_t>(record->ExceptionCode);
  HMODULE module = nullptr;
  const BOOL found = GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      static_cast<LPCWSTR>(record->ExceptionAddress), &module);
  if (found && module != nullptr) {
    // Read as UTF-16 and written as UTF-8, so a folder name of any script shows as it is;
    // the line itself has room for MAX_PATH characters at most and cuts the rest.
    wchar_t wide[MAX_PATH];
    char path[MAX_PATH * 3];
    std::strcpy(path, "?");
    const DWORD n = GetModuleFileNameW(module, wide, MAX_PATH);
    if (n > 0) {
      const int units = static_cast<int>(n < MAX_PATH ? n : MAX_PATH - 1);
      const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, units, path, sizeof path - 1, nullptr, nullptr);
      path[bytes > 0 ? bytes : 0] = '\0';
      if (bytes <= 0) std::strcpy(path, "?");
    }
    const uint64_t offset = reinterpret_cast<uintptr_t>(record->ExceptionAddress) -
                            reinterpret_cast<uintptr_t>(module);
    FormatCrashLineInModule(out, code, path, offset);
  } else {
    FormatCrashLineNoModule(out, code, reinterpret_cast<uintptr_t>(record->ExceptionAddress));
  }
}

}  // namespace

std::string DescribeCrash(const EXCEPTION_POINTERS* info) {
  if (info == nullptr || info->ExceptionRecord == nullptr) return std::string();
  char line[kCrashLineInModuleSize];
  FormatCrash(info->ExceptionRecord, line);
  return line;
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info) {
  if (info == nullptr || info->ExceptionRecord == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  char line[kCrashLineInModuleSize];
  FormatCrash(info->ExceptionRecord, line);
  WriteLog("%s", line);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace nimo
