// nimo_protocol.h: the client side of the nimo-webengine pipe protocol, in one
// self-contained C++17 header (standard library only, no windows.h).
//
// The client creates a duplex, message-type named pipe, starts nimo-webengine with
// --nimomp-browser --nimomp-pipe=<full pipe name> --nimomp-clientpid=<its process id>,
// writes every command below as ONE pipe message and reads every report as one whole
// message (a report is at most kMaxFrameSize bytes). The engine never answers a command;
// the first report is always Hello.
//
// Everything here is a pure function over bytes; any thread may call any of it.
//
//   auto frame = nimo::protocol::CreateSurface(1, 800, 600, "https://example.org/");
//   WriteFile(pipe, frame.data(), (DWORD)frame.size(), ...);
//   ...
//   nimo::protocol::Report report;
//   if (nimo::protocol::DecodeReport(buffer, bytes_read, &report) == nimo::protocol::DecodeStatus::kOk &&
//       report.type == nimo::protocol::kFrameReady) { ... report.frame.client_handle ... }
//
// Page messages (report kPageMessage) carry what page script sent through window.mp;
// ParsePageMessage splits them into kind, name and tagged arguments.
#pragma once
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace nimo {
namespace protocol {

using Bytes = std::vector<std::uint8_t>;

// --- Constants --------------------------------------------------------------------------
constexpr std::uint32_t kMagic = 0x4E494D4Fu;  // "OMIN" on the wire
constexpr std::uint32_t kVersion = 2;
constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kMaxPayload = 0x100000;
constexpr std::size_t kMaxFrameSize = kMaxPayload + kHeaderSize;
constexpr std::size_t kHeadSize = 16;
constexpr std::size_t kInputSize = 32;
constexpr std::size_t kFrameReadySize = 24;
constexpr std::uint32_t kSurfaceCount = 4;  // surface ids 0..3; 0 is opened by the engine itself

// Reports (engine to client).
constexpr std::uint16_t kHello = 1;
constexpr std::uint16_t kFrameReady = 2;
constexpr std::uint16_t kLoadEvent = 3;
constexpr std::uint16_t kConsoleLine = 4;
constexpr std::uint16_t kPageMessage = 5;
// Commands (client to engine).
constexpr std::uint16_t kCreateSurface = 100;
constexpr std::uint16_t kNavigate = 101;
constexpr std::uint16_t kExecuteScript = 102;
constexpr std::uint16_t kResizeSurface = 103;
constexpr std::uint16_t kSetFocus = 104;
constexpr std::uint16_t kSetHidden = 105;
constexpr std::uint16_t kInputEvent = 106;
constexpr std::uint16_t kReload = 108;
constexpr std::uint16_t kShutdown = 109;

constexpr std::uint32_t kLoadFinished = 0;  // LoadEvent kind: main frame finished loading
constexpr std::uint32_t kLoadFailed = 2;    // LoadEvent kind: a load failed (any frame)

// FrameReady formats.
constexpr std::uint32_t kFormatRgba = 0;  // also every CPU-path frame
constexpr std::uint32_t kFormatBgra = 1;

// Win32 window messages the engine turns into input (others are dropped, double-clicks too).
constexpr std::uint32_t kWmKeyDown = 0x100, kWmKeyUp = 0x101, kWmChar = 0x102;
constexpr std::uint32_t kWmSysKeyDown = 0x104, kWmSysKeyUp = 0x105, kWmSysChar = 0x106;
constexpr std::uint32_t kWmMouseMove = 0x200, kWmLButtonDown = 0x201, kWmLButtonUp = 0x202;
constexpr std::uint32_t kWmRButtonDown = 0x204, kWmRButtonUp = 0x205;
constexpr std::uint32_t kWmMButtonDown = 0x207, kWmMButtonUp = 0x208;
constexpr std::uint32_t kWmMouseWheel = 0x20A, kWmMouseLeave = 0x2A3;

// Modifier bits, passed to the web engine untranslated.
constexpr std::uint32_t kShiftDown = 0x2, kControlDown = 0x4, kAltDown = 0x8;
constexpr std::uint32_t kLeftMouseButton = 0x10, kMiddleMouseButton = 0x20, kRightMouseButton = 0x40;

// --- Little-endian bytes ----------------------------------------------------------------
namespace detail {
inline void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Put64(std::uint8_t* p, std::uint64_t v) {
  Put32(p, static_cast<std::uint32_t>(v));
  Put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
inline std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t Get64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(Get32(p)) | (static_cast<std::uint64_t>(Get32(p + 4)) << 32);
}
}  // namespace detail

// --- Commands ---------------------------------------------------------------------------
// Any frame: header {magic, type, 0, length} and the payload. Empty when the payload is
// over kMaxPayload (the engine would end the link on such a frame).
inline Bytes Frame(std::uint16_t type, const void* payload, std::size_t length) {
  Bytes f;
  if (length > kMaxPayload) return f;
  f.assign(kHeaderSize + length, 0);
  detail::Put32(f.data(), kMagic);
  f[4] = static_cast<std::uint8_t>(type);
  f[5] = static_cast<std::uint8_t>(type >> 8);
  detail::Put32(f.data() + 8, static_cast<std::uint32_t>(length));
  if (length != 0 && payload != nullptr) std::memcpy(f.data() + kHeaderSize, payload, length);
  return f;
}

// A command with the 16-byte head {surface, p1, p2, p3} and an optional text.
inline Bytes HeadCommand(std::uint16_t type, std::uint32_t surface, std::uint32_t p1, std::uint32_t p2,
                         std::uint32_t p3, std::string_view text = {}) {
  if (text.size() > kMaxPayload - kHeadSize) return Bytes();
  Bytes payload(kHeadSize + text.size());
  detail::Put32(payload.data(), surface);
  detail::Put32(payload.data() + 4, p1);
  detail::Put32(payload.data() + 8, p2);
  detail::Put32(payload.data() + 12, p3);
  if (!text.empty()) std::memcpy(payload.data() + kHeadSize, text.data(), text.size());
  return Frame(type, payload.data(), payload.size());
}

// Width/height 0 keep the slot's current size; an empty URL opens about:blank.
inline Bytes CreateSurface(std::uint32_t surface, std::uint32_t width, std::uint32_t height,
                           std::string_view url = {}) {
  return HeadCommand(kCreateSurface, surface, width, height, 0, url);
}
inline Bytes Navigate(std::uint32_t surface, std::string_view url) {
  return HeadCommand(kNavigate, surface, 0, 0, 0, url);
}
inline Bytes ExecuteScript(std::uint32_t surface, std::string_view script) {
  return HeadCommand(kExecuteScript, surface, 0, 0, 0, script);
}
// Raises window.mp events in the page: runs window.__mpEmit(name, args) where
// `args_json` is a JSON array (or any JSON value for a single argument).
inline Bytes EmitToPage(std::uint32_t surface, std::string_view name_json, std::string_view args_json) {
  std::string script = "window.__mpEmit&&window.__mpEmit(";
  script.append(name_json.data(), name_json.size());
  script += ",";
  script.append(args_json.data(), args_json.size());
  script += ");";
  return ExecuteScript(surface, script);
}
// Both sizes must be non-zero, else the engine ignores the command.
inline Bytes ResizeSurface(std::uint32_t surface, std::uint32_t width, std::uint32_t height) {
  return HeadCommand(kResizeSurface, surface, width, height, 0);
}
inline Bytes SetFocus(std::uint32_t surface, bool focus) {
  return HeadCommand(kSetFocus, surface, 0, 0, focus ? 1u : 0u);
}
inline Bytes SetHidden(std::uint32_t surface, bool hidden) {
  return HeadCommand(kSetHidden, surface, 0, 0, hidden ? 1u : 0u);
}
inline Bytes Reload(std::uint32_t surface, bool ignore_cache) {
  return HeadCommand(kReload, surface, 0, 0, ignore_cache ? 1u : 0u);
}
// Ends the link: the engine closes every browser and exits (code 0). Nothing written after
// it is read.
inline Bytes Shutdown() { return Frame(kShutdown, nullptr, 0); }

struct InputRecord {
  std::uint32_t surface_id = 0;
  std::uint32_t message = 0;  // Win32 window message
  std::uint64_t wparam = 0;
  std::uint64_t lparam = 0;
  std::uint32_t modifiers = 0;
};

inline Bytes Input(const InputRecord& r) {
  std::uint8_t p[kInputSize] = {};
  detail::Put32(p, r.surface_id);
  detail::Put32(p + 4, r.message);
  detail::Put64(p + 8, r.wparam);
  detail::Put64(p + 16, r.lparam);
  detail::Put32(p + 24, r.modifiers);
  return Frame(kInputEvent, p, sizeof p);
}

// A position as a window message carries it: x and y as 16-bit values (negative allowed).
inline std::uint64_t PackPoint(int x, int y) {
  return (static_cast<std::uint64_t>(static_cast<std::uint16_t>(y)) << 16) | static_cast<std::uint16_t>(x);
}

inline Bytes MouseMove(std::uint32_t surface, int x, int y, std::uint32_t modifiers = 0) {
  return Input({surface, kWmMouseMove, 0, PackPoint(x, y), modifiers});
}
enum class MouseButton { kLeft, kRight, kMiddle };
inline Bytes MouseClick(std::uint32_t surface, MouseButton button, bool up, int x, int y,
                        std::uint32_t modifiers = 0) {
  std::uint32_t down_message = button == MouseButton::kLeft    ? kWmLButtonDown
                               : button == MouseButton::kRight ? kWmRButtonDown
                                                               : kWmMButtonDown;
  return Input({surface, down_message + (up ? 1u : 0u), 0, PackPoint(x, y), modifiers});
}
// `delta` in wheel units (120 per notch; positive scrolls away from the user).
inline Bytes MouseWheel(std::uint32_t surface, int x, int y, int delta, std::uint32_t modifiers = 0) {
  const std::uint64_t wparam = static_cast<std::uint64_t>(static_cast<std::uint16_t>(delta)) << 16;
  return Input({surface, kWmMouseWheel, wparam, PackPoint(x, y), modifiers});
}
inline Bytes MouseLeave(std::uint32_t surface) { return Input({surface, kWmMouseLeave, 0, 0, 0}); }
// `virtual_key` is a Windows virtual-key code; `native` the LPARAM of the key message
// (scan code and flags), passed through.
inline Bytes Key(std::uint32_t surface, bool up, std::uint32_t virtual_key, std::uint32_t native = 0,
                 std::uint32_t modifiers = 0, bool system = false) {
  const std::uint32_t message = system ? (up ? kWmSysKeyUp : kWmSysKeyDown) : (up ? kWmKeyUp : kWmKeyDown);
  return Input({surface, message, virtual_key, native, modifiers});
}
// One UTF-16 code unit of typed text.
inline Bytes Char(std::uint32_t surface, std::uint16_t code_unit, std::uint32_t modifiers = 0,
                  bool system = false) {
  return Input({surface, system ? kWmSysChar : kWmChar, code_unit, 0, modifiers});
}

// --- Reports ----------------------------------------------------------------------------
enum class DecodeStatus {
  kOk,
  kTooShort,      // under 12 bytes
  kBadMagic,
  kBadLength,     // length above the limit or not matching the message size
  kShortPayload,  // payload too short for its report type
  kUnknownType,   // a valid frame of a type this header does not know
};

struct Report {
  std::uint16_t type = 0;
  // Hello
  std::uint32_t version = 0;
  std::uint32_t engine_pid = 0;
  // every report except Hello
  std::uint32_t surface_id = 0;
  // FrameReady
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t format = 0;
  std::uint64_t client_handle = 0;  // a HANDLE valid in the client process
  // LoadEvent
  std::uint32_t load_kind = 0;
  std::int32_t error_code = 0;  // the web engine's net error code, for kLoadFailed
  // LoadEvent (failed URL), ConsoleLine (the line), PageMessage (the whole "NIMOMP|..." text)
  std::string text;
};

inline DecodeStatus DecodeReport(const void* message, std::size_t size, Report* out) {
  const std::uint8_t* m = static_cast<const std::uint8_t*>(message);
  *out = Report();
  if (m == nullptr || size < kHeaderSize) return DecodeStatus::kTooShort;
  if (detail::Get32(m) != kMagic) return DecodeStatus::kBadMagic;
  const std::uint32_t length = detail::Get32(m + 8);
  if (length > kMaxPayload || size != kHeaderSize + static_cast<std::size_t>(length)) return DecodeStatus::kBadLength;
  const std::uint16_t type = static_cast<std::uint16_t>(m[4] | (m[5] << 8));
  const std::uint8_t* p = m + kHeaderSize;
  out->type = type;
  switch (type) {
    case kHello:
      if (length < 8) return DecodeStatus::kShortPayload;
      out->version = detail::Get32(p);
      out->engine_pid = detail::Get32(p + 4);
      return DecodeStatus::kOk;
    case kFrameReady:
      if (length < kFrameReadySize) return DecodeStatus::kShortPayload;
      out->surface_id = detail::Get32(p);
      out->width = detail::Get32(p + 4);
      out->height = detail::Get32(p + 8);
      out->format = detail::Get32(p + 12);
      out->client_handle = detail::Get64(p + 16);
      return DecodeStatus::kOk;
    case kLoadEvent:
    case kConsoleLine:
    case kPageMessage:
      if (length < kHeadSize) return DecodeStatus::kShortPayload;
      out->surface_id = detail::Get32(p);
      if (type == kLoadEvent) {
        out->load_kind = detail::Get32(p + 4);
        out->error_code = static_cast<std::int32_t>(detail::Get32(p + 8));
      }
      out->text.assign(reinterpret_cast<const char*>(p + kHeadSize), length - kHeadSize);
      return DecodeStatus::kOk;
    default:
      return DecodeStatus::kUnknownType;
  }
}

inline const char* ReportName(std::uint16_t type) {
  switch (type) {
    case kHello: return "Hello";
    case kFrameReady: return "FrameReady";
    case kLoadEvent: return "LoadEvent";
    case kConsoleLine: return "ConsoleLine";
    case kPageMessage: return "PageMessage";
    default: return "Unknown";
  }
}

// --- Page messages ----------------------------------------------------------------------
// "NIMOMP|" kind "|" name, then per argument U+0001 U+0002 tag value. Nothing is escaped:
// a name containing U+0001 splits early, which is how every reader must read it.
constexpr std::string_view kPageTag = "NIMOMP|";

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
  double AsNumber() const {
    double d = 0;
    if (tag != 'n' || value.empty()) return 0.0;
    const char* first = value.data();
    if (*first == '+') ++first;  // a sign the standard reader does not take
    if (std::from_chars(first, value.data() + value.size(), d).ec != std::errc()) return 0.0;
    return d;
  }
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
inline bool ParsePageMessage(std::string_view text, PageMessage* out) {
  if (text.substr(0, kPageTag.size()) != kPageTag) return false;
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

// The text the page writes for kind(name, args...); the exact inverse of ParsePageMessage.
inline std::string EncodePageMessage(std::string_view kind, std::string_view name, const std::vector<PageArg>& args) {
  std::string s(kPageTag);
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

// A number's standard script text (shortest digits that read back exactly; exponent form
// from 1e21 up and below 1e-6), so client code can build the same texts a page writes.
// Independent of the program's locale: a decimal comma never appears.
inline std::string ScriptNumberText(double d) {
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

inline PageArg PageArg::Number(double d) {
  if (!std::isfinite(d)) return Null();
  return PageArg{'n', ScriptNumberText(d)};
}

}  // namespace protocol
}  // namespace nimo
