#include "surfaces/portable/surface_rules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace nimo {
namespace {

// A scripted set of flag files that also records which ones were asked for, in order.
struct FlagWorld {
  static std::set<std::string> present;
  static std::vector<std::string> asked;
  static bool Query(const char* name) {
    asked.push_back(name);
    return present.count(name) != 0;
  }
  static void Reset(std::set<std::string> files) {
    present = std::move(files);
    asked.clear();
  }
};
std::set<std::string> FlagWorld::present;
std::vector<std::string> FlagWorld::asked;

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(CreateRules, FrameRateAndFeaturesPerSurfaceWithoutFlags) {
  const int rates[4] = {60, 30, 1, 1};
  for (std::uint32_t id = 0; id < 4; ++id) {
    FlagWorld::Reset({});
    CreateRules r = DecideCreateRules(id, FlagWorld::Query);
    EXPECT_EQ(r.frame_rate, rates[id]) << id;
    EXPECT_EQ(r.shared_texture, id != 2) << id;
    EXPECT_EQ(r.external_begin_frames, id != 2) << id;
    EXPECT_EQ(WantsFramePump(id, FlagWorld::Query), id != 2) << id;
  }
}

TEST(CreateRules, FlagsTurnOffEachFeatureOnTheSurfacesTheyApplyTo) {
  for (std::uint32_t id : {0u, 1u, 3u}) {
    FlagWorld::Reset({kFlagCpuFrames});
    CreateRules r = DecideCreateRules(id, FlagWorld::Query);
    EXPECT_FALSE(r.shared_texture);
    EXPECT_TRUE(r.external_begin_frames);
    EXPECT_THAT(FlagWorld::asked, ElementsAre(kFlagCpuFrames, kFlagNoExternalBeginFrames));

    FlagWorld::Reset({kFlagNoExternalBeginFrames});
    r = DecideCreateRules(id, FlagWorld::Query);
    EXPECT_TRUE(r.shared_texture);
    EXPECT_FALSE(r.external_begin_frames);
    EXPECT_FALSE(WantsFramePump(id, FlagWorld::Query));
  }
}

TEST(CreateRules, SoftwareSurfaceConsultsNoFlagAtAll) {
  FlagWorld::Reset({kFlagCpuFrames, kFlagNoExternalBeginFrames, kFlagTestPage});
  CreateRules r = DecideCreateRules(2, FlagWorld::Query);
  EXPECT_FALSE(r.shared_texture);
  EXPECT_FALSE(r.external_begin_frames);
  EXPECT_EQ(r.frame_rate, 1);
  EXPECT_FALSE(WantsFramePump(2, FlagWorld::Query));
  EXPECT_FALSE(UsesProbePage(2, FlagWorld::Query));
  EXPECT_THAT(FlagWorld::asked, IsEmpty());
}

TEST(CreateRules, OutOfRangeIdsGetNothing) {
  FlagWorld::Reset({});
  CreateRules r = DecideCreateRules(4, FlagWorld::Query);
  EXPECT_EQ(r.frame_rate, 0);
  EXPECT_FALSE(r.shared_texture || r.external_begin_frames);
  EXPECT_FALSE(WantsFramePump(4, FlagWorld::Query));
  EXPECT_FALSE(WantsFramePump(0xFFFFFFFFu, FlagWorld::Query));
}

TEST(CreateRules, StartupAsksBeginFramesFirstAndHonoursBothFlags) {
  FlagWorld::Reset({kFlagCpuFrames, kFlagNoExternalBeginFrames});
  CreateRules r = DecideStartupRules(FlagWorld::Query);
  EXPECT_FALSE(r.shared_texture);
  EXPECT_FALSE(r.external_begin_frames);
  EXPECT_EQ(r.frame_rate, 60);
  EXPECT_THAT(FlagWorld::asked, ElementsAre(kFlagNoExternalBeginFrames, kFlagCpuFrames));
}

TEST(ProbePage, ReplacesOnlyTheUiSurfaceUrlAndOnlyUnderItsFlag) {
  FlagWorld::Reset({kFlagTestPage});
  EXPECT_TRUE(UsesProbePage(0, FlagWorld::Query));
  for (std::uint32_t id : {1u, 2u, 3u, 4u}) EXPECT_FALSE(UsesProbePage(id, FlagWorld::Query));
  FlagWorld::Reset({});
  EXPECT_FALSE(UsesProbePage(0, FlagWorld::Query));
}

TEST(ProbePage, IsTheFixedDataUrl) {
  const std::string url = kProbePageUrl;
  EXPECT_EQ(url.size(), 328u);
  EXPECT_EQ(url.rfind("data:text/html,<html>", 0), 0u);
  EXPECT_NE(url.find("(n&255)"), std::string::npos);
  EXPECT_EQ(url.substr(url.size() - 14), "</body></html>");
}

TEST(ClientUrl, EmptyTextOpensBlankAndAnyOtherTextIsKeptByteForByte) {
  EXPECT_EQ(ClientRequestedUrl(""), "about:blank");
  const std::string odd("x\0y \xC3\xA9", 6);
  EXPECT_EQ(ClientRequestedUrl(odd), odd);
}

}  // namespace
}  // namespace nimo
