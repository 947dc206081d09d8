// One run of the executable beside the stand-in engine and GPU with this process as its
// client, reading every announced texture itself: the shape of the frame tests.
//
//   GpuClientSession s;
//   ASSERT_TRUE(s.Start(scenario)) << s.log();   // launched, connected, Hello read
//   ... s.client().SendSurfaceCommand(...), read FrameReady, open the handles ...
//   EXPECT_EQ(0, s.Stop());
//
// Threads: one test thread.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/fake_client.h"
#include "tests/support/journal.h"
#include "tests/support/process_harness.h"

namespace nimo {
namespace test {

class GpuClientSession {
 public:
  GpuClientSession() : sandbox_(StandInGpuLayout()) {}

  struct Options {
    std::string switches;           // replaces the client's pipe and process-id switches when given
    std::uint32_t version = 2;      // the protocol asked for (above 2 with --nimomp-protocol)
    std::vector<std::string> env;   // added to the engine's environment (the stand-in GPU's scripting)
  };
  // Gives up at once when the engine ends without connecting.
  bool Start(const nimo_test::ScenarioWriter& scenario, const Options& options);
  bool Start(const nimo_test::ScenarioWriter& scenario) { return Start(scenario, Options()); }
  FakeClient& client() { return client_; }
  nimo_test::Journal journal() const { return nimo_test::Journal::Load(sandbox_.Path("journal.txt")); }
  std::string log() const { return sandbox_.ReadLog(); }
  // Shutdown, then the engine's exit code (-1 when it did not end in time).
  long Stop();

 private:
  Sandbox sandbox_;
  FakeClient client_;
  SandboxProcess process_;
};

}  // namespace test
}  // namespace nimo
