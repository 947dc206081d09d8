#include "tests/support/engine_session.h"

#include <cstdio>

namespace nimo {
namespace test {

namespace {

SandboxLayout EngineLayout(bool gpu) {
  SandboxLayout layout;
  layout.libraries = {"dezor2.dll"};
  if (gpu) {
    layout.libraries.push_back("d3d11.dll");
    layout.libraries.push_back("dxgi.dll");
  }
  layout.debug_flag = true;
  return layout;
}

}  // namespace

EngineSession::EngineSession(const SessionOptions& options)
    : options_(options),
      sandbox_(new Sandbox(EngineLayout(options.gpu))),
      client_(new FakeClient(options.pipe_buffer)) {
  journal_path_ = sandbox_->Path("journal.txt");
  scenario_path_ = sandbox_->Path("scenario.txt");
}

EngineSession::~EngineSession() {
  process_.Kill();
  client_.reset();
}

bool EngineSession::Start(DWORD timeout_ms) {
  if (!sandbox_->ok()) return false;
  if (!sandbox_->WriteFile("scenario.txt", options_.scenario)) return false;
  for (const std::string& flag : options_.flag_files) {
    if (!sandbox_->WriteFile(flag, "")) return false;
  }
  std::string args = "--nimomp-browser";
  if (options_.connect_pipe) {
    char pid[32];
    std::snprintf(pid, sizeof pid, "%lu", static_cast<unsigned long>(GetCurrentProcessId()));
    const std::string name =
        options_.pipe_override.empty() ? client_->pipe_name() : options_.pipe_override;
    args += " --nimomp-pipe=" + name + " --nimomp-clientpid=" + pid;
  }
  if (!options_.url.empty()) args += " --nimomp-url=" + options_.url;
  if (!options_.extra_args.empty()) args += " " + options_.extra_args;
  std::vector<std::string> env = options_.env;
  if (options_.journal) env.push_back("NIMO_STANDIN_JOURNAL=" + journal_path_);
  env.push_back("NIMO_STANDIN_SCENARIO=" + scenario_path_);
  if (!sandbox_->Start(args, env, &process_)) return false;
  if (!options_.connect_pipe || !options_.pipe_override.empty()) return true;
  return client_->Handshake(timeout_ms, &engine_pid_, options_.hello_version);
}

long EngineSession::WaitExit(DWORD timeout_ms) {
  const RunResult result = process_.Wait(timeout_ms);
  if (!result.started || result.timed_out) return -1;
  return static_cast<long>(result.exit_code);
}

bool EngineSession::WaitForLog(const std::string& text, DWORD timeout_ms) const {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    if (LogHas(text)) return true;
    if (GetTickCount64() > deadline) return false;
    Sleep(20);
  }
}

nimo_test::Journal EngineSession::Journal() const {
  return nimo_test::Journal::Load(journal_path_);
}

bool EngineSession::WaitForEvents(const std::string& event, std::size_t count, DWORD timeout_ms,
                                  const std::string& key, const std::string& value) const {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    const nimo_test::Journal j = Journal();
    const std::size_t n = key.empty() ? j.Count(event) : j.Events(event, key, value).size();
    if (n >= count) return true;
    if (GetTickCount64() > deadline) return false;
    Sleep(20);
  }
}

bool EngineSession::ReferencesClean(std::string* detail) const {
  const nimo_test::Journal j = Journal();
  const std::vector<unsigned long> pids = j.Pids();
  return j.ReferencesClean(engine_pid_ ? engine_pid_ : (pids.empty() ? 0 : pids.front()), detail);
}

}  // namespace test
}  // namespace nimo
