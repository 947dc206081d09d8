#include "host/base/command_line.h"

#include <windows.h>

#include "host/portable/switch_value.h"

namespace nimo {

std::string GetSwitchValue(const char* name, const std::string& fallback) {
  const char* line = GetCommandLineA();
  if (line == nullptr || name == nullptr) return fallback;
  return SwitchValueIn(line, name, fallback);
}

}  // namespace nimo
