// Surviving a lost GPU device (a driver update or reset, a hang, a GPU switched off). When
// the device reports a loss (GpuDevice::LostAfter / CheckRemoved), everything made on it
// is let go at once: each surface's texture and handle and its kept popup pixels. From a
// UI task that follows, a new device is made on the same adapter (enumerated afresh); then each surface that had a
// texture gets a new one at the same size, and each page is asked for a whole frame, which
// is announced to the client with the new handle, as after a resize. While no device can
// be made, it is tried again on a UI-thread timer with growing waits, a bounded number of
// times (GpuDevice::kMaxAttempts); paints that arrive meanwhile are dropped. Nothing of
// this is visible on the pipe beyond a FrameReady with a new handle.
//
// Threads: the engine's UI thread only (the paint paths and the recovery's UI task).
#pragma once

namespace nimo {

// Lets go of everything made on the lost device and makes a new one now or later. Does
// nothing when a recovery is already under way.
void RecoverFromDeviceLoss();

// Starts (once) a UI-thread timer that asks the device every kWatchIntervalMs whether it
// was lost, so a loss is noticed even while no page paints (a still page draws nothing
// until asked). Stops when the device is released for good or the session ends.
constexpr int kWatchIntervalMs = 250;
void WatchGpuDevice();

}  // namespace nimo
