// Text crossing the Win32 boundary. Every path and command-line text the program takes from
// the system is read as UTF-16 and converted here once; inside, text is UTF-8, and it goes
// back to UTF-16 only for the next system or engine call. Any thread.
#pragma once
#include <cstddef>
#include <string>

namespace nimo {

// UTF-8 of UTF-16 text. Unpaired surrogates (which no Unicode name holds) become U+FFFD.
std::string Utf8FromWide(const wchar_t* text, std::size_t length);
std::string Utf8FromWide(const std::wstring& text);

// UTF-16 of UTF-8 text. Ill-formed bytes become U+FFFD.
std::wstring WideFromUtf8(const std::string& text);

}  // namespace nimo
