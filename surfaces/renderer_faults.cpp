#include "surfaces/renderer_faults.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <utility>

#include "base/callback_guard.h"
#include "base/engine_ref.h"
#include "base/engine_strings.h"
#include "base/ui_thread.h"
#include "diag/log.h"
#include "link/send.h"
#include "link/ui_task.h"
#include "protocol/wire.h"
#include "surfaces/call_answers.h"
#include "surfaces/keyboard.h"
#include "surfaces/pointer.h"
#include "surfaces/surface.h"

namespace nimo {
namespace {

using CallbackRef = EngineRef<cef_unresponsive_process_callback_t>;

// Whether `browser` is the one the surface's record holds (not a stray one).
bool IsRecordBrowser(const Surface* s, const EngineRef<cef_browser_t>& browser) {
  cef_browser_t* own = s->browser.get();
  if (own == nullptr || !browser) return false;
  if (own == browser.get()) return true;
  // is_same takes over one reference of its argument.
  return own->is_same != nullptr && own->is_same(own, browser.NewRef()) != 0;
}

bool ShuttingDown() { return surfaces.quitting.load() != 0; }

// The surface's decisions, after the client loads noted since the UI thread last looked.
RendererFaultState& StateOf(std::uint32_t id) {
  RendererFaults& record = surfaces[id].faults;
  const std::uint32_t loads = record.client_loads.load();
  if (loads != record.seen_client_loads) {
    record.seen_client_loads = loads;
    record.state.OnClientLoad();
  }
  return record.state;
}

std::string MainFrameUrl(const EngineRef<cef_browser_t>& browser) {
  const auto frame = GetRef(browser, &cef_browser_t::get_main_frame);
  if (!frame || !frame->get_url) return std::string();
  return UserfreeToUtf8(frame->get_url(frame.get()));
}

void ReloadAfterFault(std::uint32_t id, std::uint32_t token) {
  if (!StateOf(id).TakeReload(token, ShuttingDown())) return;
  cef_browser_t* browser = surfaces[id].browser.get();  // the record keeps the reference
  if (browser && browser->reload) browser->reload(browser);
}

void HangExpired(std::uint32_t id, std::uint32_t token) {
  if (!StateOf(id).TakeHangExpiry(token)) return;
  const CallbackRef callback = std::move(surfaces[id].faults.callback);
  // During shutdown the browser is on its way out anyway.
  if (callback && callback->terminate && !ShuttingDown()) callback->terminate(callback.get());
}

void CEF_CALLBACK OnRenderProcessTerminated(cef_request_handler_t* self, cef_browser_t* browser_arg,
                                            cef_termination_status_t status, int /*error_code*/,
                                            const cef_string_t* /*error_string*/) {
  RequireUiThread("on_render_process_terminated");
  const auto browser = AdoptRef(browser_arg);
  Surface* s = SurfaceFrom(self);
  if (!s || !IsRecordBrowser(s, browser)) return;
  const std::uint32_t id = s->id;
  surfaces[id].faults.callback.reset();  // the renderer it was about is gone
  DocumentGone(id);
  const char* name = TerminationStatusName(status);
  RendererFaultState& state = StateOf(id);
  const CrashAction action =
      state.OnRendererEnded(static_cast<std::int64_t>(GetTickCount64()), ShuttingDown());
  switch (action) {
    case CrashAction::kReload:
      WriteLog("[nimo-webengine][browser] surface %p renderer ended (%s) - reloading the page\n", id, name);
      break;
    case CrashAction::kStayDown:
      WriteLog("[nimo-webengine][browser] surface %p renderer ended (%s)\n", id, name);
      WriteLog("[nimo-webengine][browser] surface %p keeps losing its renderer - no more reloads "
               "until the client loads a page\n", id);
      break;
    case CrashAction::kNothing:
      WriteLog("[nimo-webengine][browser] surface %p renderer ended (%s) during shutdown\n", id, name);
      break;
  }
  KeyboardNewDocument(id);  // no page, no focused field
  // Nor a drag: it would keep taking the mouse in the next document. It ends as Escape ends it.
  if (s->pointer.drag.active()) CancelSurfaceDrag(s, GetRef(browser, &cef_browser_t::get_host).get());
  // The client learns of it as of any failed load of the page.
  SendLoadFailed(id, ERR_FAILED, MainFrameUrl(browser));
  if (action == CrashAction::kReload) {
    const std::uint32_t token = state.pending_reload();
    PostDelayedUiTask("reload after a renderer fault", [id, token] { ReloadAfterFault(id, token); }, kCrashReloadDelayMs);
  }
}

int CEF_CALLBACK OnRenderProcessUnresponsive(cef_request_handler_t* self, cef_browser_t* browser_arg,
                                             cef_unresponsive_process_callback_t* callback_arg) {
  RequireUiThread("on_render_process_unresponsive");
  const auto browser = AdoptRef(browser_arg);
  CallbackRef callback = AdoptRef(callback_arg);
  Surface* s = SurfaceFrom(self);
  // Returning 0 leaves it to the engine's default.
  if (!s || !callback || !callback->terminate || ShuttingDown() || !IsRecordBrowser(s, browser)) return 0;
  const std::uint32_t id = s->id;
  const std::uint32_t token = StateOf(id).OnUnresponsive();
  surfaces[id].faults.callback = std::move(callback);  // kept until the grace period ends
  WriteLog("[nimo-webengine][browser] surface %p renderer not answering - ending it in %llu ms unless it answers\n",
           id, kHangGraceMs);
  PostDelayedUiTask("hung renderer grace", [id, token] { HangExpired(id, token); }, kHangGraceMs);
  return 1;
}

void CEF_CALLBACK OnRenderProcessResponsive(cef_request_handler_t* self, cef_browser_t* browser_arg) {
  RequireUiThread("on_render_process_responsive");
  const auto browser = AdoptRef(browser_arg);
  Surface* s = SurfaceFrom(self);
  if (s && IsRecordBrowser(s, browser) && StateOf(s->id).OnResponsive()) s->faults.callback.reset();
}

}  // namespace

void InstallRendererFaultHandlers(cef_request_handler_t* handler) {
  if (!handler) return;
  handler->on_render_process_unresponsive = Guarded<OnRenderProcessUnresponsive>;
  handler->on_render_process_responsive = Guarded<OnRenderProcessResponsive>;
  handler->on_render_process_terminated = Guarded<OnRenderProcessTerminated>;
}

void NoteClientLoad(std::uint32_t surface_id) {
  if (surface_id < kSurfaceCount) surfaces[surface_id].faults.client_loads.fetch_add(1);
}

void ForgetRendererFaults(std::uint32_t surface_id) {
  if (surface_id >= kSurfaceCount) return;
  RendererFaults& record = surfaces[surface_id].faults;
  record.state.Reset();
  record.callback.reset();
}

}  // namespace nimo
