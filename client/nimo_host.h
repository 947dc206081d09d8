// nimo_host.h: what a Windows program embeds to show nimo-webengine's pages in its own
// Direct3D 11 scene. One nimo::host::Host per engine process. It creates the pipe, starts
// and watches the engine, reads its reports on a thread of its own, writes commands from
// a queue so no call waits on the pipe, keeps every texture handle the engine gives this
// process (the newest per surface open, every other one closed exactly once), turns window
// messages into input and builds page events from typed values.
//
//   nimo::host::Host host;
//   nimo::host::StartOptions o;
//   o.url = "file:///C:/game/ui/index.html";
//   o.device = my_device1;                        // ID3D11Device1 of the renderer
//   nimo::host::StartError err;
//   if (!host.Start(o, &err)) log(err.Text());
//   host.CreateSurface(1, 800, 600, "https://example.org/");
//   ... each frame:
//   nimo::host::Event e;
//   while (host.Poll(&e)) { ... }
//   nimo::host::SurfaceTexture t;
//   Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> view;
//   if (host.View(1, &view) && host.Texture(1, &t)) draw(view.Get(), t.width, t.height);
//   ... in the window procedure:
//   if (host.ForwardInput(1, hwnd, msg, wparam, lparam)) return 0;
//   host.Emit(1, "score", {"alice", 42});
//   ... at the end:
//   nimo::host::ExitReport r = host.Shutdown();
//
// Threads: Start, Disconnect, Shutdown, running(), engine_pid(), pipe_name() and
// engine_process() on one thread (the owner's); every other call from any thread. Events
// come either through StartOptions::on_event, on the library's reader thread, or, without
// a callback, through Poll (frames of a surface not yet polled are merged into the newest).
// A Host runs one engine once: Start after Shutdown is refused.
#pragma once
#include <windows.h>
#include <d3d11_1.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/nimo_protocol.h"
#include "client/portable/script_literal.h"
#include "client/portable/window_input.h"

namespace nimo {
namespace host {

using client::ScriptValue;
using client::SurfacePlacement;

struct Event {
  enum class Kind {
    kStarted,      // the engine process runs (engine_pid, pipe_name); before it connects
    kHello,        // report: the engine connected
    kFrame,        // report: a new frame of `report.surface_id`; `new_texture` when its texture changed
    kLoad,         // report: LoadEvent
    kConsole,      // report: ConsoleLine
    kPageMessage,  // report: PageMessage, decoded into `page` when `page_parsed`
    kBadReport,    // a message that is no valid report (bad_status, bad_size)
    kOversizedReport,  // a message longer than any report, skipped
    kEngineEnded,  // once: the engine's end of the pipe is gone (exit_code, expected)
  };
  Kind kind = Kind::kHello;
  protocol::Report report;  // every report kind, as decoded
  protocol::PageMessage page;
  bool page_parsed = false;
  bool new_texture = false;
  protocol::DecodeStatus bad_status = protocol::DecodeStatus::kOk;
  std::size_t bad_size = 0;
  std::uint32_t engine_pid = 0;  // kStarted
  std::string pipe_name;         // kStarted
  long exit_code = -1;           // kEngineEnded: the process's full exit code, -1 if it still ran
  bool expected = false;         // kEngineEnded: after Shutdown or Disconnect
};

struct StartOptions {
  std::string engine_path;  // empty: nimo-webengine.exe beside this program
  // The engine's page and folder switches; empty ones are not passed.
  std::string url;            // --nimomp-url: the page of surface 0
  std::string cache_dir;      // --nimomp-cache
  std::string locales_dir;    // --nimomp-locales
  std::string resources_dir;  // --nimomp-resources
  std::vector<std::string> extra_switches;  // appended as given, each quoted when needed
  // The program's device: textures are opened on it. Null: handles are still kept and
  // closed, but Texture() has nothing to give.
  Microsoft::WRL::ComPtr<ID3D11Device1> device;
  // Open each new texture as its FrameReady arrives (on the reader thread) rather than on
  // the first Texture() call; a handle that does not open is then counted at once.
  bool open_on_arrival = false;
  // Called on the reader thread for every event (and for kStarted on Start's thread);
  // when empty, events wait for Poll.
  std::function<void(const Event&)> on_event;
  DWORD connect_timeout_ms = 15000;  // from the engine's start until Hello
  std::string pipe_prefix = "nimo-host";
  DWORD pipe_buffer = static_cast<DWORD>(protocol::kMaxFrameSize);  // in and out buffers
};

struct StartError {
  std::string step;  // "CreateNamedPipe", "CreateProcess", "connect", "Hello", ...
  DWORD code = 0;    // the Win32 error code (WAIT_TIMEOUT for a wait that ran out)
  std::string Text() const;
};

struct SurfaceTexture {
  Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t format = 0;  // as FrameReady said
};

struct HandleCounts {
  std::uint32_t open = 0;          // handles held now (at most one per surface)
  std::uint32_t replaced = 0;      // closed because a newer one came for the same surface
  std::uint32_t opened = 0;        // textures opened on the device
  std::uint32_t open_failures = 0;  // handles that did not open
};

struct ExitReport {
  long exit_code = -1;   // the engine's full exit code; -1 when it had to be terminated
  bool hung = false;     // it did not exit within the timeout and was terminated
};

struct HostState;  // inside the library

class Host {
 public:
  Host();
  ~Host();  // Shutdown() if it was not called
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Creates the pipe, starts the engine and waits for Hello. On failure says which step
  // failed; an engine already started is left running for Shutdown to end.
  bool Start(const StartOptions& options, StartError* error);

  // The oldest event not yet taken (only without on_event). Never blocks.
  bool Poll(Event* out);

  // Commands: queued for the library's writer, never waiting on the pipe. False when the
  // link is down, or when 64 MiB of commands are already waiting.
  bool CreateSurface(std::uint32_t surface, std::uint32_t width, std::uint32_t height, const std::string& url = "");
  bool Navigate(std::uint32_t surface, const std::string& url);
  bool ExecuteScript(std::uint32_t surface, const std::string& script);
  bool Resize(std::uint32_t surface, std::uint32_t width, std::uint32_t height);
  bool SetFocus(std::uint32_t surface, bool focus);
  bool SetHidden(std::uint32_t surface, bool hidden);
  bool Reload(std::uint32_t surface, bool ignore_cache = false);
  // Raises page event `name` (window.mp.events handlers) with `args` as script literals.
  bool Emit(std::uint32_t surface, const std::string& name, const std::vector<ScriptValue>& args = {});
  // Any one pipe message, as is (a Shutdown frame counts as Shutdown).
  bool SendRaw(const protocol::Bytes& message);

  // Forwards one window message of `window` to `surface` (mouse, wheel, leave, keys,
  // characters); false when it is not input. Mouse leave is tracked on `window`.
  bool ForwardInput(std::uint32_t surface, HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                    const SurfacePlacement& placement = SurfacePlacement());

  // Waits up to `timeout_ms` until every queued command is written; false if one failed
  // or the time ran out.
  bool Flush(DWORD timeout_ms);

  // The newest texture of `surface` (opened on the device if not yet) and its size.
  bool Texture(std::uint32_t surface, SurfaceTexture* out, std::string* why = nullptr);
  // A shader resource view of that texture (made once per texture), for drawing it.
  bool View(std::uint32_t surface, Microsoft::WRL::ComPtr<ID3D11ShaderResourceView>* out, std::string* why = nullptr);
  HandleCounts Handles() const;

  // Closes this end of the pipe now, as a program that went away (the engine then ends).
  void Disconnect();

  // Sends Shutdown (unless sent or disconnected), waits up to `timeout_ms` for the engine
  // to exit, terminates it if it hangs, reads the reports it wrote last, closes every
  // handle it gave this process. Safe to call in any state, more than once.
  ExitReport Shutdown(DWORD timeout_ms = 20000);

  bool running() const;  // the engine process has not ended
  std::uint32_t engine_pid() const;
  const std::string& pipe_name() const;
  HANDLE engine_process() const;  // valid until Shutdown

 private:
  std::unique_ptr<HostState> state_;
};

}  // namespace host
}  // namespace nimo
