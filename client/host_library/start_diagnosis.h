// What Host::Start adds to a StartError once the engine was started: its exit code, and the
// lines it wrote to its log (webengine.log beside the engine, written while the flag file
// ZUNT_DEBUG is there) since the start began.
//
// Threads: Start's thread.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "client/nimo_host.h"

namespace nimo {
namespace host {

class StartDiagnosis {
 public:
  // Before the engine starts: notes where the log ends now, so only this start's lines are
  // shown later.
  explicit StartDiagnosis(const std::string& engine_path);

  // The engine's exit code (waiting up to `wait_ms` for an engine whose pipe is gone to
  // end), the flag file's place, the log file when the flag exists and its newest lines.
  void Describe(HANDLE process, DWORD wait_ms, StartError* error) const;

 private:
  std::string flag_;
  std::string log_;
  std::uint64_t log_start_ = 0;
};

}  // namespace host
}  // namespace nimo
