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

}  // namespace

int EndChromiumOf(const Journal& journal) {
  int ended = 0;
  for (const JournalEntry& e : journal.Events("chromium.started")) {
    const long long pid = e.Int("pid");
    const std::string folder = e.Get("folder");
    if (pid <= 0 || folder.empty() || !FolderExists(folder)) continue;
    // A Linux program started from Wine: no handle comes back, so the folder tells the end.
    std::string command = "/bin/sh -c \"grep -q '" + folder + "' /proc/" + std::to_string(pid) +
                          "/cmdline 2>/dev/null && kill -KILL " + std::to_string(pid) + "; sleep 1; rm -rf '" +
                          folder + "'\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                       &info)) {
      // Fire and forget: both handles are closed at once.
      const nimo::UniqueHandle process(info.hProcess);
      const nimo::UniqueHandle thread(info.hThread);
    }
    for (int i = 0; i < 100 && FolderExists(folder); ++i) Sleep(50);
    ++ended;
  }
  return ended;
}

}  // namespace nimo_test
