// The UI thread's message loop: the thread that called cef_initialize runs the product's
// tasks (cef_post_task / cef_post_delayed_task, TID_UI only) and the engine's own work
// (browser callbacks) in due order with real delays, tasks due at the same moment in the
// order they were posted.
//
// Threads: Post* from any thread; the loop itself only on the UI thread.
#pragma once
#include <cstdint>
#include <functional>

namespace standin {

// Queues engine work for the UI thread after `delay_ms`. Dropped after shutdown.
void PostEngineWork(std::function<void()> work, std::int64_t delay_ms = 0);

void MarkUiThread();
bool OnUiThread();
bool EngineInitialized();
void SetEngineInitialized(bool initialized);
bool EngineShutDown();

// At shutdown: every queued product task is released without running; engine work dropped.
void DropPendingWork();

}  // namespace standin
