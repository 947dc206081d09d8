// The switch-value rule: finds the value of one "name=value" switch in a raw command-line
// text without tokenising the rest of the line. Pure function; any thread.
#pragma once
#include <string>
#include <string_view>

namespace nimo {

// Value of the switch `name` (dashes included, e.g. "--nimomp-pipe") in `command_line`,
// or `fallback` when "<name>=" does not occur anywhere in the text.
//
// - The first occurrence of "<name>=" wins; it is a plain case-sensitive substring search,
//   so the key also counts when it sits inside another argument.
// - A value that starts with '"' followed by at least one more character and a closing '"'
//   is the text between the quotes (spaces kept, possibly empty).
// - Any other value runs to the next ' ' or the end of the text; an unclosed or trailing
//   quote therefore stays at the start of the value. Tabs and backslashes are ordinary.
// - An empty value ("<name>=" then a space or the end) is returned empty, not as fallback.
std::string SwitchValueIn(std::string_view command_line, std::string_view name,
                          const std::string& fallback);

}  // namespace nimo
