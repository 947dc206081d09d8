// Follows a stand-in journal while the engine appends to it: each Poll reads only the
// bytes added since the previous one, so a long run can watch its journal without
// reading the whole file again and again. A line still being written waits for the next
// Poll.
//
// Threads: one test thread per JournalTail.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/journal.h"

namespace nimo_test {

class JournalTail {
 public:
  explicit JournalTail(const std::string& path) : path_(path) {}

  // The entries of the lines completed since the previous call (none when the file does
  // not exist yet).
  std::vector<JournalEntry> Poll();

 private:
  std::string path_;
  std::uint64_t offset_ = 0;  // bytes consumed, up to the end of the last whole line
};

}  // namespace nimo_test
