#include "surfaces/portable/gpu_log_lines.h"

#include <string>

#include "gtest/gtest.h"

namespace nimo {
namespace {

TEST(CutUtf8, KeepsWholeCharactersOnly) {
  const std::string e_acute = "\xC3\xA9";          // 2 bytes
  const std::string euro = "\xE2\x82\xAC";         // 3 bytes
  const std::string clef = "\xF0\x9D\x84\x9E";     // 4 bytes
  EXPECT_EQ("ab", CutUtf8("ab", 2));
  EXPECT_EQ("a", CutUtf8("a" + e_acute, 2));
  EXPECT_EQ("a" + e_acute, CutUtf8("a" + e_acute + "b", 3));
  EXPECT_EQ("", CutUtf8(euro, 2));
  EXPECT_EQ(euro, CutUtf8(euro + euro, 5));
  EXPECT_EQ("x", CutUtf8("x" + clef, 4));
  EXPECT_EQ("x" + clef, CutUtf8("x" + clef + "y", 5));
  // Broken input: stray continuation bytes are cut like characters of their own.
  EXPECT_EQ("\x80\x80", CutUtf8("\x80\x80\x80", 2));
}

TEST(AdapterLines, ExactTextsAndCuts) {
  EXPECT_EQ("[nimo-webengine][gpu] adapter 1: Beta vram=8192MB software=0\n",
            FormatAdapterLine(1, "Beta", 8192ull << 20, false));
  // Memory is whole MiB rounded down.
  EXPECT_EQ("[nimo-webengine][gpu] adapter 0: Soft vram=0MB software=1\n",
            FormatAdapterLine(0, "Soft", (1u << 20) - 1, true));
  EXPECT_EQ("[nimo-webengine][gpu] using adapter: Beta (hr=0x00000000)\n", FormatUsingAdapterLine("Beta", 0));
  EXPECT_EQ("[nimo-webengine][gpu] using adapter: X (hr=0x887A0004)\n",
            FormatUsingAdapterLine("X", static_cast<std::int32_t>(0x887A0004u)));

  // 200 three-byte characters: the name stops at 85 whole characters (255 bytes) and the
  // line keeps its ending.
  std::string long_name;
  for (int i = 0; i < 200; ++i) long_name += "\xE2\x82\xAC";
  const std::string line = FormatAdapterLine(3, long_name, 0, false);
  EXPECT_EQ("[nimo-webengine][gpu] adapter 3: " + long_name.substr(0, 255) + " vram=0MB software=0\n", line);
  const std::string using_line = FormatUsingAdapterLine(long_name, 1);
  EXPECT_LT(using_line.size(), 320u);
  EXPECT_EQ('\n', using_line.back());
}

// Every logged Direct3D failure names the call, its code (by name where the log explains
// it) and the source place without the machine's folders; a lost device's line names why.
TEST(GpuFailureLines, NameTheCodeAndThePlace) {
  const std::int32_t removed = static_cast<std::int32_t>(0x887A0005u);
  EXPECT_EQ("[nimo-webengine][gpu] CreateSharedHandle FAILED hr=0x8007000E (out of memory) at surfaces/texture.cpp:42\n",
            FormatGpuFailureLine("CreateSharedHandle", static_cast<std::int32_t>(0x8007000Eu),
                                 "/home/build/tree/surfaces/texture.cpp", 42));
  EXPECT_EQ("[nimo-webengine][gpu] Open FAILED hr=0x80004005 at surfaces/x.cpp:7\n",
            FormatGpuFailureLine("Open", static_cast<std::int32_t>(0x80004005u), "C:\\src\\surfaces\\x.cpp", 7));
  EXPECT_EQ("x.cpp:1", ShortSourcePlace("x.cpp", 1));
  EXPECT_EQ("[nimo-webengine][gpu] device lost (device removed, hr=0x887A0005) after a paint's copy - making a new "
            "device\n",
            FormatDeviceLostLine(removed, "a paint's copy"));
  EXPECT_EQ("[nimo-webengine][gpu] device lost (unknown reason, hr=0x80004005) after x - making a new device\n",
            FormatDeviceLostLine(static_cast<std::int32_t>(0x80004005u), "x"));
  for (std::uint32_t code : {0x887A0005u, 0x887A0006u, 0x887A0007u, 0x887A0020u})
    EXPECT_TRUE(IsDeviceLossCode(static_cast<std::int32_t>(code))) << std::hex << code;
  for (std::uint32_t code : {0u, 0x887A0004u, 0x8007000Eu, 0x80070057u})
    EXPECT_FALSE(IsDeviceLossCode(static_cast<std::int32_t>(code))) << std::hex << code;
}

}  // namespace
}  // namespace nimo
