#include "bridge/console_channel.h"

#include <string>

#include "base/callback_guard.h"
#include "base/engine_ref.h"
#include "base/engine_strings.h"
#include "base/ui_thread.h"
#include "bridge/page_api.h"
#include "bridge/portable/console_line.h"
#include "bridge/portable/text_note.h"
#include "link/send.h"
#include "surfaces/keyboard.h"
#include "surfaces/surface.h"

namespace nimo {
namespace {

// Returns 0 always, so the engine still writes the message to its own log.
int CEF_CALLBACK OnConsoleMessage(cef_display_handler_t* self, cef_browser_t* browser,
                                  cef_log_severity_t level, const cef_string_t* message,
                                  const cef_string_t* source, int line) {
  RequireUiThread("on_console_message");
  const auto browser_ref = AdoptRef(browser);
  if (Surface* surface = SurfaceFrom(self)) {
    const std::string text = ToUtf8(message);
    // The focus watcher runs only in sessions of protocol 3; its notes stay here.
    int note = 0;
    if (KeyboardProtocol() && ParseTextNote(text.data(), text.size(), &note)) {
      KeyboardPageNote(surface->id, note);
      return 0;
    }
    if (PageApiActive() && HandleCallLine(surface->id, browser, text)) return 0;
    ConsoleReport report = ConsoleReportFor(static_cast<int>(level), text, ToUtf8(source), line);
    // A document the client did not let talk to the game writes ordinary console lines,
    // whatever their text.
    if (report.type == kMsgPageMessage && PageApiActive() && !PageOriginAllowed(MainFrameOrigin(browser))) {
      report = ConsoleReport{kMsgConsoleLine, BuildConsoleLine(static_cast<int>(level), text, ToUtf8(source), line)};
    }
    SendText(report.type, surface->id, report.text);
  }
  return 0;
}

}  // namespace

void InstallConsoleChannel(cef_display_handler_t* handler) {
  if (handler) handler->on_console_message = Guarded<OnConsoleMessage>;
}

}  // namespace nimo
