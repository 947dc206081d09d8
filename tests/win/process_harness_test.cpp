// The sandbox other tests build on: its own folder with the copies, an environment that
// does not leak the caller's switches, and nothing left behind.
#include "tests/support/process_harness.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace nimo {
namespace test {
namespace {

bool Has(const std::vector<std::string>& entries, const std::string& entry) {
  return std::find(entries.begin(), entries.end(), entry) != entries.end();
}

bool HasName(const std::vector<std::string>& entries, const std::string& name) {
  for (const std::string& e : entries) {
    if (_strnicmp(e.c_str(), (name + "=").c_str(), name.size() + 1) == 0) return true;
  }
  return false;
}

TEST(ProcessHarness, EnvironmentDropsSwitchesAndAppliesChanges) {
  SetEnvironmentVariableA("ZUNT_CEF_CPU", "1");
  SetEnvironmentVariableA("nimo_standin_scenario", "x");
  SetEnvironmentVariableA("NIMO_HARNESS_PROBE", "old");
  const std::vector<std::string> env =
      SandboxEnvironment({"NIMO_HARNESS_PROBE=new", "ZUNT_CEF_NATIVE_MP=1", "PATHEXT"});
  SetEnvironmentVariableA("ZUNT_CEF_CPU", nullptr);
  SetEnvironmentVariableA("nimo_standin_scenario", nullptr);
  SetEnvironmentVariableA("NIMO_HARNESS_PROBE", nullptr);

  EXPECT_FALSE(HasName(env, "ZUNT_CEF_CPU"));            // inherited switch dropped
  EXPECT_FALSE(HasName(env, "NIMO_STANDIN_SCENARIO"));   // whatever its case
  EXPECT_TRUE(Has(env, "ZUNT_CEF_NATIVE_MP=1"));         // given switch kept
  EXPECT_TRUE(Has(env, "NIMO_HARNESS_PROBE=new"));
  EXPECT_FALSE(Has(env, "NIMO_HARNESS_PROBE=old"));
  EXPECT_FALSE(HasName(env, "PATHEXT"));                 // a bare name removes
  EXPECT_TRUE(HasName(env, "PATH"));                     // the rest is inherited
}

TEST(ProcessHarness, LayoutAndCleanup) {
  std::string root;
  {
    SandboxLayout layout;
    layout.debug_flag_is_directory = true;
    Sandbox sandbox(layout);
    ASSERT_TRUE(sandbox.ok()) << sandbox.error();
    root = sandbox.root();
    EXPECT_TRUE(sandbox.Exists("nimo-webengine.exe"));
    const DWORD flag = GetFileAttributesA(sandbox.Path("ZUNT_DEBUG").c_str());
    ASSERT_NE(flag, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(flag & FILE_ATTRIBUTE_DIRECTORY);

    // "..\\libs" lands beside bin, in the sandbox root.
    ASSERT_TRUE(sandbox.MakeDirectory("..\\libs\\deep"));
    ASSERT_TRUE(sandbox.WriteFile("..\\libs\\deep\\a.txt", std::string("x\0y", 3)));
    EXPECT_NE(GetFileAttributesA((root + "\\libs\\deep\\a.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(sandbox.ReadFile("..\\libs\\deep\\a.txt"), std::string("x\0y", 3));
    EXPECT_EQ(sandbox.ReadLog(), "");
    EXPECT_FALSE(sandbox.LogExists());
    EXPECT_TRUE(sandbox.Remove("..\\libs"));
    EXPECT_FALSE(sandbox.Exists("..\\libs"));

    SandboxLayout missing;
    missing.libraries = {"no-such-library.dll"};
    Sandbox broken(missing);
    EXPECT_FALSE(broken.ok());
    EXPECT_NE(broken.error().find("no-such-library.dll"), std::string::npos);
  }
  EXPECT_EQ(GetFileAttributesA(root.c_str()), INVALID_FILE_ATTRIBUTES) << root;
}

TEST(ProcessHarness, TwoSandboxesNeverShareAFolder) {
  Sandbox a;
  Sandbox b;
  ASSERT_TRUE(a.ok() && b.ok());
  EXPECT_NE(a.root(), b.root());
}

}  // namespace
}  // namespace test
}  // namespace nimo
