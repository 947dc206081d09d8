#include "bridge/portable/text_note.h"

#include <cstring>

namespace nimo {

bool ParseTextNote(const char* text, std::size_t length, int* note) {
  const std::size_t tag = sizeof kTextNoteTag - 1;
  if (!text || length != tag + 1 || std::memcmp(text, kTextNoteTag, tag) != 0) return false;
  const char c = text[tag];
  if (c == 'f') {
    *note = kTextNoteForeign;
    return true;
  }
  if (c < '0' || c > '8') return false;
  *note = c - '0';
  return true;
}

}  // namespace nimo
