#include "surfaces/frame_pump.h"

#include "host/base/engine_ref.h"
#include "link/pipe_link.h"
#include "link/ui_task.h"
#include "surfaces/surface.h"

namespace nimo {
namespace {

void PostTick(std::uint32_t id, std::uint32_t generation) {
  SurfaceHead head = {};
  head.surface_id = id;
  head.param1 = generation;
  PostDelayedUiTask(RunFramePumpTick, &head, kFramePumpIntervalMs);
}

}  // namespace

void StartFramePump(std::uint32_t id) {
  if (id >= kSurfaceCount) return;
  PostTick(id, ++surfaces[id].pump_generation);
}

void RunFramePumpTick(UiTask* task) {
  const std::uint32_t id = task->head.surface_id;
  if (id >= kSurfaceCount) return;
  if (task->head.param1 != surfaces[id].pump_generation) return;
  cef_browser_t* browser = surfaces[id].browser.get();
  if (browser == nullptr) return;
  if (const auto host = GetRef(browser, &cef_browser_t::get_host)) {
    if (host->send_external_begin_frame != nullptr) host->send_external_begin_frame(host.get());
  }
  if (link_stopped.load() != 0) return;
  PostTick(id, task->head.param1);
}

}  // namespace nimo
