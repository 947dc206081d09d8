#include "surfaces/gpu_check.h"

#include "diag/log.h"
#include "surfaces/portable/gpu_log_lines.h"

namespace nimo {

void LogGpuFailure(std::int32_t hr, const char* what, const char* file, int line) noexcept {
  try {
    WriteLogText(FormatGpuFailureLine(what, hr, file, line).c_str());
  } catch (...) {
    // Out of memory while logging: the failure itself is handled by the caller.
  }
}

}  // namespace nimo
