#include "bridge/portable/console_line.h"

#include <cstdio>

#include "protocol/page_message.h"
#include "protocol/wire.h"

namespace nimo {

const char* ConsoleLevelWord(int level) {
  if (level >= 4) return "ERROR";
  if (level == 3) return "WARN";
  return "log";
}

std::string CutConsoleText(std::string_view text) {
  if (text.size() <= kConsoleTextLimit) return std::string(text);
  std::size_t cut = kConsoleTextLimit;
  // Back off over continuation bytes (10xxxxxx) to the first byte of the split character;
  // a UTF-8 character has at most three of them.
  for (int i = 0; i < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; ++i) {
    --cut;
  }
  if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) cut = kConsoleTextLimit;  // not UTF-8
  std::string out(text.substr(0, cut));
  out += "...";
  return out;
}

std::string BuildConsoleLine(int level, std::string_view message, std::string_view source,
                             int line) {
  std::string out = ConsoleLevelWord(level);
  out += '|';
  out += CutConsoleText(message);
  if (!source.empty()) {
    char number[16];
    std::snprintf(number, sizeof(number), "%d", line);
    out += "  (";
    out.append(source.data(), source.size());
    out += ':';
    out += number;
    out += ')';
  }
  return out;
}

ConsoleReport ConsoleReportFor(int level, std::string_view message, std::string_view source,
                               int line) {
  if (protocol::IsPageMessage(message)) return {kMsgPageMessage, std::string(message)};
  return {kMsgConsoleLine, BuildConsoleLine(level, message, source, line)};
}

}  // namespace nimo
