// The Chromium switch sets, exactly and in order, and the ZUNT_CEF_CPU rule.
#include "host/portable/engine_switches.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nimo {
namespace {

// "--name" or "--name=value", the way the engine's command line shows them.
std::vector<std::string> Render(const std::vector<EngineSwitch>& set) {
  std::vector<std::string> out;
  for (const EngineSwitch& entry : set) {
    std::string text = std::string("--") + entry.name;
    if (entry.value != nullptr) text += std::string("=") + entry.value;
    out.push_back(text);
  }
  return out;
}

const std::vector<std::string> kCommon = {
    "--no-sandbox",
    "--disable-accelerated-mjpeg-decode",
    "--disable-background-timer-throttling",
    "--disable-renderer-backgrounding",
    "--disable-backgrounding-occluded-windows",
};

TEST(EngineSwitches, CpuSet) {
  std::vector<std::string> expected = kCommon;
  expected.push_back("--disable-gpu");
  expected.push_back("--disable-gpu-compositing");
  EXPECT_EQ(Render(EngineSwitchSet(true)), expected);
}

TEST(EngineSwitches, GpuSet) {
  std::vector<std::string> expected = kCommon;
  expected.push_back("--use-angle=d3d11");
  expected.push_back("--disable-accelerated-video-decode");
  expected.push_back("--disable-databases");
  expected.push_back("--enable-experimental-web-platform-features");
  expected.push_back("--autoplay-policy=no-user-gesture-required");
  expected.push_back(
      "--enable-features=BlockInsecurePrivateNetworkRequests,"
      "BlockInsecurePrivateNetworkRequestsFromPrivate,"
      "BlockInsecurePrivateNetworkRequestsFromUnknown,CookieSameSiteConsidersRedirectChain,"
      "CreateImageBitmapOrientationNone,CriticalClientHint,DocumentPictureInPictureAPI,"
      "DocumentPolicyIncludeJSCallStacksInCrashReports,DocumentPolicyNegotiation,"
      "DocumentReporting,EnableCanvas2DLayers,ExperimentalContentSecurityPolicyFeatures,"
      "OriginIsolationHeader,PartitionAllocBackupRefPtr,PartitionedPopins,"
      "PrivateNetworkAccessRespectPreflightResults,SchemefulSameSite,"
      "ThirdPartyStoragePartitioning");
  expected.push_back("--disable-features=OutOfBlinkCors,SameSiteByDefaultCookies");
  EXPECT_EQ(Render(EngineSwitchSet(false)), expected);

  // The feature list: 18 names, no spaces.
  std::string features;
  for (const EngineSwitch& entry : EngineSwitchSet(false)) {
    if (std::string(entry.name) == "enable-features") features = entry.value;
  }
  int commas = 0;
  for (char c : features) commas += c == ',';
  EXPECT_EQ(commas, 17);
  EXPECT_EQ(features.find(' '), std::string::npos);
}

TEST(EngineSwitches, OnlyTheExactValueOneForcesCpu) {
  // What GetEnvironmentVariableA returns: the length for a value that fits, the size
  // needed (terminator included) for one that does not, 0 when unset.
  EXPECT_TRUE(EnvironmentForcesCpu(1, "1"));
  EXPECT_FALSE(EnvironmentForcesCpu(1, "0"));
  EXPECT_FALSE(EnvironmentForcesCpu(2, "11"));
  EXPECT_FALSE(EnvironmentForcesCpu(4, "true"));
  EXPECT_FALSE(EnvironmentForcesCpu(0, ""));
  // A long value starting with '1' leaves the buffer untouched and returns its needed size.
  EXPECT_FALSE(EnvironmentForcesCpu(12, ""));
  EXPECT_FALSE(EnvironmentForcesCpu(1, nullptr));
}

}  // namespace
}  // namespace nimo
