#include "link/ui_task.h"

#include <cstring>
#include <new>

#include "diag/perf_stats.h"
#include "host/base/callback_guard.h"
#include "host/base/engine_api.h"
#include "host/base/engine_ref.h"
#include "host/base/ui_thread.h"

namespace nimo {

namespace {

UiTask* FromBase(cef_base_ref_counted_t* base) { return reinterpret_cast<UiTask*>(base); }

void CEF_CALLBACK TaskAddRef(cef_base_ref_counted_t* self) {
  FromBase(self)->ref_count.fetch_add(1, std::memory_order_relaxed);
}

int CEF_CALLBACK TaskRelease(cef_base_ref_counted_t* self) {
  UiTask* task = FromBase(self);
  if (task->ref_count.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    delete task;
    return 1;
  }
  return 0;
}

int CEF_CALLBACK TaskHasOneRef(cef_base_ref_counted_t* self) {
  return FromBase(self)->ref_count.load(std::memory_order_acquire) == 1 ? 1 : 0;
}

int CEF_CALLBACK TaskHasAtLeastOneRef(cef_base_ref_counted_t* self) {
  return FromBase(self)->ref_count.load(std::memory_order_acquire) >= 1 ? 1 : 0;
}

void CEF_CALLBACK TaskExecute(cef_task_t* self) {
  RequireUiThread("UI task");
  UiTask* task = reinterpret_cast<UiTask*>(self);
  if (task->run) task->run(task);
}

void Drop(UiTask* task) { AdoptRef(&task->task).reset(); }

}  // namespace

UiTask* CreateUiTask(UiTaskBody run, const InputRecord* input, const SurfaceHead* head,
                     const char* text, std::size_t text_length) {
  UiTask* task = new (std::nothrow) UiTask();
  if (!task) {
    RecordOutOfMemory("a UI task");
    return nullptr;
  }
  std::memset(&task->task, 0, sizeof task->task);
  task->task.base.size = sizeof(cef_task_t);
  task->task.base.add_ref = TaskAddRef;
  task->task.base.release = TaskRelease;
  task->task.base.has_one_ref = TaskHasOneRef;
  task->task.base.has_at_least_one_ref = TaskHasAtLeastOneRef;
  task->task.execute = Guarded<TaskExecute>;
  task->ref_count.store(1, std::memory_order_relaxed);
  task->run = run;
  task->input = input ? *input : InputRecord{};
  task->head = head ? *head : SurfaceHead{};
  task->posted_at = 0;
  if (text && text_length) {
    try {
      task->text.assign(text, text_length);
    } catch (...) {
      delete task;
      RecordOutOfMemory("a UI task");
      return nullptr;
    }
  }
  return task;
}

// The engine adopts the task's reference on every call, whether it queues the task or
// refuses it (a refused task is released by the engine itself), so the poster releases
// only a task it never handed over.
bool PostBuiltUiTask(UiTask* task) {
  if (!task) return false;
  if (!engine_api.cef_post_task) {
    Drop(task);
    return false;
  }
  return engine_api.cef_post_task(TID_UI, &task->task) != 0;
}

void PostUiTask(UiTaskBody run, const InputRecord* input, const SurfaceHead* head,
                const char* text, std::size_t text_length) {
  PostBuiltUiTask(CreateUiTask(run, input, head, text, text_length));
}

void PostDelayedUiTask(UiTaskBody run, const SurfaceHead* head, std::int64_t delay_ms) {
  if (!engine_api.cef_post_delayed_task) return;
  UiTask* task = CreateUiTask(run, nullptr, head, nullptr, 0);
  if (!task) return;
  engine_api.cef_post_delayed_task(TID_UI, &task->task, delay_ms);
}

}  // namespace nimo
