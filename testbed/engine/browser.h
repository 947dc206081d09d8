// Browsers, their hosts and frames. A browser is created by
// cef_browser_host_create_browser, announced with on_after_created on the UI thread, loads
// its URL as the scenario scripts it (navigation offered to on_before_browse, load start
// and end, errors, console messages, popups, resource requests, paints) and closes with
// on_before_close. Every call of the product on a browser, host or frame is journaled
// with its arguments.
//
// Threads: host and frame slots from any thread (effects run on the UI thread); every
// callback into the product runs on the UI thread, resource requests on the IO thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "testbed/engine/dictionary.h"
#include "testbed/engine/engine_decls.h"

namespace standin {

struct Directive;
struct PaintState;
struct RealPage;

struct BrowserCore;
struct ResourceAnswer;  // resource_driver.h
using RequestHeaders = std::map<std::string, std::string>;

struct FrameCore {
  BrowserCore* browser = nullptr;
  bool main = true;
  std::u16string identifier;
  std::u16string name;
  std::u16string url;
};

struct BrowserCore {
  int id = 0;
  cef_client_t* client = nullptr;   // the engine's reference, released after on_before_close
  cef_window_info_t window = {};    // strings not kept
  cef_browser_settings_t settings = {};
  bool popup = false;
  int opener_id = 0;
  FrameCore main_frame;
  FrameCore sub_frame;
  std::atomic<bool> created{false};
  std::atomic<bool> closing{false};
  std::atomic<bool> closed{false};
  std::atomic<bool> hidden{false};
  std::atomic<int> generation{0};   // bumped by every committed navigation
  std::atomic<int> frame_rate{0};
  std::atomic<float> scale{1.0f};   // device scale from the product's get_screen_info (pointer.h)
  PaintState* paint = nullptr;      // owned by the paint module
  RealPage* real = nullptr;         // a page of headless Chromium (real_page.h), else scripted
  // The creation info the product gave, as its renderers get it (dictionary.h).
  bool has_extra_info = false;
  DictionaryContent extra_info;
};

// Fresh wrappers (one reference each, the receiver's to release).
cef_browser_t* WrapBrowser(BrowserCore* core, const char* origin);
cef_frame_t* WrapFrame(FrameCore* core, const char* origin);

// The product's handlers of a browser's client, each with the reference the getter
// returned (release with ReleaseHandler), or null.
cef_render_handler_t* RenderHandlerOf(BrowserCore* core);
cef_life_span_handler_t* LifeSpanHandlerOf(BrowserCore* core);
cef_load_handler_t* LoadHandlerOf(BrowserCore* core);
cef_display_handler_t* DisplayHandlerOf(BrowserCore* core);
cef_request_handler_t* RequestHandlerOf(BrowserCore* core);
cef_context_menu_handler_t* ContextMenuHandlerOf(BrowserCore* core);
void ReleaseHandler(void* handler);

// Asks the render handler for the view rectangle and journals it.
cef_rect_t QueryViewRect(BrowserCore* core, const char* why);

// The product's callbacks as a page raises them, each with fresh wrappers and a journal
// line; the scripted pages and the Chromium mode share them. UI thread.
bool OfferNavigation(BrowserCore* b, FrameCore* frame, const std::u16string& url, int transition, bool gesture,
                     bool redirect);
void RaiseLoadStart(BrowserCore* b, FrameCore* frame, int transition);
void RaiseLoadEnd(BrowserCore* b, FrameCore* frame, int status);
void RaiseLoadError(BrowserCore* b, FrameCore* frame, int code, const std::u16string& text, const std::u16string& url);
void RaiseConsole(BrowserCore* b, int level, const std::u16string& message, const std::u16string& source, int line);
// The request handler's on_render_process_terminated, when the product has one.
void RaiseRenderProcessTerminated(BrowserCore* b, int status, int error_code, const std::u16string& text);
// Any thread: offers a request to the product's resource-request handling on the IO
// thread; `done` runs there with the URL after the product's rewriting, and the answer of
// the product's resource handler when it gave one (resource_driver.h), else null.
using ResourceDone = std::function<void(const std::u16string& final_url, std::shared_ptr<ResourceAnswer> answer)>;
void OfferResource(BrowserCore* b, FrameCore* frame, const std::u16string& url, int type, bool navigation,
                   ResourceDone done, const RequestHeaders& headers = RequestHeaders(),
                   const std::string& method = "GET");
// Any thread: runs `work` on the IO thread.
void PostIoWork(std::function<void()> work);

// This process's id on the host (0 when not found).
long long EngineHostPid();

// All browsers ever created in this process.
std::vector<BrowserCore*> AllBrowsers();

// cef_shutdown: journals every browser still open and stops the IO thread.
void ShutdownBrowsers();

}  // namespace standin
