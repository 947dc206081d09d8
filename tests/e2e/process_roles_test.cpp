// The executable in each role against the stand-in engine, as a Windows parent sees it:
// exit codes from GetExitCodeProcess, which library wins the search, the switches every
// process of the engine gets, and the log lines of each role. The stand-in journals what
// the product did to it and counts references, so leaks and over-releases show here.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/nimo_host.h"
#include "host/portable/engine_switches.h"
#include "tests/support/journal.h"
#include "tests/support/process_harness.h"

namespace nimo {
namespace test {
namespace {

using nimo_test::Journal;
using nimo_test::JournalEntry;
using nimo_test::ScenarioWriter;

const char kLaunchPrefix[] = "[nimo-webengine] launched cmdline=";

// A sandbox with the stand-in engine (or one of its variants) as dezor2.dll in `folder`,
// a scenario and a journal.
class EngineSandbox {
 public:
  explicit EngineSandbox(const char* variant = "dezor2.dll", const std::string& folder = "") {
    if (sandbox_.ok()) sandbox_.CopyFromBin(variant, folder, "dezor2.dll");
  }
  Sandbox& sandbox() { return sandbox_; }
  bool ok() const { return sandbox_.ok(); }
  std::string error() const { return sandbox_.error(); }

  void SetScenario(const ScenarioWriter& scenario) {
    scenario.WriteTo(sandbox_.Path("scenario.txt"));
  }
  RunResult Run(const std::string& arguments, std::vector<std::string> env = {}) {
    env.push_back("NIMO_STANDIN_JOURNAL=" + sandbox_.Path("journal.txt"));
    if (sandbox_.Exists("scenario.txt")) {
      env.push_back("NIMO_STANDIN_SCENARIO=" + sandbox_.Path("scenario.txt"));
    }
    return sandbox_.Run(arguments, env, 30000);
  }
  Journal journal() const { return Journal::Load(sandbox_.Path("journal.txt")); }
  std::string log() const { return sandbox_.ReadLog(); }

 private:
  Sandbox sandbox_;
};

void ExpectNoReferenceFaults(const Journal& journal) {
  std::string detail;
  EXPECT_TRUE(journal.ReferencesClean(0, &detail)) << detail;
}

// "--name" / "--name=value" of each switch the product appended, in order.
std::vector<std::string> AppendedSwitches(const Journal& journal) {
  std::vector<std::string> out;
  for (const JournalEntry& e : journal.entries()) {
    if (e.event == "cmdline.append_switch") out.push_back("--" + e.Get("name"));
    if (e.event == "cmdline.append_switch_with_value") {
      out.push_back("--" + e.Get("name") + "=" + e.Get("value"));
    }
  }
  return out;
}

std::vector<std::string> Expected(bool cpu) {
  std::vector<std::string> out;
  for (const EngineSwitch& s : EngineSwitchSet(cpu)) {
    out.push_back(std::string("--") + s.name + (s.value ? std::string("=") + s.value : ""));
  }
  return out;
}

// ---- Exit codes ---------------------------------------------------------------------------

TEST(ProcessRoles, SubprocessExitsWithTheEnginesFullValue) {
  EngineSandbox engine;
  ASSERT_TRUE(engine.ok()) << engine.error();
  // Wider than the 8 bits a shell would show.
  engine.SetScenario(ScenarioWriter().Line("exit_code 70000 type=gpu-process").Line("exit_code 3"));
  RunResult run = engine.Run("--type=gpu-process --nimomp-browser");
  ASSERT_TRUE(run.started && !run.timed_out);
  EXPECT_EQ(run.exit_code, 70000u);  // a sub-process, even with the browser switch
  run = engine.Run("--type=utility");
  EXPECT_EQ(run.exit_code, 3u);

  const Journal journal = engine.journal();
  ASSERT_EQ(journal.Count("execute_process"), 2u);
  const JournalEntry* execute = journal.First("execute_process");
  EXPECT_EQ(execute->Get("type"), "gpu-process");
  // Main arguments carry the program's instance; no sandbox information is passed.
  EXPECT_NE(execute->Get("instance", "0x0"), "0x0") << execute->line;
  EXPECT_NE(execute->Get("app", "0x0"), "0x0") << execute->line;
  EXPECT_EQ(execute->Get("sandbox"), "0x0") << execute->line;
  // The same application object reached the engine, so the switches were applied.
  EXPECT_EQ(journal.Count("app.on_before_command_line_processing"), 2u);
  EXPECT_EQ(journal.Count("cef_api_hash") + journal.Count("initialize"), 0u)
      << "a sub-process must not touch the browser side";
  for (unsigned long pid : journal.Pids()) {
    long long leaks = -1, overreleases = -1;
    ASSERT_TRUE(journal.References(pid, &leaks, &overreleases)) << pid;
    EXPECT_EQ(leaks, 0) << journal.DescribeLeaks();
    EXPECT_EQ(overreleases, 0);
  }
  const std::string log = engine.log();
  EXPECT_NE(log.find(std::string(kLaunchPrefix) + "\"" + engine.sandbox().exe_path() +
                     "\" --type=gpu-process --nimomp-browser\n"),
            std::string::npos)
      << log;
}

TEST(ProcessRoles, NotOursExitsWithTheNegativeValue) {
  EngineSandbox engine;
  ASSERT_TRUE(engine.ok()) << engine.error();
  const RunResult run = engine.Run("--nimomp-pipe=x --other");
  ASSERT_TRUE(run.started && !run.timed_out);
  const Journal journal = engine.journal();
  const JournalEntry* result = journal.First("execute_process.result");
  ASSERT_NE(result, nullptr);
  ASSERT_LT(result->Int("code"), 0);
  EXPECT_EQ(static_cast<int>(run.exit_code), result->Int("code"));
  EXPECT_EQ(journal.Count("cef_api_hash"), 0u);  // the browser side never started
  EXPECT_EQ(engine.log(), std::string(kLaunchPrefix) + "\"" + engine.sandbox().exe_path() +
                              "\" --nimomp-pipe=x --other\n");
}

TEST(ProcessRoles, LibraryWithoutDispatcherExitsOne) {
  EngineSandbox engine("dezor2_noexec.dll");
  ASSERT_TRUE(engine.ok()) << engine.error();
  const RunResult run = engine.Run("--nimomp-browser");
  ASSERT_TRUE(run.started && !run.timed_out);
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_EQ(engine.journal().Count("execute_process"), 0u);
  EXPECT_EQ(engine.log(), std::string(kLaunchPrefix) + "\"" + engine.sandbox().exe_path() +
                              "\" --nimomp-browser\n"
                              "[nimo-webengine] the engine library exports no cef_execute_process - not an "
                              "engine library?\n");
}

TEST(ProcessRoles, MissingBrowserExportsExitTwo) {
  EngineSandbox engine("dezor2_nobrowser.dll");
  ASSERT_TRUE(engine.ok()) << engine.error();
  // The browser switch may stand anywhere, even inside a quoted argument.
  const RunResult run = engine.Run("\"--nimomp-browser-in-a-path\"");
  ASSERT_TRUE(run.started && !run.timed_out);
  EXPECT_EQ(run.exit_code, 2u);
  const std::string log = engine.log();
  EXPECT_NE(log.find("[nimo-webengine][browser] missing exports (init=0000000000000000 "
                     "postTask=0000000000000000) \xE2\x80\x94 cannot run as browser\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.rfind(kLaunchPrefix, 0), 0u);
  EXPECT_EQ(engine.journal().Count("initialize"), 0u);
}

TEST(ProcessRoles, BrowserLogsTheEngineRevision) {
  EngineSandbox engine("dezor2_nobrowser.dll");
  ASSERT_TRUE(engine.ok()) << engine.error();
  RunResult run = engine.Run("--nimomp-browser");
  EXPECT_EQ(run.exit_code, 2u);
  std::string log = engine.log();
  // The release comes first, the same the host library gives.
  EXPECT_NE(log.find(std::string("[nimo-webengine][browser] nimo-webengine ") + host::LibraryVersion() +
                     " starting\n[nimo-webengine][browser] engine version 132.3.2"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("[nimo-webengine][browser] engine version 132.3.2 (commit 3117) "
                     "chromium 132.0.6834.161\n"
                     "[nimo-webengine][browser] engine api hash "
                     "aafe004dac5cf8b7f0b5ef12518c4a16e150f510\n"
                     "[nimo-webengine][browser] missing exports"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("WARNING"), std::string::npos);

  // Same major version, another hash: the same lines and a warning, nothing else changes.
  engine.sandbox().Remove("webengine.log");
  engine.SetScenario(ScenarioWriter()
                         .Line("api_hash platform=0123456789abcdef0123456789abcdef01234567")
                         .Line("version_info 132 1 0 3000 132 0 6834 83"));
  run = engine.Run("--nimomp-browser");
  EXPECT_EQ(run.exit_code, 2u);
  log = engine.log();
  EXPECT_NE(log.find("engine version 132.1.0 (commit 3000) chromium 132.0.6834.83\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("[nimo-webengine][browser] WARNING engine api hash "
                     "0123456789abcdef0123456789abcdef01234567 is not "
                     "aafe004dac5cf8b7f0b5ef12518c4a16e150f510"),
            std::string::npos)
      << log;
}

TEST(ProcessRoles, LaterRevisionIsNotAskedForItsHash) {
  // From the next major version on, the hash export has another signature and its first
  // call fixes the API version: it must not be called blindly.
  EngineSandbox engine("dezor2_nobrowser.dll");
  ASSERT_TRUE(engine.ok()) << engine.error();
  engine.SetScenario(ScenarioWriter().Line("version_info 133 0 5 3200 133 0 6943 99"));
  const RunResult run = engine.Run("--nimomp-browser");
  EXPECT_EQ(run.exit_code, 2u);
  EXPECT_EQ(engine.journal().Count("cef_api_hash"), 0u);
  EXPECT_GE(engine.journal().Count("cef_version_info"), 1u);
  const std::string log = engine.log();
  EXPECT_NE(log.find("[nimo-webengine][browser] WARNING engine version 133 is not 132"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("engine api hash"), std::string::npos) << log;
}

// ---- Library search -----------------------------------------------------------------------

// Which copy loaded shows in the exit code: the full engine plays a sub-process (exit 7),
// the variant without the dispatcher ends the process with 1.
struct Placement {
  const char* full;    // folder of the full engine, or null
  const char* noexec;  // folder of the variant, or null
  DWORD exit_code;
};

TEST(ProcessRoles, LibrarySearchOrder) {
  const Placement cases[] = {
      {"", nullptr, 7},             // beside the executable
      {"..\\libs", nullptr, 7},     // in ..\libs
      {"libs", nullptr, 7},         // in libs
      {"", "..\\libs", 7},          // beside wins over ..\libs
      {"..\\libs", "libs", 7},      // ..\libs wins over libs
      {"libs", "", 1},              // the first loadable candidate wins, export or not
      {"libs", "..\\libs", 1},
  };
  for (const Placement& c : cases) {
    Sandbox sandbox;
    ASSERT_TRUE(sandbox.ok()) << sandbox.error();
    if (c.full) {
      ASSERT_TRUE(sandbox.CopyFromBin("dezor2.dll", c.full));
    }
    if (c.noexec) {
      ASSERT_TRUE(sandbox.CopyFromBin("dezor2_noexec.dll", c.noexec, "dezor2.dll"));
    }
    ScenarioWriter().Line("exit_code 7").WriteTo(sandbox.Path("scenario.txt"));
    const RunResult run =
        sandbox.Run("--type=renderer", {"NIMO_STANDIN_SCENARIO=" + sandbox.Path("scenario.txt")});
    ASSERT_TRUE(run.started && !run.timed_out);
    EXPECT_EQ(run.exit_code, c.exit_code)
        << "full in '" << (c.full ? c.full : "-") << "', noexec in '"
        << (c.noexec ? c.noexec : "-") << "'";
  }
}

// ---- Switches -----------------------------------------------------------------------------

TEST(ProcessRoles, SwitchSetsByTheCpuVariable) {
  struct Case {
    const char* env;
    bool cpu;
  };
  const Case cases[] = {{"ZUNT_CEF_CPU=1", true},   {"ZUNT_CEF_CPU=0", false},
                        {"ZUNT_CEF_CPU=11", false}, {"ZUNT_CEF_CPU=true", false},
                        {"ZUNT_CEF_CPU", false}};
  const bool marker =
      GetFileAttributesA("D:\\razuvavava\\ZUNT_CEF_CPU") != INVALID_FILE_ATTRIBUTES;
  for (const Case& c : cases) {
    EngineSandbox engine;
    ASSERT_TRUE(engine.ok()) << engine.error();
    const RunResult run = engine.Run("--type=renderer", {c.env});
    ASSERT_TRUE(run.started && !run.timed_out);
    EXPECT_EQ(run.exit_code, 0u);
    const Journal journal = engine.journal();
    EXPECT_EQ(AppendedSwitches(journal), Expected(c.cpu || marker)) << c.env;
    ExpectNoReferenceFaults(journal);

    // The cmdline line shows the whole command line after the additions, the engine's own
    // switches included.
    const JournalEntry* final_line = journal.First("cmdline.final");
    ASSERT_NE(final_line, nullptr);
    const std::string text = final_line->Get("text");
    EXPECT_NE(text.find("--type=renderer"), std::string::npos) << text;
    EXPECT_NE(engine.log().find("[nimo-webengine][cmdline] " + text + "\n"), std::string::npos)
        << engine.log();
  }
}

}  // namespace
}  // namespace test
}  // namespace nimo
