// Role selection after the engine's sub-process dispatcher returned.
#include "host/portable/process_role.h"

#include <gtest/gtest.h>

namespace nimo {
namespace {

TEST(ProcessRole, EngineSubprocessWhateverTheCommandLine) {
  EXPECT_EQ(SelectProcessRole(0, "x.exe --type=renderer"), ProcessRole::kEngineSubprocess);
  EXPECT_EQ(SelectProcessRole(7, "x.exe --nimomp-browser"), ProcessRole::kEngineSubprocess);
  EXPECT_EQ(SelectProcessRole(0, nullptr), ProcessRole::kEngineSubprocess);
}

TEST(ProcessRole, BrowserSwitchIsAPlainSubstring) {
  EXPECT_EQ(SelectProcessRole(-1, "x.exe --nimomp-browser --nimomp-pipe=p"), ProcessRole::kBrowser);
  // Inside a quoted path or a longer switch name it still counts.
  EXPECT_EQ(SelectProcessRole(-1, "\"C:\\a--nimomp-browser\\x.exe\""), ProcessRole::kBrowser);
  EXPECT_EQ(SelectProcessRole(-1, "x.exe --nimomp-browsers"), ProcessRole::kBrowser);
}

TEST(ProcessRole, NoBrowserSwitch) {
  EXPECT_EQ(SelectProcessRole(-1, "x.exe"), ProcessRole::kNone);
  EXPECT_EQ(SelectProcessRole(-1, nullptr), ProcessRole::kNone);
  EXPECT_EQ(SelectProcessRole(-3, "x.exe --NIMOMP-BROWSER"), ProcessRole::kNone);
  EXPECT_EQ(SelectProcessRole(-1, "x.exe -nimomp-browser"), ProcessRole::kNone);
}

}  // namespace
}  // namespace nimo
