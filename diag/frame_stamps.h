// Frame stamps, for benchmarks: with --nimomp-frame-stamps=1 the engine notes, for every
// FrameReady, the moment its bytes were handed to WriteFile, and writes them to the log
// when the link closes, one line each:
//
//   [nimo-webengine][stamps] frame <surface id> handed <microseconds>
//
// The microseconds are the performance counter's, the clock every process of the system
// shares, so a benchmark can set them beside its own stamps and the stand-in engine's.
// Off (the default) it costs one atomic load per written frame.
//
// Threads: EnableFrameStamps on the main thread before the link connects; StampFrameHanded
// by whichever thread holds the pipe's write (one at a time); WriteFrameStampsToLog on the
// UI thread once the writer has ended.
#pragma once
#include <cstdint>

namespace nimo {

void EnableFrameStamps();
// `qpc`: the timer reading (QpcNow) taken right before WriteFile.
void StampFrameHanded(std::uint32_t surface_id, std::int64_t qpc) noexcept;
void WriteFrameStampsToLog() noexcept;

}  // namespace nimo
