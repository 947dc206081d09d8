#include "testbed/engine/real_page.h"

#include <windows.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "testbed/engine/browser.h"
#include "testbed/engine/devtools.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/loop.h"
#include "testbed/engine/paint.h"
#include "testbed/engine/pointer.h"
#include "testbed/engine/real_begin_frames.h"
#include "testbed/engine/real_frame.h"
#include "testbed/engine/real_ime.h"
#include "testbed/engine/real_pointer.h"
#include "testbed/engine/renderer_faults.h"
#include "testbed/engine/real_renderer.h"
#include "testbed/engine/resource_driver.h"
#include "testbed/engine/strings.h"

namespace standin {

struct RealPage {
  BrowserCore* browser = nullptr;
  std::string target;   // also the main frame's id
  std::string session;
  int scale_milli = 1000;  // the browser it lives in
  std::mutex lock;      // guards the maps below
  std::map<std::string, long long> contexts;        // frame id -> its default script context
  std::map<std::string, std::string> documents;     // request id -> frame id of a document request
  std::map<std::string, std::string> document_urls; // request id -> URL
  std::map<std::string, bool> loading_frames;       // sub-frames with a committed document still loading
  int main_status = 200;
  std::atomic<bool> frame_pending{false};
  std::atomic<int> decoding{0};  // screenshots waiting for the decoder
  std::atomic<bool> whole_next{true};
  std::atomic<bool> crashed{false};  // its renderer is gone; set once per loss, reset by a new document
  std::atomic<bool> gone{false};     // so is its target (or its whole Chromium): a load opens a new page
  std::atomic<bool> closed{false};
  std::atomic<long long> skipped{0};
  // The reader thread's copy of the last frame, to find what changed.
  DecodedFrame last;
};

namespace {

using Clock = std::chrono::steady_clock;

long long Micros(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration_cast<std::chrono::microseconds>(b - a).count();
}

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

int ErrorCode(const std::string& text) {
  static const std::map<std::string, int> codes = {
      {"net::ERR_FAILED", -2},           {"net::ERR_ABORTED", -3},
      {"net::ERR_FILE_NOT_FOUND", -6},   {"net::ERR_TIMED_OUT", -7},
      {"net::ERR_ACCESS_DENIED", -10},   {"net::ERR_BLOCKED_BY_CLIENT", -20},
      {"net::ERR_CONNECTION_REFUSED", -102}, {"net::ERR_CONNECTION_FAILED", -104},
      {"net::ERR_NAME_NOT_RESOLVED", -105},  {"net::ERR_INTERNET_DISCONNECTED", -106},
      {"net::ERR_ADDRESS_UNREACHABLE", -109}, {"net::ERR_INVALID_URL", -300},
      {"net::ERR_UNKNOWN_URL_SCHEME", -302},
  };
  auto it = codes.find(text);
  return it == codes.end() ? -2 : it->second;
}

int ResourceType(const std::string& type, bool main) {
  if (type == "Document") return main ? RT_MAIN_FRAME : RT_SUB_FRAME;
  if (type == "Stylesheet") return RT_STYLESHEET;
  if (type == "Script") return RT_SCRIPT;
  if (type == "Image") return RT_IMAGE;
  if (type == "Font") return RT_FONT_RESOURCE;
  if (type == "Media") return RT_MEDIA;
  if (type == "XHR" || type == "Fetch") return RT_XHR;
  if (type == "Ping") return RT_PING;
  return RT_SUB_RESOURCE;
}

// Console text as the engine gives it: the arguments' texts joined by spaces.
std::string ArgumentText(const Json& a) {
  const std::string type = a.value("type", std::string());
  if (a.contains("value")) {
    const Json& v = a["value"];
    if (v.is_string()) return v.get<std::string>();
    if (v.is_boolean()) return v.get<bool>() ? "true" : "false";
    if (v.is_null()) return "null";
  }
  if (type == "undefined") return "undefined";
  if (a.contains("unserializableValue")) return a["unserializableValue"].get<std::string>();
  if (a.contains("description")) return a["description"].get<std::string>();
  if (a.contains("value")) return a["value"].dump();
  return type;
}

int ConsoleLevel(const std::string& type) {
  if (type == "error" || type == "assert") return LOGSEVERITY_ERROR;
  if (type == "warning") return LOGSEVERITY_WARNING;
  if (type == "debug") return LOGSEVERITY_VERBOSE;
  return LOGSEVERITY_INFO;
}

void Continue(RealPage* page, const std::string& request, const std::u16string& asked, const std::u16string& final_url) {
  Json params = {{"requestId", request}};
  if (final_url != asked) params["url"] = ToChromiumUrl(final_url);
  DevToolsSend("Fetch.continueRequest", params, page->session);
}

// The product's decision on a paused request: the network (possibly at a rewritten URL),
// or its own handler's answer.
ResourceDone Answer(RealPage* page, const std::string& request, const std::u16string& asked) {
  return [page, request, asked](const std::u16string& final_url, std::shared_ptr<ResourceAnswer> answer) {
    if (!answer) {
      Continue(page, request, asked, final_url);
    } else {
      FulfillRequest(page->session, request, *answer);
    }
  };
}

RequestHeaders HeadersOf(const Json& request) {
  RequestHeaders headers;
  if (!request.contains("headers") || !request["headers"].is_object()) return headers;
  for (auto it = request["headers"].begin(); it != request["headers"].end(); ++it) {
    std::string name = it.key();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (it.value().is_string()) headers[name] = it.value().get<std::string>();
  }
  return headers;
}

// A request Chromium paused: a navigation goes to on_before_browse on the UI thread, then
// (allowed) with every other request to the resource-request handling on the IO thread.
void OnRequestPaused(BrowserCore* b, const Json& p) {
  RealPage* page = b->real;
  const std::string request = p.value("requestId", std::string());
  const std::string type = p.value("resourceType", std::string());
  const std::string frame_id = p.value("frameId", std::string());
  const Json no_request = Json::object();
  const Json& r = p.contains("request") ? p["request"] : no_request;
  const std::string url = r.value("url", std::string());
  const std::string method = r.value("method", std::string("GET"));
  const RequestHeaders headers = HeadersOf(r);
  const std::u16string product_url = ToProductUrl(url);
  const bool main = frame_id == page->target;
  const int resource_type = ResourceType(type, main);
  if (type == "Document") {
    const bool redirect = p.contains("redirectedRequestId");
    PostEngineWork([b, page, request, product_url, main, redirect, resource_type, headers, method] {
      FrameCore* frame = main ? &b->main_frame : &b->sub_frame;
      if (b->closed.load() || !OfferNavigation(b, frame, product_url, TT_LINK, false, redirect)) {
        DevToolsSend("Fetch.failRequest", {{"requestId", request}, {"errorReason", "Aborted"}}, page->session);
        return;
      }
      OfferResource(b, frame, product_url, resource_type, true, Answer(page, request, product_url), headers, method);
    });
    return;
  }
  OfferResource(b, main ? &b->main_frame : &b->sub_frame, product_url, resource_type, false,
                Answer(page, request, product_url), headers, method);
}

// The page's renderer, its target or its whole Chromium went away: no more frames are asked
// of it, and the product hears of it once as of a renderer that ended, so it recovers as
// it would from the engine (its reload opens the page again when the target is gone).
void PageLost(BrowserCore* b, RealPage* page, bool target_gone, int status, int error_code, const char* why) {
  if (page->closed.load() || b->closed.load()) return;
  if (target_gone) page->gone = true;
  page->frame_pending = false;
  if (page->crashed.exchange(true)) return;  // already told (the crash comes on two sessions)
  Event("chromium.page_lost").Num("browser", b->id).Text("why", why).Num("status", status)
      .Num("target_gone", target_gone ? 1 : 0);
  PostEngineWork([b, page, status, error_code] {
    if (b->real == page) EndRenderer(b, status, error_code);
  });
}

int TerminationStatus(const std::string& text) {
  if (text == "killed" || text == "oom killed") return TS_PROCESS_WAS_KILLED;
  if (text == "oom") return TS_PROCESS_OOM;
  if (text == "launch failed") return TS_LAUNCH_FAILED;
  if (text == "integrity failure") return TS_INTEGRITY_FAILURE;
  if (text == "abnormal") return TS_ABNORMAL_TERMINATION;
  return TS_PROCESS_CRASHED;
}

// The live page of a browser of the product whose target (or, with `by_session`, DevTools
// session) is `id` in the Chromium of `scale_milli`.
BrowserCore* PageOwner(int scale_milli, const std::string& id, bool by_session) {
  for (BrowserCore* b : AllBrowsers()) {
    RealPage* page = b->real;
    if (page == nullptr || page->closed.load() || page->scale_milli != scale_milli) continue;
    if ((by_session ? page->session : page->target) == id) return b;
  }
  return nullptr;
}

// Events of a Chromium's own session: a page's renderer crashed, or its target went away
// without the product closing it.
void OnBrowserEvent(int scale_milli, const std::string& method, const Json& p) {
  if (method == "Target.targetCrashed") {
    if (BrowserCore* b = PageOwner(scale_milli, p.value("targetId", std::string()), false)) {
      PageLost(b, b->real, false, TerminationStatus(p.value("status", std::string())), p.value("errorCode", 0),
               "target crashed");
    }
  } else if (method == "Target.targetDestroyed") {
    if (BrowserCore* b = PageOwner(scale_milli, p.value("targetId", std::string()), false)) {
      PageLost(b, b->real, true, TS_PROCESS_WAS_KILLED, 0, "target destroyed");
    }
  } else if (method == "Target.detachedFromTarget") {
    if (BrowserCore* b = PageOwner(scale_milli, p.value("sessionId", std::string()), true)) {
      PageLost(b, b->real, true, TS_PROCESS_WAS_KILLED, 0, "target detached");
    }
  }
}

// A whole Chromium ended: every page in it is gone.
void OnLost(int scale_milli) {
  for (BrowserCore* b : AllBrowsers()) {
    RealPage* page = b->real;
    if (page != nullptr && page->scale_milli == scale_milli) {
      PageLost(b, page, true, TS_ABNORMAL_TERMINATION, 0, "chromium lost");
    }
  }
}

void OnPageEvent(BrowserCore* b, const std::string& method, const Json& p) {
  RealPage* page = b->real;
  if (method == "Fetch.requestPaused") {
    OnRequestPaused(b, p);
  } else if (method == "Page.frameNavigated") {
    const Json& f = p["frame"];
    const bool main = !f.contains("parentId");
    // An error page stands for the URL that failed, as the engine shows it.
    const std::string url = f.contains("unreachableUrl") ? f["unreachableUrl"].get<std::string>()
                                                          : f.value("url", std::string());
    if (main) page->crashed = false;  // a new document has a live renderer
    if (!main) {
      std::lock_guard<std::mutex> hold(page->lock);
      page->loading_frames[f.value("id", std::string())] = true;
    }
    PostEngineWork([b, main, url] {
      if (b->closed.load()) return;
      FrameCore* frame = main ? &b->main_frame : &b->sub_frame;
      frame->url = ToProductUrl(url);
      if (main) ++b->generation;
      RaiseLoadStart(b, frame, TT_EXPLICIT);
    });
  } else if (method == "Page.loadEventFired") {
    int status;
    {
      std::lock_guard<std::mutex> hold(page->lock);
      status = page->main_status;
    }
    PostEngineWork([b, status] {
      if (!b->closed.load()) RaiseLoadEnd(b, &b->main_frame, status);
    });
  } else if (method == "Page.frameStoppedLoading") {
    // A sub-frame's load ends only when a document of it was committed (a cancelled
    // navigation stops loading too).
    {
      std::lock_guard<std::mutex> hold(page->lock);
      if (page->loading_frames.erase(p.value("frameId", std::string())) == 0) return;
    }
    PostEngineWork([b] {
      if (!b->closed.load()) RaiseLoadEnd(b, &b->sub_frame, 200);
    });
  } else if (method == "Network.requestWillBeSent") {
    if (p.value("type", std::string()) != "Document") return;
    std::lock_guard<std::mutex> hold(page->lock);
    page->documents[p.value("requestId", std::string())] = p.value("frameId", std::string());
    page->document_urls[p.value("requestId", std::string())] = p["request"].value("url", std::string());
  } else if (method == "Network.responseReceived") {
    if (p.value("type", std::string()) != "Document") return;
    std::lock_guard<std::mutex> hold(page->lock);
    auto it = page->documents.find(p.value("requestId", std::string()));
    if (it != page->documents.end() && it->second == page->target) page->main_status = p["response"].value("status", 200);
  } else if (method == "Network.loadingFinished") {
    // A document that arrived is looked up no more; kept, every load of a long run stays.
    std::lock_guard<std::mutex> hold(page->lock);
    page->document_urls.erase(p.value("requestId", std::string()));
    page->documents.erase(p.value("requestId", std::string()));
  } else if (method == "Network.loadingFailed") {
    std::string frame_id, url;
    {
      std::lock_guard<std::mutex> hold(page->lock);
      auto it = page->documents.find(p.value("requestId", std::string()));
      if (it == page->documents.end()) return;
      frame_id = it->second;
      url = page->document_urls[it->first];
      page->document_urls.erase(it->first);
      page->documents.erase(it);
    }
    const std::string text = p.value("errorText", std::string("net::ERR_FAILED"));
    // A navigation the product cancelled is aborted, not failed.
    if (text == "net::ERR_ABORTED") return;
    const bool main = frame_id == page->target;
    PostEngineWork([b, main, text, url] {
      if (b->closed.load()) return;
      RaiseLoadError(b, main ? &b->main_frame : &b->sub_frame, ErrorCode(text), Utf8ToU16(text), ToProductUrl(url));
    });
  } else if (method == "Runtime.consoleAPICalled") {
    std::string text;
    for (const Json& a : p["args"]) text += (text.empty() ? "" : " ") + ArgumentText(a);
    std::string source;
    int line = 0;
    if (p.contains("stackTrace") && !p["stackTrace"]["callFrames"].empty()) {
      const Json& top = p["stackTrace"]["callFrames"][0];
      source = top.value("url", std::string());
      line = top.value("lineNumber", 0) + 1;
    }
    const int level = ConsoleLevel(p.value("type", std::string()));
    PostEngineWork([b, level, text, source, line] {
      if (!b->closed.load()) RaiseConsole(b, level, Utf8ToU16(text), ToProductUrl(source), line);
    });
  } else if (method == "Runtime.exceptionThrown") {
    const Json& d = p["exceptionDetails"];
    std::string text = d.value("text", std::string("Uncaught"));
    if (d.contains("exception") && d["exception"].contains("description")) {
      std::string description = d["exception"]["description"].get<std::string>();
      text += " " + description.substr(0, description.find('\n'));
    }
    const std::string source = d.value("url", std::string());
    const int line = d.value("lineNumber", 0) + 1;
    PostEngineWork([b, text, source, line] {
      if (!b->closed.load()) RaiseConsole(b, LOGSEVERITY_ERROR, Utf8ToU16(text), ToProductUrl(source), line);
    });
  } else if (method == "Runtime.executionContextCreated") {
    const Json& c = p["context"];
    if (!c.contains("auxData") || !c["auxData"].value("isDefault", false)) return;
    std::lock_guard<std::mutex> hold(page->lock);
    page->contexts[c["auxData"].value("frameId", std::string())] = c.value("id", 0LL);
  } else if (method == "Runtime.executionContextsCleared") {
    std::lock_guard<std::mutex> hold(page->lock);
    page->contexts.clear();
  } else if (method == "Page.javascriptDialogOpening") {
    // Nobody is there to answer a dialog of an off-screen page.
    DevToolsSend("Page.handleJavaScriptDialog", {{"accept", false}}, page->session);
  } else if (method == "Input.dragIntercepted") {
    RealDragIntercepted(b, p);
  } else if (method == "Inspector.targetCrashed") {
    PageLost(b, page, false, TS_PROCESS_CRASHED, 0, "renderer crashed");
  }
}

// Screenshots are decoded and compared on a thread of their own, in the order they came,
// so the next frame can be on its way meanwhile.
struct Decoder {
  std::mutex lock;
  std::condition_variable wake;
  std::deque<std::function<void()>> queue;
  std::thread thread;
};

Decoder& decoder() {
  static Decoder* d = new Decoder();
  return *d;
}

void PostDecode(std::function<void()> work) {
  Decoder& d = decoder();
  std::lock_guard<std::mutex> hold(d.lock);
  if (!d.thread.joinable()) {
    d.thread = std::thread([] {
      Decoder& me = decoder();
      std::unique_lock<std::mutex> held(me.lock);
      for (;;) {
        while (me.queue.empty()) me.wake.wait(held);
        std::function<void()> next = std::move(me.queue.front());
        me.queue.pop_front();
        if (!next) return;
        held.unlock();
        next();
        held.lock();
      }
    });
  }
  d.queue.push_back(std::move(work));
  d.wake.notify_all();
}

// `page` is the one the frame was asked of, which a reopened browser no longer shows.
void Decode(BrowserCore* b, RealPage* page, const std::string& data, Clock::time_point asked,
            Clock::time_point answered) {
  auto frame = std::make_shared<DecodedFrame>();
  if (!DecodeScreenshot(data, frame.get())) {
    Event("paint.real_bad_png").Num("browser", b->id).Num("length", static_cast<long long>(data.size()));
    return;
  }
  const Clock::time_point decoded = Clock::now();
  bool whole = page->whole_next.exchange(false) || frame->width != page->last.width ||
               frame->height != page->last.height;
  std::vector<cef_rect_t> dirty;
  if (whole) {
    dirty.push_back(cef_rect_t{0, 0, frame->width, frame->height});
  } else {
    dirty = ChangedRects(page->last.pixels, frame->pixels, frame->width, frame->height);
  }
  const Clock::time_point compared = Clock::now();
  page->last.width = frame->width;
  page->last.height = frame->height;
  page->last.pixels = frame->pixels;
  const long long screenshot_us = Micros(asked, answered), decode_us = Micros(answered, decoded),
                  diff_us = Micros(decoded, compared);
  const long long png_bytes = static_cast<long long>(data.size());
  if (dirty.empty()) return;  // damage that left every pixel as it was
  PostEngineWork([b, page, frame, dirty, whole, screenshot_us, decode_us, diff_us, png_bytes] {
    if (b->closed.load() || b->real != page) return;
    Event("paint.real").Num("browser", b->id).Num("width", frame->width).Num("height", frame->height)
        .Num("rects", static_cast<long long>(dirty.size())).Num("whole", whole ? 1 : 0)
        .Num("screenshot_us", screenshot_us).Num("decode_us", decode_us).Num("diff_us", diff_us)
        .Num("png_bytes", png_bytes);
    PaintRealFrame(b, frame->width, frame->height, std::move(frame->pixels), dirty, whole);
  });
}

void OnFrame(BrowserCore* b, RealPage* page, const Json& result, const std::string& error, Clock::time_point asked) {
  const Clock::time_point answered = Clock::now();
  if (error.empty() && result.contains("screenshotData") && !page->closed.load()) {
    auto data = std::make_shared<std::string>(result["screenshotData"].get<std::string>());
    ++page->decoding;
    PostDecode([b, page, data, asked, answered] {
      Decode(b, page, *data, asked, answered);
      --page->decoding;
    });
  }
  page->frame_pending = false;
}

}  // namespace

std::u16string ToProductUrl(const std::string& url) {
  // file:///tmp/x (host) -> file:///Z:/tmp/x; a URL that already names a drive stays.
  if (StartsWith(url, "file:///") && !(url.size() > 9 && std::isalpha(static_cast<unsigned char>(url[8])) && url[9] == ':')) {
    return Utf8ToU16("file:///Z:" + url.substr(7));
  }
  return Utf8ToU16(url);
}

std::string ToChromiumUrl(const std::u16string& url16) {
  const std::string url = U16ToUtf8(url16);
  if (!StartsWith(url, "file:///") || url.size() < 10 || !std::isalpha(static_cast<unsigned char>(url[8])) ||
      url[9] != ':') {
    return url;
  }
  const char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(url[8])));
  const std::size_t tail = url.find_first_of("?#", 10);
  const std::string path = url.substr(10, tail == std::string::npos ? std::string::npos : tail - 10);
  const std::string rest = tail == std::string::npos ? std::string() : url.substr(tail);
  if (drive == 'Z') return "file://" + (path.empty() ? std::string("/") : path) + rest;
  // Another drive: where Wine keeps it on the host.
  using UnixName = char*(CDECL*)(const WCHAR*);
  static UnixName unix_name = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!unix_name) return url;
  std::u16string dos = Utf8ToU16(std::string(1, drive) + ":" + path);
  for (char16_t& c : dos) c = c == u'/' ? u'\\' : c;
  char* host = unix_name(reinterpret_cast<const WCHAR*>(dos.c_str()));
  if (!host) return url;
  std::string result = std::string("file://") + host + rest;
  HeapFree(GetProcessHeap(), 0, host);
  return result;
}

namespace {

// The page's device scale as the emulation keeps it: 1 in the scale-1 browser, as it always
// was; elsewhere 0, which leaves the browser's own forced scale in force.
int EmulatedScale(const BrowserCore* b) { return ScaleMilli(b->scale.load()) == 1000 ? 1 : 0; }

}  // namespace

bool RealPageOpen(BrowserCore* b) {
  static std::once_flag watching;
  std::call_once(watching, [] {
    DevToolsListenBrowsers(OnBrowserEvent);
    OnChromiumLost(OnLost);
  });
  const cef_rect_t view = QueryViewRect(b, "chromium");
  const int width = view.width > 0 ? view.width : 800, height = view.height > 0 ? view.height : 600;
  const int scale_milli = ScaleMilli(b->scale.load());
  Json created, attached;
  std::string error;
  if (!DevToolsCall("Target.createTarget",
                    {{"url", "about:blank"}, {"width", width}, {"height", height}, {"enableBeginFrameControl", true}},
                    "", &created, &error, 10000, scale_milli)) {
    Event("chromium.page_failed").Num("browser", b->id).Text("error", error);
    return false;
  }
  RealPage* page = new RealPage();
  page->browser = b;
  page->target = created.value("targetId", std::string());
  if (!DevToolsCall("Target.attachToTarget", {{"targetId", page->target}, {"flatten", true}}, "", &attached, &error,
                    10000, scale_milli)) {
    Event("chromium.page_failed").Num("browser", b->id).Text("error", error);
    DevToolsSend("Target.closeTarget", {{"targetId", page->target}}, "", nullptr, scale_milli);
    delete page;
    return false;
  }
  page->session = attached.value("sessionId", std::string());
  page->scale_milli = scale_milli;
  b->real = page;
  DevToolsListen(page->session, [b](const std::string& method, const Json& params) { OnPageEvent(b, method, params); },
                 scale_milli);
  const std::string& s = page->session;
  DevToolsCall("Page.enable", Json::object(), s, nullptr, &error);
  DevToolsCall("Runtime.enable", Json::object(), s, nullptr, &error);
  RealRendererScripts(b, s);
  DevToolsCall("Network.enable", Json::object(), s, nullptr, &error);
  DevToolsCall("Fetch.enable", {{"patterns", Json::array({{{"urlPattern", "*"}}})}}, s, nullptr, &error);
  DevToolsCall("Emulation.setDeviceMetricsOverride",
               {{"width", width}, {"height", height}, {"deviceScaleFactor", EmulatedScale(b)}, {"mobile", false}}, s,
               nullptr, &error);
  RealPointerOpen(b);
  Event("chromium.page").Num("browser", b->id).Text("target", page->target).Num("width", width).Num("height", height)
      .Num("scale_milli", scale_milli);
  return true;
}

namespace {

// Puts the browser on a new page of the Chromium of its scale and loads `url` there (none
// when empty). The old page stays allocated: its late replies and decodes still look at
// it. False when no page could be opened: the old one stays, closed, and paints no more.
bool ReopenPage(BrowserCore* b, const std::u16string& url) {
  RealPage* old = b->real;
  RealClose(b);
  if (!ChromiumReady(20000, ScaleMilli(b->scale.load())) || !RealPageOpen(b)) {
    b->real = old;
    return false;
  }
  if (!url.empty()) RealNavigate(b, &b->main_frame, url);
  return true;
}

}  // namespace

void RealNavigate(BrowserCore* b, FrameCore* frame, const std::u16string& url) {
  if (b->real->gone.load()) {
    // The page went with its target or its Chromium: a load of the main frame opens it again.
    if (frame->main && !b->real->closed.load()) ReopenPage(b, url);
    return;
  }
  const std::string target = ToChromiumUrl(url);
  // Chromium pauses network and file requests only; these never reach Fetch.
  if (StartsWith(target, "data:") || StartsWith(target, "about:") || StartsWith(target, "javascript:")) {
    if (!OfferNavigation(b, frame, url, TT_EXPLICIT, false, false)) return;
  }
  Json params = {{"url", target}};
  if (!frame->main) {
    std::lock_guard<std::mutex> hold(b->real->lock);
    for (const auto& c : b->real->contexts) {
      if (c.first != b->real->target) params["frameId"] = c.first;
    }
  }
  DevToolsSend("Page.navigate", params, b->real->session);
}

void RealReload(BrowserCore* b, bool ignore_cache) {
  if (b->real->gone.load()) {
    if (!b->real->closed.load()) ReopenPage(b, b->main_frame.url);
    return;
  }
  DevToolsSend("Page.reload", {{"ignoreCache", ignore_cache}}, b->real->session);
}

void RealExecute(FrameCore* frame, const std::u16string& code, const std::u16string& script_url, int start_line) {
  BrowserCore* b = frame->browser;
  RealPage* page = b->real;
  std::string expression = U16ToUtf8(code);
  const std::string source = U16ToUtf8(script_url);
  if (!source.empty()) expression += "\n//# sourceURL=" + source;
  Json params = {{"expression", expression}, {"returnByValue", false}};
  if (!frame->main) {
    std::lock_guard<std::mutex> hold(page->lock);
    for (const auto& c : page->contexts) {
      if (c.first != page->target) params["contextId"] = c.second;
    }
    if (!params.contains("contextId")) return;  // no sub-frame document
  }
  DevToolsSend("Runtime.evaluate", params, page->session,
               [b, source, start_line](const Json& result, const std::string&) {
                 // An exception in script the product ran is an uncaught error of the page.
                 if (!result.contains("exceptionDetails")) return;
                 const Json& d = result["exceptionDetails"];
                 std::string text = d.value("text", std::string("Uncaught"));
                 if (d.contains("exception") && d["exception"].contains("description")) {
                   const std::string description = d["exception"]["description"].get<std::string>();
                   text += " " + description.substr(0, description.find('\n'));
                 }
                 const int line = start_line + d.value("lineNumber", 0);
                 PostEngineWork([b, text, source, line] {
                   if (!b->closed.load()) RaiseConsole(b, LOGSEVERITY_ERROR, Utf8ToU16(text), Utf8ToU16(source), line);
                 });
               });
}

namespace {

int Modifiers(std::uint32_t flags) {
  int m = 0;
  if (flags & EVENTFLAG_ALT_DOWN) m |= 1;
  if (flags & EVENTFLAG_CONTROL_DOWN) m |= 2;
  if (flags & EVENTFLAG_COMMAND_DOWN) m |= 4;
  if (flags & EVENTFLAG_SHIFT_DOWN) m |= 8;
  return m;
}

int Buttons(std::uint32_t flags) {
  int m = 0;
  if (flags & EVENTFLAG_LEFT_MOUSE_BUTTON) m |= 1;
  if (flags & EVENTFLAG_RIGHT_MOUSE_BUTTON) m |= 2;
  if (flags & EVENTFLAG_MIDDLE_MOUSE_BUTTON) m |= 4;
  return m;
}

const char* ButtonName(int button) {
  return button == MBT_RIGHT ? "right" : button == MBT_MIDDLE ? "middle" : "left";
}

}  // namespace

void RealMouseClick(BrowserCore* b, const cef_mouse_event_t& e, int button, bool up, int click_count) {
  int buttons = Buttons(e.modifiers);
  const int bit = button == MBT_RIGHT ? 2 : button == MBT_MIDDLE ? 4 : 1;
  buttons = up ? (buttons & ~bit) : (buttons | bit);
  DevToolsSend("Input.dispatchMouseEvent",
               {{"type", up ? "mouseReleased" : "mousePressed"}, {"x", e.x}, {"y", e.y}, {"button", ButtonName(button)},
                {"buttons", buttons}, {"clickCount", click_count}, {"modifiers", Modifiers(e.modifiers)}},
               b->real->session, [b, up](const Json&, const std::string& error) {
                 // The engine asks for a keyboard when a user's press focuses a field.
                 if (!up && error.empty()) RealAfterPress(b);
               });
}

void RealMouseMove(BrowserCore* b, const cef_mouse_event_t& e, bool leave) {
  // A pointer that left the view: Chromium has no such event; it stops moving.
  const int buttons = Buttons(e.modifiers);
  const char* button = (buttons & 1) ? "left" : (buttons & 2) ? "right" : (buttons & 4) ? "middle" : "none";
  DevToolsSend("Input.dispatchMouseEvent",
               {{"type", "mouseMoved"}, {"x", e.x}, {"y", e.y}, {"button", button}, {"buttons", buttons},
                {"modifiers", Modifiers(e.modifiers)}},
               b->real->session);
  if (!leave) RealPointerMoved(b, e.x, e.y);
}

void RealMouseWheel(BrowserCore* b, const cef_mouse_event_t& e, int delta_x, int delta_y) {
  // The engine's deltas are positive away from the user (scroll up, left); the
  // protocol's are positive towards the end of the page.
  DevToolsSend("Input.dispatchMouseEvent",
               {{"type", "mouseWheel"}, {"x", e.x}, {"y", e.y}, {"deltaX", -delta_x}, {"deltaY", -delta_y},
                {"modifiers", Modifiers(e.modifiers)}},
               b->real->session);
}

namespace {

// The DOM key and code of a Windows virtual key, as the engine derives them from the key
// event (the protocol wants them spelled out); empty for keys not listed.
void DomKey(int vk, bool shift, std::string* key, std::string* code) {
  static const std::map<int, std::pair<const char*, const char*>> named = {
      {0x08, {"Backspace", "Backspace"}}, {0x09, {"Tab", "Tab"}},          {0x0D, {"Enter", "Enter"}},
      {0x10, {"Shift", "ShiftLeft"}},     {0x11, {"Control", "ControlLeft"}}, {0x12, {"Alt", "AltLeft"}},
      {0x1B, {"Escape", "Escape"}},       {0x20, {" ", "Space"}},         {0x21, {"PageUp", "PageUp"}},
      {0x22, {"PageDown", "PageDown"}},   {0x23, {"End", "End"}},         {0x24, {"Home", "Home"}},
      {0x25, {"ArrowLeft", "ArrowLeft"}}, {0x26, {"ArrowUp", "ArrowUp"}}, {0x27, {"ArrowRight", "ArrowRight"}},
      {0x28, {"ArrowDown", "ArrowDown"}}, {0x2D, {"Insert", "Insert"}},   {0x2E, {"Delete", "Delete"}},
  };
  auto it = named.find(vk);
  if (it != named.end()) {
    *key = it->second.first;
    *code = it->second.second;
  } else if (vk >= 'A' && vk <= 'Z') {
    *key = std::string(1, static_cast<char>(shift ? vk : vk - 'A' + 'a'));
    *code = std::string("Key") + static_cast<char>(vk);
  } else if (vk >= '0' && vk <= '9' && !shift) {
    *key = std::string(1, static_cast<char>(vk));
    *code = std::string("Digit") + static_cast<char>(vk);
  } else if (vk >= 0x70 && vk <= 0x7B) {
    *key = *code = "F" + std::to_string(vk - 0x6F);
  }
}

}  // namespace

void RealKey(BrowserCore* b, const cef_key_event_t& e) {
  static const char* types[] = {"rawKeyDown", "keyDown", "keyUp", "char"};
  if (e.type < 0 || e.type > 3) return;
  Json params = {{"type", types[e.type]},
                 {"windowsVirtualKeyCode", e.windows_key_code},
                 {"nativeVirtualKeyCode", e.native_key_code},
                 {"modifiers", Modifiers(e.modifiers)},
                 {"isSystemKey", e.is_system_key != 0}};
  if (e.type != KEYEVENT_CHAR) {
    std::string key, code;
    DomKey(e.windows_key_code, (e.modifiers & EVENTFLAG_SHIFT_DOWN) != 0, &key, &code);
    if (!key.empty()) params["key"] = key;
    if (!code.empty()) params["code"] = code;
  }
  if (e.type == KEYEVENT_CHAR) {
    const std::u16string text(1, e.character), unmodified(1, e.unmodified_character);
    params["text"] = U16ToUtf8(text);
    params["unmodifiedText"] = U16ToUtf8(unmodified);
    if (e.character == 13) {
      params["key"] = "Enter";
    } else if (e.character >= 0x20) {
      params["key"] = U16ToUtf8(text);
    }
  }
  DevToolsSend("Input.dispatchKeyEvent", params, b->real->session);
}

void RealFocus(BrowserCore* b, bool focus) {
  DevToolsSend("Emulation.setFocusEmulationEnabled", {{"enabled", focus}}, b->real->session);
}

void RealResize(BrowserCore* b, int width, int height) {
  if (width <= 0 || height <= 0) return;
  b->real->whole_next = true;
  DevToolsSend("Emulation.setDeviceMetricsOverride",
               {{"width", width}, {"height", height}, {"deviceScaleFactor", EmulatedScale(b)}, {"mobile", false}},
               b->real->session);
}

void RealScaleChanged(BrowserCore* b) {
  RealPage* old = b->real;
  if (old == nullptr || old->scale_milli == ScaleMilli(b->scale.load())) return;
  const std::u16string url = b->main_frame.url;
  Event("chromium.page_moves").Num("browser", b->id).Num("from_scale_milli", old->scale_milli)
      .Num("to_scale_milli", ScaleMilli(b->scale.load()));
  ReopenPage(b, url);
}

void RealFrameOpportunity(BrowserCore* b) {
  RealPage* page = b->real;
  if (page->crashed.load() || page->gone.load() || page->closed.load()) return;
  if (page->decoding.load() > 1 || page->frame_pending.exchange(true)) {
    ++page->skipped;
    return;
  }
  int rate = b->frame_rate.load();
  if (rate <= 0) rate = 30;
  const Clock::time_point asked = Clock::now();
  RequestBeginFrame(page->scale_milli, page->session,
                    {{"interval", 1000.0 / rate}, {"screenshot", {{"format", "png"}, {"optimizeForSpeed", true}}}},
                    [b, page, asked](const Json& result, const std::string& error) {
                      OnFrame(b, page, result, error, asked);
                    });
}

void RealCrash(BrowserCore* b) {
  Event("chromium.crash_page").Num("browser", b->id);
  DevToolsSend("Page.crash", Json::object(), b->real->session);
}

std::string RealPageSession(BrowserCore* b) { return b->real->session; }

void RealClose(BrowserCore* b) {
  RealPage* page = b->real;
  if (page->closed.exchange(true)) return;
  RealImeForget(b);
  ForgetBeginFrames(page->scale_milli, page->session);
  DevToolsForget(page->session);
  DevToolsSend("Target.closeTarget", {{"targetId", page->target}}, "", nullptr, page->scale_milli);
  RealPointerClosed(b);
  Event("chromium.page_closed").Num("browser", b->id).Num("skipped_frames", page->skipped.load());
}

}  // namespace standin
