#include "surfaces/portable/ui_origin.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using nimo::DecideUiPath;
using nimo::UiPathVerdict;
using nimo::UiRangeVerdict;

constexpr const char* kOrigin = "https://nimo.localhost";

std::string U(const std::string& path) { return kOrigin + path; }

TEST(UiOriginPath, FilesAndFoldersMapBelowTheFolder) {
  const struct {
    const char* path;
    const char* relative;
  } cases[] = {
      {"", "index.html"},
      {"/", "index.html"},
      {"/?v=1#top", "index.html"},
      {"/index.html", "index.html"},
      {"/assets/index-3f2a.js?v=2", "assets/index-3f2a.js"},
      {"/docs/", "docs/index.html"},
      {"/a%20b/caf%C3%A9.json", "a b/caf\xC3\xA9.json"},
      {"/.well-known/x", ".well-known/x"},
      {"/console.txt", "console.txt"},  // a device name only as the whole base name
      {"/COM10", "COM10"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto p = DecideUiPath(U(c.path));
    EXPECT_EQ(p.verdict, UiPathVerdict::kServe) << p.reason;
    EXPECT_EQ(p.relative, c.relative);
  }
}

// What a page, a hand-made request or a broken client may send; none may name anything
// but a plain file below the folder.
TEST(UiOriginPath, HostileInputsNeverMap) {
  const char* refused[] = {
      "/..",  "/../secret.txt", "/a/../../x", "/%2e%2e/x", "/.%2E/x", "/%2E/x", "/a%2fb", "/a%2F..%2Fb",
      "/a%5c..%5cb", "/a\\b", "/..\\x", "/C:/Windows/win.ini", "/C%3a/x", "/file.txt::$DATA", "//server/share/x",
      "/a//b", "/a/./b", "/./", "/x.", "/x%20", "/dir./x", "/CON", "/con.txt", "/Nul", "/aux%20.js", "/COM1",
      "/lpt9.log", "/COM%C2%B9", "/CONIN$", "/a%00b", "/a%01", "/a%7f", "/%3f", "/a*b", "/a%3Cb", "/a%7Cb",
      "/%22", "/%5C%5C%3F%5CC%3A%5Cx",
  };
  for (const char* path : refused) {
    SCOPED_TRACE(path);
    const auto p = DecideUiPath(U(path));
    EXPECT_EQ(p.verdict, UiPathVerdict::kRefused);
    EXPECT_TRUE(p.relative.empty());
    EXPECT_STRNE(p.reason, "");
  }
  const std::string long_name = "/" + std::string(256, 'a');
  EXPECT_EQ(DecideUiPath(U(long_name)).verdict, UiPathVerdict::kRefused);
  std::string deep;
  for (int i = 0; i < 120; ++i) deep += "/abcdefghi";
  EXPECT_EQ(DecideUiPath(U(deep)).verdict, UiPathVerdict::kRefused);

  const char* bad[] = {"/%", "/%4", "/%zz", "/a%C3", "/%C0%AE%C0%AE/x", "/%ED%A0%80", "/%FF"};
  for (const char* path : bad) {
    SCOPED_TRACE(path);
    EXPECT_EQ(DecideUiPath(U(path)).verdict, UiPathVerdict::kBadRequest);
  }
  // Other origins are not the folder's at all.
  for (const char* url : {"https://nimo.localhost.evil/x", "https://nimo.localhost:8443/x", "http://nimo.localhost/x",
                          "https://NIMO.localhost/x", "file:///C:/x", ""}) {
    SCOPED_TRACE(url);
    EXPECT_FALSE(nimo::IsUiOriginUrl(url));
    EXPECT_EQ(DecideUiPath(url).verdict, UiPathVerdict::kBadRequest);
  }
}

TEST(UiOriginPath, OpenedFilesMustStayInsideTheFolder) {
  const std::u16string root = u"\\\\?\\C:\\Games\\ui";
  EXPECT_TRUE(nimo::InsideFolder(u"\\\\?\\C:\\Games\\ui\\index.html", root));
  EXPECT_TRUE(nimo::InsideFolder(u"\\\\?\\c:\\games\\UI\\a\\b.js", root + u"\\"));
  EXPECT_FALSE(nimo::InsideFolder(u"\\\\?\\C:\\Games\\ui", root));
  EXPECT_FALSE(nimo::InsideFolder(u"\\\\?\\C:\\Games\\ui\\", root));
  EXPECT_FALSE(nimo::InsideFolder(u"\\\\?\\C:\\Games\\ui2\\x", root));  // a sibling with the same prefix
  // Siblings whose names start with the folder's, with the separator required right after it.
  for (const char16_t* sibling : {u"\\\\?\\C:\\Games\\ui-old\\x", u"\\\\?\\C:\\Games\\uix", u"\\\\?\\C:\\Games\\ui.bak\\index.html"}) {
    EXPECT_FALSE(nimo::InsideFolder(sibling, root));
    EXPECT_FALSE(nimo::InsideFolder(sibling, root + u"\\"));
  }
  EXPECT_FALSE(nimo::InsideFolder(u"\\\\?\\C:\\Games\\secret.txt", root));  // a link that left
  EXPECT_FALSE(nimo::InsideFolder(u"\\\\?\\D:\\Games\\ui\\x", root));
  EXPECT_FALSE(nimo::InsideFolder(u"\\\\?\\C:\\Games\\ui\\\\x", root));
  EXPECT_FALSE(nimo::InsideFolder(u"x", u""));
}

TEST(UiOriginResponse, MimeTypesMethodsAndRanges) {
  EXPECT_STREQ(nimo::UiMimeTypeFor("a/app.WASM").mime, "application/wasm");
  EXPECT_FALSE(nimo::UiMimeTypeFor("app.wasm").utf8_text);
  EXPECT_STREQ(nimo::UiMimeTypeFor("m.mjs").mime, "text/javascript");
  EXPECT_TRUE(nimo::UiMimeTypeFor("m.mjs").utf8_text);
  EXPECT_STREQ(nimo::UiMimeTypeFor("fonts/x.woff2").mime, "font/woff2");
  EXPECT_STREQ(nimo::UiMimeTypeFor("v.webm").mime, "video/webm");
  EXPECT_STREQ(nimo::UiMimeTypeFor("dir.js/noext").mime, "application/octet-stream");
  EXPECT_TRUE(nimo::UiMethodAllowed("GET"));
  EXPECT_TRUE(nimo::UiMethodAllowed("HEAD"));
  EXPECT_FALSE(nimo::UiMethodAllowed("POST"));
  EXPECT_FALSE(nimo::UiMethodAllowed("get"));

  const struct {
    const char* header;
    std::uint64_t size;
    UiRangeVerdict verdict;
    std::uint64_t first, last;
  } ranges[] = {
      {"", 100, UiRangeVerdict::kWhole, 0, 0},
      {"bytes=0-", 100, UiRangeVerdict::kPartial, 0, 99},
      {"bytes=10-19", 100, UiRangeVerdict::kPartial, 10, 19},
      {"bytes=90-500", 100, UiRangeVerdict::kPartial, 90, 99},
      {"bytes=90-100", 100, UiRangeVerdict::kPartial, 90, 99},  // one past the end
      {"bytes=90-99", 100, UiRangeVerdict::kPartial, 90, 99},   // exactly the last byte
      {"bytes=90-98", 100, UiRangeVerdict::kPartial, 90, 98},
      {"bytes=99-", 100, UiRangeVerdict::kPartial, 99, 99},
      {"bytes=-100", 100, UiRangeVerdict::kPartial, 0, 99},
      {"bytes=-99", 100, UiRangeVerdict::kPartial, 1, 99},
      {"bytes=-30", 100, UiRangeVerdict::kPartial, 70, 99},
      {"bytes=-300", 100, UiRangeVerdict::kPartial, 0, 99},
      {" Bytes = 5 - 6 ", 100, UiRangeVerdict::kPartial, 5, 6},
      {"bytes=100-", 100, UiRangeVerdict::kUnsatisfiable, 0, 0},
      {"bytes=-0", 100, UiRangeVerdict::kUnsatisfiable, 0, 0},
      {"bytes=0-", 0, UiRangeVerdict::kUnsatisfiable, 0, 0},
      {"bytes=5-1", 100, UiRangeVerdict::kWhole, 0, 0},
      {"bytes=0-1,5-6", 100, UiRangeVerdict::kWhole, 0, 0},
      {"items=0-1", 100, UiRangeVerdict::kWhole, 0, 0},
      {"bytes=99999999999999999999-", 100, UiRangeVerdict::kWhole, 0, 0},
      {"bytes=1x-2", 100, UiRangeVerdict::kWhole, 0, 0},
  };
  for (const auto& r : ranges) {
    SCOPED_TRACE(r.header);
    const auto got = nimo::ParseUiRange(r.header, r.size);
    EXPECT_EQ(got.verdict, r.verdict);
    if (r.verdict == UiRangeVerdict::kPartial) {
      EXPECT_EQ(got.first, r.first);
      EXPECT_EQ(got.last, r.last);
    }
  }
  EXPECT_EQ(nimo::ContentRangeValue(nimo::ParseUiRange("bytes=10-19", 100), 100), "bytes 10-19/100");
  EXPECT_EQ(nimo::ContentRangeValue(nimo::ParseUiRange("bytes=200-", 100), 100), "bytes */100");
}

TEST(UiOriginLog, EachRefusedUrlOnceWithinALimit) {
  EXPECT_EQ(nimo::LoggableUrl("https://nimo.localhost/a%00\n b"), "https://nimo.localhost/a%2500%0A%20b");
  EXPECT_EQ(nimo::LoggableUrl(std::string(500, 'a')).size(), 203u);
  nimo::RefusalLog log;
  EXPECT_EQ(log.Note("/x"), nimo::RefusalLog::Action::kLog);
  EXPECT_EQ(log.Note("/x"), nimo::RefusalLog::Action::kQuiet);
  for (std::size_t i = 1; i < nimo::RefusalLog::kLimit; ++i) {
    EXPECT_EQ(log.Note("/y" + std::to_string(i)), nimo::RefusalLog::Action::kLog);
  }
  EXPECT_EQ(log.Note("/z"), nimo::RefusalLog::Action::kLogLast);
  EXPECT_EQ(log.Note("/w"), nimo::RefusalLog::Action::kQuiet);

  // Long URLs are told apart by their whole text but never kept whole: a page asking for
  // URLs of 64 KiB (or megabytes) up to the limit leaves a few dozen kilobytes.
  nimo::RefusalLog big;
  std::string url = "https://nimo.localhost/" + std::string(64u << 10, 'a');
  for (std::size_t i = 0; i < nimo::RefusalLog::kLimit; ++i) {
    url.back() = static_cast<char>('0' + i % 10);
    url[url.size() - 2] = static_cast<char>('0' + i / 10 % 10);
    url[url.size() - 3] = static_cast<char>('0' + i / 100);
    EXPECT_EQ(big.Note(url), nimo::RefusalLog::Action::kLog) << i;
  }
  EXPECT_EQ(big.Note(url), nimo::RefusalLog::Action::kQuiet);  // the last one again
  EXPECT_LE(big.KeptBytes(), nimo::RefusalLog::kLimit * (nimo::RefusalLog::kKeptHead + 64));
  nimo::RefusalLog prefix;  // a long URL and its own head are two URLs
  EXPECT_EQ(prefix.Note(url), nimo::RefusalLog::Action::kLog);
  EXPECT_EQ(prefix.Note(url.substr(0, nimo::RefusalLog::kKeptHead)), nimo::RefusalLog::Action::kLog);
}

}  // namespace
