#include "protocol/switches.h"

namespace nimo {

bool SwitchValueWritable(std::string_view value) {
  for (const char c : value) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (c == '"' || b < 0x20 || b == 0x7F) return false;
  }
  if (!value.empty() && value.back() == '\\') return false;
  return value.find(kSwitchPrefix) == std::string_view::npos;
}

bool AppendSwitch(std::string* command_line, std::string_view name, std::string_view value) {
  if (command_line == nullptr || !SwitchValueWritable(value)) return false;
  command_line->reserve(command_line->size() + name.size() + value.size() + 4);
  *command_line += ' ';
  command_line->append(name.data(), name.size());
  *command_line += "=\"";
  command_line->append(value.data(), value.size());
  *command_line += '"';
  return true;
}

}  // namespace nimo
