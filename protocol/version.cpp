#include "protocol/version.h"

namespace nimo {

std::uint32_t NegotiateProtocolVersion(std::string_view requested) {
  if (requested.empty() || requested.size() > 9) return kProtocolVersion;
  std::uint32_t asked = 0;
  for (const char c : requested) {
    if (c < '0' || c > '9') return kProtocolVersion;
    asked = asked * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (asked <= kProtocolVersion) return kProtocolVersion;
  return asked < kNewestProtocolVersion ? asked : kNewestProtocolVersion;
}

bool ReportAllowed(std::uint16_t type, std::uint32_t version) {
  return type <= kLastVersion2Report || version >= 3;
}

}  // namespace nimo
