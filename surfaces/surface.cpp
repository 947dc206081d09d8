#include "surfaces/surface.h"

#include <windows.h>

#include <cstring>
#include <mutex>
#include <utility>

#include "base/callback_guard.h"
#include "base/engine_api.h"
#include "base/engine_strings.h"
#include "base/paths.h"
#include "base/portable/static_ref.h"
#include "base/ui_thread.h"
#include "diag/log.h"
#include "surfaces/browser_info.h"
#include "surfaces/call_answers.h"
#include "surfaces/frame_pump.h"
#include "surfaces/keyboard.h"
#include "surfaces/nav_filter.h"
#include "surfaces/paint.h"
#include "surfaces/renderer_faults.h"
#include "surfaces/surface_texture.h"

namespace nimo {

// Never destroyed (see surface.h): the storage outlives cef_shutdown on purpose.
SurfaceTable& surfaces = *new SurfaceTable();

namespace {

// Guards every write of a record's `browser` (UI thread) against the reader thread taking
// its own reference in AcquireSurfaceBrowser. Held only around the pointer swap and one
// add_ref, never around a call that could re-enter the engine's callbacks.
std::mutex browser_lock;

template <typename Member>
Surface* RecordOf(Member* self, std::size_t offset) {
  if (self == nullptr) return nullptr;
  const char* p = reinterpret_cast<const char*>(self) - offset;
  const char* first = reinterpret_cast<const char*>(surfaces.begin());
  const char* end = reinterpret_cast<const char*>(surfaces.end());
  if (p < first || p >= end) return nullptr;
  const std::size_t delta = static_cast<std::size_t>(p - first);
  if (delta % sizeof(Surface) != 0) return nullptr;
  return &surfaces[delta / sizeof(Surface)];
}

bool SameBrowser(cef_browser_t* a, cef_browser_t* b) {
  if (a == nullptr || b == nullptr) return false;
  if (a == b) return true;
  if (a->is_same != nullptr) {
    // is_same consumes a reference of its argument; the caller keeps its own.
    return a->is_same(a, ShareRef(b).Transfer()) != 0;
  }
  if (a->get_identifier != nullptr && b->get_identifier != nullptr) {
    return a->get_identifier(a) == b->get_identifier(b);
  }
  return false;
}

// Takes the record's browser out under the lock and releases it outside, since a release
// may re-enter the engine.
void ReleaseBrowser(Surface* s) {
  EngineRef<cef_browser_t> own;
  {
    std::lock_guard<std::mutex> guard(browser_lock);
    own = std::move(s->browser);
  }
}

void ForceCloseBrowser(cef_browser_t* browser) {
  const auto host = GetRef(browser, &cef_browser_t::get_host);
  if (host && host->close_browser != nullptr) host->close_browser(host.get(), 1);
}

bool AnyCreatePending() {
  for (const Surface& s : surfaces) {
    if (s.create_pending) return true;
  }
  return false;
}

// ---- cef_client_t ------------------------------------------------------------------------
// Each getter hands out a static handler; its add_ref is the engine's share, and a no-op.

cef_render_handler_t* CEF_CALLBACK GetRenderHandler(cef_client_t* self) {
  Surface* s = SurfaceFrom(self);
  return s ? HandOver(&s->render_handler) : nullptr;
}
cef_life_span_handler_t* CEF_CALLBACK GetLifeSpanHandler(cef_client_t* self) {
  Surface* s = SurfaceFrom(self);
  return s ? HandOver(&s->life_span_handler) : nullptr;
}
cef_load_handler_t* CEF_CALLBACK GetLoadHandler(cef_client_t* self) {
  Surface* s = SurfaceFrom(self);
  return s ? HandOver(&s->load_handler) : nullptr;
}
cef_display_handler_t* CEF_CALLBACK GetDisplayHandler(cef_client_t* self) {
  Surface* s = SurfaceFrom(self);
  return s ? HandOver(&s->display_handler) : nullptr;
}
cef_request_handler_t* CEF_CALLBACK GetRequestHandler(cef_client_t* self) {
  Surface* s = SurfaceFrom(self);
  return s ? HandOver(&s->request_handler) : nullptr;
}
cef_context_menu_handler_t* CEF_CALLBACK GetContextMenuHandler(cef_client_t* self) {
  Surface* s = SurfaceFrom(self);
  return s ? HandOver(&s->context_menu_handler) : nullptr;
}

// ---- cef_render_handler_t ----------------------------------------------------------------

// The view geometry the engine asks for: 0, 0, view_width, view_height (in DIP).
void CEF_CALLBACK GetViewRect(cef_render_handler_t* self, cef_browser_t* browser,
                              cef_rect_t* rect) {
  RequireUiThread("get_view_rect");
  const auto browser_ref = AdoptRef(browser);
  if (rect == nullptr) return;
  Surface* s = SurfaceFrom(self);
  rect->x = 0;
  rect->y = 0;
  // In DIP: the surface's pixels at its scale (the same numbers at scale 1).
  rect->width = s ? ViewDipWidth(*s) : static_cast<int>(kDefaultViewWidth);
  rect->height = s ? ViewDipHeight(*s) : static_cast<int>(kDefaultViewHeight);
}

// ---- cef_life_span_handler_t -------------------------------------------------------------

// A page's window.open would otherwise bring a second browser onto this surface's client.
// Surfaces are single pages, so every popup is refused here.
int CEF_CALLBACK OnBeforePopup(cef_life_span_handler_t*, cef_browser_t* browser,
                               cef_frame_t* frame, int, const cef_string_t*, const cef_string_t*,
                               cef_window_open_disposition_t, int, const cef_popup_features_t*,
                               cef_window_info_t*, cef_client_t**, cef_browser_settings_t*,
                               cef_dictionary_value_t**, int*) {
  RequireUiThread("on_before_popup");
  const auto browser_ref = AdoptRef(browser);
  const auto frame_ref = AdoptRef(frame);
  return 1;
}

void CEF_CALLBACK OnAfterCreated(cef_life_span_handler_t* self, cef_browser_t* browser) {
  RequireUiThread("on_after_created");
  auto arrived = AdoptRef(browser);
  Surface* s = SurfaceFrom(self);
  if (!arrived) return;
  if (s == nullptr || s->browser || !s->create_pending) {
    // Not the browser this record asked for: never let it replace the record's own.
    surfaces.stray_browser_count.fetch_add(1);
    WriteLog("[nimo-webengine][browser] surface %p: closing a browser it did not request\n",
             s ? s->id : 0xFFFFFFFFu);
    ForceCloseBrowser(arrived.get());
    return;
  }
  {
    // The argument's reference becomes the record's.
    std::lock_guard<std::mutex> guard(browser_lock);
    s->browser = std::move(arrived);
  }
  s->create_pending = 0;
  surfaces.live_browser_count.fetch_add(1);
  s->pacing.external_begin_frames = WantsFramePump(s->id, FlagFileExists);
  if (s->pacing.external_begin_frames) StartFramePump(s->id);
  WriteLog("[nimo-webengine][browser] surface %p created\n", s->id);
  if (surfaces.quitting.load() != 0) {
    // Shutdown began while this browser was on its way; closing it now lets its
    // on_before_close end the loop instead of leaving the process running.
    WriteLog("[nimo-webengine][browser] surface %p arrived during shutdown - closing\n", s->id);
    ForceCloseBrowser(s->browser.get());
  }
}

void CEF_CALLBACK OnBeforeClose(cef_life_span_handler_t* self, cef_browser_t* browser) {
  RequireUiThread("on_before_close");
  const auto closing = AdoptRef(browser);
  Surface* s = SurfaceFrom(self);
  if (s == nullptr || !s->browser || !SameBrowser(s->browser.get(), browser)) {
    if (surfaces.stray_browser_count.load() > 0) {
      surfaces.stray_browser_count.fetch_sub(1);
      QuitLoopIfAllClosed();
    }
    return;
  }
  ReleaseBrowser(s);
  // The texture goes with its browser; the view size and the full-copy flag stay for the
  // next browser in the slot.
  ReleaseSurfaceTexture(s);
  ReleaseSurfaceRing(s);
  ForgetRendererFaults(s->id);
  DocumentGone(s->id);
  KeyboardBrowserClosed(s->id);
  ForgetPointer(s);
  surfaces.live_browser_count.fetch_sub(1);
  QuitLoopIfAllClosed();
}

// ---- cef_context_menu_handler_t ----------------------------------------------------------

void CEF_CALLBACK OnBeforeContextMenu(cef_context_menu_handler_t*, cef_browser_t* browser,
                                      cef_frame_t* frame, cef_context_menu_params_t* params,
                                      cef_menu_model_t* model) {
  RequireUiThread("on_before_context_menu");
  const auto browser_ref = AdoptRef(browser);
  const auto frame_ref = AdoptRef(frame);
  const auto params_ref = AdoptRef(params);
  const auto model_ref = AdoptRef(model);
  if (model != nullptr && model->clear != nullptr) model->clear(model);
}

int CEF_CALLBACK RunContextMenu(cef_context_menu_handler_t*, cef_browser_t* browser,
                                cef_frame_t* frame, cef_context_menu_params_t* params,
                                cef_menu_model_t* model,
                                cef_run_context_menu_callback_t* callback) {
  RequireUiThread("run_context_menu");
  const auto browser_ref = AdoptRef(browser);
  const auto frame_ref = AdoptRef(frame);
  const auto params_ref = AdoptRef(params);
  const auto model_ref = AdoptRef(model);
  const auto callback_ref = AdoptRef(callback);
  if (callback != nullptr && callback->cancel != nullptr) callback->cancel(callback);
  return 1;
}

// ---- creation ----------------------------------------------------------------------------

bool RequestBrowser(Surface* s, const CreateRules& rules, const std::string& url) {
  cef_window_info_t window_info;
  std::memset(&window_info, 0, sizeof(window_info));
  window_info.bounds.x = 0;
  window_info.bounds.y = 0;
  window_info.bounds.width = static_cast<int>(s->view_width);
  window_info.bounds.height = static_cast<int>(s->view_height);
  window_info.windowless_rendering_enabled = 1;
  window_info.shared_texture_enabled = rules.shared_texture ? 1 : 0;
  window_info.external_begin_frame_enabled = rules.external_begin_frames ? 1 : 0;

  cef_browser_settings_t settings;
  std::memset(&settings, 0, sizeof(settings));
  settings.size = sizeof(cef_browser_settings_t);
  settings.windowless_frame_rate = rules.frame_rate;
  settings.background_color = 0;  // fully transparent

  TempEngineString engine_url(url);
  s->create_pending = 1;
  // The engine takes the info's reference whether or not it accepts the request.
  auto info = BrowserInfoFor(s->id);
  const int accepted = engine_api.cef_browser_host_create_browser(
      &window_info, &s->client, engine_url.get(), &settings, info.Transfer(), nullptr);
  if (accepted == 0) s->create_pending = 0;
  return accepted != 0;
}

}  // namespace

Surface* SurfaceFrom(cef_client_t* self) { return RecordOf(self, offsetof(Surface, client)); }
Surface* SurfaceFrom(cef_render_handler_t* self) {
  return RecordOf(self, offsetof(Surface, render_handler));
}
Surface* SurfaceFrom(cef_life_span_handler_t* self) {
  return RecordOf(self, offsetof(Surface, life_span_handler));
}
Surface* SurfaceFrom(cef_load_handler_t* self) {
  return RecordOf(self, offsetof(Surface, load_handler));
}
Surface* SurfaceFrom(cef_display_handler_t* self) {
  return RecordOf(self, offsetof(Surface, display_handler));
}
Surface* SurfaceFrom(cef_request_handler_t* self) {
  return RecordOf(self, offsetof(Surface, request_handler));
}
Surface* SurfaceFrom(cef_context_menu_handler_t* self) {
  return RecordOf(self, offsetof(Surface, context_menu_handler));
}

void InitSurfaceTable() {
  for (std::uint32_t i = 0; i < kSurfaceCount; ++i) {
    Surface& s = surfaces[i];
    s.id = i;

    InitStaticBase(&s.client.base, sizeof(cef_client_t));
    s.client.get_render_handler = GetRenderHandler;
    s.client.get_life_span_handler = GetLifeSpanHandler;
    s.client.get_load_handler = GetLoadHandler;
    s.client.get_display_handler = GetDisplayHandler;
    s.client.get_request_handler = GetRequestHandler;
    s.client.get_context_menu_handler = GetContextMenuHandler;

    InitStaticBase(&s.render_handler.base, sizeof(cef_render_handler_t));
    s.render_handler.get_view_rect = Guarded<GetViewRect>;
    InstallPaintCallbacks(&s.render_handler);
    InstallKeyboardCallbacks(&s.render_handler);

    InitStaticBase(&s.life_span_handler.base, sizeof(cef_life_span_handler_t));
    s.life_span_handler.on_before_popup = Guarded<OnBeforePopup, 1>;  // 1: refused
    s.life_span_handler.on_after_created = Guarded<OnAfterCreated>;
    s.life_span_handler.on_before_close = Guarded<OnBeforeClose>;

    InitStaticBase(&s.load_handler.base, sizeof(cef_load_handler_t));
    InitStaticBase(&s.display_handler.base, sizeof(cef_display_handler_t));
    InitStaticBase(&s.request_handler.base, sizeof(cef_request_handler_t));
    InstallNavigationFilter(&s.request_handler);
    InstallRendererFaultHandlers(&s.request_handler);

    InitStaticBase(&s.context_menu_handler.base, sizeof(cef_context_menu_handler_t));
    s.context_menu_handler.on_before_context_menu = Guarded<OnBeforeContextMenu>;
    s.context_menu_handler.run_context_menu = Guarded<RunContextMenu, 1>;  // 1: handled, no menu
  }
}

void ReleaseSurfaceTable() {
  for (Surface& s : surfaces) {
    ReleaseBrowser(&s);
    ReleaseSurfaceTexture(&s);
    ReleaseSurfaceRing(&s);
    ForgetRendererFaults(s.id);
  }
}

void CreateSurfaceBrowser(std::uint32_t surface_id, std::uint32_t width, std::uint32_t height,
                          const std::string& url) {
  if (surface_id >= kSurfaceCount) return;
  Surface* s = &surfaces[surface_id];
  if (s->browser || s->create_pending) return;
  if (engine_api.cef_browser_host_create_browser == nullptr) return;

  if (width != 0) s->view_width = width;
  if (height != 0) s->view_height = height;
  const CreateRules rules = DecideCreateRules(surface_id, FlagFileExists);

  std::string target = ClientRequestedUrl(url);
  if (UsesProbePage(surface_id, FlagFileExists)) {
    target = kProbePageUrl;
    WriteLog("[nimo-webengine][browser] ZUNT_WEB_TESTPAGE: UI surface using the built-in probe page\n");
  }
  if (!RequestBrowser(s, rules, target)) {
    WriteLog("[nimo-webengine][browser] create_browser FAILED for surface %p\n", s->id);
  }
}

bool CreateUiSurfaceBrowser(const std::string& url) {
  Surface* s = &surfaces[kUiSurfaceId];
  if (engine_api.cef_browser_host_create_browser == nullptr) return false;
  s->view_width = kDefaultViewWidth;
  s->view_height = kDefaultViewHeight;
  const CreateRules rules = DecideStartupRules(FlagFileExists);
  if (!rules.shared_texture) {
    WriteLog("[nimo-webengine][browser] ZUNT_WEB_CPUFRAMES active - on_paint instead of shared textures\n");
  }
  std::string target = url;
  if (FlagFileExists(kFlagTestPage)) {
    target = kProbePageUrl;
    WriteLog("[nimo-webengine][browser] ZUNT_WEB_TESTPAGE active - UI surface is the probe page\n");
  }
  return RequestBrowser(s, rules, target);
}

EngineRef<cef_browser_t> AcquireSurfaceBrowser(std::uint32_t id) {
  if (id >= kSurfaceCount) return nullptr;
  std::lock_guard<std::mutex> guard(browser_lock);
  return ShareRef(surfaces[id].browser.get());
}

bool QuitLoopIfAllClosed() {
  if (surfaces.quitting.load() == 0) return false;
  if (surfaces.live_browser_count.load() > 0 || surfaces.stray_browser_count.load() > 0) return false;
  if (AnyCreatePending()) return false;
  if (engine_api.cef_quit_message_loop == nullptr) return false;
  QuitLoopOnce();
  return true;
}

void QuitLoopOnce() {
  if (engine_api.cef_quit_message_loop == nullptr || surfaces.loop_quit_requested.exchange(true)) return;
  engine_api.cef_quit_message_loop();
}

int OpenOrPending() {
  int pending = 0;
  for (const Surface& s : surfaces) pending += s.create_pending ? 1 : 0;
  return surfaces.live_browser_count.load() + surfaces.stray_browser_count.load() + pending;
}

}  // namespace nimo
