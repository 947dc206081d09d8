#include "host/app.h"

#include <windows.h>

#include "base/callback_guard.h"
#include "base/engine_api.h"
#include "base/engine_ref.h"
#include "base/engine_strings.h"
#include "base/portable/static_ref.h"
#include "bridge/native_mp.h"
#include "diag/log.h"
#include "host/portable/engine_switches.h"

namespace nimo {
namespace {

cef_app_t engine_app;
unsigned char engine_app_built = 0;

void AppendPlainSwitch(cef_command_line_t* command_line, const char* name) {
  TempEngineString engine_name(name);
  command_line->append_switch(command_line, engine_name.get());
}

void CEF_CALLBACK OnBeforeCommandLineProcessing(cef_app_t*, const cef_string_t*,
                                                cef_command_line_t* command_line) {
  const auto command_line_ref = AdoptRef(command_line);
  if (command_line == nullptr) return;
  if (command_line->append_switch != nullptr && engine_api.cef_string_utf8_to_utf16) {
    for (const EngineSwitch& entry : EngineSwitchSet(CpuRenderingForced())) {
      if (entry.value == nullptr) {
        AppendPlainSwitch(command_line, entry.name);
      } else {
        AppendSwitchWithValue(command_line, entry.name, entry.value);
      }
    }
    if (command_line->get_command_line_string != nullptr) {
      const std::string text =
          UserfreeToUtf8(command_line->get_command_line_string(command_line));
      WriteLog("[nimo-webengine][cmdline] %s\n", text.c_str());
    }
  }
}

}  // namespace

bool CpuRenderingForced() {
  char buffer[8] = {};
  const DWORD result = GetEnvironmentVariableA("ZUNT_CEF_CPU", buffer, sizeof buffer);
  if (EnvironmentForcesCpu(result, buffer)) return true;
  return GetFileAttributesA("D:\\razuvavava\\ZUNT_CEF_CPU") != INVALID_FILE_ATTRIBUTES;
}

void AppendSwitchWithValue(cef_command_line_t* command_line, const std::string& name,
                           const std::string& value) {
  if (command_line == nullptr || command_line->append_switch_with_value == nullptr) return;
  TempEngineString engine_name(name);
  TempEngineString engine_value(value);
  command_line->append_switch_with_value(command_line, engine_name.get(), engine_value.get());
}

cef_app_t* GetEngineApp() {
  if (!engine_app_built) {
    engine_app = cef_app_t();
    InitStaticBase(&engine_app.base, sizeof engine_app);
    engine_app.on_before_command_line_processing = Guarded<OnBeforeCommandLineProcessing>;
    engine_app.get_render_process_handler = GetRenderProcessHandler;
    engine_app_built = 1;
  }
  return &engine_app;
}

}  // namespace nimo
