// The Chromium mode: a browser of the product as a real page of headless Chromium
// (devtools.h). The page's own events become the product's callbacks with the stand-in's
// usual wrappers and journal lines: navigations (main frame and sub-frames) pass
// on_before_browse first and every resource request the product's resource-request
// handling, so both can cancel or redirect on a real page; load start, end and error;
// console messages and uncaught errors; a renderer crash. Begin frames (or the stand-in's
// ticks) produce real frames whose changed rectangles are found by comparing with the
// previous frame; they are painted on the path the browser was created for.
//
// URLs: Chromium runs on the host, the product under Wine. A host file URL
// (file:///tmp/ui/index.html) is shown to the product through Wine's Z: drive
// (file:///Z:/tmp/ui/index.html); a product file URL of drive Z: goes back the same way,
// of another drive through Wine's own path mapping. A page's absolute asset path
// (/assets/a.png, file:///assets/a.png on the host) so reaches the product as
// file:///Z:/assets/a.png, as it would on a Windows drive.
//
// Threads: Real* from the UI thread unless noted; events arrive on the DevTools reader
// thread and are handed to the UI thread (resource requests to the IO thread).
#pragma once
#include <string>

#include "testbed/engine/engine_decls.h"

namespace standin {

struct BrowserCore;
struct FrameCore;
struct DecodedFrame;

// Opens a page of the view's size for the browser (synchronously); false leaves it scripted.
bool RealPageOpen(BrowserCore* b);
// Navigates the frame (the created URL, load_url); URLs Chromium does not ask about
// (data:, about:) are offered to on_before_browse here first.
void RealNavigate(BrowserCore* b, FrameCore* frame, const std::u16string& url);
void RealReload(BrowserCore* b, bool ignore_cache);
// Any thread: runs script in the frame's current document.
void RealExecute(FrameCore* frame, const std::u16string& code, const std::u16string& script_url, int start_line);
// Any thread: input at view coordinates.
void RealMouseClick(BrowserCore* b, const cef_mouse_event_t& e, int button, bool up, int click_count);
void RealMouseMove(BrowserCore* b, const cef_mouse_event_t& e, bool leave);
void RealMouseWheel(BrowserCore* b, const cef_mouse_event_t& e, int delta_x, int delta_y);
void RealKey(BrowserCore* b, const cef_key_event_t& e);
void RealFocus(BrowserCore* b, bool focus);
void RealResize(BrowserCore* b, int width, int height);
// The product changed the screen's scale: the page moves to the browser of the new scale
// (one browser per scale) and loads its document there again.
void RealScaleChanged(BrowserCore* b);
// A frame opportunity: asks Chromium for a frame unless one is on its way.
void RealFrameOpportunity(BrowserCore* b);
// Crashes the page's renderer on purpose (Page.crash).
void RealCrash(BrowserCore* b);
void RealClose(BrowserCore* b);
// The page's DevTools session, for the modules that drive more of it (real_ime.h,
// real_pointer.h).
std::string RealPageSession(BrowserCore* b);

// Host file URL <-> the product's view of it.
std::u16string ToProductUrl(const std::string& url);
std::string ToChromiumUrl(const std::u16string& url);

}  // namespace standin
