// Numbers a program hands to a page, and numbers a page hands back, keep their text under
// any locale: a program that called setlocale for its own messages on a system whose
// decimal mark is a comma must still send 1.5 as one argument and read "1.5" as 1.5.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "client/nimo_protocol.h"
#include "client/portable/script_literal.h"

namespace {

// Switches the C locale to one with a decimal comma for the life of the object, if the
// machine has one.
class CommaLocale {
 public:
  CommaLocale() {
    const char* saved = std::setlocale(LC_ALL, nullptr);
    saved_ = saved != nullptr ? saved : "C";
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252", "German", "de-DE"}) {
      if (std::setlocale(LC_ALL, name) == nullptr) continue;
      char probe[16];
      std::snprintf(probe, sizeof probe, "%.1f", 1.5);
      if (std::string(probe) == "1,5") {
        active_ = true;
        return;
      }
    }
    std::setlocale(LC_ALL, saved_.c_str());
  }
  ~CommaLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
  bool active() const { return active_; }

 private:
  std::string saved_;
  bool active_ = false;
};

TEST(NumberText, ReadsAndWritesTheSameUnderADecimalCommaLocale) {
  CommaLocale comma;
  if (!comma.active()) GTEST_SKIP() << "no locale with a decimal comma on this machine";
  namespace sdk = nimo::protocol;
  const struct {
    double value;
    const char* text;
  } cases[] = {{1.5, "1.5"},   {-0.25, "-0.25"}, {1e21, "1e+21"}, {1e-7, "1e-7"},
               {1234.5, "1234.5"}, {0.1 + 0.2, "0.30000000000000004"}, {5e-324, "5e-324"}};
  for (const auto& c : cases) {
    EXPECT_EQ(sdk::ScriptNumberText(c.value), c.text);
    EXPECT_EQ((sdk::PageArg{'n', c.text}.AsNumber()), c.value) << c.text;
  }
  EXPECT_EQ(nimo::client::EmitScript("e", {1.5, 2}), "window.__mpEmit&&window.__mpEmit(\"e\",[1.5,2]);");
  EXPECT_EQ((sdk::PageArg{'n', "junk"}.AsNumber()), 0.0);
}

}  // namespace
