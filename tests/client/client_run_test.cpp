// nimo-client.exe as a user runs it: a scenario file in, JSON lines and an exit code out,
// against the fake engine of this folder (the product's own wire code on the engine side)
// and the stand-in GPU for shared frames.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/client_lines.h"
#include "tests/support/start_retrying.h"

#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace {

using nlohmann::json;

std::string BinDir() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s = path;
  return s.substr(0, s.find_last_of("\\/"));
}

std::string WorkDir() {
  static std::string dir;
  if (dir.empty()) {
    char tmp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, tmp);
    dir = std::string(tmp) + "nimo-client-test-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
  }
  return dir;
}

struct ClientResult : nimo::test::ClientLines {
  DWORD exit_code = 0xFFFFFFFF;
};

ClientResult RunClient(const std::string& scenario, const std::string& options = "") {
  static int counter = 0;
  const std::string base = WorkDir() + "\\run" + std::to_string(++counter);
  std::ofstream(base + ".scenario", std::ios::binary) << scenario;

  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE out = CreateFileA((base + ".out").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out;
  si.hStdError = out;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  // Options after the scenario, so a test can end them with "-- <engine switches>".
  std::string command = "\"" + BinDir() + "\\nimo-client.exe\" --engine=\"" + BinDir() + "\\nimo_fake_engine.exe\" \"" +
                        base + ".scenario\" " + options;
  PROCESS_INFORMATION pi = {};
  ClientResult run;
  if (!nimo_test::StartRetrying([&] {
        return CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi) != FALSE;
      })) {
    const DWORD error = GetLastError();
    CloseHandle(out);
    ADD_FAILURE() << "cannot start nimo-client: error " << error;
    return run;
  }
  if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 1);
    ADD_FAILURE() << "nimo-client did not finish";
  }
  GetExitCodeProcess(pi.hProcess, &run.exit_code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  CloseHandle(out);

  std::ifstream in(base + ".out", std::ios::binary);
  run.Parse(in);
  return run;
}

TEST(ClientRun, ScriptedSessionPrintsEveryReportAndTheEngineExit) {
  const ClientResult run = RunClient(
      "wait Hello\n"
      "script 1 console hello world\n"
      "wait ConsoleLine surface=1 text=hello world\n"
      "script 2 page NIMOMP|invoke|buy\x01\x02ssword\x01\x02n3\x01\x02" "b1\x01\x02z\x01\x02o{\"a\":1}\n"
      "wait PageMessage surface=2 kind=invoke name=buy\n"
      "script 3 load 2 -105 http://gone/\n"
      "wait LoadEvent surface=3 kind=2 error=-105\n"
      "create 1 800 600 about:x y\n"
      "move 1 -4 9\n"
      // Each wait looks only at reports after the one the previous wait matched.
      "wait ConsoleLine contains=got 100 about:x y\n"
      "wait ConsoleLine contains=got 106\n"
      "script 0 cmdline\n"
      "wait ConsoleLine contains=--nimomp-browser\n",
      "--url=https://start.test/ -- --nimomp-cache=c1");
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.front().value("event", ""), "started");
  const std::vector<json> hello = run.Reports("Hello");
  ASSERT_EQ(hello.size(), 1u);
  EXPECT_EQ(hello[0]["version"], 2);
  EXPECT_EQ(hello[0]["pid"], run.lines.front()["engine_pid"]);

  const std::vector<json> page = run.Reports("PageMessage");
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(page[0]["surface"], 2);
  EXPECT_EQ(page[0]["args"], json::parse(R"(["sword", 3, true, null, {"a":1}])"));
  const std::vector<json> load = run.Reports("LoadEvent");
  ASSERT_EQ(load.size(), 1u);
  EXPECT_EQ(load[0]["url"], "http://gone/");

  // The engine's command line: the switches the client must pass, then the extra ones.
  const std::string cmdline = run.Reports("ConsoleLine").back()["text"];
  EXPECT_NE(cmdline.find(" --nimomp-browser --nimomp-pipe=\"\\\\.\\pipe\\nimo-client-"), std::string::npos) << cmdline;
  EXPECT_NE(cmdline.find(" --nimomp-clientpid=\""), std::string::npos) << cmdline;
  EXPECT_NE(cmdline.find(" --nimomp-url=\"https://start.test/\" --nimomp-cache=\"c1\""), std::string::npos) << cmdline;

  const json exit = run.Event("exit");
  EXPECT_EQ(exit["code"], 0) << "Shutdown was sent at the end";
  EXPECT_EQ(run.lines.back(), exit) << "the exit line comes last";
}

TEST(ClientRun, FailuresGiveNonZeroExits) {
  ClientResult run = RunClient("wait Hello\nwait ConsoleLine timeout=300 text=never\nscript 0 console unreachable\n");
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_EQ(run.Event("timeout")["line"], 2);
  EXPECT_TRUE(run.Reports("ConsoleLine").empty()) << "steps after a failed wait do not run";
  EXPECT_EQ(run.Event("exit")["code"], 0) << "the engine is still shut down properly";

  // The engine's own exit code, in full (no 8-bit cut), and a distinct client exit.
  run = RunClient("script 0 exit 300\npause 200\n");
  EXPECT_EQ(run.exit_code, 3u);
  EXPECT_EQ(run.Event("exit")["code"], 300);

  run = RunClient("script 0 hang\n", "--exit-timeout=500");
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_FALSE(run.Event("engine-hung").is_null());

  run = RunClient("resize 1 800\n");
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_TRUE(run.Event("started").is_null()) << "a bad scenario never starts the engine";
  EXPECT_NE(run.Event("error")["message"].get<std::string>().find("line 1"), std::string::npos);
}

TEST(ClientRun, RawFramesAndClosingReachTheEngineAsWritten) {
  const struct {
    const char* scenario;
    int engine_exit;  // what the fake engine's validation concluded
  } cases[] = {
      {"raw 4F4D494E 6D000000 00000000\n", 0},   // Shutdown by its bytes
      {"frame 101 16 17\n", 11},                 // length + 12 off by one: bad frame
      {"frame 102 1048577 1048577\n", 11},       // over the limit
      {"raw\n", 10},                             // an empty message: closed
      {"close\n", 10},
      {"shutdown\nscript 0 exit 5\n", 0},         // nothing after Shutdown is acted on
  };
  for (const auto& c : cases) {
    const ClientResult run = RunClient(std::string("wait Hello\n") + c.scenario + "pause 100\n");
    EXPECT_EQ(run.Event("exit")["code"], c.engine_exit) << c.scenario;
    EXPECT_EQ(run.exit_code, c.engine_exit == 0 ? 0u : 3u) << c.scenario;
  }
}

TEST(ClientRun, SavesAnnouncedFramesAsPngAndClosesReplacedHandles) {
  const std::string first = WorkDir() + "\\frames\\one.png";
  const std::string second = WorkDir() + "\\frames\\two.png";
  const ClientResult run = RunClient(
      "wait Hello\n"
      "script 1 frame 8 4 0xFF1020C0\n"
      "wait FrameReady surface=1 width=8 height=4\n"
      "save 1 " + first + "\n"
      "script 1 frame 3 2 0xFF00FF00\n"
      "wait FrameReady surface=1 width=3\n"
      "save 1 " + second + "\n",
      "--verify-frames");
  ASSERT_EQ(run.exit_code, 0u) << (run.lines.empty() ? std::string() : run.lines.back().dump());
  EXPECT_EQ(run.Event("exit")["closed_handles"], 1) << "the first texture's handle was closed when replaced";
  EXPECT_EQ(run.Event("exit")["opened_handles"], 2);
  EXPECT_EQ(run.Event("exit")["open_failures"], 0);

  int w = 0, h = 0, n = 0;
  unsigned char* px = stbi_load(first.c_str(), &w, &h, &n, 4);
  ASSERT_NE(px, nullptr);
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 4);
  const int last = (w * h - 1) * 4;
  EXPECT_EQ(px[last + 0], 0x10);  // B8G8R8A8 in the texture, RGBA in the PNG
  EXPECT_EQ(px[last + 1], 0x20);
  EXPECT_EQ(px[last + 2], 0xC0);
  EXPECT_EQ(px[last + 3], 0xFF);
  stbi_image_free(px);

  px = stbi_load(second.c_str(), &w, &h, &n, 4);
  ASSERT_NE(px, nullptr);
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  EXPECT_EQ(px[1], 0xFF);
  EXPECT_EQ(px[0], 0x00);
  stbi_image_free(px);
}

TEST(ClientRun, HandlesThatDoNotOpenAreCounted) {
  // No stand-in texture behind this handle value: opening it must fail, and say so.
  const ClientResult run = RunClient(
      "wait Hello\n"
      "script 1 badframe\n"
      "wait FrameReady surface=1\n"
      "pause 100\n",
      "--verify-frames");
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_EQ(run.Event("exit")["open_failures"], 1);
  EXPECT_EQ(run.Event("exit")["code"], 0);
}

}  // namespace
