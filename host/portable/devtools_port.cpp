#include "host/portable/devtools_port.h"

namespace nimo {

int ParseDevToolsPort(std::string_view text) {
  if (text.empty() || text.size() > 5) return 0;
  int port = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + (c - '0');
  }
  return port >= kDevToolsPortMin && port <= kDevToolsPortMax ? port : 0;
}

}  // namespace nimo
