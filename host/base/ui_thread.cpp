#include "host/base/ui_thread.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "diag/log.h"
#include "host/base/engine_api.h"

namespace nimo {
namespace {

std::atomic<DWORD> ui_thread_id{0};  // 0: none recorded (no thread has id 0)
std::atomic<bool> engine_initialized{false};
std::atomic<ThreadViolationHandler> violation_handler{nullptr};

void DefaultViolation(const char* where) {
  WriteLog("[nimo-webengine][thread] %s called off the UI thread\n", where);
  std::abort();
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
