#include "tests/support/journal_tail.h"

#include <fstream>

namespace nimo_test {

std::vector<JournalEntry> JournalTail::Poll() {
  std::vector<JournalEntry> entries;
  std::ifstream file(path_, std::ios::binary);
  if (!file) return entries;
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size <= static_cast<std::streamoff>(offset_)) return entries;
  file.seekg(static_cast<std::streamoff>(offset_));
  std::string text(static_cast<std::size_t>(size - static_cast<std::streamoff>(offset_)), '\0');
  file.read(&text[0], static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(file.gcount()));
  const std::size_t end = text.rfind('\n');
  if (end == std::string::npos) return entries;
  offset_ += end + 1;
  std::size_t start = 0;
  while (start <= end) {
    const std::size_t stop = text.find('\n', start);
    std::string line = text.substr(start, stop - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    JournalEntry entry;
    if (ParseJournalLine(line, &entry)) entries.push_back(entry);
    start = stop + 1;
  }
  return entries;
}

}  // namespace nimo_test
