#include "bridge/page_invoke.h"

#include <string>

#include "base/callback_guard.h"
#include "base/engine_ref.h"
#include "base/engine_strings.h"
#include "base/ui_thread.h"
#include "link/send.h"
#include "protocol/page_message.h"
#include "protocol/wire.h"
#include "surfaces/surface.h"

namespace nimo {
namespace {

// The string at `index` of the list; empty when the list is shorter or holds another type
// there (the renderer only ever sends strings, anything else is not a call we understand).
std::string ListString(cef_list_value_t* list, size_t index, bool* present) {
  *present = false;
  if (list == nullptr || list->get_size == nullptr || list->get_string == nullptr) return std::string();
  if (list->get_size(list) <= index) return std::string();
  if (list->get_type != nullptr && list->get_type(list, index) != VTYPE_STRING) return std::string();
  *present = true;
  return UserfreeToUtf8(list->get_string(list, index));
}

void ForwardInvoke(Surface* surface, cef_process_message_t* message) {
  bool has_name = false;
  bool has_payload = false;
  std::string name;
  std::string payload;
  {
    const auto list = GetRef(message, &cef_process_message_t::get_argument_list);
    name = ListString(list.get(), 0, &has_name);
    payload = ListString(list.get(), 1, &has_payload);
  }
  // The renderer never posts a call without a name; one that has none is dropped rather
  // than reported as a call to "".
  if (surface == nullptr || !has_name || name.empty()) return;
  // The text a tagged console call of the page shim would carry for the same call.
  SendPageMessage(surface->id, protocol::EncodePageMessage("invoke", name, {protocol::PageArg::String(payload)}));
}

int CEF_CALLBACK OnProcessMessageReceived(cef_client_t* self, cef_browser_t* browser,
                                          cef_frame_t* frame, cef_process_id_t,
                                          cef_process_message_t* message) {
  RequireUiThread("on_process_message_received");
  const auto browser_ref = AdoptRef(browser);
  const auto frame_ref = AdoptRef(frame);
  const auto message_ref = AdoptRef(message);
  int handled = 0;
  if (message != nullptr) {
    const std::string message_name =
        message->get_name ? UserfreeToUtf8(message->get_name(message)) : std::string();
    if (message_name == "mp:invoke") {
      handled = 1;
      ForwardInvoke(SurfaceFrom(self), message);
    }
  }
  return handled;
}

}  // namespace

void InstallProcessMessageReceiver(cef_client_t* client) {
  if (client) client->on_process_message_received = Guarded<OnProcessMessageReceived>;
}

}  // namespace nimo
