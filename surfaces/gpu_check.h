// The one way the engine checks a Direct3D/DXGI call: a failure is logged with its HRESULT,
// what was called and where (source file and line), so every line in the log says what
// failed, how and at which place. In the spirit of the usual RETURN_IF_FAILED macros, but
// the caller decides what a failure means (skip a frame, recover the device, give up).
//
// Threads: any (the log is thread-safe); the engine calls it on the UI thread.
#pragma once
#include <cstdint>

namespace nimo {

// Writes the failure line of `hr` for `what` at file:line (surfaces/portable/gpu_log_lines.h).
void LogGpuFailure(std::int32_t hr, const char* what, const char* file, int line) noexcept;

// True (and logged) when `hr` failed.
inline bool GpuCallFailed(std::int32_t hr, const char* what, const char* file, int line) noexcept {
  if (hr >= 0) return false;
  LogGpuFailure(hr, what, file, line);
  return true;
}

}  // namespace nimo

// `if (NIMO_GPU_FAILED(device->CreateTexture2D(...), "CreateTexture2D(shared)")) return false;`
#define NIMO_GPU_FAILED(hr, what) ::nimo::GpuCallFailed(static_cast<std::int32_t>(hr), (what), __FILE__, __LINE__)
// Logs a failure whose result the caller already holds (for logging only once, say).
#define NIMO_LOG_GPU_FAILURE(hr, what) ::nimo::LogGpuFailure(static_cast<std::int32_t>(hr), (what), __FILE__, __LINE__)
