// Reference rules as the real engine enforces them. Every object the engine hands to the
// product (a callback argument or a return value) is a fresh wrapper carrying one
// reference; wrappers of one underlying object differ in address and agree in is_same.
// Every wrapper is tracked: at shutdown each one still referenced is journaled as a leak,
// every release past zero as an over-release. A released wrapper is kept in quarantine
// (a bounded FIFO, the oldest freed for real), so over-releases and late calls are
// counted instead of crashing the product's tests.
//
// Threads: any.
#pragma once
#include <atomic>
#include <cstddef>
#include <new>

#include "testbed/engine/engine_decls.h"

namespace standin {

struct WrapperInfo {
  std::atomic<int> refs;
  const char* kind;    // "browser", "frame", ...
  const char* origin;  // where it was handed out, e.g. "on_after_created"
  unsigned long long serial;
  void* core;          // the underlying object, shared by all its wrappers
  void (*destroy)(void* wrapper);
  // Set for a core that only this wrapper ever shows (a navigation's request): the core
  // is freed with the wrapper when it leaves quarantine, so a long run does not keep one
  // per navigation.
  void (*free_core)(void* core) = nullptr;
  // Set for wrappers whose last release the tests follow in time (a drag's data): the
  // release is journaled as "refs.freed" with the kind and the serial.
  bool journal_free = false;
};

template <class T>
struct Wrapper {
  T cef;
  WrapperInfo info;
};

WrapperInfo* InfoOf(const void* self);

template <class Core>
Core* CoreOf(const void* self) {
  return static_cast<Core*>(InfoOf(self)->core);
}

// Registers a new wrapper with one reference and fills its base slots.
void Track(cef_base_ref_counted_t* base, WrapperInfo* info);

// A fresh wrapper of T around `core`; `fill` sets T's own slots.
template <class T>
T* MakeWrapper(void* core, const char* kind, const char* origin, void (*fill)(T*)) {
  static_assert(offsetof(Wrapper<T>, info) == sizeof(T), "wrapper info must follow the structure");
  Wrapper<T>* w = new Wrapper<T>();
  w->cef.base.size = sizeof(T);
  w->info.kind = kind;
  w->info.origin = origin;
  w->info.core = core;
  w->info.destroy = [](void* p) { delete static_cast<Wrapper<T>*>(p); };
  fill(&w->cef);
  Track(&w->cef.base, &w->info);
  return &w->cef;
}

// Whether `object` is a wrapper this engine handed out (live or in quarantine).
bool IsWrapper(const void* object);

// A slot was called on `self`: journals a call on an already released wrapper (which the
// real engine would answer with a crash) and returns false then.
bool CheckAlive(const void* self, const char* slot);

// The product passed `object` to a call that takes over one reference. For a wrapper of
// ours that reference is dropped now, as the engine would drop it when done.
void Consume(const void* object, const char* where);

// Releases one reference of an object the product gave the engine (its own structures).
void ReleaseProductObject(cef_base_ref_counted_t* base);

// How many released wrappers stay in quarantine (default 50000; the scenario's
// `quarantine N`). A long run with a small limit keeps the engine's memory flat, so the
// product's own growth shows.
void SetQuarantineLimit(std::size_t limit);

// Wrappers currently referenced (for tests of the product's bookkeeping).
long long LiveWrapperCount();

// Journals every leak, then "refs leaks=N overreleases=M" and the count of late calls.
void ReportReferences(const char* when);

}  // namespace standin
