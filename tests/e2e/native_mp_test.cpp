// Native window.mp in the renderer sub-process, against the stand-in engine's renderer
// role: installed in every context only when ZUNT_CEF_NATIVE_MP is exactly "1", invoke and
// send post "mp:invoke" (name, payload) to the browser process, bad calls send nothing and
// still return undefined, and every reference the engine handed over comes back.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/journal.h"
#include "tests/support/process_harness.h"

namespace nimo {
namespace test {
namespace {

using nimo_test::Journal;
using nimo_test::JournalEntry;
using nimo_test::ScenarioWriter;

struct RendererRun {
  RunResult run;
  Journal journal;
  std::string log;
};

RendererRun RunRenderer(const std::vector<std::string>& actions, const char* native_mp,
                        const std::string& global = "", const std::vector<std::string>& more_env = {}) {
  RendererRun out;
  Sandbox sandbox;
  EXPECT_TRUE(sandbox.ok()) << sandbox.error();
  EXPECT_TRUE(sandbox.CopyFromBin("dezor2.dll"));
  ScenarioWriter().Line(global).Renderer(actions).WriteTo(sandbox.Path("scenario.txt"));
  std::vector<std::string> env = {"NIMO_STANDIN_SCENARIO=" + sandbox.Path("scenario.txt"),
                                  "NIMO_STANDIN_JOURNAL=" + sandbox.Path("journal.txt")};
  env.insert(env.end(), more_env.begin(), more_env.end());
  env.push_back(native_mp ? std::string("ZUNT_CEF_NATIVE_MP=") + native_mp
                          : std::string("ZUNT_CEF_NATIVE_MP"));
  out.run = sandbox.Run("--type=renderer", env);
  out.journal = Journal::Load(sandbox.Path("journal.txt"));
  out.log = sandbox.ReadLog();
  return out;
}

void ExpectNoReferenceFaults(const Journal& journal) {
  std::string detail;
  EXPECT_TRUE(journal.ReferencesClean(0, &detail)) << detail;
}

std::vector<JournalEntry> Messages(const Journal& journal) {
  return journal.Events("frame.send_process_message");
}

TEST(NativeMp, EveryContextGetsInvokeAndSend) {
  const RendererRun r = RunRenderer({"context frame=main", "context frame=sub",
                                     "call mp.invoke frame=sub s:a s:b"},
                                    "1");
  ASSERT_TRUE(r.run.started && !r.run.timed_out);
  EXPECT_EQ(r.run.exit_code, 0u);
  const std::vector<JournalEntry> created = r.journal.Events("renderer.on_context_created");
  ASSERT_EQ(created.size(), 2u);
  for (const JournalEntry& e : created) {
    EXPECT_EQ(e.Get("mp"), "object") << e.line;
    EXPECT_EQ(e.Get("mp_members"), "invoke,send") << e.line;  // nothing else
  }
  EXPECT_EQ(created[1].Get("frame"), "sub");
  const std::vector<JournalEntry> sent = Messages(r.journal);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Get("frame"), "sub");  // through the calling frame
  ExpectNoReferenceFaults(r.journal);
  // Two installs, each confirmed with the store's result 1.
  size_t confirmations = 0;
  for (size_t at = r.log.find("[InstallWindowMp] window.mp set ok=0000000000000001\n");
       at != std::string::npos;
       at = r.log.find("[InstallWindowMp] window.mp set ok=0000000000000001\n", at + 1)) {
    ++confirmations;
  }
  EXPECT_EQ(confirmations, 2u) << r.log;
  EXPECT_NE(r.log.find("[InstallWindowMp] called ctx="), std::string::npos);
}

TEST(NativeMp, CallsSendNameAndPayload) {
  const RendererRun r = RunRenderer(
      {"context frame=main", "call mp.invoke s:save s:[1,2]", "call mp.send s:save s:[1,2]",
       "call mp.invoke s:save i:5", "call mp.invoke s:save", "call mp.invoke s:save s:x s:extra",
       "call mp.invoke s:\xC3\xA4\xE2\x82\xAC s:\xF0\x9D\x84\x9E"},
      "1");
  ASSERT_TRUE(r.run.started && !r.run.timed_out);
  const std::vector<JournalEntry> sent = Messages(r.journal);
  ASSERT_EQ(sent.size(), 6u);
  const char* payloads[] = {"s:[1,2]", "s:[1,2]", "s:", "s:", "s:x",
                            "s:\xF0\x9D\x84\x9E"};
  for (size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].Get("name"), "mp:invoke");
    EXPECT_EQ(sent[i].Get("target"), "0");  // the browser process
    EXPECT_EQ(sent[i].Int("count"), 2);
    EXPECT_EQ(sent[i].Get("arg0"), i == 5 ? "s:\xC3\xA4\xE2\x82\xAC" : "s:save") << sent[i].line;
    EXPECT_EQ(sent[i].Get("arg1"), payloads[i]) << sent[i].line;
  }
  for (const JournalEntry& call : r.journal.Events("renderer.call")) {
    EXPECT_EQ(call.Int("handled"), 1) << call.line;
    EXPECT_EQ(call.Get("result"), "undefined") << call.line;
    EXPECT_EQ(call.Get("exception"), "") << call.line;
  }
  ExpectNoReferenceFaults(r.journal);
  const JournalEntry* strings = r.journal.First("strings");
  ASSERT_NE(strings, nullptr);
  EXPECT_EQ(strings->Int("outstanding", -1), 0) << strings->line;
  EXPECT_EQ(strings->Int("userfree_outstanding", -1), 0) << strings->line;
}

TEST(NativeMp, BadCallsSendNothingAndReturnUndefined) {
  const RendererRun r = RunRenderer({"context frame=main", "call mp.invoke", "call mp.invoke s:",
                                     "call mp.send i:5 s:x", "call mp.invoke null s:x",
                                     "call mp.invoke b:1"},
                                    "1");
  ASSERT_TRUE(r.run.started && !r.run.timed_out);
  EXPECT_TRUE(Messages(r.journal).empty());
  EXPECT_EQ(r.journal.Count("process_message.create"), 0u);
  const std::vector<JournalEntry> calls = r.journal.Events("renderer.call");
  ASSERT_EQ(calls.size(), 5u);
  for (const JournalEntry& call : calls) {
    EXPECT_EQ(call.Int("handled"), 1) << call.line;
    EXPECT_EQ(call.Get("result"), "undefined") << call.line;
    EXPECT_EQ(call.Get("exception"), "") << call.line;
  }
  ExpectNoReferenceFaults(r.journal);
}

TEST(NativeMp, OnlyTheExactValueOneEnablesIt) {
  const char* values[] = {nullptr, "", "0", "11", "true", "1 "};
  for (const char* value : values) {
    const RendererRun r = RunRenderer({"context frame=main", "context frame=sub"}, value);
    ASSERT_TRUE(r.run.started && !r.run.timed_out);
    const std::vector<JournalEntry> created = r.journal.Events("renderer.on_context_created");
    ASSERT_EQ(created.size(), 2u) << (value ? value : "(unset)");
    for (const JournalEntry& e : created) {
      EXPECT_EQ(e.Get("mp"), "none") << (value ? value : "(unset)");
    }
    EXPECT_EQ(r.journal.Count("v8.create_object"), 0u);
    EXPECT_EQ(r.log.find("[InstallWindowMp]"), std::string::npos);
    ExpectNoReferenceFaults(r.journal);  // the context arguments are released either way
  }
}

// Every renderer of a protocol-3 session sees the same environment; only a browser whose
// creation info carries the mark (not surface 1's) gets window.mp before the page's first
// script, in its main frame.
TEST(NativeMp, EarlyPageApiOnlyInMarkedBrowsers) {
  const struct {
    const char* info;
    size_t scripts;
  } cases[] = {{"renderer_extra_info nimo.page_api=1", 1u}, {"", 0u},
               {"renderer_extra_info nimo.page_api=0", 0u}, {"renderer_extra_info other=1", 0u}};
  for (const auto& c : cases) {
    const RendererRun r = RunRenderer({"context frame=main", "context frame=sub"}, nullptr, c.info,
                                      {"NIMOMP_PAGE_API=*"});
    ASSERT_TRUE(r.run.started && !r.run.timed_out) << c.info;
    const std::vector<JournalEntry> scripts = r.journal.Events("frame.execute_java_script");
    ASSERT_EQ(scripts.size(), c.scripts) << c.info;
    for (const JournalEntry& e : scripts) EXPECT_EQ(e.Get("frame"), "main") << e.line;
    ExpectNoReferenceFaults(r.journal);  // the browser and its info are released
  }
}

}  // namespace
}  // namespace test
}  // namespace nimo
