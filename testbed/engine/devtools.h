// The Chromium mode's browser: one headless Chromium per browser process of the stand-in,
// reached over its DevTools WebSocket. Started at cef_initialize when the scenario says
// `chromium` (or NIMO_STANDIN_CHROMIUM=1), with a fresh profile folder, through a small
// shell script that also watches this process: Chromium is ended by its pid when the
// stand-in stops it, when this process is gone (a crash included) or after an hour.
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
// Launches Chromium and connects in the background (browser process, at cef_initialize).
void StartChromium();
// Waits until the connection is up; false when Chromium could not be started (the reason
// was journaled once as chromium.failed).
bool ChromiumReady(int timeout_ms);
// Sends a command (to a page session when `session` is not empty); `reply` may be null.
void DevToolsSend(const std::string& method, const Json& params, const std::string& session,
                  DevToolsReply reply = nullptr);
// Sends and waits for the reply; not on the reader thread.
bool DevToolsCall(const std::string& method, const Json& params, const std::string& session, Json* result,
                  std::string* error, int timeout_ms = 10000);
// Events of one page session, and of the browser itself (session "").
void DevToolsListen(const std::string& session, DevToolsEvents handler);
void DevToolsForget(const std::string& session);
// Closes the browser, waits for its end (a few seconds at most) and journals it.
void StopChromium();

}  // namespace standin
