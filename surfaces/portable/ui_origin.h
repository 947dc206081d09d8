// The UI origin: https://nimo.localhost/ answered from one folder on disk, so a UI built
// the usual way (ES modules, fetch of its own files, WebAssembly) runs as on a web server.
// This file holds every decision about a request that needs no file system: whether a URL
// belongs to the origin, which file below the folder it names (or why it is refused), the
// MIME type, the byte range asked for, whether an opened file still lies inside the
// folder, and which refusals are logged.
//
// A request is refused (404) rather than mapped whenever its path could name something
// other than a plain file below the folder on Windows: "." and ".." segments, encoded
// dots, slashes and backslashes, drive letters and streams (':'), device names (CON,
// NUL, COM1...), control characters and NUL, names Windows would silently change
// (trailing dots or spaces), empty segments (UNC "//"), over-long paths. A path that is
// not even well-formed (a broken escape, bytes that are not UTF-8) is a bad request (400).
//
// Threads: every function is pure (any thread); RefusalLog is safe for concurrent use.
#pragma once
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

namespace nimo {

// Scheme and host of the origin; a URL of the origin continues with '/', '?', '#' or ends.
constexpr char kUiOrigin[] = "https://nimo.localhost";

// Longest relative path (UTF-8 bytes, after decoding) and longest single name served.
constexpr std::size_t kUiMaxPathBytes = 1024;
constexpr std::size_t kUiMaxNameBytes = 255;

bool IsUiOriginUrl(std::string_view url);

enum class UiPathVerdict {
  kServe,       // `relative` names the file to open
  kRefused,     // 404: the path could leave the folder or name something not a plain file
  kBadRequest,  // 400: not a URL of the origin, a broken escape, or not UTF-8
};

struct UiPath {
  UiPathVerdict verdict = UiPathVerdict::kBadRequest;
  // Decoded UTF-8, segments joined by '/', never empty, never starting with '/'; a folder
  // URL (path ending in '/') gets "index.html" appended. Empty unless kServe.
  std::string relative;
  // What was wrong, for the log; empty for kServe.
  const char* reason = "";
};

// The file a URL of the origin names below the folder. Query and fragment are ignored.
UiPath DecideUiPath(std::string_view url);

// The Content-Type of a file by its extension (ASCII case ignored), with "; charset=utf-8"
// split off: `mime` and whether a charset applies (text types). Unknown extensions are
// application/octet-stream.
struct UiMimeType {
  const char* mime;
  bool utf8_text;
};
UiMimeType UiMimeTypeFor(std::string_view relative);

// Only GET and HEAD are answered; anything else gets 405.
bool UiMethodAllowed(std::string_view method);

// A "Range" request header against a file of `size` bytes. Only one range of bytes is
// honoured ("bytes=a-b", "bytes=a-", "bytes=-n"); a header that is absent, malformed or
// asks for several ranges is ignored (the whole file, as HTTP allows). A range starting
// at or after the end cannot be satisfied (416).
enum class UiRangeVerdict { kWhole, kPartial, kUnsatisfiable };
struct UiRange {
  UiRangeVerdict verdict = UiRangeVerdict::kWhole;
  std::uint64_t first = 0;  // inclusive
  std::uint64_t last = 0;   // inclusive; only meaningful for kPartial
};
UiRange ParseUiRange(std::string_view header, std::uint64_t size);

// "bytes first-last/size" for a partial answer, "bytes */size" for an unsatisfiable one.
std::string ContentRangeValue(const UiRange& range, std::uint64_t size);

// Whether `path` (a final path the system reports for an opened file) lies strictly inside
// `folder` (the final path of the UI folder): `folder`, then a separator, then at least
// one more character. ASCII letters compare without case, '/' and '\\' alike; a trailing
// separator of `folder` is allowed.
bool InsideFolder(std::u16string_view path, std::u16string_view folder);

// A URL as it may appear in a log line: printable ASCII kept, everything else as %XX,
// cut at 200 bytes with "..." after.
std::string LoggableUrl(std::string_view url);

// Decides which refused requests are logged: each distinct URL once, up to a limit of
// distinct URLs, after which one last "not logged any more" notice is due. A page may ask
// for URLs of megabytes, so a long URL is kept only as its head, its length and a hash of
// the whole: what the log holds stays small whatever is refused.
class RefusalLog {
 public:
  static constexpr std::size_t kLimit = 256;
  static constexpr std::size_t kKeptHead = 200;  // bytes of a long URL kept as they are
  enum class Action { kLog, kLogLast, kQuiet };
  Action Note(std::string_view url);
  // Bytes of URL text held (for tests).
  std::size_t KeptBytes();

 private:
  std::mutex lock_;
  std::set<std::string> seen_;
  bool closed_ = false;
};

}  // namespace nimo
