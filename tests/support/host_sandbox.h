// The executable and the stand-in engine and GPU in a sandbox, for tests that start the
// engine through the host library: the stand-in finds its scenario and journal through this
// process's environment, which the engine inherits. The variables are set by the
// constructor and taken back by the destructor, so one HostSandbox lives at a time.
//
// Threads: one test thread.
#pragma once
#include <string>

#include "tests/support/journal.h"
#include "tests/support/process_harness.h"

namespace nimo {
namespace test {

class HostSandbox {
 public:
  explicit HostSandbox(const std::string& scenario);
  virtual ~HostSandbox();
  HostSandbox(const HostSandbox&) = delete;
  HostSandbox& operator=(const HostSandbox&) = delete;

  bool ok() const { return sandbox_.ok(); }
  const Sandbox& sandbox() const { return sandbox_; }
  std::string log() const { return sandbox_.ReadLog(); }
  nimo_test::Journal Load() const { return nimo_test::Journal::Load(journal_); }

 private:
  Sandbox sandbox_;
  std::string journal_;
};

}  // namespace test
}  // namespace nimo
