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
#include "surfaces/gpu_device.h"
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
  if (s->client_handle == 0) return;  // the client could not be given this texture
  FrameReadyPayload payload = {};
  payload.surface_id = s->id;
  payload.width = s->texture_width;
  payload.height = s->texture_height;
  payload.format = format;
  payload.client_handle = s->client_handle;
  SendFrameReady(payload);
}

// Copies the view and then, where the copy reached it, the page's open popup over it.
// `cropped`: the engine's texture is larger than the surface's (at a scale), whose size the
// copy keeps.
void CopyFrame(Surface* s, ID3D11Texture2D* engine_texture, const cef_rect_t* rects, size_t count, bool cropped) {
  const CopyPlan plan = PlanAcceleratedCopy(s->full_copy_pending != 0, rects, count,
                                            static_cast<std::int32_t>(s->texture_width),
                                            static_cast<std::int32_t>(s->texture_height));
  if (plan.full_copy && !cropped) {
    gpu_context->CopyResource(s->texture.Get(), engine_texture);
    s->full_copy_pending = 0;
  } else if (plan.full_copy) {
    const D3D11_BOX box = {0, 0, 0, s->texture_width, s->texture_height, 1};
    gpu_context->CopySubresourceRegion(s->texture.Get(), 0, 0, 0, 0, engine_texture, 0, &box);
    s->full_copy_pending = 0;
  } else {
    for (size_t i = 0; i < plan.box_count; ++i) {
      const CopyBox& b = plan.boxes[i];
      const D3D11_BOX box = {b.left, b.top, 0, b.right, b.bottom, 1};
      gpu_context->CopySubresourceRegion(s->texture.Get(), 0, b.left, b.top, 0, engine_texture, 0, &box);
    }
  }
  DrawPopupOverView(s, plan);
}

// Opens the engine's texture of one accelerated paint (empty on failure, counted and logged
// once per process).
Microsoft::WRL::ComPtr<ID3D11Texture2D> OpenEngineTexture(const cef_accelerated_paint_info_t* info) {
  Microsoft::WRL::ComPtr<ID3D11Texture2D> engine_texture;
  if (FAILED(gpu_device1->OpenSharedResource1(static_cast<HANDLE>(info->shared_texture_handle),
                                              __uuidof(ID3D11Texture2D),
                                              reinterpret_cast<void**>(engine_texture.GetAddressOf()))) ||
      !engine_texture) {
    if (open_fail_count.fetch_add(1) + 1 == 1)
      WriteLog("[nimo-webengine][gpu] OpenSharedResource1 on CEF's handle FAILED\n");
    engine_texture.Reset();
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
    if (!PopupShown(s) || !EnsureGpuDevice()) return;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> popup_texture = OpenEngineTexture(info);
    if (!popup_texture) return;
    const bool changed = TakePopupTexture(s, browser_ref.get(), popup_texture.Get());
    // Like the view's, the popup's texture is valid only during this callback.
    gpu_context->Flush();
    popup_texture.Reset();
    if (changed) AnnounceFrame(s, static_cast<std::uint32_t>(info->format), entered);
    return;
  }
  if (type != PET_VIEW || !EnsureGpuDevice()) return;

  const std::int64_t t0 = QpcNow();
  Microsoft::WRL::ComPtr<ID3D11Texture2D> engine_texture = OpenEngineTexture(info);
  if (!engine_texture) return;
  D3D11_TEXTURE2D_DESC desc = {};
  engine_texture->GetDesc(&desc);
  const int width = TextureLength(static_cast<int>(desc.Width), s->view_width, s->pointer.scale_milli);
  const int height = TextureLength(static_cast<int>(desc.Height), s->view_height, s->pointer.scale_milli);
  if (!EnsureSurfaceTexture(s, width, height)) return;
  CountPaint("[nimo-webengine][browser] FIRST on_accelerated_paint - GPU path live\n");

  const std::int64_t t1 = QpcNow();
  CopyFrame(s, engine_texture.Get(), dirty_rects, dirty_count,
            width != static_cast<int>(desc.Width) || height != static_cast<int>(desc.Height));
  // The engine's texture is valid only during this callback: the copy is issued and
  // submitted before it is let go.
  gpu_context->Flush();
  engine_texture.Reset();
  const std::int64_t t2 = QpcNow();
  RecordPaint(QpcMicros(t0, t1), QpcMicros(t1, t2));

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
    if (!PopupShown(s) || !EnsureGpuDevice()) return;
    const bool changed = TakePopupBuffer(s, browser_ref.get(), buffer, width, height);
    gpu_context->Flush();
    if (changed) AnnounceFrame(s, 0, entered);
    return;
  }
  const int texture_width = TextureLength(width, s->view_width, s->pointer.scale_milli);
  const int texture_height = TextureLength(height, s->view_height, s->pointer.scale_milli);
  if (type != PET_VIEW || !EnsureSurfaceTexture(s, texture_width, texture_height)) return;
  CountPaint("[nimo-webengine][browser] FIRST on_paint (CPU raster path)\n");

  // Every CPU paint uploads the whole frame (as much of it as the texture holds); dirty
  // rectangles are not used.
  const std::int64_t t0 = QpcNow();
  const D3D11_BOX kept = {0, 0, 0, static_cast<UINT>(texture_width), static_cast<UINT>(texture_height), 1};
  const bool cropped = texture_width != width || texture_height != height;
  gpu_context->UpdateSubresource(s->texture.Get(), 0, cropped ? &kept : nullptr, buffer,
                                 static_cast<UINT>(width) * 4u, 0);
  CopyPlan whole_view;
  whole_view.full_copy = true;
  DrawPopupOverView(s, whole_view);
  gpu_context->Flush();
  const std::int64_t t1 = QpcNow();
  RecordPaint(0, QpcMicros(t0, t1));

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
