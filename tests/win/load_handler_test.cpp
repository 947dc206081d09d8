// The load callbacks of a surface, called as the engine calls them, with the reports read
// from the product's own pipe link.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bridge/load_handler.h"
#include "bridge/page_scripts.h"
#include "host/engine_api.h"
#include "link/portable/wire.h"
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

TEST_F(LoadHandlerTest, LoadStartRunsShimThenProbeInMainFramesAndSendsNothing) {
  for (int id : {0, 2, 3}) {
    std::unique_ptr<FakeBrowser> browser(test::NewBrowser());
    std::unique_ptr<FakeFrame> main(test::NewFrame(true));
    std::unique_ptr<FakeFrame> unknown(test::NewFrame(true, /*has_is_main=*/false));
    Start(id, browser.get(), main.get());
    Start(id, browser.get(), unknown.get());  // a frame that cannot tell counts as main
    for (FakeFrame* f : {main.get(), unknown.get()}) {
      ASSERT_EQ(f->scripts.size(), 2u) << "surface " << id;
      EXPECT_EQ(f->scripts[0], kShim);
      EXPECT_EQ(f->scripts[1], kProbe);
      EXPECT_EQ(f->script_urls, (std::vector<std::string>{"", ""}));
      EXPECT_EQ(f->start_lines, (std::vector<int>{0, 0}));
      EXPECT_EQ(f->refs, 0) << "frame argument not released once";
    }
    EXPECT_EQ(browser->refs, 0) << "browser argument not released once per call";
    EXPECT_TRUE(browser->host.calls.empty());
  }
  EXPECT_TRUE(test::NothingSentBefore("after load starts"));
}

TEST_F(LoadHandlerTest, SubFramesAndSurfaceOneGetNoScripts) {
  std::unique_ptr<FakeBrowser> browser(test::NewBrowser());
  std::unique_ptr<FakeFrame> sub(test::NewFrame(false));
  Start(0, browser.get(), sub.get());
  std::unique_ptr<FakeFrame> main1(test::NewFrame(true));
  Start(1, browser.get(), main1.get());
  EXPECT_TRUE(sub->scripts.empty());
  EXPECT_TRUE(main1->scripts.empty());
  EXPECT_EQ(sub->refs, 0);
  EXPECT_EQ(main1->refs, 0);
  EXPECT_EQ(browser->refs, 0);
  Start(0, nullptr, nullptr);  // no frame at all: nothing to run, nothing to release
  EXPECT_TRUE(test::NothingSentBefore("after skipped starts"));
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

TEST_F(LoadHandlerTest, SubFrameLoadEndIsNeitherReportedNorRefreshed) {
  std::unique_ptr<FakeBrowser> browser(test::NewBrowser());
  std::unique_ptr<FakeFrame> sub(test::NewFrame(false));
  End(0, browser.get(), sub.get());
  EXPECT_TRUE(sub->scripts.empty());
  EXPECT_TRUE(browser->host.calls.empty());
  EXPECT_EQ(browser->host.refs, 0);
  EXPECT_EQ(browser->refs, 0);
  EXPECT_EQ(sub->refs, 0);
  EXPECT_TRUE(test::NothingSentBefore("after a sub-frame load end"));
}

TEST_F(LoadHandlerTest, EveryLoadErrorIsReportedWithCodeAndUrl) {
  std::unique_ptr<FakeBrowser> browser(test::NewBrowser());
  std::unique_ptr<FakeFrame> sub(test::NewFrame(false));
  const std::string url = "file:///C:/ui/m\xC3\xA4in.html?q=1#x";
  test::ArgString failed(url);
  Error(1, browser.get(), sub.get(), -105, failed.get());  // sub-frame, surface 1: reported too
  EXPECT_TRUE(sub->scripts.empty());
  EXPECT_TRUE(browser->host.calls.empty());
  EXPECT_EQ(sub->refs, 0);
  EXPECT_EQ(browser->refs, 0);
  Report r;
  ASSERT_TRUE(test::NextBridgeReport(&r));
  EXPECT_EQ(r.type, kMsgLoadEvent);
  EXPECT_EQ(r.surface_id(), 1u);
  EXPECT_EQ(r.param(1), kLoadEventFailed);
  EXPECT_EQ(static_cast<std::int32_t>(r.param(2)), -105);
  EXPECT_EQ(r.param(3), 0u);
  EXPECT_EQ(r.text(), url);
  EXPECT_EQ(r.payload.size(), 16u + url.size());

  Error(2, nullptr, nullptr, -3, nullptr);  // no URL: the head alone
  ASSERT_TRUE(test::NextBridgeReport(&r));
  EXPECT_EQ(r.surface_id(), 2u);
  EXPECT_EQ(r.param(1), kLoadEventFailed);
  EXPECT_EQ(static_cast<std::int32_t>(r.param(2)), -3);
  EXPECT_EQ(r.payload.size(), 16u);
}

}  // namespace
}  // namespace nimo
