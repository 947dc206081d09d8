#include "tests/support/journal.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace nimo_test {
namespace {

void AppendUtf8(std::string* out, unsigned long cp) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Reads one value starting at `i` (bare up to a space, or quoted); advances `i`.
bool ReadValue(const std::string& line, std::size_t* i, std::string* value) {
  std::size_t p = *i;
  value->clear();
  if (p < line.size() && line[p] == '"') {
    ++p;
    while (p < line.size() && line[p] != '"') {
      char c = line[p++];
      if (c != '\\') {
        *value += c;
        continue;
      }
      if (p >= line.size()) return false;
      char e = line[p++];
      switch (e) {
        case 'n': *value += '\n'; break;
        case 'r': *value += '\r'; break;
        case 't': *value += '\t'; break;
        case '\\': *value += '\\'; break;
        case '"': *value += '"'; break;
        case 'x':
          if (p + 2 > line.size()) return false;
          *value += static_cast<char>(std::strtoul(line.substr(p, 2).c_str(), nullptr, 16));
          p += 2;
          break;
        case 'u': {
          std::size_t close = line.find('}', p);
          if (p >= line.size() || line[p] != '{' || close == std::string::npos) return false;
          AppendUtf8(value, std::strtoul(line.substr(p + 1, close - p - 1).c_str(), nullptr, 16));
          p = close + 1;
          break;
        }
        default: return false;
      }
    }
    if (p >= line.size()) return false;
    *i = p + 1;
    return true;
  }
  while (p < line.size() && line[p] != ' ') *value += line[p++];
  *i = p;
  return true;
}

}  // namespace

bool JournalEntry::Has(const std::string& key) const {
  for (const auto& f : fields) {
    if (f.first == key) return true;
  }
  return false;
}

std::string JournalEntry::Get(const std::string& key, const std::string& fallback) const {
  for (const auto& f : fields) {
    if (f.first == key) return f.second;
  }
  return fallback;
}

long long JournalEntry::Int(const std::string& key, long long fallback) const {
  if (!Has(key)) return fallback;
  return std::strtoll(Get(key).c_str(), nullptr, 0);
}

bool ParseJournalLine(const std::string& raw, JournalEntry* entry) {
  std::string line = raw;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  *entry = JournalEntry();
  entry->line = line;
  std::istringstream head(line);
  if (!(head >> entry->pid >> entry->micros >> entry->event)) return false;
  std::size_t i = line.find(entry->event, line.find(' ', line.find(' ') + 1));
  if (i == std::string::npos) return false;
  i += entry->event.size();
  while (i < line.size()) {
    if (line[i] != ' ') return false;
    ++i;
    std::size_t eq = line.find('=', i);
    if (eq == std::string::npos) return false;
    std::string key = line.substr(i, eq - i);
    i = eq + 1;
    std::string value;
    if (!ReadValue(line, &i, &value)) return false;
    entry->fields.emplace_back(key, value);
  }
  return true;
}

Journal Journal::Load(const std::string& path) {
  Journal journal;
  // UTF-8 path, opened through the wide calls: the journal may lie in a folder of any script.
  std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    JournalEntry entry;
    if (ParseJournalLine(line, &entry)) journal.entries_.push_back(entry);
  }
  return journal;
}

std::vector<JournalEntry> Journal::Events(const std::string& event) const {
  std::vector<JournalEntry> found;
  for (const JournalEntry& e : entries_) {
    if (e.event == event) found.push_back(e);
  }
  return found;
}

std::vector<JournalEntry> Journal::Events(const std::string& event, const std::string& key,
                                          const std::string& value) const {
  std::vector<JournalEntry> found;
  for (const JournalEntry& e : entries_) {
    if (e.event == event && e.Has(key) && e.Get(key) == value) found.push_back(e);
  }
  return found;
}

const JournalEntry* Journal::First(const std::string& event) const {
  for (const JournalEntry& e : entries_) {
    if (e.event == event) return &e;
  }
  return nullptr;
}

std::vector<unsigned long> Journal::Pids() const {
  std::vector<unsigned long> pids;
  for (const JournalEntry& e : entries_) {
    bool seen = false;
    for (unsigned long p : pids) seen = seen || p == e.pid;
    if (!seen) pids.push_back(e.pid);
  }
  return pids;
}

bool Journal::References(unsigned long pid, long long* leaks, long long* overreleases) const {
  for (const JournalEntry& e : entries_) {
    if (e.event == "refs" && (pid == 0 || e.pid == pid)) {
      *leaks = e.Int("leaks", -1);
      *overreleases = e.Int("overreleases", -1);
      return true;
    }
  }
  return false;
}

std::string Journal::DescribeLeaks() const {
  std::string text;
  for (const JournalEntry& e : entries_) {
    if (e.event == "refs.leak" || e.event == "refs.overrelease" || e.event == "refs.use_after_release") {
      text += e.line + "\n";
    }
  }
  return text;
}

ScenarioWriter& ScenarioWriter::Line(const std::string& directive) {
  text_ += directive;
  text_ += '\n';
  return *this;
}

ScenarioWriter& ScenarioWriter::Page(const std::string& pattern, const std::vector<std::string>& actions) {
  Line("page " + Quote(pattern));
  for (const std::string& a : actions) Line("  " + a);
  return Line("end");
}

ScenarioWriter& ScenarioWriter::Renderer(const std::vector<std::string>& actions) {
  Line("renderer");
  for (const std::string& a : actions) Line("  " + a);
  return Line("end");
}

bool ScenarioWriter::WriteTo(const std::string& path) const {
  std::ofstream file(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
  file << text_;
  return static_cast<bool>(file);
}

std::string ScenarioWriter::Quote(const std::string& text) {
  std::string out = "\"";
  char buffer[8];
  for (unsigned char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
          out += buffer;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

bool Journal::ReferencesClean(unsigned long pid, std::string* detail) const {
  long long leaks = -1, overreleases = -1;
  if (!References(pid, &leaks, &overreleases)) {
    if (detail) *detail = "no reference summary (the process never reached shutdown)";
    return false;
  }
  if (detail) {
    *detail = "leaks=" + std::to_string(leaks) + " overreleases=" + std::to_string(overreleases) + "\n" +
              DescribeLeaks();
  }
  return leaks == 0 && overreleases == 0;
}

}  // namespace nimo_test
