// nimo-client: the reference client. Creates the message pipe, starts nimo-webengine
// beside it, runs a scenario file against it and prints every report as one JSON line.
// Usage and the scenario format: client/README.md.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "client/frame_saver.h"
#include "client/nimo_protocol.h"
#include "client/portable/scenario.h"
#include "client/report_json.h"

namespace {

namespace p = nimo::protocol;
namespace nc = nimo::client;
using nlohmann::json;

struct Options {
  std::string engine;  // empty: nimo-webengine.exe beside this program
  std::string scenario;
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

std::string ProgramDirectory() {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n < MAX_PATH ? n : 0);
  const std::size_t slash = s.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : s.substr(0, slash);
}

std::string Quote(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string q = "\"";
  for (char c : arg) {
    if (c == '"') q += '\\';
    q += c;
  }
  return q + "\"";
}

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
      o->engine_args.push_back("--nimomp-url=" + v);
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
                 "usage: nimo-client [--engine=<exe>] [--url=<surface 0 URL>] [--timeout=<ms>] [--connect-timeout=<ms>]\n"
                 "                   [--exit-timeout=<ms>] [--quiet-frames] [--verify-frames] [--output=<file>]\n"
                 "                   <scenario> [-- <engine switches>]\n");
    return false;
  }
  return true;
}

// The server end of the pipe and everything read from it.
class Link {
 public:
  explicit Link(nc::FrameSaver* saver, bool quiet_frames) : saver_(saver), quiet_frames_(quiet_frames) {}
  ~Link() {
    Stop();
    if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
    for (HANDLE h : {read_event_, write_event_, stop_event_, connect_event_})
      if (h != nullptr) CloseHandle(h);
  }

  bool Create(std::string* name) {
    static LONG counter = 0;
    char buf[128];
    std::snprintf(buf, sizeof buf, "\\\\.\\pipe\\nimo-client-%lu-%llu-%ld", GetCurrentProcessId(),
                  static_cast<unsigned long long>(GetTickCount64()), InterlockedIncrement(&counter));
    *name = buf;
    // In and out buffers hold a largest frame, so one big command never waits on the engine.
    const DWORD buffer = static_cast<DWORD>(p::kMaxFrameSize);
    pipe_ = CreateNamedPipeA(buf, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                             PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                             buffer, buffer, 0, nullptr);
    read_event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    write_event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    stop_event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    connect_event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return pipe_ != INVALID_HANDLE_VALUE && read_event_ && write_event_ && stop_event_ && connect_event_;
  }

  // Waits for the engine to open the pipe; gives up early when `engine` exits.
  bool WaitConnected(HANDLE engine, DWORD timeout_ms) {
    OVERLAPPED ov = {};
    ov.hEvent = connect_event_;
    if (ConnectNamedPipe(pipe_, &ov)) return StartReader();
    const DWORD err = GetLastError();
    if (err == ERROR_PIPE_CONNECTED) return StartReader();
    if (err != ERROR_IO_PENDING) return false;
    HANDLE waits[2] = {connect_event_, engine};
    const DWORD r = WaitForMultipleObjects(2, waits, FALSE, timeout_ms);
    DWORD ignored = 0;
    if (r != WAIT_OBJECT_0 || !GetOverlappedResult(pipe_, &ov, &ignored, FALSE)) {
      CancelIoEx(pipe_, &ov);
      GetOverlappedResult(pipe_, &ov, &ignored, TRUE);
      return false;
    }
    return StartReader();
  }

  bool Write(const p::Bytes& frame) {
    OVERLAPPED ov = {};
    ov.hEvent = write_event_;
    ResetEvent(write_event_);
    DWORD written = 0;
    if (!WriteFile(pipe_, frame.data(), static_cast<DWORD>(frame.size()), nullptr, &ov)) {
      if (GetLastError() != ERROR_IO_PENDING) return false;
      if (WaitForSingleObject(write_event_, 10000) != WAIT_OBJECT_0) {
        CancelIoEx(pipe_, &ov);
        GetOverlappedResult(pipe_, &ov, &written, TRUE);
        return false;
      }
    }
    return GetOverlappedResult(pipe_, &ov, &written, TRUE) && written == frame.size();
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

  // Ends reading; the pipe stays open until Close.
  void Stop() {
    if (reader_.joinable()) {
      SetEvent(stop_event_);
      reader_.join();
    }
  }

  // Closes this end, as a client that went away would.
  void Close() {
    Stop();
    if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
    pipe_ = INVALID_HANDLE_VALUE;
  }

  // Waits up to `timeout_ms` for the engine to close its end.
  void WaitEnded(DWORD timeout_ms) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait_for(hold, std::chrono::milliseconds(timeout_ms), [this] { return ended_; });
  }

 private:
  bool StartReader() {
    reader_ = std::thread([this] { ReadLoop(); });
    return true;
  }

  void ReadLoop() {
    std::vector<std::uint8_t> buffer(p::kMaxFrameSize);
    bool oversized = false;  // inside a message longer than any valid frame
    for (;;) {
      OVERLAPPED ov = {};
      ov.hEvent = read_event_;
      ResetEvent(read_event_);
      DWORD n = 0;
      BOOL ok = ReadFile(pipe_, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &ov);
      DWORD err = ok ? 0 : GetLastError();
      if (!ok && err == ERROR_IO_PENDING) {
        HANDLE waits[2] = {read_event_, stop_event_};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
          CancelIoEx(pipe_, &ov);
          GetOverlappedResult(pipe_, &ov, &n, TRUE);
          break;
        }
        err = 0;
      }
      if (err == 0) {
        ok = GetOverlappedResult(pipe_, &ov, &n, FALSE);
        err = ok ? 0 : GetLastError();
      }
      if (err == ERROR_MORE_DATA) {
        if (!oversized) PrintEvent({{"event", "oversized-report"}});
        oversized = true;
        continue;
      }
      if (err != 0) break;
      if (oversized) {  // the tail of the oversized message
        oversized = false;
        continue;
      }
      Handle(buffer.data(), n);
    }
    std::lock_guard<std::mutex> hold(lock_);
    ended_ = true;
    changed_.notify_all();
  }

  void Handle(const std::uint8_t* data, DWORD size) {
    p::Report r;
    const p::DecodeStatus status = p::DecodeReport(data, size, &r);
    if (status != p::DecodeStatus::kOk) {
      PrintEvent({{"event", "bad-report"}, {"status", static_cast<int>(status)}, {"bytes", size}, {"type", r.type}});
      return;
    }
    if (r.type == p::kFrameReady) saver_->OnFrameReady(r.surface_id, r.client_handle, r.width, r.height);
    if (r.type != p::kFrameReady || !quiet_frames_) PrintLine(nc::ReportToJson(r));
    std::lock_guard<std::mutex> hold(lock_);
    reports_.push_back(std::move(r));
    changed_.notify_all();
  }

  nc::FrameSaver* saver_;
  bool quiet_frames_;
  HANDLE pipe_ = INVALID_HANDLE_VALUE;
  HANDLE read_event_ = nullptr;
  HANDLE write_event_ = nullptr;
  HANDLE stop_event_ = nullptr;
  HANDLE connect_event_ = nullptr;
  std::thread reader_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<p::Report> reports_;
  std::size_t cursor_ = 0;
  bool ended_ = false;
};

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

  nc::FrameSaver saver(o.verify_frames);
  Link link(&saver, o.quiet_frames);
  std::string pipe_name;
  if (!link.Create(&pipe_name)) {
    PrintEvent({{"event", "error"}, {"message", "cannot create the pipe"}, {"code", GetLastError()}});
    return 1;
  }

  const std::string engine = o.engine.empty() ? ProgramDirectory() + "\\nimo-webengine.exe" : o.engine;
  std::string command = Quote(engine) + " --nimomp-browser --nimomp-pipe=" + pipe_name +
                        " --nimomp-clientpid=" + std::to_string(GetCurrentProcessId());
  for (const std::string& a : o.engine_args) command += " " + Quote(a);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::vector<char> mutable_command(command.begin(), command.end());
  mutable_command.push_back('\0');
  if (!CreateProcessA(engine.c_str(), mutable_command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    PrintEvent({{"event", "error"}, {"message", "cannot start " + engine}, {"code", GetLastError()}});
    return 1;
  }
  CloseHandle(pi.hThread);
  PrintEvent({{"event", "started"}, {"engine_pid", pi.dwProcessId}, {"pipe", pipe_name}});

  bool failed = false;
  bool link_ended = false;  // Shutdown sent or pipe closed: nothing more is sent
  if (!link.WaitConnected(pi.hProcess, o.connect_timeout_ms)) {
    PrintEvent({{"event", "error"}, {"message", "engine did not connect"}});
    failed = true;
    link_ended = true;
  }

  for (std::size_t i = 0; i < steps.size() && !failed; ++i) {
    const nc::Step& step = steps[i];
    switch (step.kind) {
      case nc::StepKind::kSend:
        if (!link.Write(step.frame)) {
          // After Shutdown or close the engine may already be gone; such a write failing
          // is what the scenario asked for, not a fault.
          PrintEvent({{"event", "write-failed"}, {"line", step.line}, {"step", step.source},
                      {"after_end", link_ended}});
          failed = failed || !link_ended;
        }
        break;
      case nc::StepKind::kShutdown:
        if (!link.Write(p::Shutdown())) {
          PrintEvent({{"event", "write-failed"}, {"line", step.line}, {"step", step.source}});
          failed = true;
        }
        link_ended = true;
        break;
      case nc::StepKind::kClose:
        link.Close();
        link_ended = true;
        break;
      case nc::StepKind::kWait: {
        bool closed = false;
        if (!link.Wait(step.wait, &closed)) {
          PrintEvent({{"event", closed ? "closed-while-waiting" : "timeout"}, {"line", step.line}, {"step", step.source}});
          failed = true;
        }
        break;
      }
      case nc::StepKind::kPause:
        Sleep(step.pause_ms);
        break;
      case nc::StepKind::kSave: {
        std::string why;
        if (saver.Save(step.surface, step.path, &why)) {
          PrintEvent({{"event", "saved"}, {"surface", step.surface}, {"path", step.path}});
        } else {
          PrintEvent({{"event", "save-failed"}, {"line", step.line}, {"reason", why}});
          failed = true;
        }
        break;
      }
    }
  }

  if (!link_ended) link.Write(p::Shutdown());
  long exit_code = -1;
  if (WaitForSingleObject(pi.hProcess, o.exit_timeout_ms) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    exit_code = static_cast<long>(code);
  } else {
    PrintEvent({{"event", "engine-hung"}, {"waited_ms", o.exit_timeout_ms}});
    TerminateProcess(pi.hProcess, 0xDEAD);
    WaitForSingleObject(pi.hProcess, 5000);
    failed = true;
  }
  CloseHandle(pi.hProcess);
  // Reports written just before the exit are still in the pipe: read them before leaving.
  link.WaitEnded(2000);
  link.Stop();
  json exit = {{"event", "exit"}, {"code", exit_code}, {"closed_handles", saver.closed_handles()}};
  if (o.verify_frames) {
    exit["opened_handles"] = saver.opened_handles();
    exit["open_failures"] = saver.open_failures();
    failed = failed || saver.open_failures() != 0;
  }
  PrintEvent(exit);
  if (failed) return 1;
  return exit_code == 0 ? 0 : 3;
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
