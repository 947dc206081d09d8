// The navigation filter and the asset request handler, called as the engine calls them:
// the cases the stand-in engine cannot produce (absent requests and slots, the handler's
// own fields, IO-thread reads racing navigations). Per-surface rules and rewriting are in
// tests/e2e/page_bridge_test.cpp.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "diag/perf_stats.h"
#include "surfaces/nav_filter.h"
#include "surfaces/surface.h"
#include "tests/support/fake_cef.h"

namespace nimo {
namespace {

using test::FakeRequest;

class NavFilterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitSurfaceTable();
    for (Surface& s : surfaces) InstallNavigationFilter(&s.request_handler);
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

  int strings_before_ = 0;
};

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

// A callback whose work is lost to an allocation failure gives the answer that harms least:
// a resource load goes on, the unrestricted surface may still go anywhere while the others
// stay put. The loss counts as an allocation failure, not as a report the queue dropped.
TEST_F(NavFilterTest, CallbacksThatRunOutOfMemoryAnswerSafely) {
  const PerfCounters before = ReadPerfCounters();
  auto failing = [](const std::string& url) {
    FakeRequest* request = test::NewRequest(url);
    request->cef.get_url = [](cef_request_t*) -> cef_string_userfree_t { throw std::bad_alloc(); };
    return std::unique_ptr<FakeRequest>(request);
  };
  for (int id : {0, 1, 2, 3}) {
    std::unique_ptr<FakeRequest> request = failing("file:///C:/ui/index.html");
    cef_request_handler_t* h = &surfaces[id].request_handler;
    EXPECT_EQ(h->on_before_browse(h, nullptr, nullptr, test::Pass(request.get()), 1, 0), id == 2 ? 0 : 1)
        << "surface " << id;
    EXPECT_EQ(request->refs, 0);
  }
  cef_resource_request_handler_t* rh = AssetRequestHandler();
  std::unique_ptr<FakeRequest> asset = failing("file:///C:/assets/a.png");
  EXPECT_EQ(rh->on_before_resource_load(rh, nullptr, nullptr, test::Pass(asset.get()), nullptr), RV_CONTINUE)
      << "no request is ever cancelled";
  EXPECT_EQ(asset->refs, 0);
  const PerfCounters after = ReadPerfCounters();
  EXPECT_EQ(after.alloc_failures - before.alloc_failures, 5);
  EXPECT_EQ(after.dropped, before.dropped);
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

// Resource requests arrive on the IO thread while navigations on the UI thread replace the
// page location: every rewrite must come from one whole page location, never the
// directory of one page with the drive of another.
TEST_F(NavFilterTest, RewritesReadAConsistentPageLocationDuringNavigations) {
  ASSERT_EQ(Browse(0, "file:///C:/one/index.html"), 0);
  std::atomic<bool> done(false);
  std::atomic<int> bad(0), rewritten(0);
  std::thread io([&] {
    cef_resource_request_handler_t* rh = AssetRequestHandler();
    do {
      for (const char* url : {"file:///C:/assets/x.png", "file:///E:/assets/x.png"}) {
        std::unique_ptr<FakeRequest> request(test::NewRequest(url));
        rh->on_before_resource_load(rh, nullptr, nullptr, test::Pass(request.get()), nullptr);
        const std::string& got = request->url;
        if (got == "file:///C:/one/assets/x.png" || got == "file:///E:/two/deeper/assets/x.png") ++rewritten;
        else if (got != url) ++bad;
      }
    } while (!done.load());
  });
  for (int i = 0; i < 2000; ++i) {
    Browse(i % 3, i % 2 ? "file:///C:/one/index.html" : "file:///E:/two/deeper/index.html");
  }
  done = true;
  io.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_GT(rewritten.load(), 0);
}

}  // namespace
}  // namespace nimo
