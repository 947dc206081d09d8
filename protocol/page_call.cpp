#include "protocol/page_call.h"

#include <cstdio>
#include <utility>

#include "protocol/wire.h"

namespace nimo {
namespace {

bool DecodeCallMessage(const std::uint8_t* payload, std::size_t length, CallMessage* out) {
  if (payload == nullptr || out == nullptr || length < kSurfaceHeadSize) return false;
  const SurfaceHead head = DecodeSurfaceHead(payload);
  out->surface_id = head.surface_id;
  out->call_id = head.param1;
  out->status = head.param2;
  out->json.assign(reinterpret_cast<const char*>(payload + kSurfaceHeadSize), length - kSurfaceHeadSize);
  return true;
}

constexpr int kMaxJsonDepth = 256;

std::size_t SkipSpace(std::string_view s, std::size_t at) {
  while (at < s.size() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\n' || s[at] == '\r')) ++at;
  return at;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ReadHex4(std::string_view s, std::size_t at, std::uint32_t* out) {
  if (at + 4 > s.size()) return false;
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const int d = HexDigit(s[at + i]);
    if (d < 0) return false;
    v = v * 16 + static_cast<std::uint32_t>(d);
  }
  *out = v;
  return true;
}

void AppendUtf8(std::string* out, std::uint32_t cp) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::size_t SkipValue(std::string_view s, std::size_t at, int depth) {
  at = SkipSpace(s, at);
  if (at >= s.size() || depth > kMaxJsonDepth) return std::string_view::npos;
  const char c = s[at];
  if (c == '"') {
    std::string ignored;
    return ReadJsonString(s, &at, &ignored) ? at : std::string_view::npos;
  }
  if (c == '{' || c == '[') {
    const char close = c == '{' ? '}' : ']';
    at = SkipSpace(s, at + 1);
    if (at < s.size() && s[at] == close) return at + 1;
    while (true) {
      if (c == '{') {
        std::string key;
        at = SkipSpace(s, at);
        if (!ReadJsonString(s, &at, &key)) return std::string_view::npos;
        at = SkipSpace(s, at);
        if (at >= s.size() || s[at] != ':') return std::string_view::npos;
        ++at;
      }
      at = SkipValue(s, at, depth + 1);
      if (at == std::string_view::npos) return at;
      at = SkipSpace(s, at);
      if (at >= s.size()) return std::string_view::npos;
      if (s[at] == close) return at + 1;
      if (s[at] != ',') return std::string_view::npos;
      ++at;
    }
  }
  for (const char* word : {"true", "false", "null"}) {
    const std::string_view w(word);
    if (s.substr(at, w.size()) == w) return at + w.size();
  }
  // A number: -?digits[.digits][e[+-]digits]
  std::size_t i = at;
  if (i < s.size() && s[i] == '-') ++i;
  const std::size_t digits = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  if (i == digits) return std::string_view::npos;
  if (i < s.size() && s[i] == '.') {
    const std::size_t fraction = ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i == fraction) return std::string_view::npos;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t exponent = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i == exponent) return std::string_view::npos;
  }
  return i;
}

// `"<key>":` at `at`, moving past it.
bool ReadKey(std::string_view s, std::size_t* at, std::string_view key) {
  std::string read;
  std::size_t i = SkipSpace(s, *at);
  if (!ReadJsonString(s, &i, &read) || read != key) return false;
  i = SkipSpace(s, i);
  if (i >= s.size() || s[i] != ':') return false;
  *at = SkipSpace(s, i + 1);
  return true;
}

}  // namespace

bool ReadJsonString(std::string_view s, std::size_t* at, std::string* out) {
  std::size_t i = *at;
  if (i >= s.size() || s[i] != '"') return false;
  std::string text;
  for (++i; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      *at = i + 1;
      *out = std::move(text);
      return true;
    }
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (c != '\\') {
      text += c;
      continue;
    }
    if (++i >= s.size()) return false;
    switch (s[i]) {
      case '"': text += '"'; break;
      case '\\': text += '\\'; break;
      case '/': text += '/'; break;
      case 'b': text += '\b'; break;
      case 'f': text += '\f'; break;
      case 'n': text += '\n'; break;
      case 'r': text += '\r'; break;
      case 't': text += '\t'; break;
      case 'u': {
        std::uint32_t cp = 0;
        if (!ReadHex4(s, i + 1, &cp)) return false;
        i += 4;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
          std::uint32_t low = 0;
          if (i + 2 < s.size() && s[i + 1] == '\\' && s[i + 2] == 'u' && ReadHex4(s, i + 3, &low) && low >= 0xDC00 &&
              low <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 6;
          } else {
            cp = 0xFFFD;
          }
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
          cp = 0xFFFD;
        }
        AppendUtf8(&text, cp);
        break;
      }
      default:
        return false;
    }
  }
  return false;
}

std::size_t SkipJsonValue(std::string_view json, std::size_t at) { return SkipValue(json, at, 0); }

bool ParseCallFields(std::string_view json, CallFields* out) {
  CallFields fields;
  std::size_t at = SkipSpace(json, 0);
  if (at >= json.size() || json[at] != '{') return false;
  ++at;
  if (!ReadKey(json, &at, "name") || !ReadJsonString(json, &at, &fields.name)) return false;
  at = SkipSpace(json, at);
  if (at >= json.size() || json[at] != ',') return false;
  ++at;
  if (!ReadKey(json, &at, "args") || at >= json.size() || json[at] != '[') return false;
  const std::size_t args_end = SkipJsonValue(json, at);
  if (args_end == std::string_view::npos) return false;
  fields.args_json.assign(json.data() + at, args_end - at);
  at = SkipSpace(json, args_end);
  if (at < json.size() && json[at] == ',') {
    ++at;
    if (!ReadKey(json, &at, "origin") || !ReadJsonString(json, &at, &fields.origin)) return false;
    fields.has_origin = true;
    at = SkipSpace(json, at);
  }
  if (at >= json.size() || json[at] != '}') return false;
  if (SkipSpace(json, at + 1) != json.size()) return false;
  *out = std::move(fields);
  return true;
}

std::string JsonStringLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
               (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
      // Line and paragraph separators end a script string in older script engines.
      out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
  return out;
}

std::size_t MaxCallJsonBytes() { return kMaxPayloadSize - kSurfaceHeadSize; }

std::vector<std::uint8_t> EncodePageCall(std::uint32_t surface_id, std::uint32_t call_id, std::string_view json) {
  if (json.size() > MaxCallJsonBytes()) return {};
  return BuildHeadPayload(SurfaceHead{surface_id, call_id, 0, 0}, json.data(), json.size());
}

std::vector<std::uint8_t> EncodeResolveCall(std::uint32_t surface_id, std::uint32_t call_id, std::uint32_t status,
                                            std::string_view json) {
  if (json.size() > MaxCallJsonBytes()) return {};
  return BuildHeadPayload(SurfaceHead{surface_id, call_id, status, 0}, json.data(), json.size());
}

bool DecodePageCall(const std::uint8_t* payload, std::size_t length, CallMessage* out) {
  if (!DecodeCallMessage(payload, length, out)) return false;
  out->status = 0;
  return true;
}

bool DecodeResolveCall(const std::uint8_t* payload, std::size_t length, CallMessage* out) {
  CallMessage m;
  if (!DecodeCallMessage(payload, length, &m)) return false;
  if (m.call_id == 0 || (m.status != kCallResolve && m.status != kCallReject)) return false;
  *out = std::move(m);
  return true;
}

}  // namespace nimo
