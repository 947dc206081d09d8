#include "surfaces/frame_pump.h"

#include <chrono>

#include "base/engine_ref.h"
#include "link/pipe_link.h"
#include "link/ui_task.h"
#include "surfaces/surface.h"

namespace nimo {
namespace {

std::int64_t NowMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void PostTick(std::uint32_t id, std::uint32_t generation, std::int64_t delay_ms) {
  PostDelayedUiTask("frame pump", [id, generation] { RunFramePumpTick(id, generation); }, delay_ms);
}

}  // namespace

void StartFramePump(std::uint32_t id) {
  if (id >= kSurfaceCount) return;
  Surface& s = surfaces[id];
  const std::uint32_t generation = ++s.pump_generation;
  if (s.pacing.settings.client_clock) return;
  PostTick(id, generation, s.pacing.clock.Start(s.pacing.settings.rate, NowMicros()));
}

void EndFramePump(std::uint32_t id) {
  if (id < kSurfaceCount) ++surfaces[id].pump_generation;
}

void RunFramePumpTick(std::uint32_t id, std::uint32_t generation) {
  if (id >= kSurfaceCount || generation != surfaces[id].pump_generation) return;
  cef_browser_t* browser = surfaces[id].browser.get();
  if (browser == nullptr) return;
  if (const auto host = GetRef(browser, &cef_browser_t::get_host)) {
    if (host->send_external_begin_frame != nullptr) host->send_external_begin_frame(host.get());
  }
  if (link_stopped.load() != 0) return;
  PostTick(id, generation, surfaces[id].pacing.clock.Next(NowMicros()));
}

}  // namespace nimo
