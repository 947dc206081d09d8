#include "host/portable/engine_switches.h"

namespace nimo {

std::vector<EngineSwitch> EngineSwitchSet(bool cpu_rendering_forced) {
  std::vector<EngineSwitch> set = {
      {"no-sandbox", nullptr},
      {"disable-accelerated-mjpeg-decode", nullptr},
      {"disable-background-timer-throttling", nullptr},
      {"disable-renderer-backgrounding", nullptr},
      {"disable-backgrounding-occluded-windows", nullptr},
  };
  if (cpu_rendering_forced) {
    set.push_back({"disable-gpu", nullptr});
    set.push_back({"disable-gpu-compositing", nullptr});
    return set;
  }
  set.push_back({"use-angle", "d3d11"});
  set.push_back({"disable-accelerated-video-decode", nullptr});
  set.push_back({"disable-databases", nullptr});
  set.push_back({"enable-experimental-web-platform-features", nullptr});
  set.push_back({"autoplay-policy", "no-user-gesture-required"});
  set.push_back({"enable-features",
                 "BlockInsecurePrivateNetworkRequests,"
                 "BlockInsecurePrivateNetworkRequestsFromPrivate,"
                 "BlockInsecurePrivateNetworkRequestsFromUnknown,"
                 "CookieSameSiteConsidersRedirectChain,"
                 "CreateImageBitmapOrientationNone,"
                 "CriticalClientHint,"
                 "DocumentPictureInPictureAPI,"
                 "DocumentPolicyIncludeJSCallStacksInCrashReports,"
                 "DocumentPolicyNegotiation,"
                 "DocumentReporting,"
                 "EnableCanvas2DLayers,"
                 "ExperimentalContentSecurityPolicyFeatures,"
                 "OriginIsolationHeader,"
                 "PartitionAllocBackupRefPtr,"
                 "PartitionedPopins,"
                 "PrivateNetworkAccessRespectPreflightResults,"
                 "SchemefulSameSite,"
                 "ThirdPartyStoragePartitioning"});
  set.push_back({"disable-features", "OutOfBlinkCors,SameSiteByDefaultCookies"});
  return set;
}

bool EnvironmentForcesCpu(unsigned long get_environment_result, const char* buffer) {
  return get_environment_result == 1 && buffer != nullptr && buffer[0] == '1';
}

}  // namespace nimo
