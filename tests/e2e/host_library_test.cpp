// The host library (client/nimo_host.h) as a program uses it, against the real executable,
// the stand-in engine and the stand-in GPU: one whole session driven through it, a host
// that reads slowly through a storm of resizes, and an engine that dies under it.
#include <windows.h>
#include <dxgi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/win_handle.h"
#include "client/nimo_host.h"
#include "testbed/gpu/standin_gpu.h"
#include "tests/support/chromium_guard.h"
#include "tests/support/fault_support.h"
#include "tests/support/host_sandbox.h"
#include "tests/support/journal.h"
#include "tests/support/process_harness.h"

namespace nimo {
namespace test {
namespace {

using Microsoft::WRL::ComPtr;
using nimo_test::Journal;
using nimo_test::JournalEntry;
using nimo_test::ScenarioWriter;
using Kind = host::Event::Kind;

// HostSandbox with what these cases ask of it.
class LibrarySandbox : public HostSandbox {
 public:
  explicit LibrarySandbox(const std::string& scenario) : HostSandbox(scenario) {}

  const std::string& root() const { return sandbox().root(); }
  // Shared textures the engine made so far, by its log.
  std::size_t TexturesMade() const {
    const std::string log = this->log();
    std::size_t n = 0;
    for (std::size_t at = log.find("surface texture ready"); at != std::string::npos;
         at = log.find("surface texture ready", at + 1))
      ++n;
    return n;
  }
  host::StartOptions Options() const {
    host::StartOptions o;
    o.engine_path = sandbox().exe_path();
    o.url = PaintingUrl(0);
    return o;
  }
  // Polls the journal until `until` holds; the last snapshot stays in *out.
  bool WaitJournal(const std::function<bool(const Journal&)>& until, DWORD timeout_ms, Journal* out) const {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
      *out = Load();
      if (until(*out)) return true;
      if (GetTickCount64() > deadline) return false;
      Sleep(30);
    }
  }
};

ComPtr<ID3D11Device1> StandinDevice() {
  ComPtr<ID3D11Device> device;
  ComPtr<ID3D11Device1> device1;
  if (SUCCEEDED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                  device.GetAddressOf(), nullptr, nullptr)))
    device.As(&device1);
  return device1;
}

// Polls events until one satisfies `match` (returned in *out); the others are kept.
bool PollUntil(host::Host& h, const std::function<bool(const host::Event&)>& match, DWORD timeout_ms,
               host::Event* out = nullptr, std::vector<host::Event>* seen = nullptr) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    host::Event e;
    // Painting pages keep events coming: the deadline holds inside the drain too.
    while (GetTickCount64() <= deadline && h.Poll(&e)) {
      const bool hit = match(e);
      if (seen != nullptr) seen->push_back(e);
      if (hit) {
        if (out != nullptr) *out = e;
        return true;
      }
    }
    if (GetTickCount64() > deadline) return false;
    Sleep(10);
  }
}

// Handles open in this process. Wine answers GetProcessHandleCount with 0; there the
// handle values up to a little past a fresh handle's are probed.
unsigned long CountOpenHandles() {
  DWORD reported = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &reported) && reported > 0) return reported;
  HANDLE fresh = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  const std::uintptr_t limit = reinterpret_cast<std::uintptr_t>(fresh) + 16384;
  CloseHandle(fresh);
  unsigned long n = 0;
  DWORD flags = 0;
  for (std::uintptr_t v = 4; v < limit; v += 4)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(v), &flags)) ++n;
  return n;
}

// The host's window messages as the engine received them (the stand-in journals every call).
TEST(HostLibrary, DrivesASessionFromStartToExit) {
  ScenarioWriter w;
  w.Line("quiet paint.deliver host.send_external_begin_frame");
  AddPaintingPages(&w);
  LibrarySandbox box(w.Text());
  ASSERT_TRUE(box.ok());
  ComPtr<ID3D11Device1> device = StandinDevice();
  ASSERT_TRUE(device) << "no stand-in device in the test process";

  host::Host h;
  host::StartOptions o = box.Options();
  o.device = device;
  host::StartError error;
  ASSERT_TRUE(h.Start(o, &error)) << error.Text();
  std::vector<host::Event> seen;
  ASSERT_TRUE(PollUntil(h, [](const host::Event& e) { return e.kind == Kind::kHello; }, 5000, nullptr, &seen));
  ASSERT_EQ(seen.front().kind, Kind::kStarted);
  EXPECT_EQ(seen.front().engine_pid, h.engine_pid());
  EXPECT_EQ(seen.back().report.engine_pid, h.engine_pid());
  EXPECT_EQ(seen.back().report.version, 2u);
  EXPECT_EQ(h.protocol_version(), 2u) << "version 2 unless asked for more";
  EXPECT_FALSE(h.SetFramePacing(0, host::FramePacing::kClientClock)) << "a version-3 command";
  EXPECT_FALSE(h.BeginFrame(0));

  // Create, navigate, and the texture of a frame at the surface's size.
  ASSERT_TRUE(h.CreateSurface(2, 320, 200, PaintingUrl(2)));
  const auto loaded = [](const host::Event& e) { return e.kind == Kind::kLoad && e.report.surface_id == 2; };
  ASSERT_TRUE(PollUntil(h, loaded, 10000));
  ASSERT_TRUE(h.Navigate(2, PaintingUrl(2) + "-again"));
  ASSERT_TRUE(PollUntil(h, loaded, 10000));
  host::Event frame;
  ASSERT_TRUE(PollUntil(h, [](const host::Event& e) { return e.kind == Kind::kFrame && e.report.surface_id == 2; },
                        10000, &frame));
  host::SurfaceTexture t;
  std::string why;
  ASSERT_TRUE(h.Texture(2, &t, &why)) << why;
  D3D11_TEXTURE2D_DESC desc = {};
  t.texture->GetDesc(&desc);
  EXPECT_EQ(desc.Width, 320u);
  EXPECT_EQ(desc.Height, 200u);
  EXPECT_EQ(t.width, 320u);
  EXPECT_FALSE(h.Texture(3, &t, &why)) << "surface 3 has no frame";
  ComPtr<ID3D11ShaderResourceView> view, again;
  ASSERT_TRUE(h.View(2, &view, &why)) << why;
  ASSERT_TRUE(h.View(2, &again, &why)) << why;
  EXPECT_EQ(view.Get(), again.Get()) << "one view per texture";
  ComPtr<ID3D11Resource> viewed;
  view->GetResource(viewed.GetAddressOf());
  EXPECT_EQ(viewed.Get(), static_cast<ID3D11Resource*>(t.texture.Get()));
  again.Reset();
  viewed.Reset();
  t = host::SurfaceTexture();

  // Window messages, the surface drawn at (10, 20) of the window.
  const host::SurfacePlacement at{10, 20};
  EXPECT_TRUE(h.ForwardInput(2, nullptr, WM_MOUSEMOVE, MK_SHIFT, MAKELPARAM(110, 220), at));
  EXPECT_TRUE(h.ForwardInput(2, nullptr, WM_LBUTTONDBLCLK, MK_LBUTTON | MK_CONTROL, MAKELPARAM(15, 5), at));
  EXPECT_TRUE(h.ForwardInput(2, nullptr, WM_LBUTTONUP, MK_CONTROL, MAKELPARAM(15, 5), at));
  EXPECT_TRUE(h.ForwardInput(2, nullptr, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)), MAKELPARAM(60, 70), at));
  EXPECT_TRUE(h.ForwardInput(2, nullptr, WM_KEYDOWN, 0x65, 0x404C0001, at));  // VK_NUMPAD5, held: a repeat
  EXPECT_TRUE(h.ForwardInput(2, nullptr, WM_CHAR, 0xE9, 0x00120001, at));
  EXPECT_TRUE(h.ForwardInput(2, nullptr, WM_MOUSELEAVE, 0, 0, at));
  EXPECT_FALSE(h.ForwardInput(2, nullptr, WM_PAINT, 0, 0, at)) << "not input";

  // Page events whose strings try every way out of a literal.
  const std::vector<host::ScriptValue> args = {
      "\"); window.hacked = 1; (\"", "back\\slash\\", "lines\n\r\xE2\x80\xA8\xE2\x80\xA9" "end",
      "</script><script>x()</script>", std::string("nul\0byte", 8), "bad \xC3\x28 \xED\xA0\x80 utf8",
      "\xF0\x9F\x98\x80 ok", 1.5, -0.0, NAN, true, nullptr,
      host::ScriptValue::Array({1, "two"}), host::ScriptValue::Object({{"k\"ey", 3}, {"\\", false}})};
  ASSERT_TRUE(h.Emit(2, "ev'\"\n", args));
  const std::string expected_script = client::EmitScript("ev'\"\n", args);

  Journal j;
  const auto mouse_and_keys_arrived = [&](const Journal& journal) {
    return journal.Count("host.send_mouse_move_event") >= 2 && journal.Count("host.send_key_event") >= 2 &&
           !journal.Events("frame.execute_java_script", "code", expected_script).empty();
  };
  ASSERT_TRUE(box.WaitJournal(mouse_and_keys_arrived, 10000, &j)) << "the input or the event never arrived";
  // Lock keys depend on the machine; everything else is what the messages said.
  const auto mods = [](const JournalEntry& e) { return e.Int("modifiers") & ~0x101LL; };
  const std::vector<JournalEntry> moves = j.Events("host.send_mouse_move_event");
  EXPECT_EQ(moves[0].Int("x"), 100);
  EXPECT_EQ(moves[0].Int("y"), 200);
  EXPECT_EQ(mods(moves[0]), 0x2) << "shift";
  EXPECT_EQ(moves[0].Int("mouse_leave"), 0);
  EXPECT_EQ(moves[1].Int("mouse_leave"), 1);
  const std::vector<JournalEntry> clicks = j.Events("host.send_mouse_click_event");
  ASSERT_EQ(clicks.size(), 2u) << "the double click is a press, its release a release";
  EXPECT_EQ(clicks[0].Int("x"), 5);
  EXPECT_EQ(clicks[0].Int("y"), -15);
  EXPECT_EQ(clicks[0].Int("mouse_up"), 0);
  EXPECT_EQ(mods(clicks[0]), 0x10 | 0x4) << "left button and control";
  EXPECT_EQ(clicks[1].Int("mouse_up"), 1);
  EXPECT_EQ(mods(clicks[1]), 0x4);
  const std::vector<JournalEntry> wheels = j.Events("host.send_mouse_wheel_event");
  ASSERT_EQ(wheels.size(), 1u);
  EXPECT_EQ(wheels[0].Int("x"), 50);
  EXPECT_EQ(wheels[0].Int("y"), 50);
  EXPECT_EQ(wheels[0].Int("delta_y"), -240);
  const std::vector<JournalEntry> keys = j.Events("host.send_key_event");
  EXPECT_EQ(keys[0].Int("windows_key_code"), 0x65);
  EXPECT_EQ(mods(keys[0]), 0x2000 | 0x200) << "repeat, key pad";
  EXPECT_EQ(keys[1].Int("character"), 0xE9);

  const std::size_t handles_before_end = h.Handles().open;
  EXPECT_EQ(handles_before_end, 2u) << "surfaces 0 and 2 each hold their newest texture";
  const host::ExitReport end = h.Shutdown(15000);
  EXPECT_EQ(end.exit_code, 0);
  EXPECT_FALSE(end.hung);
  EXPECT_EQ(h.Handles().open, 0u) << "every handle is closed at shutdown";
  view.Reset();
  EXPECT_EQ(NimoStandinGpuStats().views_live, 0u);
  EXPECT_EQ(NimoStandinGpuStats().textures_live, 0u) << "the library keeps no texture after shutdown";
  EXPECT_FALSE(h.CreateSurface(1, 10, 10)) << "nothing is sent after the end";
  std::string refs;
  EXPECT_TRUE(box.Load().ReferencesClean(h.engine_pid(), &refs)) << refs;
}

// While the host's reader is slow, the engine's queue coalesces frames and, full of page
// traffic that cannot coalesce, drops them; every texture handle it duplicated into this
// process must still be announced, so the library can close it.
TEST(HostLibrary, SlowReaderThroughAThousandResizesKeepsOneHandlePerSurface) {
  ScenarioWriter w;
  w.Line("quiet paint.deliver host.send_external_begin_frame cb.get_view_rect host.was_resized cb.on_console_message");
  // Surface 3's second page logs a 256 KB line every 25 ms for five seconds.
  w.Page(PaintingUrl(3) + "-bulk", {"load_start", "load_end", "paint pattern=gradient animate=1",
                                    "console message=" + std::string(256 * 1024, 'x') +
                                        " repeat=200 batch=1 interval=25"});
  AddPaintingPages(&w);
  LibrarySandbox box(w.Text());
  ASSERT_TRUE(box.ok());
  ComPtr<ID3D11Device1> device = StandinDevice();
  ASSERT_TRUE(device);

  std::atomic<int> delay_ms{0};
  std::atomic<int> frames[4] = {{0}, {0}, {0}, {0}};
  std::atomic<int> new_textures{0};
  std::atomic<std::uint32_t> last_width1{0};
  host::Host h;
  host::StartOptions o = box.Options();
  o.device = device;
  o.open_on_arrival = true;
  o.pipe_buffer = 4096;  // a slow reader stalls the engine's writer soon
  o.on_event = [&](const host::Event& e) {
    if (const int d = delay_ms.load()) Sleep(static_cast<DWORD>(d));
    if (e.kind != Kind::kFrame || e.report.surface_id >= 4) return;
    ++frames[e.report.surface_id];
    if (e.new_texture) ++new_textures;
    if (e.report.surface_id == 1) last_width1 = e.report.width;
  };
  host::StartError error;
  ASSERT_TRUE(h.Start(o, &error)) << error.Text();
  ASSERT_TRUE(h.Resize(0, 160, 90));
  for (std::uint32_t id = 1; id < 4; ++id) ASSERT_TRUE(h.CreateSurface(id, 160, 90, PaintingUrl(id)));
  const ULONGLONG warm = GetTickCount64() + 15000;
  while ((frames[0] < 5 || frames[1] < 5 || frames[2] < 5 || frames[3] < 5) && GetTickCount64() < warm) Sleep(20);
  ASSERT_EQ(h.Handles().open, 4u) << "every surface painting";
  const unsigned long handles_before = CountOpenHandles();
  const std::uint64_t textures_before = NimoStandinGpuStats().textures_live;

  const std::size_t made_before = box.TexturesMade();
  delay_ms = 15;
  ASSERT_TRUE(h.Navigate(3, PaintingUrl(3) + "-bulk"));
  const int textures_at_start = new_textures;
  constexpr std::uint32_t kFinalWidth = 333, kFinalHeight = 222;
  for (int i = 0; i < 1000; ++i) {
    const bool last = i == 999;
    ASSERT_TRUE(h.Resize(1, last ? kFinalWidth : 64 + (i * 37) % 400, last ? kFinalHeight : 48 + (i * 53) % 300));
    if (i % 2 == 1) Sleep(2);  // spread over a second or more, so the engine paints many sizes
  }
  ASSERT_TRUE(h.Flush(20000));
  delay_ms = 0;
  // Settled: the final size has arrived and no texture changed for a while.
  const ULONGLONG deadline = GetTickCount64() + 30000;
  int seen_textures = -1;
  ULONGLONG quiet_since = GetTickCount64();
  while (GetTickCount64() < deadline) {
    if (new_textures != seen_textures) {
      seen_textures = new_textures;
      quiet_since = GetTickCount64();
    }
    if (last_width1 == kFinalWidth && GetTickCount64() - quiet_since > 1000) break;
    Sleep(50);
  }
  ASSERT_EQ(last_width1.load(), kFinalWidth) << "the final size never arrived";

  const host::HandleCounts counts = h.Handles();
  const std::size_t made = box.TexturesMade() - made_before;
  const unsigned long handles_after = CountOpenHandles();
  const NimoGpuStats gpu = NimoStandinGpuStats();
  std::printf("  during the storm the engine made %zu textures and announced %d; handles in this process "
              "before %lu, after %lu; textures open %llu\n",
              made, new_textures.load() - textures_at_start, handles_before, handles_after,
              static_cast<unsigned long long>(gpu.textures_live));
  EXPECT_GE(made, 20u) << "the storm re-created too few textures to prove anything";
  EXPECT_EQ(static_cast<std::size_t>(new_textures - textures_at_start), made) << "every new texture announced";
  EXPECT_EQ(counts.open, 4u);
  EXPECT_EQ(counts.open_failures, 0u);
  EXPECT_EQ(gpu.textures_live, textures_before) << "one open texture per surface";
  EXPECT_LE(handles_after, handles_before + 8) << "handles the host was never told of stayed open";

  const host::ExitReport end = h.Shutdown(15000);
  EXPECT_EQ(end.exit_code, 0);
  EXPECT_EQ(NimoStandinGpuStats().textures_live, textures_before - 4);
  EXPECT_LE(CountOpenHandles(), handles_before);
}

// Failures say which step failed; a failed start or a dead engine still shuts down.
TEST(HostLibrary, EngineThatCannotStartOrIsKilledIsReportedAndShutdownStillWorks) {
  {
    host::Host h;
    host::StartOptions o;
    o.engine_path = TestBinDirectory() + "\\no-such-engine.exe";
    host::StartError error;
    EXPECT_FALSE(h.Start(o, &error));
    EXPECT_EQ(error.step, "CreateProcess");
    EXPECT_EQ(error.code, static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << error.Text();
    EXPECT_NE(error.Text().find(o.engine_path), std::string::npos) << error.Text();
    EXPECT_EQ(h.Shutdown(1000).exit_code, -1);
  }
  for (const bool logging : {true, false}) {
    SandboxLayout no_engine_library;  // the executable alone exits 1 before it connects
    no_engine_library.debug_flag = logging;
    Sandbox bare(no_engine_library);
    ASSERT_TRUE(bare.ok());
    // A log of an earlier run is not this start's.
    ASSERT_TRUE(bare.WriteFile("webengine.log", "an earlier run\n"));
    host::Host h;
    host::StartOptions o;
    o.engine_path = bare.exe_path();
    host::StartError error;
    EXPECT_FALSE(h.Start(o, &error));
    EXPECT_EQ(error.step, "connect: engine exited before connecting") << error.Text();
    // The person reading it learns the exit code, what it means, and what the engine logged
    // (where it looked for its library), or how to make it log.
    EXPECT_EQ(error.exit_code, 1);
    const std::string text = error.Text();
    EXPECT_NE(text.find("the engine ended with exit code 1: the engine library dezor2.dll did not load"),
              std::string::npos)
        << text;
    if (logging) {
      EXPECT_EQ(error.engine_log, bare.Path("webengine.log"));
      EXPECT_NE(text.find("\n  [nimo-webengine] engine library dezor2.dll not loaded: " + bare.Path("dezor2.dll") +
                          " (no such file)"),
                std::string::npos)
          << text;
      EXPECT_EQ(text.find("an earlier run"), std::string::npos) << text;
    } else {
      EXPECT_NE(text.find("create the empty file " + bare.Path("ZUNT_DEBUG")), std::string::npos) << text;
    }
    const host::ExitReport end = h.Shutdown(5000);
    EXPECT_EQ(end.exit_code, 1);
    EXPECT_FALSE(end.hung);
  }

  // The engine answers with the version asked for or a lower one it speaks; any other
  // claim is refused before a command is written.
  const struct {
    std::uint32_t asked, claimed;
    bool accepted;
  } hellos[] = {{2, 1, false}, {2, 2, true}, {2, 3, false}, {3, 2, true}, {3, 3, true}, {3, 4, false}};
  for (const auto& hello : hellos) {
    SCOPED_TRACE(testing::Message() << "asked " << hello.asked << ", claimed " << hello.claimed);
    host::Host h;
    host::StartOptions o;
    o.engine_path = TestBinDirectory() + "\\nimo_fake_engine.exe";
    o.protocol_version = hello.asked;
    o.extra_switches = {"--fake-hello-version=" + std::to_string(hello.claimed)};
    host::StartError error;
    EXPECT_EQ(h.Start(o, &error), hello.accepted) << error.Text();
    if (hello.accepted) {
      EXPECT_EQ(h.protocol_version(), hello.claimed);
    } else {
      EXPECT_EQ(error.step, "Hello") << error.Text();
    }
    h.Shutdown(5000);
  }

  ScenarioWriter w;
  AddPaintingPages(&w);
  LibrarySandbox box(w.Text());
  ASSERT_TRUE(box.ok());
  host::Host h;
  host::StartError error;
  host::StartOptions asks_for_3 = box.Options();
  asks_for_3.protocol_version = 3;
  ASSERT_TRUE(h.Start(asks_for_3, &error)) << error.Text();
  EXPECT_EQ(h.protocol_version(), 3u) << "as the engine's Hello says";
  ASSERT_TRUE(h.CreateSurface(1, 200, 100, PaintingUrl(1)));
  ASSERT_TRUE(h.CreateSurface(2, 200, 100, PaintingUrl(2)));
  for (std::uint32_t surface : {1u, 2u}) {
    ASSERT_TRUE(PollUntil(h, [surface](const host::Event& e) {
      return e.kind == Kind::kFrame && e.report.surface_id == surface;
    }, 10000));
  }

  // Protocol 3: each surface of a window hears that the pointer left it. Surface 1 is drawn
  // at (0, 0) and surface 2 at (200, 0) of one window, both 200 x 100.
  // Without a display the test machine makes no window of its own; the desktop's is a window.
  HWND window = GetDesktopWindow();
  ASSERT_NE(window, nullptr);
  const host::SurfacePlacement left{0, 0}, right{200, 0};
  EXPECT_TRUE(h.ForwardInput(1, window, WM_MOUSEMOVE, 0, MAKELPARAM(50, 50), left));
  EXPECT_TRUE(h.ForwardInput(2, window, WM_MOUSEMOVE, 0, MAKELPARAM(250, 50), right));  // 1 is left
  EXPECT_TRUE(h.ForwardInput(2, window, WM_MOUSEMOVE, 0, MAKELPARAM(250, 150), right));  // below 2: left
  EXPECT_TRUE(h.ForwardInput(2, window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(250, 160), right));  // pressed: 2's
  EXPECT_TRUE(h.ForwardInput(1, window, WM_MOUSELEAVE, 0, 0, left));  // out of the window: 2 is left
  Journal moved;
  ASSERT_TRUE(box.WaitJournal([](const Journal& j) { return j.Count("host.send_mouse_move_event") >= 6; }, 10000,
                              &moved));
  const std::map<long long, std::uint32_t> surface_of = PaintingSurfaces(moved);
  std::string seen_moves;
  for (const JournalEntry& e : moved.Events("host.send_mouse_move_event")) {
    const auto s = surface_of.find(e.Int("browser"));
    seen_moves += std::to_string(s == surface_of.end() ? 9 : s->second) +
                  (e.Int("mouse_leave") ? "L " : "@" + std::to_string(e.Int("x")) + "," + std::to_string(e.Int("y")) + " ");
  }
  EXPECT_EQ(seen_moves, "1@50,50 1L 2@50,50 2L 2@50,160 2L ");

  // Protocol 3: the program drives surface 1's frames from its own loop.
  long long browser1 = -1;
  for (const auto& entry : surface_of) {
    if (entry.second == 1) browser1 = entry.first;
  }
  ASSERT_GE(browser1, 0);
  const std::string b1 = std::to_string(browser1);
  auto begin_frames = [&b1](const Journal& j) { return j.Events("host.send_external_begin_frame", "browser", b1).size(); };
  // A resize after a command shows its UI task has run (the engine's tasks keep their order).
  auto resized_to = [&](std::uint32_t width, Journal* out) {
    return h.Resize(1, width, 100) && box.WaitJournal([&](const Journal& j) {
      for (const JournalEntry& e : j.Events("cb.get_view_rect", "browser", b1)) {
        if (e.Get("why") == "was_resized" && e.Int("width") == width) return true;
      }
      return false;
    }, 10000, out);
  };
  EXPECT_FALSE(h.SetFramePacing(1, host::FramePacing::kEngineClock, 241)) << "no engine clock that fast";
  ASSERT_TRUE(h.SetFramePacing(1, host::FramePacing::kClientClock, 0, false));
  Journal paced;
  ASSERT_TRUE(resized_to(201, &paced));
  const std::size_t before = begin_frames(paced);
  for (std::size_t i = 1; i <= 3; ++i) {
    ASSERT_TRUE(h.BeginFrame(1));
    ASSERT_TRUE(box.WaitJournal([&](const Journal& j) { return begin_frames(j) >= before + i; }, 10000, &paced));
  }
  Sleep(200);
  ASSERT_TRUE(resized_to(202, &paced));
  EXPECT_EQ(begin_frames(paced), before + 3) << "one begin frame per call, none of the engine's own";

  ASSERT_TRUE(TerminateProcess(h.engine_process(), 77));
  host::Event ended;
  ASSERT_TRUE(PollUntil(h, [](const host::Event& e) { return e.kind == Kind::kEngineEnded; }, 10000, &ended));
  EXPECT_EQ(ended.exit_code, 77);
  EXPECT_FALSE(ended.expected);
  EXPECT_FALSE(PollUntil(h, [](const host::Event& e) { return e.kind == Kind::kEngineEnded; }, 500))
      << "reported once";
  EXPECT_FALSE(h.running());
  EXPECT_FALSE(h.Navigate(1, "about:blank")) << "a command to a dead engine is refused at once";

  const host::ExitReport end = h.Shutdown(5000);
  EXPECT_EQ(end.exit_code, 77);
  EXPECT_FALSE(end.hung);
  EXPECT_EQ(h.Handles().open, 0u);
  EXPECT_EQ(h.Shutdown().exit_code, 77) << "a second Shutdown tells the same";
}

// The engine killed while its pages run in headless Chromium (the stand-in's Chromium
// mode): the stand-in's watcher, which knows the engine by the pipe the library names on its
// command line, ends Chromium without the test's help.
TEST(HostLibrary, AKilledEngineTakesItsHeadlessChromiumAlong) {
  LibrarySandbox box("chromium\nquiet paint. host.send_external_begin_frame\n");
  ASSERT_TRUE(box.ok());
  host::Host h;
  host::StartOptions o = box.Options();
  o.url = "about:blank";
  host::StartError error;
  ASSERT_TRUE(h.Start(o, &error)) << error.Text();
  Journal started;
  const bool up = box.WaitJournal([](const Journal& j) { return j.First("chromium.started") != nullptr; }, 60000,
                                  &started);
  ASSERT_TRUE(up) << "Chromium did not start";
  const JournalEntry* chromium = started.First("chromium.started");
  EXPECT_GT(chromium->Int("engine_host_pid", 0), 0) << "the stand-in did not find its engine's host process";
  std::string folder = "Z:" + chromium->Get("folder");
  std::replace(folder.begin(), folder.end(), '/', '\\');

  ASSERT_TRUE(TerminateProcess(h.engine_process(), 77));
  EXPECT_TRUE(PollUntil(h, [](const host::Event& e) { return e.kind == Kind::kEngineEnded; }, 10000));
  // The watcher looks every 0.2 s, gives Chromium 5 s to end and then removes its folder.
  const ULONGLONG deadline = GetTickCount64() + 30000;
  while (GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES && GetTickCount64() < deadline) Sleep(100);
  EXPECT_EQ(0, nimo_test::EndChromiumOf(box.Load())) << "Chromium outlived the killed engine";
  h.Shutdown(5000);
}

// A game installed under a folder with spaces and letters of any script, and a page URL
// that holds quotes and what looks like engine switches: the engine gets every folder
// whole, its own switches untouched, and the page its URL unchanged.
TEST(HostLibrary, FoldersWithSpacesAndAnyScriptAndAHostileUrlReachTheEngineWhole) {
  ScenarioWriter w;
  w.Line("quiet paint.deliver host.send_external_begin_frame");
  AddPaintingPages(&w);
  LibrarySandbox box(w.Text());
  ASSERT_TRUE(box.ok());
  const auto wide = [](const std::string& utf8) {
    std::wstring out(utf8.size(), L'\0');
    out.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], static_cast<int>(out.size()))));
    return out;
  };
  // "My Game Über Größe 名前" in UTF-8.
  std::string game = box.root() + "\\My Game \xC3\x9C" "ber Gr\xC3\xB6\xC3\x9F" "e \xE5\x90\x8D\xE5\x89\x8D";
  if (!CreateDirectoryW(wide(game).c_str(), nullptr)) {
    // Wine keeps Windows names as Linux names in the host's locale: under one that is not
    // UTF-8 (LANG=C) such a folder cannot exist. The spaces and the URL are still proved.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    ASSERT_TRUE(ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr)
        << "cannot make the folder: " << GetLastError();
    std::printf("  this Wine cannot name a folder in other scripts (run under a UTF-8 locale); spaces only\n");
    game = box.root() + "\\My Game With Spaces";
    ASSERT_TRUE(CreateDirectoryW(wide(game).c_str(), nullptr));
  }
  ASSERT_TRUE(CreateDirectoryW(wide(game + "\\res").c_str(), nullptr));
  const std::string hostile_url =
      PaintingUrl(0) + "?q=\"quoted \\\"twice\\\"\" --nimomp-cache=C:\\evil\\\" --nimomp-pipe=\\\\.\\pipe\\other";

  host::Host h;
  host::StartOptions o = box.Options();
  o.url = hostile_url;
  o.cache_dir = game + "\\cache\\";  // a trailing backslash, as folder pickers give them
  o.resources_dir = game + "\\res";
  host::StartError error;
  ASSERT_TRUE(h.Start(o, &error)) << error.Text();
  Journal j;
  ASSERT_TRUE(box.WaitJournal(
      [&](const Journal& journal) { return !journal.Events("frame.load_url", "url", hostile_url).empty(); }, 10000, &j))
      << "the page never got its URL";
  const JournalEntry* init = j.First("initialize");
  ASSERT_NE(init, nullptr);
  EXPECT_EQ(init->Get("cache_path"), game + "\\cache") << "no switch inside the URL took effect";
  EXPECT_EQ(init->Get("resources_dir_path"), game + "\\res");
  const JournalEntry* first = j.First("create_browser");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Get("url"), "about:blank") << "surface 0 starts blank and is sent its page";

  host::StartError refused;
  host::Host quoted_folder;
  o.url = PaintingUrl(0);
  o.cache_dir = game + "\\\"cache\"";
  EXPECT_FALSE(quoted_folder.Start(o, &refused));
  EXPECT_EQ(refused.step, "options");
  EXPECT_NE(refused.Text().find("cache_dir"), std::string::npos) << refused.Text();
  EXPECT_EQ(quoted_folder.engine_pid(), 0u) << "nothing was started";
  EXPECT_EQ(h.Shutdown(15000).exit_code, 0);
}

// A program that stops polling (a loading screen) while a page logs heavily: the list
// fills to its bound and no further, every line past it is counted, and the program is
// told how many it lost. The bound is in events and bytes, not time, so a storm of 600
// lines (the engine cuts each to 600 bytes), five times the bound, proves what a longer
// one would. The storm is paced so the engine's own queue never fills.
TEST(HostLibrary, ProgramThatStopsPollingUnderAConsoleStormStaysUnderTheBound) {
  constexpr int kLines = 600;
  constexpr std::size_t kLineBytes = 600;
  constexpr std::size_t kMaxBytes = 64 * 1024;
  ScenarioWriter w;
  w.Line("quiet paint.deliver host.send_external_begin_frame cb.on_console_message");
  w.Page(PaintingUrl(1) + "-storm", {"load_start", "load_end", "paint pattern=gradient animate=1",
                                     "console message=" + std::string(kLineBytes, 's') + " repeat=" +
                                         std::to_string(kLines) + " batch=20 interval=20"});
  AddPaintingPages(&w);
  LibrarySandbox box(w.Text());
  ASSERT_TRUE(box.ok());
  host::Host h;
  host::StartOptions o = box.Options();
  o.max_event_bytes = kMaxBytes;
  host::StartError error;
  ASSERT_TRUE(h.Start(o, &error)) << error.Text();
  ASSERT_TRUE(h.CreateSurface(1, 160, 90, PaintingUrl(1) + "-storm"));
  Sleep(3000);  // not polling

  std::size_t console_seen = 0, bytes_before_drop = 0;  // line text listed before the first loss
  std::uint64_t dropped = 0, dropped_bytes = 0, drop_reports = 0;
  bool first_drop_seen = false;
  const ULONGLONG deadline = GetTickCount64() + 15000;
  while (console_seen + dropped < static_cast<std::size_t>(kLines) && GetTickCount64() < deadline) {
    host::Event e;
    if (!h.Poll(&e)) {
      Sleep(10);
      continue;
    }
    if (e.kind == Kind::kConsole && e.report.surface_id == 1) {
      ++console_seen;
      if (!first_drop_seen) bytes_before_drop += e.report.text.size();
    }
    if (e.kind == Kind::kDropped) {
      first_drop_seen = true;
      ++drop_reports;
      dropped += e.dropped_events;
      dropped_bytes += e.dropped_bytes;
    }
  }
  std::printf("  %zu lines kept, %llu dropped in %llu reports; %zu bytes listed when the bound was reached\n",
              console_seen, static_cast<unsigned long long>(dropped), static_cast<unsigned long long>(drop_reports),
              bytes_before_drop);
  ASSERT_TRUE(first_drop_seen) << "the storm never reached the bound";
  EXPECT_LE(bytes_before_drop, kMaxBytes) << "the list grew past its bound";
  EXPECT_GT(bytes_before_drop, kMaxBytes / 2) << "the list dropped long before it was full";
  EXPECT_EQ(console_seen + dropped, static_cast<std::size_t>(kLines)) << "every line is either kept or counted";
  EXPECT_GE(dropped_bytes, dropped * kLineBytes);
  host::Event frame;
  EXPECT_TRUE(PollUntil(h, [](const host::Event& e) { return e.kind == Kind::kFrame && e.report.surface_id == 1; },
                        5000, &frame))
      << "frames wait in their own slots and still come";
  EXPECT_EQ(h.Shutdown(15000).exit_code, 0);
}

// A lost device: the program makes a new one and hands it over; the textures are opened
// again from the handles the library holds, the engine and its pages untouched. The
// program's device sits on the second of two adapters (the engine's own choice would be
// the first, with more memory): the engine makes its device on the program's adapter.
TEST(HostLibrary, EngineFollowsTheProgramsAdapterAndSetDeviceRecoversFromDeviceLoss) {
  ScenarioWriter w;
  w.Line("quiet paint.deliver host.send_external_begin_frame");
  AddPaintingPages(&w);
  LibrarySandbox box(w.Text());
  ASSERT_TRUE(box.ok());
  const std::string gpu_log = TestBinDirectory() + "\\host-library-gpu.log";
  DeleteFileA(gpu_log.c_str());
  SetEnvironmentVariableA("NIMO_STANDIN_GPU_ADAPTERS", "Roomy:8192,Program's:1024");
  SetEnvironmentVariableA("NIMO_STANDIN_GPU_LOG", gpu_log.c_str());
  struct RestoreEnvironment {
    ~RestoreEnvironment() {
      SetEnvironmentVariableA("NIMO_STANDIN_GPU_ADAPTERS", nullptr);
      SetEnvironmentVariableA("NIMO_STANDIN_GPU_LOG", nullptr);
      SetEnvironmentVariableA("NIMO_STANDIN_GPU_FAIL", nullptr);
    }
  } restore;
  const auto device_on_second_adapter = [] {
    ComPtr<IDXGIFactory1> factory;
    ComPtr<IDXGIAdapter1> adapter;
    ComPtr<ID3D11Device> device;
    ComPtr<ID3D11Device1> device1;
    if (SUCCEEDED(CreateDXGIFactory1(__uuidof(IDXGIFactory1), reinterpret_cast<void**>(factory.GetAddressOf()))) &&
        SUCCEEDED(factory->EnumAdapters1(1, adapter.GetAddressOf())) &&
        SUCCEEDED(D3D11CreateDevice(adapter.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                    device.GetAddressOf(), nullptr, nullptr)))
      device.As(&device1);
    return device1;
  };
  ComPtr<ID3D11Device1> first = device_on_second_adapter();
  ASSERT_TRUE(first);

  std::atomic<int> failures{0};
  std::mutex failure_lock;
  std::string failure_text;
  host::Host h;
  host::StartOptions o = box.Options();
  o.device = first;
  host::StartError error;
  ASSERT_TRUE(h.Start(o, &error)) << error.Text();
  ASSERT_TRUE(h.CreateSurface(1, 200, 100, PaintingUrl(1)));
  const auto frame_of = [&](std::uint32_t width) {
    return PollUntil(
        h,
        [&](const host::Event& e) {
          if (e.kind == Kind::kTextureFailed) {
            ++failures;
            std::lock_guard<std::mutex> hold(failure_lock);
            failure_text = e.error;
          }
          return e.kind == Kind::kFrame && e.report.surface_id == 1 && e.report.width == width;
        },
        10000);
  };
  ASSERT_TRUE(frame_of(200));
  host::SurfaceTexture t;
  std::string why;
  ASSERT_TRUE(h.Texture(1, &t, &why)) << why;
  ASSERT_TRUE(t.view);
  EXPECT_EQ(t.width, 200u);
  EXPECT_EQ(t.height, 100u);
  EXPECT_EQ(t.format, nimo::kFrameFormatBgra);

  // The engine's device is on the program's adapter, by its LUID.
  const auto engine_device_line = [&] {
    std::string log;
    if (FILE* f = std::fopen(gpu_log.c_str(), "rb")) {
      char buf[4096];
      std::size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) log.append(buf, n);
      std::fclose(f);
    }
    const std::string tag = "gpu pid=" + std::to_string(h.engine_pid()) + " D3D11CreateDevice";
    const std::size_t at = log.find(tag);
    return at == std::string::npos ? std::string() : log.substr(at, log.find('\n', at) - at);
  };
  const std::string created = engine_device_line();
  EXPECT_NE(created.find("adapter=1 (Program's) luid=0000000000005101"), std::string::npos) << created;

  // The device is lost: new textures no longer open, reported once however many frames come.
  const auto remove = NimoStandinExport<NimoStandinRemoveDeviceFn>("d3d11.dll", "NimoStandinRemoveDevice");
  ASSERT_TRUE(remove != nullptr);
  ComPtr<ID3D11Device> first_plain;
  first.As(&first_plain);
  ASSERT_TRUE(remove(first_plain.Get()));
  EXPECT_EQ(first->GetDeviceRemovedReason(), DXGI_ERROR_DEVICE_REMOVED);
  const std::uint32_t failures_before = h.Handles().open_failures;
  ASSERT_TRUE(h.Resize(1, 240, 120));
  ASSERT_TRUE(frame_of(240));
  EXPECT_FALSE(h.Texture(1, &t, &why));
  EXPECT_NE(why.find("lost"), std::string::npos) << why;
  ASSERT_TRUE(h.Resize(1, 260, 130));
  ASSERT_TRUE(frame_of(260));
  EXPECT_FALSE(h.Texture(1, &t, &why)) << "tried again on the next frame, still lost";
  ASSERT_TRUE(h.Resize(1, 280, 140));
  ASSERT_TRUE(frame_of(280));
  EXPECT_EQ(failures.load(), 1) << "a failure is reported once: " << failure_text;
  EXPECT_EQ(h.Handles().open_failures, failures_before + 1);

  // The program's new device: the newest texture opens on it, and later frames keep coming.
  ComPtr<ID3D11Device1> second = device_on_second_adapter();
  ASSERT_TRUE(second);
  ASSERT_TRUE(h.SetDevice(second));
  ASSERT_TRUE(h.Texture(1, &t, &why)) << why;
  ComPtr<ID3D11Device> owner;
  t.texture->GetDevice(owner.GetAddressOf());
  ComPtr<ID3D11Device> second_plain;
  second.As(&second_plain);
  EXPECT_EQ(owner.Get(), second_plain.Get()) << "opened on the new device";
  EXPECT_EQ(t.width, 280u);
  ASSERT_TRUE(h.Resize(1, 300, 150));
  ASSERT_TRUE(frame_of(300));
  ASSERT_TRUE(h.Texture(1, &t, &why)) << why;
  EXPECT_EQ(t.width, 300u);
  EXPECT_TRUE(h.running());
  EXPECT_EQ(engine_device_line(), created) << "the engine never made a second device";
  t = host::SurfaceTexture();
  owner.Reset();
  EXPECT_EQ(h.Shutdown(15000).exit_code, 0);
}

// The pipe admits the engine it started and no one else; the program's callback cannot
// take the reader down, by an exception or by ending the Host from inside; numbers keep
// their text under a locale with a decimal comma.
TEST(HostLibrary, PipeRefusesAnIntruderAndTheCallbackIsGuarded) {
  ScenarioWriter w;
  w.Line("quiet paint.deliver host.send_external_begin_frame");
  AddPaintingPages(&w);
  LibrarySandbox box(w.Text());
  ASSERT_TRUE(box.ok());

  host::Host h;
  UniqueFileHandle intruder;
  std::mutex lock;
  std::vector<host::Event> seen;
  std::string shutdown_inside;
  bool disconnect_inside = true;
  host::StartOptions o = box.Options();
  o.on_event = [&](const host::Event& e) {
    if (e.kind == Kind::kStarted) {
      // Another process of this user opens the pipe before the engine can.
      const std::wstring name(e.pipe_name.begin(), e.pipe_name.end());
      intruder.reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    {
      std::lock_guard<std::mutex> hold(lock);
      seen.push_back(e);
    }
    if (e.kind == Kind::kHello) throw std::runtime_error("the program's bug");
    if (e.kind == Kind::kLoad && e.report.surface_id == 1 && shutdown_inside.empty()) {
      shutdown_inside = h.Shutdown(1000).refused;
      disconnect_inside = h.Disconnect();
    }
  };
  host::StartError error;
  ASSERT_TRUE(h.Start(o, &error)) << error.Text();
  ASSERT_TRUE(intruder) << "the intruder should have reached the pipe first";
  char byte = 0;
  DWORD n = 0;
  EXPECT_FALSE(WriteFile(intruder.get(), &byte, 1, &n, nullptr)) << "the intruder was disconnected";

  const auto wait_for = [&](const std::function<bool(const host::Event&)>& match) {
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (GetTickCount64() < deadline) {
      {
        std::lock_guard<std::mutex> hold(lock);
        for (const host::Event& e : seen)
          if (match(e)) return true;
      }
      Sleep(20);
    }
    return false;
  };
  ASSERT_TRUE(wait_for([](const host::Event& e) { return e.kind == Kind::kCallbackFailed; }));
  {
    std::lock_guard<std::mutex> hold(lock);
    const auto failed = std::find_if(seen.begin(), seen.end(),
                                     [](const host::Event& e) { return e.kind == Kind::kCallbackFailed; });
    EXPECT_EQ(failed->error, "the program's bug");
    EXPECT_EQ((failed - 1)->kind, Kind::kHello) << "reported right after the event that threw";
  }

  // Shutdown and Disconnect from the callback are refused, not a thread joining itself.
  ASSERT_TRUE(h.CreateSurface(1, 200, 100, PaintingUrl(1)));
  ASSERT_TRUE(wait_for([](const host::Event& e) { return e.kind == Kind::kLoad && e.report.surface_id == 1; }));
  EXPECT_NE(shutdown_inside.find("on_event"), std::string::npos) << shutdown_inside;
  EXPECT_FALSE(disconnect_inside);
  EXPECT_TRUE(h.running());

  // 1.5 stays one number under a decimal-comma locale.
  const char* saved = std::setlocale(LC_ALL, nullptr);
  const std::string restore_locale = saved != nullptr ? saved : "C";
  const bool comma = std::setlocale(LC_ALL, "German") != nullptr || std::setlocale(LC_ALL, "de-DE") != nullptr;
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  const bool comma_active = comma && std::string(probe) == "1,5";
  ASSERT_TRUE(h.Emit(1, "price", {1.5, "x"}));
  std::setlocale(LC_ALL, restore_locale.c_str());
  EXPECT_TRUE(comma_active) << "no decimal-comma locale: " << probe;
  Journal j;
  EXPECT_TRUE(box.WaitJournal(
      [](const Journal& journal) {
        return !journal.Events("frame.execute_java_script", "code",
                               "window.__mpEmit&&window.__mpEmit(\"price\",[1.5,\"x\"]);")
                    .empty();
      },
      10000, &j));

  // Disconnect from the owner's thread: the end is reported, as expected.
  EXPECT_TRUE(h.Disconnect());
  ASSERT_TRUE(wait_for([](const host::Event& e) { return e.kind == Kind::kEngineEnded; }));
  {
    std::lock_guard<std::mutex> hold(lock);
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](const host::Event& e) { return e.kind == Kind::kEngineEnded; }),
              1);
    const auto ended = std::find_if(seen.begin(), seen.end(),
                                    [](const host::Event& e) { return e.kind == Kind::kEngineEnded; });
    EXPECT_TRUE(ended->expected);
  }
  const host::ExitReport end = h.Shutdown(15000);
  EXPECT_TRUE(end.refused.empty());
  EXPECT_FALSE(end.hung);
}

}  // namespace
}  // namespace test
}  // namespace nimo
