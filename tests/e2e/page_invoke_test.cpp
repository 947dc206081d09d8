// Native window.mp calls reaching the client: the stand-in engine delivers "mp:invoke"
// process messages from a page's renderer to the surface's client in the real executable,
// and the client decodes the PageMessage with its SDK as it decodes a console-tagged call.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/nimo_protocol.h"
#include "protocol/wire.h"
#include "tests/support/fake_client.h"
#include "tests/support/journal.h"
#include "tests/support/process_harness.h"

namespace nimo {
namespace test {
namespace {

using nimo_test::Journal;
using nimo_test::JournalEntry;
using nimo_test::ScenarioWriter;

TEST(PageInvoke, RendererCallsArriveAsPageMessagesOfTheirSurface) {
  ScenarioWriter scenario;
  scenario.Page("https://invoke.test/shop",
                {"load_start", "load_end",
                 "process_message name=mp:invoke " + ScenarioWriter::Quote("s:buy") + " " +
                     ScenarioWriter::Quote("s:[\"sword\",3]"),
                 "process_message name=mp:other s:x",
                 "process_message name=mp:invoke frame=sub s:save s:",
                 "process_message name=mp:invoke i:5 s:x",
                 "process_message name=mp:invoke s:last " + ScenarioWriter::Quote("s:{\"a\":\"\xC3\xA4\"}")});
  Sandbox sandbox;
  ASSERT_TRUE(sandbox.ok()) << sandbox.error();
  ASSERT_TRUE(sandbox.CopyFromBin("dezor2.dll"));
  ASSERT_TRUE(scenario.WriteTo(sandbox.Path("scenario.txt")));
  FakeClient client;
  SandboxProcess process;
  ASSERT_TRUE(sandbox.Start("--nimomp-browser " + client.PipeSwitches() + " --nimomp-url=about:blank",
                            {"NIMO_STANDIN_JOURNAL=" + sandbox.Path("journal.txt"),
                             "NIMO_STANDIN_SCENARIO=" + sandbox.Path("scenario.txt")},
                            &process));
  ASSERT_TRUE(client.Handshake(15000));
  ASSERT_TRUE(client.SendSurfaceCommand(kMsgCreateSurface, 2, 320, 200, 0, "https://invoke.test/shop"));

  std::vector<protocol::PageMessage> calls;
  const ULONGLONG deadline = GetTickCount64() + 10000;
  Report r;
  while (calls.size() < 3 && GetTickCount64() < deadline) {
    if (!client.Read(&r, 100) || r.type != kMsgPageMessage) continue;
    EXPECT_EQ(r.surface_id(), 2u);
    protocol::PageMessage m;
    ASSERT_TRUE(protocol::ParsePageMessage(r.text(), &m)) << r.text();
    calls.push_back(m);
  }
  ASSERT_EQ(calls.size(), 3u) << "not every invoke reached the client";
  const char* names[] = {"buy", "save", "last"};
  const char* payloads[] = {"[\"sword\",3]", "", "{\"a\":\"\xC3\xA4\"}"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(calls[i].kind, "invoke");
    EXPECT_EQ(calls[i].name, names[i]);
    ASSERT_EQ(calls[i].args.size(), 1u);
    EXPECT_EQ(calls[i].args[0].tag, 's');
    EXPECT_EQ(calls[i].args[0].value, payloads[i]);
    EXPECT_TRUE(calls[i].well_formed);
  }

  ASSERT_TRUE(client.SendShutdown());
  EXPECT_TRUE(client.WaitClosed(15000));
  const RunResult end = process.Wait(15000);
  EXPECT_FALSE(end.timed_out);
  EXPECT_EQ(end.exit_code, 0u);
  // The engine is told which messages were taken: ours, also the malformed one, not others.
  const Journal j = Journal::Load(sandbox.Path("journal.txt"));
  const std::vector<JournalEntry> received = j.Events("cb.on_process_message_received");
  ASSERT_EQ(received.size(), 5u);
  const char* handled[] = {"1", "0", "1", "1", "1"};
  for (size_t i = 0; i < received.size(); ++i) EXPECT_EQ(received[i].Get("handled"), handled[i]) << received[i].line;
  long long leaks = -1, overreleases = -1;
  ASSERT_TRUE(j.References(0, &leaks, &overreleases));
  EXPECT_EQ(leaks, 0) << j.DescribeLeaks();
  EXPECT_EQ(overreleases, 0);
}

}  // namespace
}  // namespace test
}  // namespace nimo
