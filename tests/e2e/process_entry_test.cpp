// The executable's exit codes and log as a Windows parent sees them, for the cases that do
// not need the stand-in engine: no engine library at all, a library without the engine's
// dispatcher, and the log switched on and off by the flag beside the executable.
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
  // The launch line is all the log says, with the whole command line.
  EXPECT_EQ(sandbox.ReadLog(), std::string(kLaunchPrefix) + "\"" + sandbox.exe_path() +
                                   "\" --nimomp-browser --nimomp-pipe=x\n");
}

TEST(ProcessEntry, LibraryWithoutDispatcherExitsOne) {
  // Any loadable library that is not the engine: the stand-in DXGI serves.
  Sandbox sandbox;
  ASSERT_TRUE(sandbox.ok()) << sandbox.error();
  if (!sandbox.CopyFromBin("dxgi.dll", "", "dezor2.dll")) GTEST_SKIP() << "no dxgi.dll stand-in";
  // Prove the premise: it loads, and lacks the dispatcher.
  HMODULE module = LoadLibraryA(sandbox.Path("dezor2.dll").c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetProcAddress(module, "cef_execute_process"), nullptr);
  FreeLibrary(module);

  const RunResult run = sandbox.Run("--nimomp-browser");
  ASSERT_TRUE(run.started && !run.timed_out);
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_EQ(sandbox.ReadLog().rfind(kLaunchPrefix, 0), 0u);
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
  EXPECT_EQ(sandbox.ReadLog(), std::string(kLaunchPrefix) + "\"" + sandbox.exe_path() +
                                   "\" --type=renderer\n");
  // Each process appends; nothing is truncated.
  sandbox.Run("second");
  const std::string log = sandbox.ReadLog();
  EXPECT_NE(log.find("--type=renderer\n"), std::string::npos);
  EXPECT_NE(log.find("\" second\n"), std::string::npos);
}

}  // namespace
}  // namespace test
}  // namespace nimo
