// The client side of the pipe for end-to-end tests: creates the client's pipe (the
// reference client's and the host library's own pipe server) under a unique name, starts the engine (or lets the test start it with
// pipe_name() / ClientPidSwitch()), waits for it to connect, reads Hello, sends commands
// and reads reports as whole messages with timeouts. Commands are built with the wire
// format's encoders or sent as raw bytes, so malformed frames can be sent too.
//
// Threads: one test thread per FakeClient.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/win_handle.h"
#include "client/host_library/pipe_server.h"

namespace nimo {
namespace test {

struct Report {
  std::uint16_t type = 0;
  std::vector<std::uint8_t> payload;  // after the 12-byte header
  std::vector<std::uint8_t> raw;      // the whole message as received
  std::uint32_t surface_id() const;   // first u32 of the payload, 0 if shorter
  std::uint32_t param(int index) const;  // param1..3 of a SurfaceHead payload
  std::string text() const;           // payload bytes after the 16-byte head
};

struct EngineProcess {
  UniqueHandle process;
  DWORD pid = 0;
  // Waits for the exit; returns the full exit code, or -1 on timeout (the process is then
  // terminated so no test leaves one behind).
  long WaitExit(DWORD timeout_ms);
  bool Running() const;
  void Kill();
  ~EngineProcess();
};

class FakeClient {
 public:
  // in/out buffer sizes of the server pipe; a small out buffer lets a test stall the
  // engine's writer by not reading.
  explicit FakeClient(DWORD buffer_size = 1 << 20);
  ~FakeClient();
  FakeClient(const FakeClient&) = delete;
  FakeClient& operator=(const FakeClient&) = delete;

  const std::string& pipe_name() const { return pipe_.name(); }
  // "--nimomp-pipe=<name>" and "--nimomp-clientpid=<pid of this process>".
  std::string PipeSwitches() const;

  // Starts `exe` with "--nimomp-browser", the pipe switches and `extra_args`, with
  // `environment` entries ("NAME=value") added to this process's environment.
  bool Launch(const std::string& exe, const std::string& extra_args,
              const std::vector<std::string>& environment, EngineProcess* out);

  // Waits for the engine to open the pipe.
  bool WaitConnected(DWORD timeout_ms);
  // WaitConnected, then reads the first report and checks it is a valid Hello of `version`
  // (kept in hello()).
  bool Handshake(DWORD timeout_ms, std::uint32_t* engine_pid = nullptr, std::uint32_t version = 2);
  const Report& hello() const { return hello_; }

  // One whole pipe message; false when the write did not complete.
  bool SendRaw(const void* bytes, std::size_t size);
  bool SendRaw(const std::vector<std::uint8_t>& bytes) { return SendRaw(bytes.data(), bytes.size()); }
  // A well-formed frame: header + payload.
  bool SendFrame(std::uint16_t type, const std::vector<std::uint8_t>& payload);
  // Commands with a SurfaceHead and optional text.
  bool SendSurfaceCommand(std::uint16_t type, std::uint32_t surface_id, std::uint32_t p1,
                          std::uint32_t p2, std::uint32_t p3, const std::string& text = "");
  bool SendInput(std::uint32_t surface_id, std::uint32_t message, std::uint64_t wparam,
                 std::uint64_t lparam, std::uint32_t modifiers);
  bool SendShutdown();

  // The next report, or false after `timeout_ms` or when the pipe is closed.
  bool Read(Report* out, DWORD timeout_ms);
  // Reads until a report of `type` arrives (others are kept in skipped()), or times out.
  bool ReadUntil(std::uint16_t type, Report* out, DWORD timeout_ms);
  // Reads until the engine closes its end; false on timeout.
  bool WaitClosed(DWORD timeout_ms);
  const std::vector<Report>& skipped() const { return skipped_; }

  // Closes this end (the engine then sees a closed pipe).
  void Close();
  HANDLE handle() const { return pipe_.handle(); }

 private:
  client::PipeServer pipe_;
  std::vector<Report> skipped_;
  Report hello_;
};

}  // namespace test
}  // namespace nimo
