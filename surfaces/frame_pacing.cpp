#include "surfaces/frame_pacing.h"

#include "base/engine_ref.h"
#include "link/ui_task.h"
#include "surfaces/frame_pump.h"
#include "surfaces/surface.h"

namespace nimo {
namespace {

ProbeStopper probe_stopper = nullptr;

}  // namespace

void SetProbeStopper(ProbeStopper stopper) { probe_stopper = stopper; }

bool FrameRateProbeWanted(std::uint32_t surface_id) {
  return surface_id < kSurfaceCount && surfaces[surface_id].pacing.settings.probe;
}

void SetFramePacingTask(const FramePacingCommand& command) {
  if (command.surface_id >= kSurfaceCount) return;
  Surface& s = surfaces[command.surface_id];
  const PacingChange change = ApplyFramePacing(s.id, s.pacing.settings, command);
  s.pacing.settings = change.settings;
  if (change.pump_stop) EndFramePump(s.id);
  // A pump is started only for a browser that takes begin frames; one without a browser
  // starts with the settings when its browser arrives.
  if (change.pump_restart && s.browser && s.pacing.external_begin_frames) StartFramePump(s.id);
  if (change.probe_stop && s.browser && probe_stopper != nullptr) probe_stopper(s.id);
}

void QueueBeginFrame(std::uint32_t surface_id) {
  if (surface_id >= kSurfaceCount) return;
  BeginFrameFold& fold = surfaces[surface_id].pacing.begin_frame;
  if (!fold.Arrive()) return;
  // A lost task must not leave the fold waiting for it forever.
  if (!PostUiTask("begin frame", [surface_id] { BeginFrameTask(surface_id); })) fold.Lost();
}

void BeginFrameTask(std::uint32_t surface_id) {
  if (surface_id >= kSurfaceCount) return;
  Surface& s = surfaces[surface_id];
  s.pacing.begin_frame.Taken();
  if (!s.pacing.settings.client_clock || !s.pacing.external_begin_frames) return;
  if (const auto host = GetRef(s.browser.get(), &cef_browser_t::get_host)) {
    if (host->send_external_begin_frame != nullptr) host->send_external_begin_frame(host.get());
  }
}

}  // namespace nimo
