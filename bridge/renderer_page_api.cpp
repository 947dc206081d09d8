#include "bridge/renderer_page_api.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/engine_api.h"
#include "base/engine_strings.h"
#include "bridge/page_api.h"
#include "bridge/portable/page_script_env.h"
#include "surfaces/portable/surface_rules.h"

namespace nimo {
namespace {

// This renderer's marked browsers, by identifier. Renderer main thread only.
std::vector<int> early_page_api_browsers;

int IdentifierOf(cef_browser_t* browser) {
  return browser && browser->get_identifier ? browser->get_identifier(browser) : 0;
}

bool Marked(cef_browser_t* browser) {
  const int id = IdentifierOf(browser);
  return id != 0 && std::find(early_page_api_browsers.begin(), early_page_api_browsers.end(), id) !=
                        early_page_api_browsers.end();
}

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

void NoteRendererBrowser(cef_browser_t* browser, cef_dictionary_value_t* extra_info) {
  if (!extra_info || !extra_info->has_key || !extra_info->get_int || Marked(browser)) return;
  const int id = IdentifierOf(browser);
  if (id == 0) return;
  TempEngineString key(kEarlyPageApiKey);
  if (extra_info->has_key(extra_info, key.get()) == 0 || extra_info->get_int(extra_info, key.get()) != 1) return;
  early_page_api_browsers.push_back(id);
}

void ForgetRendererBrowser(cef_browser_t* browser) {
  const int id = IdentifierOf(browser);
  early_page_api_browsers.erase(std::remove(early_page_api_browsers.begin(), early_page_api_browsers.end(), id),
                                early_page_api_browsers.end());
}

void InstallEarlyPageApi(cef_browser_t* browser, cef_frame_t* frame) {
  if (!frame || !frame->execute_java_script || !engine_api.cef_string_utf8_to_utf16) return;
  if (!Marked(browser)) return;
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
