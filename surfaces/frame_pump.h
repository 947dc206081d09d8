// The frame pump: the clock of browsers created with external begin frames. One repeating
// delayed UI task per surface asks the browser host for a frame for as long as the
// browser lives, the link is up and the surface is on the engine's clock: every 16 ms, or
// at the rate a protocol-3 client set (surfaces/frame_pacing.h).
// Threads: UI thread only.
#pragma once
#include <cstdint>

namespace nimo {

// Starts the pump of surface `id` (its first tick one interval from now), ending any pump
// the surface had; on the client's clock it only ends the old one.
void StartFramePump(std::uint32_t id);

// Ends the surface's pump at its next tick.
void EndFramePump(std::uint32_t id);

// One tick: a begin frame for the surface's browser, then the next tick unless the browser
// is gone, the link has stopped or the pump was ended or replaced.
void RunFramePumpTick(std::uint32_t id, std::uint32_t generation);

}  // namespace nimo
