#include "testbed/engine/real_renderer.h"

#include "testbed/engine/devtools.h"
#include "testbed/engine/dictionary.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/refs.h"
#include "testbed/engine/slots.h"
#include "testbed/engine/strings.h"
#include "testbed/engine/v8.h"

namespace standin {
namespace {

thread_local FrameCore* capture_frame = nullptr;
thread_local std::u16string* captured = nullptr;

}  // namespace

bool CaptureRendererScript(FrameCore* frame, const std::u16string& code) {
  if (captured == nullptr || frame != capture_frame) return false;
  *captured += code;
  *captured += u"\n";
  return true;
}

void RealRendererScripts(BrowserCore* b, const std::string& session) {
  cef_app_t* app = KeptApp();
  if (!app || !STANDIN_HAS_SLOT(app, cef_app_t, get_render_process_handler)) return;
  cef_render_process_handler_t* handler = app->get_render_process_handler(app);
  if (!handler) return;
  // As in a renderer process the engine starts for the page: the browser with its creation
  // info first, then the contexts; the browser leaves the model's renderer at the end.
  if (STANDIN_HAS_SLOT(handler, cef_render_process_handler_t, on_browser_created)) {
    handler->on_browser_created(handler, WrapBrowser(b, "renderer model"),
                                b->has_extra_info ? NewDictionary(b->extra_info, "renderer model") : nullptr);
  }
  if (STANDIN_HAS_SLOT(handler, cef_render_process_handler_t, on_context_created)) {
    for (const bool main : {true, false}) {
      // Kept for the run: the wrappers handed to the product may outlive this call.
      FrameCore* frame = new FrameCore();
      frame->browser = b;
      frame->main = main;
      frame->identifier = main ? u"renderer-model-main" : u"renderer-model-sub";
      frame->url = u"about:blank";
      V8Context* context = NewContext(b, frame);
      std::u16string code;
      capture_frame = frame;
      captured = &code;
      EnterContext(context);
      handler->on_context_created(handler, WrapBrowser(b, "renderer model"), WrapFrame(frame, "renderer model"),
                                  WrapContext(context, "renderer model"));
      ExitContext();
      captured = nullptr;
      capture_frame = nullptr;
      context->valid = false;
      if (code.empty()) continue;
      const std::string source = std::string(main ? "if (window === window.top) {\n" : "if (window !== window.top) {\n") +
                                 U16ToUtf8(code) + "\n}";
      std::string error;
      DevToolsCall("Page.addScriptToEvaluateOnNewDocument", {{"source", source}}, session, nullptr, &error);
      Event("chromium.renderer_script").Num("browser", b->id).Text("frame", main ? "main" : "sub")
          .Num("length", static_cast<long long>(source.size())).Text("error", error);
    }
  }
  if (STANDIN_HAS_SLOT(handler, cef_render_process_handler_t, on_browser_destroyed)) {
    handler->on_browser_destroyed(handler, WrapBrowser(b, "renderer model"));
  }
  ReleaseProductObject(&handler->base);
}

}  // namespace standin
