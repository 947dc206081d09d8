// The stand-in's journal: one line per event, appended to the file named by the
// environment variable NIMO_STANDIN_JOURNAL (nothing is written when it is unset).
//
// Line format (see README.md):  <pid> <microseconds> <event> key=value key="text" ...
// A value is written bare when it is made only of letters, digits and -_.:/+,@#%*?!~[]{}()
// and quoted otherwise, with \\ \" \n \r \t \xHH (control or invalid bytes) and \u{HHHH}
// (a lone UTF-16 surrogate) escapes. Every line is one WriteFile on a file opened for
// appending, so lines of several processes never interleave.
//
// Threads: any thread of any process.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace standin {

// Re-reads the environment; called when the engine library is first used.
void OpenJournal();
bool JournalEnabled();
// The clock every line is stamped with: microseconds of the performance counter, which
// all processes share.
long long JournalMicros();

// Events whose name starts with one of these prefixes are counted instead of written
// (the scenario's `quiet` directive, for long or fast runs).
void SetQuietPrefixes(const std::vector<std::string>& prefixes);
// Journals one "journal.quiet prefix count" line per prefix.
void ReportQuietCounts();

// Builds one line and writes it when it goes out of scope:
//   Event("host.was_hidden").Num("browser", 1).Num("hidden", 0);
class Event {
 public:
  explicit Event(const char* name);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  Event& Num(const char* key, long long value);
  Event& Unsigned(const char* key, unsigned long long value);
  Event& Hex(const char* key, unsigned long long value);
  Event& Real(const char* key, double value);
  Event& Ptr(const char* key, const void* value);
  Event& Text(const char* key, const std::string& utf8);
  Event& Text16(const char* key, const char16_t* text, std::size_t length);

 private:
  void Key(const char* key);
  std::string line_;
  bool enabled_;
  bool counted_ = false;
};

// Text as written in a journal or scenario value (bare or quoted, see above).
std::string EncodeValue(const std::string& bytes);

// UTF-16 to UTF-8; a lone surrogate becomes its three-byte generalized form, which
// EncodeValue writes as \u{HHHH} so the journal keeps every code unit visible.
std::string Utf16ToJournalText(const char16_t* text, std::size_t length);

}  // namespace standin
