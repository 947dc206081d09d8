// The long-path rule: how a full path longer than the classic Win32 limit is spelled so
// the file calls take it whole instead of refusing it. Pure function; any thread.
#pragma once
#include <cstddef>
#include <string>

namespace nimo {

// Paths of this many characters or more (terminator excluded) are refused by the Win32
// file calls unless spelled in the extended form.
constexpr std::size_t kClassicPathLimit = 260;

// `path` in the extended form ("\\?\C:\..." or "\\?\UNC\server\share\...") when it is a
// full drive or UNC path of kClassicPathLimit characters or more; otherwise `path`
// unchanged (short paths, relative paths, paths already in a "\\?\" or "\\.\" form).
// The extended form turns off the system's own path clean-up, so the path must already
// be full: '/' separators become '\', and a path holding a "." or ".." element is left
// alone (the system would take those literally).
std::wstring ExtendedLengthPath(const std::wstring& path);

}  // namespace nimo
