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
  const BOOL found = GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      static_cast<LPCSTR>(record->ExceptionAddress), &module);
  if (found && module != nullptr) {
    char path[MAX_PATH];
    std::strcpy(path, "?");
    // A path that cannot be read leaves "?"; a truncated one is still terminated.
    if (GetModuleFileNameA(module, path, MAX_PATH) == 0) std::strcpy(path, "?");
    path[MAX_PATH - 1] = '\0';
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
