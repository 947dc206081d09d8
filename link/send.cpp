#include "link/send.h"

#include <utility>
#include <vector>

#include "diag/perf_stats.h"
#include "link/link_state.h"
#include "protocol/wire.h"

namespace nimo {

bool SendFrame(std::uint16_t type, const void* payload, std::uint32_t length) noexcept {
  if (link_internal::pipe.load(std::memory_order_acquire) == INVALID_HANDLE_VALUE) return false;
  if (!link_internal::link_open.load(std::memory_order_acquire) || length > kMaxPayloadSize) return false;

  link_internal::PushOutcome outcome;
  try {
    std::vector<std::uint8_t> frame = BuildFrame(type, payload, length);
    if (frame.empty()) return false;
    outcome = link_internal::PushFrame(std::move(frame));
  } catch (...) {
    RecordOutOfMemory("a report");
    return false;
  }
  // Counted after the queue lock is left: the two locks are never nested.
  RecordQueueOutcome(outcome.coalesced, !outcome.queued);
  return outcome.queued;
}

bool SendText(std::uint16_t type, std::uint32_t surface_id, const std::string& text) noexcept {
  if (text.size() > kMaxPayloadSize - kSurfaceHeadSize) return false;
  std::vector<std::uint8_t> payload;
  try {
    payload = BuildSurfaceTextPayload(surface_id, text);
  } catch (...) {
    RecordOutOfMemory("a report");
    return false;
  }
  return SendFrame(type, payload.data(), static_cast<std::uint32_t>(payload.size()));
}

}  // namespace nimo
