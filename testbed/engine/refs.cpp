#include "testbed/engine/refs.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <unordered_set>

#include "testbed/engine/journal.h"

namespace standin {
namespace {

// Freed wrappers kept addressable; beyond this many the oldest is really freed.
std::atomic<std::size_t> quarantine_limit{50000};

struct Registry {
  std::mutex lock;
  std::unordered_set<WrapperInfo*> live;
  std::unordered_set<const void*> known;
  std::deque<void*> quarantine;
  unsigned long long next_serial = 1;
  long long over_releases = 0;
  long long stale_calls = 0;
};

Registry& registry() {
  static Registry* r = new Registry();  // outlives every static destructor
  return *r;
}

void CEF_CALLBACK TrackedAddRef(cef_base_ref_counted_t* self) {
  WrapperInfo* info = InfoOf(self);
  if (info->refs.load() <= 0) {
    CheckAlive(self, "add_ref");
    return;
  }
  ++info->refs;
}

int CEF_CALLBACK TrackedRelease(cef_base_ref_counted_t* self) {
  WrapperInfo* info = InfoOf(self);
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  if (info->refs.load() <= 0) {
    ++r.over_releases;
    Event("refs.overrelease").Text("kind", info->kind).Unsigned("serial", info->serial).Text("origin", info->origin);
    return 0;
  }
  if (--info->refs != 0) return 0;
  if (info->journal_free) Event("refs.freed").Text("kind", info->kind).Unsigned("serial", info->serial);
  r.live.erase(info);
  r.quarantine.push_back(self);
  while (r.quarantine.size() > quarantine_limit.load()) {
    void* oldest = r.quarantine.front();
    r.quarantine.pop_front();
    r.known.erase(oldest);
    WrapperInfo* gone = InfoOf(oldest);
    void* core = gone->core;
    void (*free_core)(void*) = gone->free_core;
    gone->destroy(oldest);
    if (free_core) free_core(core);
  }
  return 1;
}

int CEF_CALLBACK TrackedHasOneRef(cef_base_ref_counted_t* self) {
  CheckAlive(self, "has_one_ref");
  return InfoOf(self)->refs.load() == 1 ? 1 : 0;
}

int CEF_CALLBACK TrackedHasAtLeastOneRef(cef_base_ref_counted_t* self) {
  return InfoOf(self)->refs.load() >= 1 ? 1 : 0;
}

}  // namespace

void SetQuarantineLimit(std::size_t limit) { quarantine_limit = limit; }

WrapperInfo* InfoOf(const void* self) {
  const cef_base_ref_counted_t* base = static_cast<const cef_base_ref_counted_t*>(self);
  return reinterpret_cast<WrapperInfo*>(const_cast<char*>(reinterpret_cast<const char*>(self)) + base->size);
}

void Track(cef_base_ref_counted_t* base, WrapperInfo* info) {
  base->add_ref = TrackedAddRef;
  base->release = TrackedRelease;
  base->has_one_ref = TrackedHasOneRef;
  base->has_at_least_one_ref = TrackedHasAtLeastOneRef;
  info->refs.store(1);
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  info->serial = r.next_serial++;
  r.live.insert(info);
  r.known.insert(base);
}

bool IsWrapper(const void* object) {
  if (!object) return false;
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  return r.known.count(object) != 0;
}

bool CheckAlive(const void* self, const char* slot) {
  WrapperInfo* info = InfoOf(self);
  if (info->refs.load() > 0) return true;
  Registry& r = registry();
  {
    std::lock_guard<std::mutex> hold(r.lock);
    ++r.stale_calls;
  }
  Event("refs.use_after_release").Text("kind", info->kind).Unsigned("serial", info->serial).Text("slot", slot);
  return false;
}

void Consume(const void* object, const char* where) {
  if (!IsWrapper(object)) return;
  WrapperInfo* info = InfoOf(object);
  if (info->refs.load() <= 0) {
    Registry& r = registry();
    {
      std::lock_guard<std::mutex> hold(r.lock);
      ++r.over_releases;
    }
    Event("refs.overrelease").Text("kind", info->kind).Unsigned("serial", info->serial).Text("origin", info->origin)
        .Text("consumed_by", where);
    return;
  }
  TrackedRelease(const_cast<cef_base_ref_counted_t*>(static_cast<const cef_base_ref_counted_t*>(object)));
}

void ReleaseProductObject(cef_base_ref_counted_t* base) {
  if (base && base->release) base->release(base);
}

long long LiveWrapperCount() {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  return static_cast<long long>(r.live.size());
}

void ReportReferences(const char* when) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  for (WrapperInfo* info : r.live) {
    Event("refs.leak").Text("kind", info->kind).Unsigned("serial", info->serial).Text("origin", info->origin)
        .Num("refs", info->refs.load()).Text("at", when);
  }
  Event("refs").Num("leaks", static_cast<long long>(r.live.size())).Num("overreleases", r.over_releases);
  Event("refs.late_calls").Num("count", r.stale_calls);
}

}  // namespace standin
