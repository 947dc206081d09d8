#include "surfaces/portable/ui_origin.h"

#include <cstring>

namespace nimo {

namespace {

constexpr std::string_view kOrigin = kUiOrigin;

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t extra;
    std::uint32_t code;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      code = c & 0x07;
    } else {
      return false;
    }
    if (s.size() - i <= extra) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      code = (code << 6) | (t & 0x3F);
    }
    if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

// Names Windows opens as devices in any folder, with or without an extension.
bool IsDeviceName(std::string_view segment) {
  std::string_view base = segment.substr(0, segment.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  static constexpr std::string_view kPlain[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (std::string_view name : kPlain) {
    if (EqualsNoCase(base, name)) return true;
  }
  // COM0-9 and LPT0-9, also with the superscript digits 1-3 (U+00B9, U+00B2, U+00B3).
  if (base.size() >= 4 && (EqualsNoCase(base.substr(0, 3), "COM") || EqualsNoCase(base.substr(0, 3), "LPT"))) {
    const std::string_view digit = base.substr(3);
    if (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') return true;
    if (digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3") return true;
  }
  return false;
}

// A byte no served name may hold once decoded: controls, the separators and the
// characters Windows reserves for drives, streams and wildcards.
bool IsForbiddenByte(unsigned char c) {
  return c < 0x20 || c == 0x7F || std::strchr("\\:*?\"<>|", c) != nullptr;
}

UiPath Refuse(const char* reason) {
  UiPath p;
  p.verdict = UiPathVerdict::kRefused;
  p.reason = reason;
  return p;
}

UiPath Bad(const char* reason) {
  UiPath p;
  p.verdict = UiPathVerdict::kBadRequest;
  p.reason = reason;
  return p;
}

// One path segment as written in the URL (still encoded) -> its decoded name, or why not.
UiPath DecodeSegment(std::string_view raw, std::string* name) {
  name->clear();
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '%') {
      if (raw.size() - i < 3) return Bad("broken escape");
      const int hi = HexValue(raw[i + 1]), lo = HexValue(raw[i + 2]);
      if (hi < 0 || lo < 0) return Bad("broken escape");
      c = static_cast<char>(hi * 16 + lo);
      i += 2;
      // Dots, slashes and backslashes never need escaping; written so, they only try to
      // slip a segment past the URL parser.
      if (c == '.' || c == '/' || c == '\\') return Refuse("encoded dot or separator");
    } else if (c == '\\') {
      return Refuse("backslash");
    }
    if (IsForbiddenByte(static_cast<unsigned char>(c))) return Refuse("reserved character");
    name->push_back(c);
  }
  UiPath ok;
  ok.verdict = UiPathVerdict::kServe;
  return ok;
}

}  // namespace

bool IsUiOriginUrl(std::string_view url) {
  if (url.size() < kOrigin.size() || url.compare(0, kOrigin.size(), kOrigin) != 0) return false;
  if (url.size() == kOrigin.size()) return true;
  const char next = url[kOrigin.size()];
  return next == '/' || next == '?' || next == '#';
}

UiPath DecideUiPath(std::string_view url) {
  if (!IsUiOriginUrl(url)) return Bad("not the UI origin");
  std::string_view path = url.substr(kOrigin.size());
  path = path.substr(0, path.find_first_of("?#"));
  if (path.empty()) path = "/";
  path.remove_prefix(1);  // the '/' after the host

  const bool folder = path.empty() || path.back() == '/';
  if (folder && !path.empty()) path.remove_suffix(1);

  UiPath result;
  std::string name;
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view raw = path.substr(0, slash);
    if (raw.empty()) return Refuse("empty segment");
    const UiPath decoded = DecodeSegment(raw, &name);
    if (decoded.verdict != UiPathVerdict::kServe) return decoded;
    if (!IsUtf8(name)) return Bad("not UTF-8");
    if (name.back() == '.' || name.back() == ' ') return Refuse("dot segment or trailing dot or space");
    if (IsDeviceName(name)) return Refuse("device name");
    if (name.size() > kUiMaxNameBytes) return Refuse("name too long");
    if (!result.relative.empty()) result.relative += '/';
    result.relative += name;
    if (result.relative.size() > kUiMaxPathBytes) return Refuse("path too long");
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
    if (path.empty()) return Refuse("empty segment");
  }
  if (folder) {
    if (!result.relative.empty()) result.relative += '/';
    result.relative += "index.html";
    if (result.relative.size() > kUiMaxPathBytes) return Refuse("path too long");
  }
  result.verdict = UiPathVerdict::kServe;
  result.reason = "";
  return result;
}

UiMimeType UiMimeTypeFor(std::string_view relative) {
  const std::size_t slash = relative.rfind('/');
  const std::string_view file = slash == std::string_view::npos ? relative : relative.substr(slash + 1);
  const std::size_t dot = file.rfind('.');
  const std::string_view ext = dot == std::string_view::npos ? std::string_view() : file.substr(dot + 1);
  struct Entry {
    const char* ext;
    const char* mime;
    bool text;
  };
  static constexpr Entry kTypes[] = {
      {"html", "text/html", true},         {"htm", "text/html", true},
      {"js", "text/javascript", true},     {"mjs", "text/javascript", true},
      {"css", "text/css", true},           {"json", "application/json", true},
      {"map", "application/json", true},   {"wasm", "application/wasm", false},
      {"svg", "image/svg+xml", true},      {"png", "image/png", false},
      {"jpg", "image/jpeg", false},        {"jpeg", "image/jpeg", false},
      {"gif", "image/gif", false},         {"webp", "image/webp", false},
      {"ico", "image/x-icon", false},      {"woff", "font/woff", false},
      {"woff2", "font/woff2", false},      {"ttf", "font/ttf", false},
      {"otf", "font/otf", false},          {"mp3", "audio/mpeg", false},
      {"ogg", "audio/ogg", false},         {"wav", "audio/wav", false},
      {"mp4", "video/mp4", false},         {"webm", "video/webm", false},
      {"txt", "text/plain", true},         {"xml", "text/xml", true},
  };
  for (const Entry& e : kTypes) {
    if (EqualsNoCase(ext, e.ext)) return {e.mime, e.text};
  }
  return {"application/octet-stream", false};
}

bool UiMethodAllowed(std::string_view method) { return method == "GET" || method == "HEAD"; }

UiRange ParseUiRange(std::string_view header, std::uint64_t size) {
  UiRange whole;
  // Optional whitespace around the unit and the range, nothing else.
  auto trim = [](std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
  };
  header = trim(header);
  const std::size_t eq = header.find('=');
  if (eq == std::string_view::npos || !EqualsNoCase(trim(header.substr(0, eq)), "bytes")) return whole;
  const std::string_view spec = trim(header.substr(eq + 1));
  if (spec.find(',') != std::string_view::npos) return whole;  // several ranges: the whole file
  const std::size_t dash = spec.find('-');
  if (dash == std::string_view::npos) return whole;
  // Digits only, at most 19 of them, so the value fits without overflow.
  auto number = [](std::string_view s, std::uint64_t* out) {
    if (s.empty() || s.size() > 19) return false;
    std::uint64_t v = 0;
    for (char c : s) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    *out = v;
    return true;
  };
  const std::string_view a = trim(spec.substr(0, dash)), b = trim(spec.substr(dash + 1));
  UiRange r;
  std::uint64_t first = 0, last = 0;
  if (a.empty()) {
    std::uint64_t suffix = 0;
    if (!number(b, &suffix)) return whole;
    if (suffix == 0 || size == 0) {
      r.verdict = UiRangeVerdict::kUnsatisfiable;
      return r;
    }
    first = suffix >= size ? 0 : size - suffix;
    last = size - 1;
  } else {
    if (!number(a, &first)) return whole;
    if (b.empty()) {
      last = size == 0 ? 0 : size - 1;
    } else {
      if (!number(b, &last) || last < first) return whole;
      if (size > 0 && last >= size) last = size - 1;
    }
    if (first >= size) {
      r.verdict = UiRangeVerdict::kUnsatisfiable;
      return r;
    }
  }
  r.verdict = UiRangeVerdict::kPartial;
  r.first = first;
  r.last = last;
  return r;
}

std::string ContentRangeValue(const UiRange& range, std::uint64_t size) {
  if (range.verdict == UiRangeVerdict::kPartial) {
    return "bytes " + std::to_string(range.first) + "-" + std::to_string(range.last) + "/" + std::to_string(size);
  }
  return "bytes */" + std::to_string(size);
}

bool InsideFolder(std::u16string_view path, std::u16string_view folder) {
  auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
  auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; };
  while (!folder.empty() && separator(folder.back())) folder.remove_suffix(1);
  if (folder.empty() || path.size() < folder.size() + 2) return false;
  for (std::size_t i = 0; i < folder.size(); ++i) {
    const char16_t a = path[i], b = folder[i];
    if (separator(a) && separator(b)) continue;
    if (lower(a) != lower(b)) return false;
  }
  return separator(path[folder.size()]) && !separator(path[folder.size() + 1]);
}

std::string LoggableUrl(std::string_view url) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < url.size() && out.size() < 200; ++i) {
    const unsigned char c = static_cast<unsigned char>(url[i]);
    if (c >= 0x21 && c < 0x7F && c != '%') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
    if (out.size() >= 200 && i + 1 < url.size()) out += "...";
  }
  return out;
}

namespace {

// A URL as the refusal log keeps it: short ones whole; a long one as its head, a NUL (never
// part of a URL the engine hands over), its length and a 64-bit FNV-1a hash of the whole.
std::string RefusalKey(std::string_view url) {
  if (url.size() <= RefusalLog::kKeptHead) return std::string(url);
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : url) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  std::string key(url.substr(0, RefusalLog::kKeptHead));
  key += '\0';
  key += std::to_string(url.size());
  key += ':';
  key += std::to_string(hash);
  return key;
}

}  // namespace

RefusalLog::Action RefusalLog::Note(std::string_view url) {
  std::string key = RefusalKey(url);
  std::lock_guard<std::mutex> hold(lock_);
  if (closed_) return Action::kQuiet;
  if (seen_.count(key) != 0) return Action::kQuiet;
  if (seen_.size() >= kLimit) {
    closed_ = true;
    return Action::kLogLast;
  }
  seen_.insert(std::move(key));
  return Action::kLog;
}

std::size_t RefusalLog::KeptBytes() {
  std::lock_guard<std::mutex> hold(lock_);
  std::size_t n = 0;
  for (const std::string& key : seen_) n += key.size();
  return n;
}

}  // namespace nimo
