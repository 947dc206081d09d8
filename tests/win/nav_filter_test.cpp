// The navigation filter and the asset request handler, called as the engine calls them.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "host/paths.h"
#include "surfaces/nav_filter.h"
#include "surfaces/portable/asset_policy.h"
#include "surfaces/surface.h"
#include "tests/support/fake_cef.h"

namespace nimo {
namespace {

using test::FakeRequest;

std::string LogPath() { return GetExecutableDirectory() + "\\webengine.log"; }

std::string ReadLog() {
  std::ifstream in(LogPath(), std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

int CountBlocked() {
  const std::string log = ReadLog();
  // The C runtime writes the line's "\n" as "\r\n".
  const std::string line = "[nimo-webengine][browser] BLOCKED navigation\r\n";
  int n = 0;
  for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++n;
  return n;
}

class NavFilterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The log is on for the whole process when the flag file exists at the first log call.
    const std::string flag = GetExecutableDirectory() + "\\ZUNT_DEBUG";
    CloseHandle(CreateFileA(flag.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DeleteFileA(LogPath().c_str());
    InitSurfaceTable();
    for (Surface& s : surfaces) InstallNavigationFilter(&s.request_handler);
  }
  static void TearDownTestSuite() {
    DeleteFileA((GetExecutableDirectory() + "\\ZUNT_DEBUG").c_str());
    DeleteFileA(LogPath().c_str());
  }
  void SetUp() override {
    test::InstallFakeEngineStrings();
    strings_before_ = test::LiveEngineStrings();
  }
  void TearDown() override { EXPECT_EQ(test::LiveEngineStrings(), strings_before_) << "engine strings leaked"; }

  // 1 when the navigation is cancelled.
  static int Browse(int id, const std::string& url) {
    std::unique_ptr<test::FakeBrowser> browser(test::NewBrowser());
    std::unique_ptr<test::FakeFrame> frame(test::NewFrame(false));
    std::unique_ptr<FakeRequest> request(test::NewRequest(url));
    cef_request_handler_t* h = &surfaces[id].request_handler;
    const int cancel = h->on_before_browse(h, test::Pass(browser.get()), test::Pass(frame.get()),
                                           test::Pass(request.get()), 1, 0);
    EXPECT_EQ(browser->refs + frame->refs + request->refs, 0) << "arguments not released for " << url;
    return cancel;
  }

  // The URL the engine loads after the product saw the request (the same when untouched).
  static std::string Load(int id, const std::string& url, int* set_calls = nullptr) {
    std::unique_ptr<test::FakeBrowser> browser(test::NewBrowser());
    std::unique_ptr<test::FakeFrame> frame(test::NewFrame(true));
    std::unique_ptr<FakeRequest> request(test::NewRequest(url));
    std::unique_ptr<test::FakeCallback> callback(test::NewCallback());
    cef_request_handler_t* h = &surfaces[id].request_handler;
    int disable_default = 0;
    test::ArgString initiator("file://");
    cef_resource_request_handler_t* rh = h->get_resource_request_handler(
        h, test::Pass(browser.get()), test::Pass(frame.get()), test::Pass(request.get()), 0, 0,
        initiator.get(), &disable_default);
    EXPECT_EQ(disable_default, 0);
    EXPECT_EQ(browser->refs + frame->refs + request->refs, 0);
    EXPECT_NE(rh, nullptr);
    if (!rh) return url;
    EXPECT_EQ(rh, AssetRequestHandler()) << "one handler for every request of every surface";
    const cef_return_value_t rv = rh->on_before_resource_load(
        rh, test::Pass(browser.get()), test::Pass(frame.get()), test::Pass(request.get()),
        test::Pass(callback.get()));
    EXPECT_EQ(rv, RV_CONTINUE);
    EXPECT_EQ(browser->refs + frame->refs + request->refs + callback->refs, 0);
    if (set_calls) *set_calls = static_cast<int>(request->set_urls.size());
    return request->url;
  }

  int strings_before_ = 0;
};

TEST_F(NavFilterTest, WebUrlsAreCancelledAndLoggedExceptOnSurfaceTwo) {
  const int before = CountBlocked();
  for (int id : {0, 1, 3}) {
    EXPECT_EQ(Browse(id, "https://example.com/"), 1) << "surface " << id;
    EXPECT_EQ(Browse(id, "about:srcdoc"), 1);
    EXPECT_EQ(Browse(id, "ABOUT:BLANK"), 1);
    EXPECT_EQ(Browse(id, "FILE:///C:/x.html"), 1);
    EXPECT_EQ(Browse(id, "javascript:alert(1)"), 1);
  }
  EXPECT_EQ(CountBlocked(), before + 15);
  EXPECT_EQ(Browse(2, "https://example.com/"), 0);
  EXPECT_EQ(Browse(2, "ABOUT:BLANK"), 0);
  EXPECT_EQ(CountBlocked(), before + 15) << "allowed navigations log nothing";
}

TEST_F(NavFilterTest, LocalDataAndBlankPagesAlwaysProceed) {
  const int before = CountBlocked();
  for (int id : {0, 1, 2, 3}) {
    EXPECT_EQ(Browse(id, "about:blank"), 0);
    EXPECT_EQ(Browse(id, "about:blank#top"), 0);
    EXPECT_EQ(Browse(id, "data:text/html,<p>hi"), 0);
    EXPECT_EQ(Browse(id, "file:///C:/Games/ui/index.html"), 0);
    EXPECT_EQ(Browse(id, "file://server/share/a.html"), 0);
  }
  EXPECT_EQ(CountBlocked(), before);
}

TEST_F(NavFilterTest, RequestsWithoutUrlAccessProceedUntouched) {
  cef_request_handler_t* h = &surfaces[0].request_handler;
  EXPECT_EQ(h->on_before_browse(h, nullptr, nullptr, nullptr, 0, 0), 0);
  std::unique_ptr<FakeRequest> request(test::NewRequest("https://example.com/"));
  request->cef.get_url = nullptr;
  EXPECT_EQ(h->on_before_browse(h, nullptr, nullptr, test::Pass(request.get()), 0, 0), 0);
  EXPECT_EQ(request->refs, 0);

  cef_resource_request_handler_t* rh = AssetRequestHandler();
  EXPECT_EQ(rh->on_before_resource_load(rh, nullptr, nullptr, nullptr, nullptr), RV_CONTINUE);
  std::unique_ptr<FakeRequest> fixed(test::NewRequest("file:///C:/assets/a.png", /*with_set_url=*/false));
  EXPECT_EQ(rh->on_before_resource_load(rh, nullptr, nullptr, test::Pass(fixed.get()), nullptr), RV_CONTINUE);
  EXPECT_EQ(fixed->refs, 0);
  EXPECT_EQ(fixed->url, "file:///C:/assets/a.png");
}

TEST_F(NavFilterTest, AssetHandlerIsStaticWithOnlyTheResourceLoadSlot) {
  cef_resource_request_handler_t* rh = AssetRequestHandler();
  EXPECT_EQ(rh->base.size, 104u);
  EXPECT_NE(rh->on_before_resource_load, nullptr);
  EXPECT_EQ(rh->get_cookie_access_filter, nullptr);
  EXPECT_EQ(rh->get_resource_handler, nullptr);
  EXPECT_EQ(rh->on_resource_redirect, nullptr);
  EXPECT_EQ(rh->on_resource_response, nullptr);
  EXPECT_EQ(rh->get_resource_response_filter, nullptr);
  EXPECT_EQ(rh->on_resource_load_complete, nullptr);
  EXPECT_EQ(rh->on_protocol_execution, nullptr);
  // Its counting does nothing: it lives for the process whatever the engine does.
  rh->base.add_ref(&rh->base);
  EXPECT_EQ(rh->base.release(&rh->base), 0);
  EXPECT_EQ(rh->base.release(&rh->base), 0);
  EXPECT_EQ(rh->base.has_at_least_one_ref(&rh->base), 1);
}

// The page location is process-wide and never cleared, so the cases run in one sequence.
TEST_F(NavFilterTest, NavigationsMoveTheAssetRedirectionOfAllSurfaces) {
  ASSERT_EQ(Browse(0, "file:///C:/Games/ui/index.html"), 0);
  int sets = -1;
  EXPECT_EQ(Load(0, "file:///C:/assets/logo.png", &sets), "file:///C:/Games/ui/assets/logo.png");
  EXPECT_EQ(sets, 1);
  EXPECT_EQ(Load(3, "file:///C:/static/js/app.js?v=3"), "file:///C:/Games/ui/static/js/app.js?v=3");
  EXPECT_EQ(Load(1, "file:///C:/assets"), "file:///C:/Games/ui/assets");
  EXPECT_EQ(Load(0, "file:///C:/Windows/win.ini", &sets), "file:///C:/Windows/win.ini");
  EXPECT_EQ(sets, 0) << "an unchanged request gets no set_url";
  EXPECT_EQ(Load(0, "file:///D:/assets/logo.png"), "file:///D:/assets/logo.png");
  EXPECT_EQ(Load(0, "file:///C:/Games/ui/assets/logo.png"), "file:///C:/Games/ui/assets/logo.png");
  EXPECT_EQ(Load(0, "https://cdn.example/assets/a.png"), "https://cdn.example/assets/a.png");

  // Paths without a directory, and URLs without the third slash, keep the last page.
  ASSERT_EQ(Browse(2, "file:///index.html"), 0);
  ASSERT_EQ(Browse(1, "file://server/share/a.html"), 0);
  EXPECT_EQ(Load(2, "file:///C:/img/a.png"), "file:///C:/Games/ui/img/a.png");

  // A blocked navigation records nothing.
  ASSERT_EQ(Browse(0, "https://example.com/D:/other/index.html"), 1);
  EXPECT_EQ(Load(2, "file:///C:/img/a.png"), "file:///C:/Games/ui/img/a.png");

  // Another surface's local page moves the redirection for all of them.
  ASSERT_EQ(Browse(3, "file:///D:/build/index.html"), 0);
  EXPECT_EQ(Load(0, "file:///C:/assets/logo.png"), "file:///C:/assets/logo.png");
  EXPECT_EQ(Load(1, "file:///D:/assets/a.png"), "file:///D:/build/assets/a.png");
  EXPECT_EQ(Load(1, "file:///D:/build/app.js"), "file:///D:/build/app.js");

  // A page without a drive letter turns rewriting off.
  ASSERT_EQ(Browse(0, "file:///home/ui/index.html"), 0);
  EXPECT_EQ(Load(0, "file:///home/assets/a.png"), "file:///home/assets/a.png");
  EXPECT_EQ(Load(0, "file:///D:/assets/a.png"), "file:///D:/assets/a.png");
}

// Resource requests arrive on the IO thread while navigations replace the page location:
// every rewrite must come from one whole page location, never a mix of two.
TEST_F(NavFilterTest, RewritesReadAConsistentPageLocationDuringNavigations) {
  ASSERT_EQ(Browse(0, "file:///C:/one/index.html"), 0);
  std::atomic<bool> done(false);
  std::atomic<int> bad(0);
  std::thread io([&] {
    while (!done.load()) {
      const std::string c = RewriteAssetUrl("file:///C:/assets/x.png");
      const std::string e = RewriteAssetUrl("file:///E:/assets/x.png");
      if (c != "file:///C:/one/assets/x.png" && !c.empty()) ++bad;
      if (e != "file:///E:/two/deeper/assets/x.png" && !e.empty()) ++bad;
    }
  });
  for (int i = 0; i < 2000; ++i) {
    RecordPageDirectory(i % 2 ? "file:///C:/one/index.html" : "file:///E:/two/deeper/index.html");
  }
  done = true;
  io.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
}  // namespace nimo
