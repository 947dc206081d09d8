#include "base/ui_thread.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "base/engine_api.h"
#include "diag/log.h"

namespace nimo {
namespace {

std::atomic<DWORD> ui_thread_id{0};  // 0: none recorded (no thread has id 0)
std::atomic<bool> engine_initialized{false};
std::atomic<ThreadViolationHandler> violation_handler{nullptr};

std::atomic<int> violation_count{0};

// Entry points already logged. Sites are string literals of a few dozen callbacks; a site
// beyond the table's room is still counted, and logged every time.
constexpr int kLoggedSiteRoom = 64;
std::atomic<const char*> logged_sites[kLoggedSiteRoom] = {};

bool FirstFailureOf(const char* where) {
  for (std::atomic<const char*>& slot : logged_sites) {
    const char* seen = slot.load();
    while (seen == nullptr) {
      if (slot.compare_exchange_weak(seen, where)) return true;
    }
    if (std::strcmp(seen, where) == 0) return false;
  }
  return true;
}

void DefaultViolation(const char* where) {
  violation_count.fetch_add(1);
  if (FirstFailureOf(where)) WriteLog("[nimo-webengine][thread] %s called off the UI thread\n", where);
#if defined(NIMO_THREAD_CHECKS_FATAL)
  std::abort();
#endif
}

}  // namespace

void RecordUiThread() { ui_thread_id.store(GetCurrentThreadId()); }

void NoteEngineInitialized() { engine_initialized.store(true); }

bool OnUiThread() {
  const DWORD recorded = ui_thread_id.load();
  if (recorded != 0 && recorded != GetCurrentThreadId()) return false;
  if (engine_initialized.load() && engine_api.cef_currently_on != nullptr) {
    return engine_api.cef_currently_on(TID_UI) != 0;
  }
  return true;
}

int ThreadViolationCount() { return violation_count.load(); }

ThreadViolationHandler SetThreadViolationHandler(ThreadViolationHandler handler) {
  return violation_handler.exchange(handler);
}

#if defined(NIMO_THREAD_CHECKS)
void RequireUiThread(const char* where) {
  if (OnUiThread()) return;
  const ThreadViolationHandler handler = violation_handler.load();
  (handler != nullptr ? handler : DefaultViolation)(where != nullptr ? where : "?");
}
#endif

}  // namespace nimo
