// Inside the host library: what a Host holds. Not part of the public header.
//
// Threads: `lock` guards every field below it; the reader thread owns reading the pipe,
// the writer thread writing it; the rest is the owner's (Start, Disconnect, Shutdown).
#pragma once
#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/host_textures.h"
#include "client/nimo_host.h"
#include "client/pipe_server.h"
#include "host/base/win_handle.h"

namespace nimo {
namespace host {

struct HostState {
  HostState() = default;
  HostState(const HostState&) = delete;
  HostState& operator=(const HostState&) = delete;

  void Deliver(Event&& e);
  void HandleMessage(const std::vector<std::uint8_t>& message);
  void ReadLoop();
  void WriteLoop();
  bool Queue(protocol::Bytes message, bool allow_empty = false);
  void StopThreads();

  StartOptions options;
  client::PipeServer pipe;
  TextureTable textures;
  UniqueHandle process;
  std::uint32_t engine_pid = 0;
  UniqueHandle reader_stop;
  UniqueHandle writer_stop;
  std::thread reader;
  std::thread writer;
  bool shut_down = false;  // owner only
  ExitReport exit_report;  // owner only
  bool tracking_leave = false;  // under lock

  std::mutex lock;
  std::condition_variable changed;
  std::deque<protocol::Bytes> outbox;
  std::size_t queued_bytes = 0;
  bool writing = false;
  bool stop_writing = false;
  std::uint32_t failed_writes = 0;
  std::deque<Event> events;
  bool threads_running = false;
  bool hello_seen = false;
  bool reader_done = false;
  bool link_down = false;
  bool shutdown_sent = false;
  bool disconnected = false;
};

}  // namespace host
}  // namespace nimo
