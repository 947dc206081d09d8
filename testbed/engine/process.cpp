// Process-level entry points: version and hash queries, the sub-process dispatcher,
// initialisation and shutdown.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "testbed/engine/browser.h"
#include "testbed/engine/command_line.h"
#include "testbed/engine/devtools.h"
#include "testbed/engine/engine_decls.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/loop.h"
#include "testbed/engine/real_renderer.h"
#include "testbed/engine/refs.h"
#include "testbed/engine/renderer.h"
#include "testbed/engine/scenario.h"
#include "testbed/engine/slots.h"
#include "testbed/engine/strings.h"
#include "testbed/gpu/standin_gpu.h"

namespace standin {
namespace {

const char kPlatformHash[] = "aafe004dac5cf8b7f0b5ef12518c4a16e150f510";
const char kUniversalHash[] = "3e3393f10c4b95f7516521c8643b9a735fd0c3f3";
const char kCommitHash[] = "4997b2f0c8b83884034ff07a019158cfcef2eea8";
const int kVersion[8] = {132, 3, 2, 3117, 132, 0, 6834, 161};

cef_app_t* kept_app = nullptr;  // the application object, held from cef_initialize to cef_shutdown

// Lets the product's app adjust a command line, as the engine does before reading it.
void OfferCommandLine(cef_app_t* app, CommandLineCore* core, const std::u16string& process_type) {
  bool has = STANDIN_HAS_SLOT(app, cef_app_t, on_before_command_line_processing);
  Event("app.on_before_command_line_processing").Text("process", core->role).Num("present", has ? 1 : 0);
  if (has) {
    cef_string_t type = {const_cast<char16_t*>(process_type.data()), process_type.size(), nullptr};
    app->on_before_command_line_processing(app, &type, WrapCommandLine(core, "on_before_command_line_processing"));
  }
  Event("cmdline.final").Text("process", core->role).Text("text", U16ToUtf8(CommandLineString(*core)));
}

int ScriptedExitCode(const std::string& type) {
  const Directive* general = nullptr;
  for (const Directive* d : CurrentScenario().Globals("exit_code")) {
    if (d->Has("type")) {
      if (d->Get("type") == type) return static_cast<int>(d->At(0, 0));
    } else if (!general) {
      general = d;
    }
  }
  return general ? static_cast<int>(general->At(0, 0)) : 0;
}

void ReportStrings(const char* when) {
  StringCounts counts = CurrentStringCounts();
  Event("strings").Num("outstanding", counts.outstanding).Num("userfree_outstanding", counts.userfree_outstanding)
      .Num("bad_frees", counts.bad_frees).Text("at", when);
}

std::string Member(const cef_string_t& s) { return ToJournal(&s); }

}  // namespace

cef_app_t* KeptApp() { return kept_app; }

}  // namespace standin

using namespace standin;

extern "C" {

const char* cef_api_hash(int entry) {
  const Directive* d = CurrentScenario().Global("api_hash");
  Event("cef_api_hash").Num("entry", entry);
  static std::string scripted[3];
  const char* keys[3] = {"platform", "universal", "commit"};
  const char* fixed[3] = {kPlatformHash, kUniversalHash, kCommitHash};
  if (entry < 0 || entry > 2) return nullptr;
  if (d && d->Has(keys[entry])) {
    scripted[entry] = d->Get(keys[entry]);
    return scripted[entry].c_str();
  }
  return fixed[entry];
}

int cef_version_info(int entry) {
  Event("cef_version_info").Num("entry", entry);
  if (entry < 0 || entry > 7) return 0;
  const Directive* d = CurrentScenario().Global("version_info");
  if (d && entry < static_cast<int>(d->positional.size())) return static_cast<int>(d->At(entry, 0));
  return kVersion[entry];
}

int cef_execute_process(const cef_main_args_t* args, cef_app_t* application, void* windows_sandbox_info) {
  CommandLineCore* global = GlobalCommandLine();
  std::u16string type = SwitchValue(*global, u"type");
  const std::string raw = WideToUtf8(GetCommandLineW());
  Event("execute_process").Ptr("instance", args ? args->instance : nullptr).Ptr("app", application)
      .Ptr("sandbox", windows_sandbox_info).Text("type", U16ToUtf8(type)).Text("cmdline", raw);
  if (type.empty()) {
    // The browser process: nothing to run here; the engine drops the app reference.
    ReleaseProductObject(application ? &application->base : nullptr);
    Event("execute_process.result").Num("code", -1);
    return -1;
  }
  std::string role = U16ToUtf8(type);
  OfferCommandLine(application, global, type);
  if (role == "renderer") PlayRendererProcess(application);
  int code = ScriptedExitCode(role);
  ReleaseProductObject(application ? &application->base : nullptr);
  Event("execute_process.result").Num("code", code).Text("type", role);
  ReportQuietCounts();
  ReportReferences("subprocess exit");
  ReportStrings("subprocess exit");
  return code;
}

int cef_initialize(const cef_main_args_t* args, const cef_settings_t* settings, cef_app_t* application,
                   void* windows_sandbox_info) {
  if (!settings || settings->size != sizeof(cef_settings_t)) {
    Event("initialize.refused").Unsigned("size", settings ? settings->size : 0).Text("reason", "settings size");
    ReleaseProductObject(application ? &application->base : nullptr);
    return 0;
  }
  const cef_settings_t& s = *settings;
  Event("initialize").Ptr("instance", args ? args->instance : nullptr).Ptr("app", application)
      .Ptr("sandbox", windows_sandbox_info).Unsigned("size", s.size).Num("no_sandbox", s.no_sandbox)
      .Text("browser_subprocess_path", Member(s.browser_subprocess_path))
      .Text("framework_dir_path", Member(s.framework_dir_path)).Text("main_bundle_path", Member(s.main_bundle_path))
      .Num("multi_threaded_message_loop", s.multi_threaded_message_loop)
      .Num("external_message_pump", s.external_message_pump)
      .Num("windowless_rendering_enabled", s.windowless_rendering_enabled)
      .Num("command_line_args_disabled", s.command_line_args_disabled).Text("cache_path", Member(s.cache_path))
      .Text("root_cache_path", Member(s.root_cache_path)).Num("persist_session_cookies", s.persist_session_cookies)
      .Text("user_agent", Member(s.user_agent)).Text("user_agent_product", Member(s.user_agent_product))
      .Text("locale", Member(s.locale)).Text("log_file", Member(s.log_file)).Num("log_severity", s.log_severity)
      .Num("log_items", s.log_items).Text("javascript_flags", Member(s.javascript_flags))
      .Text("resources_dir_path", Member(s.resources_dir_path)).Text("locales_dir_path", Member(s.locales_dir_path))
      .Num("remote_debugging_port", s.remote_debugging_port)
      .Num("uncaught_exception_stack_size", s.uncaught_exception_stack_size)
      .Hex("background_color", s.background_color).Text("accept_language_list", Member(s.accept_language_list))
      .Text("cookieable_schemes_list", Member(s.cookieable_schemes_list))
      .Num("cookieable_schemes_exclude_defaults", s.cookieable_schemes_exclude_defaults)
      .Text("chrome_policy_id", Member(s.chrome_policy_id)).Num("chrome_app_icon_id", s.chrome_app_icon_id);
  const Directive* forced = CurrentScenario().Global("initialize_result");
  if (forced && forced->At(0, 1) == 0) {
    Event("initialize.refused").Text("reason", "scenario");
    ReleaseProductObject(application ? &application->base : nullptr);
    return 0;
  }
  MarkUiThread();
  SetEngineInitialized(true);
  kept_app = application;
  OfferCommandLine(application, GlobalCommandLine(), std::u16string());
  if (STANDIN_HAS_SLOT(application, cef_app_t, get_browser_process_handler)) {
    cef_browser_process_handler_t* handler = application->get_browser_process_handler(application);
    Event("app.get_browser_process_handler").Ptr("handler", handler);
    ReleaseProductObject(reinterpret_cast<cef_base_ref_counted_t*>(handler));
  }
  if (ChromiumModeRequested()) {
    SetChromiumDebuggingPort(s.remote_debugging_port);
    StartChromium();
  }
  Event("initialize.result").Num("ok", 1);
  return 1;
}

int cef_get_exit_code(void) { return 0; }

void cef_shutdown(void) {
  Event("shutdown").Num("on_ui_thread", OnUiThread() ? 1 : 0).Num("initialized", EngineInitialized() ? 1 : 0);
  if (!EngineInitialized() || EngineShutDown()) return;
  DropPendingWork();
  ShutdownBrowsers();
  ReleaseProductObject(kept_app ? &kept_app->base : nullptr);
  kept_app = nullptr;
  ReportQuietCounts();
  ReportReferences("shutdown");
  ReportStrings("shutdown");
  // What the product still holds of the stand-in GPU once every browser has gone.
  if (NimoStandinGpuLoaded()) {
    const NimoGpuStats gpu = NimoStandinGpuStats();
    Event("gpu.live").Unsigned("devices", gpu.devices_live).Unsigned("textures", gpu.textures_live)
        .Unsigned("created", gpu.textures_created).Unsigned("opened", gpu.textures_opened);
  }
}

}  // extern "C"
