#include "testbed/engine/renderer_faults.h"

#include <atomic>
#include <string>
#include <utility>

#include "testbed/engine/browser.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/loop.h"
#include "testbed/engine/refs.h"
#include "testbed/engine/slots.h"
#include "testbed/engine/strings.h"

namespace standin {
namespace {

const char* StatusText(int status) {
  switch (status) {
    case TS_ABNORMAL_TERMINATION: return "abnormal termination";
    case TS_PROCESS_WAS_KILLED: return "killed";
    case TS_PROCESS_CRASHED: return "crashed";
    case TS_PROCESS_OOM: return "out of memory";
    case TS_LAUNCH_FAILED: return "launch failed";
    case TS_INTEGRITY_FAILURE: return "integrity failure";
    default: return "unknown";
  }
}

// One spell of unresponsiveness. Its callback wrappers all point here; it lives for the
// process, since the product may keep a wrapper as long as it likes.
struct Hang {
  BrowserCore* browser = nullptr;
  int generation = 0;                // the page it hung in
  std::atomic<int> state{0};         // 0 hung, 1 terminated, 2 answered again
};

// Still the same page in the same live browser as when it hung.
bool SamePage(const Hang* hang) {
  return !hang->browser->closed.load() && hang->browser->generation.load() == hang->generation;
}

void CEF_CALLBACK HangWait(cef_unresponsive_process_callback_t* self) {
  if (!CheckAlive(self, "wait")) return;
  Hang* hang = CoreOf<Hang>(self);
  Event("unresponsive.wait").Num("browser", hang->browser->id).Num("state", hang->state.load());
}

void CEF_CALLBACK HangTerminate(cef_unresponsive_process_callback_t* self) {
  if (!CheckAlive(self, "terminate")) return;
  Hang* hang = CoreOf<Hang>(self);
  int expected = 0;
  const bool ends = SamePage(hang) && hang->state.compare_exchange_strong(expected, 1);
  Event("unresponsive.terminate").Num("browser", hang->browser->id).Num("ends", ends ? 1 : 0)
      .Num("from_ui", OnUiThread() ? 1 : 0);
  if (!ends) return;
  BrowserCore* b = hang->browser;
  const int generation = hang->generation;
  // Chromium's exit code for a renderer ended as hung.
  PostEngineWork([b, generation] {
    if (b->generation.load() == generation) EndRenderer(b, TS_PROCESS_WAS_KILLED, 2);
  });
}

void FillHang(cef_unresponsive_process_callback_t* c) {
  c->wait = HangWait;
  c->terminate = HangTerminate;
}

}  // namespace

void EndRenderer(BrowserCore* b, int status, int error_code) {
  if (b->closed.load()) return;
  ++b->generation;  // the page's script stops with its renderer
  RaiseRenderProcessTerminated(b, status, error_code, Utf8ToU16(StatusText(status)));
}

void HangRenderer(BrowserCore* b, long long respond_after_ms, std::function<void()> resume) {
  if (b->closed.load()) return;
  Hang* hang = new Hang();
  hang->browser = b;
  hang->generation = b->generation.load();
  cef_request_handler_t* h = RequestHandlerOf(b);
  const bool has = STANDIN_HAS_SLOT(h, cef_request_handler_t, on_render_process_unresponsive);
  int handled = 0;
  if (has) {
    handled = h->on_render_process_unresponsive(
        h, WrapBrowser(b, "on_render_process_unresponsive"),
        MakeWrapper<cef_unresponsive_process_callback_t>(hang, "unresponsive_callback",
                                                         "on_render_process_unresponsive", FillHang));
  }
  ReleaseHandler(h);
  // 0 leaves it to the engine, which waits for ever with windowless browsers.
  Event("cb.on_render_process_unresponsive").Num("browser", b->id).Num("present", has ? 1 : 0)
      .Num("handled", handled).Num("respond_after", respond_after_ms);
  if (respond_after_ms < 0) return;
  PostEngineWork(
      [hang, resume] {
        int expected = 0;
        if (!SamePage(hang) || !hang->state.compare_exchange_strong(expected, 2)) return;
        BrowserCore* browser = hang->browser;
        cef_request_handler_t* handler = RequestHandlerOf(browser);
        const bool present = STANDIN_HAS_SLOT(handler, cef_request_handler_t, on_render_process_responsive);
        Event("cb.on_render_process_responsive").Num("browser", browser->id).Num("present", present ? 1 : 0);
        if (present) handler->on_render_process_responsive(handler, WrapBrowser(browser, "on_render_process_responsive"));
        ReleaseHandler(handler);
        if (resume) resume();
      },
      respond_after_ms);
}

}  // namespace standin
