#include "protocol/switches.h"

namespace nimo {

std::string SwitchValueIn(std::string_view command_line, std::string_view name,
                          const std::string& fallback) {
  std::string key;
  key.reserve(name.size() + 1);
  key.append(name.data(), name.size());
  key.push_back('=');

  const std::size_t at = command_line.find(key);
  if (at == std::string_view::npos) return fallback;
  const std::string_view value = command_line.substr(at + key.size());

  if (value.size() >= 2 && value[0] == '"') {
    const std::size_t close = value.find('"', 1);
    if (close != std::string_view::npos) return std::string(value.substr(1, close - 1));
  }
  // Unquoted, or a quote that never closes: the value keeps its leading quote.
  const std::size_t end = value.find(' ');
  return std::string(value.substr(0, end));
}

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
