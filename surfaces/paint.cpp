#include "surfaces/paint.h"

#include <windows.h>
#include <d3d11_1.h>

#include "base/callback_guard.h"
#include "base/engine_ref.h"
#include "base/ui_thread.h"
#include "diag/log.h"
#include "diag/perf_stats.h"
#include "link/send.h"
#include "protocol/wire.h"
#include "surfaces/frame_ring_slots.h"
#include "surfaces/gpu_check.h"
#include "surfaces/gpu_device.h"
#include "surfaces/gpu_recovery.h"
#include "surfaces/popup.h"
#include "surfaces/portable/copy_plan.h"
#include "surfaces/portable/device_scale.h"
#include "surfaces/surface.h"
#include "surfaces/surface_texture.h"

namespace nimo {

std::atomic<std::int32_t> first_paint_counter{0};
std::atomic<std::int32_t> open_fail_count{0};

namespace {

void CountPaint(const char* first_line) {
  if (first_paint_counter.fetch_add(1) + 1 == 1) WriteLog(first_line);
}

// `paint_time`: the performance counter when the paint callback was entered.
void AnnounceFrame(Surface* s, std::uint32_t format, std::int64_t paint_time) {
  if (FrameRingActive()) {
    RingFramePainted(s, format, paint_time);
    return;
  }
  if (s->texture.client_handle() == 0) return;  // the client could not be given this texture
  FrameReadyPayload payload = {};
  payload.surface_id = s->id;
  payload.width = s->texture.width();
  payload.height = s->texture.height();
  payload.format = format;
  payload.client_handle = s->texture.client_handle();
  SendFrameReady(payload);
}

// The frame's calls that return nothing (copies, uploads, Flush) fail silently on a lost
// device: asked once per frame. True when the frame may be announced.
bool DeviceStillThere(const char* what) {
  if (!surfaces.gpu.CheckRemoved(what)) return true;
  RecoverFromDeviceLoss();
  return false;
}

// After a failed step of a paint: a device that turned out lost is recovered from.
void RecoverIfLost() {
  if (surfaces.gpu.lost()) RecoverFromDeviceLoss();
}

// Copies the view and then, where the copy reached it, the page's open popup over it.
// `cropped`: the engine's texture is larger than the surface's (at a scale), whose size the
// copy keeps.
void CopyFrame(Surface* s, ID3D11Texture2D* engine_texture, const cef_rect_t* rects, size_t count, bool cropped) {
  ID3D11DeviceContext* context = surfaces.gpu.context();
  const CopyPlan plan = PlanAcceleratedCopy(s->texture.full_copy_pending(), rects, count,
                                            static_cast<std::int32_t>(s->texture.width()),
                                            static_cast<std::int32_t>(s->texture.height()));
  if (plan.full_copy && !cropped) {
    context->CopyResource(s->texture.get(), engine_texture);
    s->texture.FullCopyDone();
  } else if (plan.full_copy) {
    const D3D11_BOX box = {0, 0, 0, s->texture.width(), s->texture.height(), 1};
    context->CopySubresourceRegion(s->texture.get(), 0, 0, 0, 0, engine_texture, 0, &box);
    s->texture.FullCopyDone();
  } else {
    for (size_t i = 0; i < plan.box_count; ++i) {
      const CopyBox& b = plan.boxes[i];
      const D3D11_BOX box = {b.left, b.top, 0, b.right, b.bottom, 1};
      context->CopySubresourceRegion(s->texture.get(), 0, b.left, b.top, 0, engine_texture, 0, &box);
    }
  }
  DrawPopupOverView(s, plan);
}

// Opens the engine's texture of one accelerated paint (empty on failure, counted and logged
// once per process; a failure that means the device is lost starts the recovery).
Microsoft::WRL::ComPtr<ID3D11Texture2D> OpenEngineTexture(const cef_accelerated_paint_info_t* info) {
  Microsoft::WRL::ComPtr<ID3D11Texture2D> engine_texture;
  const HRESULT hr = surfaces.gpu.device()->OpenSharedResource1(static_cast<HANDLE>(info->shared_texture_handle),
                                                                __uuidof(ID3D11Texture2D),
                                                                reinterpret_cast<void**>(engine_texture.GetAddressOf()));
  if (FAILED(hr) || !engine_texture) {
    engine_texture.Reset();
    if (surfaces.gpu.LostAfter(hr, "OpenSharedResource1 on CEF's handle")) {
      RecoverFromDeviceLoss();
      return engine_texture;
    }
    if (open_fail_count.fetch_add(1) + 1 == 1) NIMO_LOG_GPU_FAILURE(hr, "OpenSharedResource1 on CEF's handle");
  }
  return engine_texture;
}

void CEF_CALLBACK OnAcceleratedPaint(cef_render_handler_t* self, cef_browser_t* browser,
                                     cef_paint_element_type_t type, size_t dirty_count,
                                     const cef_rect_t* dirty_rects, const cef_accelerated_paint_info_t* info) {
  const std::int64_t entered = QpcNow();
  RequireUiThread("on_accelerated_paint");
  const auto browser_ref = AdoptRef(browser);
  Surface* s = SurfaceFrom(self);
  if (!s || !info || !info->shared_texture_handle) return;
  if (type == PET_POPUP) {
    if (!PopupShown(s) || !surfaces.gpu.Ensure()) return;
    const std::uint32_t generation = surfaces.gpu.generation();
    Microsoft::WRL::ComPtr<ID3D11Texture2D> popup_texture = OpenEngineTexture(info);
    if (!popup_texture) return;
    const bool changed = TakePopupTexture(s, browser_ref.get(), popup_texture.Get());
    RecoverIfLost();
    if (!surfaces.gpu.ready() || surfaces.gpu.generation() != generation) return;  // drawn into a texture that went
    // Like the view's, the popup's texture is valid only during this callback.
    surfaces.gpu.context()->Flush();
    popup_texture.Reset();
    if (DeviceStillThere("a popup paint") && changed) AnnounceFrame(s, static_cast<std::uint32_t>(info->format), entered);
    return;
  }
  if (type != PET_VIEW || !surfaces.gpu.Ensure()) return;
  WatchGpuDevice();

  const std::int64_t t0 = QpcNow();
  Microsoft::WRL::ComPtr<ID3D11Texture2D> engine_texture = OpenEngineTexture(info);
  if (!engine_texture) return;
  D3D11_TEXTURE2D_DESC desc = {};
  engine_texture->GetDesc(&desc);
  const int width = TextureLength(static_cast<int>(desc.Width), s->view_width, s->pointer.scale_milli);
  const int height = TextureLength(static_cast<int>(desc.Height), s->view_height, s->pointer.scale_milli);
  if (!EnsureSurfaceTexture(s, width, height)) return RecoverIfLost();
  CountPaint("[nimo-webengine][browser] FIRST on_accelerated_paint - GPU path live\n");

  const std::int64_t t1 = QpcNow();
  CopyFrame(s, engine_texture.Get(), dirty_rects, dirty_count,
            width != static_cast<int>(desc.Width) || height != static_cast<int>(desc.Height));
  // The engine's texture is valid only during this callback: the copy is issued and
  // submitted before it is let go.
  surfaces.gpu.context()->Flush();
  engine_texture.Reset();
  const std::int64_t t2 = QpcNow();
  RecordPaint(QpcMicros(t0, t1), QpcMicros(t1, t2));

  if (!DeviceStillThere("a paint's copy")) return;
  AnnounceFrame(s, static_cast<std::uint32_t>(info->format), entered);
  ReportPerfIfDue();
}

void CEF_CALLBACK OnPaint(cef_render_handler_t* self, cef_browser_t* browser, cef_paint_element_type_t type,
                          size_t, const cef_rect_t*, const void* buffer, int width, int height) {
  const std::int64_t entered = QpcNow();
  RequireUiThread("on_paint");
  const auto browser_ref = AdoptRef(browser);
  Surface* s = SurfaceFrom(self);
  if (!s || !buffer) return;
  if (type == PET_POPUP) {
    if (!PopupShown(s) || !surfaces.gpu.Ensure()) return;
    const std::uint32_t generation = surfaces.gpu.generation();
    const bool changed = TakePopupBuffer(s, browser_ref.get(), buffer, width, height);
    RecoverIfLost();
    if (!surfaces.gpu.ready() || surfaces.gpu.generation() != generation) return;
    surfaces.gpu.context()->Flush();
    if (DeviceStillThere("a popup upload") && changed) AnnounceFrame(s, 0, entered);
    return;
  }
  const int texture_width = TextureLength(width, s->view_width, s->pointer.scale_milli);
  const int texture_height = TextureLength(height, s->view_height, s->pointer.scale_milli);
  if (type != PET_VIEW) return;
  if (!EnsureSurfaceTexture(s, texture_width, texture_height)) return RecoverIfLost();
  WatchGpuDevice();
  CountPaint("[nimo-webengine][browser] FIRST on_paint (CPU raster path)\n");

  // Every CPU paint uploads the whole frame (as much of it as the texture holds); dirty
  // rectangles are not used.
  const std::int64_t t0 = QpcNow();
  const D3D11_BOX kept = {0, 0, 0, static_cast<UINT>(texture_width), static_cast<UINT>(texture_height), 1};
  const bool cropped = texture_width != width || texture_height != height;
  ID3D11DeviceContext* context = surfaces.gpu.context();
  context->UpdateSubresource(s->texture.get(), 0, cropped ? &kept : nullptr, buffer, static_cast<UINT>(width) * 4u,
                             0);
  CopyPlan whole_view;
  whole_view.full_copy = true;
  DrawPopupOverView(s, whole_view);
  context->Flush();
  const std::int64_t t1 = QpcNow();
  RecordPaint(0, QpcMicros(t0, t1));

  if (!DeviceStillThere("a paint's upload")) return;
  AnnounceFrame(s, 0, entered);
  ReportPerfIfDue();
}

}  // namespace

void InstallPaintCallbacks(cef_render_handler_t* handler) {
  if (!handler) return;
  handler->on_paint = Guarded<OnPaint>;
  handler->on_accelerated_paint = Guarded<OnAcceleratedPaint>;
  InstallPopupCallbacks(handler);
}

}  // namespace nimo
