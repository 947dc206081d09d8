#include "client/portable/start_failure.h"

#include <cstdio>

namespace nimo {
namespace client {

std::string EngineExitMeaning(long long exit_code) {
  switch (static_cast<std::uint32_t>(exit_code)) {
    case 1:
      return "the engine library dezor2.dll did not load (it is not beside nimo-webengine.exe, nor in libs\\ "
             "or ..\\libs\\ next to it, or a DLL it needs is missing), or it has no cef_execute_process";
    case 2:
      return "the engine library lacks the browser process's entry points (a library of another revision?)";
    case 3:
      return "the engine did not initialise (check the resources and locales folders, and that no other "
             "engine uses the same cache folder)";
    case 0xC0000135u:
      return "a DLL the executable needs was not found";
    case 0xC0000005u:
      return "the engine crashed (access violation)";
    case 0xC0000409u:
      return "the engine stopped itself on a fatal error";
    default:
      return std::string();
  }
}

std::vector<std::string> LastLines(const std::string& text, std::size_t count) {
  std::vector<std::string> lines;
  if (text.empty() || count == 0) return lines;
  std::size_t end = text.size();
  if (text[end - 1] == '\n') --end;
  for (;;) {
    const std::size_t cut = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
    const std::size_t begin = cut == std::string::npos ? 0 : cut + 1;
    std::string line = text.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.insert(lines.begin(), std::move(line));
    if (cut == std::string::npos || lines.size() == count) break;
    end = cut;
  }
  return lines;
}

std::string DescribeStartFailure(const StartFailureFacts& facts) {
  std::string text = facts.step + " failed (Win32 error " + std::to_string(facts.code) + ")";
  if (!facts.detail.empty()) text += ": " + facts.detail;
  if (facts.exit_code >= 0) {
    const std::uint32_t code = static_cast<std::uint32_t>(facts.exit_code);
    char number[40];
    if (code > 0xFFFF)
      std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(code));
    else
      std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(code));
    text += std::string("; the engine ended with exit code ") + number;
    const std::string meaning = EngineExitMeaning(facts.exit_code);
    if (!meaning.empty()) text += ": " + meaning;
  }
  if (facts.log_path.empty()) {
    if (!facts.flag_path.empty())
      text += "\n(no engine log: create the empty file " + facts.flag_path + " and start again to get one)";
  } else if (facts.log_tail.empty()) {
    text += "\nthe engine wrote nothing to its log " + facts.log_path;
  } else {
    text += "\nlast lines of the engine's log " + facts.log_path + ":";
    for (const std::string& line : facts.log_tail) text += "\n  " + line;
  }
  return text;
}

}  // namespace client
}  // namespace nimo
