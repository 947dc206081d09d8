// The renderer's share of a real page. The product's render-process handler runs in the
// engine's renderer processes, which for headless Chromium are not this program; so when a
// real page opens, the handler is told of the browser with its creation info
// (on_browser_created), asked once, as at a new script context of a main frame and of a
// sub-frame, then told the browser is gone (on_browser_destroyed); whatever script it runs
// at a context (execute_java_script on that frame) is captured and added to every new
// document of the page with Page.addScriptToEvaluateOnNewDocument, each for its kind of
// frame: it then runs before any script of the document, as the product's would in the
// engine. Journal:
// `chromium.renderer_script browser frame length` per added script.
//
// Threads: RealRendererScripts where the page is opened; CaptureRendererScript from the
// frame's execute_java_script, on the same thread during that call.
#pragma once
#include <string>

#include "testbed/engine/browser.h"

namespace standin {

void RealRendererScripts(BrowserCore* b, const std::string& session);

// True (the script is taken, not run) when `frame` is the frame being asked right now.
bool CaptureRendererScript(FrameCore* frame, const std::u16string& code);

// The application object given to cef_initialize (process.cpp); null outside.
cef_app_t* KeptApp();

}  // namespace standin
