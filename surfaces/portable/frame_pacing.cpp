#include "surfaces/portable/frame_pacing.h"

namespace nimo {
namespace {

// The surface created without external begin frames: nothing can pace it.
constexpr std::uint32_t kUnpacedSurfaceId = 2;

std::int64_t IntervalMicros(std::uint32_t rate) { return 1000000 / static_cast<std::int64_t>(rate); }

}  // namespace

PacingChange ApplyFramePacing(std::uint32_t surface_id, const PacingSettings& current,
                              const FramePacingCommand& command) {
  PacingChange change;
  change.settings = current;
  change.settings.probe = (command.flags & kPacingFlagNoProbe) == 0;
  change.probe_stop = current.probe && !change.settings.probe;
  if (surface_id == kUnpacedSurfaceId) return change;
  change.settings.client_clock = command.mode == kPacingClientClock;
  change.settings.rate = change.settings.client_clock ? 0 : command.rate;
  change.pump_stop = change.settings.client_clock && !current.client_clock;
  change.pump_restart = !change.settings.client_clock && (current.client_clock || current.rate != command.rate);
  return change;
}

std::int64_t PaceClock::Start(std::uint32_t rate, std::int64_t now_us) {
  rate_ = rate;
  if (rate_ == 0) return kDefaultPumpIntervalMs;
  due_us_ = now_us + IntervalMicros(rate_);
  return DelayTo(now_us);
}

std::int64_t PaceClock::Next(std::int64_t now_us) {
  if (rate_ == 0) return kDefaultPumpIntervalMs;
  const std::int64_t interval = IntervalMicros(rate_);
  // More than one interval behind: start counting from this tick.
  if (now_us - due_us_ > interval) due_us_ = now_us;
  due_us_ += interval;
  return DelayTo(now_us);
}

std::int64_t PaceClock::DelayTo(std::int64_t now_us) const {
  if (due_us_ <= now_us) return 0;
  return (due_us_ - now_us + 500) / 1000;
}

bool BeginFrameFold::Arrive() noexcept {
  if (!waiting_.exchange(true, std::memory_order_acq_rel)) return true;
  folded_.fetch_add(1, std::memory_order_relaxed);
  return false;
}

void BeginFrameFold::Lost() noexcept { waiting_.store(false, std::memory_order_release); }

void BeginFrameFold::Taken() noexcept { waiting_.store(false, std::memory_order_release); }

}  // namespace nimo
