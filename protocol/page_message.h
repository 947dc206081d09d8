// The page-message text: what a page sends through window.mp, carried whole as the text of
// a PageMessage report.
//
//   "NIMOMP|" kind "|" name, then per argument U+0001 U+0002 tag value
//
// with tag 'z' null, 's' string, 'b' boolean ("1"/"0"), 'n' number (its standard script
// text), 'o' JSON text. Nothing is escaped: a name containing U+0001 splits early, which is
// how every reader must read it. The page shim (bridge/page_shim.js) writes the same text in
// script; the engine writes it itself for calls that reach it natively (bridge/page_invoke).
//
// Pure functions and plain data; any thread.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace nimo {
namespace protocol {

constexpr std::string_view kPageTag = "NIMOMP|";

// Whether `text` begins with the exact, case-sensitive tag: a console message that does is
// a page message and goes to the client whole.
bool IsPageMessage(std::string_view text);

struct PageArg {
  char tag = 'z';     // 'z' null, 's' string, 'b' boolean, 'n' number, 'o' JSON text
  std::string value;  // the value text as written; empty for 'z'

  static PageArg Null() { return PageArg{'z', std::string()}; }
  static PageArg String(std::string_view s) { return PageArg{'s', std::string(s)}; }
  static PageArg Bool(bool b) { return PageArg{'b', b ? "1" : "0"}; }
  static PageArg Number(double d);  // NaN and the infinities become Null, as in the page
  static PageArg Json(std::string_view json) { return PageArg{'o', std::string(json)}; }

  bool AsBool() const { return tag == 'b' && value == "1"; }
  // The number the text reads as, whatever the program's locale; 0 for anything else.
  double AsNumber() const;
};

struct PageMessage {
  std::string kind;  // "trigger", "invoke" or "callRemote"
  std::string name;
  std::vector<PageArg> args;
  // False when some argument did not start with U+0002 and a known tag letter; such an
  // argument is kept with tag '?' and its raw text.
  bool well_formed = true;
};

// False (and `out` untouched) unless `text` starts with the tag and has a "|" after the kind.
bool ParsePageMessage(std::string_view text, PageMessage* out);

// The text the page writes for kind(name, args...); the exact inverse of ParsePageMessage.
std::string EncodePageMessage(std::string_view kind, std::string_view name, const std::vector<PageArg>& args);

// A number's standard script text (shortest digits that read back exactly; exponent form
// from 1e21 up and below 1e-6), so client code can build the same texts a page writes.
// Independent of the program's locale: a decimal comma never appears.
std::string ScriptNumberText(double d);

}  // namespace protocol
}  // namespace nimo
