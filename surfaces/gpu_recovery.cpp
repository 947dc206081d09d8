#include "surfaces/gpu_recovery.h"

#include <windows.h>

#include <cstdint>

#include "base/engine_ref.h"
#include "diag/log.h"
#include "link/pipe_link.h"
#include "link/ui_task.h"
#include "surfaces/frame_ring_slots.h"
#include "surfaces/gpu_device.h"
#include "surfaces/popup.h"
#include "surfaces/surface.h"
#include "surfaces/surface_texture.h"

namespace nimo {

namespace {

// The sizes the surfaces' textures had when the device was lost (0: none), so each gets a
// texture of that size again on the new device. UI thread; lives with the process.
struct LostTextures {
  std::uint32_t width[kSurfaceCount] = {};
  std::uint32_t height[kSurfaceCount] = {};
};
LostTextures lost_textures;
bool recovery_posted = false;  // a retry waits on the UI-task timer
bool watching = false;         // the device watch is running
std::int64_t loss_started_ms = 0;

void AskForWholeFrames(Surface& s) {
  if (!s.browser) return;
  const EngineRef<cef_browser_host_t> host = GetRef(s.browser.get(), &cef_browser_t::get_host);
  if (!host || !host->invalidate) return;
  host->invalidate(host.get(), PET_VIEW);
  if (PopupShown(&s)) host->invalidate(host.get(), PET_POPUP);
}

void TryNewDevice() {
  recovery_posted = false;
  GpuDevice& gpu = surfaces.gpu;
  if (!gpu.MakeAgain()) {
    const std::int64_t delay = gpu.RetryDelayMs();
    if (delay < 0) {
      WriteLog("[nimo-webengine][gpu] no new device after %d attempts - surfaces stay without frames\n",
               static_cast<std::int64_t>(GpuDevice::kMaxAttempts));
      return;
    }
    recovery_posted = PostDelayedUiTask("gpu device recovery", TryNewDevice, delay);
    return;
  }
  for (Surface& s : surfaces) {
    const std::uint32_t id = s.id < kSurfaceCount ? s.id : 0;
    if (lost_textures.width[id] > 0 && s.browser)
      EnsureSurfaceTexture(&s, static_cast<int>(lost_textures.width[id]), static_cast<int>(lost_textures.height[id]));
    lost_textures.width[id] = lost_textures.height[id] = 0;
    s.texture.RequestFullCopy();
    AskForWholeFrames(s);
  }
  WriteLog("[nimo-webengine][gpu] new device ready after %d ms\n",
           static_cast<std::int64_t>(GetTickCount64()) - loss_started_ms);
}

void WatchTick() {
  GpuDevice& gpu = surfaces.gpu;
  // Nothing to watch once the device is let go or the session ends (like the frame pump).
  if (gpu.released() || link_stopped.load() != 0 || surfaces.quitting.load() != 0) {
    watching = false;
    return;
  }
  if (gpu.CheckRemoved("the periodic device check")) RecoverFromDeviceLoss();
  watching = PostDelayedUiTask("gpu device watch", WatchTick, kWatchIntervalMs);
}

}  // namespace

void WatchGpuDevice() {
  if (watching) return;
  watching = PostDelayedUiTask("gpu device watch", WatchTick, kWatchIntervalMs);
}

void RecoverFromDeviceLoss() {
  if (recovery_posted) return;
  loss_started_ms = static_cast<std::int64_t>(GetTickCount64());
  for (Surface& s : surfaces) {
    const std::uint32_t id = s.id < kSurfaceCount ? s.id : 0;
    if (s.texture) {
      lost_textures.width[id] = s.texture.width();
      lost_textures.height[id] = s.texture.height();
    }
    ForgetPopupPixels(&s);
    s.texture.Release();
  }
  DropFrameRingDevice();
  // The new device is made from a task of its own: the paint that noticed the loss ends
  // first, and the pages' new frames do not arrive inside it.
  recovery_posted = PostUiTask("gpu device recovery", TryNewDevice);
}

}  // namespace nimo
