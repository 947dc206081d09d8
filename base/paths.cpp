#include "base/paths.h"

#include <cstdint>
#include <string>
#include <vector>

#include "base/portable/path_split.h"
#include "base/wide_text.h"
#include "diag/log.h"
#include "diag/portable/extended_path.h"

namespace nimo {
namespace {

// The longest path the system hands out (32767 characters and the terminator).
constexpr DWORD kLongestPath = 32768;

// `path` as the Win32 file calls take it: UTF-16, in the extended form when long.
std::wstring SystemPath(const std::string& path) { return ExtendedLengthPath(WideFromUtf8(path)); }

}  // namespace

std::string GrowingPath(const std::function<DWORD(wchar_t* buffer, DWORD size)>& fill) {
  // Doubling from MAX_PATH misses the system's longest path (260 << 7 is past it), so the
  // last try is that length itself.
  for (DWORD size = MAX_PATH;; size = size * 2 < kLongestPath ? size * 2 : kLongestPath) {
    std::vector<wchar_t> buffer(size, L'\0');
    const DWORD n = fill(buffer.data(), size);
    if (n == 0) return std::string();
    if (n < size) return Utf8FromWide(buffer.data(), n);  // a whole buffer is a cut path
    if (size == kLongestPath) return std::string();
  }
}

std::string GetExecutablePath() {
  return GrowingPath([](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
}

std::string GetExecutableDirectory() { return DirectoryOf(GetExecutablePath()); }

bool FlagFileExists(const char* name) {
  return GetFileAttributesW(SystemPath(GetExecutableDirectory() + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ToFullPath(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  if (wide.empty()) return path;
  // The first call tells the size needed, terminator included.
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::vector<wchar_t> buffer(needed + 1, L'\0');
  const DWORD n = GetFullPathNameW(wide.c_str(), needed + 1, buffer.data(), nullptr);
  if (n == 0 || n > needed || buffer[0] == L'\0') return path;
  return Utf8FromWide(buffer.data(), n);
}

bool MakeDirectory(const std::string& path) {
  const std::wstring wide = SystemPath(path);
  return CreateDirectoryW(wide.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

HMODULE LoadEngineLibrary() {
  const std::string dir = GetExecutableDirectory();
  const std::string candidates[] = {
      dir + "\\dezor2.dll",
      dir + "\\..\\libs\\dezor2.dll",
      dir + "\\libs\\dezor2.dll",
  };
  const std::string* too_long = nullptr;
  // Where it was looked for and why each place failed, for the one line below.
  std::string looked;
  for (const std::string& candidate : candidates) {
    // The engine's own dependent DLLs are found through the DLL directory, which stays
    // at the folder of the library that loaded.
    SetDllDirectoryW(WideFromUtf8(FolderOrSelf(candidate)).c_str());
    const std::wstring wide = WideFromUtf8(candidate);
    if (HMODULE module = LoadLibraryW(wide.c_str())) return module;
    const DWORD error = GetLastError();
    looked += looked.empty() ? " " : ", ";
    looked += ToFullPath(candidate);
    // A file that is there but does not load is most often missing a DLL of its own folder.
    looked += GetFileAttributesW(SystemPath(ToFullPath(candidate)).c_str()) == INVALID_FILE_ATTRIBUTES
                  ? " (no such file)"
                  : " (there, but not loaded: Win32 error " + std::to_string(error) + ")";
    if (wide.size() >= kClassicPathLimit) {
      // A system without long-path support refuses the plain spelling; the extended one
      // needs the ".." folded first.
      if (HMODULE module = LoadLibraryW(SystemPath(ToFullPath(candidate)).c_str())) return module;
      if (too_long == nullptr) too_long = &candidate;
    }
  }
  if (too_long != nullptr) {
    WriteLog("[nimo-webengine] engine library not loaded from a path of %llu characters (the system may refuse paths over 259): %s\n",
             static_cast<std::uint64_t>(WideFromUtf8(*too_long).size()), too_long->c_str());
  }
  WriteLogText(("[nimo-webengine] engine library dezor2.dll not loaded:" + looked + "\n").c_str());
  return nullptr;
}

}  // namespace nimo
