// The Chromium mode's browser: one headless Chromium per browser process of the stand-in
// and device scale (the scale is a switch of the whole browser: pages of a product surface
// at scale 1.5 live in a browser started with --force-device-scale-factor=1.5, whose frames
// are in device pixels), reached over its DevTools WebSocket. The scale-1 browser is started
// at cef_initialize when the scenario says `chromium` (or NIMO_STANDIN_CHROMIUM=1), another
// scale's on first use, each with a fresh profile folder, through a small
// shell script that also watches this process: Chromium is ended by its pid when the
// stand-in stops it, when this process is gone (a crash included) or after an hour.
//
// A browser that ends without being asked to (it crashed, or something killed it) is
// noticed when its connection closes: the loss handler hears of it, and a new browser of
// that scale is started at once in its place, so pages can be opened again (at most three
// times in any minute per scale; after that the scale stays failed).
//
// Threads: any. Replies and events are handed to their callbacks on the one DevTools
// reader thread, which must never wait for a reply itself.
#pragma once
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

namespace standin {

using Json = nlohmann::json;
// `error` is empty on success.
using DevToolsReply = std::function<void(const Json& result, const std::string& error)>;
using DevToolsEvents = std::function<void(const std::string& method, const Json& params)>;

// Whether this run asks for real pages (the scenario's `chromium` or the environment).
bool ChromiumModeRequested();
// The product's remote_debugging_port (cef_initialize, before StartChromium): when not 0
// the Chromium of scale 1 listens there, so a DevTools client inspects the real pages;
// else, and for the other scales, Chromium listens on a port of its choosing.
void SetChromiumDebuggingPort(int port);
// Launches the Chromium of a scale (thousandths) and connects in the background, once
// (browser process, at cef_initialize for scale 1, else on first use).
void StartChromium(int scale_milli = 1000);
// Starts the browser of the scale if needed and waits until its connection is up; false
// when it could not be started (the reason was journaled once as chromium.failed).
bool ChromiumReady(int timeout_ms, int scale_milli = 1000);
// Sends a command to a page session when `session` is not empty (in whichever browser it
// lives), else to the browser of the scale; `reply` may be null.
void DevToolsSend(const std::string& method, const Json& params, const std::string& session,
                  DevToolsReply reply = nullptr, int scale_milli = 1000);
// Sends and waits for the reply; not on the reader thread.
bool DevToolsCall(const std::string& method, const Json& params, const std::string& session, Json* result,
                  std::string* error, int timeout_ms = 10000, int scale_milli = 1000);
// Events of one page session, which lives in the browser of the scale.
void DevToolsListen(const std::string& session, DevToolsEvents handler, int scale_milli = 1000);
void DevToolsForget(const std::string& session);
// Events of the browsers' own sessions (Target.targetCrashed, Target.targetDestroyed,
// Target.detachedFromTarget, ...), and the loss of a browser (after its replacement was
// started); one handler each for the process, set before the first browser starts.
using BrowserEvents = std::function<void(int scale_milli, const std::string& method, const Json& params)>;
void DevToolsListenBrowsers(BrowserEvents handler);
void OnChromiumLost(std::function<void(int scale_milli)> handler);
// Closes every browser started, waits for each one's end (a few seconds at most) and
// journals it.
void StopChromium();

}  // namespace standin
