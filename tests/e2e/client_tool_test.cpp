// nimo-client.exe driving the real nimo-webengine.exe over a real pipe, with the stand-in
// engine behind it: the reference client's scripted session works end to end, every
// report comes out as a JSON line, the engine exits 0 and keeps no engine reference.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#include "tests/support/client_lines.h"
#include "tests/support/process_harness.h"

namespace nimo {
namespace test {
namespace {

using nlohmann::json;

SandboxLayout ClientLayout() {
  SandboxLayout layout;
  layout.program = "nimo-client.exe";
  layout.exe_name = "nimo-client.exe";
  layout.libraries = {"nimo-webengine.exe", "dezor2.dll", "d3d11.dll", "dxgi.dll"};
  return layout;
}

struct Session : nimo::test::ClientLines {
  RunResult run;
  std::string journal;
  std::string log;
};

Session RunSession(Sandbox& box, const std::string& scenario, const std::string& engine_scenario,
                   const std::string& options = "") {
  EXPECT_TRUE(box.ok()) << box.error();
  box.WriteFile("session.scenario", scenario);
  box.WriteFile("engine.scenario", engine_scenario);
  Session s;
  s.run = box.Run("--timeout=8000 --output=out.jsonl " + options + "session.scenario",
                  {"NIMO_STANDIN_SCENARIO=" + box.Path("engine.scenario"),
                   "NIMO_STANDIN_JOURNAL=" + box.Path("journal.txt")},
                  90000);
  std::istringstream in(box.ReadFile("out.jsonl"));
  s.Parse(in);
  s.journal = box.ReadFile("journal.txt");
  s.log = box.ReadLog();
  return s;
}

std::string Dump(const Session& s) {
  std::string all;
  for (const json& j : s.lines) all += j.dump() + "\n";
  return all + "--- log\n" + s.log;
}

TEST(ClientTool, ScriptedSessionEndToEnd) {
  Sandbox box(ClientLayout());
  const Session s = RunSession(
      box,
      "wait Hello\n"
      // Surface 2 is the one allowed to visit web pages.
      "create 2 640 480 https://a.test/\n"
      "wait LoadEvent surface=2 kind=0\n"
      "wait ConsoleLine surface=2 contains=ready\n"
      "script 2 NIMOMP|invoke|buy\x01\x02ssword\x01\x02n3\x01\x02" "b1\n"
      "wait PageMessage surface=2 kind=invoke name=buy\n"
      "navigate 2 https://gone.test/\n"
      "wait LoadEvent surface=2 kind=2 error=-105\n"
      "resize 2 800 600\n"
      "move 2 10 -1\n"
      "pause 200\n",
      "script_echo prefix=NIMOMP|\n"
      "page https://a.test/\n"
      "  load_start\n"
      "  load_end\n"
      "  console level=1 message=ready source=https://a.test/app.js line=3\n"
      "end\n"
      "page https://gone.test/\n"
      "  load_start\n"
      "  load_error code=-105 url=https://gone.test/\n"
      "end\n");
  ASSERT_TRUE(s.run.started);
  EXPECT_FALSE(s.run.timed_out);
  EXPECT_EQ(s.run.exit_code, 0u) << Dump(s);

  ASSERT_FALSE(s.lines.empty());
  const std::vector<json> hello = s.Reports("Hello");
  ASSERT_EQ(hello.size(), 1u);
  EXPECT_EQ(hello[0]["version"], 2);
  EXPECT_EQ(hello[0]["pid"], s.lines.front()["engine_pid"]) << "Hello carries the engine's process id";
  EXPECT_EQ(s.lines[1], hello[0]) << "Hello is the first report";

  const std::vector<json> page = s.Reports("PageMessage");
  ASSERT_EQ(page.size(), 1u) << Dump(s);
  EXPECT_EQ(page[0]["args"], json::parse(R"(["sword", 3, true])"));

  bool console_seen = false;
  for (const json& c : s.Reports("ConsoleLine"))
    console_seen = console_seen || c["text"] == "log|ready  (https://a.test/app.js:3)";
  EXPECT_TRUE(console_seen) << Dump(s);

  const json exit = s.Event("exit");
  EXPECT_EQ(exit["code"], 0);
  EXPECT_NE(s.journal.find("refs leaks=0 overreleases=0"), std::string::npos) << s.journal;
  EXPECT_NE(s.journal.find("host.send_mouse_move_event"), std::string::npos);
  EXPECT_NE(s.log.find("Shutdown requested"), std::string::npos) << s.log;
}

// Protocol 3: the client answers the page's calls from its scenario. The stand-in echoes
// the call line a page script would write; the engine's answer script is in the journal.
TEST(ClientTool, ScenarioAnswersThePagesCalls) {
  Sandbox box(ClientLayout());
  const Session s = RunSession(
      box,
      "answer add resolve 5\n"
      "answer buy reject out of stock\n"
      "wait Hello\n"
      "create 2 640 480 https://a.test/\n"
      "wait LoadEvent surface=2 kind=0\n"
      "script 2 NIMOCALL|k.1|{\"name\":\"add\",\"args\":[2,3]}\n"
      "script 2 NIMOCALL|k.2|{\"name\":\"buy\",\"args\":[\"sword\"]}\n"
      "script 2 NIMOCALL|k.3|{\"name\":\"unknown\",\"args\":[]}\n"
      "wait PageCall surface=2 name=unknown\n"
      "pause 500\n",
      "script_echo prefix=NIMOCALL|\n"
      "page https://a.test/\n"
      "  load_start\n"
      "  load_end\n"
      "end\n",
      "--protocol=3 ");
  EXPECT_EQ(s.run.exit_code, 0u) << Dump(s);
  const std::vector<json> calls = s.Reports("PageCall");
  ASSERT_EQ(calls.size(), 3u) << Dump(s);
  EXPECT_EQ(calls[0]["call"], 1);
  EXPECT_EQ(calls[0]["json"], R"({"name":"add","args":[2,3],"origin":"https://a.test"})");
  EXPECT_NE(s.journal.find(R"(window.__mpSettle(\"k.1\",0,\"5\"))"), std::string::npos) << s.journal;
  EXPECT_NE(s.journal.find(R"(window.__mpSettle(\"k.2\",1,\"\\\"out of stock\\\"\"))"), std::string::npos);
  EXPECT_EQ(s.journal.find(R"(window.__mpSettle(\"k.3\")"), std::string::npos) << "no answer, nothing settled";
}

TEST(ClientTool, ClientThatGoesAwayEndsTheEngineCleanly) {
  Sandbox box(ClientLayout());
  const Session s = RunSession(box,
                               "wait Hello\n"
                               "create 2 320 200\n"
                               "wait LoadEvent surface=2 kind=0\n"
                               "close\n",
                               "");
  EXPECT_EQ(s.run.exit_code, 0u) << Dump(s);
  EXPECT_EQ(s.Event("exit")["code"], 0);
  EXPECT_NE(s.log.find("pipe closed by client"), std::string::npos) << s.log;
  EXPECT_NE(s.journal.find("refs leaks=0 overreleases=0"), std::string::npos) << s.journal;
}

TEST(ClientTool, FramesReachTheClientThroughSharedHandles) {
  Sandbox box(ClientLayout());
  const std::string first = box.Path("frames\\first.png");
  const std::string resized = box.Path("frames\\resized.png");
  const Session s = RunSession(box,
                               "wait Hello\n"
                               "create 1 200 120 file:///C:/paint/index.html\n"
                               "wait LoadEvent surface=1 kind=0\n"
                               "wait FrameReady surface=1 width=200 height=120\n"
                               "pause 800\n"
                               "save 1 " + first + "\n"
                               "resize 1 320 200\n"
                               "wait FrameReady surface=1 width=320 height=200\n"
                               "save 1 " + resized + "\n",
                               "page file:///C:/paint/index.html\n"
                               "  load_start\n"
                               "  load_end\n"
                               "  wait 400\n"
                               "  paint pattern=solid color=0xFF3366CC\n"
                               "end\n");
  EXPECT_EQ(s.run.exit_code, 0u) << Dump(s);
  int w = 0, h = 0, n = 0;
  unsigned char* px = stbi_load(first.c_str(), &w, &h, &n, 4);
  ASSERT_NE(px, nullptr) << Dump(s);
  EXPECT_EQ(w, 200);
  EXPECT_EQ(h, 120);
  const int centre = ((h / 2) * w + w / 2) * 4;
  EXPECT_EQ(px[centre + 0], 0x33);
  EXPECT_EQ(px[centre + 1], 0x66);
  EXPECT_EQ(px[centre + 2], 0xCC);
  stbi_image_free(px);

  px = stbi_load(resized.c_str(), &w, &h, &n, 4);
  ASSERT_NE(px, nullptr) << Dump(s);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 200);
  stbi_image_free(px);
  // A new size means a new texture and a new handle; the client closed the old one.
  EXPECT_GE(s.Event("exit")["closed_handles"].get<int>(), 1);
}

}  // namespace
}  // namespace test
}  // namespace nimo
