// The host library's session: the engine process, the pipe, the reader and writer
// threads, the event queue. Textures live in textures.cpp, input in input.cpp.
#include <windows.h>
#include <dxgi.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "client/host_library/start_diagnosis.h"
#include "client/host_library/state.h"
#include "client/portable/engine_command.h"
#include "client/portable/start_failure.h"

namespace nimo {
namespace host {

namespace p = protocol;

namespace {

constexpr std::size_t kMaxQueuedBytes = 64u << 20;
constexpr DWORD kEndWaitMs = 3000;  // for the engine's exit once its end of the pipe is gone

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
  return out;
}

// This program's folder, whatever its length and letters.
std::string ProgramDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return ".";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 32768) return ".";
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::string(".") : Utf8(path.substr(0, slash));
}

// The LUID of the adapter `device` runs on, as 16 hex digits; empty when it cannot be told.
std::string AdapterLuidOf(ID3D11Device1* device) {
  if (device == nullptr) return std::string();
  Microsoft::WRL::ComPtr<IDXGIDevice> dxgi;
  Microsoft::WRL::ComPtr<IDXGIAdapter> adapter;
  DXGI_ADAPTER_DESC desc = {};
  if (FAILED(device->QueryInterface(__uuidof(IDXGIDevice), reinterpret_cast<void**>(dxgi.GetAddressOf()))) ||
      FAILED(dxgi->GetAdapter(adapter.GetAddressOf())) || FAILED(adapter->GetDesc(&desc)))
    return std::string();
  char text[17];
  std::snprintf(text, sizeof text, "%08lX%08lX", static_cast<unsigned long>(desc.AdapterLuid.HighPart),
                static_cast<unsigned long>(desc.AdapterLuid.LowPart));
  return text;
}

const char kInCallback[] = "called from on_event, on the thread it would wait for";

}  // namespace

std::string StartError::Text() const {
  client::StartFailureFacts facts;
  facts.step = step;
  facts.code = code;
  facts.detail = detail;
  // The full 32-bit code: a status such as 0xC0000135 is negative as a long.
  if (exit_code != -1) facts.exit_code = static_cast<long long>(static_cast<std::uint32_t>(exit_code));
  facts.flag_path = debug_flag;
  facts.log_path = engine_log;
  facts.log_tail = log_tail;
  return client::DescribeStartFailure(facts);
}

Host::Host() : state_(new HostState) {}

Host::~Host() { Shutdown(); }

bool HostState::InCallback() const { return callback_thread.load() == GetCurrentThreadId(); }

void HostState::Deliver(Event&& e) {
  if (!options.on_event) {
    events.Push(std::move(e));
    return;
  }
  // The program's code must not end the reader (an exception unwinding out of it would end
  // the process); what it threw is handed back to it once.
  const auto call = [this](const Event& event) -> std::string {
    callback_thread = GetCurrentThreadId();
    std::string failure;
    try {
      options.on_event(event);
    } catch (const std::exception& ex) {
      failure = ex.what();
      if (failure.empty()) failure = "an exception";
    } catch (...) {
      failure = "an exception that is no std::exception";
    }
    callback_thread = 0;
    return failure;
  };
  std::string failure = call(e);
  if (failure.empty()) return;
  Event report;
  report.kind = Event::Kind::kCallbackFailed;
  report.error = std::move(failure);
  (void)call(report);  // a callback that throws at this too is not told again
}

void HostState::DeliverLater(Event&& e) {
  if (!options.on_event) {
    events.Push(std::move(e));
    return;
  }
  std::lock_guard<std::mutex> hold(lock);
  waiting_events.push_back(std::move(e));
}

void HostState::DeliverWaiting() {
  std::vector<Event> waiting;
  {
    std::lock_guard<std::mutex> hold(lock);
    waiting.swap(waiting_events);
  }
  for (Event& e : waiting) Deliver(std::move(e));
}

namespace {

void DeliverFailures(HostState* s, std::vector<TextureFailure>* failures, bool later) {
  for (TextureFailure& f : *failures) {
    Event e;
    e.kind = Event::Kind::kTextureFailed;
    e.report.surface_id = f.surface;
    e.error = std::move(f.error);
    if (later)
      s->DeliverLater(std::move(e));
    else
      s->Deliver(std::move(e));
  }
  failures->clear();
}

}  // namespace

void HostState::HandleMessage(const std::vector<std::uint8_t>& message) {
  if (HandlePointerReport(message) || HandleCallReport(message)) return;
  Event e;
  e.bad_status = p::DecodeReport(message.data(), message.size(), &e.report);
  if (e.bad_status != p::DecodeStatus::kOk) {
    e.kind = Event::Kind::kBadReport;
    e.bad_size = message.size();
    Deliver(std::move(e));
    return;
  }
  std::vector<TextureFailure> failures;
  switch (e.report.type) {
    case kMsgHello:
      e.kind = Event::Kind::kHello;
      break;
    case kMsgFrameReady:
      e.kind = Event::Kind::kFrame;
      e.new_texture = textures.OnFrame(e.report, &failures);
      break;
    case kMsgFrameFence:
      leases.OnFence(e.report.client_handle);
      return;
    case kMsgFrameReady3: {
      e.kind = Event::Kind::kFrame;
      std::vector<SlotRelease> releases;
      e.new_texture = leases.OnFrame(e.report, &releases);
      for (const SlotRelease& r : releases) Queue(p::FrameRelease(r.surface, r.slot));
      break;
    }
    case kMsgLoadEvent:
      e.kind = Event::Kind::kLoad;
      break;
    case kMsgConsoleLine:
      e.kind = Event::Kind::kConsole;
      break;
    case kMsgTextInputState:
      e.kind = Event::Kind::kTextInput;
      NoteKeyboardReport(e.report);
      break;
    case kMsgImeCompositionBounds:
      e.kind = Event::Kind::kImeBounds;
      NoteKeyboardReport(e.report);
      break;
    default:
      e.kind = Event::Kind::kPageMessage;
      e.page_parsed = p::ParsePageMessage(e.report.text, &e.page);
      break;
  }
  if (e.kind == Event::Kind::kHello) {
    // Nothing is written to the pipe before the engine we started has said who it is.
    std::lock_guard<std::mutex> hold(lock);
    if (!hello_seen) {
      hello_seen = true;
      protocol_version = e.report.version;
      // The engine answers with the version asked for or a lower one it speaks.
      const std::uint32_t asked =
          options.protocol_version > kProtocolVersion ? options.protocol_version : kProtocolVersion;
      if (e.report.engine_pid != engine_pid)
        hello_error = "Hello names process " + std::to_string(e.report.engine_pid) + ", the engine started is " +
                      std::to_string(engine_pid);
      else if (e.report.version < kProtocolVersion || e.report.version > asked)
        hello_error = "Hello says protocol version " + std::to_string(e.report.version) +
                      ", this library asked for 2 to " + std::to_string(asked);
      changed.notify_all();
    }
  }
  Deliver(std::move(e));
  DeliverFailures(this, &failures, false);
}

void HostState::ReadLoop() {
  std::vector<std::uint8_t> message;
  bool stopped = false;
  for (;;) {
    const client::PipeServer::ReadResult r = pipe.Read(&message, 250, reader_stop.get());
    DeliverWaiting();
    if (r == client::PipeServer::ReadResult::kStopped) {
      stopped = true;
      break;
    }
    if (r == client::PipeServer::ReadResult::kClosed) break;
    if (r == client::PipeServer::ReadResult::kTimeout) {
      SendDueReleases();  // slots whose last reader's GPU work has finished meanwhile
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
    accepting = false;
    changed.notify_all();
  }
  DeliverWaiting();
  // Once, however the link ended: the engine went away, or Disconnect or Shutdown stopped
  // this reader (the engine may then still run: exit_code -1).
  Event e;
  e.kind = Event::Kind::kEngineEnded;
  if (WaitForSingleObject(process.get(), stopped ? 0 : kEndWaitMs) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    e.exit_code = static_cast<long>(code);
  }
  {
    std::lock_guard<std::mutex> hold(lock);
    e.expected = stopped || shutdown_sent || disconnected;
    ended_reported = true;
  }
  Deliver(std::move(e));
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
  if (!accepting || link_down || disconnected) return false;
  if (queued_bytes + message.size() > kMaxQueuedBytes) return false;
  if (p::IsShutdown(message)) shutdown_sent = true;
  queued_bytes += message.size();
  outbox.push_back(std::move(message));
  changed.notify_all();
  return true;
}

void HostState::StopThreads() {
  {
    std::lock_guard<std::mutex> hold(lock);
    accepting = false;
  }
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
  changed.notify_all();  // a Flush waiting on another thread is done
}

bool Host::Start(const StartOptions& options, StartError* error) {
  HostState& s = *state_;
  StartError ignored;
  if (error == nullptr) error = &ignored;
  const auto fail = [error](const std::string& step, DWORD code, std::string detail = std::string()) {
    error->step = step;
    error->code = code;
    error->detail = std::move(detail);
    return false;
  };
  if (s.InCallback()) return fail("Start", ERROR_INVALID_THREAD_ID, kInCallback);
  if (s.process || s.shut_down) return fail("Start (already started)", ERROR_ALREADY_INITIALIZED);
  client::EngineCommandInput input;
  input.engine_path =
      options.engine_path.empty() ? ProgramDirectory() + "\\nimo-webengine.exe" : options.engine_path;
  input.pipe_name = "\\\\.\\pipe\\" + options.pipe_prefix + "-0-0-0";  // checked now, named by Create
  input.client_pid = GetCurrentProcessId();
  input.adapter_luid = AdapterLuidOf(options.device.Get());
  input.url = options.url;
  input.cache_dir = options.cache_dir;
  input.locales_dir = options.locales_dir;
  input.resources_dir = options.resources_dir;
  input.ui_root = options.ui_root;
  if (options.devtools_port != 0) input.devtools_port = std::to_string(options.devtools_port);
  input.bridge_origins = options.bridge_origins;
  input.extra_switches = options.extra_switches;
  if (const std::string refused = client::BuildEngineCommand(input).error; !refused.empty())
    return fail("options", ERROR_INVALID_PARAMETER, refused);
  s.options = options;
  s.events.SetBounds(options.max_events, options.max_event_bytes);
  std::vector<TextureFailure> no_textures_yet;
  s.textures.SetDevice(options.device, options.open_on_arrival, &no_textures_yet);
  s.leases.SetDevice(options.device);
  s.reader_stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  s.writer_stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!s.reader_stop || !s.writer_stop) return fail("CreateEvent", GetLastError());

  client::PipeFailure pipe_failure;
  if (!s.pipe.Create(options.pipe_prefix, options.pipe_buffer, kMaxFrameSize, &pipe_failure))
    return fail(pipe_failure.step, pipe_failure.code);

  input.pipe_name = s.pipe.name();
  // Passed only above 2: version 2 is what an engine speaks unasked.
  if (options.protocol_version > kProtocolVersion) input.protocol_version = std::to_string(options.protocol_version);
  if (options.frame_ring != 0) input.frame_ring = std::to_string(options.frame_ring);
  const client::EngineCommand command = client::BuildEngineCommand(input);
  if (!command.error.empty()) return fail("options", ERROR_INVALID_PARAMETER, command.error);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::wstring mutable_command = Wide(command.line);
  const std::wstring engine_wide = Wide(input.engine_path);
  const StartDiagnosis diagnosis(input.engine_path);
  if (!CreateProcessW(engine_wide.c_str(), &mutable_command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return fail("CreateProcess", GetLastError(), "the engine " + input.engine_path);
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
  // From here a failure also tells how the engine ended and what it logged.
  const auto fail_started = [&](const std::string& step, DWORD code, DWORD wait_ms, std::string detail = std::string()) {
    fail(step, code, std::move(detail));
    diagnosis.Describe(s.process.get(), wait_ms, error);
    return false;
  };
  if (!s.pipe.WaitConnected(options.connect_timeout_ms, s.process.get(), &pipe_failure, s.engine_pid))
    return fail_started(std::string("connect: ").append(pipe_failure.step), pipe_failure.code, kEndWaitMs);
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.threads_running = true;
  }
  s.reader = std::thread([&s] { s.ReadLoop(); });

  {
    std::unique_lock<std::mutex> hold(s.lock);
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    s.changed.wait_for(hold, std::chrono::milliseconds(left), [&s] { return s.hello_seen || s.reader_done; });
    // The engine's end is waited for outside the lock: the reader takes it to finish.
    if (!s.hello_seen) {
      const bool ended = s.reader_done;
      hold.unlock();
      return fail_started(ended ? "Hello (the engine ended first)" : "Hello", WAIT_TIMEOUT, ended ? kEndWaitMs : 0);
    }
    if (!s.hello_error.empty()) {
      const std::string why = s.hello_error;
      hold.unlock();
      return fail_started("Hello", ERROR_INVALID_DATA, 0, why);
    }
    if (s.link_down) {
      hold.unlock();
      return fail_started("Hello (the engine ended first)", ERROR_BROKEN_PIPE, kEndWaitMs);
    }
    s.accepting = true;
    // A page URL the command line could not carry intact is the first command.
    if (!command.url_by_navigate.empty()) {
      p::Bytes navigate = p::Navigate(0, command.url_by_navigate);
      s.queued_bytes += navigate.size();
      s.outbox.push_back(std::move(navigate));
    }
  }
  s.writer = std::thread([&s] { s.WriteLoop(); });
  return true;
}

bool Host::Poll(Event* out) { return state_->events.Pop(out); }

bool Host::CreateSurface(std::uint32_t surface, std::uint32_t width, std::uint32_t height, const std::string& url) {
  state_->NoteSurfaceSize(surface, width, height);
  return state_->Queue(p::CreateSurface(surface, width, height, url));
}
bool Host::Navigate(std::uint32_t surface, const std::string& url) { return state_->Queue(p::Navigate(surface, url)); }
bool Host::ExecuteScript(std::uint32_t surface, const std::string& script) {
  return state_->Queue(p::ExecuteScript(surface, script));
}
bool Host::Resize(std::uint32_t surface, std::uint32_t width, std::uint32_t height) {
  state_->NoteSurfaceSize(surface, width, height);
  return state_->Queue(p::ResizeSurface(surface, width, height));
}
bool Host::SetFocus(std::uint32_t surface, bool focus) {
  if (surface < kSurfaceSlotCount) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->focused[surface] = focus;
    state_->focus_suspended[surface] = false;
  }
  return state_->Queue(p::SetFocus(surface, focus));
}
bool Host::SetHidden(std::uint32_t surface, bool hidden) { return state_->Queue(p::SetHidden(surface, hidden)); }
bool Host::Reload(std::uint32_t surface, bool ignore_cache) { return state_->Queue(p::Reload(surface, ignore_cache)); }
bool Host::Emit(std::uint32_t surface, const std::string& name, const std::vector<ScriptValue>& args) {
  return state_->Queue(p::ExecuteScript(surface, client::EmitScript(name, args)));
}
bool Host::SendRaw(const p::Bytes& message) { return state_->Queue(message, true); }

bool Host::Flush(DWORD timeout_ms) {
  HostState& s = *state_;
  std::unique_lock<std::mutex> hold(s.lock);
  // Every way the writer can stop notifies: a write done, the link down, the threads stopped.
  // A link that went down still lets the write in progress finish: an engine that ends on
  // reading a message (Shutdown, a bad frame) often closes the pipe before the writer has
  // noted that its write went through, and that write did not fail.
  const bool drained = s.changed.wait_for(hold, std::chrono::milliseconds(timeout_ms), [&s] {
    return !s.writing && (s.outbox.empty() || !s.threads_running || s.link_down);
  });
  const bool ok = drained && s.outbox.empty() && !s.writing && s.failed_writes == 0;
  s.failed_writes = 0;
  return ok;
}

bool Host::Texture(std::uint32_t surface, SurfaceTexture* out, std::string* why) {
  HostState& s = *state_;
  std::string ignored;
  std::vector<TextureFailure> failures;
  const bool ok = s.textures.Get(surface, out, why != nullptr ? why : &ignored, &failures);
  DeliverFailures(&s, &failures, true);
  return ok;
}

bool Host::View(std::uint32_t surface, Microsoft::WRL::ComPtr<ID3D11ShaderResourceView>* out, std::string* why) {
  SurfaceTexture t;
  std::string ignored;
  if (why == nullptr) why = &ignored;
  if (!Texture(surface, &t, why)) return false;
  if (!t.view) return false;
  *out = t.view;
  return true;
}

HandleCounts Host::Handles() const {
  HandleCounts counts = state_->textures.Counts();
  counts.ring_open = state_->leases.open_handles();
  return counts;
}

bool Host::AcquireFrame(std::uint32_t surface, FrameLease* lease, std::string* why) {
  std::string ignored;
  if (lease == nullptr) return false;
  state_->SendDueReleases();
  return state_->leases.Acquire(surface, lease, why != nullptr ? why : &ignored);
}

bool Host::ReleaseFrame(FrameLease* lease) {
  if (!state_->leases.Release(lease)) return false;
  state_->SendDueReleases();
  return true;
}

void HostState::SendDueReleases() {
  std::vector<SlotRelease> releases;
  leases.CollectDue(&releases);
  for (const SlotRelease& r : releases) Queue(p::FrameRelease(r.surface, r.slot));
}

bool Host::SetDevice(Microsoft::WRL::ComPtr<ID3D11Device1> device) {
  HostState& s = *state_;
  if (s.InCallback()) return false;
  std::vector<TextureFailure> failures;
  s.leases.SetDevice(device);
  s.textures.SetDevice(std::move(device), s.options.open_on_arrival, &failures);
  DeliverFailures(&s, &failures, true);
  return true;
}

bool Host::Disconnect() {
  HostState& s = *state_;
  if (s.InCallback()) return false;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.disconnected = true;
  }
  s.StopThreads();
  s.pipe.Close();
  return true;
}

ExitReport Host::Shutdown(DWORD timeout_ms) {
  HostState& s = *state_;
  if (s.InCallback()) {
    ExitReport refused;
    refused.refused = std::string("Shutdown ") + kInCallback;
    return refused;
  }
  if (s.shut_down) return s.exit_report;
  s.shut_down = true;
  ExitReport& r = s.exit_report;
  if (s.process) {
    bool send = false;
    {
      std::lock_guard<std::mutex> hold(s.lock);
      send = !s.shutdown_sent;
    }
    if (send) s.Queue(p::Shutdown());  // refused when the link is down or disconnected
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
  s.leases.CloseAll();
  s.process.reset();
  return r;
}

bool Host::running() const {
  return state_->process && WaitForSingleObject(state_->process.get(), 0) == WAIT_TIMEOUT;
}
std::uint32_t Host::engine_pid() const { return state_->engine_pid; }
std::uint32_t Host::protocol_version() const {
  std::lock_guard<std::mutex> hold(state_->lock);
  return state_->protocol_version;
}
const std::string& Host::pipe_name() const { return state_->pipe.name(); }
HANDLE Host::engine_process() const { return state_->process.get(); }

}  // namespace host
}  // namespace nimo
