#include "bridge/page_api.h"

#include <windows.h>

#include <array>

#include "base/engine_api.h"
#include "base/engine_ref.h"
#include "base/engine_strings.h"
#include "bridge/page_scripts.h"
#include "bridge/portable/page_calls.h"
#include "bridge/portable/page_script_env.h"
#include "diag/log.h"
#include "link/send.h"
#include "surfaces/surface.h"

namespace nimo {
namespace {

OriginFilter origin_filter;
// UI thread only; one book per surface slot.
std::array<CallBook, kSurfaceCount> books;

void RunInMainFrame(cef_browser_t* browser, const std::string& script) {
  if (!browser || !engine_api.cef_string_utf8_to_utf16) return;
  const auto frame = GetRef(browser, &cef_browser_t::get_main_frame);
  if (!frame || !frame->execute_java_script) return;
  TempEngineString code(script);
  TempEngineString url("", 0);
  frame->execute_java_script(frame.get(), code.get(), url.get(), 0);
}

void RefuseCall(cef_browser_t* browser, std::string_view token, const std::string& reason) {
  RunInMainFrame(browser, SettleScript(token, kCallReject, JsonStringLiteral(reason)));
}

}  // namespace

void ConfigurePageApi(bool active, const OriginFilter& filter) {
  if (!active) {
    SetEnvironmentVariableA(kPageScriptEnv, nullptr);
    return;
  }
  origin_filter = filter;
  const std::string value = PageScriptEnvValue(filter);
  SetEnvironmentVariableA(kPageScriptEnv, value.c_str());
  if (filter.active) WriteLog("[nimo-webengine][bridge] window.mp only for origins %s\n", value.c_str() + 1);
}

bool PageApiActive() { return LinkProtocolVersion() >= 3; }

std::string MainFrameOrigin(cef_browser_t* browser) {
  const auto frame = GetRef(browser, &cef_browser_t::get_main_frame);
  if (!frame || !frame->get_url) return "null";
  return OriginOf(UserfreeToUtf8(frame->get_url(frame.get())));
}

bool PageOriginAllowed(const std::string& origin) { return OriginAllowed(origin_filter, origin); }

const std::string& PageApiScript() {
  static const std::string script = std::string(kPageShim, kPageShimLength) + "\n" +
                                    std::string(kPageCall, kPageCallLength);
  return script;
}

bool HandleCallLine(std::uint32_t surface_id, cef_browser_t* browser, const std::string& text) {
  std::string_view token, body;
  if (surface_id >= kSurfaceCount || !ParseCallLine(text, &token, &body)) return false;
  const std::string origin = MainFrameOrigin(browser);
  if (!PageOriginAllowed(origin)) return false;
  CallBook& book = books[surface_id];
  const std::uint32_t id = book.Begin(token);
  if (id == 0) {
    RefuseCall(browser, token, "too many calls are waiting for the game");
    return true;
  }
  const std::vector<std::uint8_t> payload = EncodePageCall(surface_id, id, CallJson(body, origin));
  if (payload.empty() || !SendFrame(kMsgPageCall, payload.data(), static_cast<std::uint32_t>(payload.size()))) {
    book.Finish(id, nullptr);
    RefuseCall(browser, token, payload.empty() ? "the call is too large to send to the game"
                                               : "the call could not be sent to the game");
  }
  return true;
}

void ForgetPageCalls(std::uint32_t surface_id) {
  if (surface_id < kSurfaceCount) books[surface_id].Forget();
}

void AnswerPageCall(const CallMessage& answer) {
  if (answer.surface_id >= kSurfaceCount) return;
  std::string token;
  if (!books[answer.surface_id].Finish(answer.call_id, &token)) return;
  Surface& surface = surfaces[answer.surface_id];
  RunInMainFrame(surface.browser.get(), SettleScript(token, answer.status, answer.json));
}

}  // namespace nimo
