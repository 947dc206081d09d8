// The log and the flag files, run where they belong: this test program copies itself into
// a sandbox and runs the LogChild cases there, beside their own ZUNT_DEBUG (or without
// it), so the per-process logging decision and the files beside the executable are real.
#include "diag/log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/paths.h"
#include "base/wide_text.h"
#include "tests/support/process_harness.h"

namespace nimo {
namespace test {
namespace {

bool InChild() {
  char value[4] = {};
  return GetEnvironmentVariableA("NIMO_LOG_CHILD", value, sizeof value) > 0;
}

std::string Beside(const char* name) { return GetExecutableDirectory() + "\\" + name; }

std::string ReadBeside(const char* name) {
  std::string content;
  FILE* file = std::fopen(Beside(name).c_str(), "rb");
  if (file == nullptr) return content;
  char buffer[1024];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, n);
  std::fclose(file);
  return content;
}

bool Exists(const char* name) {
  return GetFileAttributesA(Beside(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// ---- Cases run inside the sandbox (a DISABLED_ suite: left out of a normal run) ----------

TEST(DISABLED_LogChild, WritesAppendsAndRecreates) {
  ASSERT_TRUE(InChild()) << "runs only inside the sandbox, started by the cases below";
  ASSERT_TRUE(IsLoggingEnabled());
  WriteLog("[nimo-webengine][ipc] a=%d b=%s\n", 42, "text");
  WriteLog("[nimo-webengine][gpu] p=%p\n", reinterpret_cast<const void*>(0x1234));
  WriteLogText("[nimo-webengine][perf] ready-made 100%\n");
  EXPECT_EQ(ReadBeside("webengine.log"),
            "[nimo-webengine][ipc] a=42 b=text\r\n"
            "[nimo-webengine][gpu] p=0000000000001234\r\n"
            "[nimo-webengine][perf] ready-made 100%\r\n");
  // Never held open: the file can go away and the next line makes it afresh.
  ASSERT_TRUE(DeleteFileA(Beside("webengine.log").c_str()));
  WriteLog("[nimo-webengine][browser] again\n");
  EXPECT_EQ(ReadBeside("webengine.log"), "[nimo-webengine][browser] again\r\n");
  // Decided once per process: removing the flag changes nothing now.
  ASSERT_TRUE(DeleteFileA(Beside("ZUNT_DEBUG").c_str()));
  WriteLog("[nimo-webengine][browser] still on\n");
  EXPECT_NE(ReadBeside("webengine.log").find("still on"), std::string::npos);
}

TEST(DISABLED_LogChild, FlagFilesAreTestedAfresh) {
  ASSERT_TRUE(InChild()) << "runs only inside the sandbox, started by the cases below";
  EXPECT_FALSE(FlagFileExists("ZUNT_WEB_TESTPAGE"));
  FILE* file = std::fopen(Beside("ZUNT_WEB_TESTPAGE").c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_TRUE(FlagFileExists("ZUNT_WEB_TESTPAGE"));
  ASSERT_TRUE(DeleteFileA(Beside("ZUNT_WEB_TESTPAGE").c_str()));
  EXPECT_FALSE(FlagFileExists("ZUNT_WEB_TESTPAGE"));
  ASSERT_TRUE(CreateDirectoryA(Beside("ZUNT_WEB_NOEXTBF").c_str(), nullptr));
  EXPECT_TRUE(FlagFileExists("ZUNT_WEB_NOEXTBF"));  // a directory counts
}

TEST(DISABLED_LogChild, OffStaysOff) {
  ASSERT_TRUE(InChild()) << "runs only inside the sandbox, started by the cases below";
  EXPECT_FALSE(IsLoggingEnabled());
  WriteLog("[nimo-webengine] lost\n");
  // A flag created after the decision does not switch it on.
  FILE* file = std::fopen(Beside("ZUNT_DEBUG").c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  WriteLog("[nimo-webengine] lost too\n");
  WriteLogText("[nimo-webengine] lost as well\n");
  EXPECT_FALSE(IsLoggingEnabled());
  EXPECT_FALSE(Exists("webengine.log"));
}

// ---- Driver -------------------------------------------------------------------------------

SandboxLayout SelfLayout(bool debug_flag) {
  SandboxLayout layout;
  layout.program = "win_log.exe";
  layout.exe_name = "win_log.exe";
  layout.debug_flag = debug_flag;
  return layout;
}

TEST(Log, RunsInASandboxWithTheFlag) {
  Sandbox sandbox(SelfLayout(true));
  ASSERT_TRUE(sandbox.ok()) << sandbox.error();
  const RunResult run = sandbox.Run(
      "--gtest_also_run_disabled_tests "
      "--gtest_filter=DISABLED_LogChild.WritesAppendsAndRecreates:DISABLED_LogChild.FlagFilesAreTestedAfresh",
      {"NIMO_LOG_CHILD=1"});
  ASSERT_TRUE(run.started && !run.timed_out);
  EXPECT_EQ(run.exit_code, 0u) << "a LogChild case failed (run win_log with NIMO_KEEP_SANDBOX=1)";
  EXPECT_NE(sandbox.ReadLog().find("still on\n"), std::string::npos);
}

TEST(Log, RunsInASandboxWithoutTheFlag) {
  Sandbox sandbox(SelfLayout(false));
  ASSERT_TRUE(sandbox.ok()) << sandbox.error();
  const RunResult run =
      sandbox.Run("--gtest_also_run_disabled_tests --gtest_filter=DISABLED_LogChild.OffStaysOff", {"NIMO_LOG_CHILD=1"});
  ASSERT_TRUE(run.started && !run.timed_out);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_FALSE(sandbox.LogExists());
}

// The executable's path comes from a call that cuts a path too long for the buffer and
// says so only by filling the buffer whole: every length at and around each buffer size
// comes back whole, and a path that never fits is no path.
TEST(Paths, ACutPathIsAskedForAgainWithALargerBuffer) {
  for (const std::size_t length : {3u, 259u, 260u, 261u, 519u, 520u, 521u, 4000u, 20000u, 32767u, 32768u, 40000u}) {
    SCOPED_TRACE(length);
    const std::wstring path = L"C:\\" + std::wstring(length - 3, L'x');
    int calls = 0;
    const std::string got = GrowingPath([&](wchar_t* buffer, DWORD size) -> DWORD {
      ++calls;
      // As GetModuleFileNameW: a path that does not fit with its terminator is cut to the
      // buffer and the buffer's size is returned.
      const std::size_t copied = path.size() < size ? path.size() : size - 1;
      path.copy(buffer, copied);
      buffer[copied] = L'\0';
      return path.size() < size ? static_cast<DWORD>(path.size()) : size;
    });
    if (path.size() < 32768) {
      EXPECT_EQ(got.size(), path.size());
      EXPECT_EQ(got, Utf8FromWide(path.data(), path.size()));
    } else {
      EXPECT_EQ(got, "") << "a path cut at the longest buffer was taken";
    }
    EXPECT_LE(calls, 8);
  }
  EXPECT_EQ(GrowingPath([](wchar_t*, DWORD) -> DWORD { return 0; }), "");
}

}  // namespace
}  // namespace test
}  // namespace nimo
