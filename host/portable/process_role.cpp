#include "host/portable/process_role.h"

#include <cstring>

#include "protocol/switches.h"

namespace nimo {

ProcessRole SelectProcessRole(int execute_result, const char* command_line) {
  if (execute_result >= 0) return ProcessRole::kEngineSubprocess;
  if (command_line == nullptr || std::strstr(command_line, kSwitchBrowser) == nullptr) {
    return ProcessRole::kNone;
  }
  return ProcessRole::kBrowser;
}

}  // namespace nimo
