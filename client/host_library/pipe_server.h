// The client's end of the engine's pipe: a duplex message-mode named pipe the client
// creates and the engine opens, read and written with overlapped I/O so every wait has a
// timeout and can be ended from outside. Used by the host library, the reference client
// and the tests' fake client alike.
//
// Threads: Create, WaitConnected and Close on the owner's thread while no Read or Write
// runs; once connected, one thread may Read while one other thread Writes.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/win_handle.h"

namespace nimo {
namespace client {

// Which Win32 step failed and its error code.
struct PipeFailure {
  const char* step = "";
  DWORD code = 0;
};

class PipeServer {
 public:
  PipeServer() = default;
  ~PipeServer() { Close(); }
  PipeServer(const PipeServer&) = delete;
  PipeServer& operator=(const PipeServer&) = delete;

  // A pipe under a fresh name "\\.\pipe\<prefix>-<pid>-<ticks>-<n>", created as the only
  // instance that name may ever have (so no other process can squat on it), for local
  // clients only and open to this process's user and SYSTEM only (an explicit descriptor,
  // not the default one that lets everyone read), with in and out buffers of `buffer_size`
  // bytes. Messages up to `max_message` bytes are read whole; longer ones are skipped
  // (Read says so).
  bool Create(const std::string& prefix, DWORD buffer_size, std::size_t max_message, PipeFailure* failure);
  const std::string& name() const { return name_; }

  // Waits until the engine has opened the pipe. Gives up after `timeout_ms`, or as soon as
  // `give_up` (the engine's process, say; may be null) is signalled. With `expected_pid`,
  // a client of another process is disconnected at once (counted in refused()) and the
  // wait goes on for the expected one.
  bool WaitConnected(DWORD timeout_ms, HANDLE give_up, PipeFailure* failure, DWORD expected_pid = 0);
  bool connected() const { return connected_; }
  std::uint32_t refused() const { return refused_; }

  enum class ReadResult {
    kMessage,    // one whole message is in *message (possibly empty)
    kOversized,  // a message longer than max_message was read and thrown away
    kTimeout,    // nothing yet; the read stays pending, so the next call loses nothing
    kStopped,    // `stop` was signalled; the read stays pending
    kClosed,     // the engine's end is gone, or this end was never connected
  };
  ReadResult Read(std::vector<std::uint8_t>* message, DWORD timeout_ms, HANDLE stop = nullptr);

  // Writes one whole message. False when it failed, or did not complete within
  // `timeout_ms` or before `stop` was signalled (it is then cancelled).
  bool Write(const void* bytes, std::size_t size, DWORD timeout_ms, HANDLE stop = nullptr);

  // Closes this end, cancelling a pending read; the engine then sees a closed pipe.
  void Close();
  HANDLE handle() const { return pipe_.get(); }

 private:
  bool StartRead();
  ReadResult FinishRead(std::vector<std::uint8_t>* message);

  std::string name_;
  UniqueFileHandle pipe_;
  UniqueHandle read_event_;
  UniqueHandle write_event_;
  OVERLAPPED read_ov_ = {};
  bool read_pending_ = false;
  bool connected_ = false;
  std::uint32_t refused_ = 0;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace client
}  // namespace nimo
