// The application object handed to the engine in every process (cef_execute_process and
// cef_initialize): it appends the fixed Chromium switches before the engine reads its
// command line and supplies the renderer's process handler.
// GetEngineApp: main thread, first call before the engine starts. The callbacks run on
// whatever thread the engine chooses and touch no shared state.
#pragma once
#include <string>

#include "base/portable/engine_abi.h"

namespace nimo {

// The process-wide static application object, filled on the first call.
cef_app_t* GetEngineApp();

// Whether this process renders on the CPU: ZUNT_CEF_CPU is exactly "1", or the fixed
// marker file exists. Decided afresh at each call.
bool CpuRenderingForced();

// Appends "--name=value" to `command_line` through its append_switch_with_value; does
// nothing when the command line lacks that slot. Both texts are UTF-8.
void AppendSwitchWithValue(cef_command_line_t* command_line, const std::string& name,
                           const std::string& value);

}  // namespace nimo
