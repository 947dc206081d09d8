#include "protocol/switches.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "protocol/version.h"

namespace {

using nimo::AppendSwitch;
using nimo::SwitchValueIn;

const char kPipe[] = "--nimomp-pipe";
const std::string kDefault = "<default>";

TEST(SwitchValue, PlainValueEndsAtTheNextSpace) {
  EXPECT_EQ(SwitchValueIn("app.exe --nimomp-pipe=\\\\.\\pipe\\nimo-1 --nimomp-clientpid=42",
                          kPipe, kDefault),
            "\\\\.\\pipe\\nimo-1");
  EXPECT_EQ(SwitchValueIn("app.exe --nimomp-pipe=last", kPipe, kDefault), "last");
  EXPECT_EQ(SwitchValueIn("--nimomp-pipe=x", kPipe, kDefault), "x");
}

TEST(SwitchValue, QuotedValueKeepsItsSpacesAndLosesItsQuotes) {
  EXPECT_EQ(SwitchValueIn("a.exe --nimomp-cache=\"C:\\Program Files\\app cache\" --x=1",
                          "--nimomp-cache", kDefault),
            "C:\\Program Files\\app cache");
  // Quotes close the value even without a following space.
  EXPECT_EQ(SwitchValueIn("a.exe --nimomp-cache=\"dir\"tail", "--nimomp-cache", kDefault), "dir");
  EXPECT_EQ(SwitchValueIn("a.exe --nimomp-cache=\"\" --x", "--nimomp-cache", kDefault), "");
}

TEST(SwitchValue, UnclosedOrTrailingQuoteStaysInAPlainValue) {
  EXPECT_EQ(SwitchValueIn("a.exe --nimomp-url=\"http://x y", "--nimomp-url", kDefault),
            "\"http://x");
  EXPECT_EQ(SwitchValueIn("a.exe --nimomp-url=\"", "--nimomp-url", kDefault), "\"");
  EXPECT_EQ(SwitchValueIn("a.exe --nimomp-url=\" --y", "--nimomp-url", kDefault), "\"");
}

TEST(SwitchValue, EmptyValueIsNotTheDefault) {
  EXPECT_EQ(SwitchValueIn("a.exe --nimomp-pipe=", kPipe, kDefault), "");
  EXPECT_EQ(SwitchValueIn("a.exe --nimomp-pipe= --nimomp-url=x", kPipe, kDefault), "");
}

TEST(SwitchValue, MissingKeyGivesTheDefault) {
  EXPECT_EQ(SwitchValueIn("a.exe --nimomp-pipe name", kPipe, kDefault), kDefault);
  EXPECT_EQ(SwitchValueIn("a.exe --nimomp-pipe", kPipe, kDefault), kDefault);
  EXPECT_EQ(SwitchValueIn("", kPipe, kDefault), kDefault);
  // Case-sensitive.
  EXPECT_EQ(SwitchValueIn("a.exe --NIMOMP-PIPE=x", kPipe, kDefault), kDefault);
}

TEST(SwitchValue, FirstOccurrenceWinsEvenInsideAnotherArgument) {
  EXPECT_EQ(SwitchValueIn("a --nimomp-pipe=one --nimomp-pipe=two", kPipe, kDefault), "one");
  EXPECT_EQ(SwitchValueIn("a --old--nimomp-pipe=inner --nimomp-pipe=outer", kPipe, kDefault),
            "inner");
  EXPECT_EQ(SwitchValueIn("a --nimomp-url=\"q --nimomp-pipe=hidden\" --nimomp-pipe=real",
                          kPipe, kDefault),
            "hidden\"");
}

TEST(SwitchValue, TabsAndBackslashesAreOrdinaryCharacters) {
  EXPECT_EQ(SwitchValueIn("a --nimomp-pipe=a\tb\\\"c d", kPipe, kDefault), "a\tb\\\"c");
  EXPECT_EQ(SwitchValueIn("a --nimomp-pipe=\"x\\\" y\"", kPipe, kDefault), "x\\");
}

TEST(SwitchValue, TextAfterAnEmbeddedNulIsStillSearched) {
  // Lengths are explicit, so a NUL byte is just another character of the text.
  const std::string line("a\0 --nimomp-pipe=p\0q r", 22);
  EXPECT_EQ(SwitchValueIn(line, kPipe, kDefault), std::string("p\0q", 3));
}

// The writer and the reader are one rule: what AppendSwitch writes, SwitchValueIn returns
// exactly, next to other switches and whatever the value holds; what it cannot write so, it
// refuses without touching the line.
TEST(SwitchWriter, WrittenValuesReadBackExactlyAndUnwritableOnesAreRefused) {
  std::string line = "\"C:\\Program Files\\app\\nimo-webengine.exe\" --nimomp-browser";
  const std::pair<const char*, std::string> values[] = {
      {nimo::kSwitchPipe, "\\\\.\\pipe\\nimo host-1"},
      {nimo::kSwitchUrl, "https://a.test/p?q=1&r=--x ='y'#frag"},
      {nimo::kSwitchCache, "C:\\Users\\Ada L\\cache dir"},
      {nimo::kSwitchLocales, ""},
      {nimo::kSwitchResources, "caf\xC3\xA9 folder"},
      {nimo::kSwitchProtocol, "3"}};
  for (const auto& v : values) ASSERT_TRUE(AppendSwitch(&line, v.first, v.second)) << v.first;
  EXPECT_NE(line.find(" --nimomp-url=\"https://a.test/"), std::string::npos) << line;
  for (const auto& v : values) EXPECT_EQ(SwitchValueIn(line, v.first, kDefault), v.second) << v.first;

  const std::string before = line;
  const std::string refused[] = {
      "say \"hi\"",                            // a quote would end the value early
      "C:\\cache\\",                           // the system would read \" as an escaped quote
      "a\nb", "a\tb", std::string("a\0b", 3), "a\x7f",  // control characters
      "x --nimomp-pipe=\\\\.\\pipe\\evil",    // would be found as another switch
      "--nimomp-cache="};
  for (const std::string& value : refused) {
    EXPECT_FALSE(nimo::SwitchValueWritable(value)) << value;
    EXPECT_FALSE(AppendSwitch(&line, nimo::kSwitchUrl, value)) << value;
  }
  EXPECT_EQ(line, before);
}

TEST(ProtocolVersion, OnlyAPlainNumberAboveTwoRaisesTheVersion) {
  EXPECT_EQ(nimo::NegotiateProtocolVersion(""), 2u);
  EXPECT_EQ(nimo::NegotiateProtocolVersion("2"), 2u);
  EXPECT_EQ(nimo::NegotiateProtocolVersion("1"), 2u);
  EXPECT_EQ(nimo::NegotiateProtocolVersion("0"), 2u);
  EXPECT_EQ(nimo::NegotiateProtocolVersion("3"), 3u);
  EXPECT_EQ(nimo::NegotiateProtocolVersion("03"), 3u);
  EXPECT_EQ(nimo::NegotiateProtocolVersion("4"), 3u) << "capped at the newest spoken";
  EXPECT_EQ(nimo::NegotiateProtocolVersion("4294967299"), 2u) << "too long to be a version";
  EXPECT_EQ(nimo::NegotiateProtocolVersion("3 "), 2u);
  EXPECT_EQ(nimo::NegotiateProtocolVersion("-3"), 2u);
  EXPECT_EQ(nimo::NegotiateProtocolVersion("+3"), 2u);
  EXPECT_EQ(nimo::NegotiateProtocolVersion("3.0"), 2u);
  EXPECT_EQ(nimo::NegotiateProtocolVersion("three"), 2u);
  // The engine reads the switch from its command line the way every switch is read.
  EXPECT_EQ(nimo::NegotiateProtocolVersion(SwitchValueIn("e.exe --nimomp-protocol=\"3\"", nimo::kSwitchProtocol, "")), 3u);
  EXPECT_EQ(nimo::NegotiateProtocolVersion(SwitchValueIn("e.exe --nimomp-browser", nimo::kSwitchProtocol, "")), 2u);
}

}  // namespace
