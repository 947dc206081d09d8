#include "tests/support/gpu_client_session.h"

namespace nimo {
namespace test {

bool GpuClientSession::Start(const nimo_test::ScenarioWriter& scenario, const Options& options) {
  if (!sandbox_.ok() || !scenario.WriteTo(sandbox_.Path("scenario.txt"))) return false;
  std::vector<std::string> env = {"NIMO_STANDIN_JOURNAL=" + sandbox_.Path("journal.txt"),
                                  "NIMO_STANDIN_SCENARIO=" + sandbox_.Path("scenario.txt")};
  env.insert(env.end(), options.env.begin(), options.env.end());
  std::string link = options.switches.empty() ? client_.PipeSwitches() : options.switches;
  if (options.version > 2) link += " --nimomp-protocol=" + std::to_string(options.version);
  if (!sandbox_.Start("--nimomp-browser " + link + " --nimomp-url=about:blank#ui", env, &process_)) return false;
  for (int i = 0; i < 75 && !client_.WaitConnected(200); ++i) {
    if (!process_.running()) return false;
  }
  return client_.Handshake(15000, nullptr, options.version);
}

long GpuClientSession::Stop() {
  client_.SendShutdown();
  client_.WaitClosed(15000);
  const RunResult r = process_.Wait(15000);
  return r.timed_out ? -1 : static_cast<long>(r.exit_code);
}

}  // namespace test
}  // namespace nimo
