#include "protocol/pacing_messages.h"

#include "protocol/wire.h"

namespace nimo {

bool DecodeSetFramePacing(const std::uint8_t* payload, std::size_t length, FramePacingCommand* out) {
  if (payload == nullptr || length < kSurfaceHeadSize) return false;
  const SurfaceHead head = DecodeSurfaceHead(payload);
  if (head.param1 != kPacingEngineClock && head.param1 != kPacingClientClock) return false;
  if (head.param1 == kPacingEngineClock && head.param2 > kPacingMaxRate) return false;
  out->surface_id = head.surface_id;
  out->mode = head.param1;
  out->rate = head.param1 == kPacingEngineClock ? head.param2 : 0;
  out->flags = head.param3;
  return true;
}

bool DecodeBeginFrame(const std::uint8_t* payload, std::size_t length, std::uint32_t* surface_id) {
  if (payload == nullptr || length < kSurfaceHeadSize) return false;
  *surface_id = DecodeSurfaceHead(payload).surface_id;
  return true;
}

namespace protocol {

Bytes SetFramePacing(std::uint32_t surface, std::uint32_t mode, std::uint32_t rate, std::uint32_t flags) {
  return HeadCommand(kMsgSetFramePacing, surface, mode, rate, flags);
}

Bytes BeginFrame(std::uint32_t surface) { return HeadCommand(kMsgBeginFrame, surface, 0, 0, 0); }

}  // namespace protocol
}  // namespace nimo
