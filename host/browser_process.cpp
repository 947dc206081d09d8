#include "host/browser_process.h"

#include <windows.h>

#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/command_line.h"
#include "base/engine_api.h"
#include "base/paths.h"
#include "base/project_version.h"
#include "base/ui_thread.h"
#include "base/wide_text.h"
#include "bridge/console_channel.h"
#include "bridge/load_handler.h"
#include "bridge/page_api.h"
#include "bridge/page_invoke.h"
#include "diag/crash_filter.h"
#include "diag/frame_stamps.h"
#include "diag/log.h"
#include "diag/perf_stats.h"
#include "diag/portable/extended_path.h"
#include "host/app.h"
#include "host/portable/devtools_port.h"
#include "link/pipe_link.h"
#include "link/ui_task.h"
#include "protocol/switches.h"
#include "protocol/version.h"
#include "surfaces/browser_info.h"
#include "surfaces/call_answers.h"
#include "surfaces/commands.h"
#include "surfaces/frame_pacing.h"
#include "surfaces/frame_ring_slots.h"
#include "surfaces/gpu_device.h"
#include "surfaces/paint.h"
#include "surfaces/pointer.h"
#include "surfaces/surface.h"
#include "surfaces/surface_texture.h"
#include "surfaces/ui_origin.h"

namespace nimo {

namespace {

constexpr UINT kTimerResolutionMs = 1;
// How long the end waits for each link thread; both have normally ended with the link.
constexpr DWORD kLinkCloseWaitMs = 1000;

// The engine keeps pointers into its settings strings for its whole life, so they are
// converted once into storage that is never cleared.
cef_settings_t settings;

void SetEngineString(cef_string_t* member, const std::string& value) {
  if (value.empty() || engine_api.cef_string_utf8_to_utf16 == nullptr) return;
  engine_api.cef_string_utf8_to_utf16(value.data(), value.size(), member);
}

// A path the engine gets whole but may not be able to use: many system calls stop at 259
// characters unless the machine has long paths turned on. Said once per path, so a failure
// that follows is not a mystery.
void NoteLongPath(const char* setting, const std::string& path) {
  const std::size_t characters = WideFromUtf8(path).size();
  if (characters < kClassicPathLimit) return;
  char line[160];
  std::snprintf(line, sizeof line,
                "[nimo-webengine][browser] %s is %llu characters long, over the 259 that some system calls take: ",
                setting, static_cast<unsigned long long>(characters));
  WriteLogText((line + path + "\n").c_str());
}

void OpenClientProcess(const std::string& pid_text) {
  if (pid_text.empty()) return;
  const DWORD pid = static_cast<DWORD>(std::strtoul(pid_text.c_str(), nullptr, 10));
  client_process.reset(OpenProcess(PROCESS_DUP_HANDLE, FALSE, pid));
  if (!client_process) {
    WriteLog("[nimo-webengine][gpu] OpenProcess(client) FAILED err=%p \xE2\x80\x94 frames cannot be shared\n",
             static_cast<std::uint64_t>(GetLastError()));
  }
}

}  // namespace

int RunBrowserProcess(HINSTANCE instance) {
  RecordUiThread();  // this thread runs the engine's message loop
  SetUnhandledExceptionFilter(CrashFilter);
  timeBeginPeriod(kTimerResolutionMs);

  WriteLog("[nimo-webengine][browser] nimo-webengine " NIMO_VERSION_TEXT " starting\n");
  const bool complete = ResolveBrowserEntries();
  // Shown before the verdict: a library of another revision is the likeliest reason for
  // missing exports.
  LogEngineRevision();
  if (!complete) {
    WriteLog("[nimo-webengine][browser] missing exports (init=%p postTask=%p) \xE2\x80\x94 cannot run as browser\n",
             reinterpret_cast<const void*>(engine_api.cef_initialize),
             reinterpret_cast<const void*>(engine_api.cef_post_task));
    return 2;
  }

  // Paths are UTF-8 from here on (base/paths.h reads them as UTF-16), and the engine
  // gets them back as UTF-16 through its own conversion.
  const std::string exe_path = GetExecutablePath();
  const std::string exe_dir = GetExecutableDirectory();

  const std::string resources_dir = ToFullPath(GetSwitchValue(kSwitchResources, exe_dir));
  const std::string locales_dir =
      ToFullPath(GetSwitchValue(kSwitchLocales, exe_dir + "\\..\\cef\\locales"));
  const std::string cache_dir =
      ToFullPath(GetSwitchValue(kSwitchCache, exe_dir + "\\..\\cef_cache"));
  const std::string url = GetSwitchValue(kSwitchUrl, "about:blank");
  const std::string log_file = ToFullPath(exe_dir + "\\..\\logs\\webengine.log");

  MakeDirectory(cache_dir);  // an existing folder is fine
  InitSurfaceTable();
  for (Surface& s : surfaces) {
    InstallLoadHandler(&s.load_handler);
    InstallConsoleChannel(&s.display_handler);
    InstallProcessMessageReceiver(&s.client);
  }
  SetProbeStopper(StopFrameRateProbe);
  // Before the engine starts, so the renderers it launches inherit the setting.
  const bool page_api = NegotiateProtocolVersion(GetSwitchValue(kSwitchProtocol, "")) >= 3;
  ConfigurePageApi(page_api, ParseOriginFilter(GetSwitchValue(kSwitchBridgeOrigins, "")));
  if (page_api) {
    // Renderers learn which browsers (surfaces) take window.mp early from their creation info.
    MarkEarlyPageApiBrowsers();
    SetCallAnswerHandler(AnswerPageCall);
    SetDocumentGoneHandler(ForgetPageCalls);
  }
  OpenClientProcess(GetSwitchValue(kSwitchClientPid, ""));
  const std::string ui_root = GetSwitchValue(kSwitchUiRoot, "");
  if (!ui_root.empty()) ConfigureUiOrigin(ui_root);

  std::memset(&settings, 0, sizeof(settings));
  settings.size = sizeof(cef_settings_t);
  settings.no_sandbox = 1;
  settings.multi_threaded_message_loop = 0;  // the main thread is the engine's UI thread
  settings.external_message_pump = 0;
  settings.windowless_rendering_enabled = 1;
  settings.command_line_args_disabled = 0;
  SetEngineString(&settings.browser_subprocess_path, exe_path);
  SetEngineString(&settings.cache_path, cache_dir);
  SetEngineString(&settings.root_cache_path, cache_dir);
  SetEngineString(&settings.resources_dir_path, resources_dir);
  SetEngineString(&settings.locales_dir_path, locales_dir);
  SetEngineString(&settings.log_file, log_file);
  NoteLongPath("browser_subprocess_path", exe_path);
  NoteLongPath("cache_path", cache_dir);
  NoteLongPath("resources_dir_path", resources_dir);
  NoteLongPath("locales_dir_path", locales_dir);
  NoteLongPath("log_file", log_file);
  const std::string devtools_port = GetSwitchValue(kSwitchDevToolsPort, "");
  if (!devtools_port.empty()) {
    settings.remote_debugging_port = ParseDevToolsPort(devtools_port);
    if (settings.remote_debugging_port != 0) {
      WriteLog("[nimo-webengine][browser] DevTools: open http://127.0.0.1:%d to inspect the pages\n",
               settings.remote_debugging_port);
    } else {
      WriteLog("[nimo-webengine][browser] --nimomp-devtools-port=%s ignored (1024-65535) - DevTools stay off\n",
               devtools_port.c_str());
    }
  }

  WriteLog("[nimo-webengine][browser] cef_initialize: subprocess=%s\n", exe_path.c_str());
  cef_main_args_t main_args = {};
  main_args.instance = instance;
  if (engine_api.cef_initialize(&main_args, &settings, GetEngineApp(), nullptr) == 0) {
    WriteLog("[nimo-webengine][browser] cef_initialize FAILED\n");
    // The folders it was given are the usual suspects.
    WriteLogText(("[nimo-webengine][browser] folders given: resources=" + resources_dir + " locales=" + locales_dir +
                  " cache=" + cache_dir + "\n")
                     .c_str());
    return 3;
  }
  NoteEngineInitialized();
  WriteLog("[nimo-webengine][browser] cef_initialize OK \xE2\x80\x94 creating OSR browser: %s\n", url.c_str());

  InitPerfStats();
  const std::string pipe_name = GetSwitchValue(kSwitchPipe, "");
  const std::uint32_t protocol_version = NegotiateProtocolVersion(GetSwitchValue(kSwitchProtocol, ""));
  // The pointer's callbacks exist only for a client that speaks protocol 3.
  if (protocol_version >= 3) EnablePointer();
  if (GetSwitchValue(kSwitchFrameStamps, "") == "1") EnableFrameStamps();
  ConfigureFrameRing(protocol_version, GetSwitchValue(kSwitchFrameRing, ""));
  if (!pipe_name.empty()) ConnectPipe(pipe_name.c_str(), SurfaceCommandSink(), protocol_version);

  if (!CreateUiSurfaceBrowser(url)) {
    WriteLog("[nimo-webengine][browser] create_browser FAILED\n");
  }

  WriteLog("[nimo-webengine][browser] entering message loop \xE2\x80\x94 LOOK FOR CHILD PROCESSES NOW\n");
  engine_api.cef_run_message_loop();

  // What the engine's objects, the GPU, the client and the link are held by is let go on
  // this thread while the engine still runs; nothing is left for static destructors.
  ReleaseSurfaceTable();
  ReleaseFrameRing();
  surfaces.gpu.Release();
  client_process.reset();
  CloseLink(kLinkCloseWaitMs);
  WriteFrameStampsToLog();
  StopUiTasks();  // a link thread that outlived the wait can no longer reach the engine
  if (engine_api.cef_shutdown != nullptr) engine_api.cef_shutdown();
  timeEndPeriod(kTimerResolutionMs);
  WriteLog("[nimo-webengine][browser] shut down. paints=%ld\n",
           static_cast<std::int64_t>(first_paint_counter.load()));
  return 0;
}

}  // namespace nimo
