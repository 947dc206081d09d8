#include "bridge/renderer_page_api.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/engine_api.h"
#include "base/engine_strings.h"
#include "bridge/page_api.h"
#include "bridge/portable/page_script_env.h"

namespace nimo {
namespace {

// The variable's value; empty when it is not set.
std::string PageScriptEnvironment() {
  std::vector<char> value(256);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD got = GetEnvironmentVariableA(kPageScriptEnv, value.data(), static_cast<DWORD>(value.size()));
    if (got == 0) return std::string();
    if (got < value.size()) return std::string(value.data(), got);
    value.resize(got + 1);  // `got` is the size needed, terminator included
  }
  return std::string();
}

}  // namespace

void InstallEarlyPageApi(cef_frame_t* frame) {
  if (!frame || !frame->execute_java_script || !engine_api.cef_string_utf8_to_utf16) return;
  if (frame->is_main && frame->is_main(frame) == 0) return;
  const std::string env = PageScriptEnvironment();
  if (env.empty()) return;
  const std::string script = EarlyPageScript(env, PageApiScript());
  if (script.empty()) return;
  TempEngineString code(script);
  TempEngineString url("", 0);
  frame->execute_java_script(frame, code.get(), url.get(), 0);
}

}  // namespace nimo
