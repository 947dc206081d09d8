// The load callbacks of a surface, called as the engine calls them, with the reports read
// from the product's own pipe link: the cases the stand-in engine cannot produce (absent
// slots, entries, frames and hosts) and the exact order of the view refresh. Injection per
// frame and surface, and load events, are in tests/e2e/page_bridge_test.cpp.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/engine_api.h"
#include "bridge/load_handler.h"
#include "bridge/page_scripts.h"
#include "protocol/wire.h"
#include "surfaces/surface.h"
#include "tests/support/fake_cef.h"
#include "tests/support/linked_client.h"

namespace nimo {
namespace {

using test::FakeBrowser;
using test::FakeFrame;
using test::Report;

const std::string kShim(kPageShim, kPageShimLength);
const std::string kProbe(kRateProbe, kRateProbeLength);

class LoadHandlerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitSurfaceTable();
    for (Surface& s : surfaces) InstallLoadHandler(&s.load_handler);
  }
  void SetUp() override {
    test::InstallFakeEngineStrings();
    ASSERT_NE(test::LinkedClient(), nullptr);
    strings_before_ = test::LiveEngineStrings();
  }
  void TearDown() override { EXPECT_EQ(test::LiveEngineStrings(), strings_before_) << "engine strings leaked"; }

  static cef_load_handler_t* Handler(int id) { return &surfaces[id].load_handler; }
  static void Start(int id, FakeBrowser* b, FakeFrame* f) {
    Handler(id)->on_load_start(Handler(id), test::Pass(b), test::Pass(f), TT_EXPLICIT);
  }
  static void End(int id, FakeBrowser* b, FakeFrame* f) {
    Handler(id)->on_load_end(Handler(id), test::Pass(b), test::Pass(f), 200);
  }
  static void Error(int id, FakeBrowser* b, FakeFrame* f, int code, const cef_string_t* url) {
    test::ArgString text("net::ERR_SOMETHING");
    Handler(id)->on_load_error(Handler(id), test::Pass(b), test::Pass(f),
                               static_cast<cef_errorcode_t>(code), text.get(), url);
  }

  int strings_before_ = 0;
};

TEST_F(LoadHandlerTest, FramesThatCannotTellCountAsMainFrames) {
  std::unique_ptr<FakeBrowser> browser(test::NewBrowser());
  std::unique_ptr<FakeFrame> unknown(test::NewFrame(true, /*has_is_main=*/false));
  Start(3, browser.get(), unknown.get());
  EXPECT_EQ(unknown->scripts, (std::vector<std::string>{kShim, kProbe}));
  EXPECT_EQ(unknown->script_urls, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(unknown->start_lines, (std::vector<int>{0, 0}));
  EXPECT_EQ(unknown->refs, 0);
  EXPECT_EQ(browser->refs, 0);
  Start(0, nullptr, nullptr);  // no frame at all: nothing to run, nothing to release
  EXPECT_TRUE(test::NothingSentBefore("after load starts"));
}

TEST_F(LoadHandlerTest, NoScriptWithoutTheEngineStringEntry) {
  test::InstallFakeEngineStrings(/*with_utf8_to_utf16=*/false);
  std::unique_ptr<FakeFrame> main(test::NewFrame(true));
  InjectPageShim(&main->cef);
  InjectFrameRateProbe(&main->cef);
  EXPECT_TRUE(main->scripts.empty());
  EXPECT_EQ(main->refs, 0) << "the injections must leave the caller's reference alone";
  test::InstallFakeEngineStrings();
}

TEST_F(LoadHandlerTest, MainFrameLoadEndRunsShimRefreshesViewAndReportsKindZero) {
  for (int id : {0, 1, 3}) {
    std::unique_ptr<FakeBrowser> browser(test::NewBrowser());
    std::unique_ptr<FakeFrame> main(test::NewFrame(true));
    End(id, browser.get(), main.get());
    if (id == 1) {
      EXPECT_TRUE(main->scripts.empty());
    } else {
      EXPECT_EQ(main->scripts, (std::vector<std::string>{kShim})) << "surface " << id;
    }
    EXPECT_EQ(browser->host.calls, (std::vector<std::string>{"was_resized", "invalidate 0"}));
    EXPECT_EQ(browser->host.refs, 0) << "host not released";
    EXPECT_EQ(browser->refs, 0);
    EXPECT_EQ(main->refs, 0);
    Report r;
    ASSERT_TRUE(test::NextBridgeReport(&r));
    EXPECT_EQ(r.type, kMsgLoadEvent);
    ASSERT_EQ(r.payload.size(), 16u) << "kind 0 carries the head only";
    EXPECT_EQ(r.surface_id(), static_cast<std::uint32_t>(id));
    EXPECT_EQ(r.param(1), kLoadEventFinished);
    EXPECT_EQ(r.param(2), 0u);
    EXPECT_EQ(r.param(3), 0u);
  }
}

TEST_F(LoadHandlerTest, LoadEndWithoutFrameOrHostIsStillReported) {
  std::unique_ptr<FakeBrowser> hostless(test::NewBrowser());
  hostless->has_host = false;
  End(2, hostless.get(), nullptr);
  End(3, nullptr, nullptr);
  EXPECT_EQ(hostless->refs, 0);
  for (std::uint32_t id : {2u, 3u}) {
    Report r;
    ASSERT_TRUE(test::NextBridgeReport(&r));
    EXPECT_EQ(r.type, kMsgLoadEvent);
    EXPECT_EQ(r.surface_id(), id);
    EXPECT_EQ(r.payload.size(), 16u);
  }
}

TEST_F(LoadHandlerTest, LoadErrorWithoutUrlCarriesTheHeadAlone) {
  Report r;
  Error(2, nullptr, nullptr, -3, nullptr);  // no URL: the head alone
  ASSERT_TRUE(test::NextBridgeReport(&r));
  EXPECT_EQ(r.surface_id(), 2u);
  EXPECT_EQ(r.param(1), kLoadEventFailed);
  EXPECT_EQ(static_cast<std::int32_t>(r.param(2)), -3);
  EXPECT_EQ(r.payload.size(), 16u);
}

}  // namespace
}  // namespace nimo
