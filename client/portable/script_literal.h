// Values a program hands to a page, and the script that raises a page event with them.
// Every value becomes a script literal in which no data can end the literal early:
// strings are written with every quote, backslash, control character, line or paragraph
// separator escaped, and bytes that are not UTF-8 replaced, so hostile text reaches the
// page as the same string and never as code.
//
// Pure; any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace nimo {
namespace client {

class ScriptValue {
 public:
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };

  ScriptValue() = default;  // null
  ScriptValue(std::nullptr_t) {}
  ScriptValue(bool b) : kind_(Kind::kBool), number_(b ? 1 : 0) {}
  template <typename T, typename std::enable_if<std::is_arithmetic<T>::value && !std::is_same<T, bool>::value,
                                                int>::type = 0>
  ScriptValue(T n) : kind_(Kind::kNumber), number_(static_cast<double>(n)) {}
  ScriptValue(const char* s) : kind_(Kind::kString), text_(s != nullptr ? s : "") {}
  ScriptValue(std::string_view s) : kind_(Kind::kString), text_(s) {}
  ScriptValue(const std::string& s) : kind_(Kind::kString), text_(s) {}

  static ScriptValue Array(std::vector<ScriptValue> items);
  // Keys in the given order; a repeated key is written twice and the page keeps the last.
  static ScriptValue Object(std::vector<std::pair<std::string, ScriptValue>> members);

  Kind kind() const { return kind_; }

  // The literal: null, true/false, a number (NaN and the infinities become null, as the
  // page bridge does), a double-quoted string, [..] or {..} (keys written ["key"]:, so
  // even "__proto__" is an own key).
  void AppendLiteral(std::string* out) const;

 private:
  Kind kind_ = Kind::kNull;
  double number_ = 0;
  std::string text_;
  std::vector<ScriptValue> items_;
  std::vector<std::string> keys_;  // kObject: one per item
};

// `text` as a double-quoted script string literal (UTF-8 in; invalid sequences, lone
// surrogates included, become U+FFFD).
std::string ScriptStringLiteral(std::string_view text);

// The script that raises page event `name` with `args`:
//   window.__mpEmit&&window.__mpEmit("name",[arg,...]);
std::string EmitScript(std::string_view name, const std::vector<ScriptValue>& args);

}  // namespace client
}  // namespace nimo
