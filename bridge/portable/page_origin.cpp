#include "bridge/portable/page_origin.h"

#include <cctype>

namespace nimo {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool SchemeChar(char c, bool first) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (std::isalpha(u)) return true;
  return !first && (std::isdigit(u) || c == '+' || c == '-' || c == '.');
}

const char* DefaultPort(const std::string& scheme) {
  if (scheme == "http" || scheme == "ws") return "80";
  if (scheme == "https" || scheme == "wss") return "443";
  return nullptr;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string OriginOf(std::string_view url) {
  const std::size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0) return "null";
  for (std::size_t i = 0; i < colon; ++i) {
    if (!SchemeChar(url[i], i == 0)) return "null";
  }
  const std::string scheme = Lower(url.substr(0, colon));
  if (scheme == "file") return "file://";
  if (url.substr(colon + 1, 2) != "//") return "null";
  std::string_view rest = url.substr(colon + 3);
  rest = rest.substr(0, rest.find_first_of("/?#\\"));
  const std::size_t at = rest.rfind('@');
  if (at != std::string_view::npos) rest.remove_prefix(at + 1);
  std::string_view host = rest;
  std::string_view port;
  // A bracketed IPv6 host keeps its colons.
  const std::size_t close = rest.rfind(']');
  const std::size_t port_colon = rest.rfind(':');
  if (port_colon != std::string_view::npos && (close == std::string_view::npos || port_colon > close)) {
    host = rest.substr(0, port_colon);
    port = rest.substr(port_colon + 1);
  }
  if (host.empty()) return "null";
  for (const char c : port) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return "null";
  }
  while (port.size() > 1 && port.front() == '0') port.remove_prefix(1);
  std::string origin = scheme + "://" + Lower(host);
  const char* default_port = DefaultPort(scheme);
  if (!port.empty() && !(default_port && port == default_port)) {
    origin += ':';
    origin.append(port.data(), port.size());
  }
  return origin;
}

OriginFilter ParseOriginFilter(std::string_view value) {
  OriginFilter filter;
  if (Trim(value).empty()) return filter;
  filter.active = true;
  while (true) {
    const std::size_t comma = value.find(',');
    const std::string_view entry = Trim(value.substr(0, comma));
    if (!entry.empty()) {
      const std::string origin = OriginOf(entry);
      if (origin != "null") filter.origins.push_back(origin);
    }
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return filter;
}

bool OriginAllowed(const OriginFilter& filter, std::string_view origin) {
  if (!filter.active) return true;
  for (const std::string& allowed : filter.origins) {
    if (allowed == origin) return true;
  }
  return false;
}

}  // namespace nimo
