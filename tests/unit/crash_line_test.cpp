// The crash line: exact formats, eight-digit upper-case code, upper-case offsets, and a
// line that never overruns its buffer.
#include "diag/portable/crash_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace nimo {
namespace {

TEST(CrashLine, InsideAModule) {
  char out[kCrashLineInModuleSize];
  EXPECT_STREQ(FormatCrashLineInModule(out, 0xC0000005u, "C:\\app\\dezor2.dll", 0x1A2Bu),
               "[nimo-webengine][CRASH] code=0xC0000005 at C:\\app\\dezor2.dll+0x1A2B\n");
  // Small codes keep eight digits; large offsets keep all their digits.
  EXPECT_STREQ(FormatCrashLineInModule(out, 0x80000003u, "m.dll", 0xABCDEF0123ull),
               "[nimo-webengine][CRASH] code=0x80000003 at m.dll+0xABCDEF0123\n");
  EXPECT_STREQ(FormatCrashLineInModule(out, 0x5u, nullptr, 0),
               "[nimo-webengine][CRASH] code=0x00000005 at ?+0x0\n");
}

TEST(CrashLine, OutsideEveryModule) {
  char out[kCrashLineNoModuleSize];
  EXPECT_STREQ(FormatCrashLineNoModule(out, 0xC000001Du, 0x7FF6ABCD1230ull),
               "[nimo-webengine][CRASH] code=0xC000001D at 00007FF6ABCD1230\n");
  EXPECT_STREQ(FormatCrashLineNoModule(out, 0xE06D7363u, 0),
               "[nimo-webengine][CRASH] code=0xE06D7363 at 0000000000000000\n");
}

TEST(CrashLine, OverlongPathIsCutToTheBuffer) {
  // Guard bytes after the buffer must survive.
  char out[kCrashLineInModuleSize + 16];
  std::memset(out, 'Z', sizeof out);
  const std::string path(1000, 'p');
  FormatCrashLineInModule(out, 0xC0000005u, path.c_str(), 0x10);
  EXPECT_EQ(std::strlen(out), kCrashLineInModuleSize - 1);
  EXPECT_EQ(std::string(out, 41), "[nimo-webengine][CRASH] code=0xC0000005 a");
  for (size_t i = kCrashLineInModuleSize; i < sizeof out; ++i) ASSERT_EQ(out[i], 'Z');
}

}  // namespace
}  // namespace nimo
