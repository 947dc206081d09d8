#include "diag/portable/extended_path.h"

namespace nimo {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Whether a path element is "." or "..", which the extended form would not resolve.
bool HasDotElement(const std::wstring& path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      const std::wstring element = path.substr(start, i - start);
      if (element == L"." || element == L"..") return true;
      start = i + 1;
    }
  }
  return false;
}

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& path) {
  if (path.size() < kClassicPathLimit) return path;
  const bool drive = path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2]);
  const bool unc = path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] != L'?' &&
                   path[2] != L'.' && !IsSeparator(path[2]);
  if (!drive && !unc) return path;
  std::wstring body = unc ? path.substr(2) : path;
  for (wchar_t& c : body) {
    if (c == L'/') c = L'\\';
  }
  if (HasDotElement(body)) return path;
  return unc ? L"\\\\?\\UNC\\" + body : L"\\\\?\\" + body;
}

}  // namespace nimo
