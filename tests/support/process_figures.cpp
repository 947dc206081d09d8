#include "tests/support/process_figures.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace nimo_test {
namespace {

// Handle values are handed out lowest first, so a long run of free values ends the table.
DWORD ProbeHandleCount(HANDLE process) {
  DWORD count = 0, free_run = 0;
  for (std::uintptr_t value = 4; free_run < 1024 && value < (1u << 20); value += 4) {
    HANDLE copy = nullptr;
    if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS)) {
      CloseHandle(copy);
      ++count;
      free_run = 0;
    } else {
      ++free_run;
    }
  }
  return count;
}

std::string ReadHostFile(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

}  // namespace

ProcessFigures SampleProcess(HANDLE process) {
  ProcessFigures f;
  PROCESS_MEMORY_COUNTERS_EX pmc = {};
  pmc.cb = sizeof pmc;
  if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc)) return f;
  // Wine leaves PrivateUsage at 0 and reports the private commit as the page-file usage,
  // which Windows keeps equal to it.
  f.private_bytes = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
  if (!GetProcessHandleCount(process, &f.handles) || f.handles == 0) f.handles = ProbeHandleCount(process);
  f.ok = f.handles > 0 && f.private_bytes > 0;
  return f;
}

std::uint64_t HostTreeRssBytes(long long pid) {
  // Every host process's parent, from /proc/<pid>/stat ("pid (name) state ppid ...", the
  // name may hold spaces and parentheses: the last ')' ends it).
  std::map<long long, std::vector<long long>> children;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    char* end = nullptr;
    const long long p = std::strtoll(entry.cFileName, &end, 10);
    if (p <= 0 || *end != '\0') continue;
    const std::string stat = ReadHostFile("Z:\\proc\\" + std::string(entry.cFileName) + "\\stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    long long parent = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %lld", &state, &parent) == 2) children[parent].push_back(p);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  std::uint64_t total = 0;
  std::vector<long long> todo = {pid};
  while (!todo.empty()) {
    const long long p = todo.back();
    todo.pop_back();
    const std::string status = ReadHostFile("Z:\\proc\\" + std::to_string(p) + "\\status");
    const std::size_t at = status.find("VmRSS:");
    if (at != std::string::npos) total += std::strtoull(status.c_str() + at + 6, nullptr, 10) * 1024;
    for (long long child : children[p]) todo.push_back(child);
  }
  return total;
}

}  // namespace nimo_test
