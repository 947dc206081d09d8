// What a failed start says: the engine's exit code in the form a person looks up, the log's
// lines of this start only and whole, or how to switch the log on.
#include "client/portable/start_failure.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using nimo::client::DescribeStartFailure;
using nimo::client::LastLines;
using nimo::client::StartFailureFacts;

TEST(StartFailure, LastLinesKeepsWholeLinesOfAnyEnding) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(LastLines("", 3), Lines());
  EXPECT_EQ(LastLines("a\r\nb\r\nc\r\n", 2), (Lines{"b", "c"}));
  EXPECT_EQ(LastLines("a\n\nb", 5), (Lines{"a", "", "b"}));  // a last line without its break counts
  EXPECT_EQ(LastLines("only", 1), Lines{"only"});
  EXPECT_EQ(LastLines("\n", 2), Lines{""});
  EXPECT_EQ(LastLines("a\nb\n", 0), Lines());
}

TEST(StartFailure, SaysHowTheEngineEndedAndWhatItLogged) {
  StartFailureFacts facts;
  facts.step = "connect: engine exited before connecting";
  facts.exit_code = 1;
  facts.flag_path = "C:\\game\\ZUNT_DEBUG";
  facts.log_path = "C:\\game\\webengine.log";
  facts.log_tail = {"[nimo-webengine] launched cmdline=x", "[nimo-webengine] engine library dezor2.dll not loaded: y"};
  const std::string text = DescribeStartFailure(facts);
  EXPECT_EQ(text.rfind("connect: engine exited before connecting failed (Win32 error 0); the engine ended with "
                       "exit code 1: the engine library dezor2.dll did not load",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("\nlast lines of the engine's log C:\\game\\webengine.log:\n"
                      "  [nimo-webengine] launched cmdline=x\n"
                      "  [nimo-webengine] engine library dezor2.dll not loaded: y"),
            std::string::npos)
      << text;

  // A system status shows in hex, as it is looked up; an unknown code stands alone.
  facts.exit_code = 0xC0000135u;
  EXPECT_NE(DescribeStartFailure(facts).find("exit code 0xC0000135: a DLL"), std::string::npos);
  facts.exit_code = 77;
  EXPECT_NE(DescribeStartFailure(facts).find("exit code 77\n"), std::string::npos);

  // Still running (a Hello that never came): no exit code; a log with nothing new says so.
  facts.step = "Hello";
  facts.code = 258;
  facts.exit_code = -1;
  facts.log_tail.clear();
  EXPECT_EQ(DescribeStartFailure(facts),
            "Hello failed (Win32 error 258)\nthe engine wrote nothing to its log C:\\game\\webengine.log");

  // Without the flag file: where to put it.
  facts.log_path.clear();
  EXPECT_EQ(DescribeStartFailure(facts),
            "Hello failed (Win32 error 258)\n(no engine log: create the empty file C:\\game\\ZUNT_DEBUG and "
            "start again to get one)");

  // Before the engine was started there is nothing about it to say.
  StartFailureFacts early;
  early.step = "CreateProcess";
  early.code = 2;
  early.detail = "the engine C:\\game\\nimo-webengine.exe";
  EXPECT_EQ(DescribeStartFailure(early), "CreateProcess failed (Win32 error 2): the engine C:\\game\\nimo-webengine.exe");
}

}  // namespace
