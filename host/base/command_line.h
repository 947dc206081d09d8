// Switch values of this process's own command line. Any thread: the text is read with
// GetCommandLineA afresh at every call and nothing is cached.
#pragma once
#include <string>

namespace nimo {

// Value of the "name=value" switch `name` (dashes included, e.g. "--nimomp-pipe"), or
// `fallback` when the switch is absent, the command line is unavailable or `name` is null.
// An empty value is returned empty. Quoting rules: host/portable/switch_value.h.
std::string GetSwitchValue(const char* name, const std::string& fallback);

}  // namespace nimo
