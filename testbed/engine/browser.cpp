#include "testbed/engine/browser.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "protocol/switches.h"
#include "testbed/engine/devtools.h"
#include "testbed/engine/ime.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/loop.h"
#include "testbed/engine/messages.h"
#include "testbed/engine/paint.h"
#include "testbed/engine/pointer.h"
#include "testbed/engine/real_page.h"
#include "testbed/engine/real_renderer.h"
#include "testbed/engine/refs.h"
#include "testbed/engine/renderer_faults.h"
#include "testbed/engine/resource_driver.h"
#include "testbed/engine/scenario.h"
#include "testbed/engine/slots.h"
#include "testbed/engine/strings.h"
#include "testbed/engine/v8.h"

namespace standin {
namespace {

std::mutex browsers_lock;
std::vector<BrowserCore*>* browsers = nullptr;  // never freed: wrappers may outlive shutdown
int next_browser_id = 1;
unsigned long long next_request_id = 1;

const char* FrameWord(const FrameCore* f) { return f->main ? "main" : "sub"; }

// ---------------------------------------------------------------------------------------
// The IO thread: resource requests are offered there, as the engine does.

struct IoThread {
  std::mutex lock;
  std::condition_variable wake;
  std::deque<std::function<void()>> queue;
  std::thread thread;
  bool stop = false;
  bool started = false;
};

IoThread& io() {
  static IoThread* t = new IoThread();
  return *t;
}

void PostIo(std::function<void()> work) {
  IoThread& t = io();
  std::lock_guard<std::mutex> hold(t.lock);
  if (t.stop) return;
  if (!t.started) {
    t.started = true;
    t.thread = std::thread([] {
      IoThread& me = io();
      std::unique_lock<std::mutex> held(me.lock);
      for (;;) {
        while (me.queue.empty() && !me.stop) me.wake.wait(held);
        if (me.queue.empty()) return;
        std::function<void()> next = std::move(me.queue.front());
        me.queue.pop_front();
        held.unlock();
        next();
        held.lock();
      }
    });
  }
  t.queue.push_back(std::move(work));
  t.wake.notify_all();
}

void StopIo() {
  IoThread& t = io();
  {
    std::lock_guard<std::mutex> hold(t.lock);
    t.stop = true;
  }
  t.wake.notify_all();
  if (t.thread.joinable()) t.thread.join();
}

// ---------------------------------------------------------------------------------------
// Requests and the small objects handed to callbacks.

struct RequestCore {
  std::u16string url;
  std::u16string method = u"GET";
  int resource_type = RT_MAIN_FRAME;
  int transition = TT_EXPLICIT;
  unsigned long long identifier = 0;
  bool read_only = false;
  std::string context;  // "navigation" or "resource", for the journal
  RequestHeaders headers;  // by lower-case name
  // Who still needs it: whoever made it (NewRequest) and every wrapper of it until the
  // wrapper is really freed; the last one deletes it.
  std::atomic<int> holders{1};
};

void DropRequest(RequestCore* core) {
  if (core->holders.fetch_sub(1) == 1) delete core;
}

RequestCore* Req(cef_request_t* self) { return CoreOf<RequestCore>(self); }

int CEF_CALLBACK RequestIsReadOnly(cef_request_t* self) {
  CheckAlive(self, "is_read_only");
  return Req(self)->read_only ? 1 : 0;
}
cef_string_userfree_t CEF_CALLBACK RequestGetUrl(cef_request_t* self) {
  CheckAlive(self, "get_url");
  return NewUserfree(Req(self)->url);
}
void CEF_CALLBACK RequestSetUrl(cef_request_t* self, const cef_string_t* url) {
  CheckAlive(self, "set_url");
  RequestCore* r = Req(self);
  Event("request.set_url").Unsigned("request", r->identifier).Text("context", r->context).Text("url", ToJournal(url))
      .Num("read_only", r->read_only ? 1 : 0);
  if (!r->read_only) r->url = ToU16(url);
}
cef_string_userfree_t CEF_CALLBACK RequestGetMethod(cef_request_t* self) {
  CheckAlive(self, "get_method");
  return NewUserfree(Req(self)->method);
}
void CEF_CALLBACK RequestSetMethod(cef_request_t* self, const cef_string_t* method) {
  CheckAlive(self, "set_method");
  if (!Req(self)->read_only) Req(self)->method = ToU16(method);
}
cef_string_userfree_t CEF_CALLBACK RequestGetReferrerUrl(cef_request_t* self) {
  CheckAlive(self, "get_referrer_url");
  return NewUserfree(std::u16string());
}
cef_string_userfree_t CEF_CALLBACK RequestGetHeaderByName(cef_request_t* self, const cef_string_t* name) {
  CheckAlive(self, "get_header_by_name");
  std::string key = U16ToUtf8(ToU16(name));
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const RequestHeaders& headers = Req(self)->headers;
  auto it = headers.find(key);
  return it == headers.end() ? NewUserfree(std::u16string()) : NewUserfreeUtf8(it->second);
}
int CEF_CALLBACK RequestGetFlags(cef_request_t* self) {
  CheckAlive(self, "get_flags");
  return 0;
}
cef_resource_type_t CEF_CALLBACK RequestGetResourceType(cef_request_t* self) {
  CheckAlive(self, "get_resource_type");
  return static_cast<cef_resource_type_t>(Req(self)->resource_type);
}
cef_transition_type_t CEF_CALLBACK RequestGetTransitionType(cef_request_t* self) {
  CheckAlive(self, "get_transition_type");
  return static_cast<cef_transition_type_t>(Req(self)->transition);
}
uint64_t CEF_CALLBACK RequestGetIdentifier(cef_request_t* self) {
  CheckAlive(self, "get_identifier");
  return Req(self)->identifier;
}

void FillRequest(cef_request_t* r) {
  r->is_read_only = RequestIsReadOnly;
  r->get_url = RequestGetUrl;
  r->set_url = RequestSetUrl;
  r->get_method = RequestGetMethod;
  r->set_method = RequestSetMethod;
  r->get_referrer_url = RequestGetReferrerUrl;
  r->get_header_by_name = RequestGetHeaderByName;
  r->get_flags = RequestGetFlags;
  r->get_resource_type = RequestGetResourceType;
  r->get_transition_type = RequestGetTransitionType;
  r->get_identifier = RequestGetIdentifier;
}

// Each wrapper holds the core until it leaves quarantine: a resource request hands out
// several wrappers of one core, and the resource handler may ask for another later.
cef_request_t* WrapRequest(RequestCore* core, const char* origin) {
  ++core->holders;
  cef_request_t* w = MakeWrapper<cef_request_t>(core, "request", origin, FillRequest);
  InfoOf(w)->free_core = [](void* c) { DropRequest(static_cast<RequestCore*>(c)); };
  return w;
}

RequestCore* NewRequest(const std::u16string& url, int type, int transition, bool read_only, const char* context) {
  RequestCore* core = new RequestCore();
  core->url = url;
  core->resource_type = type;
  core->transition = transition;
  core->read_only = read_only;
  core->context = context;
  std::lock_guard<std::mutex> hold(browsers_lock);
  core->identifier = next_request_id++;
  return core;
}

struct CallbackCore {
  unsigned long long request = 0;
};

void CEF_CALLBACK CallbackCont(cef_callback_t* self) {
  CheckAlive(self, "cont");
  Event("callback.cont").Unsigned("request", CoreOf<CallbackCore>(self)->request);
}
void CEF_CALLBACK CallbackCancel(cef_callback_t* self) {
  CheckAlive(self, "cancel");
  Event("callback.cancel").Unsigned("request", CoreOf<CallbackCore>(self)->request);
}
void FillCallback(cef_callback_t* c) {
  c->cont = CallbackCont;
  c->cancel = CallbackCancel;
}

struct MenuCore {
  int browser = 0;
  size_t items = 3;
};

int CEF_CALLBACK MenuClear(cef_menu_model_t* self) {
  CheckAlive(self, "clear");
  MenuCore* m = CoreOf<MenuCore>(self);
  Event("menu.clear").Num("browser", m->browser);
  m->items = 0;
  return 1;
}
size_t CEF_CALLBACK MenuGetCount(cef_menu_model_t* self) {
  CheckAlive(self, "get_count");
  return CoreOf<MenuCore>(self)->items;
}
void FillMenu(cef_menu_model_t* m) {
  m->clear = MenuClear;
  m->get_count = MenuGetCount;
}

int CEF_CALLBACK ParamsX(cef_context_menu_params_t* self) {
  CheckAlive(self, "get_xcoord");
  return 10;
}
int CEF_CALLBACK ParamsY(cef_context_menu_params_t* self) {
  CheckAlive(self, "get_ycoord");
  return 20;
}
void FillParams(cef_context_menu_params_t* p) {
  p->get_xcoord = ParamsX;
  p->get_ycoord = ParamsY;
}

void CEF_CALLBACK MenuCallbackCont(cef_run_context_menu_callback_t* self, int command_id, cef_event_flags_t flags) {
  CheckAlive(self, "cont");
  Event("menu_callback.cont").Num("browser", CoreOf<MenuCore>(self)->browser).Num("command", command_id)
      .Num("flags", flags);
}
void CEF_CALLBACK MenuCallbackCancel(cef_run_context_menu_callback_t* self) {
  CheckAlive(self, "cancel");
  Event("menu_callback.cancel").Num("browser", CoreOf<MenuCore>(self)->browser);
}
void FillMenuCallback(cef_run_context_menu_callback_t* c) {
  c->cont = MenuCallbackCont;
  c->cancel = MenuCallbackCancel;
}

// ---------------------------------------------------------------------------------------
// Navigation and the scripted page.

void Navigate(BrowserCore* b, FrameCore* frame, const std::u16string& url, int transition, const char* how,
              bool already_offered = false);
void RunActions(BrowserCore* b, int generation, const ActionBlock* page, std::size_t index);

// Offers a navigation to on_before_browse; returns whether it may proceed.
bool OfferNavigationImpl(BrowserCore* b, FrameCore* frame, const std::u16string& url, int transition, bool gesture,
                     bool redirect) {
  cef_request_handler_t* handler = RequestHandlerOf(b);
  int cancel = 0;
  bool asked = STANDIN_HAS_SLOT(handler, cef_request_handler_t, on_before_browse);
  RequestCore* request = NewRequest(url, frame->main ? RT_MAIN_FRAME : RT_SUB_FRAME, transition, true, "navigation");
  if (asked) {
    cancel = handler->on_before_browse(handler, WrapBrowser(b, "on_before_browse"), WrapFrame(frame, "on_before_browse"),
                                       WrapRequest(request, "on_before_browse"), gesture ? 1 : 0, redirect ? 1 : 0);
  }
  DropRequest(request);
  ReleaseHandler(handler);
  Event("nav.before_browse").Num("browser", b->id).Text("frame", FrameWord(frame)).Text("url", U16ToUtf8(url))
      .Num("redirect", redirect ? 1 : 0).Num("asked", asked ? 1 : 0).Text("result", cancel ? "cancel" : "allow");
  return cancel == 0;
}

FrameCore* FrameFor(BrowserCore* b, const Directive& d) {
  return d.Get("frame", "main") == "sub" ? &b->sub_frame : &b->main_frame;
}

void LoadStartImpl(BrowserCore* b, FrameCore* frame, int transition) {
  cef_load_handler_t* h = LoadHandlerOf(b);
  bool has = STANDIN_HAS_SLOT(h, cef_load_handler_t, on_load_start);
  Event("cb.on_load_start").Num("browser", b->id).Text("frame", FrameWord(frame)).Num("transition", transition)
      .Num("present", has ? 1 : 0);
  if (has) h->on_load_start(h, WrapBrowser(b, "on_load_start"), WrapFrame(frame, "on_load_start"),
                            static_cast<cef_transition_type_t>(transition));
  ReleaseHandler(h);
}

void ActionLoadStart(BrowserCore* b, const Directive& d) {
  LoadStartImpl(b, FrameFor(b, d), static_cast<int>(d.Int("transition", TT_EXPLICIT)));
}

void LoadEndImpl(BrowserCore* b, FrameCore* frame, int status) {
  cef_load_handler_t* h = LoadHandlerOf(b);
  bool has = STANDIN_HAS_SLOT(h, cef_load_handler_t, on_load_end);
  Event("cb.on_load_end").Num("browser", b->id).Text("frame", FrameWord(frame)).Num("status", status)
      .Num("present", has ? 1 : 0);
  if (has) h->on_load_end(h, WrapBrowser(b, "on_load_end"), WrapFrame(frame, "on_load_end"), status);
  ReleaseHandler(h);
}

void ActionLoadEnd(BrowserCore* b, const Directive& d) {
  LoadEndImpl(b, FrameFor(b, d), static_cast<int>(d.Int("status", 200)));
}

void LoadErrorImpl(BrowserCore* b, FrameCore* frame, int code, const std::u16string& text, const std::u16string& url) {
  cef_load_handler_t* h = LoadHandlerOf(b);
  bool has = STANDIN_HAS_SLOT(h, cef_load_handler_t, on_load_error);
  Event("cb.on_load_error").Num("browser", b->id).Text("frame", FrameWord(frame)).Num("code", code)
      .Text("text", U16ToUtf8(text)).Text("url", U16ToUtf8(url)).Num("present", has ? 1 : 0);
  if (has) {
    cef_string_t t = {const_cast<char16_t*>(text.data()), text.size(), nullptr};
    cef_string_t u = {const_cast<char16_t*>(url.data()), url.size(), nullptr};
    h->on_load_error(h, WrapBrowser(b, "on_load_error"), WrapFrame(frame, "on_load_error"),
                     static_cast<cef_errorcode_t>(code), &t, &u);
  }
  ReleaseHandler(h);
}

void ActionLoadError(BrowserCore* b, const Directive& d) {
  FrameCore* frame = FrameFor(b, d);
  LoadErrorImpl(b, frame, static_cast<int>(d.Int("code", -2)), Utf8ToU16(d.Get("text", "net::ERR_FAILED")),
                d.Has("url") ? Utf8ToU16(d.Get("url")) : frame->url);
}

void RaiseConsoleImpl(BrowserCore* b, int level, const std::u16string& message, const std::u16string& source, int line) {
  cef_display_handler_t* h = DisplayHandlerOf(b);
  bool has = STANDIN_HAS_SLOT(h, cef_display_handler_t, on_console_message);
  int result = 0;
  if (has) {
    cef_string_t m = {const_cast<char16_t*>(message.data()), message.size(), nullptr};
    cef_string_t s = {const_cast<char16_t*>(source.data()), source.size(), nullptr};
    result = h->on_console_message(h, WrapBrowser(b, "on_console_message"),
                                  static_cast<cef_log_severity_t>(level), &m, &s, line);
  }
  ReleaseHandler(h);
  Event("cb.on_console_message").Num("browser", b->id).Num("level", level).Num("line", line)
      .Text("source", U16ToUtf8(source)).Num("length", static_cast<long long>(message.size()))
      .Text("message", U16ToUtf8(message)).Num("present", has ? 1 : 0).Num("result", result);
}

// A run of console messages: all at once, or `batch` per UI-thread step `interval` ms
// apart, as a page logging from a timer.
struct ConsoleRun {
  int level = 0;
  int line = 0;
  std::u16string message;
  std::u16string source;
  bool numbered = false;  // the message ends in its 1-based number within the run
  long long count = 1;
  long long batch = 1;
  long long interval_ms = 0;
  long long next = 0;
  int generation = 0;
};

void RunConsole(BrowserCore* b, std::shared_ptr<ConsoleRun> run) {
  if (b->closed.load() || b->generation.load() != run->generation) return;
  for (long long n = 0; n < run->batch && run->next < run->count; ++n) {
    ++run->next;
    const std::u16string text =
        run->numbered ? run->message + Utf8ToU16(std::to_string(run->next)) : run->message;
    RaiseConsoleImpl(b, run->level, text, run->source, run->line);
  }
  if (run->next < run->count) PostEngineWork([b, run] { RunConsole(b, run); }, run->interval_ms);
}

void ActionConsole(BrowserCore* b, const Directive& d) {
  auto run = std::make_shared<ConsoleRun>();
  run->level = static_cast<int>(d.Int("level", 0));
  run->line = static_cast<int>(d.Int("line", 0));
  run->message = Utf8ToU16(d.Get("message"));
  run->source = Utf8ToU16(d.Get("source"));
  run->numbered = d.Int("numbered", 0) != 0;
  run->count = d.Int("repeat", 1);
  run->batch = d.Has("batch") ? std::max(1LL, d.Int("batch", 1)) : std::max(1LL, run->count);
  run->interval_ms = std::max(0LL, d.Int("interval", 0));
  run->generation = b->generation.load();
  RunConsole(b, run);
}

void ActionPopup(BrowserCore* b, const Directive& d) {
  std::u16string target = Utf8ToU16(d.Get("url", "about:blank"));
  std::u16string name = Utf8ToU16(d.Get("name"));
  cef_life_span_handler_t* h = LifeSpanHandlerOf(b);
  bool has = STANDIN_HAS_SLOT(h, cef_life_span_handler_t, on_before_popup);
  static int popup_ids = 0;
  int popup_id = ++popup_ids;
  cef_popup_features_t features = {};
  features.isPopup = 1;
  cef_window_info_t window = {};
  window.windowless_rendering_enabled = b->window.windowless_rendering_enabled;
  window.shared_texture_enabled = b->window.shared_texture_enabled;
  window.external_begin_frame_enabled = b->window.external_begin_frame_enabled;
  cef_browser_settings_t settings = b->settings;
  cef_client_t* client = b->client;
  // The out-parameter starts as the opener's client with a reference for the engine.
  if (client && client->base.add_ref) client->base.add_ref(&client->base);
  cef_dictionary_value_t* extra = nullptr;
  int no_js = 0;
  int cancel = 0;
  if (has) {
    cef_string_t t = {const_cast<char16_t*>(target.data()), target.size(), nullptr};
    cef_string_t n = {const_cast<char16_t*>(name.data()), name.size(), nullptr};
    cancel = h->on_before_popup(h, WrapBrowser(b, "on_before_popup"), WrapFrame(&b->main_frame, "on_before_popup"),
                                popup_id, &t, &n, static_cast<cef_window_open_disposition_t>(d.Int("disposition", 5)),
                                static_cast<int>(d.Int("gesture", 1)), &features, &window, &client, &settings, &extra,
                                &no_js);
  }
  ReleaseHandler(h);
  Event("cb.on_before_popup").Num("browser", b->id).Num("popup_id", popup_id).Text("url", U16ToUtf8(target))
      .Num("present", has ? 1 : 0).Text("result", cancel ? "cancel" : "allow")
      .Num("client_changed", client != b->client ? 1 : 0);
  if (cancel) {
    ReleaseProductObject(client ? &client->base : nullptr);
    return;
  }
  BrowserCore* p = new BrowserCore();
  p->client = client;
  p->window = window;
  p->settings = settings;
  p->popup = true;
  p->opener_id = b->id;
  p->frame_rate = settings.windowless_frame_rate;
  {
    std::lock_guard<std::mutex> hold(browsers_lock);
    p->id = next_browser_id++;
    browsers->push_back(p);
  }
  p->main_frame.browser = p;
  p->main_frame.identifier = Utf8ToU16(std::to_string(p->id) + "-main");
  p->sub_frame.browser = p;
  p->sub_frame.main = false;
  p->sub_frame.identifier = Utf8ToU16(std::to_string(p->id) + "-sub");
  p->sub_frame.name = u"child";
  Event("browser.popup_created").Num("browser", p->id).Num("opener", b->id).Text("url", U16ToUtf8(target));
  PostEngineWork([p, target] {
    if (p->closed.load()) return;
    cef_life_span_handler_t* life = LifeSpanHandlerOf(p);
    bool present = STANDIN_HAS_SLOT(life, cef_life_span_handler_t, on_after_created);
    p->created = true;
    Event("cb.on_after_created").Num("browser", p->id).Num("popup", 1).Num("present", present ? 1 : 0);
    if (present) life->on_after_created(life, WrapBrowser(p, "on_after_created"));
    ReleaseHandler(life);
    PaintOnCreated(p);
    Navigate(p, &p->main_frame, target, TT_LINK, "popup");
  });
}

void OfferResourceImpl(BrowserCore* b, FrameCore* frame, const std::u16string& url, int type, bool navigation,
                       ResourceDone done, const RequestHeaders& headers, const std::string& method) {
  PostIo([b, frame, url, type, navigation, done, headers, method] {
    if (b->closed.load()) {  // the client is the engine's no more
      if (done) done(url, nullptr);
      return;
    }
    cef_request_handler_t* handler = RequestHandlerOf(b);
    RequestCore* request = NewRequest(url, type, TT_LINK, false, "resource");
    request->headers = headers;
    request->method = Utf8ToU16(method);
    cef_resource_request_handler_t* rrh = nullptr;
    int disable_default = 0;
    bool has = STANDIN_HAS_SLOT(handler, cef_request_handler_t, get_resource_request_handler);
    if (has) {
      std::u16string initiator = u"null";
      cef_string_t init = {const_cast<char16_t*>(initiator.data()), initiator.size(), nullptr};
      rrh = handler->get_resource_request_handler(handler, WrapBrowser(b, "get_resource_request_handler"),
                                                  WrapFrame(frame, "get_resource_request_handler"),
                                                  WrapRequest(request, "get_resource_request_handler"),
                                                  navigation ? 1 : 0, 0, &init,
                                                  &disable_default);
    }
    ReleaseHandler(handler);
    int result = RV_CONTINUE;
    bool asked = STANDIN_HAS_SLOT(rrh, cef_resource_request_handler_t, on_before_resource_load);
    if (asked) {
      CallbackCore* cb = new CallbackCore();
      cb->request = request->identifier;
      cef_callback_t* callback = MakeWrapper<cef_callback_t>(cb, "callback", "on_before_resource_load", FillCallback);
      InfoOf(callback)->free_core = [](void* c) { delete static_cast<CallbackCore*>(c); };
      result = rrh->on_before_resource_load(rrh, WrapBrowser(b, "on_before_resource_load"),
                                            WrapFrame(frame, "on_before_resource_load"),
                                            WrapRequest(request, "on_before_resource_load"), callback);
    }
    // Then, as the engine does, who answers it: a handler of the product, or the network.
    cef_resource_handler_t* answer = nullptr;
    const bool ask_handler = result == RV_CONTINUE &&
                             STANDIN_HAS_SLOT(rrh, cef_resource_request_handler_t, get_resource_handler);
    if (ask_handler) {
      answer = rrh->get_resource_handler(rrh, WrapBrowser(b, "get_resource_handler"),
                                         WrapFrame(frame, "get_resource_handler"),
                                         WrapRequest(request, "get_resource_handler"));
    }
    ReleaseHandler(rrh);
    Event("resource.request").Num("browser", b->id).Unsigned("request", request->identifier)
        .Text("url", U16ToUtf8(url)).Text("final_url", U16ToUtf8(request->url)).Num("handler", rrh ? 1 : 0)
        .Num("asked", asked ? 1 : 0).Num("result", result).Num("disable_default", disable_default)
        .Num("resource_handler", answer ? 1 : 0);
    if (answer == nullptr) {
      if (done) done(request->url, nullptr);
      DropRequest(request);
      return;
    }
    const std::u16string final_url = request->url;
    // The handler's open gets a wrapper of its own, made when it is called: the drive
    // holds the core until then (and lets go when it ends).
    std::shared_ptr<RequestCore> held(request, DropRequest);
    DriveResourceHandler(b, request->identifier, answer,
                         [held] { return WrapRequest(held.get(), "resource_open"); }, headers,
                         [done, final_url](std::shared_ptr<ResourceAnswer> a) {
                           if (done) done(final_url, std::move(a));
                         });
  });
}

void ActionResource(BrowserCore* b, const Directive& d) {
  OfferResourceImpl(b, FrameFor(b, d), Utf8ToU16(d.Get("url")), static_cast<int>(d.Int("type", RT_IMAGE)), false,
                    nullptr, RequestHeaders(), "GET");
}

void ActionContextMenu(BrowserCore* b) {
  cef_context_menu_handler_t* h = ContextMenuHandlerOf(b);
  MenuCore* menu = new MenuCore();
  menu->browser = b->id;
  bool before = STANDIN_HAS_SLOT(h, cef_context_menu_handler_t, on_before_context_menu);
  if (before) {
    h->on_before_context_menu(h, WrapBrowser(b, "on_before_context_menu"),
                              WrapFrame(&b->main_frame, "on_before_context_menu"),
                              MakeWrapper<cef_context_menu_params_t>(menu, "context_menu_params", "on_before_context_menu",
                                                                     FillParams),
                              MakeWrapper<cef_menu_model_t>(menu, "menu_model", "on_before_context_menu", FillMenu));
  }
  int handled = 0;
  bool run = menu->items > 0 && STANDIN_HAS_SLOT(h, cef_context_menu_handler_t, run_context_menu);
  if (run) {
    handled = h->run_context_menu(
        h, WrapBrowser(b, "run_context_menu"), WrapFrame(&b->main_frame, "run_context_menu"),
        MakeWrapper<cef_context_menu_params_t>(menu, "context_menu_params", "run_context_menu", FillParams),
        MakeWrapper<cef_menu_model_t>(menu, "menu_model", "run_context_menu", FillMenu),
        MakeWrapper<cef_run_context_menu_callback_t>(menu, "context_menu_callback", "run_context_menu",
                                                     FillMenuCallback));
  }
  ReleaseHandler(h);
  Event("cb.context_menu").Num("browser", b->id).Num("items_left", static_cast<long long>(menu->items))
      .Num("run", run ? 1 : 0).Num("handled", handled).Num("shown", menu->items > 0 && !handled ? 1 : 0);
}

void RunAction(BrowserCore* b, const Directive& d) {
  const std::string& k = d.keyword;
  if (k == "load_start") {
    ActionLoadStart(b, d);
  } else if (k == "load_end") {
    ActionLoadEnd(b, d);
  } else if (k == "load_error") {
    ActionLoadError(b, d);
  } else if (k == "console") {
    ActionConsole(b, d);
  } else if (k == "browse") {
    FrameCore* frame = FrameFor(b, d);
    std::u16string url = Utf8ToU16(d.Get("url"));
    bool allowed = OfferNavigationImpl(b, frame, url, static_cast<int>(d.Int("transition", TT_LINK)),
                                   d.Int("gesture", 0) != 0, d.Int("redirect", 0) != 0);
    if (allowed && d.Int("follow", 0) != 0) {
      Navigate(b, frame, url, static_cast<int>(d.Int("transition", TT_LINK)), "follow", true);
    }
  } else if (k == "popup") {
    ActionPopup(b, d);
  } else if (k == "resource") {
    ActionResource(b, d);
  } else if (k == "context_menu") {
    ActionContextMenu(b);
  } else if (k == "process_message") {
    // A message from the page's renderer to the browser process (e.g. native window.mp).
    MessageCore* m = NewMessage(Utf8ToU16(d.Get("name", "mp:invoke")), d.positional);
    FrameCore* frame = FrameFor(b, d);
    bool has = STANDIN_HAS_SLOT(b->client, cef_client_t, on_process_message_received);
    int handled = 0;
    if (has) {
      handled = b->client->on_process_message_received(b->client, WrapBrowser(b, "on_process_message_received"),
                                                       WrapFrame(frame, "on_process_message_received"), PID_RENDERER,
                                                       WrapMessage(m, "on_process_message_received"));
    }
    Event e("cb.on_process_message_received");
    e.Num("browser", b->id).Text("frame", FrameWord(frame)).Num("present", has ? 1 : 0).Num("handled", handled);
    DescribeMessage(e, *m);
  } else if (k == "paint") {
    PaintAction(b, d);
  } else if (k == "popup_show" || k == "popup_size") {
    PopupWidgetAction(b, d);
  } else if (k == "keyboard_request" || k == "composition_range") {
    ImeAction(b, d);
  } else if (k == "gpu_reset") {
    GpuResetAction(d);
  } else if (k == "crash") {
    EndRenderer(b, static_cast<int>(d.Int("status", TS_PROCESS_CRASHED)), static_cast<int>(d.Int("code", -1073741819)));
  } else if (k == "close") {
    cef_browser_t* self = WrapBrowser(b, "scenario close");
    cef_browser_host_t* host = self->get_host(self);
    host->close_browser(host, static_cast<int>(d.Int("force", 1)));
    host->base.release(&host->base);
    self->base.release(&self->base);
  } else {
    Event("scenario.error").Num("line", d.line).Text("error", "unknown page action").Text("action", k);
  }
}

// Runs the page's actions from `index` on, one UI-thread step each; `wait N` delays the
// rest. A newer navigation or a close ends the sequence.
// Page sequences stopped at `await script=P` until a script starting with P arrives for
// their browser, so a test can step a page from the client. UI thread; the count lets
// other threads skip the hand-over when nothing waits.
struct AwaitingPage {
  BrowserCore* browser;
  int generation;
  const ActionBlock* page;
  std::size_t index;
  std::u16string prefix;
};
std::vector<AwaitingPage> awaiting_pages;
std::atomic<int> awaiting_count{0};

void RunActions(BrowserCore* b, int generation, const ActionBlock* page, std::size_t index) {
  while (index < page->actions.size()) {
    if (b->closed.load() || b->generation.load() != generation) return;
    const Directive& d = page->actions[index++];
    if (d.keyword == "wait") {
      long long ms = d.At(0, 0);
      PostEngineWork([b, generation, page, index] { RunActions(b, generation, page, index); }, ms);
      return;
    }
    if (d.keyword == "await") {
      awaiting_pages.push_back(AwaitingPage{b, generation, page, index, Utf8ToU16(d.Get("script"))});
      awaiting_count.fetch_add(1);
      return;
    }
    if (d.keyword == "hang") {
      // The rest of the page runs once its renderer answers again, if it ever does.
      HangRenderer(b, d.Int("respond_after", -1), [b, generation, page, index] { RunActions(b, generation, page, index); });
      return;
    }
    RunAction(b, d);
  }
}

// A script arrived for `b`: the first of its sequences awaiting that script goes on.
void ResumeAwaitingPage(BrowserCore* b, const std::u16string& script) {
  for (auto it = awaiting_pages.begin(); it != awaiting_pages.end(); ++it) {
    if (it->browser != b || script.compare(0, it->prefix.size(), it->prefix) != 0) continue;
    AwaitingPage resumed = *it;
    awaiting_pages.erase(it);
    awaiting_count.fetch_sub(1);
    Event("page.resumed").Num("browser", b->id).Text("script", U16ToUtf8(resumed.prefix));
    RunActions(resumed.browser, resumed.generation, resumed.page, resumed.index);
    return;
  }
}

void Navigate(BrowserCore* b, FrameCore* frame, const std::u16string& url, int transition, const char* how,
              bool already_offered) {
  if (b->closed.load()) return;
  Event("nav.start").Num("browser", b->id).Text("frame", FrameWord(frame)).Text("url", U16ToUtf8(url)).Text("how", how);
  if (b->real) {
    RealNavigate(b, frame, url);
    return;
  }
  if (!already_offered && !OfferNavigationImpl(b, frame, url, transition, false, false)) return;
  frame->url = url;
  if (!frame->main) {
    Directive start, end;
    start.keyword = "load_start";
    start.named["frame"] = "sub";
    end.keyword = "load_end";
    end.named["frame"] = "sub";
    ActionLoadStart(b, start);
    ActionLoadEnd(b, end);
    return;
  }
  int generation = ++b->generation;
  std::string url8 = U16ToUtf8(url);
  PaintOnNavigated(b, url8);
  const ActionBlock* page = CurrentScenario().PageFor(url8);
  if (page) {
    RunActions(b, generation, page, 0);
    return;
  }
  Directive start, end;
  start.keyword = "load_start";
  start.named["transition"] = std::to_string(transition);
  end.keyword = "load_end";
  ActionLoadStart(b, start);
  ActionLoadEnd(b, end);
}

void PostNavigate(BrowserCore* b, FrameCore* frame, const std::u16string& url, int transition, const char* how) {
  PostEngineWork([b, frame, url, transition, how] { Navigate(b, frame, url, transition, how); });
}

void BeginClose(BrowserCore* b, int force) {
  if (b->closing.exchange(true)) {
    Event("browser.close_again").Num("browser", b->id).Num("force", force);
    return;
  }
  PostEngineWork([b, force] {
    cef_life_span_handler_t* life = LifeSpanHandlerOf(b);
    if (STANDIN_HAS_SLOT(life, cef_life_span_handler_t, do_close)) {
      int keep = life->do_close(life, WrapBrowser(b, "do_close"));
      Event("cb.do_close").Num("browser", b->id).Num("result", keep);
      if (keep && !force) {
        b->closing = false;
        ReleaseHandler(life);
        return;
      }
    }
    b->closed = true;
    ++b->generation;
    if (b->real) RealClose(b);
    PaintOnClosed(b);
    bool present = STANDIN_HAS_SLOT(life, cef_life_span_handler_t, on_before_close);
    Event("cb.on_before_close").Num("browser", b->id).Num("present", present ? 1 : 0);
    if (present) life->on_before_close(life, WrapBrowser(b, "on_before_close"));
    ReleaseHandler(life);
    cef_client_t* client = b->client;
    b->client = nullptr;
    ReleaseProductObject(client ? &client->base : nullptr);
    Event("browser.closed").Num("browser", b->id);
  });
}

// ---------------------------------------------------------------------------------------
// cef_frame_t

FrameCore* Frame(cef_frame_t* self) { return CoreOf<FrameCore>(self); }

int CEF_CALLBACK FrameIsValid(cef_frame_t* self) {
  CheckAlive(self, "is_valid");
  return Frame(self)->browser->closed.load() ? 0 : 1;
}

void CEF_CALLBACK FrameLoadUrl(cef_frame_t* self, const cef_string_t* url) {
  CheckAlive(self, "load_url");
  FrameCore* f = Frame(self);
  Event("frame.load_url").Num("browser", f->browser->id).Text("frame", FrameWord(f)).Text("url", ToJournal(url))
      .Num("from_ui", OnUiThread() ? 1 : 0);
  PostNavigate(f->browser, f, ToU16(url), TT_EXPLICIT, "load_url");
}

// Open handles of this process. Where GetProcessHandleCount has no answer (Wine gives
// 0) they are counted by asking for each handle value in turn: values are handed out
// lowest first, so the search ends after a long enough run of unused ones.
long long CountOpenHandles() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
  long long open = 0;
  for (std::uintptr_t value = 4, unused = 0; unused < 4096; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
      ++open;
      unused = 0;
    } else {
      ++unused;
    }
  }
  return open;
}

// This process's id on the host (Wine's processes show there under Z:\proc), found once
// by its command line; 0 when there is none. A file of /proc/self would not do: Wine's
// server opens files on a process's behalf, so "self" is the server.
long long HostProcessId() {
  static long long found = -1;
  if (found >= 0) return found;
  found = 0;
  std::vector<wchar_t> wide_module(32768, L'\0');
  GetModuleFileNameW(nullptr, wide_module.data(), static_cast<DWORD>(wide_module.size()));
  // Wine shows the command line under Z:\proc in UTF-8.
  const std::string module = WideToUtf8(wide_module.data());
  // The pipe's name tells this engine from others of the same executable. It is read by the
  // product's own rule (the client writes it quoted); the host's argument list has it
  // unquoted, as one word.
  const std::string pipe_name = nimo::SwitchValueIn(WideToUtf8(GetCommandLineW()), nimo::kSwitchPipe, "");
  if (pipe_name.empty()) return found;
  const std::string pipe = std::string(nimo::kSwitchPipe) + "=" + pipe_name + " ";
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
  if (find == INVALID_HANDLE_VALUE) return found;
  do {
    const char* name = entry.cFileName;
    if (!*name || std::strspn(name, "0123456789") != std::strlen(name)) continue;
    FILE* file = std::fopen((std::string("Z:\\proc\\") + name + "\\cmdline").c_str(), "rb");
    if (!file) continue;
    char buffer[4096];
    const std::size_t size = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    buffer[size] = 0;
    std::string words(buffer, size);
    for (char& c : words) c = c == 0 ? ' ' : c;
    words += ' ';
    if (_stricmp(buffer, module.c_str()) == 0 && words.find(pipe) != std::string::npos) {
      found = std::atoll(name);
      break;
    }
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return found;
}

// Private memory of this process. Where the process counters have no answer (Wine gives
// 0) it is the host's resident anonymous memory of the process.
long long PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof memory;
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory) &&
      memory.PrivateUsage > 0) {
    return static_cast<long long>(memory.PrivateUsage);
  }
  const long long pid = HostProcessId();
  long long kilobytes = 0;
  if (pid <= 0) return 0;
  if (FILE* status = std::fopen(("Z:\\proc\\" + std::to_string(pid) + "\\status").c_str(), "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
      if (std::sscanf(line, "RssAnon: %lld", &kilobytes) == 1) break;
    }
    std::fclose(status);
  }
  return kilobytes * 1024;
}

void JournalProcessFigures(const std::string& label) {
  Event("process.figures").Text("label", label).Num("handles", CountOpenHandles()).Num("private_bytes", PrivateBytes());
}

void CEF_CALLBACK FrameExecuteJavaScript(cef_frame_t* self, const cef_string_t* code, const cef_string_t* script_url,
                                         int start_line) {
  CheckAlive(self, "execute_java_script");
  FrameCore* f = Frame(self);
  std::u16string text = ToU16(code);
  if (CaptureRendererScript(f, text)) return;
  Event("frame.execute_java_script").Num("browser", f->browser->id).Text("frame", FrameWord(f))
      .Text("script_url", ToJournal(script_url)).Num("start_line", start_line)
      .Num("length", static_cast<long long>(text.size())).Num("from_ui", OnUiThread() ? 1 : 0)
      .Text("code", JournalEnabled() ? U16ToUtf8(text) : std::string());  // rate runs journal nothing
  // A scripted echo turns scripts with a marker into a console message of the page, so
  // tests and benchmarks can time a command through to a report.
  const Directive* echo = CurrentScenario().Global("script_echo");
  if (echo) {
    std::u16string prefix = Utf8ToU16(echo->Get("prefix"));
    if (text.compare(0, prefix.size(), prefix) == 0) {
      BrowserCore* b = f->browser;
      int level = static_cast<int>(echo->Int("level", 0));
      PostEngineWork([b, level, text] { RaiseConsoleImpl(b, level, text, u"echo", 1); });
    }
  }
  if (awaiting_count.load() > 0) {
    BrowserCore* b = f->browser;
    PostEngineWork([b, text] { ResumeAwaitingPage(b, text); });
  }
  // Figures of this process at the moment a marked script arrives, so a test can compare
  // the product's handles and memory between two moments of its own choosing.
  if (const Directive* figures = CurrentScenario().Global("process_figures")) {
    std::u16string prefix = Utf8ToU16(figures->Get("prefix"));
    if (text.compare(0, prefix.size(), prefix) == 0) JournalProcessFigures(U16ToUtf8(text));
  }
  // A marked script crashes the page's renderer, so tests can see the product recover.
  if (const Directive* crash = CurrentScenario().Global("crash_script")) {
    std::u16string prefix = Utf8ToU16(crash->Get("prefix"));
    if (!prefix.empty() && text.compare(0, prefix.size(), prefix) == 0) {
      BrowserCore* b = f->browser;
      PostEngineWork([b] {
        if (b->closed.load()) return;
        if (b->real) {
          RealCrash(b);
        } else {
          EndRenderer(b, TS_PROCESS_CRASHED, 0);
        }
      });
      return;
    }
  }
  if (f->browser->real && !f->browser->closed.load()) RealExecute(f, text, ToU16(script_url), start_line);
}

int CEF_CALLBACK FrameIsMain(cef_frame_t* self) {
  CheckAlive(self, "is_main");
  return Frame(self)->main ? 1 : 0;
}
int CEF_CALLBACK FrameIsFocused(cef_frame_t* self) {
  CheckAlive(self, "is_focused");
  return Frame(self)->main ? 1 : 0;
}
cef_string_userfree_t CEF_CALLBACK FrameGetName(cef_frame_t* self) {
  CheckAlive(self, "get_name");
  return NewUserfree(Frame(self)->name);
}
cef_string_userfree_t CEF_CALLBACK FrameGetIdentifier(cef_frame_t* self) {
  CheckAlive(self, "get_identifier");
  return NewUserfree(Frame(self)->identifier);
}
cef_frame_t* CEF_CALLBACK FrameGetParent(cef_frame_t* self) {
  CheckAlive(self, "get_parent");
  FrameCore* f = Frame(self);
  return f->main ? nullptr : WrapFrame(&f->browser->main_frame, "get_parent");
}
cef_string_userfree_t CEF_CALLBACK FrameGetUrl(cef_frame_t* self) {
  CheckAlive(self, "get_url");
  return NewUserfree(Frame(self)->url);
}
cef_browser_t* CEF_CALLBACK FrameGetBrowser(cef_frame_t* self) {
  CheckAlive(self, "get_browser");
  return WrapBrowser(Frame(self)->browser, "frame.get_browser");
}
cef_v8context_t* CEF_CALLBACK FrameGetV8Context(cef_frame_t* self) {
  CheckAlive(self, "get_v8context");
  V8Context* context = ContextOfFrame(Frame(self));
  return context ? WrapContext(context, "get_v8context") : nullptr;
}
void CEF_CALLBACK FrameSendProcessMessage(cef_frame_t* self, cef_process_id_t target, cef_process_message_t* message) {
  CheckAlive(self, "send_process_message");
  {
    Event e("frame.send_process_message");
    e.Num("browser", Frame(self)->browser->id).Text("frame", FrameWord(Frame(self))).Num("target", target);
    if (MessageCore* m = MessageOf(message)) {
      DescribeMessage(e, *m);
    } else {
      e.Ptr("foreign", message);
    }
  }
  Consume(message, "send_process_message");
}

// Editing commands of a frame: journaled, nothing to edit in a stand-in page.
#define STANDIN_FRAME_COMMAND(slot)                                                          \
  void CEF_CALLBACK FrameCommand_##slot(cef_frame_t* self) {                                 \
    CheckAlive(self, #slot);                                                                 \
    Event("frame." #slot).Num("browser", Frame(self)->browser->id).Text("frame", FrameWord(Frame(self))); \
  }
STANDIN_FRAME_COMMAND(undo)
STANDIN_FRAME_COMMAND(redo)
STANDIN_FRAME_COMMAND(cut)
STANDIN_FRAME_COMMAND(copy)
STANDIN_FRAME_COMMAND(paste)
STANDIN_FRAME_COMMAND(paste_and_match_style)
STANDIN_FRAME_COMMAND(del)
STANDIN_FRAME_COMMAND(select_all)
STANDIN_FRAME_COMMAND(view_source)
#undef STANDIN_FRAME_COMMAND

void FillFrame(cef_frame_t* f) {
  f->undo = FrameCommand_undo;
  f->redo = FrameCommand_redo;
  f->cut = FrameCommand_cut;
  f->copy = FrameCommand_copy;
  f->paste = FrameCommand_paste;
  f->paste_and_match_style = FrameCommand_paste_and_match_style;
  f->del = FrameCommand_del;
  f->select_all = FrameCommand_select_all;
  f->view_source = FrameCommand_view_source;
  f->is_valid = FrameIsValid;
  f->load_url = FrameLoadUrl;
  f->execute_java_script = FrameExecuteJavaScript;
  f->is_main = FrameIsMain;
  f->is_focused = FrameIsFocused;
  f->get_name = FrameGetName;
  f->get_identifier = FrameGetIdentifier;
  f->get_parent = FrameGetParent;
  f->get_url = FrameGetUrl;
  f->get_browser = FrameGetBrowser;
  f->get_v8context = FrameGetV8Context;
  f->send_process_message = FrameSendProcessMessage;
}

// ---------------------------------------------------------------------------------------
// cef_browser_host_t

BrowserCore* HostCore(cef_browser_host_t* self) { return CoreOf<BrowserCore>(self); }

cef_browser_t* CEF_CALLBACK HostGetBrowser(cef_browser_host_t* self) {
  CheckAlive(self, "get_browser");
  return WrapBrowser(HostCore(self), "host.get_browser");
}

void CEF_CALLBACK HostCloseBrowser(cef_browser_host_t* self, int force_close) {
  CheckAlive(self, "close_browser");
  BrowserCore* b = HostCore(self);
  Event("host.close_browser").Num("browser", b->id).Num("force", force_close).Num("from_ui", OnUiThread() ? 1 : 0);
  BeginClose(b, force_close);
}

int CEF_CALLBACK HostTryCloseBrowser(cef_browser_host_t* self) {
  CheckAlive(self, "try_close_browser");
  BrowserCore* b = HostCore(self);
  Event("host.try_close_browser").Num("browser", b->id);
  if (b->closed.load()) return 1;
  BeginClose(b, 0);
  return 0;
}

void CEF_CALLBACK HostSetFocus(cef_browser_host_t* self, int focus) {
  CheckAlive(self, "set_focus");
  Event("host.set_focus").Num("browser", HostCore(self)->id).Num("focus", focus);
  if (HostCore(self)->real) RealFocus(HostCore(self), focus != 0);
}

cef_window_handle_t CEF_CALLBACK HostGetWindowHandle(cef_browser_host_t* self) {
  CheckAlive(self, "get_window_handle");
  return nullptr;
}

int CEF_CALLBACK HostHasView(cef_browser_host_t* self) {
  CheckAlive(self, "has_view");
  return 0;
}

cef_client_t* CEF_CALLBACK HostGetClient(cef_browser_host_t* self) {
  CheckAlive(self, "get_client");
  cef_client_t* client = HostCore(self)->client;
  if (client && client->base.add_ref) client->base.add_ref(&client->base);
  return client;
}

int CEF_CALLBACK HostIsWindowRenderingDisabled(cef_browser_host_t* self) {
  CheckAlive(self, "is_window_rendering_disabled");
  return HostCore(self)->window.windowless_rendering_enabled ? 1 : 0;
}

void CEF_CALLBACK HostWasResized(cef_browser_host_t* self) {
  CheckAlive(self, "was_resized");
  BrowserCore* b = HostCore(self);
  Event("host.was_resized").Num("browser", b->id).Num("from_ui", OnUiThread() ? 1 : 0);
  PostEngineWork([b] {
    if (b->closed.load()) return;
    QueryViewRect(b, "was_resized");
    PaintOnResized(b);
  });
}

void CEF_CALLBACK HostWasHidden(cef_browser_host_t* self, int hidden) {
  CheckAlive(self, "was_hidden");
  BrowserCore* b = HostCore(self);
  Event("host.was_hidden").Num("browser", b->id).Num("hidden", hidden).Num("from_ui", OnUiThread() ? 1 : 0);
  // Applied in order with the frames already asked for; shown again, the whole view repaints.
  PostEngineWork([b, hidden] {
    b->hidden = hidden != 0;
    if (!hidden) PaintOnShown(b);
  });
}

void CEF_CALLBACK HostInvalidate(cef_browser_host_t* self, cef_paint_element_type_t type) {
  CheckAlive(self, "invalidate");
  BrowserCore* b = HostCore(self);
  Event("host.invalidate").Num("browser", b->id).Num("type", type).Num("from_ui", OnUiThread() ? 1 : 0);
  PostEngineWork([b, type] {
    if (!b->closed.load()) PaintOnInvalidate(b, type);
  });
}

void CEF_CALLBACK HostSendExternalBeginFrame(cef_browser_host_t* self) {
  CheckAlive(self, "send_external_begin_frame");
  BrowserCore* b = HostCore(self);
  Event("host.send_external_begin_frame").Num("browser", b->id).Num("from_ui", OnUiThread() ? 1 : 0);
  PostEngineWork([b] {
    if (!b->closed.load()) PaintOnBeginFrame(b);
  });
}

void CEF_CALLBACK HostSendKeyEvent(cef_browser_host_t* self, const cef_key_event_t* e) {
  CheckAlive(self, "send_key_event");
  if (!e) {
    Event("host.send_key_event").Num("browser", HostCore(self)->id).Text("event", "null");
    return;
  }
  Event("host.send_key_event").Num("browser", HostCore(self)->id).Num("type", e->type).Unsigned("modifiers", e->modifiers)
      .Num("windows_key_code", e->windows_key_code).Num("native_key_code", e->native_key_code)
      .Num("is_system_key", e->is_system_key).Unsigned("character", e->character)
      .Unsigned("unmodified_character", e->unmodified_character)
      .Num("focus_on_editable_field", e->focus_on_editable_field);
  if (HostCore(self)->real) RealKey(HostCore(self), *e);
}

void CEF_CALLBACK HostSendMouseClickEvent(cef_browser_host_t* self, const cef_mouse_event_t* e,
                                          cef_mouse_button_type_t type, int mouse_up, int click_count) {
  CheckAlive(self, "send_mouse_click_event");
  Event("host.send_mouse_click_event").Num("browser", HostCore(self)->id).Num("x", e ? e->x : 0).Num("y", e ? e->y : 0)
      .Unsigned("modifiers", e ? e->modifiers : 0).Num("button", type).Num("mouse_up", mouse_up)
      .Num("click_count", click_count);
  if (e && HostCore(self)->real) RealMouseClick(HostCore(self), *e, type, mouse_up != 0, click_count);
}

void CEF_CALLBACK HostSendMouseMoveEvent(cef_browser_host_t* self, const cef_mouse_event_t* e, int mouse_leave) {
  CheckAlive(self, "send_mouse_move_event");
  Event("host.send_mouse_move_event").Num("browser", HostCore(self)->id).Num("x", e ? e->x : 0).Num("y", e ? e->y : 0)
      .Unsigned("modifiers", e ? e->modifiers : 0).Num("mouse_leave", mouse_leave);
  if (e && HostCore(self)->real) RealMouseMove(HostCore(self), *e, mouse_leave != 0);
}

void CEF_CALLBACK HostSendMouseWheelEvent(cef_browser_host_t* self, const cef_mouse_event_t* e, int dx, int dy) {
  CheckAlive(self, "send_mouse_wheel_event");
  Event("host.send_mouse_wheel_event").Num("browser", HostCore(self)->id).Num("x", e ? e->x : 0).Num("y", e ? e->y : 0)
      .Unsigned("modifiers", e ? e->modifiers : 0).Num("delta_x", dx).Num("delta_y", dy);
  if (e && HostCore(self)->real) RealMouseWheel(HostCore(self), *e, dx, dy);
}

void CEF_CALLBACK HostSendTouchEvent(cef_browser_host_t* self, const cef_touch_event_t*) {
  CheckAlive(self, "send_touch_event");
  Event("host.send_touch_event").Num("browser", HostCore(self)->id);
}

void CEF_CALLBACK HostSendCaptureLostEvent(cef_browser_host_t* self) {
  CheckAlive(self, "send_capture_lost_event");
  Event("host.send_capture_lost_event").Num("browser", HostCore(self)->id);
}

int CEF_CALLBACK HostGetWindowlessFrameRate(cef_browser_host_t* self) {
  CheckAlive(self, "get_windowless_frame_rate");
  return HostCore(self)->frame_rate.load();
}

void CEF_CALLBACK HostSetWindowlessFrameRate(cef_browser_host_t* self, int rate) {
  CheckAlive(self, "set_windowless_frame_rate");
  BrowserCore* b = HostCore(self);
  Event("host.set_windowless_frame_rate").Num("browser", b->id).Num("rate", rate);
  b->frame_rate = rate;
  PostEngineWork([b] { PaintOnFrameRate(b); });
}

void CEF_CALLBACK HostSetAudioMuted(cef_browser_host_t* self, int mute) {
  CheckAlive(self, "set_audio_muted");
  Event("host.set_audio_muted").Num("browser", HostCore(self)->id).Num("mute", mute);
}

cef_runtime_style_t CEF_CALLBACK HostGetRuntimeStyle(cef_browser_host_t* self) {
  CheckAlive(self, "get_runtime_style");
  return CEF_RUNTIME_STYLE_ALLOY;  // windowless browsers always use the Alloy style
}

void CEF_CALLBACK HostNotifyMoveOrResizeStarted(cef_browser_host_t* self) {
  CheckAlive(self, "notify_move_or_resize_started");
  Event("host.notify_move_or_resize_started").Num("browser", HostCore(self)->id);
}

void CEF_CALLBACK HostSetZoomLevel(cef_browser_host_t* self, double level) {
  CheckAlive(self, "set_zoom_level");
  Event("host.set_zoom_level").Num("browser", HostCore(self)->id).Real("level", level);
}

double CEF_CALLBACK HostGetZoomLevel(cef_browser_host_t* self) {
  CheckAlive(self, "get_zoom_level");
  return 0.0;
}

void CEF_CALLBACK HostSetAccessibilityState(cef_browser_host_t* self, cef_state_t state) {
  CheckAlive(self, "set_accessibility_state");
  Event("host.set_accessibility_state").Num("browser", HostCore(self)->id).Num("state", state);
}

void FillHost(cef_browser_host_t* h) {
  h->notify_move_or_resize_started = HostNotifyMoveOrResizeStarted;
  h->set_zoom_level = HostSetZoomLevel;
  h->get_zoom_level = HostGetZoomLevel;
  h->set_accessibility_state = HostSetAccessibilityState;
  FillHostIme(h);
  h->get_browser = HostGetBrowser;
  h->close_browser = HostCloseBrowser;
  h->try_close_browser = HostTryCloseBrowser;
  h->set_focus = HostSetFocus;
  h->get_window_handle = HostGetWindowHandle;
  h->has_view = HostHasView;
  h->get_client = HostGetClient;
  h->is_window_rendering_disabled = HostIsWindowRenderingDisabled;
  h->was_resized = HostWasResized;
  h->was_hidden = HostWasHidden;
  h->invalidate = HostInvalidate;
  h->send_external_begin_frame = HostSendExternalBeginFrame;
  h->send_key_event = HostSendKeyEvent;
  h->send_mouse_click_event = HostSendMouseClickEvent;
  h->send_mouse_move_event = HostSendMouseMoveEvent;
  h->send_mouse_wheel_event = HostSendMouseWheelEvent;
  h->send_touch_event = HostSendTouchEvent;
  h->send_capture_lost_event = HostSendCaptureLostEvent;
  h->get_windowless_frame_rate = HostGetWindowlessFrameRate;
  h->set_windowless_frame_rate = HostSetWindowlessFrameRate;
  h->set_audio_muted = HostSetAudioMuted;
  h->get_runtime_style = HostGetRuntimeStyle;
  FillPointerHostSlots(h);
}

// ---------------------------------------------------------------------------------------
// cef_browser_t

BrowserCore* Core(cef_browser_t* self) { return CoreOf<BrowserCore>(self); }

int CEF_CALLBACK BrowserIsValid(cef_browser_t* self) {
  CheckAlive(self, "is_valid");
  return Core(self)->closed.load() ? 0 : 1;
}
cef_browser_host_t* CEF_CALLBACK BrowserGetHost(cef_browser_t* self) {
  CheckAlive(self, "get_host");
  return MakeWrapper<cef_browser_host_t>(Core(self), "browser_host", "get_host", FillHost);
}
int CEF_CALLBACK BrowserCanGoBack(cef_browser_t* self) {
  CheckAlive(self, "can_go_back");
  return 0;
}
void CEF_CALLBACK BrowserGoBack(cef_browser_t* self) {
  CheckAlive(self, "go_back");
  Event("browser.go_back").Num("browser", Core(self)->id);
}
int CEF_CALLBACK BrowserCanGoForward(cef_browser_t* self) {
  CheckAlive(self, "can_go_forward");
  return 0;
}
void CEF_CALLBACK BrowserGoForward(cef_browser_t* self) {
  CheckAlive(self, "go_forward");
  Event("browser.go_forward").Num("browser", Core(self)->id);
}
int CEF_CALLBACK BrowserIsLoading(cef_browser_t* self) {
  CheckAlive(self, "is_loading");
  return 0;
}
void CEF_CALLBACK BrowserReload(cef_browser_t* self) {
  CheckAlive(self, "reload");
  BrowserCore* b = Core(self);
  Event("browser.reload").Num("browser", b->id).Num("ignore_cache", 0).Num("from_ui", OnUiThread() ? 1 : 0);
  PostEngineWork([b] {
    if (b->real && !b->closed.load()) {
      RealReload(b, false);
    } else {
      Navigate(b, &b->main_frame, b->main_frame.url, TT_RELOAD, "reload");
    }
  });
}
void CEF_CALLBACK BrowserReloadIgnoreCache(cef_browser_t* self) {
  CheckAlive(self, "reload_ignore_cache");
  BrowserCore* b = Core(self);
  Event("browser.reload").Num("browser", b->id).Num("ignore_cache", 1).Num("from_ui", OnUiThread() ? 1 : 0);
  PostEngineWork([b] {
    if (b->real && !b->closed.load()) {
      RealReload(b, true);
    } else {
      Navigate(b, &b->main_frame, b->main_frame.url, TT_RELOAD, "reload_ignore_cache");
    }
  });
}
void CEF_CALLBACK BrowserStopLoad(cef_browser_t* self) {
  CheckAlive(self, "stop_load");
  Event("browser.stop_load").Num("browser", Core(self)->id);
}
int CEF_CALLBACK BrowserGetIdentifier(cef_browser_t* self) {
  CheckAlive(self, "get_identifier");
  return Core(self)->id;
}
int CEF_CALLBACK BrowserIsSame(cef_browser_t* self, cef_browser_t* that) {
  CheckAlive(self, "is_same");
  int same = that && IsWrapper(that) && CoreOf<BrowserCore>(that) == Core(self) ? 1 : 0;
  Consume(that, "is_same");
  return same;
}
int CEF_CALLBACK BrowserIsPopup(cef_browser_t* self) {
  CheckAlive(self, "is_popup");
  return Core(self)->popup ? 1 : 0;
}
int CEF_CALLBACK BrowserHasDocument(cef_browser_t* self) {
  CheckAlive(self, "has_document");
  return 1;
}
cef_frame_t* CEF_CALLBACK BrowserGetMainFrame(cef_browser_t* self) {
  CheckAlive(self, "get_main_frame");
  return WrapFrame(&Core(self)->main_frame, "get_main_frame");
}
cef_frame_t* CEF_CALLBACK BrowserGetFocusedFrame(cef_browser_t* self) {
  CheckAlive(self, "get_focused_frame");
  return WrapFrame(&Core(self)->main_frame, "get_focused_frame");
}
cef_frame_t* CEF_CALLBACK BrowserGetFrameByIdentifier(cef_browser_t* self, const cef_string_t* identifier) {
  CheckAlive(self, "get_frame_by_identifier");
  BrowserCore* b = Core(self);
  std::u16string id = ToU16(identifier);
  if (id == b->main_frame.identifier) return WrapFrame(&b->main_frame, "get_frame_by_identifier");
  if (id == b->sub_frame.identifier) return WrapFrame(&b->sub_frame, "get_frame_by_identifier");
  return nullptr;
}
cef_frame_t* CEF_CALLBACK BrowserGetFrameByName(cef_browser_t* self, const cef_string_t* name) {
  CheckAlive(self, "get_frame_by_name");
  BrowserCore* b = Core(self);
  if (ToU16(name) == b->sub_frame.name) return WrapFrame(&b->sub_frame, "get_frame_by_name");
  return nullptr;
}
size_t CEF_CALLBACK BrowserGetFrameCount(cef_browser_t* self) {
  CheckAlive(self, "get_frame_count");
  return 2;
}

void FillBrowser(cef_browser_t* b) {
  b->is_valid = BrowserIsValid;
  b->get_host = BrowserGetHost;
  b->can_go_back = BrowserCanGoBack;
  b->go_back = BrowserGoBack;
  b->can_go_forward = BrowserCanGoForward;
  b->go_forward = BrowserGoForward;
  b->is_loading = BrowserIsLoading;
  b->reload = BrowserReload;
  b->reload_ignore_cache = BrowserReloadIgnoreCache;
  b->stop_load = BrowserStopLoad;
  b->get_identifier = BrowserGetIdentifier;
  b->is_same = BrowserIsSame;
  b->is_popup = BrowserIsPopup;
  b->has_document = BrowserHasDocument;
  b->get_main_frame = BrowserGetMainFrame;
  b->get_focused_frame = BrowserGetFocusedFrame;
  b->get_frame_by_identifier = BrowserGetFrameByIdentifier;
  b->get_frame_by_name = BrowserGetFrameByName;
  b->get_frame_count = BrowserGetFrameCount;
}

// A handler getter of the client, called only when the slot lies inside the client's size.
#define STANDIN_HANDLER_OF(core, getter)                                                   \
  (STANDIN_HAS_SLOT((core)->client, cef_client_t, getter) ? (core)->client->getter((core)->client) : nullptr)

BrowserCore* CreateCore(const cef_window_info_t* window, cef_client_t* client, const cef_browser_settings_t* settings,
                        const std::u16string& url) {
  BrowserCore* b = new BrowserCore();
  b->client = client;
  if (window) {
    b->window = *window;
    b->window.window_name = cef_string_t();
  }
  b->settings = *settings;
  b->settings.standard_font_family = cef_string_t();
  b->settings.fixed_font_family = cef_string_t();
  b->settings.serif_font_family = cef_string_t();
  b->settings.sans_serif_font_family = cef_string_t();
  b->settings.cursive_font_family = cef_string_t();
  b->settings.fantasy_font_family = cef_string_t();
  b->settings.default_encoding = cef_string_t();
  b->frame_rate = settings->windowless_frame_rate;
  {
    std::lock_guard<std::mutex> hold(browsers_lock);
    if (!browsers) browsers = new std::vector<BrowserCore*>();
    b->id = next_browser_id++;
    browsers->push_back(b);
  }
  b->main_frame.browser = b;
  b->main_frame.identifier = Utf8ToU16(std::to_string(b->id) + "-main");
  b->sub_frame.browser = b;
  b->sub_frame.main = false;
  b->sub_frame.identifier = Utf8ToU16(std::to_string(b->id) + "-sub");
  b->sub_frame.name = u"child";
  (void)url;
  return b;
}

void JournalCreate(const cef_window_info_t* w, cef_client_t* client, const cef_string_t* url,
                   const cef_browser_settings_t* s, cef_dictionary_value_t* extra, cef_request_context_t* context,
                   int id, const char* how) {
  Event e("create_browser");
  e.Num("browser", id).Text("how", how).Ptr("client", client).Text("url", ToJournal(url))
      .Ptr("extra_info", extra).Ptr("request_context", context).Num("on_ui", OnUiThread() ? 1 : 0)
      .Unsigned("ex_style", w ? w->ex_style : 0).Text("window_name", w ? ToJournal(&w->window_name) : "")
      .Unsigned("style", w ? w->style : 0).Num("x", w ? w->bounds.x : 0).Num("y", w ? w->bounds.y : 0)
      .Num("width", w ? w->bounds.width : 0).Num("height", w ? w->bounds.height : 0)
      .Ptr("parent_window", w ? w->parent_window : nullptr).Ptr("menu", w ? w->menu : nullptr)
      .Num("windowless_rendering_enabled", w ? w->windowless_rendering_enabled : 0)
      .Num("shared_texture_enabled", w ? w->shared_texture_enabled : 0)
      .Num("external_begin_frame_enabled", w ? w->external_begin_frame_enabled : 0)
      .Ptr("window", w ? w->window : nullptr).Num("runtime_style", w ? w->runtime_style : 0)
      .Unsigned("settings_size", s->size).Num("windowless_frame_rate", s->windowless_frame_rate)
      .Text("standard_font_family", ToJournal(&s->standard_font_family))
      .Text("fixed_font_family", ToJournal(&s->fixed_font_family))
      .Text("serif_font_family", ToJournal(&s->serif_font_family))
      .Text("sans_serif_font_family", ToJournal(&s->sans_serif_font_family))
      .Text("cursive_font_family", ToJournal(&s->cursive_font_family))
      .Text("fantasy_font_family", ToJournal(&s->fantasy_font_family)).Num("default_font_size", s->default_font_size)
      .Num("default_fixed_font_size", s->default_fixed_font_size).Num("minimum_font_size", s->minimum_font_size)
      .Num("minimum_logical_font_size", s->minimum_logical_font_size)
      .Text("default_encoding", ToJournal(&s->default_encoding)).Num("remote_fonts", s->remote_fonts)
      .Num("javascript", s->javascript).Num("javascript_close_windows", s->javascript_close_windows)
      .Num("javascript_access_clipboard", s->javascript_access_clipboard)
      .Num("javascript_dom_paste", s->javascript_dom_paste).Num("image_loading", s->image_loading)
      .Num("image_shrink_standalone_to_fit", s->image_shrink_standalone_to_fit)
      .Num("text_area_resize", s->text_area_resize).Num("tab_to_links", s->tab_to_links)
      .Num("local_storage", s->local_storage).Num("databases", s->databases).Num("webgl", s->webgl)
      .Hex("background_color", s->background_color).Num("chrome_status_bubble", s->chrome_status_bubble)
      .Num("chrome_zoom_bubble", s->chrome_zoom_bubble);
  // Only with a dictionary, so lines of creations without one stay as they were.
  if (extra) {
    DictionaryContent content;
    e.Text("extra_info_keys", DictionaryContentOf(extra, &content) ? DescribeDictionary(content) : "foreign");
  }
}

// The engine keeps a copy of the creation info for the browser's renderers and drops the
// reference it was given, whether the creation was accepted or not.
void KeepExtraInfo(BrowserCore* b, cef_dictionary_value_t* extra) {
  if (!extra) return;
  if (b) b->has_extra_info = DictionaryContentOf(extra, &b->extra_info);
  Consume(extra, "create_browser extra_info");
}

// Validates a creation request as the engine does; on refusal the client reference is
// dropped and 0 comes back.
bool AcceptCreate(cef_client_t* client, const cef_browser_settings_t* settings, const char* how) {
  const char* reason = nullptr;
  if (!settings || settings->size != sizeof(cef_browser_settings_t)) {
    reason = "browser settings size";
  } else if (!EngineInitialized() || EngineShutDown()) {
    reason = "engine not initialized";
  } else {
    const Directive* forced = CurrentScenario().Global("create_browser_result");
    if (forced && forced->At(0, 1) == 0) reason = "scenario";
  }
  if (!reason) return true;
  Event("create_browser.refused").Text("how", how).Text("reason", reason)
      .Unsigned("settings_size", settings ? settings->size : 0);
  ReleaseProductObject(client ? &client->base : nullptr);
  return false;
}

void AnnounceCreated(BrowserCore* b, const std::u16string& url) {
  if (b->closed.load()) return;
  // In the Chromium mode the browser becomes a real page; when Chromium is not there it
  // stays a scripted one (chromium.failed says why).
  // The page's device scale picks the Chromium it lives in (one per scale).
  const float scale = QueryScreenScale(b, "created");
  if (ChromiumModeRequested() && ChromiumReady(20000, ScaleMilli(scale))) RealPageOpen(b);
  cef_life_span_handler_t* life = LifeSpanHandlerOf(b);
  bool present = STANDIN_HAS_SLOT(life, cef_life_span_handler_t, on_after_created);
  b->created = true;
  Event("cb.on_after_created").Num("browser", b->id).Num("popup", 0).Num("present", present ? 1 : 0);
  if (present) life->on_after_created(life, WrapBrowser(b, "on_after_created"));
  ReleaseHandler(life);
  QueryViewRect(b, "created");
  PaintOnCreated(b);
  Navigate(b, &b->main_frame, url, TT_EXPLICIT, "create");
}

}  // namespace

bool OfferNavigation(BrowserCore* b, FrameCore* frame, const std::u16string& url, int transition, bool gesture,
                     bool redirect) {
  return OfferNavigationImpl(b, frame, url, transition, gesture, redirect);
}
void RaiseLoadStart(BrowserCore* b, FrameCore* frame, int transition) { LoadStartImpl(b, frame, transition); }
void RaiseLoadEnd(BrowserCore* b, FrameCore* frame, int status) { LoadEndImpl(b, frame, status); }
void RaiseLoadError(BrowserCore* b, FrameCore* frame, int code, const std::u16string& text, const std::u16string& url) {
  LoadErrorImpl(b, frame, code, text, url);
}
void RaiseConsole(BrowserCore* b, int level, const std::u16string& message, const std::u16string& source, int line) {
  RaiseConsoleImpl(b, level, message, source, line);
}
void OfferResource(BrowserCore* b, FrameCore* frame, const std::u16string& url, int type, bool navigation,
                   ResourceDone done, const RequestHeaders& headers, const std::string& method) {
  OfferResourceImpl(b, frame, url, type, navigation, std::move(done), headers, method);
}

void PostIoWork(std::function<void()> work) { PostIo(std::move(work)); }

void RaiseRenderProcessTerminated(BrowserCore* b, int status, int error_code, const std::u16string& text) {
  cef_request_handler_t* h = RequestHandlerOf(b);
  const bool has = STANDIN_HAS_SLOT(h, cef_request_handler_t, on_render_process_terminated);
  Event("cb.on_render_process_terminated").Num("browser", b->id).Num("status", status).Num("error_code", error_code)
      .Text("text", U16ToUtf8(text)).Num("present", has ? 1 : 0);
  if (has) {
    cef_string_t t = {const_cast<char16_t*>(text.data()), text.size(), nullptr};
    h->on_render_process_terminated(h, WrapBrowser(b, "on_render_process_terminated"),
                                    static_cast<cef_termination_status_t>(status), error_code, &t);
  }
  ReleaseHandler(h);
}

long long EngineHostPid() { return HostProcessId(); }

cef_browser_t* WrapBrowser(BrowserCore* core, const char* origin) {
  return MakeWrapper<cef_browser_t>(core, "browser", origin, FillBrowser);
}

cef_frame_t* WrapFrame(FrameCore* core, const char* origin) {
  return MakeWrapper<cef_frame_t>(core, "frame", origin, FillFrame);
}

cef_render_handler_t* RenderHandlerOf(BrowserCore* core) {
  return STANDIN_HANDLER_OF(core, get_render_handler);
}
cef_life_span_handler_t* LifeSpanHandlerOf(BrowserCore* core) {
  return STANDIN_HANDLER_OF(core, get_life_span_handler);
}
cef_load_handler_t* LoadHandlerOf(BrowserCore* core) {
  return STANDIN_HANDLER_OF(core, get_load_handler);
}
cef_display_handler_t* DisplayHandlerOf(BrowserCore* core) {
  return STANDIN_HANDLER_OF(core, get_display_handler);
}
cef_request_handler_t* RequestHandlerOf(BrowserCore* core) {
  return STANDIN_HANDLER_OF(core, get_request_handler);
}
cef_context_menu_handler_t* ContextMenuHandlerOf(BrowserCore* core) {
  return STANDIN_HANDLER_OF(core, get_context_menu_handler);
}

void ReleaseHandler(void* handler) { ReleaseProductObject(static_cast<cef_base_ref_counted_t*>(handler)); }

cef_rect_t QueryViewRect(BrowserCore* core, const char* why) {
  cef_rect_t rect = {0, 0, 0, 0};
  cef_render_handler_t* h = RenderHandlerOf(core);
  bool has = STANDIN_HAS_SLOT(h, cef_render_handler_t, get_view_rect);
  if (has) h->get_view_rect(h, WrapBrowser(core, "get_view_rect"), &rect);
  ReleaseHandler(h);
  Event("cb.get_view_rect").Num("browser", core->id).Text("why", why).Num("present", has ? 1 : 0).Num("x", rect.x)
      .Num("y", rect.y).Num("width", rect.width).Num("height", rect.height);
  return rect;
}

std::vector<BrowserCore*> AllBrowsers() {
  std::lock_guard<std::mutex> hold(browsers_lock);
  return browsers ? *browsers : std::vector<BrowserCore*>();
}

void ShutdownBrowsers() {
  StopChromium();
  StopIo();
  PaintShutdown();
  for (BrowserCore* b : AllBrowsers()) {
    if (!b->closed.load()) Event("shutdown.browser_open").Num("browser", b->id).Num("created", b->created.load() ? 1 : 0);
  }
}

}  // namespace standin

using namespace standin;

extern "C" {

int cef_browser_host_create_browser(const cef_window_info_t* window_info, cef_client_t* client, const cef_string_t* url,
                                    const cef_browser_settings_t* settings, cef_dictionary_value_t* extra_info,
                                    cef_request_context_t* request_context) {
  if (!AcceptCreate(client, settings, "async")) {
    KeepExtraInfo(nullptr, extra_info);
    return 0;
  }
  std::u16string target = ToU16(url);
  BrowserCore* b = CreateCore(window_info, client, settings, target);
  JournalCreate(window_info, client, url, settings, extra_info, request_context, b->id, "async");
  KeepExtraInfo(b, extra_info);
  long long delay = 0;
  if (const Directive* d = CurrentScenario().Global("created_delay_ms")) delay = d->At(0, 0);
  PostEngineWork([b, target] { AnnounceCreated(b, target); }, delay);
  return 1;
}

cef_browser_t* cef_browser_host_create_browser_sync(const cef_window_info_t* window_info, cef_client_t* client,
                                                    const cef_string_t* url, const cef_browser_settings_t* settings,
                                                    cef_dictionary_value_t* extra_info,
                                                    cef_request_context_t* request_context) {
  if (!AcceptCreate(client, settings, "sync")) {
    KeepExtraInfo(nullptr, extra_info);
    return nullptr;
  }
  std::u16string target = ToU16(url);
  BrowserCore* b = CreateCore(window_info, client, settings, target);
  JournalCreate(window_info, client, url, settings, extra_info, request_context, b->id, "sync");
  KeepExtraInfo(b, extra_info);
  PostEngineWork([b, target] { AnnounceCreated(b, target); });
  return WrapBrowser(b, "cef_browser_host_create_browser_sync");
}

}  // extern "C"
