// The only way to send a report to the client. Frames are built here, queued on the
// bounded send queue (64 frames; a newer FrameReady replaces a waiting one of the same
// surface) and written by the writer thread, one pipe message each. A sender never waits
// for the pipe: when the client falls behind, frames are dropped, the UI thread never
// stalls.
//
// Threads: any thread, at any time; before a successful ConnectPipe every send is refused.
#pragma once
#include <cstdint>
#include <string>

namespace nimo {

// Queues one frame of `type` with `length` payload bytes (`payload` may be null for
// zeros). False, with nothing queued and nothing counted, when no link was ever
// connected or `length` is above the protocol's limit; false, counted as dropped, when the
// queue is full or the frame cannot be allocated (the latter also logged). Never throws.
bool SendFrame(std::uint16_t type, const void* payload, std::uint32_t length) noexcept;

// A text report: the head {surface_id, 0, 0, 0} followed by the text's bytes. Never throws.
bool SendText(std::uint16_t type, std::uint32_t surface_id, const std::string& text) noexcept;

}  // namespace nimo
