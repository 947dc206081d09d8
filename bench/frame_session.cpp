#include "bench/frame_session.h"

namespace nimo_bench {

namespace {

nimo::test::SandboxLayout Layout() {
  nimo::test::SandboxLayout layout;
  layout.libraries = {"dezor2.dll", "d3d11.dll", "dxgi.dll"};
  return layout;
}

}  // namespace

std::size_t CountOf(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

FrameSession::FrameSession(const FrameSessionOptions& options)
    : options_(options), sandbox_(Layout()), client_(options.pipe_buffer) {}

bool FrameSession::Start() {
  if (!sandbox_.ok() || !sandbox_.WriteFile("scenario.txt", options_.scenario)) return false;
  for (const std::string& flag : options_.flag_files) {
    if (!sandbox_.WriteFile(flag, "")) return false;
  }
  std::vector<std::string> env = {"NIMO_STANDIN_JOURNAL=" + sandbox_.Path("journal.txt"),
                                  "NIMO_STANDIN_SCENARIO=" + sandbox_.Path("scenario.txt")};
  if (options_.gpu_log) env.push_back("NIMO_STANDIN_GPU_LOG=" + sandbox_.Path("gpu.txt"));
  std::string line = "--nimomp-browser " + client_.PipeSwitches() + " --nimomp-url=" + options_.url;
  if (!options_.switches.empty()) line += " " + options_.switches;
  if (!sandbox_.Start(line, env, &process_)) return false;
  return client_.Handshake(20000, &engine_pid_, options_.protocol);
}

long FrameSession::Stop() {
  client_.SendShutdown();
  client_.WaitClosed(15000);
  const nimo::test::RunResult r = process_.Wait(15000);
  return r.timed_out ? -1 : static_cast<long>(r.exit_code);
}

nimo_test::Journal FrameSession::journal() const {
  return nimo_test::Journal::Load(sandbox_.Path("journal.txt"));
}

bool FrameSession::WaitForLogCount(const std::string& text, std::size_t count, DWORD timeout_ms) const {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  do {
    if (CountOf(log(), text) >= count) return true;
    Sleep(50);
  } while (GetTickCount64() < deadline);
  return false;
}

}  // namespace nimo_bench
