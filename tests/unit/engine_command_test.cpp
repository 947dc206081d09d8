// The host library's engine command line read back by the engine's own switch reader:
// every value the program gives comes back exactly, or is refused, or (the page URL)
// is handed back to go by the pipe; no value adds or overrides a switch.
#include "client/portable/engine_command.h"

#include <gtest/gtest.h>

#include <string>

#include "protocol/switches.h"

namespace {

using nimo::SwitchValueIn;
using nimo::client::BuildEngineCommand;
using nimo::client::EngineCommand;
using nimo::client::EngineCommandInput;

const std::string kAbsent = "<absent>";

EngineCommandInput Base() {
  EngineCommandInput in;
  in.engine_path = "C:\\Program Files\\My Game\\nimo-webengine.exe";
  in.pipe_name = "\\\\.\\pipe\\nimo-host-42-1000-1";
  in.client_pid = 42;
  return in;
}

TEST(EngineCommand, HostileValuesComeBackExactlyOrAreRefused) {
  EngineCommandInput in = Base();
  in.cache_dir = "C:\\Users\\John Smith\\AppData\\My Game\\cache\\";  // trailing backslash
  in.locales_dir = "C:\\Spiele\\Gr\xC3\xB6\xC3\x9F" "e \xE5\x90\x8D\xE5\x89\x8D\\locales";
  in.resources_dir = "\\\\server\\share\\res";
  in.ui_root = "D:\\";  // a drive root: the same folder, no backslash before the quote
  in.devtools_port = "9222";
  in.adapter_luid = "0000000100005101";
  in.protocol_version = "3";
  in.bridge_origins = "https://nimo.localhost, http://game.example:8080";
  in.frame_ring = "3";
  in.url = "file:///C:/Program Files/My Game/ui/index.html?a=b c";
  in.extra_switches = {"--some-flag", "--lang=de DE", "--empty="};
  const EngineCommand c = BuildEngineCommand(in);
  ASSERT_TRUE(c.error.empty()) << c.error;
  EXPECT_EQ(c.line.rfind("\"C:\\Program Files\\My Game\\nimo-webengine.exe\" --nimomp-browser ", 0), 0u) << c.line;
  EXPECT_EQ(SwitchValueIn(c.line, nimo::kSwitchPipe, kAbsent), in.pipe_name);
  EXPECT_EQ(SwitchValueIn(c.line, nimo::kSwitchClientPid, kAbsent), "42");
  EXPECT_EQ(SwitchValueIn(c.line, nimo::kSwitchAdapterLuid, kAbsent), in.adapter_luid);
  EXPECT_EQ(SwitchValueIn(c.line, nimo::kSwitchProtocol, kAbsent), "3");
  EXPECT_EQ(SwitchValueIn(c.line, nimo::kSwitchBridgeOrigins, kAbsent), in.bridge_origins);
  EXPECT_EQ(SwitchValueIn(c.line, nimo::kSwitchFrameRing, kAbsent), "3");
  EXPECT_EQ(SwitchValueIn(c.line, nimo::kSwitchCache, kAbsent), in.cache_dir + ".") << "the same folder";
  EXPECT_EQ(SwitchValueIn(c.line, nimo::kSwitchLocales, kAbsent), in.locales_dir);
  EXPECT_EQ(SwitchValueIn(c.line, nimo::kSwitchResources, kAbsent), in.resources_dir);
  EXPECT_EQ(SwitchValueIn(c.line, "--nimomp-ui-root", kAbsent), "D:\\.");
  EXPECT_EQ(SwitchValueIn(c.line, "--nimomp-devtools-port", kAbsent), "9222");
  EXPECT_EQ(SwitchValueIn(c.line, nimo::kSwitchUrl, kAbsent), in.url);
  EXPECT_TRUE(c.url_by_navigate.empty());
  EXPECT_EQ(SwitchValueIn(c.line, "--lang", kAbsent), "de DE");
  EXPECT_EQ(SwitchValueIn(c.line, "--empty", kAbsent), "");
  EXPECT_NE(c.line.find(" --some-flag"), std::string::npos);

  // A URL with quotes, backslashes before quotes and switches of ours inside: not on the
  // line, where it could end early or be taken for those switches; handed back whole.
  EngineCommandInput url = Base();
  url.url = "https://example.org/?q=\"a \\\"b\\\"\" --nimomp-cache=C:\\evil\\\" --nimomp-pipe=x";
  const EngineCommand u = BuildEngineCommand(url);
  ASSERT_TRUE(u.error.empty()) << u.error;
  EXPECT_EQ(u.url_by_navigate, url.url);
  EXPECT_EQ(SwitchValueIn(u.line, nimo::kSwitchUrl, kAbsent), kAbsent);
  EXPECT_EQ(SwitchValueIn(u.line, nimo::kSwitchCache, kAbsent), kAbsent);
  EXPECT_EQ(SwitchValueIn(u.line, nimo::kSwitchPipe, kAbsent), url.pipe_name);

  // Folders and extra switches that cannot be written: refused, naming the option.
  const struct {
    const char* what;
    EngineCommandInput in;
  } refused[] = {
      {"cache_dir", [] { auto i = Base(); i.cache_dir = "C:\\a\"b"; return i; }()},
      {"resources_dir", [] { auto i = Base(); i.resources_dir = "C:\\x --nimomp-pipe=\\\\.\\pipe\\y"; return i; }()},
      {"locales_dir", [] { auto i = Base(); i.locales_dir = "C:\\line\nbreak"; return i; }()},
      {"extra switch --x", [] { auto i = Base(); i.extra_switches = {"--x=a\\\"b"}; return i; }()},
      {"extra switch", [] { auto i = Base(); i.extra_switches = {"--two words=1"}; return i; }()},
      {"extra switch", [] { auto i = Base(); i.extra_switches = {"=value"}; return i; }()},
      {"bridge_origins", [] { auto i = Base(); i.bridge_origins = "https://a\" --nimomp-url=x"; return i; }()},
      {"pipe name", [] { auto i = Base(); i.pipe_name = "\\\\.\\pipe\\a\"b"; return i; }()},
      {"engine_path", [] { auto i = Base(); i.engine_path = "C:\\a\"b.exe"; return i; }()},
      {"engine_path", [] { auto i = Base(); i.engine_path = "C:\\--nimomp-url=x\\e.exe"; return i; }()},
  };
  for (const auto& r : refused) {
    const EngineCommand c2 = BuildEngineCommand(r.in);
    EXPECT_NE(c2.error.find(r.what), std::string::npos) << r.what << ": " << c2.error;
    EXPECT_TRUE(c2.line.empty()) << r.what;
  }
}

}  // namespace
