// This process's own command line. Any thread: the text is read with GetCommandLineW afresh
// at every call, converted to UTF-8, and nothing is cached.
#pragma once
#include <string>

namespace nimo {

// The whole command line as UTF-8, so a path of any script reaches the log and the engine
// intact. Empty when the system gives none.
std::string CommandLineText();

// Value of the "name=value" switch `name` (dashes included, e.g. "--nimomp-pipe"), or
// `fallback` when the switch is absent, the command line is unavailable or `name` is null.
// An empty value is returned empty. Quoting rules: protocol/switches.h.
std::string GetSwitchValue(const char* name, const std::string& fallback);

}  // namespace nimo
