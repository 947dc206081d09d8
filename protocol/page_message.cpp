#include "protocol/page_message.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

namespace nimo {
namespace protocol {

bool IsPageMessage(std::string_view text) { return text.substr(0, kPageTag.size()) == kPageTag; }

bool ParsePageMessage(std::string_view text, PageMessage* out) {
  if (!IsPageMessage(text)) return false;
  std::string_view rest = text.substr(kPageTag.size());
  const std::size_t bar = rest.find('|');
  if (bar == std::string_view::npos) return false;
  PageMessage m;
  m.kind = std::string(rest.substr(0, bar));
  rest = rest.substr(bar + 1);
  std::size_t cut = rest.find('\x01');
  m.name = std::string(rest.substr(0, cut));
  while (cut != std::string_view::npos) {
    rest = rest.substr(cut + 1);
    cut = rest.find('\x01');
    const std::string_view piece = rest.substr(0, cut);
    PageArg arg;
    const bool known = piece.size() >= 2 && piece[0] == '\x02' &&
                       std::string_view("zsbno").find(piece[1]) != std::string_view::npos;
    if (known) {
      arg.tag = piece[1];
      arg.value = std::string(piece.substr(2));
    } else {
      arg.tag = '?';
      arg.value = std::string(piece);
      m.well_formed = false;
    }
    m.args.push_back(std::move(arg));
  }
  *out = std::move(m);
  return true;
}

std::string EncodePageMessage(std::string_view kind, std::string_view name, const std::vector<PageArg>& args) {
  std::string s(kPageTag);
  std::size_t size = s.size() + kind.size() + 1 + name.size();
  for (const PageArg& a : args) size += 3 + a.value.size();
  s.reserve(size);
  s.append(kind.data(), kind.size());
  s += '|';
  s.append(name.data(), name.size());
  for (const PageArg& a : args) {
    s += '\x01';
    s += '\x02';
    s += a.tag;
    s += a.value;
  }
  return s;
}

std::string ScriptNumberText(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d < 0 ? "-Infinity" : "Infinity";
  if (d == 0) return "0";
  std::string sign = d < 0 ? "-" : "";
  const double a = std::fabs(d);
  char buf[40];
  // The shortest form that reads back exactly, as "d[.ddd]e[+-]x".
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific);
  const char* e = std::find(buf, r.ptr, 'e');
  std::string digits;
  for (const char* c = buf; c != e; ++c)
    if (*c != '.') digits += *c;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  int exponent = 0;
  const char* exponent_text = e + 1;
  if (exponent_text < r.ptr && *exponent_text == '+') ++exponent_text;
  std::from_chars(exponent_text, r.ptr, exponent);
  const int n = exponent + 1;  // position of the decimal point
  const int k = static_cast<int>(digits.size());
  std::string out;
  if (k <= n && n <= 21) {
    out = digits + std::string(static_cast<std::size_t>(n - k), '0');
  } else if (0 < n && n <= 21) {
    out = digits.substr(0, static_cast<std::size_t>(n)) + "." + digits.substr(static_cast<std::size_t>(n));
  } else if (-6 < n && n <= 0) {
    out = "0." + std::string(static_cast<std::size_t>(-n), '0') + digits;
  } else {
    out = digits.substr(0, 1);
    if (k > 1) out += "." + digits.substr(1);
    out += (n - 1 >= 0) ? "e+" : "e-";
    out += std::to_string(n - 1 >= 0 ? n - 1 : 1 - n);
  }
  return sign + out;
}

double PageArg::AsNumber() const {
  double d = 0;
  if (tag != 'n' || value.empty()) return 0.0;
  const char* first = value.data();
  if (*first == '+') ++first;  // a sign the standard reader does not take
  if (std::from_chars(first, value.data() + value.size(), d).ec != std::errc()) return 0.0;
  return d;
}

PageArg PageArg::Number(double d) {
  if (!std::isfinite(d)) return Null();
  return PageArg{'n', ScriptNumberText(d)};
}

}  // namespace protocol
}  // namespace nimo
