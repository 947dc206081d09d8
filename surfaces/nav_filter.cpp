#include "surfaces/nav_filter.h"

#include <string>
#include <string_view>

#include "base/callback_guard.h"
#include "base/engine_api.h"
#include "base/engine_ref.h"
#include "base/engine_strings.h"
#include "base/portable/static_ref.h"
#include "base/ui_thread.h"
#include "diag/log.h"
#include "surfaces/portable/asset_policy.h"
#include "surfaces/surface.h"
#include "surfaces/ui_origin.h"

namespace nimo {
namespace {

int CEF_CALLBACK OnBeforeBrowse(cef_request_handler_t* self, cef_browser_t* browser,
                                cef_frame_t* frame, cef_request_t* request, int /*user_gesture*/,
                                int /*is_redirect*/) {
  RequireUiThread("on_before_browse");
  const auto browser_ref = AdoptRef(browser);
  const auto frame_ref = AdoptRef(frame);
  const auto request_ref = AdoptRef(request);
  int cancel = 0;
  if (request && request->get_url) {
    const std::string url = UserfreeToUtf8(request->get_url(request));
    const Surface* surface = SurfaceFrom(self);
    // A record that is not in the table gets the strictest rules (no surface is 4 or more).
    const NavigationDecision decision =
        DecideNavigation(surface ? surface->id : kSurfaceCount, url, UiOriginEnabled());
    if (decision.record_page) RecordPageDirectory(url);
    if (!decision.allow) {
      WriteLogText("[nimo-webengine][browser] BLOCKED navigation\n");
      cancel = 1;
    }
  }
  return cancel;
}

// What a navigation whose decision was lost to an allocation failure gets: what it would
// have got for a URL outside the always-allowed schemes, so the unrestricted surface still
// goes anywhere and the others stay where they are.
int BrowseFallback(cef_request_handler_t* self, cef_browser_t*, cef_frame_t*, cef_request_t*, int, int) {
  const Surface* surface = SurfaceFrom(self);
  return DecideNavigation(surface ? surface->id : kSurfaceCount, std::string_view()).allow ? 0 : 1;
}

cef_resource_request_handler_t* CEF_CALLBACK GetResourceRequestHandler(
    cef_request_handler_t* /*self*/, cef_browser_t* browser, cef_frame_t* frame,
    cef_request_t* request, int /*is_navigation*/, int /*is_download*/,
    const cef_string_t* /*request_initiator*/, int* /*disable_default_handling*/) {
  const auto browser_ref = AdoptRef(browser);
  const auto frame_ref = AdoptRef(frame);
  const auto request_ref = AdoptRef(request);
  return HandOver(AssetRequestHandler());
}

cef_return_value_t CEF_CALLBACK OnBeforeResourceLoad(cef_resource_request_handler_t* /*self*/,
                                                     cef_browser_t* browser, cef_frame_t* frame,
                                                     cef_request_t* request,
                                                     cef_callback_t* callback) {
  const auto browser_ref = AdoptRef(browser);
  const auto frame_ref = AdoptRef(frame);
  const auto request_ref = AdoptRef(request);
  const auto callback_ref = AdoptRef(callback);
  if (request && request->get_url && request->set_url) {
    const std::string rewritten = RewriteAssetUrl(UserfreeToUtf8(request->get_url(request)));
    if (!rewritten.empty()) {
      TempEngineString url(rewritten);
      request->set_url(request, url.get());
    }
  }
  // Requests are only ever redirected, never held or cancelled.
  return RV_CONTINUE;
}

cef_resource_handler_t* CEF_CALLBACK GetResourceHandler(cef_resource_request_handler_t* /*self*/,
                                                       cef_browser_t* browser, cef_frame_t* frame,
                                                       cef_request_t* request) {
  const auto browser_ref = AdoptRef(browser);
  const auto frame_ref = AdoptRef(frame);
  const auto request_ref = AdoptRef(request);
  return UiResourceHandlerFor(request);
}

}  // namespace

cef_resource_request_handler_t* AssetRequestHandler() {
  static cef_resource_request_handler_t* const handler = [] {
    static cef_resource_request_handler_t storage = {};
    InitStaticBase(&storage.base, sizeof(storage));
    storage.on_before_resource_load = Guarded<OnBeforeResourceLoad, RV_CONTINUE>;  // never cancelled
    // Only with a UI folder does the engine ask who answers a request.
    if (UiOriginEnabled()) storage.get_resource_handler = Guarded<GetResourceHandler>;
    return &storage;
  }();
  return handler;
}

void InstallNavigationFilter(cef_request_handler_t* handler) {
  if (!handler) return;
  handler->on_before_browse = Guarded<OnBeforeBrowse, BrowseFallback>;
  handler->get_resource_request_handler = Guarded<GetResourceRequestHandler>;
}

}  // namespace nimo
