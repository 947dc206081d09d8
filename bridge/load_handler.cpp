#include "bridge/load_handler.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/callback_guard.h"
#include "base/engine_api.h"
#include "base/engine_ref.h"
#include "base/engine_strings.h"
#include "base/ui_thread.h"
#include "bridge/page_api.h"
#include "bridge/page_scripts.h"
#include "link/send.h"
#include "protocol/wire.h"
#include "surfaces/frame_pacing.h"
#include "surfaces/keyboard.h"
#include "surfaces/pointer.h"
#include "surfaces/portable/surface_rules.h"
#include "surfaces/surface.h"

namespace nimo {
namespace {

// A frame without is_main is taken for a main frame.
bool IsMainFrame(cef_frame_t* frame) {
  return !frame->is_main || frame->is_main(frame) != 0;
}

void RunScript(cef_frame_t* frame, const char* text, std::size_t length) {
  if (!frame || !engine_api.cef_string_utf8_to_utf16) return;
  if (!IsMainFrame(frame)) return;
  TempEngineString script(text, length);
  TempEngineString url("", 0);
  if (frame->execute_java_script) frame->execute_java_script(frame, script.get(), url.get(), 0);
}

bool GetsPageScripts(const Surface* surface) {
  return surface && nimo::GetsPageScripts(surface->id);
}

// window.mp for the frame's document: the page shim in version-2 sessions; in version 3
// the shim with call, and only for a document of an origin the client lets talk.
void InjectBridge(cef_frame_t* frame) {
  if (!PageApiActive()) {
    InjectPageShim(frame);
    return;
  }
  if (!frame || !IsMainFrame(frame) || !frame->get_url) return;
  if (!PageOriginAllowed(OriginOf(UserfreeToUtf8(frame->get_url(frame))))) return;
  const std::string& script = PageApiScript();
  RunScript(frame, script.data(), script.size());
}

void CEF_CALLBACK OnLoadStart(cef_load_handler_t* self, cef_browser_t* browser,
                              cef_frame_t* frame, cef_transition_type_t /*transition_type*/) {
  RequireUiThread("on_load_start");
  const auto browser_ref = AdoptRef(browser);
  const auto frame_ref = AdoptRef(frame);
  Surface* surface = SurfaceFrom(self);
  // A new document of the main frame has no focused field until its watcher says so, and
  // no drag: one of the old document ends as Escape ends it, or it would keep the mouse.
  if (surface && (!frame || IsMainFrame(frame))) {
    KeyboardNewDocument(surface->id);
    if (surface->pointer.drag.active()) CancelSurfaceDrag(surface, GetRef(browser, &cef_browser_t::get_host).get());
    // Calls of the document that went away are never answered.
    ForgetPageCalls(surface->id);
  }
  if (GetsPageScripts(surface)) {
    InjectBridge(frame);
    if (FrameRateProbeWanted(surface->id)) InjectFrameRateProbe(frame);
    if (KeyboardProtocol()) InjectFocusWatch(frame);
  }
}

void CEF_CALLBACK OnLoadEnd(cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                            int /*http_status_code*/) {
  RequireUiThread("on_load_end");
  const auto browser_ref = AdoptRef(browser);
  const auto frame_ref = AdoptRef(frame);
  Surface* surface = SurfaceFrom(self);
  // A second run: a document whose first shim run came too early (or was replaced) gets
  // window.mp now; where the first run worked the shim's guard makes this a no-op.
  if (GetsPageScripts(surface)) {
    InjectBridge(frame);
    if (KeyboardProtocol()) InjectFocusWatch(frame);
  }
  const bool main_frame = !frame || IsMainFrame(frame);
  if (surface && main_frame) {
    if (const auto host = GetRef(browser, &cef_browser_t::get_host)) {
      // The engine re-reads the view size and repaints the whole view.
      if (host->was_resized) host->was_resized(host.get());
      if (host->invalidate) host->invalidate(host.get(), PET_VIEW);
    }
    SendLoadFinished(surface->id);
  }
}

void CEF_CALLBACK OnLoadError(cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                              cef_errorcode_t error_code, const cef_string_t* /*error_text*/,
                              const cef_string_t* failed_url) {
  RequireUiThread("on_load_error");
  const auto browser_ref = AdoptRef(browser);
  const auto frame_ref = AdoptRef(frame);
  if (Surface* surface = SurfaceFrom(self)) {
    SendLoadFailed(surface->id, static_cast<std::int32_t>(error_code), ToUtf8(failed_url));
  }
}

// The probe of protocol-3 sessions: the probe's text inside its leash, which lets the
// engine stop it in the current document.
const std::string& LeashedProbe() {
  static const std::string text = [] {
    std::string leash(kProbeLeash, kProbeLeashLength);
    const std::string mark = "/*PROBE*/";
    leash.replace(leash.find(mark), mark.size(), kRateProbe, kRateProbeLength);
    return leash;
  }();
  return text;
}

// Asks the leash of the current document's probe to let go (nothing where none runs).
constexpr char kProbeStop[] = "window.__mpRafLeash && window.__mpRafLeash.stop();";

}  // namespace

void InjectPageShim(cef_frame_t* frame) { RunScript(frame, kPageShim, kPageShimLength); }

void InjectFrameRateProbe(cef_frame_t* frame) {
  // Version 2 runs the probe exactly as it always did; only a client of protocol 3 can turn it off.
  if (LinkProtocolVersion() < 3) {
    RunScript(frame, kRateProbe, kRateProbeLength);
    return;
  }
  const std::string& probe = LeashedProbe();
  RunScript(frame, probe.data(), probe.size());
}

void StopFrameRateProbe(std::uint32_t surface_id) {
  if (surface_id >= kSurfaceCount || !nimo::GetsPageScripts(surface_id)) return;
  const auto frame = GetRef(surfaces[surface_id].browser.get(), &cef_browser_t::get_main_frame);
  RunScript(frame.get(), kProbeStop, sizeof kProbeStop - 1);
}

void InjectFocusWatch(cef_frame_t* frame) { RunScript(frame, kFocusWatch, kFocusWatchLength); }

void InstallLoadHandler(cef_load_handler_t* handler) {
  if (!handler) return;
  handler->on_load_start = Guarded<OnLoadStart>;
  handler->on_load_end = Guarded<OnLoadEnd>;
  handler->on_load_error = Guarded<OnLoadError>;
}

}  // namespace nimo
