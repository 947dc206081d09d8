#include "host/browser_process.h"

#include "diag/crash_filter.h"
#include "diag/log.h"
#include "host/engine_api.h"

namespace nimo {

HANDLE client_process = nullptr;

int RunBrowserProcess(HINSTANCE) {
  SetUnhandledExceptionFilter(CrashFilter);
  const bool complete = ResolveBrowserEntries();
  // Shown before the verdict: a library of another revision is the likeliest reason for
  // missing exports.
  LogEngineRevision();
  if (!complete) {
    WriteLog("[nimo-webengine][browser] missing exports (init=%p postTask=%p) \xE2\x80\x94 "
             "cannot run as browser\n",
             reinterpret_cast<const void*>(engine_api.cef_initialize),
             reinterpret_cast<const void*>(engine_api.cef_post_task));
    return 2;
  }
  return 0;
}

}  // namespace nimo
