#include "diag/portable/crash_line.h"

#include <cstdio>

namespace nimo {

const char* FormatCrashLineInModule(char* out, uint32_t code, const char* module_path,
                                    uint64_t offset) {
  std::snprintf(out, kCrashLineInModuleSize, "[nimo-webengine][CRASH] code=0x%08lX at %s+0x%llX\n",
                static_cast<unsigned long>(code), module_path != nullptr ? module_path : "?",
                static_cast<unsigned long long>(offset));
  return out;
}

const char* FormatCrashLineNoModule(char* out, uint32_t code, uint64_t address) {
  // Spelled out rather than %p so the text is the same whichever C runtime formats it.
  std::snprintf(out, kCrashLineNoModuleSize, "[nimo-webengine][CRASH] code=0x%08lX at %016llX\n",
                static_cast<unsigned long>(code), static_cast<unsigned long long>(address));
  return out;
}

}  // namespace nimo
