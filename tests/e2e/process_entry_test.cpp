// The executable's exit codes and log as a Windows parent sees them, for the cases that do
// not need the stand-in engine: no engine library at all, and the log switched on and off
// by the flag beside the executable.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/process_harness.h"

namespace nimo {
namespace test {
namespace {

const char kLaunchPrefix[] = "[nimo-webengine] launched cmdline=";

TEST(ProcessEntry, NoEngineLibraryExitsOne) {
  Sandbox sandbox;
  ASSERT_TRUE(sandbox.ok()) << sandbox.error();
  const RunResult run = sandbox.Run("--nimomp-browser --nimomp-pipe=x");
  ASSERT_TRUE(run.started);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 1u);
  // The launch line with the whole command line, then every place the library was looked for.
  EXPECT_EQ(sandbox.ReadLog(), std::string(kLaunchPrefix) + "\"" + sandbox.exe_path() +
                                   "\" --nimomp-browser --nimomp-pipe=x\n"
                                   "[nimo-webengine] engine library dezor2.dll not loaded: " +
                                   sandbox.Path("dezor2.dll") + " (no such file), " + sandbox.root() +
                                   "\\libs\\dezor2.dll (no such file), " + sandbox.Path("libs\\dezor2.dll") +
                                   " (no such file)\n");
  // A file of that name that is no DLL is there but does not load.
  ASSERT_TRUE(sandbox.WriteFile("dezor2.dll", "not a library"));
  ASSERT_EQ(sandbox.Run("--nimomp-browser").exit_code, 1u);
  EXPECT_NE(sandbox.ReadLog().find(sandbox.Path("dezor2.dll") + " (there, but not loaded: Win32 error "),
            std::string::npos)
      << sandbox.ReadLog();
}

TEST(ProcessEntry, NoFlagNoLogFile) {
  SandboxLayout layout;
  layout.debug_flag = false;
  Sandbox sandbox(layout);
  ASSERT_TRUE(sandbox.ok()) << sandbox.error();
  const RunResult run = sandbox.Run("--nimomp-browser");
  ASSERT_TRUE(run.started && !run.timed_out);
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_FALSE(sandbox.LogExists());
}

TEST(ProcessEntry, FlagDirectoryEnablesTheLog) {
  SandboxLayout layout;
  layout.debug_flag_is_directory = true;
  Sandbox sandbox(layout);
  ASSERT_TRUE(sandbox.ok()) << sandbox.error();
  const RunResult run = sandbox.Run("--type=renderer");
  ASSERT_TRUE(run.started && !run.timed_out);
  // The launch line comes first (the search for the engine library follows).
  EXPECT_EQ(sandbox.ReadLog().rfind(std::string(kLaunchPrefix) + "\"" + sandbox.exe_path() + "\" --type=renderer\n", 0),
            0u)
      << sandbox.ReadLog();
  // Each process appends; nothing is truncated.
  ASSERT_TRUE(sandbox.Run("second").started);
  const std::string log = sandbox.ReadLog();
  EXPECT_NE(log.find("--type=renderer\n"), std::string::npos);
  EXPECT_NE(log.find("\" second\n"), std::string::npos);
}

}  // namespace
}  // namespace test
}  // namespace nimo
