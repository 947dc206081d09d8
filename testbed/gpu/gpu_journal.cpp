// The stand-in's operation log: one line per call of interest, appended and flushed at
// once so a test can read it while the process still runs, or after it crashed.
#include "testbed/gpu/gpu_common.h"

#include <cstdarg>
#include <cstdio>

namespace standin {

void Journal(const char* format, ...) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("NIMO_STANDIN_GPU_LOG", path, sizeof path);
  if (n == 0 || n >= sizeof path) return;
  char line[600];
  int head = std::snprintf(line, sizeof line, "gpu pid=%lu ", GetCurrentProcessId());
  va_list args;
  va_start(args, format);
  int body = std::vsnprintf(line + head, sizeof line - head - 1, format, args);
  va_end(args);
  if (body < 0) return;
  size_t len = head + (static_cast<size_t>(body) < sizeof line - head - 1
                           ? static_cast<size_t>(body) : sizeof line - head - 2);
  line[len++] = '\n';
  // Appends from several processes at once: FILE_APPEND_DATA makes each write atomic.
  HANDLE f = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(f, line, static_cast<DWORD>(len), &written, nullptr);
  CloseHandle(f);
}

}  // namespace standin
