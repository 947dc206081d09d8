// A surface's frame pacing for clients of protocol 3: whether the engine's clock or the
// client's BeginFrame commands ask its browser for frames, at which rate the engine's clock
// ticks, and whether the frame-rate probe runs in its pages. Without a SetFramePacing the
// settings are the engine's defaults (its clock every 16 ms, the probe on), which is all a
// version-2 client ever gets.
//
// Pure decisions and one lock-free flag; PacingSettings and PaceClock belong to the thread
// that owns the surface (the engine's UI thread), BeginFrameFold is shared by the pipe's
// reader thread and the UI thread.
#pragma once
#include <atomic>
#include <cstdint>

#include "protocol/pacing_messages.h"

namespace nimo {

constexpr std::int64_t kDefaultPumpIntervalMs = 16;

struct PacingSettings {
  bool client_clock = false;  // frames only on the client's BeginFrame
  std::uint32_t rate = 0;     // engine clock: frames per second; 0 the 16 ms default
  bool probe = true;          // the frame-rate probe runs in the surface's documents
};

// What one SetFramePacing changes for a surface.
struct PacingChange {
  PacingSettings settings;    // the settings from now on
  bool pump_restart = false;  // the engine clock starts anew (back from the client clock, or a new rate)
  bool pump_stop = false;     // the engine clock ends: the client's clock from now on
  bool probe_stop = false;    // the probe leaves the current document
};

// Applies `command` to surface `surface_id`'s `current` settings. The surface without
// begin frames (id 2) takes only the probe flag; its clock stays the engine's own.
PacingChange ApplyFramePacing(std::uint32_t surface_id, const PacingSettings& current,
                              const FramePacingCommand& command);

// The engine clock of one frame pump, in microseconds of any steady clock. Rate 0 keeps the
// default: 16 ms from the end of one tick to the next. A rate asks for ticks due every
// 1000000/rate us counted from the pump's start, so the rate holds on average although a
// delay is whole milliseconds; a tick that comes more than one interval late is not caught
// up by a burst: the count starts again from it.
class PaceClock {
 public:
  // The delay of the first tick of a pump started at `now_us`.
  std::int64_t Start(std::uint32_t rate, std::int64_t now_us);
  // The delay of the next tick, asked at the end of a tick at `now_us`.
  std::int64_t Next(std::int64_t now_us);

 private:
  std::int64_t DelayTo(std::int64_t now_us) const;

  std::uint32_t rate_ = 0;
  std::int64_t due_us_ = 0;
};

// BeginFrame commands come on the reader thread and are carried to the UI thread one task
// at a time: a command that arrives while an earlier one still waits for the UI thread is
// folded into it, so a client faster than the UI thread never piles up begin frames.
class BeginFrameFold {
 public:
  // Reader thread: whether this command needs a task of its own (false: folded).
  bool Arrive() noexcept;
  // The task could not be posted: the next command tries again.
  void Lost() noexcept;
  // UI thread, as the task starts: commands from now on need a new task.
  void Taken() noexcept;
  // Commands folded so far.
  std::uint64_t folded() const noexcept { return folded_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> waiting_{false};
  std::atomic<std::uint64_t> folded_{0};
};

}  // namespace nimo
