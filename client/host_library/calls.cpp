// The page's calls in the host library: PageCall reports become kCall events, and the
// program's Resolve and Reject become ResolveCall commands.
#include <string>
#include <utility>

#include "client/host_library/state.h"
#include "protocol/page_call.h"

namespace nimo {
namespace host {

bool HostState::HandleCallReport(const std::vector<std::uint8_t>& message) {
  if (message.size() < kFrameHeaderSize) return false;
  const std::uint16_t type = static_cast<std::uint16_t>(message[4] | (message[5] << 8));
  if (type != kMsgPageCall) return false;
  CallMessage call;
  CallFields fields;
  if (!DecodePageCall(message.data() + kFrameHeaderSize, message.size() - kFrameHeaderSize, &call) ||
      !ParseCallFields(call.json, &fields) || !fields.has_origin) {
    return false;  // a bad report, as any other
  }
  Event e;
  e.kind = Event::Kind::kCall;
  e.report.type = type;
  e.report.surface_id = call.surface_id;
  e.report.call_id = call.call_id;
  e.call.surface_id = call.surface_id;
  e.call.call_id = call.call_id;
  e.call.name = std::move(fields.name);
  e.call.args_json = std::move(fields.args_json);
  e.call.origin = std::move(fields.origin);
  e.report.text = std::move(call.json);
  Deliver(std::move(e));
  return true;
}

bool Host::Resolve(std::uint32_t surface, std::uint32_t call_id, const std::string& json) {
  if (protocol_version() < 3) return false;
  if (json.size() > MaxCallJsonBytes()) {
    return Reject(surface, call_id,
                  "the game's answer is too large: " + std::to_string(json.size()) + " bytes, at most " +
                      std::to_string(MaxCallJsonBytes()));
  }
  return state_->Queue(protocol::ResolveCall(surface, call_id, kCallResolve, json));
}

bool Host::Reject(std::uint32_t surface, std::uint32_t call_id, const std::string& reason) {
  if (protocol_version() < 3) return false;
  std::string json = JsonStringLiteral(reason);
  if (json.size() > MaxCallJsonBytes()) json = JsonStringLiteral(reason.substr(0, MaxCallJsonBytes() / 8));
  return state_->Queue(protocol::ResolveCall(surface, call_id, kCallReject, json));
}

}  // namespace host
}  // namespace nimo
