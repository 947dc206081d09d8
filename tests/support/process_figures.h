// Resource figures of running processes, for the soaks: another Windows process's handle
// count and private bytes, and the resident memory of a host (Linux) process tree, such as
// the headless Chromium the stand-in engine starts.
//
// Threads: any.
#pragma once
#include <windows.h>

#include <cstdint>

namespace nimo_test {

struct ProcessFigures {
  DWORD handles = 0;
  std::uint64_t private_bytes = 0;
  bool ok = false;
};

// Under Wine GetProcessHandleCount answers 0, so the handle table is probed value by value.
ProcessFigures SampleProcess(HANDLE process);

// The summed VmRSS of the host process `pid` and all its descendants, read from the host's
// /proc through Wine's drive Z:; 0 when the process is gone or /proc cannot be read.
std::uint64_t HostTreeRssBytes(long long pid);

}  // namespace nimo_test
