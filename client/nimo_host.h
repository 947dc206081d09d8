// nimo_host.h: what a Windows program embeds to show nimo-webengine's pages in its own
// Direct3D 11 scene. One nimo::host::Host per engine process. It creates the pipe (open to
// this user and SYSTEM only), starts and watches the engine, checks that the process that
// connected and said Hello is the engine it started, reads its reports on a thread of its
// own, writes commands from a queue so no call waits on the pipe, keeps every texture
// handle the engine gives this process (the newest per surface open, every other one
// closed exactly once), turns window messages into input and builds page events from
// typed values.
//
//   nimo::host::Host host;
//   nimo::host::StartOptions o;
//   o.ui_root = "C:\\game\\ui";                   // served as https://nimo.localhost/
//   o.url = "https://nimo.localhost/";            // surface 0: the game's own UI
//   o.protocol_version = 3;                       // input method, cursor, scale, sideways wheel
//   o.device = my_device1;                        // ID3D11Device1 of the renderer
//   nimo::host::StartError err;
//   if (!host.Start(o, &err)) log(err.Text());
//   host.CreateSurface(2, 800, 600, "https://example.org/");  // only surface 2 may go anywhere
//   ... each frame, on the render thread:
//   nimo::host::Event e;
//   while (host.Poll(&e)) { ... }
//   nimo::host::SurfaceTexture t;
//   if (host.Texture(2, &t)) draw(t.view.Get(), t.width, t.height);
//   ... after a device loss, with the new device:
//   host.SetDevice(new_device1);
//   ... in the window procedure:
//   if (host.ForwardInput(2, hwnd, msg, wparam, lparam)) return 0;
//   host.Emit(0, "score", {"alice", 42});
//   ... at the end:
//   nimo::host::ExitReport r = host.Shutdown();
//
// Threads:
// - Start, SetDevice, Disconnect, Shutdown, running(), engine_pid(), pipe_name() and
//   engine_process() on one thread, the owner's.
// - Commands (CreateSurface ... SendRaw, Emit, ForwardInput), Flush, Poll and Handles()
//   from any thread.
// - Texture() and View() on the thread that uses the program's device context (they open
//   textures on the device, which any thread may do, but what they hand out is drawn with
//   the context, which is not free-threaded); SetDevice must not run while they do.
// Events come either through StartOptions::on_event, on the library's reader thread (and
// kStarted on Start's thread), or, without a callback, through Poll. The callback must
// not call Start, SetDevice, Disconnect or Shutdown (they are refused there, with an
// error, since each waits for the very thread the callback runs on) and must not destroy
// the Host; an exception it throws is caught and reported as kCallbackFailed. Every other
// call is allowed in it.
// A Host runs one engine once: Start after Shutdown is refused.
//
// Page messages: surface 2 is the one surface allowed to show pages from anywhere, so its
// kPageMessage events come from pages the program does not control. Treat their names and
// arguments as untrusted input, as a server treats a request.
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
#include "protocol/pointer_messages.h"

namespace nimo {
namespace host {

using client::ScriptValue;
using client::SurfacePlacement;

struct Event {
  enum class Kind {
    kStarted,      // the engine process runs (engine_pid, pipe_name); before it connects
    kHello,        // report: the engine connected
    kFrame,        // report: a new frame of `report.surface_id`; `new_texture` when its texture changed;
                   // with a frame ring (FrameReady3) `report.frame_number`, `report.paint_time` and the slot
    kLoad,         // report: LoadEvent
    kConsole,      // report: ConsoleLine
    kPageMessage,  // report: PageMessage, decoded into `page` when `page_parsed`
    kBadReport,    // a message that is no valid report (bad_status, bad_size)
    kOversizedReport,  // a message longer than any report, skipped
    kEngineEnded,  // once: the engine's end of the pipe is gone, or Disconnect/Shutdown
                   // closed this end (exit_code, expected)
    kDropped,      // events lost to the bound of the Poll list since the previous kDropped
                   // (dropped_events, dropped_bytes); it stands where the first of them would
    kTextureFailed,   // the newest texture of `report.surface_id` did not open (error); once
                      // until a texture of that surface opens again; retried on each new frame
    kCallbackFailed,  // on_event threw (error: its what()); delivered to on_event itself
    // Protocol 3 only:
    kTextInput,    // report: TextInputState, `report.input_mode` of `report.surface_id` changed
    kImeBounds,    // report: ImeCompositionBounds (`report.range_from/to`, `report.rects`)
    kCursor,       // protocol 3: the page's cursor of `report.surface_id` changed (`cursor`); CursorFor has it
    kTooltip,      // protocol 3: the page's tooltip (`report.text`, empty when it goes away)
    kCall,         // protocol 3: the page called window.mp.call (`call`); answer with Resolve or Reject
  };
  Kind kind = Kind::kHello;
  CursorReport cursor;  // kCursor: type, hotspot and (custom) picture
  // kCall: the call's surface and id, its name, its arguments as a JSON array text and the
  // origin of the calling document ("scheme://host[:port]"). A call whose report does not
  // have that shape is a kBadReport.
  struct PageCall {
    std::uint32_t surface_id = 0;
    std::uint32_t call_id = 0;
    std::string name;
    std::string args_json;
    std::string origin;
  } call;
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
  std::uint64_t dropped_events = 0;  // kDropped
  std::uint64_t dropped_bytes = 0;   // kDropped: as counted against max_event_bytes
  std::string error;                 // kTextureFailed, kCallbackFailed
};

struct StartOptions {
  std::string engine_path;  // empty: nimo-webengine.exe beside this program
  // The engine's page and folder switches; empty ones are not passed. Text is UTF-8. Each
  // is written --name="value" (client/portable/engine_command.h): a folder may hold spaces
  // and any letters; one holding a quote, a control character or "--nimomp-" refuses Start.
  std::string url;            // --nimomp-url: the page of surface 0; a URL the line cannot
                              // carry intact goes by Navigate right after Hello instead
  std::string cache_dir;      // --nimomp-cache
  std::string locales_dir;    // --nimomp-locales
  std::string resources_dir;  // --nimomp-resources
  std::string ui_root;        // --nimomp-ui-root: the folder served as https://nimo.localhost/
  int devtools_port = 0;      // --nimomp-devtools-port (1024-65535) when not 0
  // The protocol version asked for (--nimomp-protocol, passed only above 2); the engine's
  // answer is protocol_version() once started. Version 2 keeps every byte on the pipe as
  // version 2 defines it.
  std::uint32_t protocol_version = kProtocolVersion;
  // Protocol 3: --nimomp-bridge-origins, the origins ("scheme://host[:port]", comma
  // separated) whose documents get window.mp; every other document gets none, and its
  // console lines stay console lines. Empty: every document gets it.
  std::string bridge_origins;
  // Protocol 3 only: 2 to 4 shared textures per surface (--nimomp-frame-ring), read through
  // AcquireFrame/ReleaseFrame; 0, without a ring, frames come through Texture() as in
  // version 2.
  std::uint32_t frame_ring = 0;
  // "--name=value" (written --name="value" by the same rule) or "--flag".
  std::vector<std::string> extra_switches;
  // The program's device: textures are opened on it, and the engine is asked to make its
  // own device on the same adapter (--nimomp-adapter-luid), without which no texture could
  // be shared on a machine with two GPUs. Null: handles are still kept and closed, but
  // Texture() has nothing to give until SetDevice.
  Microsoft::WRL::ComPtr<ID3D11Device1> device;
  // Open each new texture as its FrameReady arrives (on the reader thread) rather than on
  // the first Texture() call; a handle that does not open is then counted at once.
  bool open_on_arrival = false;
  // Called on the reader thread for every event (and for kStarted on Start's thread);
  // when empty, events wait for Poll. See the threading rules above.
  std::function<void(const Event&)> on_event;
  // Bounds of the list Poll takes from: a program that stops polling (a loading screen)
  // while pages log heavily loses the newest events past these, and is told by kDropped.
  // Frames never count: each surface's newest frame waits in a slot of its own.
  std::size_t max_events = 10000;
  std::size_t max_event_bytes = 16u << 20;
  DWORD connect_timeout_ms = 15000;  // from the engine's start until Hello
  std::string pipe_prefix = "nimo-host";
  DWORD pipe_buffer = static_cast<DWORD>(kMaxFrameSize);  // in and out buffers
};

struct StartError {
  std::string step;  // "options", "CreateNamedPipe", "CreateProcess", "connect", "Hello", ...
  DWORD code = 0;    // the Win32 error code (WAIT_TIMEOUT for a wait that ran out)
  std::string detail;  // what was wrong, when the code alone does not say it (for
                       // CreateProcess: the engine's path)
  // Once the engine was started: its exit code when it had ended by then (-1 when it still
  // ran), where its log flag file goes (ZUNT_DEBUG beside the engine), the log file when
  // that flag exists, and the last lines the engine logged during this start.
  long exit_code = -1;
  std::string debug_flag;
  std::string engine_log;
  std::vector<std::string> log_tail;
  // All of it for a person: the step, the exit code and what it means, the log's lines (or
  // how to get them), one item per line.
  std::string Text() const;
};

// One texture of a surface with its view and size, all of the same texture: the size is
// the texture's own description, not a report's.
struct SurfaceTexture {
  Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
  Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> view;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  // The pixel layout: kFrameFormatBgra or kFrameFormatRgba. The CPU paint path's frames
  // say 0 but are BGRA textures; they are reported as kFrameFormatBgra.
  std::uint32_t format = 0;
};

// A frame of a surface's ring (StartOptions::frame_ring), leased by AcquireFrame: the
// engine does not write this texture until ReleaseFrame. Every field belongs to the one
// frame; `paint_time` is the engine's QueryPerformanceCounter value when its paint began
// (the same clock as this process's on one machine).
struct FrameLease {
  std::uint32_t surface = 0;
  std::uint32_t slot = 0;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
  Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> view;  // null when it could not be made
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t format = 0;  // kFrameFormatBgra or kFrameFormatRgba
  std::uint64_t frame_number = 0;  // per surface, one up per painted frame
  std::uint64_t paint_time = 0;
  bool held = false;  // until ReleaseFrame
};

struct HandleCounts {
  std::uint32_t open = 0;          // handles held now (at most one per surface)
  std::uint32_t replaced = 0;      // closed because a newer one came for the same surface
  std::uint32_t opened = 0;        // textures opened on the device
  std::uint32_t open_failures = 0;  // textures that did not open (once per failing streak)
  std::uint32_t ring_open = 0;      // frame ring: slot texture and fence handles held now
};

struct ExitReport {
  long exit_code = -1;   // the engine's full exit code; -1 when it had to be terminated
  bool hung = false;     // it did not exit within the timeout and was terminated
  std::string refused;   // not empty: Shutdown was called where it may not be (why), nothing done
};

// Who asks a surface's page for frames (Host::SetFramePacing, protocol 3).
enum class FramePacing { kEngineClock, kClientClock };

struct HostState;  // inside the library

// The release of this library, "major.minor.patch"; the engine of the same release writes
// it in its first log line ("[nimo-webengine] version ..."). Any thread.
const char* LibraryVersion();

class Host {
 public:
  Host();
  ~Host();  // Shutdown() if it was not called
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Creates the pipe, starts the engine and waits for Hello. On failure says which step
  // failed; an engine already started is left running for Shutdown to end. Refused when
  // an option cannot be passed to the engine intact (step "options").
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
  // characters); false when it is not input. Mouse leave is tracked on `window`; in a
  // protocol-3 session each surface hears its own leave when the pointer moves off its
  // rectangle (its created or resized size at `placement`) with no button held, onto
  // another surface of `window`, or out of `window`. System
  // keys (Alt+F4, Alt+Space, F10) are forwarded and still return false, so the window's
  // DefWindowProc acts on them.
  // In a protocol-3 session (StartOptions::protocol_version 3) it also takes the
  // input method's messages: WM_IME_STARTCOMPOSITION, WM_IME_COMPOSITION (result and
  // composition strings, cursor, target clause) and WM_IME_ENDCOMPOSITION become the
  // Ime* commands and return true; WM_IME_SETCONTEXT is passed to DefWindowProcW without
  // the system's composition window (the page shows the composition inline) and returns
  // true; the candidate and composition windows are placed at the composed characters of
  // the latest ImeCompositionBounds. WM_KILLFOCUS and WM_ACTIVATEAPP (deactivation) call
  // FocusLost, WM_SETFOCUS gives the surfaces their focus back; those three return false.
  bool ForwardInput(std::uint32_t surface, HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                    const SurfacePlacement& placement = SurfacePlacement());

  // Protocol 3: the kind of text field that has the keyboard in `surface` (the TextInputState
  // last reported; kInputModeNone before any and in other sessions). A game
  // should not act on keys while this is not kInputModeNone.
  std::uint32_t TextInputMode(std::uint32_t surface) const;
  // Protocol 3: input-method composition, for programs that drive the input method
  // themselves (ForwardInput does it for the system's input method). UTF-8 text; the
  // selection in UTF-16 units within the composition. False in other sessions.
  bool ImeSetComposition(std::uint32_t surface, const std::string& text, std::uint32_t selection_start,
                         std::uint32_t selection_end);
  bool ImeCommitText(std::uint32_t surface, const std::string& text);
  bool ImeFinishComposing(std::uint32_t surface, bool keep_selection = false);
  bool ImeCancelComposition(std::uint32_t surface);
  // The program's window lost the focus: every surface the program gave the focus
  // (SetFocus true) is told it lost it, so the engine (in protocol 3) releases the keys
  // and buttons the page still believes are down. The next WM_SETFOCUS through
  // ForwardInput, or SetFocus, gives it back.
  void FocusLost();
  // Protocol 3, the pointer. ForwardInput then also takes WM_MOUSEHWHEEL, captures the mouse
  // on a button press (released with the last button), and watches WM_DPICHANGED for the
  // surfaces that follow their window's DPI (it still returns false for it: handle it too).
  // The cursor the page of `surface` asks for, ready for SetCursor in WM_SETCURSOR: the
  // system's shared cursors, or one made from the page's picture (destroyed by the library
  // once a later cursor replaced it and was handed out twice). The arrow before any report;
  // null when the page hides the cursor. Any thread.
  HCURSOR CursorFor(std::uint32_t surface);
  // The surface's device scale, 0.5 to 4 (1 = 96 DPI): sizes and input stay in texture
  // pixels, the page lays out at size / scale and draws sharp. Kept by the engine for a
  // surface not created yet. False outside 0.5..4 or on a version-2 link.
  bool SetScale(std::uint32_t surface, float scale);
  // Automatic mode: the scale of `window`'s monitor now and after each WM_DPICHANGED given
  // to ForwardInput; a null window ends it (the scale stays).
  bool FollowWindowDpi(std::uint32_t surface, HWND window);
  // Protocol 3, frame pacing. kEngineClock: the engine asks the surface's page for a
  // frame `rate` times a second (1 to 240; 0 the engine's default, every 16 ms).
  // kClientClock: only BeginFrame asks for one, one frame per call (calls made while the
  // engine has not yet acted on the previous one count once). With `probe` false the
  // engine's frame-rate probe stays out of the surface's pages (and leaves the current
  // one), so a page that does not change paints nothing and sends no frame. Surface 2
  // keeps its own clock and takes only `probe`. Kept by the engine for a surface not
  // created yet. False for a rate above 240 or on a version-2 link.
  bool SetFramePacing(std::uint32_t surface, FramePacing mode, std::uint32_t rate = 0, bool probe = true);
  bool BeginFrame(std::uint32_t surface);
  // Protocol 3: answers the page's call `call_id` of `surface` (a kCall event). Resolve
  // settles the page's promise with the JSON value `json`; Reject makes it fail with an
  // Error whose message is `reason`. A value longer than a message can carry rejects the
  // call instead, saying so. An answer to a call whose document has gone (navigation,
  // reload, crash, close) or that was answered already is ignored by the engine. Any
  // thread; false on a version-2 link or when the command cannot be queued.
  bool Resolve(std::uint32_t surface, std::uint32_t call_id, const std::string& json);
  bool Reject(std::uint32_t surface, std::uint32_t call_id, const std::string& reason);

  // Waits up to `timeout_ms` until every queued command is written; false if one failed
  // or the time ran out.
  bool Flush(DWORD timeout_ms);

  // The newest texture of `surface` (opened on the device if not yet), its shader
  // resource view (made once per texture; null, with `why` set, if it could not be made)
  // and its size. A texture that fails to open is
  // tried again once a newer frame of the surface arrives (or after SetDevice).
  bool Texture(std::uint32_t surface, SurfaceTexture* out, std::string* why = nullptr);
  // Only the view of that texture.
  bool View(std::uint32_t surface, Microsoft::WRL::ComPtr<ID3D11ShaderResourceView>* out, std::string* why = nullptr);
  HandleCounts Handles() const;

  // Protocol 3 with a frame ring. The newest frame of `surface`: its texture opened on the
  // device, and a wait queued on the device's immediate context, so the program's next draw
  // reads it only once the engine's copy has finished on the GPU (the CPU does not wait).
  // The engine leaves the slot alone until ReleaseFrame; the library hands the engine back
  // every other slot by itself. Same thread rules as Texture(). False, with `why`, before
  // the first frame or when the texture or fence does not open.
  bool AcquireFrame(std::uint32_t surface, FrameLease* lease, std::string* why = nullptr);
  // Ends the lease (emptied): the slot goes back to the engine once the program's GPU has
  // finished the work queued so far (its draws of the frame included), unless it still
  // holds the surface's newest frame. On the thread of AcquireFrame (it signals and flushes
  // the device's immediate context). False for a lease that was not held.
  bool ReleaseFrame(FrameLease* lease);

  // After the program's device was lost (or to move to another device): every texture and
  // view opened on the old device is released, and the textures are opened again on
  // `device` from the handles the library still holds, so pages keep showing without
  // restarting the engine. The engine's own adapter stays the one chosen at Start.
  // False when called where it may not be (from on_event).
  bool SetDevice(Microsoft::WRL::ComPtr<ID3D11Device1> device);

  // Closes this end of the pipe now, as a program that went away (the engine then ends);
  // kEngineEnded follows, expected. False (nothing done) from on_event.
  bool Disconnect();

  // Sends Shutdown (unless sent or disconnected), waits up to `timeout_ms` for the engine
  // to exit, terminates it if it hangs, reads the reports it wrote last, closes every
  // handle it gave this process. Safe to call in any state, more than once; from on_event
  // it is refused (ExitReport::refused says so) and does nothing.
  ExitReport Shutdown(DWORD timeout_ms = 20000);

  bool running() const;  // the engine process has not ended
  std::uint32_t engine_pid() const;
  // The protocol version the engine speaks on this link, as its Hello said; 0 before Hello.
  std::uint32_t protocol_version() const;
  const std::string& pipe_name() const;
  HANDLE engine_process() const;  // valid until Shutdown

 private:
  std::unique_ptr<HostState> state_;
};

}  // namespace host
}  // namespace nimo
