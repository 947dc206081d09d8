// What one console message of a page becomes for the client: a page message (the text
// whole, when it starts with the page-message tag, protocol/page_message.h) or one formatted console line
// ("<level word>|<text, cut>" plus "  (<source>:<line>)" when there is a source).
// Pure functions; any thread (the console channel calls them on the UI thread).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nimo {

// Console texts longer than this many bytes are cut and get "..." appended.
constexpr std::size_t kConsoleTextLimit = 600;

// "ERROR" for levels 4 and above, "WARN" for 3, "log" below 3 (the engine's log
// severity values).
const char* ConsoleLevelWord(int level);

// The console message text as the line carries it: unchanged up to kConsoleTextLimit
// bytes; a longer one is cut to at most that many bytes and "..." is appended. The cut
// never splits a UTF-8 sequence: when byte kConsoleTextLimit continues a character, the
// cut moves back to that character's first byte, so the line stays valid UTF-8 and at
// most kConsoleTextLimit + 3 bytes.
std::string CutConsoleText(std::string_view text);

// The ConsoleLine text: level word, "|", the cut text, then "  (source:line)" only when
// `source` is not empty (the line in signed decimal).
std::string BuildConsoleLine(int level, std::string_view message, std::string_view source,
                             int line);

// The whole decision for one console message: which report carries it and its text.
struct ConsoleReport {
  std::uint16_t type;  // kMsgPageMessage or kMsgConsoleLine (protocol/wire.h)
  std::string text;
};
ConsoleReport ConsoleReportFor(int level, std::string_view message, std::string_view source,
                               int line);

}  // namespace nimo
