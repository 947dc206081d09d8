#include "base/engine_api.h"

#include <string>

#include "base/portable/engine_revision.h"
#include "diag/log.h"

namespace nimo {

EngineApi engine_api = {};
HMODULE engine_module = nullptr;

namespace {

template <typename Fn>
void Resolve(Fn& slot, const char* name) {
  FARPROC address = engine_module ? GetProcAddress(engine_module, name) : nullptr;
  // Through the generic function-pointer type: the export's real type is Fn.
  slot = reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(address));
}

}  // namespace

void ResolveRendererEntries() {
  Resolve(engine_api.cef_execute_process, "cef_execute_process");
  Resolve(engine_api.cef_string_utf8_to_utf16, "cef_string_utf8_to_utf16");
  Resolve(engine_api.cef_string_utf16_clear, "cef_string_utf16_clear");
  Resolve(engine_api.cef_v8value_create_function, "cef_v8value_create_function");
  Resolve(engine_api.cef_v8value_create_object, "cef_v8value_create_object");
  Resolve(engine_api.cef_v8value_create_undefined, "cef_v8value_create_undefined");
  Resolve(engine_api.cef_process_message_create, "cef_process_message_create");
  Resolve(engine_api.cef_string_userfree_utf16_free, "cef_string_userfree_utf16_free");
  Resolve(engine_api.cef_v8context_get_current_context, "cef_v8context_get_current_context");
}

bool ResolveBrowserEntries() {
  Resolve(engine_api.cef_initialize, "cef_initialize");
  Resolve(engine_api.cef_run_message_loop, "cef_run_message_loop");
  Resolve(engine_api.cef_shutdown, "cef_shutdown");
  Resolve(engine_api.cef_browser_host_create_browser, "cef_browser_host_create_browser");
  Resolve(engine_api.cef_post_task, "cef_post_task");
  Resolve(engine_api.cef_post_delayed_task, "cef_post_delayed_task");
  Resolve(engine_api.cef_quit_message_loop, "cef_quit_message_loop");
  Resolve(engine_api.cef_currently_on, "cef_currently_on");
  Resolve(engine_api.cef_version_info, "cef_version_info");
  Resolve(engine_api.cef_api_hash, "cef_api_hash");
  Resolve(engine_api.cef_dictionary_value_create, "cef_dictionary_value_create");
  return engine_api.cef_initialize && engine_api.cef_run_message_loop &&
         engine_api.cef_browser_host_create_browser && engine_api.cef_post_task &&
         engine_api.cef_quit_message_loop;
}

void LogEngineRevision() {
  if (!IsLoggingEnabled()) return;
  int version[8] = {};
  if (engine_api.cef_version_info) {
    for (int i = 0; i < 8; ++i) version[i] = engine_api.cef_version_info(i);
  }
  const int* reported = engine_api.cef_version_info ? version : nullptr;
  const bool query_hash = ShouldQueryApiHash(reported, engine_api.cef_api_hash != nullptr);
  const char* hash = query_hash ? engine_api.cef_api_hash(0) : nullptr;
  const std::string lines = DescribeEngineRevision(reported, query_hash, hash);
  if (!lines.empty()) WriteLogText(lines.c_str());
}

}  // namespace nimo
