// Which Chromium switches every process of the engine gets, and when CPU rendering is
// forced. Pure decisions; any thread.
#pragma once
#include <vector>

namespace nimo {

// One switch, named without its leading dashes; `value` is null for a plain switch.
struct EngineSwitch {
  const char* name;
  const char* value;
};

// The switches in the order they are appended: the common five, then either the CPU set
// (GPU and GPU compositing off) or the GPU set (ANGLE on Direct3D 11 and the feature lists).
std::vector<EngineSwitch> EngineSwitchSet(bool cpu_rendering_forced);

// Whether the ZUNT_CEF_CPU variable forces CPU rendering, given what
// GetEnvironmentVariableA returned for an 8-byte buffer and the buffer: only the exact
// one-character value "1" does (longer values, "0", "true", unset do not).
bool EnvironmentForcesCpu(unsigned long get_environment_result, const char* buffer);

}  // namespace nimo
