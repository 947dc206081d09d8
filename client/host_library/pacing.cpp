// Frame pacing in the host library (protocol 3): a game sets a surface's frame rate or
// drives its frames from its own loop, and can keep the engine's frame-rate probe out of
// the surface's pages so that a page that does not change costs nothing.
#include "client/host_library/state.h"
#include "protocol/pacing_messages.h"

namespace nimo {
namespace host {

bool Host::SetFramePacing(std::uint32_t surface, FramePacing mode, std::uint32_t rate, bool probe) {
  if (surface >= kSurfaceSlotCount || protocol_version() < 3) return false;
  if (mode == FramePacing::kEngineClock && rate > kPacingMaxRate) return false;
  const std::uint32_t wire_mode = mode == FramePacing::kClientClock ? kPacingClientClock : kPacingEngineClock;
  return state_->Queue(protocol::SetFramePacing(surface, wire_mode, rate, probe ? 0 : kPacingFlagNoProbe));
}

bool Host::BeginFrame(std::uint32_t surface) {
  if (surface >= kSurfaceSlotCount || protocol_version() < 3) return false;
  return state_->Queue(protocol::BeginFrame(surface));
}

}  // namespace host
}  // namespace nimo
