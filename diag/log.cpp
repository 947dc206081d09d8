#include "diag/log.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace nimo {
namespace {

// -1 undecided, 0 off, 1 on. Two threads deciding at once decide the same value.
std::atomic<int> logging_state{-1};

// The log file and its flag file beside the executable, worked out once into fixed
// buffers: writing a line then allocates nothing, so even a report of an allocation
// failure gets out. The log sits below every other part of the program, so it finds that
// folder itself rather than asking host/base/paths.h.
struct LogPaths {
  char log[MAX_PATH + 32] = {};
  char flag[MAX_PATH + 32] = {};
  LogPaths() {
    char folder[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, folder, MAX_PATH);
    char* cut = std::strrchr(folder, '\\');
    if (char* slash = std::strrchr(folder, '/'); slash != nullptr && (cut == nullptr || slash > cut)) cut = slash;
    if (cut != nullptr) {
      *cut = '\0';
    } else {
      std::strcpy(folder, ".");
    }
    std::snprintf(log, sizeof log, "%s\\webengine.log", folder);
    std::snprintf(flag, sizeof flag, "%s\\ZUNT_DEBUG", folder);
  }
};

const LogPaths& Paths() {
  static const LogPaths paths;
  return paths;
}

}  // namespace

bool IsLoggingEnabled() noexcept {
  int state = logging_state.load(std::memory_order_relaxed);
  if (state == -1) {
    state = GetFileAttributesA(Paths().flag) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
    logging_state.store(state, std::memory_order_relaxed);
  }
  return state == 1;
}

void WriteLog(const char* format, LogArg first, LogArg second) noexcept {
  if (!IsLoggingEnabled() || format == nullptr) return;
  FILE* file = std::fopen(Paths().log, "a");
  if (file == nullptr) return;
  std::fprintf(file, format, first.value, second.value);
  std::fclose(file);
}

void WriteLogText(const char* text) noexcept {
  if (!IsLoggingEnabled() || text == nullptr) return;
  FILE* file = std::fopen(Paths().log, "a");
  if (file == nullptr) return;
  std::fputs(text, file);
  std::fclose(file);
}

}  // namespace nimo
