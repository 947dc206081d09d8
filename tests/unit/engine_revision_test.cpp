// The revision lines of the browser log: the version is shown as reported, the hash is
// compared with the revision the layouts were taken from, and whatever the library hands
// back cannot break the log line.
#include "base/portable/engine_revision.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "base/portable/engine_abi.h"

namespace nimo {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

int CountLines(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

TEST(EngineRevision, MatchingRevision) {
  const std::string lines =
      DescribeEngineRevision(kNimoEngineVersionInfo, true, NIMO_ENGINE_API_HASH_PLATFORM);
  EXPECT_EQ(lines,
            "[nimo-webengine][browser] engine version 132.3.2 (commit 3117) chromium "
            "132.0.6834.161\n"
            "[nimo-webengine][browser] engine api hash " NIMO_ENGINE_API_HASH_PLATFORM "\n");
}

TEST(EngineRevision, OtherMajorVersionWarnsWithoutAskingTheHash) {
  const int version[8] = {133, 0, 1, 3200, 133, 0, 6943, 10};
  EXPECT_FALSE(ShouldQueryApiHash(version, true));
  EXPECT_TRUE(ShouldQueryApiHash(kNimoEngineVersionInfo, true));
  EXPECT_TRUE(ShouldQueryApiHash(nullptr, true));  // cannot tell: ask
  EXPECT_FALSE(ShouldQueryApiHash(kNimoEngineVersionInfo, false));
  EXPECT_EQ(DescribeEngineRevision(version, false, nullptr),
            "[nimo-webengine][browser] engine version 133.0.1 (commit 3200) chromium "
            "133.0.6943.10\n"
            "[nimo-webengine][browser] WARNING engine version 133 is not 132: the library is "
            "another engine revision than this program was built for\n");
}

TEST(EngineRevision, OtherHashWarns) {
  const int version[8] = {132, 1, 0, 3000, 132, 0, 6834, 83};
  const std::string lines =
      DescribeEngineRevision(version, true, "3e3393f10c4b95f7516521c8643b9a735fd0c3f3");
  EXPECT_THAT(lines, HasSubstr("engine version 132.1.0 (commit 3000) chromium 132.0.6834.83\n"));
  EXPECT_THAT(lines, HasSubstr("[nimo-webengine][browser] WARNING engine api hash "
                               "3e3393f10c4b95f7516521c8643b9a735fd0c3f3 is not "
                               NIMO_ENGINE_API_HASH_PLATFORM));
  EXPECT_EQ(CountLines(lines), 3);
  // A hash that merely starts like the right one is still another revision.
  EXPECT_THAT(DescribeEngineRevision(nullptr, true, "aafe004d"), HasSubstr("WARNING"));
}

TEST(EngineRevision, MissingExportsAndNullResults) {
  EXPECT_EQ(DescribeEngineRevision(nullptr, false, nullptr), "");
  const std::string version_only = DescribeEngineRevision(kNimoEngineVersionInfo, false, nullptr);
  EXPECT_EQ(CountLines(version_only), 1);
  EXPECT_THAT(version_only, Not(HasSubstr("hash")));
  // Exported but returning nothing: shown, and warned about.
  const std::string null_hash = DescribeEngineRevision(nullptr, true, nullptr);
  EXPECT_THAT(null_hash, HasSubstr("engine api hash (null)\n"));
  EXPECT_THAT(null_hash, HasSubstr("WARNING"));
}

TEST(EngineRevision, HostileHashTextStaysOneBoundedLine) {
  std::string hostile(5000, 'f');
  hostile[3] = '\n';
  hostile[7] = '%';
  const std::string lines = DescribeEngineRevision(nullptr, true, hostile.c_str());
  EXPECT_EQ(CountLines(lines), 2);  // the hash line and the warning, no injected line
  EXPECT_THAT(lines, HasSubstr("engine api hash fff?fff%" + std::string(56, 'f') + "\n"));
  EXPECT_LT(lines.size(), 600u);
}

}  // namespace
}  // namespace nimo
