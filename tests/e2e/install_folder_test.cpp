// An installation under a folder whose name no code page holds whole (a space, a Latin
// letter with an accent, a Cyrillic and a Chinese letter): the executable, the engine
// library and the engine's folders all lie there. Every path the engine gets, the log and
// the pictures the client sees must come through exactly.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/wide_text.h"
#include "protocol/wire.h"
#include "tests/support/fake_client.h"
#include "tests/support/journal.h"
#include "tests/support/process_harness.h"
#include "tests/support/shared_texture_reader.h"

namespace nimo {
namespace test {
namespace {

using nimo_test::Journal;
using nimo_test::JournalEntry;
using nimo_test::ScenarioWriter;

// " été Ж中" in UTF-8, spelled in bytes so the test reads the same in any editor.
const char kFolderSuffix[] = " \xC3\xA9t\xC3\xA9 \xD0\x96\xE4\xB8\xAD";

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(InstallFolder, EveryPathArrivesWholeFromAFolderNamedInSeveralScripts) {
  SandboxLayout layout;
  layout.libraries = {"dezor2.dll", "d3d11.dll", "dxgi.dll"};
  layout.folder_suffix = kFolderSuffix;
  Sandbox sandbox(layout);
  if (!sandbox.ok() && UnderWine() && Sandbox().ok()) {
    // Wine keeps Windows names as Linux names in the host's locale; under a locale that is
    // not UTF-8 (LANG=C) such a folder cannot exist at all.
    GTEST_SKIP() << "this Wine cannot name a folder in these scripts (run it under a UTF-8 locale): "
                 << sandbox.error();
  }
  ASSERT_TRUE(sandbox.ok()) << sandbox.error();
  ASSERT_NE(sandbox.exe_path().find(kFolderSuffix), std::string::npos);

  const std::string root = sandbox.root();
  const std::string resources = root + "\\res \xC3\xA9";        // "res é"
  const std::string locales = root + "\\loc \xD0\x96";          // "loc Ж"
  // "cache 中\<a long name>": the cache path is longer than the classic 259 characters.
  const std::string cache_name = "cache \xE4\xB8\xAD\\" + std::string(220, 'c');
  const std::string cache = root + "\\" + cache_name;
  ASSERT_TRUE(sandbox.MakeDirectory("..\\cache \xE4\xB8\xAD"));
  ASSERT_TRUE(sandbox.MakeDirectory("..\\res \xC3\xA9"));
  ASSERT_TRUE(sandbox.MakeDirectory("..\\loc \xD0\x96"));

  ScenarioWriter scenario;
  scenario.Page("about:blank#ui", {"load_start", "load_end", "paint pattern=solid color=0xFF2040F0"});
  ASSERT_TRUE(scenario.WriteTo(sandbox.Path("scenario.txt")));
  const std::vector<std::string> env = {"NIMO_STANDIN_JOURNAL=" + sandbox.Path("journal.txt"),
                                        "NIMO_STANDIN_SCENARIO=" + sandbox.Path("scenario.txt")};

  FakeClient client;
  SandboxProcess process;
  const std::string folders = "--nimomp-resources=\"" + resources + "\" --nimomp-locales=\"" + locales +
                              "\" --nimomp-cache=\"" + cache + "\"";
  ASSERT_TRUE(sandbox.Start("--nimomp-browser " + client.PipeSwitches() + " --nimomp-url=about:blank#ui " + folders,
                            env, &process));
  // An engine that cannot start from this folder ends at once: no need to wait it out.
  for (int i = 0; i < 100 && !client.WaitConnected(200); ++i) {
    ASSERT_TRUE(process.running()) << "the engine ended before connecting, exit code "
                                   << process.Wait(0).exit_code << ":\n" << sandbox.ReadLog();
  }
  ASSERT_TRUE(client.Handshake(5000)) << "the engine never connected:\n" << sandbox.ReadLog();

  // The UI surface renders: its frame reaches this client with the page's colour.
  Report report;
  bool framed = false;
  FrameReadyPayload frame = {};
  const DWORD start = GetTickCount();
  while (!framed && GetTickCount() - start < 15000) {
    if (!client.Read(&report, 200)) continue;
    if (report.type != kMsgFrameReady || report.payload.size() != kFrameReadyPayloadSize) continue;
    frame = DecodeFrameReady(report.payload.data());
    framed = frame.surface_id == 0;
  }
  ASSERT_TRUE(framed) << "surface 0 never announced a frame:\n" << sandbox.ReadLog();
  const nimo_test::SharedFrame pixels = nimo_test::ReadSharedTexture(frame.client_handle);
  ASSERT_TRUE(pixels.opened);
  ASSERT_EQ(1280u, pixels.width);
  ASSERT_EQ(720u, pixels.height);
  EXPECT_EQ(0xFF2040F0u, pixels.at(640, 360));

  ASSERT_TRUE(client.SendShutdown());
  EXPECT_EQ(0u, process.Wait(20000).exit_code);

  // The engine got every path exactly, as the sub-processes and its files need them.
  const Journal journal = Journal::Load(sandbox.Path("journal.txt"));
  const JournalEntry* init = journal.First("initialize");
  ASSERT_NE(init, nullptr) << sandbox.ReadLog();
  EXPECT_EQ(init->Get("browser_subprocess_path"), sandbox.exe_path());
  EXPECT_EQ(init->Get("log_file"), root + "\\logs\\webengine.log");
  EXPECT_EQ(init->Get("resources_dir_path"), resources);
  EXPECT_EQ(init->Get("locales_dir_path"), locales);
  EXPECT_EQ(init->Get("cache_path"), cache);
  EXPECT_EQ(init->Get("root_cache_path"), cache);
  EXPECT_TRUE(sandbox.Exists("..\\" + cache_name));  // the cache folder is made

  // The log shows the paths in UTF-8: the launch line, the engine's command line, the
  // sub-process path.
  const std::string log = sandbox.ReadLog();
  EXPECT_NE(log.find("[nimo-webengine] launched cmdline=\"" + sandbox.exe_path() + "\" --nimomp-browser "),
            std::string::npos)
      << log;
  const std::size_t cmdline = log.find("[nimo-webengine][cmdline] ");
  ASSERT_NE(cmdline, std::string::npos) << log;
  EXPECT_NE(log.substr(cmdline, log.find('\n', cmdline) - cmdline).find(cache), std::string::npos) << log;
  // A path the system may refuse is named once, whole, with its length in characters.
  EXPECT_NE(log.find("[nimo-webengine][browser] cache_path is " + std::to_string(WideFromUtf8(cache).size()) +
                     " characters long, over the 259 that some system calls take: " + cache + "\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("[nimo-webengine][browser] cef_initialize: subprocess=" + sandbox.exe_path() + "\n"),
            std::string::npos)
      << log;

  // The same executable, started by the engine as a renderer from that folder, finds its
  // library and plays its role to the end.
  const RunResult renderer = sandbox.Run("--type=renderer", env);
  ASSERT_TRUE(renderer.started);
  EXPECT_EQ(0u, renderer.exit_code);
  EXPECT_NE(sandbox.ReadLog().find("[nimo-webengine] launched cmdline=\"" + sandbox.exe_path() + "\" --type=renderer\n"),
            std::string::npos);
}

}  // namespace
}  // namespace test
}  // namespace nimo
