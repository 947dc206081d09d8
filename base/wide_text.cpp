#include "base/wide_text.h"

#include <windows.h>

#include <climits>

namespace nimo {

std::string Utf8FromWide(const wchar_t* text, std::size_t length) {
  if (text == nullptr || length == 0 || length > INT_MAX) return std::string();
  const int units = static_cast<int>(length);
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
  if (size < 1) return std::string();
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, units, &out[0], size, nullptr, nullptr);
  return out;
}

std::string Utf8FromWide(const std::wstring& text) { return Utf8FromWide(text.data(), text.size()); }

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty() || text.size() > INT_MAX) return std::wstring();
  const int bytes = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
  if (size < 1) return std::wstring();
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, &out[0], size);
  return out;
}

}  // namespace nimo
