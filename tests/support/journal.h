// Test side of the stand-in engine (testbed/engine/README.md): writing its scenario file
// and reading back its journal. The reader decodes the journal's value escapes on its own,
// independently of the engine's writer, so a mismatch between the two shows in tests.
//
// Threads: test threads; a Journal is a snapshot of the file when loaded.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace nimo_test {

struct JournalEntry {
  unsigned long pid = 0;
  long long micros = 0;  // a process-independent monotonic clock
  std::string event;
  std::vector<std::pair<std::string, std::string>> fields;  // decoded values, in line order
  std::string line;                                        // the raw line

  bool Has(const std::string& key) const;
  std::string Get(const std::string& key, const std::string& fallback = std::string()) const;
  long long Int(const std::string& key, long long fallback = 0) const;
};

// Parses one journal line; false when it is not one.
bool ParseJournalLine(const std::string& line, JournalEntry* entry);

class Journal {
 public:
  // Reads the whole file; a missing file gives an empty journal.
  static Journal Load(const std::string& path);

  const std::vector<JournalEntry>& entries() const { return entries_; }
  // Entries of one event name, optionally only those whose `key` equals `value`.
  std::vector<JournalEntry> Events(const std::string& event) const;
  std::vector<JournalEntry> Events(const std::string& event, const std::string& key, const std::string& value) const;
  std::size_t Count(const std::string& event) const { return Events(event).size(); }
  // The first entry of that event, or null.
  const JournalEntry* First(const std::string& event) const;
  // Process ids that wrote the journal, in order of first appearance.
  std::vector<unsigned long> Pids() const;

  // The reference summary ("refs leaks=N overreleases=M") of process `pid` (0: the
  // first one found). False when that process wrote none (it never reached shutdown).
  bool References(unsigned long pid, long long* leaks, long long* overreleases) const;
  // Each "refs.leak" line as text, for failure messages.
  std::string DescribeLeaks() const;
  // Whether process `pid` (0: the first one found) wrote a reference summary with no leak
  // and no over-release; `detail` gets the counts and the leaks, or why there is none.
  bool ReferencesClean(unsigned long pid, std::string* detail) const;

 private:
  std::vector<JournalEntry> entries_;
};

// Builds a scenario file line by line:
//   ScenarioWriter s;
//   s.Line("exit_code 7 type=gpu-process");
//   s.Page("file:///C:/ui/*", {"load_start", "console level=2 message=" + ScenarioWriter::Quote("hi"), "load_end"});
class ScenarioWriter {
 public:
  ScenarioWriter& Line(const std::string& directive);
  ScenarioWriter& Page(const std::string& pattern, const std::vector<std::string>& actions);
  ScenarioWriter& Renderer(const std::vector<std::string>& actions);
  const std::string& Text() const { return text_; }
  bool WriteTo(const std::string& path) const;

  // A scenario value holding any bytes: quoted, with \\ \" \n \r \t \xHH escapes.
  static std::string Quote(const std::string& text);

 private:
  std::string text_;
};

}  // namespace nimo_test
