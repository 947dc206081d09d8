#include "host/portable/switch_value.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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

}  // namespace
