#include "link/ui_task.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <new>
#include <utility>

#include "base/callback_guard.h"
#include "base/engine_api.h"
#include "base/ui_thread.h"
#include "diag/perf_stats.h"

namespace nimo {

namespace {

// Held shared by every post and exclusively by StopUiTasks, which closes the gate.
SRWLOCK post_gate = SRWLOCK_INIT;
bool posts_stopped = false;  // under post_gate

class SharedGate {
 public:
  SharedGate() { AcquireSRWLockShared(&post_gate); }
  ~SharedGate() { ReleaseSRWLockShared(&post_gate); }
  SharedGate(const SharedGate&) = delete;
  SharedGate& operator=(const SharedGate&) = delete;
};

// The engine's view of a task is its first member.
struct UiTask {
  cef_task_t task;
  std::atomic<std::int32_t> ref_count;
  const char* what;
  std::function<void()> work;
};

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
  UiTask* task = reinterpret_cast<UiTask*>(self);
  RequireUiThread(task->what);
  if (task->work) task->work();
}

// A new task with one reference; null, with the loss logged and counted, when memory runs out.
cef_task_t* MakeTask(const char* what, std::function<void()>&& work) noexcept {
  UiTask* task = new (std::nothrow) UiTask();
  if (!task) {
    RecordOutOfMemory(what);
    return nullptr;
  }
  task->what = what;
  std::memset(&task->task, 0, sizeof task->task);
  task->task.base.size = sizeof(cef_task_t);
  task->task.base.add_ref = TaskAddRef;
  task->task.base.release = TaskRelease;
  task->task.base.has_one_ref = TaskHasOneRef;
  task->task.base.has_at_least_one_ref = TaskHasAtLeastOneRef;
  task->task.execute = Guarded<TaskExecute>;
  task->ref_count.store(1, std::memory_order_relaxed);
  task->work = std::move(work);
  return &task->task;
}

}  // namespace

const char* UiTaskName(const cef_task_t* task) {
  return reinterpret_cast<const UiTask*>(task)->what;
}

void StopUiTasks() {
  AcquireSRWLockExclusive(&post_gate);
  posts_stopped = true;
  ReleaseSRWLockExclusive(&post_gate);
}

bool PostUiTask(const char* what, std::function<void()> work) noexcept {
  const SharedGate gate;
  if (!engine_api.cef_post_task || posts_stopped) return false;
  cef_task_t* task = MakeTask(what, std::move(work));
  return task && engine_api.cef_post_task(TID_UI, task) != 0;
}

bool PostDelayedUiTask(const char* what, std::function<void()> work, std::int64_t delay_ms) noexcept {
  const SharedGate gate;
  if (!engine_api.cef_post_delayed_task || posts_stopped) return false;
  cef_task_t* task = MakeTask(what, std::move(work));
  return task && engine_api.cef_post_delayed_task(TID_UI, task, delay_ms) != 0;
}

void PostLatencyProbe() noexcept {
  if (!engine_api.cef_post_task) return;
  const std::int64_t posted_at = QpcNow();
  PostUiTask("latency probe", [posted_at] { RecordUiLatency(QpcMicros(posted_at, QpcNow())); });
}

}  // namespace nimo
