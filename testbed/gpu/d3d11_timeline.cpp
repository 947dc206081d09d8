// The timeline of a stand-in device: what its immediate context records runs on the
// device's own GPU thread, in order, a scripted delay after the Flush that submitted it,
// as on real hardware, so a reader on another device that does not synchronise sees the
// old picture or a mix. Without the delay the work runs inside the call that records it,
// unless a fence wait holds the timeline back, so existing callers see no change.
//
// Also the process's list of devices, for removing all of them at once.
#include "testbed/gpu/d3d11_objects.h"

#include <cstdlib>
#include <deque>
#include <utility>
#include <vector>

namespace standin {

struct Timeline {
  Device* device = nullptr;  // not owned: the device owns its timeline
  long long delay_us = -1;
  CRITICAL_SECTION lock;
  CONDITION_VARIABLE changed;
  struct Batch {
    LARGE_INTEGER due_qpc = {};  // the batch does not start before this
    std::vector<std::function<void()>> work;
  };
  std::vector<std::function<void()>> recording;  // recorded, not yet submitted (delay only)
  std::deque<Batch> submitted;
  bool busy = false;    // work is running (on the GPU thread or inline)
  bool ending = false;  // EndTimeline: run what is left, then stop
  HANDLE thread = nullptr;
  DWORD thread_id = 0;
};

namespace {

CRITICAL_SECTION* DevicesLock() {
  static CRITICAL_SECTION* lock = [] {
    static CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    return &cs;
  }();
  return lock;
}
std::vector<Device*>& Devices() {
  static std::vector<Device*>* devices = new std::vector<Device*>();  // never freed: used until exit
  return *devices;
}

LARGE_INTEGER QpcIn(long long micros) {
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  now.QuadPart += micros * freq.QuadPart / 1000000;
  return now;
}

// Blocks (with the lock held on entry and exit) until `due` has come.
void SleepUntil(Timeline* t, const LARGE_INTEGER& due) {
  for (;;) {
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    if (now.QuadPart >= due.QuadPart || t->ending) return;
    const long long left_ms = (due.QuadPart - now.QuadPart) * 1000 / freq.QuadPart;
    if (left_ms > 0) {
      SleepConditionVariableCS(&t->changed, &t->lock, static_cast<DWORD>(left_ms));
    } else {
      LeaveCriticalSection(&t->lock);
      Sleep(0);
      EnterCriticalSection(&t->lock);
    }
  }
}

void RunBatch(Timeline* t, std::vector<std::function<void()>>& work) {
  for (auto& w : work)
    if (!DeviceRemoved(t->device)) w();  // a lost device's queued work never happens
  work.clear();
}

DWORD WINAPI GpuThread(void* param) {
  Timeline* t = static_cast<Timeline*>(param);
  EnterCriticalSection(&t->lock);
  for (;;) {
    while (t->submitted.empty() && !t->ending) SleepConditionVariableCS(&t->changed, &t->lock, INFINITE);
    if (t->submitted.empty()) break;
    SleepUntil(t, t->submitted.front().due_qpc);
    Timeline::Batch batch = std::move(t->submitted.front());
    t->submitted.pop_front();
    t->busy = true;
    LeaveCriticalSection(&t->lock);
    RunBatch(t, batch.work);
    EnterCriticalSection(&t->lock);
    t->busy = false;
    WakeAllConditionVariable(&t->changed);
  }
  LeaveCriticalSection(&t->lock);
  return 0;
}

// Queues a batch (lock held) and makes sure a GPU thread runs it.
void Enqueue(Timeline* t, std::vector<std::function<void()>> work, long long delay_us) {
  Timeline::Batch batch;
  batch.due_qpc = QpcIn(delay_us < 0 ? 0 : delay_us);
  batch.work = std::move(work);
  t->submitted.push_back(std::move(batch));
  if (!t->thread) t->thread = CreateThread(nullptr, 0, GpuThread, t, 0, &t->thread_id);
  if (!t->thread) FailLoudly("the stand-in GPU thread could not be started");
  WakeAllConditionVariable(&t->changed);
}

}  // namespace

long long ReadDelayMicros() {
  char text[32];
  const DWORD n = GetEnvironmentVariableA("NIMO_STANDIN_GPU_DELAY_US", text, sizeof text);
  if (n == 0 || n >= sizeof text) return -1;
  char* end = nullptr;
  const long long v = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || v < 0) return -1;
  return v;
}

Timeline* NewTimeline(Device* d, long long delay_us) {
  Timeline* t = new Timeline();
  t->device = d;
  t->delay_us = delay_us;
  InitializeCriticalSection(&t->lock);
  InitializeConditionVariable(&t->changed);
  return t;
}

void EndTimeline(Timeline* t) {
  if (!t) return;
  EnterCriticalSection(&t->lock);
  // What was recorded but never flushed is submitted by the release, as by a real runtime.
  if (!t->recording.empty()) Enqueue(t, std::move(t->recording), 0);
  t->recording.clear();
  t->ending = true;
  WakeAllConditionVariable(&t->changed);
  HANDLE thread = t->thread;
  const DWORD id = t->thread_id;
  LeaveCriticalSection(&t->lock);
  if (thread) {
    // The device is never released by its own GPU thread (recorded work holds pixels,
    // not textures), so this wait cannot be on itself.
    if (id == GetCurrentThreadId()) FailLoudly("a stand-in device released on its own GPU thread");
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  DeleteCriticalSection(&t->lock);
  delete t;
}

void Record(Device* d, std::function<void()> work) {
  Timeline* t = d->timeline;
  if (DeviceRemoved(d)) return;
  EnterCriticalSection(&t->lock);
  if (t->delay_us >= 0) {
    t->recording.push_back(std::move(work));
    LeaveCriticalSection(&t->lock);
    return;
  }
  if (!t->submitted.empty() || t->busy) {
    // Earlier work still waits (behind a fence): this comes after it.
    std::vector<std::function<void()>> one;
    one.push_back(std::move(work));
    Enqueue(t, std::move(one), 0);
    LeaveCriticalSection(&t->lock);
    return;
  }
  t->busy = true;
  LeaveCriticalSection(&t->lock);
  work();
  EnterCriticalSection(&t->lock);
  t->busy = false;
  WakeAllConditionVariable(&t->changed);
  LeaveCriticalSection(&t->lock);
}

void RecordBlocking(Device* d, std::function<void()> work) {
  Timeline* t = d->timeline;
  if (DeviceRemoved(d)) return;
  EnterCriticalSection(&t->lock);
  if (t->delay_us >= 0) {
    t->recording.push_back(std::move(work));
  } else {
    std::vector<std::function<void()>> one;
    one.push_back(std::move(work));
    Enqueue(t, std::move(one), 0);
  }
  LeaveCriticalSection(&t->lock);
}

bool RunsInline(Device* d) {
  Timeline* t = d->timeline;
  EnterCriticalSection(&t->lock);
  const bool now = t->delay_us < 0 && t->submitted.empty() && !t->busy;
  LeaveCriticalSection(&t->lock);
  return now;
}

void Submit(Device* d) {
  Timeline* t = d->timeline;
  EnterCriticalSection(&t->lock);
  if (!t->recording.empty()) {
    Enqueue(t, std::move(t->recording), t->delay_us);
    t->recording.clear();
  }
  LeaveCriticalSection(&t->lock);
}

void WaitIdle(Device* d) {
  Submit(d);
  Timeline* t = d->timeline;
  EnterCriticalSection(&t->lock);
  while ((!t->submitted.empty() || t->busy) && t->thread_id != GetCurrentThreadId())
    SleepConditionVariableCS(&t->changed, &t->lock, INFINITE);
  LeaveCriticalSection(&t->lock);
}

bool TimelineEnding(Device* d) {
  Timeline* t = d->timeline;
  EnterCriticalSection(&t->lock);
  const bool ending = t->ending;
  LeaveCriticalSection(&t->lock);
  return ending;
}

void RegisterDevice(Device* d) {
  EnterCriticalSection(DevicesLock());
  Devices().push_back(d);
  LeaveCriticalSection(DevicesLock());
}

void UnregisterDevice(Device* d) {
  EnterCriticalSection(DevicesLock());
  auto& all = Devices();
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i] == d) {
      all.erase(all.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  LeaveCriticalSection(DevicesLock());
}

void RemoveAllDevices() {
  EnterCriticalSection(DevicesLock());
  for (Device* d : Devices()) {
    InterlockedExchange(&d->removed, 1);
    Journal("device removed (adapter %u, all devices)", d->adapter_index);
    CompleteFencesOf(d);
  }
  const size_t n = Devices().size();
  LeaveCriticalSection(DevicesLock());
  Journal("NimoStandinRemoveAllDevices: %u devices", static_cast<unsigned>(n));
}

}  // namespace standin

extern "C" void WINAPI NimoStandinRemoveAllDevices(void) {
  standin::EntryClock clock;
  standin::RemoveAllDevices();
}
