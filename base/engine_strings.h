// Conversion between the engine's UTF-16 strings and the UTF-8 text used everywhere else.
// Text from the engine goes through WideCharToMultiByte (unpaired surrogates become
// U+FFFD); text to the engine goes through the engine's own cef_string_utf8_to_utf16 so the
// engine frees what it allocated. No conversion reports an error: every failure (null input,
// missing entry point, non-string value) gives the empty text.
// Any thread; the engine entry points must have been resolved first (engine_api.h).
#pragma once
#include <stddef.h>

#include <string>

#include "base/portable/engine_abi.h"

namespace nimo {

// UTF-8 of an engine string; empty for null, a null pointer or length 0. Frees nothing.
std::string ToUtf8(const cef_string_t* text);

// UTF-8 of a string the engine handed over, which is then freed with
// cef_string_userfree_utf16_free (when resolved). Null gives the empty text.
std::string UserfreeToUtf8(cef_string_userfree_t text);

// UTF-8 of a script value when it is a string, else empty. Frees the string the value hands
// out; the value itself stays the caller's (not released here).
std::string V8StringToUtf8(cef_v8value_t* value);

// An engine string made from UTF-8 for one engine call, cleared when it goes out of scope.
// Stays empty when cef_string_utf8_to_utf16 is not resolved.
class TempEngineString {
 public:
  TempEngineString(const char* utf8, size_t length);
  explicit TempEngineString(const std::string& utf8);
  ~TempEngineString();
  TempEngineString(const TempEngineString&) = delete;
  TempEngineString& operator=(const TempEngineString&) = delete;

  cef_string_t* get() { return &value_; }

 private:
  cef_string_t value_;
};

}  // namespace nimo
