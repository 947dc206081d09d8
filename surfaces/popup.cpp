#include "surfaces/popup.h"

#include <windows.h>
#include <d3d11_1.h>

#include <cstdint>

#include "base/callback_guard.h"
#include "base/engine_ref.h"
#include "base/ui_thread.h"
#include "diag/log.h"
#include "surfaces/gpu_check.h"
#include "surfaces/gpu_device.h"
#include "surfaces/portable/copy_plan.h"
#include "surfaces/surface.h"

namespace nimo {

namespace {

bool SameCopy(const PopupCopy& a, const PopupCopy& b) {
  return a.visible == b.visible && a.dest_x == b.dest_x && a.dest_y == b.dest_y &&
         a.source.left == b.source.left && a.source.top == b.source.top && a.source.right == b.source.right &&
         a.source.bottom == b.source.bottom;
}

// Where the kept popup lands in the surface texture now.
PopupCopy PlanFor(const Surface* s, const PopupLayer& p) {
  if (!p.pixels || !s->texture) return PopupCopy();
  // The engine places popups in DIP; the texture is in pixels of the surface's scale.
  const cef_rect_t rect =
      s->pointer.scale_milli == kScaleOne ? p.rect : DipRectToPixels(p.rect, s->pointer.scale_milli);
  return PlanPopupCopy(rect, p.width, p.height, static_cast<std::int32_t>(s->texture.width()),
                       static_cast<std::int32_t>(s->texture.height()));
}

void ForgetPixels(PopupLayer& p) {
  p.pixels.Reset();
  p.width = 0;
  p.height = 0;
  p.format = DXGI_FORMAT_UNKNOWN;
}

// The surface texture shows a popup that is no longer wanted there. The engine does not
// repaint the view under a popup by itself: the next view paint copies the whole view, and
// one is asked for now.
void RestoreView(Surface* s, PopupLayer& p, cef_browser_t* browser) {
  p.drawn = PopupCopy();
  p.view_restore_pending = true;
  s->texture.RequestFullCopy();
  const EngineRef<cef_browser_host_t> host = GetRef(browser, &cef_browser_t::get_host);
  if (host && host->invalidate) host->invalidate(host.get(), PET_VIEW);
}

// A texture of the popup's own to keep its pixels in, of the paint's size and format.
bool EnsureKeptTexture(PopupLayer& p, int width, int height, DXGI_FORMAT format) {
  if (width < 1 || height < 1) return false;
  if (p.pixels && p.width == width && p.height == height && p.format == format) return true;
  ForgetPixels(p);
  // Only copied from and into on the GPU: bound to nothing.
  const CD3D11_TEXTURE2D_DESC desc(format, static_cast<UINT>(width), static_cast<UINT>(height), 1, 1, 0);
  const HRESULT hr = surfaces.gpu.device()->CreateTexture2D(&desc, nullptr, p.pixels.GetAddressOf());
  if (NIMO_GPU_FAILED(hr, "CreateTexture2D(popup)") || !p.pixels) {
    p.pixels.Reset();
    surfaces.gpu.LostAfter(hr, "CreateTexture2D(popup)");
    return false;
  }
  p.width = width;
  p.height = height;
  p.format = format;
  return true;
}

void CopyPopup(Surface* s, PopupLayer& p, const PopupCopy& c) {
  const D3D11_BOX box = {c.source.left, c.source.top, 0, c.source.right, c.source.bottom, 1};
  surfaces.gpu.context()->CopySubresourceRegion(s->texture.get(), 0, c.dest_x, c.dest_y, 0, p.pixels.Get(), 0, &box);
  p.drawn = c;
}

// Draws freshly kept popup pixels; true when the surface texture changed.
bool DrawTakenPopup(Surface* s, PopupLayer& p, cef_browser_t* browser) {
  if (p.view_restore_pending || !s->texture) return false;  // drawn after the view's next paint
  const PopupCopy c = PlanFor(s, p);
  if (p.drawn.visible && !SameCopy(c, p.drawn)) {
    // Smaller or elsewhere than what the texture shows: the view comes back first.
    RestoreView(s, p, browser);
    return false;
  }
  if (!c.visible) return false;
  CopyPopup(s, p, c);
  return true;
}

void CEF_CALLBACK OnPopupShow(cef_render_handler_t* self, cef_browser_t* browser_arg, int show) {
  RequireUiThread("on_popup_show");
  const EngineRef<cef_browser_t> browser = AdoptRef(browser_arg);
  Surface* s = SurfaceFrom(self);
  if (!s) return;
  PopupLayer& p = s->popup;
  // Closed, or a new popup in place of the old: the old one's pixels are of no further use.
  if (p.drawn.visible) RestoreView(s, p, browser.get());
  ForgetPixels(p);
  p.shown = show != 0;
  if (!p.shown) p.rect = cef_rect_t{0, 0, 0, 0};
}

void CEF_CALLBACK OnPopupSize(cef_render_handler_t* self, cef_browser_t* browser_arg, const cef_rect_t* rect) {
  RequireUiThread("on_popup_size");
  const EngineRef<cef_browser_t> browser = AdoptRef(browser_arg);
  Surface* s = SurfaceFrom(self);
  if (!s || !rect || rect->width <= 0 || rect->height <= 0) return;
  PopupLayer& p = s->popup;
  // The popup repaints at a new size; pixels of the old size would land misplaced.
  if (rect->width != p.rect.width || rect->height != p.rect.height) ForgetPixels(p);
  p.rect = *rect;
  if (p.drawn.visible && !SameCopy(PlanFor(s, p), p.drawn)) RestoreView(s, p, browser.get());
}

}  // namespace

void InstallPopupCallbacks(cef_render_handler_t* handler) {
  if (!handler) return;
  handler->on_popup_show = Guarded<OnPopupShow>;
  handler->on_popup_size = Guarded<OnPopupSize>;
}

bool PopupShown(const Surface* s) { return s && s->popup.shown; }

bool TakePopupTexture(Surface* s, cef_browser_t* browser, ID3D11Texture2D* engine_texture) {
  if (!s || !engine_texture) return false;
  PopupLayer& p = s->popup;
  if (!p.shown) return false;
  D3D11_TEXTURE2D_DESC desc = {};
  engine_texture->GetDesc(&desc);
  if (!EnsureKeptTexture(p, static_cast<int>(desc.Width), static_cast<int>(desc.Height), desc.Format)) return false;
  surfaces.gpu.context()->CopyResource(p.pixels.Get(), engine_texture);
  return DrawTakenPopup(s, p, browser);
}

bool TakePopupBuffer(Surface* s, cef_browser_t* browser, const void* buffer, int width, int height) {
  if (!s || !buffer) return false;
  PopupLayer& p = s->popup;
  if (!p.shown) return false;
  if (!EnsureKeptTexture(p, width, height, DXGI_FORMAT_B8G8R8A8_UNORM)) return false;
  surfaces.gpu.context()->UpdateSubresource(p.pixels.Get(), 0, nullptr, buffer, static_cast<UINT>(width) * 4u, 0);
  return DrawTakenPopup(s, p, browser);
}

void DrawPopupOverView(Surface* s, const CopyPlan& plan) {
  if (!s) return;
  PopupLayer& p = s->popup;
  if (plan.full_copy) {
    // The whole view is in the texture again: no popup is left in it.
    p.view_restore_pending = false;
    p.drawn = PopupCopy();
  }
  if (!p.shown || p.view_restore_pending) return;
  const PopupCopy c = PlanFor(s, p);
  if (!c.visible) return;
  if (p.drawn.visible && !ViewCopyReachesPopup(plan, c)) return;  // still there, untouched
  CopyPopup(s, p, c);
}

void ForgetPopupDrawing(Surface* s) {
  if (!s) return;
  PopupLayer& p = s->popup;
  p.drawn = PopupCopy();
  p.view_restore_pending = false;
}

void ForgetPopupPixels(Surface* s) {
  if (!s) return;
  ForgetPixels(s->popup);
  ForgetPopupDrawing(s);
}

void DropPopup(Surface* s) {
  if (!s) return;
  s->popup = PopupLayer();
}

}  // namespace nimo
