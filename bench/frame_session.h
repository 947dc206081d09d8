// One run of the real executable with the stand-in engine and the stand-in GPU beside it,
// for the frame benchmarks: a sandbox, a scenario, the journal, optionally the GPU's
// operation log and flag files, and a FakeClient with a chosen pipe buffer.
//
// Threads: the benchmark's main thread.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "tests/support/fake_client.h"
#include "tests/support/journal.h"
#include "tests/support/process_harness.h"

namespace nimo_bench {

struct FrameSessionOptions {
  std::string scenario;
  std::vector<std::string> flag_files;
  bool gpu_log = false;
  std::string url = "about:blank#ui";  // the UI surface's page
  DWORD pipe_buffer = 1 << 20;
  std::string switches;       // more engine switches, e.g. a protocol version
  std::uint32_t protocol = 2;  // the version Hello must say
};

class FrameSession {
 public:
  explicit FrameSession(const FrameSessionOptions& options);
  // Launches the engine and reads Hello.
  bool Start();
  // Shutdown, then the exit code (-1 when it did not end in time).
  long Stop();

  nimo::test::FakeClient& client() { return client_; }
  std::uint32_t engine_pid() const { return engine_pid_; }
  nimo_test::Journal journal() const;
  std::string log() const { return sandbox_.ReadLog(); }
  std::string gpu_log() const { return sandbox_.ReadFile("gpu.txt"); }
  // Polls the log until it holds `count` occurrences of `text`.
  bool WaitForLogCount(const std::string& text, std::size_t count, DWORD timeout_ms) const;

 private:
  FrameSessionOptions options_;
  nimo::test::Sandbox sandbox_;
  nimo::test::FakeClient client_;
  nimo::test::SandboxProcess process_;
  std::uint32_t engine_pid_ = 0;
};

std::size_t CountOf(const std::string& text, const std::string& what);

}  // namespace nimo_bench
