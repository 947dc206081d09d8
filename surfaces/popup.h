// A page's popup widget (the open list of a <select>, and the like), which the engine
// announces with on_popup_show / on_popup_size and paints as a picture of its own
// (PET_POPUP), drawn into the surface's shared texture over the view. The engine's popup
// pixels are valid only during their paint, so each surface keeps the latest ones in a
// texture of its own and draws them again whenever a view copy reaches them. Where the
// popup was drawn and is no longer wanted (closed, moved, shrunk), the whole view is copied
// again at the next view paint, which the engine is asked for at once.
//
// Threads: the engine's UI thread only (render-handler callbacks, the paint paths and the
// close of a surface's browser).
#pragma once
#include <d3d11.h>
#include <wrl/client.h>

#include <cstdint>

#include "base/portable/engine_abi.h"
#include "surfaces/portable/popup_place.h"

namespace nimo {

struct Surface;

// A surface's popup layer, part of its record (surfaces/surface.h).
struct PopupLayer {
  bool shown = false;
  cef_rect_t rect = {0, 0, 0, 0};  // as the engine announced it; empty before on_popup_size
  Microsoft::WRL::ComPtr<ID3D11Texture2D> pixels;  // the latest popup paint, kept beyond its callback
  std::int32_t width = 0;          // of `pixels`
  std::int32_t height = 0;
  DXGI_FORMAT format = DXGI_FORMAT_UNKNOWN;
  PopupCopy drawn;                 // where the surface texture shows it; not visible: nowhere
  // The surface texture may still show a popup that is closed, moved or shrunk: nothing of
  // a popup is drawn until a view paint has copied the whole view again.
  bool view_restore_pending = false;
};

// Sets on_popup_show and on_popup_size of a surface record's render handler.
void InstallPopupCallbacks(cef_render_handler_t* handler);

// Whether the surface's page has a popup open, so its paints are worth taking.
bool PopupShown(const Surface* surface);

// A popup paint on the accelerated path: copies the engine's popup texture (valid only
// during the callback; the caller flushes before letting it go) into the surface's kept
// popup texture, then draws it into the surface texture. A popup paint on the CPU path:
// uploads the buffer (width x height BGRA, rows packed) into the kept texture, then draws.
// Each returns whether the surface texture changed, i.e. whether a FrameReady is due.
// `browser` is the paint's argument (not consumed), used to ask the engine for a repaint
// of the view when the popup shrank and the view must first be restored.
bool TakePopupTexture(Surface* surface, cef_browser_t* browser, ID3D11Texture2D* engine_texture);
bool TakePopupBuffer(Surface* surface, cef_browser_t* browser, const void* buffer, int width, int height);

// After a view copy into the surface texture (`plan`; a CPU upload is a full copy): draws
// the kept popup again when the copy reached where it lies, or when it is not drawn yet.
void DrawPopupOverView(Surface* surface, const CopyPlan& plan);

// The surface's texture is dropped or made anew, so nothing of the popup is in it any
// more. An open popup stays known, with its place and pixels, and the first view paint of
// a new texture (a whole copy) draws it there, moved inside the new size.
void ForgetPopupDrawing(Surface* surface);

// The GPU device is lost: the kept popup pixels (on that device) go, nothing of the popup
// is drawn anywhere; an open popup stays known with its place, and its next paint is kept.
void ForgetPopupPixels(Surface* surface);

// The surface's browser has closed (or the table is torn down): its popup, shown or not,
// place and pixels, is forgotten.
void DropPopup(Surface* surface);

}  // namespace nimo
