#include "tests/support/host_sandbox.h"

#include <windows.h>

namespace nimo {
namespace test {

HostSandbox::HostSandbox(const std::string& scenario) : sandbox_(StandInGpuLayout()) {
  journal_ = sandbox_.Path("journal.txt");
  sandbox_.WriteFile("scenario.txt", scenario);
  SetEnvironmentVariableA("NIMO_STANDIN_JOURNAL", journal_.c_str());
  SetEnvironmentVariableA("NIMO_STANDIN_SCENARIO", sandbox_.Path("scenario.txt").c_str());
}

HostSandbox::~HostSandbox() {
  SetEnvironmentVariableA("NIMO_STANDIN_JOURNAL", nullptr);
  SetEnvironmentVariableA("NIMO_STANDIN_SCENARIO", nullptr);
}

}  // namespace test
}  // namespace nimo
