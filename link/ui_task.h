// UI tasks: work carried onto the engine's UI thread as a closure. Each post makes one
// reference-counted engine task (a cef_task_t) holding the closure; its one reference
// passes to the engine with the post, whether the engine queues the task or refuses it
// (a refused task is released by the engine itself). Whatever the closure captures is its
// own copy, so a poster may reuse its buffers at once; a closure must not capture an
// engine reference, since a task still queued at cef_shutdown is released by the engine's
// shutdown itself.
//
// Threads: posted from any thread (reader, writer, UI); the work runs on the UI thread only.
#pragma once
#include <cstdint>
#include <functional>

#include "base/portable/engine_abi.h"

namespace nimo {

// Runs `work` on TID_UI as soon as the engine gets to it; returns whether the engine queued
// it. `what` (a string literal) names the task where a UI-thread check or a lost task is
// logged. Without the engine's post function nothing is made; when memory runs out the
// loss is logged and counted. Never throws.
bool PostUiTask(const char* what, std::function<void()> work) noexcept;

// Runs `work` on TID_UI after `delay_ms`, likewise.
bool PostDelayedUiTask(const char* what, std::function<void()> work, std::int64_t delay_ms) noexcept;

// From now on every post is refused; returns once no post is in progress, so no thread
// hands the engine a task after this. UI thread, before cef_shutdown.
void StopUiTasks();

// The name a task posted here was given (for diagnostics and tests).
const char* UiTaskName(const cef_task_t* task);

// The latency probe the writer thread posts at most every 200 ms: a task that records, in
// the performance statistics, the time from its being built to its run.
void PostLatencyProbe() noexcept;

}  // namespace nimo
