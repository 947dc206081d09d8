#include "diag/log.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "diag/portable/extended_path.h"

namespace nimo {
namespace {

// -1 undecided, 0 off, 1 on. Two threads deciding at once decide the same value.
std::atomic<int> logging_state{-1};

// The log file and its flag file beside the executable, worked out once on the first log
// call: every later line allocates nothing, so even a report of an allocation failure gets
// out. The executable's path is read as UTF-16 into a buffer that holds the longest path
// the system hands out, so a folder name of any script, and a long one, is never cut or
// mangled on its way to the file calls. The log sits below every other part of the
// program, so it finds that folder itself rather than asking base/paths.h.
struct LogPaths {
  std::wstring log;
  std::wstring flag;
  LogPaths() {
    static wchar_t folder[32768];
    const DWORD n = GetModuleFileNameW(nullptr, folder, sizeof folder / sizeof folder[0]);
    // A path that does not fit would come back cut: no log rather than a wrong one.
    if (n >= sizeof folder / sizeof folder[0]) return;
    try {
      std::wstring dir(folder, n);
      const std::size_t cut = dir.find_last_of(L"\\/");
      dir = cut == std::wstring::npos ? std::wstring(L".") : dir.substr(0, cut);
      log = ExtendedLengthPath(dir + L"\\webengine.log");
      flag = ExtendedLengthPath(dir + L"\\ZUNT_DEBUG");
    } catch (...) {
      // Out of memory at the very first log call: this process logs nothing.
      log.clear();
      flag.clear();
    }
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
    const std::wstring& flag = Paths().flag;
    state = !flag.empty() && GetFileAttributesW(flag.c_str()) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
    logging_state.store(state, std::memory_order_relaxed);
  }
  return state == 1;
}

void WriteLog(const char* format, LogArg first, LogArg second) noexcept {
  if (!IsLoggingEnabled() || format == nullptr) return;
  FILE* file = _wfopen(Paths().log.c_str(), L"a");
  if (file == nullptr) return;
  std::fprintf(file, format, first.value, second.value);
  std::fclose(file);
}

void WriteLogText(const char* text) noexcept {
  if (!IsLoggingEnabled() || text == nullptr) return;
  FILE* file = _wfopen(Paths().log.c_str(), L"a");
  if (file == nullptr) return;
  std::fputs(text, file);
  std::fclose(file);
}

}  // namespace nimo
