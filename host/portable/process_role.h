// Which role the process takes once the engine's sub-process dispatcher has returned.
// Pure decision; main thread.
#pragma once

namespace nimo {

enum class ProcessRole {
  kEngineSubprocess,  // the engine ran this process as one of its own: exit with its code
  kNone,              // not ours to run: exit with the engine's negative value
  kBrowser,           // the client started us: run the browser process
};

// `execute_result` is what cef_execute_process returned; `command_line` the process's
// command line as UTF-8 (null when the system gives none). The browser switch is found by plain, case-sensitive
// substring search, so it also counts inside another argument.
ProcessRole SelectProcessRole(int execute_result, const char* command_line);

}  // namespace nimo
