// The console channel of a surface, called as the engine calls it, with the reports read
// from the product's own pipe link.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bridge/console_channel.h"
#include "link/portable/wire.h"
#include "surfaces/surface.h"
#include "tests/support/fake_cef.h"
#include "tests/support/linked_client.h"

namespace nimo {
namespace {

using test::ArgString;
using test::Report;

class ConsoleChannelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitSurfaceTable();
    for (Surface& s : surfaces) InstallConsoleChannel(&s.display_handler);
  }
  void SetUp() override {
    test::InstallFakeEngineStrings();
    ASSERT_NE(test::LinkedClient(), nullptr);
  }

  // One console message on surface `id`; returns the report it produced.
  static Report Console(int id, int level, const cef_string_t* message, const cef_string_t* source,
                        int line) {
    std::unique_ptr<test::FakeBrowser> browser(test::NewBrowser());
    cef_display_handler_t* h = &surfaces[id].display_handler;
    const int result = h->on_console_message(h, test::Pass(browser.get()),
                                             static_cast<cef_log_severity_t>(level), message, source, line);
    EXPECT_EQ(result, 0) << "the engine's own console output must go on";
    EXPECT_EQ(browser->refs, 0) << "browser argument not released";
    Report r;
    EXPECT_TRUE(test::NextBridgeReport(&r)) << "no report";
    EXPECT_EQ(r.surface_id(), static_cast<std::uint32_t>(id));
    EXPECT_EQ(r.param(1), 0u);
    EXPECT_EQ(r.param(2), 0u);
    EXPECT_EQ(r.param(3), 0u);
    return r;
  }
  static Report Console(int id, int level, const std::string& message, const std::string& source,
                        int line) {
    ArgString m(message), s(source);
    return Console(id, level, m.get(), s.get(), line);
  }
};

TEST_F(ConsoleChannelTest, TaggedTextsGoWholeAsPageMessages) {
  const std::string call = "NIMOMP|callRemote|save\x01\x02s{a}";
  for (int level : {0, 2, 3, 4, 99, -1}) {
    Report r = Console(level & 3, level, call, "file:///C:/ui/app.js", 7);
    EXPECT_EQ(r.type, kMsgPageMessage);
    EXPECT_EQ(r.text(), call) << "level " << level;
  }
  Report tag = Console(0, 2, "NIMOMP|", "", 0);
  EXPECT_EQ(tag.type, kMsgPageMessage);
  EXPECT_EQ(tag.text(), "NIMOMP|");

  const std::string long_call = "NIMOMP|invoke|big\x01\x02s" + std::string(5000, 'x');
  Report big = Console(2, 2, long_call, "", 0);
  EXPECT_EQ(big.type, kMsgPageMessage);
  EXPECT_EQ(big.text(), long_call) << "page messages are never cut";
}

TEST_F(ConsoleChannelTest, NearMissesOfTheTagAreConsoleLines) {
  for (const char* text : {" NIMOMP|trigger|x", "nimomp|trigger|x", "NIMOMP", "NIMOMP:x"}) {
    Report r = Console(1, 2, text, "", 0);
    EXPECT_EQ(r.type, kMsgConsoleLine);
    EXPECT_EQ(r.text(), std::string("log|") + text);
  }
}

TEST_F(ConsoleChannelTest, LinesCarryLevelWordAndSourceSuffix) {
  EXPECT_EQ(Console(0, 3, "hello", "file:///C:/ui/app.js", 12).text(), "WARN|hello  (file:///C:/ui/app.js:12)");
  EXPECT_EQ(Console(0, 3, "hello", "", 12).text(), "WARN|hello");
  EXPECT_EQ(Console(3, 2, "x", "a.js", 0).text(), "log|x  (a.js:0)");
  EXPECT_EQ(Console(3, 2, "x", "a.js", -4).text(), "log|x  (a.js:-4)");
  EXPECT_EQ(Console(2, 4, "e", "", 0).text(), "ERROR|e");
  EXPECT_EQ(Console(2, 99, "e", "", 0).text(), "ERROR|e");
  EXPECT_EQ(Console(2, -1, "n", "", 0).text(), "log|n");
  EXPECT_EQ(Console(2, 1, "v", "", 0).text(), "log|v");
  Report empty = Console(1, 0, nullptr, nullptr, 5);
  EXPECT_EQ(empty.type, kMsgConsoleLine);
  EXPECT_EQ(empty.text(), "log|");
}

TEST_F(ConsoleChannelTest, LongTextsAreCutAt600Bytes) {
  const std::string exact(600, 'a');
  EXPECT_EQ(Console(0, 2, exact, "", 0).text(), "log|" + exact);
  const std::string over = std::string(600, 'b') + "c";
  EXPECT_EQ(Console(0, 2, over, "s.js", 3).text(), "log|" + std::string(600, 'b') + "...  (s.js:3)");
  // Non-ASCII text: counted in UTF-8 bytes, and the line stays valid UTF-8.
  std::string umlauts;
  for (int i = 0; i < 400; ++i) umlauts += "\xC3\xA4";
  EXPECT_EQ(Console(0, 2, umlauts, "", 0).text(), "log|" + umlauts.substr(0, 600) + "...");
}

}  // namespace
}  // namespace nimo
