#include "client/portable/script_literal.h"

#include <cmath>

#include "protocol/page_message.h"

namespace nimo {
namespace client {

namespace {

// Length of the valid UTF-8 sequence at `s[i]`, or 0 when it is not one (overlong forms,
// surrogates and values above U+10FFFF are not).
std::size_t Utf8Sequence(std::string_view s, std::size_t i, std::uint32_t* code) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b = byte(i);
  std::size_t n = 0;
  std::uint32_t c = 0, min = 0;
  if (b < 0x80) {
    *code = b;
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    n = 2, c = b & 0x1F, min = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3, c = b & 0x0F, min = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4, c = b & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() - i < n) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  *code = c;
  return n;
}

void AppendEscape(std::uint32_t unit, std::string* out) {
  static const char kHex[] = "0123456789abcdef";
  *out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) *out += kHex[(unit >> shift) & 0xF];
}

}  // namespace

std::string ScriptStringLiteral(std::string_view text) {
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t code = 0;
    const std::size_t n = Utf8Sequence(text, i, &code);
    if (n == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (code == '"' || code == '\\') {
      out += '\\';
      out += static_cast<char>(code);
    } else if (code < 0x20 || code == 0x7F || code == 0x2028 || code == 0x2029) {
      // Line terminators end a literal in older script; controls are escaped so the
      // script text stays printable wherever it is logged.
      AppendEscape(code, &out);
    } else {
      out.append(text.data() + i, n);
    }
    i += n;
  }
  out += '"';
  return out;
}

ScriptValue ScriptValue::Array(std::vector<ScriptValue> items) {
  ScriptValue v;
  v.kind_ = Kind::kArray;
  v.items_ = std::move(items);
  return v;
}

ScriptValue ScriptValue::Object(std::vector<std::pair<std::string, ScriptValue>> members) {
  ScriptValue v;
  v.kind_ = Kind::kObject;
  for (auto& m : members) {
    v.keys_.push_back(std::move(m.first));
    v.items_.push_back(std::move(m.second));
  }
  return v;
}

void ScriptValue::AppendLiteral(std::string* out) const {
  switch (kind_) {
    case Kind::kNull:
      *out += "null";
      return;
    case Kind::kBool:
      *out += number_ != 0 ? "true" : "false";
      return;
    case Kind::kNumber:
      *out += std::isfinite(number_) ? protocol::ScriptNumberText(number_) : std::string("null");
      return;
    case Kind::kString:
      *out += ScriptStringLiteral(text_);
      return;
    case Kind::kArray:
    case Kind::kObject: {
      const bool object = kind_ == Kind::kObject;
      *out += object ? '{' : '[';
      for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i != 0) *out += ',';
        if (object) {
          // A computed key: "__proto__" stays a key like any other instead of setting
          // the object's prototype.
          *out += '[';
          *out += ScriptStringLiteral(keys_[i]);
          *out += "]:";
        }
        items_[i].AppendLiteral(out);
      }
      *out += object ? '}' : ']';
      return;
    }
  }
}

std::string EmitScript(std::string_view name, const std::vector<ScriptValue>& args) {
  std::string script = "window.__mpEmit&&window.__mpEmit(";
  script += ScriptStringLiteral(name);
  script += ",";
  ScriptValue::Array(args).AppendLiteral(&script);
  script += ");";
  return script;
}

}  // namespace client
}  // namespace nimo
