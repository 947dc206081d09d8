#include "diag/log.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>


namespace nimo {
namespace {

// -1 undecided, 0 off, 1 on. Two threads deciding at once decide the same value.
std::atomic<int> logging_state{-1};

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Beside the executable. The log sits below every other part of the program, so it finds
// that folder itself rather than asking host/paths.h.
std::string ExecutableDirectory() {
  char buffer[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  const std::string path = buffer;
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

std::string LogPath() { return ExecutableDirectory() + "\\webengine.log"; }

}  // namespace

bool IsLoggingEnabled() {
  int state = logging_state.load(std::memory_order_relaxed);
  if (state == -1) {
    state = PathExists(ExecutableDirectory() + "\\ZUNT_DEBUG") ? 1 : 0;
    logging_state.store(state, std::memory_order_relaxed);
  }
  return state == 1;
}

void WriteLog(const char* format, LogArg first, LogArg second) {
  if (!IsLoggingEnabled() || format == nullptr) return;
  FILE* file = std::fopen(LogPath().c_str(), "a");
  if (file == nullptr) return;
  std::fprintf(file, format, first.value, second.value);
  std::fclose(file);
}

void WriteLogText(const char* text) {
  if (!IsLoggingEnabled() || text == nullptr) return;
  FILE* file = std::fopen(LogPath().c_str(), "a");
  if (file == nullptr) return;
  std::fputs(text, file);
  std::fclose(file);
}

}  // namespace nimo
