// One run of the real executable against the stand-in engine, driven over a real pipe:
// a sandbox with nimo-webengine.exe, dezor2.dll and the ZUNT_DEBUG flag, a scenario file,
// a journal, and a FakeClient whose pipe the engine is told to open. The usual shape of an
// end-to-end test of the client link:
//
//   EngineSession s;
//   ASSERT_TRUE(s.Start());            // launched, connected, Hello read
//   s.client().SendShutdown();
//   EXPECT_EQ(s.WaitExit(), 0);
//   EXPECT_TRUE(s.LogHas("[nimo-webengine][ipc] Shutdown requested\n"));
//
// Threads: one test thread.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/fake_client.h"
#include "tests/support/journal.h"
#include "tests/support/process_harness.h"

namespace nimo {
namespace test {

struct SessionOptions {
  std::string scenario;                    // scenario text (ScenarioWriter::Text())
  std::vector<std::string> flag_files;     // created beside the executable
  std::string extra_args;                  // appended to the command line
  std::string url = "about:blank#ui";      // --nimomp-url of the UI surface ("" to omit)
  bool connect_pipe = true;                // pass --nimomp-pipe / --nimomp-clientpid
  std::string pipe_override;               // a --nimomp-pipe value instead of the client's
  DWORD pipe_buffer = 1 << 20;             // the client's pipe buffers
  std::vector<std::string> env;            // extra environment entries
  bool journal = true;                     // let the stand-in write its journal
  bool gpu = false;                        // also the stand-in d3d11.dll and dxgi.dll
  std::uint32_t hello_version = 2;         // the protocol version Hello must carry
};

class EngineSession {
 public:
  explicit EngineSession(const SessionOptions& options = SessionOptions());
  ~EngineSession();

  // Starts the engine; with a pipe, waits for it to connect and reads Hello.
  bool Start(DWORD timeout_ms = 15000);
  // The full exit code, or -1 when the engine did not end in time (it is then killed).
  long WaitExit(DWORD timeout_ms = 15000);
  bool Running() const { return process_.running(); }
  void Kill() { process_.Kill(); }

  FakeClient& client() { return *client_; }
  Sandbox& sandbox() { return *sandbox_; }
  std::uint32_t engine_pid() const { return engine_pid_; }  // as Hello reported it
  DWORD process_id() const { return process_.pid(); }

  std::string Log() const { return sandbox_->ReadLog(); }
  bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }
  // Polls the log until it holds `text`; false after `timeout_ms`.
  bool WaitForLog(const std::string& text, DWORD timeout_ms) const;

  nimo_test::Journal Journal() const;
  // Polls the journal until `count` entries of `event` exist (optionally key=value).
  bool WaitForEvents(const std::string& event, std::size_t count, DWORD timeout_ms,
                     const std::string& key = "", const std::string& value = "") const;
  // Whether the browser process's reference summary shows no leak and no over-release.
  bool ReferencesClean(std::string* detail) const;

  std::string journal_path() const { return journal_path_; }

 private:
  SessionOptions options_;
  std::unique_ptr<Sandbox> sandbox_;
  std::unique_ptr<FakeClient> client_;
  SandboxProcess process_;
  std::string journal_path_;
  std::string scenario_path_;
  std::uint32_t engine_pid_ = 0;
};

}  // namespace test
}  // namespace nimo
