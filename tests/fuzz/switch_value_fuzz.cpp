// A raw command line and a switch name: the value is the fallback or a piece of the line.
#include <cstdint>
#include <string>
#include <string_view>

#include "host/portable/switch_value.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // First byte: length of the name, taken from the front of the rest.
  const std::size_t name_length = data[0] % 32;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string_view name = rest.substr(0, name_length);
  const std::string_view line = rest.substr(name.size());
  const std::string fallback("\x01<absent>\x01");

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
