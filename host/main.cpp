// Process entry: every role of the executable starts here. The engine decides first whether
// this is one of its sub-processes; only a command line naming --nimomp-browser makes the
// browser process.
#include <windows.h>

#include <string>

#include "base/command_line.h"
#include "base/engine_api.h"
#include "base/paths.h"
#include "diag/log.h"
#include "host/app.h"
#include "host/browser_process.h"
#include "host/portable/process_role.h"

namespace {

// Layout of PROCESS_POWER_THROTTLING_STATE, declared here because older SDK headers lack it.
struct PowerThrottlingState {
  ULONG Version;
  ULONG ControlMask;
  ULONG StateMask;
};
static_assert(sizeof(PowerThrottlingState) == 12, "PROCESS_POWER_THROTTLING_STATE is 12 bytes");

typedef BOOL(WINAPI* SetProcessInformationFn)(HANDLE process, int information_class,
                                              LPVOID information, DWORD size);
typedef LONG(APIENTRY* SetSchedulingPriorityClassFn)(HANDLE process, int priority_class);

template <typename Fn>
Fn LookUp(const char* module_name, const char* function_name) {
  HMODULE module = GetModuleHandleA(module_name);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Fn>(
      reinterpret_cast<void (*)(void)>(GetProcAddress(module, function_name)));
}

// Neither call exists on every Windows version: looked up, and skipped when absent.
void RaiseProcessPriority() {
  if (SetProcessInformationFn set_information =
          LookUp<SetProcessInformationFn>("kernel32.dll", "SetProcessInformation")) {
    // Control bit set with state bit clear: execution-speed throttling off.
    PowerThrottlingState state = {1, 1, 0};
    const int kProcessPowerThrottling = 4;
    set_information(GetCurrentProcess(), kProcessPowerThrottling, &state, sizeof state);
  }
  if (SetSchedulingPriorityClassFn set_class = LookUp<SetSchedulingPriorityClassFn>(
          "gdi32.dll", "D3DKMTSetProcessSchedulingPriorityClass")) {
    const int kSchedulingPriorityClassHigh = 4;
    set_class(GetCurrentProcess(), kSchedulingPriorityClassHigh);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  RaiseProcessPriority();
  // Read as UTF-16 and logged as UTF-8: a path of any script shows as it is.
  nimo::WriteLog("[nimo-webengine] launched cmdline=%s\n", nimo::CommandLineText().c_str());

  nimo::engine_module = nimo::LoadEngineLibrary();
  if (nimo::engine_module == nullptr) return 1;
  nimo::ResolveRendererEntries();
  if (nimo::engine_api.cef_execute_process == nullptr) {
    nimo::WriteLog("[nimo-webengine] the engine library exports no cef_execute_process - not an engine library?\n");
    return 1;
  }

  cef_main_args_t main_args = {};
  main_args.instance = instance;
  const int result =
      nimo::engine_api.cef_execute_process(&main_args, nimo::GetEngineApp(), nullptr);
  const std::string command_line = nimo::CommandLineText();
  switch (nimo::SelectProcessRole(result, GetCommandLineW() ? command_line.c_str() : nullptr)) {
    case nimo::ProcessRole::kEngineSubprocess:
    case nimo::ProcessRole::kNone:
      return result;
    case nimo::ProcessRole::kBrowser:
      break;
  }
  return nimo::RunBrowserProcess(instance);
}
