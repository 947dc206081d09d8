#include "base/command_line.h"

#include <windows.h>

#include <cwchar>

#include "base/wide_text.h"
#include "protocol/switches.h"

namespace nimo {

std::string CommandLineText() {
  const wchar_t* line = GetCommandLineW();
  if (line == nullptr) return std::string();
  return Utf8FromWide(line, wcslen(line));
}

std::string GetSwitchValue(const char* name, const std::string& fallback) {
  if (GetCommandLineW() == nullptr || name == nullptr) return fallback;
  return SwitchValueIn(CommandLineText(), name, fallback);
}

}  // namespace nimo
