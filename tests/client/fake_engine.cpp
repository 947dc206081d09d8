// A tiny engine for the reference client's tests: connects to the client's pipe the way
// nimo-webengine does, sends Hello, and reads commands with the engine's own wire code.
// ExecuteScript texts are instructions that make it send reports:
//   console <text>                 ConsoleLine on the command's surface
//   page <text>                    PageMessage with <text> as is
//   load <kind> <error> [url]      LoadEvent
//   frame <w> <h> <0xAARRGGBB>     a shared texture of one colour (stand-in GPU), its
//                                  handle duplicated into the client, then FrameReady
//   cmdline                        ConsoleLine with this process's command line
//   badframe                       FrameReady with a handle that is no texture (an event)
//   exit <code>                    ends the process at once with <code>
//   hang                           stops reading and never exits by itself
// --fake-hello-version=<n> makes the Hello claim protocol version n.
// Exit codes tell the test what the engine saw: 0 Shutdown, 10 pipe closed, 11 bad frame,
// 12 could not connect.
#include <windows.h>
#include <dxgiformat.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "base/win_handle.h"
#include "protocol/switches.h"
#include "protocol/wire.h"
#include "testbed/gpu/standin_gpu.h"

namespace {

nimo::UniqueFileHandle pipe;
nimo::UniqueHandle client;

// Read as the engine reads its switches.
std::string Switch(const char* name) { return nimo::SwitchValueIn(GetCommandLineA(), name, std::string()); }

void Send(std::uint16_t type, const std::vector<std::uint8_t>& payload) {
  const std::vector<std::uint8_t> f =
      nimo::BuildFrame(type, payload.data(), static_cast<std::uint32_t>(payload.size()));
  DWORD written = 0;
  const nimo::UniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED ov = {};
  ov.hEvent = done.get();
  if (!WriteFile(pipe.get(), f.data(), static_cast<DWORD>(f.size()), nullptr, &ov) &&
      GetLastError() != ERROR_IO_PENDING)
    return;
  GetOverlappedResult(pipe.get(), &ov, &written, TRUE);
}

void SendFrameOfColour(std::uint32_t surface, std::uint32_t w, std::uint32_t h, std::uint32_t argb) {
  LoadLibraryA("d3d11.dll");
  auto share = NimoStandinExport<NimoStandinShareTextureFn>("d3d11.dll", "NimoStandinShareTexture");
  if (share == nullptr || !client) return;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * h, argb);  // B,G,R,A in memory
  const nimo::UniqueHandle mine(share(w, h, DXGI_FORMAT_B8G8R8A8_UNORM, pixels.data(), w * 4));
  HANDLE theirs = nullptr;  // a value in the client's process: the client's to close
  if (!mine ||
      !DuplicateHandle(GetCurrentProcess(), mine.get(), client.get(), &theirs, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return;
  nimo::FrameReadyPayload fr = {surface, w, h, 1, reinterpret_cast<std::uintptr_t>(theirs)};
  Send(nimo::kMsgFrameReady, nimo::BuildFrameReadyPayload(fr));
}

void Instruction(std::uint32_t surface, const std::string& text) {
  std::istringstream in(text);
  std::string verb;
  in >> verb;
  std::string rest;
  std::getline(in, rest);
  if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
  if (verb == "console") {
    Send(nimo::kMsgConsoleLine, nimo::BuildSurfaceTextPayload(surface, rest));
  } else if (verb == "page") {
    Send(nimo::kMsgPageMessage, nimo::BuildSurfaceTextPayload(surface, rest));
  } else if (verb == "load") {
    std::istringstream args(rest);
    std::uint32_t kind = 0;
    std::int32_t error = 0;
    std::string url;
    args >> kind >> error >> url;
    if (kind == 0) Send(nimo::kMsgLoadEvent, nimo::BuildLoadFinishedPayload(surface));
    else Send(nimo::kMsgLoadEvent, nimo::BuildLoadFailedPayload(surface, error, url));
  } else if (verb == "frame") {
    std::istringstream args(rest);
    std::uint32_t w = 0, h = 0;
    std::string colour;
    args >> w >> h >> colour;
    SendFrameOfColour(surface, w, h, static_cast<std::uint32_t>(std::strtoul(colour.c_str(), nullptr, 0)));
  } else if (verb == "cmdline") {
    Send(nimo::kMsgConsoleLine, nimo::BuildSurfaceTextPayload(surface, std::string(GetCommandLineA())));
  } else if (verb == "badframe") {
    const nimo::UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HANDLE theirs = nullptr;
    if (client &&
        DuplicateHandle(GetCurrentProcess(), event.get(), client.get(), &theirs, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
      nimo::FrameReadyPayload fr = {surface, 16, 16, 1, reinterpret_cast<std::uintptr_t>(theirs)};
      Send(nimo::kMsgFrameReady, nimo::BuildFrameReadyPayload(fr));
    }
  } else if (verb == "exit") {
    ExitProcess(static_cast<UINT>(std::strtoul(rest.c_str(), nullptr, 0)));
  } else if (verb == "hang") {
    for (;;) Sleep(1000);
  }
}

}  // namespace

int main() {
  const std::string name = Switch("--nimomp-pipe");
  const DWORD client_pid = static_cast<DWORD>(std::strtoul(Switch("--nimomp-clientpid").c_str(), nullptr, 10));
  client.reset(OpenProcess(PROCESS_DUP_HANDLE, FALSE, client_pid));
  for (int i = 0; i < 100 && !pipe; ++i) {
    pipe.reset(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr));
    if (!pipe) Sleep(50);
  }
  if (!pipe) return 12;
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);
  // --fake-hello-version=<n>: the Hello claims that version, whatever was asked for.
  const std::string claimed = Switch("--fake-hello-version");
  Send(nimo::kMsgHello,
       claimed.empty() ? nimo::BuildHelloPayload(GetCurrentProcessId())
                       : nimo::BuildHelloPayload(GetCurrentProcessId(),
                                                 static_cast<std::uint32_t>(std::strtoul(claimed.c_str(), nullptr, 10))));

  std::vector<std::uint8_t> buffer(nimo::kMaxFrameSize);
  const nimo::UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  for (;;) {
    OVERLAPPED ov = {};
    ov.hEvent = event.get();
    DWORD n = 0;
    BOOL ok = ReadFile(pipe.get(), buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &ov);
    if (ok || GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(pipe.get(), &ov, &n, TRUE);
    const DWORD err = ok ? 0 : GetLastError();
    nimo::ReadStatus status = ok ? nimo::ReadStatus::kComplete
                                 : err == ERROR_MORE_DATA ? nimo::ReadStatus::kTooLong : nimo::ReadStatus::kFailed;
    const nimo::ReceivedFrame frame = nimo::ValidateReceived(status, buffer.data(), n);
    switch (frame.outcome) {
      case nimo::ReceiveOutcome::kClosed: return 10;
      case nimo::ReceiveOutcome::kBadFrame: return 11;
      case nimo::ReceiveOutcome::kShutdown: return 0;
      case nimo::ReceiveOutcome::kOk: break;
    }
    const nimo::DecodedCommand c = nimo::DecodeCommand(frame);
    if (c.action == nimo::CommandAction::kSurface && c.type == nimo::kMsgExecuteScript)
      Instruction(c.head.surface_id, std::string(c.text, c.text_length));
    else if (c.action != nimo::CommandAction::kIgnore)  // echo every other command so tests see it arrived
      Send(nimo::kMsgConsoleLine, nimo::BuildSurfaceTextPayload(
                                      c.action == nimo::CommandAction::kInput ? c.input.surface_id : c.head.surface_id,
                                      "got " + std::to_string(c.type) + " " + std::string(c.text ? c.text : "", c.text_length)));
  }
}
