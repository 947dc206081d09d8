// The host library's session: the engine process, the pipe, the reader and writer
// threads, the event queue. Textures live in host_textures.cpp, input in host_input.cpp.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "client/host_session.h"

namespace nimo {
namespace host {

namespace p = protocol;

namespace {

constexpr std::size_t kMaxQueuedBytes = 64u << 20;
constexpr DWORD kEndWaitMs = 3000;  // for the engine's exit once its end of the pipe is gone

std::string ProgramDirectory() {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n < MAX_PATH ? n : 0);
  const std::size_t slash = s.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : s.substr(0, slash);
}

// One argument as the engine's command-line reader splits it.
std::string Quote(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string q = "\"";
  for (char c : arg) {
    if (c == '"') q += '\\';
    q += c;
  }
  return q + "\"";
}

bool IsShutdown(const p::Bytes& m) {
  return m.size() == p::kHeaderSize && p::detail::Get32(m.data()) == p::kMagic && m[4] == (p::kShutdown & 0xFF) &&
         m[5] == (p::kShutdown >> 8);
}

}  // namespace

std::string StartError::Text() const { return step + " failed (Win32 error " + std::to_string(code) + ")"; }

Host::Host() : state_(new HostState) {}

Host::~Host() { Shutdown(); }

void HostState::Deliver(Event&& e) {
  if (options.on_event) {
    options.on_event(e);
    return;
  }
  std::lock_guard<std::mutex> hold(lock);
  // A program that polls seldom gets the newest frame of a surface, not a backlog.
  if (e.kind == Event::Kind::kFrame) {
    for (auto it = events.begin(); it != events.end(); ++it) {
      if (it->kind == Event::Kind::kFrame && it->report.surface_id == e.report.surface_id) {
        e.new_texture = e.new_texture || it->new_texture;
        events.erase(it);
        break;
      }
    }
  }
  events.push_back(std::move(e));
}

void HostState::HandleMessage(const std::vector<std::uint8_t>& message) {
  Event e;
  e.bad_status = p::DecodeReport(message.data(), message.size(), &e.report);
  if (e.bad_status != p::DecodeStatus::kOk) {
    e.kind = Event::Kind::kBadReport;
    e.bad_size = message.size();
    Deliver(std::move(e));
    return;
  }
  switch (e.report.type) {
    case p::kHello:
      e.kind = Event::Kind::kHello;
      break;
    case p::kFrameReady:
      e.kind = Event::Kind::kFrame;
      e.new_texture = textures.OnFrame(e.report);
      break;
    case p::kLoadEvent:
      e.kind = Event::Kind::kLoad;
      break;
    case p::kConsoleLine:
      e.kind = Event::Kind::kConsole;
      break;
    default:
      e.kind = Event::Kind::kPageMessage;
      e.page_parsed = p::ParsePageMessage(e.report.text, &e.page);
      break;
  }
  const bool hello = e.kind == Event::Kind::kHello;
  Deliver(std::move(e));
  if (hello) {
    std::lock_guard<std::mutex> hold(lock);
    hello_seen = true;
    changed.notify_all();
  }
}

void HostState::ReadLoop() {
  std::vector<std::uint8_t> message;
  bool stopped = false;
  for (;;) {
    const client::PipeServer::ReadResult r = pipe.Read(&message, 250, reader_stop.get());
    if (r == client::PipeServer::ReadResult::kStopped) {
      stopped = true;
      break;
    }
    if (r == client::PipeServer::ReadResult::kClosed) break;
    if (r == client::PipeServer::ReadResult::kTimeout) {
      // The pipe normally breaks when the engine ends; its process is the proof when it does not.
      // What it wrote before it ended is still in the pipe and read first.
      if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
        while (pipe.Read(&message, 0, reader_stop.get()) == client::PipeServer::ReadResult::kMessage)
          HandleMessage(message);
        break;
      }
      continue;
    }
    if (r == client::PipeServer::ReadResult::kOversized) {
      Event e;
      e.kind = Event::Kind::kOversizedReport;
      Deliver(std::move(e));
      continue;
    }
    HandleMessage(message);
  }
  {
    std::lock_guard<std::mutex> hold(lock);
    link_down = true;
    changed.notify_all();
  }
  if (!stopped) {
    Event e;
    e.kind = Event::Kind::kEngineEnded;
    if (WaitForSingleObject(process.get(), kEndWaitMs) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(process.get(), &code);
      e.exit_code = static_cast<long>(code);
    }
    {
      std::lock_guard<std::mutex> hold(lock);
      e.expected = shutdown_sent || disconnected;
    }
    Deliver(std::move(e));
  }
  std::lock_guard<std::mutex> hold(lock);
  reader_done = true;
  changed.notify_all();
}

void HostState::WriteLoop() {
  std::unique_lock<std::mutex> hold(lock);
  for (;;) {
    changed.wait(hold, [this] { return !outbox.empty() || stop_writing; });
    if (stop_writing) break;
    p::Bytes message = std::move(outbox.front());
    outbox.pop_front();
    writing = true;
    hold.unlock();
    const bool ok = pipe.Write(message.data(), message.size(), INFINITE, writer_stop.get());
    hold.lock();
    writing = false;
    queued_bytes -= message.size();
    if (!ok) ++failed_writes;
    changed.notify_all();
  }
}

bool HostState::Queue(p::Bytes message, bool allow_empty) {
  if (message.empty() && !allow_empty) return false;
  std::lock_guard<std::mutex> hold(lock);
  if (!threads_running || link_down || disconnected) return false;
  if (queued_bytes + message.size() > kMaxQueuedBytes) return false;
  if (IsShutdown(message)) shutdown_sent = true;
  queued_bytes += message.size();
  outbox.push_back(std::move(message));
  changed.notify_all();
  return true;
}

void HostState::StopThreads() {
  if (reader.joinable()) {
    SetEvent(reader_stop.get());
    reader.join();
  }
  if (writer.joinable()) {
    {
      std::lock_guard<std::mutex> hold(lock);
      stop_writing = true;
      changed.notify_all();
    }
    SetEvent(writer_stop.get());
    writer.join();
  }
  std::lock_guard<std::mutex> hold(lock);
  threads_running = false;
  outbox.clear();
  queued_bytes = 0;
}

bool Host::Start(const StartOptions& options, StartError* error) {
  HostState& s = *state_;
  StartError ignored;
  if (error == nullptr) error = &ignored;
  const auto fail = [error](const char* step, DWORD code) {
    error->step = step;
    error->code = code;
    return false;
  };
  if (s.process || s.shut_down) return fail("Start (already started)", ERROR_ALREADY_INITIALIZED);
  s.options = options;
  s.textures.SetDevice(options.device, options.open_on_arrival);
  s.reader_stop.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  s.writer_stop.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!s.reader_stop || !s.writer_stop) return fail("CreateEvent", GetLastError());

  client::PipeFailure pipe_failure;
  if (!s.pipe.Create(options.pipe_prefix, options.pipe_buffer, p::kMaxFrameSize, &pipe_failure))
    return fail(pipe_failure.step, pipe_failure.code);

  const std::string engine =
      options.engine_path.empty() ? ProgramDirectory() + "\\nimo-webengine.exe" : options.engine_path;
  std::string command = Quote(engine) + " --nimomp-browser --nimomp-pipe=" + s.pipe.name() +
                        " --nimomp-clientpid=" + std::to_string(GetCurrentProcessId());
  const std::pair<const char*, const std::string*> folders[] = {{"--nimomp-url=", &options.url},
                                                                 {"--nimomp-cache=", &options.cache_dir},
                                                                 {"--nimomp-locales=", &options.locales_dir},
                                                                 {"--nimomp-resources=", &options.resources_dir}};
  for (const auto& f : folders)
    if (!f.second->empty()) command += " " + Quote(f.first + *f.second);
  for (const std::string& a : options.extra_switches) command += " " + Quote(a);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::vector<char> mutable_command(command.begin(), command.end());
  mutable_command.push_back('\0');
  if (!CreateProcessA(engine.c_str(), mutable_command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return fail("CreateProcess", GetLastError());
  UniqueHandle thread(pi.hThread);
  s.process.reset(pi.hProcess);
  s.engine_pid = pi.dwProcessId;
  {
    Event e;
    e.kind = Event::Kind::kStarted;
    e.engine_pid = s.engine_pid;
    e.pipe_name = s.pipe.name();
    s.Deliver(std::move(e));
  }

  const ULONGLONG deadline = GetTickCount64() + options.connect_timeout_ms;
  if (!s.pipe.WaitConnected(options.connect_timeout_ms, s.process.get(), &pipe_failure))
    return fail(std::string("connect: ").append(pipe_failure.step).c_str(), pipe_failure.code);
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.threads_running = true;
  }
  s.reader = std::thread([&s] { s.ReadLoop(); });
  s.writer = std::thread([&s] { s.WriteLoop(); });

  std::unique_lock<std::mutex> hold(s.lock);
  const ULONGLONG now = GetTickCount64();
  const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
  s.changed.wait_for(hold, std::chrono::milliseconds(left), [&s] { return s.hello_seen || s.reader_done; });
  if (!s.hello_seen) return fail(s.reader_done ? "Hello (the engine ended first)" : "Hello", WAIT_TIMEOUT);
  return true;
}

bool Host::Poll(Event* out) {
  HostState& s = *state_;
  std::lock_guard<std::mutex> hold(s.lock);
  if (s.events.empty()) return false;
  *out = std::move(s.events.front());
  s.events.pop_front();
  return true;
}

bool Host::CreateSurface(std::uint32_t surface, std::uint32_t width, std::uint32_t height, const std::string& url) {
  return state_->Queue(p::CreateSurface(surface, width, height, url));
}
bool Host::Navigate(std::uint32_t surface, const std::string& url) { return state_->Queue(p::Navigate(surface, url)); }
bool Host::ExecuteScript(std::uint32_t surface, const std::string& script) {
  return state_->Queue(p::ExecuteScript(surface, script));
}
bool Host::Resize(std::uint32_t surface, std::uint32_t width, std::uint32_t height) {
  return state_->Queue(p::ResizeSurface(surface, width, height));
}
bool Host::SetFocus(std::uint32_t surface, bool focus) { return state_->Queue(p::SetFocus(surface, focus)); }
bool Host::SetHidden(std::uint32_t surface, bool hidden) { return state_->Queue(p::SetHidden(surface, hidden)); }
bool Host::Reload(std::uint32_t surface, bool ignore_cache) { return state_->Queue(p::Reload(surface, ignore_cache)); }
bool Host::Emit(std::uint32_t surface, const std::string& name, const std::vector<ScriptValue>& args) {
  return state_->Queue(p::ExecuteScript(surface, client::EmitScript(name, args)));
}
bool Host::SendRaw(const p::Bytes& message) { return state_->Queue(message, true); }

bool Host::Flush(DWORD timeout_ms) {
  HostState& s = *state_;
  std::unique_lock<std::mutex> hold(s.lock);
  const bool drained = s.changed.wait_for(hold, std::chrono::milliseconds(timeout_ms), [&s] {
    return (s.outbox.empty() && !s.writing) || !s.threads_running;
  });
  const bool ok = drained && s.outbox.empty() && s.failed_writes == 0;
  s.failed_writes = 0;
  return ok;
}

bool Host::Texture(std::uint32_t surface, SurfaceTexture* out, std::string* why) {
  std::string ignored;
  return state_->textures.Get(surface, out, why != nullptr ? why : &ignored);
}

bool Host::View(std::uint32_t surface, Microsoft::WRL::ComPtr<ID3D11ShaderResourceView>* out, std::string* why) {
  std::string ignored;
  return state_->textures.View(surface, out, why != nullptr ? why : &ignored);
}

HandleCounts Host::Handles() const { return state_->textures.Counts(); }

void Host::Disconnect() {
  HostState& s = *state_;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.disconnected = true;
  }
  s.StopThreads();
  s.pipe.Close();
}

ExitReport Host::Shutdown(DWORD timeout_ms) {
  HostState& s = *state_;
  if (s.shut_down) return s.exit_report;
  s.shut_down = true;
  ExitReport& r = s.exit_report;
  if (s.process) {
    bool send = false;
    {
      std::lock_guard<std::mutex> hold(s.lock);
      send = s.threads_running && !s.shutdown_sent && !s.disconnected && !s.link_down;
    }
    if (send) s.Queue(p::Shutdown());
    if (WaitForSingleObject(s.process.get(), timeout_ms) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(s.process.get(), &code);
      r.exit_code = static_cast<long>(code);
    } else {
      r.hung = true;
      TerminateProcess(s.process.get(), 0xDEAD);
      WaitForSingleObject(s.process.get(), 5000);
    }
    // Reports written just before the exit are still in the pipe: read them first.
    {
      std::unique_lock<std::mutex> hold(s.lock);
      s.changed.wait_for(hold, std::chrono::milliseconds(2000), [&s] { return s.reader_done || !s.threads_running; });
    }
  }
  s.StopThreads();
  s.pipe.Close();
  s.textures.CloseAll();
  s.process.reset();
  return r;
}

bool Host::running() const {
  return state_->process && WaitForSingleObject(state_->process.get(), 0) == WAIT_TIMEOUT;
}
std::uint32_t Host::engine_pid() const { return state_->engine_pid; }
const std::string& Host::pipe_name() const { return state_->pipe.name(); }
HANDLE Host::engine_process() const { return state_->process.get(); }

}  // namespace host
}  // namespace nimo
