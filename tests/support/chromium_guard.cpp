#include "tests/support/chromium_guard.h"

#include <windows.h>

#include <string>

#include "base/win_handle.h"

namespace nimo_test {
namespace {

bool FolderExists(const std::string& unix_folder) {
  std::string path = "Z:" + unix_folder;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs a host shell command without waiting for it (a Linux program started from Wine:
// no handle that tells its end comes back).
bool RunOnHost(std::string command) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &info)) {
    return false;
  }
  const nimo::UniqueHandle process(info.hProcess);
  const nimo::UniqueHandle thread(info.hThread);
  return true;
}

// The kill of a browser's pid, only while that pid still runs the browser of `folder`.
std::string KillCommand(long long pid, const std::string& folder) {
  return "grep -q '" + folder + "' /proc/" + std::to_string(pid) + "/cmdline 2>/dev/null && kill -KILL " +
         std::to_string(pid);
}

}  // namespace

bool KillChromium(const JournalEntry& started) {
  const long long pid = started.Int("pid");
  const std::string folder = started.Get("folder");
  if (pid <= 0 || folder.empty()) return false;
  return RunOnHost("/bin/sh -c \"" + KillCommand(pid, folder) + "\"");
}

int EndChromiumOf(const Journal& journal) {
  int ended = 0;
  for (const JournalEntry& e : journal.Events("chromium.started")) {
    const long long pid = e.Int("pid");
    const std::string folder = e.Get("folder");
    if (pid <= 0 || folder.empty() || !FolderExists(folder)) continue;
    // The folder tells the end.
    RunOnHost("/bin/sh -c \"" + KillCommand(pid, folder) + "; sleep 1; rm -rf '" + folder + "'\"");
    for (int i = 0; i < 100 && FolderExists(folder); ++i) Sleep(50);
    ++ended;
  }
  return ended;
}

}  // namespace nimo_test
