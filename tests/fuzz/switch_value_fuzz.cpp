// A raw command line and a switch name: the value is the fallback or a piece of the line.
// The same bytes as values to write: a line of written switches reads every value back.
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/switches.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// Three values cut from `bytes` at its thirds, written after an executable path: each one
// that is writable reads back exactly, whatever the others hold; a refused one leaves the
// line as it was.
void CheckWrittenSwitchesReadBack(std::string_view bytes) {
  const char* const names[] = {nimo::kSwitchUrl, nimo::kSwitchCache, nimo::kSwitchPipe};
  const std::size_t third = bytes.size() / 3;
  const std::string_view values[] = {bytes.substr(0, third), bytes.substr(third, third), bytes.substr(2 * third)};
  std::string line = "\"C:\\app dir\\nimo-webengine.exe\" --nimomp-browser";
  bool written[3] = {};
  for (int i = 0; i < 3; ++i) {
    const std::string before = line;
    written[i] = nimo::AppendSwitch(&line, names[i], values[i]);
    FUZZ_CHECK(written[i] == nimo::SwitchValueWritable(values[i]));
    if (!written[i]) FUZZ_CHECK(line == before);
  }
  for (int i = 0; i < 3; ++i) {
    if (written[i]) FUZZ_CHECK(nimo::SwitchValueIn(line, names[i], "\x01") == values[i]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // First byte: length of the name, taken from the front of the rest.
  const std::size_t name_length = data[0] % 32;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string_view name = rest.substr(0, name_length);
  const std::string_view line = rest.substr(name.size());
  const std::string fallback("\x01<absent>\x01");

  CheckWrittenSwitchesReadBack(rest);

  const std::string value = nimo::SwitchValueIn(line, name, fallback);
  const std::string key = std::string(name) + "=";
  const std::size_t at = line.find(key);
  if (at == std::string_view::npos) {
    FUZZ_CHECK(value == fallback);
    return 0;
  }
  const std::string_view after = line.substr(at + key.size());
  // Either a quoted value (then the quotes surround it right after the key) or a plain one.
  const bool quoted = after.size() >= 2 && after[0] == '"' &&
                      after.substr(1, value.size()) == value && after.size() > value.size() + 1 &&
                      after[value.size() + 1] == '"';
  if (quoted) {
    FUZZ_CHECK(value.find('"') == std::string::npos);
  } else {
    FUZZ_CHECK(after.substr(0, value.size()) == value);
    FUZZ_CHECK(value.find(' ') == std::string::npos);
    FUZZ_CHECK(value.size() == after.size() || after[value.size()] == ' ');
  }
  return 0;
}
