// UiTask: the one heap task object that carries work onto the engine's UI thread. It is a
// cef_task_t for the engine (first member, so a UiTask* is its cef_task_t*) plus a body
// and a private copy of everything the body reads, so the poster's buffers may be reused
// at once. Reference counted atomically; created with one reference, which passes to the
// engine when posting succeeds and is dropped (freeing the task) when it does not.
//
// Threads: tasks are built and posted from any thread (reader, writer, UI); bodies run on
// the UI thread only; add_ref/release are safe from any thread.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/portable/engine_abi.h"
#include "protocol/wire.h"

namespace nimo {

struct UiTask;
using UiTaskBody = void (*)(UiTask* task);

struct UiTask {
  cef_task_t task;                // must stay first: the engine sees this address
  std::atomic<std::int32_t> ref_count;
  UiTaskBody run;                 // may be null: executing then does nothing
  InputRecord input;              // zero unless given
  SurfaceHead head;               // zero unless given
  std::string text;               // owned copy; empty unless given
  std::int64_t posted_at;         // timer ticks, set for the latency probe only
};

// A new task with one reference and the given copies; null pointers leave fields zeroed.
// For posters that fill further fields (posted_at) before PostBuiltUiTask. Null, with the
// loss logged and counted, when memory runs out; never throws.
UiTask* CreateUiTask(UiTaskBody run, const InputRecord* input, const SurfaceHead* head,
                     const char* text, std::size_t text_length);

// Hands a built task to the engine for immediate execution on TID_UI; returns whether it
// was queued. Without the engine's post function the task is freed here.
bool PostBuiltUiTask(UiTask* task);

// Builds and posts in one step; a refused post silently loses the work.
void PostUiTask(UiTaskBody run, const InputRecord* input, const SurfaceHead* head,
                const char* text = nullptr, std::size_t text_length = 0);
inline void PostUiTask(UiTaskBody run, const InputRecord* input, const SurfaceHead* head,
                       const std::string& text) {
  PostUiTask(run, input, head, text.data(), text.size());
}

// Body of the latency probe the writer thread posts at most every 200 ms: records the time
// from building the task (its posted_at) to now in the performance statistics.
void LatencyPing(UiTask* task);

// Runs `run` with a copy of `head` on TID_UI after `delay_ms`. Without the engine's
// delayed-post function nothing is created at all.
void PostDelayedUiTask(UiTaskBody run, const SurfaceHead* head, std::int64_t delay_ms);

}  // namespace nimo
