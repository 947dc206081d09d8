// Frame pacing of protocol-3 clients (protocol/pacing_messages.h): SetFramePacing chooses
// per surface between the engine's clock at a rate (the frame pump, surfaces/frame_pump.h)
// and the client's clock, where each BeginFrame asks the surface's browser for one frame;
// and it can keep the frame-rate probe out of the surface's pages, so a page that does not
// change paints nothing. A version-2 client never reaches any of it: its surfaces keep the
// default settings (the 16 ms pump, the probe).
//
// State lives in the surface record (Surface::pacing), created with the table. Settings are
// kept without a browser too, so a later CreateSurface starts with them; they are touched
// only on the UI thread. The BeginFrame fold is shared with the reader thread.
//
// Threads: the engine's UI thread, except QueueBeginFrame (reader thread).
#pragma once
#include <cstdint>

#include "protocol/pacing_messages.h"
#include "surfaces/portable/frame_pacing.h"

namespace nimo {

struct SurfacePacing {
  PacingSettings settings;             // the client's latest SetFramePacing
  PaceClock clock;                     // the current pump's ticks at the settings' rate
  BeginFrameFold begin_frame;          // reader thread and UI thread
  bool external_begin_frames = false;  // the surface's browser takes begin frames (set on its arrival)
};

// The page bridge's way to take the frame-rate probe out of the current document of a
// surface (the bridge runs page scripts, which this folder does not know). Main thread,
// once, before the engine starts.
using ProbeStopper = void (*)(std::uint32_t surface_id);
void SetProbeStopper(ProbeStopper stopper);

// Whether the frame-rate probe is to run in the next document of the surface.
bool FrameRateProbeWanted(std::uint32_t surface_id);

// SetFramePacing (UI task): stores the settings, starts or stops the pump as the clock
// changed, and removes the probe from the current document when the client turned it off.
void SetFramePacingTask(const FramePacingCommand& command);

// BeginFrame as it arrives (reader thread): one UI task asks the browser for a frame;
// commands arriving while it waits are folded into it.
void QueueBeginFrame(std::uint32_t surface_id);

// The task: one begin frame, if the surface is on the client's clock and has a browser
// with begin frames; otherwise nothing.
void BeginFrameTask(std::uint32_t surface_id);

}  // namespace nimo
