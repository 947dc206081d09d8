#include "testbed/engine/journal.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace standin {
namespace {

std::mutex journal_lock;
std::mutex quiet_lock;
std::vector<std::pair<std::string, long long>>* quiet = nullptr;  // prefix, events dropped

// True (and counted) when the event is one of the quiet ones.
bool Silenced(const char* name) {
  std::lock_guard<std::mutex> hold(quiet_lock);
  if (!quiet) return false;
  for (auto& q : *quiet) {
    if (std::strncmp(name, q.first.c_str(), q.first.size()) == 0) {
      ++q.second;
      return true;
    }
  }
  return false;
}
HANDLE journal_file = INVALID_HANDLE_VALUE;
bool journal_opened = false;

long long NowMicros() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<long long>(now.QuadPart / frequency.QuadPart * 1000000 +
                                now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart);
}

}  // namespace

long long JournalMicros() { return NowMicros(); }

namespace {

bool IsBareByte(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '-': case '_': case '.': case ':': case '/': case '+': case ',': case '@': case '#':
    case '%': case '*': case '?': case '!': case '~': case '[': case ']': case '{': case '}':
    case '(': case ')':
      return true;
    default:
      return false;
  }
}

// Length of the well-formed UTF-8 sequence at `p` (1..4), 0 when it is not one. The
// generalized form of a surrogate (ED A0..BF xx) is reported as -3.
int Utf8SequenceLength(const unsigned char* p, std::size_t left) {
  unsigned char c = p[0];
  if (c < 0x80) return 1;
  int need;
  unsigned char low = 0x80, high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    need = 1;
  } else if (c >= 0xE0 && c <= 0xEF) {
    need = 2;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    need = 3;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (left < static_cast<std::size_t>(need) + 1) return 0;
  bool surrogate = false;
  if (p[1] < low || p[1] > high) {
    if (c == 0xED && p[1] >= 0xA0 && p[1] <= 0xBF) {
      surrogate = true;
    } else {
      return 0;
    }
  }
  for (int i = 2; i <= need; ++i) {
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
  }
  return surrogate ? -3 : need + 1;
}

}  // namespace

void OpenJournal() {
  std::lock_guard<std::mutex> hold(journal_lock);
  if (journal_file != INVALID_HANDLE_VALUE) CloseHandle(journal_file);
  journal_file = INVALID_HANDLE_VALUE;
  // Wide calls: the journal may lie in a folder whose name no code page holds.
  static wchar_t path[32768];
  const DWORD got = GetEnvironmentVariableW(L"NIMO_STANDIN_JOURNAL", path, sizeof path / sizeof path[0]);
  if (got > 0 && got < sizeof path / sizeof path[0]) {
    journal_file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  journal_opened = true;
}

bool JournalEnabled() {
  {
    std::lock_guard<std::mutex> hold(journal_lock);
    if (journal_opened) return journal_file != INVALID_HANDLE_VALUE;
  }
  OpenJournal();
  std::lock_guard<std::mutex> hold(journal_lock);
  return journal_file != INVALID_HANDLE_VALUE;
}

std::string EncodeValue(const std::string& bytes) {
  bool bare = !bytes.empty();
  for (unsigned char c : bytes) {
    if (!IsBareByte(c)) {
      bare = false;
      break;
    }
  }
  if (bare) return bytes;
  std::string out = "\"";
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  char buffer[16];
  for (std::size_t i = 0; i < n;) {
    unsigned char c = p[i];
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c == '\n') {
      out += "\\n";
      ++i;
    } else if (c == '\r') {
      out += "\\r";
      ++i;
    } else if (c == '\t') {
      out += "\\t";
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
      out += buffer;
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      int length = Utf8SequenceLength(p + i, n - i);
      if (length == -3) {
        unsigned unit = 0xD000u | ((p[i + 1] & 0x3Fu) << 6) | (p[i + 2] & 0x3Fu);
        std::snprintf(buffer, sizeof buffer, "\\u{%04X}", unit);
        out += buffer;
        i += 3;
      } else if (length == 0) {
        std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
        out += buffer;
        ++i;
      } else {
        out.append(bytes, i, static_cast<std::size_t>(length));
        i += static_cast<std::size_t>(length);
      }
    }
  }
  out += '"';
  return out;
}

std::string Utf16ToJournalText(const char16_t* text, std::size_t length) {
  std::string out;
  if (!text) return out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    unsigned cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

void SetQuietPrefixes(const std::vector<std::string>& prefixes) {
  std::lock_guard<std::mutex> hold(quiet_lock);
  auto* next = new std::vector<std::pair<std::string, long long>>();
  for (const std::string& p : prefixes) next->emplace_back(p, 0);
  quiet = next;  // an earlier list stays allocated; it is tiny
}

void ReportQuietCounts() {
  std::vector<std::pair<std::string, long long>> counts;
  {
    std::lock_guard<std::mutex> hold(quiet_lock);
    if (quiet) counts = *quiet;
  }
  for (auto& q : counts) Event("journal.quiet").Text("prefix", q.first).Num("count", q.second);
}

Event::Event(const char* name) : enabled_(JournalEnabled()) {
  if (!enabled_) return;
  if (Silenced(name)) {
    enabled_ = false;
    return;
  }
  char head[64];
  std::snprintf(head, sizeof head, "%lu %lld ", static_cast<unsigned long>(GetCurrentProcessId()), NowMicros());
  line_ = head;
  line_ += name;
}

Event::~Event() {
  if (!enabled_) return;
  line_ += "\n";
  std::lock_guard<std::mutex> hold(journal_lock);
  if (journal_file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(journal_file, line_.data(), static_cast<DWORD>(line_.size()), &written, nullptr);
}

void Event::Key(const char* key) {
  line_ += ' ';
  line_ += key;
  line_ += '=';
}

Event& Event::Num(const char* key, long long value) {
  if (!enabled_) return *this;
  Key(key);
  line_ += std::to_string(value);
  return *this;
}

Event& Event::Unsigned(const char* key, unsigned long long value) {
  if (!enabled_) return *this;
  Key(key);
  line_ += std::to_string(value);
  return *this;
}

Event& Event::Hex(const char* key, unsigned long long value) {
  if (!enabled_) return *this;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "0x%llX", value);
  Key(key);
  line_ += buffer;
  return *this;
}

Event& Event::Real(const char* key, double value) {
  if (!enabled_) return *this;
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  Key(key);
  line_ += buffer;
  return *this;
}

Event& Event::Ptr(const char* key, const void* value) {
  return Hex(key, static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(value)));
}

Event& Event::Text(const char* key, const std::string& utf8) {
  if (!enabled_) return *this;
  Key(key);
  line_ += EncodeValue(utf8);
  return *this;
}

Event& Event::Text16(const char* key, const char16_t* text, std::size_t length) {
  if (!enabled_) return *this;
  return Text(key, Utf16ToJournalText(text, length));
}

}  // namespace standin
