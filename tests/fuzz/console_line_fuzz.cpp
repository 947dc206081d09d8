// One console message: a page message passes whole, anything else becomes a line that
// starts with its level word, carries at most 600 text bytes plus "...", and stays valid
// UTF-8 when the message was.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "bridge/portable/console_line.h"
#include "protocol/page_message.h"
#include "protocol/wire.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool ValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  std::int32_t level;
  std::int32_t line;
  std::memcpy(&level, data, 4);
  std::memcpy(&line, data + 4, 4);
  const std::string_view rest(reinterpret_cast<const char*>(data + 8), size - 8);
  // Message and source are separated by the first NUL byte.
  const std::size_t cut = rest.find('\0');
  const std::string_view message = rest.substr(0, cut);
  const std::string_view source = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);

  const nimo::ConsoleReport report = nimo::ConsoleReportFor(level, message, source, line);
  if (nimo::protocol::IsPageMessage(message)) {
    FUZZ_CHECK(report.type == nimo::kMsgPageMessage);
    FUZZ_CHECK(report.text == message);
    return 0;
  }
  FUZZ_CHECK(report.type == nimo::kMsgConsoleLine);
  const std::string word = std::string(nimo::ConsoleLevelWord(level)) + "|";
  FUZZ_CHECK(report.text.compare(0, word.size(), word) == 0);

  const std::string text = nimo::CutConsoleText(message);
  FUZZ_CHECK(text.size() <= nimo::kConsoleTextLimit + 3);
  if (message.size() <= nimo::kConsoleTextLimit) {
    FUZZ_CHECK(text == message);
  } else {
    FUZZ_CHECK(text.size() >= nimo::kConsoleTextLimit - 3 + 3);
    FUZZ_CHECK(text.compare(text.size() - 3, 3, "...") == 0);
    FUZZ_CHECK(message.substr(0, text.size() - 3) == std::string_view(text).substr(0, text.size() - 3));
  }
  if (ValidUtf8(message)) FUZZ_CHECK(ValidUtf8(text));
  FUZZ_CHECK(report.text.compare(word.size(), text.size(), text) == 0);
  if (source.empty()) {
    FUZZ_CHECK(report.text.size() == word.size() + text.size());
  } else {
    const std::string suffix = "  (" + std::string(source) + ":" + std::to_string(line) + ")";
    FUZZ_CHECK(report.text.size() == word.size() + text.size() + suffix.size());
    FUZZ_CHECK(report.text.compare(word.size() + text.size(), suffix.size(), suffix) == 0);
  }
  return 0;
}
