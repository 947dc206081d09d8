// Origins of pages and the list of origins that may talk to the game: which documents get
// window.mp when the client names origins (--nimomp-bridge-origins), and the origin a
// page's call carries.
//
// Pure functions and plain data; any thread.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace nimo {

// "scheme://host[:port]" of a URL, scheme and host in lower case, the scheme's default port
// left out (80 for http and ws, 443 for https and wss), user name and password dropped;
// "file://" for a file URL; "null" for a URL without a host (data:, about:, javascript:,
// anything unparsable), as a page's location.origin shows it.
std::string OriginOf(std::string_view url);

// The origins a client named, or none named at all (then every origin may talk).
struct OriginFilter {
  bool active = false;               // the client gave a list
  std::vector<std::string> origins;  // normalised with OriginOf; never "null"
};

// Reads the switch value "<origin>[,<origin>...]": each entry trimmed of spaces and
// normalised (a trailing "/" or path is dropped; "file://" stands for every local file);
// entries without a host are left out.
// An empty value is no filter; a value whose every entry was left out lets no origin in.
OriginFilter ParseOriginFilter(std::string_view value);

// Whether a document of `origin` may talk to the game.
bool OriginAllowed(const OriginFilter& filter, std::string_view origin);

}  // namespace nimo
