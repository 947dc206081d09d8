// GetSwitchValue reads the real command line of the process: the test starts a copy of
// itself with chosen switches and lets the copy check what it sees.
#include "base/command_line.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

const char kChildMarker[] = "NIMO_COMMAND_LINE_CHILD";

// Run only as the copy the case below starts (a DISABLED_ suite is left out of a normal run).
TEST(DISABLED_CommandLineChild, SeesItsOwnSwitches) {
  ASSERT_NE(std::getenv(kChildMarker), nullptr) << "runs only as the copy the case below starts";
  EXPECT_EQ(nimo::GetSwitchValue("--nimomp-cache", "d"), "C:\\with space\\cache");
  EXPECT_EQ(nimo::GetSwitchValue("--nimomp-pipe", "d"), "\\\\.\\pipe\\p1");
  EXPECT_EQ(nimo::GetSwitchValue("--nimomp-url", "d"), "");
  EXPECT_EQ(nimo::GetSwitchValue("--nimomp-locales", "fallback"), "fallback");
  EXPECT_EQ(nimo::GetSwitchValue(nullptr, "fallback"), "fallback");
}

TEST(CommandLine, ValuesComeFromTheProcessCommandLine) {
  char self[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
  std::string line = std::string("\"") + self +
                     "\" --gtest_also_run_disabled_tests --gtest_filter=DISABLED_CommandLineChild.* --nimomp-pipe=\\\\.\\pipe\\p1"
                     " --nimomp-cache=\"C:\\with space\\cache\" --nimomp-url=";
  ASSERT_TRUE(SetEnvironmentVariableA(kChildMarker, "1"));
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  const BOOL started =
      CreateProcessA(self, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableA(kChildMarker, nullptr);
  ASSERT_TRUE(started);
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(code, 0u) << "the started copy saw different switch values";
}

}  // namespace
