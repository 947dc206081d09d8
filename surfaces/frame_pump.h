// The frame pump: the clock of browsers created with external begin frames. One repeating
// 16 ms delayed UI task per surface asks the browser host for a frame for as long as the
// browser lives and the client link is up.
// Threads: UI thread only.
#pragma once
#include <cstdint>

namespace nimo {

constexpr std::int64_t kFramePumpIntervalMs = 16;

// Posts the first tick for surface `id` (16 ms from now).
void StartFramePump(std::uint32_t id);

// One tick: a begin frame for the surface's browser, then the next tick unless the browser
// is gone or the link has stopped.
void RunFramePumpTick(std::uint32_t id, std::uint32_t generation);

}  // namespace nimo
