#include "surfaces/frame_pump.h"

#include "base/engine_ref.h"
#include "link/pipe_link.h"
#include "link/ui_task.h"
#include "surfaces/surface.h"

namespace nimo {
namespace {

void PostTick(std::uint32_t id, std::uint32_t generation) {
  PostDelayedUiTask("frame pump", [id, generation] { RunFramePumpTick(id, generation); }, kFramePumpIntervalMs);
}

}  // namespace

void StartFramePump(std::uint32_t id) {
  if (id >= kSurfaceCount) return;
  PostTick(id, ++surfaces[id].pump_generation);
}

void RunFramePumpTick(std::uint32_t id, std::uint32_t generation) {
  if (id >= kSurfaceCount || generation != surfaces[id].pump_generation) return;
  cef_browser_t* browser = surfaces[id].browser.get();
  if (browser == nullptr) return;
  if (const auto host = GetRef(browser, &cef_browser_t::get_host)) {
    if (host->send_external_begin_frame != nullptr) host->send_external_begin_frame(host.get());
  }
  if (link_stopped.load() != 0) return;
  PostTick(id, generation);
}

}  // namespace nimo
