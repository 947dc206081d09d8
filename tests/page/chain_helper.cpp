// The Windows half of the page-to-client chain test (chain.test.mjs drives it under Wine):
//   capture <file>         runs the executable with the stand-in engine through one page
//                          load and writes the first script it handed to the engine (the
//                          page shim as injected) to <file>;
//   deliver <in> <out>     makes the stand-in's page log the console text in <in>, reads
//                          the report the executable sent for it and writes what the client
//                          SDK decodes from it to <out>, one "key=value" line per field;
//   emit <out>             raises a page event with hostile strings through the host
//                          library and writes the script the engine was asked to run.
// Exit code 0 when the step worked; otherwise the reason is printed.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "client/nimo_host.h"
#include "client/nimo_protocol.h"
#include "tests/support/fake_client.h"
#include "tests/support/journal.h"
#include "tests/support/process_harness.h"

namespace {

using nimo::test::EngineProcess;
using nimo::test::FakeClient;
using nimo::test::Report;
using nimo::test::Sandbox;
using nimo::test::SandboxLayout;
using nimo_test::Journal;
using nimo_test::ScenarioWriter;

constexpr DWORD kWaitMs = 15000;
const char kPage[] = "file:///C:/ui/chain.html";

int Fail(const char* why) {
  std::fprintf(stderr, "chain_helper: %s\n", why);
  return 1;
}

bool ReadAll(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream all;
  all << in.rdbuf();
  *out = all.str();
  return true;
}

bool WriteAll(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

// Runs the executable with `scenario` until `type` arrives (into `report`) and shuts it
// down; the journal is left in the sandbox.
bool RunUntil(Sandbox& sandbox, const ScenarioWriter& scenario, std::uint16_t type, Report* report,
              std::string* journal_path) {
  const std::string scenario_path = sandbox.root() + "\\scenario.txt";
  *journal_path = sandbox.root() + "\\journal.txt";
  if (!scenario.WriteTo(scenario_path)) return false;
  FakeClient client;
  EngineProcess engine;
  if (!client.Launch(sandbox.exe_path(), std::string("--nimomp-url=") + kPage,
                     {"NIMO_STANDIN_SCENARIO=" + scenario_path, "NIMO_STANDIN_JOURNAL=" + *journal_path},
                     &engine) ||
      !client.Handshake(kWaitMs)) {
    return false;
  }
  const bool got = client.ReadUntil(type, report, kWaitMs);
  client.SendShutdown();
  return got && engine.WaitExit(kWaitMs) == 0;
}

int Capture(const std::string& out_path) {
  SandboxLayout layout;
  layout.libraries = {"dezor2.dll"};
  Sandbox sandbox(layout);
  if (!sandbox.ok()) return Fail(sandbox.error().c_str());
  ScenarioWriter scenario;
  scenario.Page(kPage, {"load_start", "load_end"});
  Report report;
  std::string journal_path;
  if (!RunUntil(sandbox, scenario, nimo::kMsgLoadEvent, &report, &journal_path)) {
    return Fail("the page load did not complete");
  }
  const Journal journal = Journal::Load(journal_path);
  const nimo_test::JournalEntry* first = journal.First("frame.execute_java_script");
  if (!first) return Fail("no script was run in the page");
  return WriteAll(out_path, first->Get("code")) ? 0 : Fail("cannot write the script");
}

int Deliver(const std::string& in_path, const std::string& out_path) {
  std::string text;
  if (!ReadAll(in_path, &text)) return Fail("cannot read the console text");
  SandboxLayout layout;
  layout.libraries = {"dezor2.dll"};
  Sandbox sandbox(layout);
  if (!sandbox.ok()) return Fail(sandbox.error().c_str());
  ScenarioWriter scenario;
  scenario.Page(kPage, {"load_start", "console level=0 source=chain.js line=3 message=" +
                                          ScenarioWriter::Quote(text), "load_end"});
  Report report;
  std::string journal_path;
  if (!RunUntil(sandbox, scenario, nimo::kMsgPageMessage, &report, &journal_path)) {
    return Fail("no PageMessage arrived");
  }
  nimo::protocol::Report decoded;
  if (nimo::protocol::DecodeReport(report.raw.data(), report.raw.size(), &decoded) !=
      nimo::protocol::DecodeStatus::kOk) {
    return Fail("the report does not decode");
  }
  nimo::protocol::PageMessage message;
  if (!nimo::protocol::ParsePageMessage(decoded.text, &message)) return Fail("not a page message");
  std::string lines = "surface=" + std::to_string(decoded.surface_id) + "\nkind=" + message.kind +
                      "\nname=" + message.name + "\nwell_formed=" + (message.well_formed ? "1" : "0") + "\n";
  for (const nimo::protocol::PageArg& arg : message.args) lines += std::string("arg=") + arg.tag + ":" + arg.value + "\n";
  return WriteAll(out_path, lines) ? 0 : Fail("cannot write the result");
}

// The same values as chain.test.mjs expects on the page's side.
std::vector<nimo::host::ScriptValue> HostileArguments() {
  using nimo::host::ScriptValue;
  return {"\"); window.hacked = 1; (\"",
          "'); window.hacked = 2; ('",
          "back\\slash\\",
          "lines\n\r\xE2\x80\xA8\xE2\x80\xA9" "end",
          "</script><!--",
          std::string("nul\0byte", 8),
          "bad \xC3\x28 utf8",
          "\xF0\x9F\x98\x80",
          "${window.hacked = 3}`",
          1.5,
          NAN,
          true,
          nullptr,
          ScriptValue::Array({1, "two"}),
          ScriptValue::Object({{"__proto__", 1}, {"k\"", "v"}})};
}

int Emit(const std::string& out_path) {
  SandboxLayout layout;
  layout.libraries = {"dezor2.dll"};
  Sandbox sandbox(layout);
  if (!sandbox.ok()) return Fail(sandbox.error().c_str());
  ScenarioWriter scenario;
  scenario.Page(kPage, {"load_start", "load_end"});
  const std::string scenario_path = sandbox.root() + "\\scenario.txt";
  const std::string journal_path = sandbox.root() + "\\journal.txt";
  if (!scenario.WriteTo(scenario_path)) return Fail("cannot write the scenario");
  SetEnvironmentVariableA("NIMO_STANDIN_SCENARIO", scenario_path.c_str());
  SetEnvironmentVariableA("NIMO_STANDIN_JOURNAL", journal_path.c_str());

  nimo::host::Host host;
  nimo::host::StartOptions options;
  options.engine_path = sandbox.exe_path();
  options.url = kPage;
  nimo::host::StartError error;
  if (!host.Start(options, &error)) return Fail(error.Text().c_str());
  bool loaded = false;
  for (const ULONGLONG deadline = GetTickCount64() + kWaitMs; !loaded && GetTickCount64() < deadline;) {
    nimo::host::Event e;
    while (host.Poll(&e)) loaded = loaded || e.kind == nimo::host::Event::Kind::kLoad;
    Sleep(10);
  }
  if (!loaded || !host.Emit(0, "ev", HostileArguments())) return Fail("the page did not load");
  std::string code;
  for (const ULONGLONG deadline = GetTickCount64() + kWaitMs; code.empty() && GetTickCount64() < deadline;) {
    for (const nimo_test::JournalEntry& e : Journal::Load(journal_path).Events("frame.execute_java_script")) {
      if (e.Get("code").rfind("window.__mpEmit&&", 0) == 0) code = e.Get("code");
    }
    Sleep(20);
  }
  if (host.Shutdown(kWaitMs).exit_code != 0) return Fail("the engine did not end cleanly");
  if (code.empty()) return Fail("the event's script never reached the engine");
  return WriteAll(out_path, code) ? 0 : Fail("cannot write the script");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "capture" && argc == 3) return Capture(argv[2]);
  if (mode == "deliver" && argc == 4) return Deliver(argv[2], argv[3]);
  if (mode == "emit" && argc == 3) return Emit(argv[2]);
  return Fail("usage: capture <file> | deliver <in> <out> | emit <file>");
}
