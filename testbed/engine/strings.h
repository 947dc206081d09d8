// The engine's string functions, and the helpers the rest of the stand-in uses to hand out
// and read engine strings. The counts let cef_shutdown report strings the product never
// gave back.
//
// Threads: any.
#pragma once
#include <cstddef>
#include <string>

#include "testbed/engine/engine_decls.h"

namespace standin {

// A fresh userfree string holding `text`, as the engine returns them (never null).
cef_string_userfree_t NewUserfree(const std::u16string& text);
cef_string_userfree_t NewUserfreeUtf8(const std::string& utf8);

// Copies `text` into an engine-owned string (clearing what it held), as the engine fills
// out-parameters.
void SetString(cef_string_t* target, const std::u16string& text);

// Frees what the string holds (through its dtor) and empties it.
void ClearString(cef_string_t* text);

std::u16string ToU16(const cef_string_t* text);
std::u16string Utf8ToU16(const std::string& utf8);
std::string ToJournal(const cef_string_t* text);
std::string U16ToUtf8(const std::u16string& text);
// UTF-8 of a NUL-terminated text from a wide Win32 call (command line, module path,
// environment), so paths of any script reach the journal and the parsers intact.
std::string WideToUtf8(const wchar_t* text);

// Engine-allocated strings still held by the product (converted but never cleared) and
// userfree strings never freed; frees of unknown userfree pointers.
struct StringCounts {
  long long outstanding = 0;
  long long userfree_outstanding = 0;
  long long bad_frees = 0;
};
StringCounts CurrentStringCounts();

}  // namespace standin
