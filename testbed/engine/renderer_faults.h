// Renderer faults of a page, as the engine reports them to the browser process: the page's
// renderer ends (a crash, or killed through the unresponsive callback) or stops answering
// for a while. The browser object stays alive through both; after an end the page runs no
// more of its script until something is loaded again (reload or load_url).
//
// Threads: UI thread (page actions and the engine work they post).
#pragma once
#include <functional>

namespace standin {

struct BrowserCore;

// The page's renderer ended: its script sequence stops (the browser's generation moves on)
// and the product's on_render_process_terminated is called with `status`
// (cef_termination_status_t), `error_code` and a text naming the status (through
// RaiseRenderProcessTerminated).
void EndRenderer(BrowserCore* browser, int status, int error_code);

// The page's renderer stops answering: on_render_process_unresponsive with a fresh
// callback (terminate ends the renderer with TS_PROCESS_WAS_KILLED; wait is journaled).
// When `respond_after_ms` is 0 or more and the renderer was neither ended nor navigated
// away by then, it answers again after that time: on_render_process_responsive, then
// `resume` runs. Otherwise it stays hung until terminated.
void HangRenderer(BrowserCore* browser, long long respond_after_ms, std::function<void()> resume);

}  // namespace standin
