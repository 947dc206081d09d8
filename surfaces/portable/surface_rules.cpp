#include "surfaces/portable/surface_rules.h"

namespace nimo {
namespace {

// Frame rates by slot: the UI surface runs smooth, the second one at half rate, the two
// background ones only as fast as they are asked for frames.
constexpr int kFrameRates[4] = {60, 30, 1, 1};
constexpr std::uint32_t kSoftwareSurfaceId = 2;
constexpr std::uint32_t kNoScriptSurfaceId = 1;

}  // namespace

const char kProbePageUrl[] =
    "data:text/html,<html><body style=\"margin:0;background:rgb(20,20,20)\">"
    "<div id=b style=\"width:240px;height:240px;background:rgb(210,70,70)\"></div>"
    "<script>var b=document.getElementById('b'),n=0;function f(){n++;"
    "b.style.transform='translateX('+(n&255)+'px)';requestAnimationFrame(f);}"
    "requestAnimationFrame(f);</script></body></html>";

CreateRules DecideCreateRules(std::uint32_t id, FlagQuery flag_exists) {
  CreateRules rules;
  if (id >= 4) return rules;
  rules.frame_rate = kFrameRates[id];
  if (id == kSoftwareSurfaceId) return rules;
  rules.shared_texture = !flag_exists(kFlagCpuFrames);
  rules.external_begin_frames = !flag_exists(kFlagNoExternalBeginFrames);
  return rules;
}

CreateRules DecideStartupRules(FlagQuery flag_exists) {
  CreateRules rules;
  rules.frame_rate = kFrameRates[0];
  rules.external_begin_frames = !flag_exists(kFlagNoExternalBeginFrames);
  rules.shared_texture = !flag_exists(kFlagCpuFrames);
  return rules;
}

bool WantsFramePump(std::uint32_t id, FlagQuery flag_exists) {
  if (id >= 4 || id == kSoftwareSurfaceId) return false;
  return !flag_exists(kFlagNoExternalBeginFrames);
}

bool UsesProbePage(std::uint32_t id, FlagQuery flag_exists) {
  return id == 0 && flag_exists(kFlagTestPage);
}

bool GetsPageScripts(std::uint32_t id) { return id < 4 && id != kNoScriptSurfaceId; }

std::string ClientRequestedUrl(const std::string& text) {
  return text.empty() ? std::string(kBlankUrl) : text;
}

}  // namespace nimo
