// The process-wide objects of the client link, shared by the connection (pipe_link.cpp),
// the senders (send.cpp) and the writer thread (writer.cpp). Internal to link/.
//
// Threads: `pipe` and `link_open` are published once by ConnectPipe (pipe first,
// link_open last) and never change afterwards, so any thread may read them; the queue is
// touched only under `queue_lock`, which is never held while another lock is taken.
//
// The writer sleeps on a condition variable of the queue lock rather than on a kernel
// event: a sender then pays a kernel call only when the writer is actually asleep, and
// the wake-up itself stays inside the process, which keeps the paint path's cost and its
// latency to the client low.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "host/base/win_handle.h"

namespace nimo {
namespace link_internal {

extern std::atomic<HANDLE> pipe;         // INVALID_HANDLE_VALUE until the pipe is opened
extern std::atomic<bool> link_open;      // false until the first connection
extern UniqueHandle read_event;          // manual-reset, the reader's OVERLAPPED event
extern UniqueHandle write_event;         // manual-reset, the writer's OVERLAPPED event

// Queue operations under the queue lock. Push reports whether a waiting FrameReady of the
// same surface was replaced and whether the new frame was queued.
struct PushOutcome {
  bool queued = false;
  bool coalesced = false;
};
PushOutcome PushFrame(std::vector<std::uint8_t>&& frame);
bool PopFrame(std::vector<std::uint8_t>* frame);
// The writer's sleep: returns when a frame is queued or StopWriter was called.
void WaitForFrameOrStop();
// Wakes the writer for good (it writes what is queued and ends); any thread.
void StopWriter();

// Thread procedure of the only writer of the pipe, started by ConnectPipe.
DWORD WINAPI WriterThread(void* unused);

}  // namespace link_internal
}  // namespace nimo
