// nimo-client: the reference client. Creates the message pipe, starts nimo-webengine
// beside it, runs a scenario file against it and prints every report as one JSON line.
// Usage and the scenario format: client/README.md.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "client/frame_saver.h"
#include "client/nimo_host.h"
#include "client/nimo_protocol.h"
#include "client/portable/scenario.h"
#include "client/report_json.h"
#include "protocol/switches.h"

namespace {

namespace p = nimo::protocol;
namespace nc = nimo::client;
namespace nh = nimo::host;
using nlohmann::json;

struct Options {
  std::string engine;  // empty: nimo-webengine.exe beside this program
  std::string scenario;
  std::uint32_t protocol_version = nimo::kProtocolVersion;
  std::vector<std::string> engine_args;
  std::uint32_t timeout_ms = 10000;
  std::uint32_t connect_timeout_ms = 15000;
  std::uint32_t exit_timeout_ms = 20000;
  bool quiet_frames = false;
  bool verify_frames = false;
  std::string output;  // empty: standard output
};

std::mutex out_lock;
std::FILE* out_file = stdout;

void PrintLine(const std::string& line) {
  std::lock_guard<std::mutex> hold(out_lock);
  std::fwrite(line.data(), 1, line.size(), out_file);
  std::fputc('\n', out_file);
  std::fflush(out_file);
}

void PrintEvent(json j) { PrintLine(j.dump(-1, ' ', false, json::error_handler_t::replace)); }

bool ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name, std::string* out) {
      const std::string prefix = std::string(name) + "=";
      if (a.rfind(prefix, 0) != 0) return false;
      *out = a.substr(prefix.size());
      return true;
    };
    std::string v;
    if (a == "--") {
      for (++i; i < argc; ++i) o->engine_args.push_back(argv[i]);
      break;
    } else if (value("--engine", &v)) {
      o->engine = v;
    } else if (value("--timeout", &v)) {
      o->timeout_ms = static_cast<std::uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
    } else if (value("--connect-timeout", &v)) {
      o->connect_timeout_ms = static_cast<std::uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
    } else if (value("--exit-timeout", &v)) {
      o->exit_timeout_ms = static_cast<std::uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
    } else if (value("--url", &v)) {
      o->engine_args.push_back(std::string(nimo::kSwitchUrl) + "=" + v);
    } else if (value("--protocol", &v)) {
      o->protocol_version = static_cast<std::uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
    } else if (value("--ui-root", &v)) {
      o->engine_args.push_back(std::string(nimo::kSwitchUiRoot) + "=" + v);
    } else if (value("--devtools-port", &v)) {
      o->engine_args.push_back(std::string(nimo::kSwitchDevToolsPort) + "=" + v);
    } else if (value("--output", &v)) {
      o->output = v;
    } else if (a == "--verify-frames") {
      o->verify_frames = true;
    } else if (a == "--quiet-frames") {
      o->quiet_frames = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "unknown option %s\n", a.c_str());
      return false;
    } else if (o->scenario.empty()) {
      o->scenario = a;
    } else {
      std::fprintf(stderr, "only one scenario file\n");
      return false;
    }
  }
  if (o->scenario.empty()) {
    std::fprintf(stderr,
                 "usage: nimo-client [--engine=<exe>] [--url=<surface 0 URL>] [--ui-root=<folder>] [--devtools-port=<port>]\n"
                 "                   [--protocol=<version>] [--timeout=<ms>] [--connect-timeout=<ms>]\n"
                 "                   [--exit-timeout=<ms>] [--quiet-frames] [--verify-frames] [--output=<file>]\n"
                 "                   <scenario> [-- <engine switches>]\n");
    return false;
  }
  return true;
}

// Every report as it arrives, kept in order for the scenario's waits.
class Reports {
 public:
  explicit Reports(bool quiet_frames) : quiet_frames_(quiet_frames) {}

  // The scenario's answer to the page's calls of one name, from its step on.
  void SetAnswer(const nc::CallAnswer& answer) {
    std::lock_guard<std::mutex> hold(lock_);
    answers_[answer.name] = answer;
  }
  void SetHost(nh::Host* host) { host_ = host; }

  // The host library's callback, on its reader thread.
  void OnEvent(const nh::Event& e) {
    using Kind = nh::Event::Kind;
    switch (e.kind) {
      case Kind::kStarted:
        PrintEvent({{"event", "started"}, {"engine_pid", e.engine_pid}, {"pipe", e.pipe_name}});
        return;
      case Kind::kBadReport:
        PrintEvent({{"event", "bad-report"}, {"status", static_cast<int>(e.bad_status)}, {"bytes", e.bad_size},
                    {"type", e.report.type}});
        return;
      case Kind::kOversizedReport:
        PrintEvent({{"event", "oversized-report"}});
        return;
      case Kind::kEngineEnded: {
        std::lock_guard<std::mutex> hold(lock_);
        ended_ = true;
        changed_.notify_all();
        return;
      }
      case Kind::kCall:
        Answer(e.call);
        break;
      default:
        break;
    }
    if (e.kind != Kind::kFrame || !quiet_frames_) PrintLine(nc::ReportToJson(e.report));
    std::lock_guard<std::mutex> hold(lock_);
    reports_.push_back(e.report);
    changed_.notify_all();
  }

  // The program closed its end: no report comes any more.
  void MarkEnded() {
    std::lock_guard<std::mutex> hold(lock_);
    ended_ = true;
    changed_.notify_all();
  }

  // Waits for a report matching `wait` that arrived after the previous match.
  bool Wait(const nc::WaitFilter& wait, bool* closed) {
    std::unique_lock<std::mutex> hold(lock_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait.timeout_ms);
    for (;;) {
      for (; cursor_ < reports_.size(); ++cursor_) {
        if (nc::Matches(wait, reports_[cursor_])) {
          ++cursor_;
          return true;
        }
      }
      if (ended_) {
        *closed = true;
        return false;
      }
      if (changed_.wait_until(hold, deadline) == std::cv_status::timeout && cursor_ == reports_.size()) return false;
    }
  }

 private:
  // A call the scenario has no answer for stays pending, as in a game that ignores it.
  void Answer(const nh::Event::PageCall& call) {
    nc::CallAnswer answer;
    {
      std::lock_guard<std::mutex> hold(lock_);
      const auto it = answers_.find(call.name);
      if (it == answers_.end() || host_ == nullptr) return;
      answer = it->second;
    }
    if (answer.reject) {
      host_->Reject(call.surface_id, call.call_id, answer.text);
    } else {
      host_->Resolve(call.surface_id, call.call_id, answer.text);
    }
  }

  const bool quiet_frames_;
  nh::Host* host_ = nullptr;
  std::map<std::string, nc::CallAnswer> answers_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<p::Report> reports_;
  std::size_t cursor_ = 0;
  bool ended_ = false;
};

bool NeedsFrames(const std::vector<nc::Step>& steps, const Options& o) {
  if (o.verify_frames) return true;
  for (const nc::Step& step : steps)
    if (step.kind == nc::StepKind::kSave) return true;
  return false;
}

int Run(const Options& o) {
  std::ifstream file(o.scenario, std::ios::binary);
  if (!file) {
    PrintEvent({{"event", "error"}, {"message", "cannot read scenario " + o.scenario}});
    return 1;
  }
  std::stringstream text;
  text << file.rdbuf();
  std::vector<nc::Step> steps;
  std::string error;
  if (!nc::ParseScenario(text.str(), o.timeout_ms, &steps, &error)) {
    PrintEvent({{"event", "error"}, {"message", error}});
    return 1;
  }

  // A device only when frames are looked at, so a session without saves opens nothing.
  std::unique_ptr<nc::FrameSaver> saver;
  if (NeedsFrames(steps, o)) saver.reset(new nc::FrameSaver());
  Reports reports(o.quiet_frames);
  nh::Host host;
  reports.SetHost(&host);
  nh::StartOptions start;
  start.engine_path = o.engine;
  start.protocol_version = o.protocol_version;
  start.extra_switches = o.engine_args;
  start.connect_timeout_ms = o.connect_timeout_ms;
  start.pipe_prefix = "nimo-client";
  if (saver) start.device = saver->device();
  start.open_on_arrival = o.verify_frames;
  start.on_event = [&reports](const nh::Event& e) { reports.OnEvent(e); };

  bool failed = false;
  bool link_ended = false;  // Shutdown sent or pipe closed: nothing more is sent
  nh::StartError start_error;
  if (!host.Start(start, &start_error)) {
    if (host.engine_process() == nullptr) {
      const std::string engine = o.engine.empty() ? std::string("nimo-webengine.exe") : o.engine;
      PrintEvent({{"event", "error"},
                  {"message", start_error.step == "CreateProcess" ? "cannot start " + engine : "cannot create the pipe"},
                  {"code", start_error.code}});
      return 1;
    }
    PrintEvent({{"event", "error"}, {"message", "engine did not connect"}, {"step", start_error.step}});
    failed = true;
    link_ended = true;
  }

  // A write's outcome is known once the library has written it: each step waits for that.
  const auto written = [&host](bool queued) { return host.Flush(10000) && queued; };
  for (std::size_t i = 0; i < steps.size() && !failed; ++i) {
    const nc::Step& step = steps[i];
    switch (step.kind) {
      case nc::StepKind::kSend:
        if (!written(host.SendRaw(step.frame))) {
          // After Shutdown or close the engine may already be gone; such a write failing
          // is what the scenario asked for, not a fault.
          PrintEvent({{"event", "write-failed"}, {"line", step.line}, {"step", step.source},
                      {"after_end", link_ended}});
          failed = failed || !link_ended;
        }
        break;
      case nc::StepKind::kShutdown:
        if (!written(host.SendRaw(p::Shutdown()))) {
          PrintEvent({{"event", "write-failed"}, {"line", step.line}, {"step", step.source}});
          failed = true;
        }
        link_ended = true;
        break;
      case nc::StepKind::kClose:
        host.Disconnect();
        reports.MarkEnded();
        link_ended = true;
        break;
      case nc::StepKind::kWait: {
        bool closed = false;
        if (!reports.Wait(step.wait, &closed)) {
          PrintEvent({{"event", closed ? "closed-while-waiting" : "timeout"}, {"line", step.line}, {"step", step.source}});
          failed = true;
        }
        break;
      }
      case nc::StepKind::kPause:
        Sleep(step.pause_ms);
        break;
      case nc::StepKind::kAnswer:
        reports.SetAnswer(step.answer);
        break;
      case nc::StepKind::kSave: {
        std::string why;
        if (saver->Save(host, step.surface, step.path, &why)) {
          PrintEvent({{"event", "saved"}, {"surface", step.surface}, {"path", step.path}});
        } else {
          PrintEvent({{"event", "save-failed"}, {"line", step.line}, {"reason", why}});
          failed = true;
        }
        break;
      }
    }
  }

  const nh::ExitReport end = host.Shutdown(o.exit_timeout_ms);
  if (end.hung) {
    PrintEvent({{"event", "engine-hung"}, {"waited_ms", o.exit_timeout_ms}});
    failed = true;
  }
  const nh::HandleCounts handles = host.Handles();
  json exit = {{"event", "exit"}, {"code", end.exit_code}, {"closed_handles", handles.replaced}};
  if (o.verify_frames) {
    exit["opened_handles"] = handles.opened;
    exit["open_failures"] = handles.open_failures;
    failed = failed || handles.open_failures != 0;
  }
  PrintEvent(exit);
  if (failed) return 1;
  return end.exit_code == 0 ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) return 2;
  if (!options.output.empty()) {
    out_file = std::fopen(options.output.c_str(), "wb");
    if (out_file == nullptr) {
      std::fprintf(stderr, "cannot write %s\n", options.output.c_str());
      return 2;
    }
  }
  const int result = Run(options);
  if (out_file != stdout) std::fclose(out_file);
  return result;
}
