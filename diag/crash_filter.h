// The browser process's unhandled-exception filter: one log line naming the exception code
// and where it happened, then the system's own handling goes on. Installed with
// SetUnhandledExceptionFilter; runs on the thread that raised the exception.
#pragma once
#include <windows.h>

#include <string>

namespace nimo {

// Writes the crash line (when logging is on) and returns EXCEPTION_CONTINUE_SEARCH.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info);

// The line CrashFilter writes for `info`, or empty when there is no exception record.
std::string DescribeCrash(const EXCEPTION_POINTERS* info);

}  // namespace nimo
