#include "testbed/engine/loop.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <queue>
#include <vector>

#include "testbed/engine/engine_decls.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/refs.h"
#include "testbed/engine/slots.h"

namespace standin {
namespace {

using Clock = std::chrono::steady_clock;

struct Work {
  Clock::time_point due;
  unsigned long long order;
  cef_task_t* task;  // a product task, or null for engine work
  std::function<void()> engine_work;
};

struct Later {
  bool operator()(const Work* a, const Work* b) const {
    if (a->due != b->due) return a->due > b->due;
    return a->order > b->order;
  }
};

// Win32's own lock and condition variable rather than the standard ones: with the posix
// thread model those wait on kernel semaphores, and each posted task would then cost the
// poster a kernel call, which the engine's own task posting does not.
struct Loop {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
  std::priority_queue<Work*, std::vector<Work*>, Later> queue;
  unsigned long long next_order = 0;
  bool running = false;
  bool quit = false;
};

Loop& loop() {
  static Loop* l = new Loop();
  return *l;
}

class Hold {
 public:
  explicit Hold(Loop& l) : lock_(&l.lock) { AcquireSRWLockExclusive(lock_); }
  ~Hold() {
    if (held_) ReleaseSRWLockExclusive(lock_);
  }
  void unlock() {
    ReleaseSRWLockExclusive(lock_);
    held_ = false;
  }
  void lock() {
    AcquireSRWLockExclusive(lock_);
    held_ = true;
  }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  SRWLOCK* lock_;
  bool held_ = true;
};

std::atomic<DWORD> ui_thread{0};
std::atomic<bool> initialized{false};
std::atomic<bool> shut_down{false};

bool Enqueue(cef_task_t* task, std::function<void()> engine_work, std::int64_t delay_ms) {
  if (delay_ms < 0) delay_ms = 0;
  Work* w = new Work();
  w->due = Clock::now() + std::chrono::milliseconds(delay_ms);
  w->task = task;
  w->engine_work = std::move(engine_work);
  Loop& l = loop();
  {
    Hold hold(l);
    if (shut_down.load()) {
      delete w;
      return false;
    }
    w->order = l.next_order++;
    l.queue.push(w);
  }
  WakeAllConditionVariable(&l.wake);
  return true;
}

void Run(Work* w) {
  if (w->task) {
    cef_task_t* task = w->task;
    Event("task.run").Ptr("task", task);
    if (STANDIN_HAS_SLOT(task, cef_task_t, execute)) task->execute(task);
    ReleaseProductObject(&task->base);
  } else if (w->engine_work) {
    w->engine_work();
  }
  delete w;
}

// Runs every piece of work that is due; with `block`, waits for work until quit.
void Pump(bool block) {
  Loop& l = loop();
  Hold hold(l);
  for (;;) {
    if (block && l.quit) return;
    if (l.queue.empty()) {
      if (!block) return;
      SleepConditionVariableSRW(&l.wake, &l.lock, INFINITE, 0);
      continue;
    }
    Work* top = l.queue.top();
    if (top->due > Clock::now()) {
      if (!block) return;
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(top->due - Clock::now()).count() + 1;
      SleepConditionVariableSRW(&l.wake, &l.lock, static_cast<DWORD>(wait), 0);
      continue;
    }
    l.queue.pop();
    hold.unlock();
    Run(top);
    hold.lock();
  }
}

int PostProductTask(cef_thread_id_t thread, cef_task_t* task, std::int64_t delay_ms, const char* how) {
  if (!task) return 0;
  if (thread != TID_UI || !initialized.load() || shut_down.load()) {
    // Not queued: the reference stays with the caller.
    Event("task.refused").Num("thread", thread).Ptr("task", task).Text("via", how)
        .Num("initialized", initialized.load() ? 1 : 0);
    return 0;
  }
  Event("task.post").Num("thread", thread).Num("delay", delay_ms).Ptr("task", task).Text("via", how)
      .Num("from_ui", OnUiThread() ? 1 : 0);
  return Enqueue(task, nullptr, delay_ms) ? 1 : 0;
}

}  // namespace

void PostEngineWork(std::function<void()> work, std::int64_t delay_ms) {
  Enqueue(nullptr, std::move(work), delay_ms);
}

void MarkUiThread() { ui_thread.store(GetCurrentThreadId()); }
bool OnUiThread() { return ui_thread.load() == GetCurrentThreadId(); }
bool EngineInitialized() { return initialized.load(); }
void SetEngineInitialized(bool value) { initialized.store(value); }
bool EngineShutDown() { return shut_down.load(); }

void DropPendingWork() {
  Loop& l = loop();
  std::vector<Work*> dropped;
  {
    Hold hold(l);
    shut_down.store(true);
    while (!l.queue.empty()) {
      dropped.push_back(l.queue.top());
      l.queue.pop();
    }
  }
  long long tasks = 0;
  for (Work* w : dropped) {
    if (w->task) {
      ++tasks;
      ReleaseProductObject(&w->task->base);
    }
    delete w;
  }
  Event("loop.dropped").Num("tasks", tasks).Num("engine_work", static_cast<long long>(dropped.size()) - tasks);
}

}  // namespace standin

using namespace standin;

extern "C" {

int cef_post_task(cef_thread_id_t thread_id, cef_task_t* task) {
  return PostProductTask(thread_id, task, 0, "cef_post_task");
}

int cef_post_delayed_task(cef_thread_id_t thread_id, cef_task_t* task, int64_t delay_ms) {
  return PostProductTask(thread_id, task, delay_ms, "cef_post_delayed_task");
}

int cef_currently_on(cef_thread_id_t thread_id) {
  return thread_id == TID_UI && initialized.load() && OnUiThread() ? 1 : 0;
}

void cef_run_message_loop(void) {
  Event("loop.run").Num("on_ui_thread", OnUiThread() ? 1 : 0).Num("initialized", initialized.load() ? 1 : 0);
  if (!initialized.load() || shut_down.load()) return;
  Loop& l = loop();
  {
    Hold hold(l);
    l.running = true;
    l.quit = false;
  }
  Pump(true);
  {
    Hold hold(l);
    l.running = false;
  }
  Event("loop.exit");
}

void cef_quit_message_loop(void) {
  Loop& l = loop();
  bool running;
  {
    Hold hold(l);
    running = l.running;
    // As in the engine, a quit outside a running loop is lost.
    if (running) l.quit = true;
  }
  Event("loop.quit").Num("running", running ? 1 : 0).Num("on_ui_thread", OnUiThread() ? 1 : 0);
  WakeAllConditionVariable(&l.wake);
}

void cef_do_message_loop_work(void) {
  if (initialized.load() && !shut_down.load()) Pump(false);
}

}  // extern "C"
