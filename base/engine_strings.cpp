#include "base/engine_strings.h"

#include <windows.h>

#include <climits>

#include "base/engine_api.h"

namespace nimo {
namespace {

// Two passes: size, then fill a text of exactly that size.
std::string Utf16ToUtf8(const char16_t* units, size_t length) {
  if (units == nullptr || length == 0) return std::string();
  // WideCharToMultiByte counts in int, and -1 would mean "up to a terminator": a length
  // that does not fit is refused rather than cut or read past its end.
  if (length > static_cast<size_t>(INT_MAX)) return std::string();
  const LPCWCH wide = reinterpret_cast<LPCWCH>(units);
  const int count = static_cast<int>(length);
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, count, nullptr, 0, nullptr, nullptr);
  if (size < 1) return std::string();
  std::string text(static_cast<size_t>(size), '\0');
  const int written =
      WideCharToMultiByte(CP_UTF8, 0, wide, count, &text[0], size, nullptr, nullptr);
  text.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return text;
}

}  // namespace

std::string ToUtf8(const cef_string_t* text) {
  if (text == nullptr) return std::string();
  return Utf16ToUtf8(text->str, text->length);
}

std::string UserfreeToUtf8(cef_string_userfree_t text) {
  std::string result = ToUtf8(text);
  if (text != nullptr && engine_api.cef_string_userfree_utf16_free) {
    engine_api.cef_string_userfree_utf16_free(text);
  }
  return result;
}

std::string V8StringToUtf8(cef_v8value_t* value) {
  if (value == nullptr || value->is_string == nullptr || !value->is_string(value)) {
    return std::string();
  }
  if (value->get_string_value == nullptr) return std::string();
  cef_string_userfree_t string = value->get_string_value(value);
  if (string == nullptr) return std::string();
  std::string result = Utf16ToUtf8(string->str, string->length);
  if (engine_api.cef_string_userfree_utf16_free) engine_api.cef_string_userfree_utf16_free(string);
  return result;
}

TempEngineString::TempEngineString(const char* utf8, size_t length) : value_() {
  if (engine_api.cef_string_utf8_to_utf16) {
    engine_api.cef_string_utf8_to_utf16(utf8 != nullptr ? utf8 : "", utf8 != nullptr ? length : 0,
                                        &value_);
  }
}

TempEngineString::TempEngineString(const std::string& utf8)
    : TempEngineString(utf8.data(), utf8.size()) {}

TempEngineString::~TempEngineString() {
  if (engine_api.cef_string_utf16_clear) engine_api.cef_string_utf16_clear(&value_);
}

}  // namespace nimo
