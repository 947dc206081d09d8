// The DevTools port the client asked for (--nimomp-devtools-port). Pure; any thread.
#pragma once
#include <string_view>

namespace nimo {

constexpr int kDevToolsPortMin = 1024;
constexpr int kDevToolsPortMax = 65535;

// The port written in decimal digits only, 1024..65535; 0 (DevTools off) for anything else.
int ParseDevToolsPort(std::string_view text);

}  // namespace nimo
