#include "testbed/engine/strings.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "testbed/engine/journal.h"

namespace standin {
namespace {

std::atomic<long long> outstanding_chars{0};
std::mutex userfree_lock;
std::unordered_set<cef_string_userfree_t>* userfree_live = nullptr;  // never destroyed
long long bad_userfree_frees = 0;

void FreeEngineChars(char16_t* chars) {
  if (!chars) return;
  delete[] chars;
  --outstanding_chars;
}

char16_t* AllocEngineChars(const char16_t* src, std::size_t length) {
  char16_t* chars = new char16_t[length + 1];
  if (length) std::memcpy(chars, src, length * sizeof(char16_t));
  chars[length] = 0;
  ++outstanding_chars;
  return chars;
}

void Clear(cef_string_utf16_t* s) {
  if (!s) return;
  if (s->dtor && s->str) s->dtor(s->str);
  s->str = nullptr;
  s->length = 0;
  s->dtor = nullptr;
}

void Assign(cef_string_utf16_t* out, const std::u16string& text) {
  Clear(out);
  out->str = AllocEngineChars(text.data(), text.size());
  out->length = text.size();
  out->dtor = FreeEngineChars;
}

// UTF-8 to UTF-16 as the engine does it: each ill-formed sequence becomes U+FFFD and the
// result reports whether the input was well-formed.
bool DecodeUtf8(const char* src, std::size_t length, std::u16string* out) {
  out->reserve(out->size() + length);  // never more units than bytes
  bool valid = true;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(src);
  std::size_t i = 0;
  while (i < length) {
    unsigned char c = p[i];
    if (c < 0x80) {
      out->push_back(c);
      ++i;
      continue;
    }
    int need = 0;
    unsigned cp = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      need = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      need = 2;
      cp = c & 0x0F;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      need = 3;
      cp = c & 0x07;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      out->push_back(0xFFFD);
      valid = false;
      ++i;
      continue;
    }
    std::size_t j = 1;
    bool ok = true;
    for (; j <= static_cast<std::size_t>(need); ++j) {
      if (i + j >= length) {
        ok = false;
        break;
      }
      unsigned char t = p[i + j];
      unsigned char lo = j == 1 ? low : 0x80, hi = j == 1 ? high : 0xBF;
      if (t < lo || t > hi) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (t & 0x3F);
    }
    if (!ok) {
      // Replace the maximal ill-formed prefix with one U+FFFD.
      out->push_back(0xFFFD);
      valid = false;
      i += j;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
    i += static_cast<std::size_t>(need) + 1;
  }
  return valid;
}

void FreeEngineUtf8(char* chars) { delete[] chars; }

}  // namespace

cef_string_userfree_t NewUserfree(const std::u16string& text) {
  cef_string_userfree_t s = new cef_string_utf16_t();
  Assign(s, text);
  std::lock_guard<std::mutex> hold(userfree_lock);
  if (!userfree_live) userfree_live = new std::unordered_set<cef_string_userfree_t>();
  userfree_live->insert(s);
  return s;
}

cef_string_userfree_t NewUserfreeUtf8(const std::string& utf8) { return NewUserfree(Utf8ToU16(utf8)); }

void SetString(cef_string_t* target, const std::u16string& text) {
  if (target) Assign(target, text);
}

void ClearString(cef_string_t* text) { Clear(text); }

std::u16string ToU16(const cef_string_t* text) {
  if (!text || !text->str) return std::u16string();
  return std::u16string(text->str, text->length);
}

std::u16string Utf8ToU16(const std::string& utf8) {
  std::u16string out;
  DecodeUtf8(utf8.data(), utf8.size(), &out);
  return out;
}

std::string ToJournal(const cef_string_t* text) {
  if (!text || !text->str) return std::string();
  return Utf16ToJournalText(text->str, text->length);
}

std::string U16ToUtf8(const std::u16string& text) { return Utf16ToJournalText(text.data(), text.size()); }

std::string WideToUtf8(const wchar_t* text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");
  if (!text) return std::string();
  return U16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(text)));
}

StringCounts CurrentStringCounts() {
  StringCounts counts;
  counts.outstanding = outstanding_chars.load();
  std::lock_guard<std::mutex> hold(userfree_lock);
  counts.userfree_outstanding = userfree_live ? static_cast<long long>(userfree_live->size()) : 0;
  counts.bad_frees = bad_userfree_frees;
  return counts;
}

}  // namespace standin

using namespace standin;

extern "C" {

int cef_string_utf8_to_utf16(const char* src, size_t src_len, cef_string_utf16_t* output) {
  if (!output) return 0;
  // Plain ASCII (the common case, and a megabyte script's) is widened in place, so the
  // stand-in's share of a large script stays small beside the product's.
  std::size_t ascii = 0;
  while (src && ascii < src_len && static_cast<unsigned char>(src[ascii]) < 0x80) ++ascii;
  if (src && ascii == src_len) {
    Clear(output);
    char16_t* chars = new char16_t[src_len + 1];
    for (std::size_t i = 0; i < src_len; ++i) chars[i] = static_cast<unsigned char>(src[i]);
    chars[src_len] = 0;
    ++outstanding_chars;
    output->str = chars;
    output->length = src_len;
    output->dtor = FreeEngineChars;
    return 1;
  }
  std::u16string text;
  bool valid = src ? DecodeUtf8(src, src_len, &text) : true;
  Assign(output, text);
  return valid ? 1 : 0;
}

int cef_string_ascii_to_utf16(const char* src, size_t src_len, cef_string_utf16_t* output) {
  if (!output) return 0;
  std::u16string text;
  for (size_t i = 0; src && i < src_len; ++i) text.push_back(static_cast<unsigned char>(src[i]));
  Assign(output, text);
  return 1;
}

int cef_string_utf16_to_utf8(const char16_t* src, size_t src_len, cef_string_utf8_t* output) {
  if (!output) return 0;
  if (output->dtor && output->str) output->dtor(output->str);
  bool valid = true;
  std::string utf8;
  for (size_t i = 0; src && i < src_len; ++i) {
    unsigned cp = src[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < src_len && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (src[i + 1] - 0xDC00u);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
      valid = false;
    }
    char16_t unit[2] = {0, 0};
    std::size_t units = 1;
    if (cp >= 0x10000) {
      unit[0] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      unit[1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      units = 2;
    } else {
      unit[0] = static_cast<char16_t>(cp);
    }
    utf8 += Utf16ToJournalText(unit, units);
  }
  char* chars = new char[utf8.size() + 1];
  std::memcpy(chars, utf8.data(), utf8.size());
  chars[utf8.size()] = 0;
  output->str = chars;
  output->length = utf8.size();
  output->dtor = FreeEngineUtf8;
  return valid ? 1 : 0;
}

int cef_string_utf16_set(const char16_t* src, size_t src_len, cef_string_utf16_t* output, int copy) {
  if (!output) return 0;
  Clear(output);
  if (!src || !src_len) return 1;
  if (copy) {
    output->str = AllocEngineChars(src, src_len);
    output->dtor = FreeEngineChars;
  } else {
    output->str = const_cast<char16_t*>(src);
  }
  output->length = src_len;
  return 1;
}

void cef_string_utf16_clear(cef_string_utf16_t* str) { Clear(str); }

void cef_string_utf8_clear(cef_string_utf8_t* str) {
  if (!str) return;
  if (str->dtor && str->str) str->dtor(str->str);
  str->str = nullptr;
  str->length = 0;
  str->dtor = nullptr;
}

cef_string_userfree_utf16_t cef_string_userfree_utf16_alloc(void) { return NewUserfree(std::u16string()); }

void cef_string_userfree_utf16_free(cef_string_userfree_utf16_t str) {
  {
    std::lock_guard<std::mutex> hold(userfree_lock);
    if (!userfree_live || userfree_live->erase(str) == 0) {
      // Not one of ours, or freed before: the real engine would corrupt its heap here.
      ++bad_userfree_frees;
      Event("strings.bad_userfree_free").Ptr("string", str);
      return;
    }
  }
  Clear(str);
  delete str;
}

cef_string_list_t cef_string_list_alloc(void) { return new std::vector<std::u16string>(); }

size_t cef_string_list_size(cef_string_list_t list) {
  return list ? static_cast<std::vector<std::u16string>*>(list)->size() : 0;
}

int cef_string_list_value(cef_string_list_t list, size_t index, cef_string_t* value) {
  auto* items = static_cast<std::vector<std::u16string>*>(list);
  if (!items || index >= items->size() || !value) return 0;
  Assign(value, (*items)[index]);
  return 1;
}

void cef_string_list_append(cef_string_list_t list, const cef_string_t* value) {
  if (list) static_cast<std::vector<std::u16string>*>(list)->push_back(ToU16(value));
}

void cef_string_list_free(cef_string_list_t list) { delete static_cast<std::vector<std::u16string>*>(list); }

}  // extern "C"
