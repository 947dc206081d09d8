#include "bridge/portable/console_line.h"

#include <gtest/gtest.h>

#include <string>

#include "protocol/page_message.h"
#include "protocol/wire.h"

namespace {

using nimo::BuildConsoleLine;
using nimo::ConsoleReportFor;
using nimo::CutConsoleText;

TEST(ConsoleLine, OnlyTheExactTagAtTheStartMakesAPageMessage) {
  EXPECT_TRUE(nimo::protocol::IsPageMessage("NIMOMP|"));
  EXPECT_TRUE(nimo::protocol::IsPageMessage("NIMOMP|trigger|x"));
  EXPECT_FALSE(nimo::protocol::IsPageMessage("NIMOMP"));
  EXPECT_FALSE(nimo::protocol::IsPageMessage(" NIMOMP|trigger|x"));
  EXPECT_FALSE(nimo::protocol::IsPageMessage("nimomp|trigger|x"));
  EXPECT_FALSE(nimo::protocol::IsPageMessage("x NIMOMP|"));
  EXPECT_FALSE(nimo::protocol::IsPageMessage(""));
}

TEST(ConsoleLine, PageMessagesPassWholeWhateverTheLevelAndLength) {
  const std::string encoded("NIMOMP|callRemote|save\x01\x02s{a}");
  for (int level : {-1, 0, 2, 3, 4, 99}) {
    const auto report = ConsoleReportFor(level, encoded, "file:///x.js", 7);
    EXPECT_EQ(report.type, nimo::kMsgPageMessage);
    EXPECT_EQ(report.text, encoded);
  }
  const std::string big = "NIMOMP|trigger|e\x01\x02s" + std::string(5000, 'y');
  EXPECT_EQ(ConsoleReportFor(1, big, "", 0).text, big);
  EXPECT_EQ(ConsoleReportFor(1, "NIMOMP|", "", 0).text, "NIMOMP|");
}

TEST(ConsoleLine, LevelWords) {
  EXPECT_EQ(std::string(nimo::ConsoleLevelWord(99)), "ERROR");
  EXPECT_EQ(std::string(nimo::ConsoleLevelWord(5)), "ERROR");
  EXPECT_EQ(std::string(nimo::ConsoleLevelWord(4)), "ERROR");
  EXPECT_EQ(std::string(nimo::ConsoleLevelWord(3)), "WARN");
  EXPECT_EQ(std::string(nimo::ConsoleLevelWord(2)), "log");
  EXPECT_EQ(std::string(nimo::ConsoleLevelWord(0)), "log");
  EXPECT_EQ(std::string(nimo::ConsoleLevelWord(-7)), "log");
}

TEST(ConsoleLine, SourceSuffixOnlyWithASource) {
  EXPECT_EQ(BuildConsoleLine(3, "hello", "file:///C:/ui/app.js", 12),
            "WARN|hello  (file:///C:/ui/app.js:12)");
  EXPECT_EQ(BuildConsoleLine(3, "hello", "", 12), "WARN|hello");
  EXPECT_EQ(BuildConsoleLine(4, "boom", "a.js", 0), "ERROR|boom  (a.js:0)");
  EXPECT_EQ(BuildConsoleLine(1, "x", "a.js", -5), "log|x  (a.js:-5)");
  EXPECT_EQ(BuildConsoleLine(1, "x", "a.js", -2147483647 - 1), "log|x  (a.js:-2147483648)");
  EXPECT_EQ(BuildConsoleLine(0, "", "", 0), "log|");
  const auto report = ConsoleReportFor(0, "", "", 0);
  EXPECT_EQ(report.type, nimo::kMsgConsoleLine);
  EXPECT_EQ(report.text, "log|");
}

TEST(ConsoleLine, TextsOver600BytesAreCutAndMarked) {
  const std::string exact(600, 'a');
  EXPECT_EQ(CutConsoleText(exact), exact);
  const std::string longer = std::string(600, 'a') + "b";
  EXPECT_EQ(CutConsoleText(longer), exact + "...");
  EXPECT_EQ(CutConsoleText(std::string(100000, 'c')), std::string(600, 'c') + "...");
  // The cut applies to the text only, never to the source suffix.
  const std::string source(700, 's');
  EXPECT_EQ(BuildConsoleLine(3, longer, source, 1), "WARN|" + exact + "...  (" + source + ":1)");
}

TEST(ConsoleLine, CutNeverSplitsAUtf8Character) {
  // "é" is 2 bytes, "€" 3, "😀" 4. Place each so that it straddles byte 600.
  struct Case {
    const char* character;
    std::size_t prefix;  // ASCII bytes before the character
    std::size_t kept;    // bytes kept before "..."
  };
  const Case cases[] = {
      {"\xC3\xA9", 599, 599},          {"\xC3\xA9", 598, 600},
      {"\xE2\x82\xAC", 598, 598},      {"\xE2\x82\xAC", 599, 599},
      {"\xE2\x82\xAC", 597, 600},      {"\xF0\x9F\x98\x80", 597, 597},
      {"\xF0\x9F\x98\x80", 599, 599},  {"\xF0\x9F\x98\x80", 596, 600},
  };
  for (const Case& c : cases) {
    const std::string text = std::string(c.prefix, 'a') + c.character + "tail";
    SCOPED_TRACE(testing::Message() << "prefix " << c.prefix << " len " << text.size());
    const std::string cut = CutConsoleText(text);
    EXPECT_EQ(cut, text.substr(0, c.kept) + "...");
  }
  // Bytes that are not UTF-8 at all are cut at the plain limit.
  const std::string junk(700, '\x80');
  EXPECT_EQ(CutConsoleText(junk), std::string(600, '\x80') + "...");
}

}  // namespace
