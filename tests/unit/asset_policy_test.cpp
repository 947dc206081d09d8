#include "surfaces/portable/asset_policy.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using nimo::DecideNavigation;
using nimo::PageLocation;
using nimo::PageLocationHolder;

TEST(NavigationFilter, LocalDataAndBlankProceedEverywhere) {
  for (std::uint32_t id = 0; id < 4; ++id) {
    SCOPED_TRACE(id);
    auto d = DecideNavigation(id, "file:///C:/Games/ui/index.html");
    EXPECT_TRUE(d.allow);
    EXPECT_TRUE(d.record_page);
    d = DecideNavigation(id, "file://server/share/a.html");
    EXPECT_TRUE(d.allow);
    EXPECT_TRUE(d.record_page);
    d = DecideNavigation(id, "data:text/html,<p>x</p>");
    EXPECT_TRUE(d.allow);
    EXPECT_FALSE(d.record_page);
    d = DecideNavigation(id, "about:blank");
    EXPECT_TRUE(d.allow);
    EXPECT_FALSE(d.record_page);
    // A plain prefix test: more text after the allowed prefix still passes.
    EXPECT_TRUE(DecideNavigation(id, "about:blank#top").allow);
  }
}

TEST(NavigationFilter, EverythingElseOnlyOnSurfaceTwo) {
  const char* others[] = {"https://example.test/", "http://127.0.0.1/", "about:srcdoc",
                          "ABOUT:BLANK",           "FILE:///C:/x.html", "Data:text/plain,x",
                          "file:/C:/x.html",       " file:///C:/x",      "",
                          "about:blan",            "javascript:alert(1)"};
  for (const char* url : others) {
    SCOPED_TRACE(url);
    for (std::uint32_t id : {0u, 1u, 3u, 4u, 0xFFFFFFFFu}) {
      const auto d = DecideNavigation(id, url);
      EXPECT_FALSE(d.allow) << id;
      EXPECT_FALSE(d.record_page);
    }
    const auto d = DecideNavigation(2, url);
    EXPECT_TRUE(d.allow);
    EXPECT_FALSE(d.record_page);
  }
}

TEST(NavigationFilter, UiOriginIsLocalOnlyWhileAFolderIsMapped) {
  for (std::uint32_t id : {0u, 1u, 3u}) {
    SCOPED_TRACE(id);
    for (const char* url : {"https://nimo.localhost/", "https://nimo.localhost/app/index.html?x#y",
                            "https://nimo.localhost"}) {
      EXPECT_FALSE(DecideNavigation(id, url, false).allow) << url;
      const auto d = DecideNavigation(id, url, true);
      EXPECT_TRUE(d.allow) << url;
      EXPECT_FALSE(d.record_page);  // the asset rewrite never follows it
    }
    // Look-alike hosts stay web URLs.
    for (const char* url : {"https://nimo.localhost.example/", "https://nimo.localhost:444/", "http://nimo.localhost/",
                            "https://x.nimo.localhost/"}) {
      EXPECT_FALSE(DecideNavigation(id, url, true).allow) << url;
    }
    EXPECT_TRUE(DecideNavigation(id, "file:///C:/ui/index.html", true).record_page);
  }
  EXPECT_TRUE(nimo::RewriteAssetUrlFor({"C:/Games/ui", "C:"}, "https://nimo.localhost/assets/a.png").empty());
}

TEST(PageLocation, DirectoryAndDriveOfALocalPage) {
  PageLocation at;
  ASSERT_TRUE(nimo::PageLocationFromUrl("file:///C:/Games/ui/index.html", &at));
  EXPECT_EQ(at.directory, "C:/Games/ui");
  EXPECT_EQ(at.drive, "C:");

  ASSERT_TRUE(nimo::PageLocationFromUrl("file:///home/ui/index.html", &at));
  EXPECT_EQ(at.directory, "home/ui");
  EXPECT_EQ(at.drive, "");

  // Nothing is decoded; the first ':' ends the drive wherever it is.
  ASSERT_TRUE(nimo::PageLocationFromUrl("file:///x/C:/a%20b/p.html?q=/r", &at));
  EXPECT_EQ(at.directory, "x/C:/a%20b/p.html?q=");
  EXPECT_EQ(at.drive, "x/C:");

  ASSERT_TRUE(nimo::PageLocationFromUrl("file:///C:/", &at));
  EXPECT_EQ(at.directory, "C:");
  EXPECT_EQ(at.drive, "C:");
}

TEST(PageLocation, UrlsThatNameNoDirectoryLeaveItAlone) {
  PageLocation at{"keep", "k:"};
  for (const char* url : {"file:///index.html", "file:///", "file://server/share/a.html",
                          "data:text/html,a/b", "https://h/a/b.html", "FILE:///C:/a/b"}) {
    SCOPED_TRACE(url);
    EXPECT_FALSE(nimo::PageLocationFromUrl(url, &at));
    EXPECT_EQ(at.directory, "keep");
    EXPECT_EQ(at.drive, "k:");
  }
}

struct RewriteRow {
  const char* requested;
  const char* result;  // "" for unchanged
};

void ExpectRows(const PageLocation& page, const std::vector<RewriteRow>& rows) {
  for (const RewriteRow& row : rows) {
    SCOPED_TRACE(row.requested);
    EXPECT_EQ(nimo::RewriteAssetUrlFor(page, row.requested), row.result);
  }
}

TEST(AssetRewrite, PageInAGamesFolder) {
  PageLocation page;
  ASSERT_TRUE(nimo::PageLocationFromUrl("file:///C:/Games/ui/index.html", &page));
  ExpectRows(page, {
      {"file:///C:/assets/logo.png", "file:///C:/Games/ui/assets/logo.png"},
      {"file:///C:/static/js/app.js?v=3", "file:///C:/Games/ui/static/js/app.js?v=3"},
      {"file:///C:/Windows/win.ini", ""},
      {"file:///D:/assets/logo.png", ""},
      {"file:///C:/Games/ui/assets/logo.png", ""},
      {"https://cdn.test/assets/logo.png", ""},
      {"data:image/png;base64,AAAA", ""},
      {"file:///C:/assets", "file:///C:/Games/ui/assets"},
      {"file:///C:/assets/", "file:///C:/Games/ui/assets/"},
      {"file:///C:/assets2/a.png", ""},
      {"file:///C:/Assets/a.png", ""},
      {"file:///C:assets/a.png", ""},
      {"file:///C:/", ""},
      {"file:///C:", ""},
      {"file://C:/assets/a.png", ""},
      {"file:///C:/assets/%2e%2e/x", "file:///C:/Games/ui/assets/%2e%2e/x"},
  });
  // Every folder of the table, and only whole segments of it.
  for (const char* folder : {"src", "node_modules", "build", "sounds", "assets", "fonts", "img",
                             "images", "static"}) {
    SCOPED_TRACE(folder);
    EXPECT_EQ(nimo::RewriteAssetUrlFor(page, std::string("file:///C:/") + folder + "/f"),
              std::string("file:///C:/Games/ui/") + folder + "/f");
    EXPECT_EQ(nimo::RewriteAssetUrlFor(page, std::string("file:///C:/") + folder + "x/f"), "");
    EXPECT_EQ(nimo::RewriteAssetUrlFor(page, std::string("file:///C:/x") + folder + "/f"), "");
  }
}

TEST(AssetRewrite, PageDirectoryThatIsItselfAnAssetFolder) {
  PageLocation page;
  ASSERT_TRUE(nimo::PageLocationFromUrl("file:///C:/build/index.html", &page));
  ExpectRows(page, {
      {"file:///C:/build/app.js", ""},
      {"file:///C:/assets/a.png", "file:///C:/build/assets/a.png"},
      {"file:///C:/builds/a.png", ""},
      // Not inside "C:/build/": the page directory test is on a whole segment too.
      {"file:///C:/build", "file:///C:/build/build"},
  });
}

TEST(AssetRewrite, NothingWithoutADirectoryOrADrive) {
  ExpectRows(PageLocation{}, {{"file:///C:/assets/a.png", ""}});
  PageLocation page;
  ASSERT_TRUE(nimo::PageLocationFromUrl("file:///home/ui/index.html", &page));
  ExpectRows(page, {{"file:///assets/a.png", ""},
                    {"file:///home/assets/a.png", ""},
                    {"file:////assets/a.png", ""}});
}

TEST(PageLocationHolder, RecordKeepsTheLastLocalPageAndIgnoresTheRest) {
  PageLocationHolder holder;
  EXPECT_EQ(holder.Rewrite("file:///C:/assets/a.png"), "");
  EXPECT_EQ(holder.Current().directory, "");

  holder.Record("file:///index.html");  // no '/' in the path: nothing changes
  holder.Record("https://web.test/a/b.html");
  EXPECT_EQ(holder.Current().directory, "");

  holder.Record("file:///C:/Games/ui/index.html");
  EXPECT_EQ(holder.Rewrite("file:///C:/assets/a.png"), "file:///C:/Games/ui/assets/a.png");

  holder.Record("file://server/share/a.html");
  holder.Record("file:///index.html");
  EXPECT_EQ(holder.Current().directory, "C:/Games/ui");

  // Another surface's page moves the redirection for everyone.
  holder.Record("file:///D:/other/menu/start.html");
  EXPECT_EQ(holder.Rewrite("file:///C:/assets/a.png"), "");
  EXPECT_EQ(holder.Rewrite("file:///D:/assets/a.png"), "file:///D:/other/menu/assets/a.png");

  holder.Record("file:///home/ui/index.html");
  EXPECT_EQ(holder.Current().drive, "");
  EXPECT_EQ(holder.Rewrite("file:///D:/assets/a.png"), "");
}

TEST(PageLocationHolder, ProcessWideFunctionsShareOneLocation) {
  nimo::RecordPageDirectory("file:///E:/proc/wide/p.html");
  EXPECT_EQ(nimo::CurrentPageLocation().directory, "E:/proc/wide");
  EXPECT_EQ(nimo::CurrentPageLocation().drive, "E:");
  EXPECT_EQ(nimo::RewriteAssetUrl("file:///E:/fonts/f.woff"), "file:///E:/proc/wide/fonts/f.woff");
}

// One writer flips between two pages on different drives while readers rewrite: every
// answer must come from one whole pair, never a directory of one page with the drive of
// the other.
TEST(PageLocationHolder, ReadersSeeWholePairsWhileTheWriterReplacesThem) {
  PageLocationHolder holder;
  const std::string page_a = "file:///C:/Games/ui/index.html";
  const std::string page_b = "file:///D:/other/menu/start.html";
  holder.Record(page_a);

  std::atomic<bool> stop{false};
  std::atomic<long> torn{0};
  std::atomic<long> reads{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      long local_reads = 0;
      while (!stop.load(std::memory_order_relaxed) || local_reads < 1000) {
        const std::string on_c = holder.Rewrite("file:///C:/assets/a.png");
        const std::string on_d = holder.Rewrite("file:///D:/assets/a.png");
        if (!on_c.empty() && on_c != "file:///C:/Games/ui/assets/a.png") ++torn;
        if (!on_d.empty() && on_d != "file:///D:/other/menu/assets/a.png") ++torn;
        const PageLocation now = holder.Current();
        const bool is_a = now.directory == "C:/Games/ui" && now.drive == "C:";
        const bool is_b = now.directory == "D:/other/menu" && now.drive == "D:";
        if (!is_a && !is_b) ++torn;
        ++local_reads;
      }
      reads += local_reads;
    });
  }
  for (int i = 0; i < 20000; ++i) holder.Record((i & 1) ? page_a : page_b);
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GE(reads.load(), 3000);
}

}  // namespace
