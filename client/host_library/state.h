// Inside the host library: what a Host holds. Not part of the public header.
//
// Made by Host's constructor, destroyed by its destructor (after Shutdown). Threads:
// `lock` guards every field below it; the reader thread owns reading the pipe, the writer
// thread writing it; the rest is the owner's (Start, SetDevice, Disconnect, Shutdown).
#pragma once
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/win_handle.h"
#include "client/host_library/cursors.h"
#include "client/host_library/events.h"
#include "client/host_library/frame_leases.h"
#include "client/host_library/pipe_server.h"
#include "client/host_library/textures.h"
#include "client/nimo_host.h"
#include "client/portable/pointer_presence.h"

namespace nimo {
namespace host {

struct HostState {
  HostState() = default;
  HostState(const HostState&) = delete;
  HostState& operator=(const HostState&) = delete;

  // Hands an event to the program: to on_event (guarded) or to the Poll list. On the
  // reader thread, or on Start's thread before the reader runs.
  void Deliver(Event&& e);
  // From any other thread (the render thread's Texture): with a callback the event waits
  // for the reader thread, which delivers it after the next message or within 250 ms.
  void DeliverLater(Event&& e);
  void DeliverWaiting();  // reader thread
  void HandleMessage(const std::vector<std::uint8_t>& message);
  // CursorChanged and Tooltip (pointer.cpp): true when `message` was one and
  // has been delivered; reader thread.
  bool HandlePointerReport(const std::vector<std::uint8_t>& message);
  // PageCall (client/host_library/calls.cpp): true when the message was one, delivered.
  bool HandleCallReport(const std::vector<std::uint8_t>& message);
  // The pointer's share of ForwardInput (pointer.cpp): true when it settled the
  // message (ForwardInput returns `*result`); may rewrite `lparam`.
  bool PointerMessage(Host* host, std::uint32_t surface, HWND window, UINT message, WPARAM wparam, LPARAM* lparam,
                      bool* result);
  void ReadLoop();
  // FrameRelease for every slot the program and its GPU are done with (frame_leases.h).
  void SendDueReleases();
  void WriteLoop();
  bool Queue(protocol::Bytes message, bool allow_empty = false);
  void StopThreads();
  // True on the thread on_event runs on (the reader, or Start's while it delivers kStarted).
  bool InCallback() const;
  // The size a surface was asked for, for telling when the pointer leaves it; any thread.
  void NoteSurfaceSize(std::uint32_t surface, std::uint32_t width, std::uint32_t height);
  // Protocol 3 (input.cpp): a mouse move or window leave settled per surface; true when
  // ForwardInput is done with the message (leaves queued, the move not the surface's).
  bool PresenceMessage(std::uint32_t surface, HWND window, UINT message, WPARAM wparam, const InputRecord& move,
                       const client::KeyboardState& keys);

  StartOptions options;
  client::PipeServer pipe;
  TextureTable textures;
  FrameLeaseTable leases;  // protocol 3 with a frame ring
  CursorTable cursors;
  EventList events;
  UniqueHandle process;
  std::uint32_t engine_pid = 0;
  UniqueHandle reader_stop;
  UniqueHandle writer_stop;
  std::thread reader;
  std::thread writer;
  std::atomic<DWORD> callback_thread{0};  // thread id inside on_event, 0 outside
  bool shut_down = false;  // owner only
  ExitReport exit_report;  // owner only

  // Keyboard and input method (ime.cpp), under lock.
  void NoteKeyboardReport(const protocol::Report& report);
  bool KeyboardProtocol();
  std::uint32_t text_modes[kSurfaceSlotCount] = {1, 1, 1, 1};
  std::vector<ImeRect> ime_rects[kSurfaceSlotCount];
  std::uint32_t ime_selection[kSurfaceSlotCount] = {};  // start of the target clause
  bool composing[kSurfaceSlotCount] = {};  // a composition was sent and not ended
  bool focused[kSurfaceSlotCount] = {};    // the program gave the surface the focus
  bool focus_suspended[kSurfaceSlotCount] = {};  // taken by FocusLost, given back on WM_SETFOCUS

  std::mutex lock;
  std::condition_variable changed;
  std::deque<protocol::Bytes> outbox;
  std::size_t queued_bytes = 0;
  bool writing = false;
  bool stop_writing = false;
  std::uint32_t failed_writes = 0;
  std::vector<Event> waiting_events;  // DeliverLater's, for the reader thread
  HWND leave_tracked[kSurfaceSlotCount] = {};  // the window asked for WM_MOUSELEAVE per surface
  client::PointerPresence presence;  // protocol 3: which surface the pointer is inside, per window
  HWND dpi_window[kSurfaceSlotCount] = {};  // FollowWindowDpi's window per surface
  bool accepting = false;  // commands are queued: Hello was checked, the link is up
  bool threads_running = false;
  bool hello_seen = false;
  std::string hello_error;  // not empty: the Hello was not from the engine we started
  std::uint32_t protocol_version = 0;  // from Hello
  bool reader_done = false;
  bool link_down = false;
  bool ended_reported = false;
  bool shutdown_sent = false;
  bool disconnected = false;
};

// The input method's and the focus's window messages in a protocol-3 session (ime.cpp):
// true when `message` is one of them, with ForwardInput's answer in `result`.
bool ForwardKeyboardMessage(Host& host, HostState& s, std::uint32_t surface, HWND window, UINT message,
                            WPARAM wparam, LPARAM lparam, const SurfacePlacement& placement, bool* result);

}  // namespace host
}  // namespace nimo
