#include "testbed/engine/renderer.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "testbed/engine/browser.h"
#include "testbed/engine/dictionary.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/messages.h"
#include "testbed/engine/refs.h"
#include "testbed/engine/scenario.h"
#include "testbed/engine/slots.h"
#include "testbed/engine/strings.h"
#include "testbed/engine/v8.h"

namespace standin {
namespace {

struct Renderer {
  cef_render_process_handler_t* handler = nullptr;
  BrowserCore browser;
  std::vector<V8Context*> contexts;
};

FrameCore* FrameNamed(Renderer& r, const Directive& d) {
  return d.Get("frame", "main") == "sub" ? &r.browser.sub_frame : &r.browser.main_frame;
}

const char* FrameWord(const FrameCore* f) { return f->main ? "main" : "sub"; }

std::string Members(V8Value* object) {
  std::string names;
  if (!object) return names;
  for (auto& p : object->properties) {
    if (!names.empty()) names += ',';
    names += U16ToUtf8(p.first);
  }
  return names;
}

void CreateContext(Renderer& r, const Directive& d) {
  FrameCore* frame = FrameNamed(r, d);
  frame->url = Utf8ToU16(d.Get("url", "about:blank"));
  V8Context* context = NewContext(&r.browser, frame);
  r.contexts.push_back(context);
  bool has = STANDIN_HAS_SLOT(r.handler, cef_render_process_handler_t, on_context_created);
  EnterContext(context);
  if (has) {
    r.handler->on_context_created(r.handler, WrapBrowser(&r.browser, "on_context_created"),
                                  WrapFrame(frame, "on_context_created"), WrapContext(context, "on_context_created"));
  }
  ExitContext();
  V8Value* mp = Property(context->global, u"mp");
  Event("renderer.on_context_created").Unsigned("context", context->id).Text("frame", FrameWord(frame))
      .Num("present", has ? 1 : 0).Text("globals", Members(context->global))
      .Text("mp", mp ? DescribeValue(mp) : "none").Text("mp_members", Members(mp));
}

// `call mp.invoke s:save s:[1,2]`: page script calling a function reached from window.
void CallFromPage(Renderer& r, const Directive& d) {
  FrameCore* frame = FrameNamed(r, d);
  V8Context* context = ContextOfFrame(frame);
  std::string path = d.positional.empty() ? "mp.invoke" : d.positional[0];
  if (!context) {
    Event("renderer.call").Text("path", path).Text("frame", FrameWord(frame)).Text("result", "no context");
    return;
  }
  V8Value* holder = context->global;
  V8Value* target = holder;
  std::size_t start = 0;
  while (target && start <= path.size()) {
    std::size_t dot = path.find('.', start);
    std::string part = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    holder = target;
    target = Property(holder, Utf8ToU16(part));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (!target) {
    Event("renderer.call").Text("path", path).Text("frame", FrameWord(frame)).Text("result", "undefined is not a function");
    return;
  }
  std::vector<V8Value*> arguments;
  for (std::size_t i = 1; i < d.positional.size(); ++i) arguments.push_back(ValueFromWord(d.positional[i]));
  bool handled = false;
  std::string exception;
  EnterContext(context);
  V8Value* result = CallFunction(target, holder, arguments, "page call", &handled, &exception);
  ExitContext();
  Event("renderer.call").Text("path", path).Text("frame", FrameWord(frame)).Num("handled", handled ? 1 : 0)
      .Text("result", DescribeValue(result)).Text("exception", exception);
}

void DeliverMessage(Renderer& r, const Directive& d) {
  FrameCore* frame = FrameNamed(r, d);
  MessageCore* m = NewMessage(Utf8ToU16(d.Get("name")), d.positional);
  bool has = STANDIN_HAS_SLOT(r.handler, cef_render_process_handler_t, on_process_message_received);
  int handled = 0;
  if (has) {
    handled = r.handler->on_process_message_received(r.handler, WrapBrowser(&r.browser, "on_process_message_received"),
                                                     WrapFrame(frame, "on_process_message_received"), PID_BROWSER,
                                                     WrapMessage(m, "on_process_message_received"));
  }
  Event e("renderer.on_process_message_received");
  e.Num("present", has ? 1 : 0).Num("handled", handled);
  DescribeMessage(e, *m);
}

void ReleaseContext(Renderer& r, V8Context* context) {
  if (!context->valid) return;
  bool has = STANDIN_HAS_SLOT(r.handler, cef_render_process_handler_t, on_context_released);
  EnterContext(context);
  if (has) {
    r.handler->on_context_released(r.handler, WrapBrowser(&r.browser, "on_context_released"),
                                   WrapFrame(context->frame, "on_context_released"),
                                   WrapContext(context, "on_context_released"));
  }
  ExitContext();
  context->valid = false;
  Event("renderer.on_context_released").Unsigned("context", context->id).Num("present", has ? 1 : 0);
}

}  // namespace

void PlayRendererProcess(cef_app_t* app) {
  Renderer r;
  if (STANDIN_HAS_SLOT(app, cef_app_t, get_render_process_handler)) r.handler = app->get_render_process_handler(app);
  Event("renderer.handler").Ptr("handler", r.handler).Unsigned("size", r.handler ? r.handler->base.size : 0);
  r.browser.id = 1;
  r.browser.main_frame.browser = &r.browser;
  r.browser.main_frame.identifier = u"1-main";
  r.browser.sub_frame.browser = &r.browser;
  r.browser.sub_frame.main = false;
  r.browser.sub_frame.identifier = u"1-sub";
  r.browser.sub_frame.name = u"child";
  if (!r.handler) return;

  if (STANDIN_HAS_SLOT(r.handler, cef_render_process_handler_t, on_web_kit_initialized)) {
    r.handler->on_web_kit_initialized(r.handler);
  }
  if (STANDIN_HAS_SLOT(r.handler, cef_render_process_handler_t, on_browser_created)) {
    // The creation info the browser process would have given: the scenario's
    // `renderer_extra_info KEY=N...`, else none.
    cef_dictionary_value_t* info = nullptr;
    if (const Directive* d = CurrentScenario().Global("renderer_extra_info")) {
      DictionaryContent content;
      // A key that is not a plain word (nimo.page_api) comes as a positional `key=N`.
      for (const auto& entry : d->named) content[entry.first] = DictionaryEntry{VTYPE_INT, std::atoi(entry.second.c_str())};
      for (const std::string& word : d->positional) {
        const std::size_t eq = word.find('=');
        if (eq != std::string::npos) content[word.substr(0, eq)] = DictionaryEntry{VTYPE_INT, std::atoi(word.c_str() + eq + 1)};
      }
      info = NewDictionary(content, "on_browser_created");
    }
    r.handler->on_browser_created(r.handler, WrapBrowser(&r.browser, "on_browser_created"), info);
  }
  std::vector<Directive> actions = CurrentScenario().renderer;
  if (actions.empty()) {
    Directive main;
    main.keyword = "context";
    actions.push_back(main);
  }
  for (const Directive& d : actions) {
    if (d.keyword == "context") {
      CreateContext(r, d);
    } else if (d.keyword == "call") {
      CallFromPage(r, d);
    } else if (d.keyword == "message") {
      DeliverMessage(r, d);
    } else if (d.keyword == "release_context") {
      if (V8Context* c = ContextOfFrame(FrameNamed(r, d))) ReleaseContext(r, c);
    } else if (d.keyword == "wait") {
      Sleep(static_cast<DWORD>(d.At(0, 0)));
    } else {
      Event("scenario.error").Num("line", d.line).Text("error", "unknown renderer action").Text("action", d.keyword);
    }
  }
  for (V8Context* c : r.contexts) ReleaseContext(r, c);
  if (STANDIN_HAS_SLOT(r.handler, cef_render_process_handler_t, on_browser_destroyed)) {
    r.handler->on_browser_destroyed(r.handler, WrapBrowser(&r.browser, "on_browser_destroyed"));
  }
  ReleaseProductObject(&r.handler->base);
}

}  // namespace standin
