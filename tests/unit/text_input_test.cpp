#include "surfaces/portable/text_input.h"

#include <gtest/gtest.h>

#include <string>

#include "bridge/portable/text_note.h"

namespace {

using nimo::TextInputTracker;
constexpr std::uint32_t kNone = nimo::kTextInputNone, kDefault = nimo::kTextInputDefault, kText = 2, kEmail = 5;

// The reports a client would get: every change once, nothing when nothing changed.
std::string Reports(TextInputTracker& t) {
  std::uint32_t mode = 99;
  return t.TakeChange(&mode) ? std::to_string(mode) : "-";
}

TEST(TextInput, ThePageWatcherDecidesWhereItSeesTheFocusAndEveryWayOutEndsInNone) {
  TextInputTracker t;
  EXPECT_EQ(Reports(t), "-");  // nothing to say before anything has the focus
  t.PageNote(kText);           // click into a field: the watcher's note...
  t.KeyboardRequested(kDefault);  // ...and the engine's request for the same field
  EXPECT_EQ(Reports(t), "2");
  EXPECT_EQ(Reports(t), "-");
  t.PageNote(kNone);  // click elsewhere, blur(), Tab to a button
  EXPECT_EQ(Reports(t), "1");
  t.PageNote(0);  // contenteditable
  EXPECT_EQ(Reports(t), "0");
  t.SetHidden(true);  // hidden surface: none while hidden, the field again once shown
  EXPECT_EQ(Reports(t), "1");
  t.SetHidden(false);
  EXPECT_EQ(Reports(t), "0");
  t.Reset();  // navigation or lost renderer
  EXPECT_EQ(Reports(t), "1");
  t.PageNote(kEmail);
  t.Reset();  // changes that cancel out before anyone asked report nothing
  EXPECT_EQ(Reports(t), "-");
}

TEST(TextInput, TheEngineDecidesWhereTheWatcherIsSilentOrSeesAForeignFrame) {
  TextInputTracker t;
  // Surface 1 runs no page scripts: only the engine's requests, which never say the field
  // was left; a navigation or a lost renderer still ends them.
  t.KeyboardRequested(kEmail);
  EXPECT_EQ(Reports(t), "5");
  t.KeyboardRequested(1234);  // an unknown mode is still an editable element
  EXPECT_EQ(Reports(t), "0");
  t.Reset();
  EXPECT_EQ(Reports(t), "1");

  // A field in a frame of another origin: the watcher can only say the focus went there.
  t.PageNote(kText);
  EXPECT_EQ(Reports(t), "2");
  t.KeyboardRequested(kDefault);  // late request for the field the watcher saw: ignored
  t.PageNote(TextInputTracker::kForeignNote);
  EXPECT_EQ(Reports(t), "1");  // not the stale request
  t.KeyboardRequested(kDefault);
  EXPECT_EQ(Reports(t), "0");
  t.PageNote(TextInputTracker::kForeignNote);  // still there: the request holds
  EXPECT_EQ(Reports(t), "-");
  t.PageNote(kNone);  // back in the page, on nothing editable
  EXPECT_EQ(Reports(t), "1");
  t.PageNote(42);  // not a mode: ignored
  EXPECT_EQ(Reports(t), "-");
}

TEST(TextInput, OnlyExactNotesOfTheWatcherAreTakenFromTheConsole) {
  int note = 99;
  auto parse = [&](const std::string& s) { return nimo::ParseTextNote(s.data(), s.size(), &note); };
  EXPECT_TRUE(parse("NIMOTEXT|2"));
  EXPECT_EQ(note, 2);
  EXPECT_TRUE(parse("NIMOTEXT|8"));
  EXPECT_EQ(note, 8);
  EXPECT_TRUE(parse("NIMOTEXT|f"));
  EXPECT_EQ(note, nimo::kTextNoteForeign);
  for (const char* other : {"NIMOTEXT|", "NIMOTEXT|9", "NIMOTEXT|22", "NIMOTEXT|-1", "nimotext|2", " NIMOTEXT|2",
                            "NIMOTEXT|2 ", "NIMOMP|trigger|x", ""}) {
    EXPECT_FALSE(parse(other)) << other;
  }
  EXPECT_FALSE(nimo::ParseTextNote(nullptr, 0, &note));
}

}  // namespace
