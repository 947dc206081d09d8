// The process-wide objects of the client link, shared by the connection (pipe_link.cpp),
// the senders (send.cpp) and the writer thread (writer.cpp). Internal to link/.
//
// Threads: `pipe` and `writer_wake` are published once by ConnectPipe (pipe first, wake
// event last) and never change afterwards, so any thread may read them; the queue is
// touched only under `queue_lock`, which is never held while another lock is taken.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace nimo {
namespace link_internal {

extern std::atomic<HANDLE> pipe;         // INVALID_HANDLE_VALUE until the pipe is opened
extern std::atomic<HANDLE> writer_wake;  // auto-reset; null until the first connection
extern HANDLE read_event;                // manual-reset, the reader's OVERLAPPED event
extern HANDLE write_event;               // manual-reset, the writer's OVERLAPPED event

// Queue operations under the queue lock. Push reports whether a waiting FrameReady of the
// same surface was replaced and whether the new frame was queued.
struct PushOutcome {
  bool queued = false;
  bool coalesced = false;
};
PushOutcome PushFrame(std::vector<std::uint8_t>&& frame);
bool PopFrame(std::vector<std::uint8_t>* frame);

// Thread procedure of the only writer of the pipe, started by ConnectPipe.
DWORD WINAPI WriterThread(void* unused);

}  // namespace link_internal
}  // namespace nimo
