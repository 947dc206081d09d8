// The frame ring (protocol 3, StartOptions::frame_ring) through the host library, the real
// executable, the stand-in engine and the stand-in GPU with its timeline: the GPU carries
// out each device's copies a few milliseconds after they were submitted, as a real one
// does, so a client that reads without waiting can see an old or half-written picture.
// Every page paints a gradient whose red channel is its frame's number.
#include <windows.h>
#include <d3d11_1.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "client/nimo_host.h"
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

constexpr char kGpuDelayMicros[] = "4000";
constexpr std::uint32_t kGpuSurface = 1;  // shared textures
constexpr std::uint32_t kCpuSurface = 2;  // the CPU path (the painting session's rule)
constexpr int kFramesPerPath = 200;

class RingSandbox : public HostSandbox {
 public:
  explicit RingSandbox(const std::string& scenario) : HostSandbox(scenario) {}
  ~RingSandbox() override { SetEnvironmentVariableA("NIMO_STANDIN_GPU_DELAY_US", nullptr); }

  // Starts the engine on the GPU's timeline; this process's own device (made before)
  // keeps working at once, so whatever it reads early shows.
  bool Start(host::Host* h, std::uint32_t protocol, std::uint32_t ring, const ComPtr<ID3D11Device1>& device,
             host::StartError* error) {
    host::StartOptions o;
    o.engine_path = sandbox().exe_path();
    o.url = PaintingUrl(0);
    o.device = device;
    o.protocol_version = protocol;
    o.frame_ring = ring;
    SetEnvironmentVariableA("NIMO_STANDIN_GPU_DELAY_US", kGpuDelayMicros);
    const bool started = h->Start(o, error);
    SetEnvironmentVariableA("NIMO_STANDIN_GPU_DELAY_US", nullptr);
    return started && h->CreateSurface(kGpuSurface, 160, 90, PaintingUrl(kGpuSurface)) &&
           h->CreateSurface(kCpuSurface, 160, 90, PaintingUrl(kCpuSurface));
  }
};

// `journal_paints`: the paints are journaled one by one, not only counted.
// `surface3_extra`: further actions of surface 3's page.
std::string PaintingScenario(bool journal_paints = false, const std::vector<std::string>& surface3_extra = {}) {
  ScenarioWriter w;
  w.Line(journal_paints ? "quiet host.send_external_begin_frame" : "quiet paint.deliver host.send_external_begin_frame");
  AddPaintingPages(&w, surface3_extra);
  return w.Text();
}

ComPtr<ID3D11Device1> ClientDevice(ComPtr<ID3D11DeviceContext>* context) {
  ComPtr<ID3D11Device> device;
  ComPtr<ID3D11Device1> device1;
  if (SUCCEEDED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                  device.GetAddressOf(), nullptr, context->GetAddressOf())))
    device.As(&device1);
  return device1;
}

// What the client sees of a texture: a staging copy on its own context, mapped. Ordered
// after whatever the context was asked to wait for before.
struct Picture {
  bool read = false;
  bool uniform = true;  // every pixel has the same red, i.e. one whole frame
  std::uint32_t red = 0;
};

Picture ReadPicture(ID3D11Device1* device, ID3D11DeviceContext* context, ID3D11Texture2D* texture) {
  Picture p;
  D3D11_TEXTURE2D_DESC d;
  texture->GetDesc(&d);
  d.Usage = D3D11_USAGE_STAGING;
  d.BindFlags = 0;
  d.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  d.MiscFlags = 0;
  ComPtr<ID3D11Texture2D> staging;
  if (FAILED(device->CreateTexture2D(&d, nullptr, &staging))) return p;
  context->CopyResource(staging.Get(), texture);
  D3D11_MAPPED_SUBRESOURCE m = {};
  if (FAILED(context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &m))) return p;
  p.read = true;
  const auto* rows = static_cast<const std::uint8_t*>(m.pData);
  p.red = rows[2];
  for (UINT y = 0; y < d.Height && p.uniform; ++y)
    for (UINT x = 0; x < d.Width; ++x)
      if (rows[static_cast<std::size_t>(y) * m.RowPitch + x * 4 + 2] != p.red) {
        p.uniform = false;
        break;
      }
  context->Unmap(staging.Get(), 0);
  return p;
}

// Polls until `done` says so or the time is up; `on_event` sees every event.
bool PollWhile(host::Host& h, const std::function<void(const host::Event&)>& on_event,
               const std::function<bool()>& done, DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  while (!done()) {
    if (GetTickCount64() > deadline) return false;
    host::Event e;
    bool any = false;
    while (h.Poll(&e)) {
      any = true;
      on_event(e);
      if (done()) return true;
    }
    if (!any) Sleep(2);
  }
  return true;
}

struct PathTally {
  int reads = 0;
  int stale = 0;  // the picture is not the frame announced
  int mixed = 0;  // the picture is not one whole frame
  std::uint64_t last_number = 0;
  bool numbers_grow = true;
  int offset = -1;  // red = (frame number + offset) & 255, learnt from the first frame read
  std::uint32_t last_red = 0x100;
  std::uint32_t width = 0;
  bool resetting = false;  // the driver reset was asked for; no frame on a new texture yet
  int reads_after_reset = 0;
};

// The same page, the same timeline, two clients. Version 2 reads its one texture as soon as
// a FrameReady says it is ready, and may get the frame before or a mix (told, as the machine
// decides it); the ring client reads each leased slot after AcquireFrame's GPU-side
// wait, and never does, on either path, while the frame numbers only grow, through a
// resize and a driver reset (copies announced just before it may never run, so frames
// until the first one on a new slot texture are not judged; none of them may hang).
TEST(FrameRing, RingReaderNeverSeesAStaleOrMixedFrameWhereAVersion2ReaderDoes) {
  {
    RingSandbox box(PaintingScenario());
    ASSERT_TRUE(box.ok());
    ComPtr<ID3D11DeviceContext> context;
    ComPtr<ID3D11Device1> device = ClientDevice(&context);
    ASSERT_TRUE(device);
    host::Host h;
    host::StartError error;
    ASSERT_TRUE(box.Start(&h, 2, 0, device, &error)) << error.Text();
    std::map<std::uint32_t, PathTally> tally;
    const auto on_event = [&](const host::Event& e) {
      if (e.kind != Kind::kFrame) return;
      host::SurfaceTexture t;
      if (!h.Texture(e.report.surface_id, &t)) return;
      const Picture p = ReadPicture(device.Get(), context.Get(), t.texture.Get());
      if (!p.read) return;
      PathTally& s = tally[e.report.surface_id];
      ++s.reads;
      if (!p.uniform) ++s.mixed;
      // Every frame event announces a newer frame: the same red again is the old picture.
      if (p.red == s.last_red) ++s.stale;
      s.last_red = p.red;
    };
    const auto wrong_reads = [&] {
      return tally[kGpuSurface].stale + tally[kGpuSurface].mixed + tally[kCpuSurface].stale + tally[kCpuSurface].mixed;
    };
    // Until the first wrong picture, or as many frames as the ring client reads below.
    const auto enough = [&] {
      return wrong_reads() > 0 ||
             (tally[kGpuSurface].reads >= kFramesPerPath && tally[kCpuSurface].reads >= kFramesPerPath);
    };
    PollWhile(h, on_event, enough, 120000);
    // Told, not asserted: whether a reader catches an unfinished copy depends on how soon
    // after the FrameReady it reads, which a busy machine decides (two full runs read 400
    // frames late every time). GpuTimeline.AVersion2ClientThatReadsAtOnceSeesTheFrameBefore
    // proves with a long delay that the timeline shows unfinished frames.
    std::printf("version 2 read %d + %d frames, %d of them unfinished\n", tally[kGpuSurface].reads,
                tally[kCpuSurface].reads, wrong_reads());
    EXPECT_EQ(h.Shutdown(15000).exit_code, 0);
  }

  RingSandbox box(PaintingScenario(false, {"await script=reset", "gpu_reset"}));
  ASSERT_TRUE(box.ok());
  ComPtr<ID3D11DeviceContext> context;
  ComPtr<ID3D11Device1> device = ClientDevice(&context);
  ASSERT_TRUE(device);
  host::Host h;
  host::StartError error;
  ASSERT_TRUE(box.Start(&h, 3, 3, device, &error)) << error.Text();
  ASSERT_TRUE(h.CreateSurface(3, 32, 18, PaintingUrl(3)));  // its page resets the driver when asked
  std::map<std::uint32_t, PathTally> tally;
  int resized_reads = 0;
  bool reset_asked = false;
  const auto on_event = [&](const host::Event& e) {
    if (e.kind != Kind::kFrame) return;
    host::FrameLease lease;
    std::string why;
    ASSERT_TRUE(h.AcquireFrame(e.report.surface_id, &lease, &why)) << why;
    const Picture p = ReadPicture(device.Get(), context.Get(), lease.texture.Get());
    PathTally& s = tally[lease.surface];
    if (lease.frame_number <= s.last_number) s.numbers_grow = s.last_number == lease.frame_number;
    if (s.resetting && e.new_texture) {
      s.resetting = false;
      s.offset = -1;  // the new device's first frame may be a whole repaint
    }
    // The white frame after the load and the first animated ones are not counted.
    if (p.read && lease.frame_number > s.last_number && lease.frame_number > 4 && !s.resetting) {
      ++s.reads;
      if (reset_asked) ++s.reads_after_reset;
      if (!p.uniform) ++s.mixed;
      const int offset = static_cast<int>((p.red - lease.frame_number) & 255);
      // A resize may repaint a frame whole: the numbering is learnt again at a new size.
      if (s.offset < 0 || lease.width != s.width) s.offset = offset;
      s.width = lease.width;
      if (offset != s.offset) ++s.stale;
    }
    if (lease.frame_number > s.last_number) s.last_number = lease.frame_number;
    if (lease.width == 200) ++resized_reads;
    EXPECT_TRUE(h.ReleaseFrame(&lease));
    // Halfway, a resize: every slot texture is made anew at the new size, one at a time
    // as it comes free.
    if (&s == &tally[kGpuSurface] && s.reads == kFramesPerPath / 2) h.Resize(kGpuSurface, 200, 110);
    // Three quarters through, the driver resets: every device of the engine is lost.
    if (&s == &tally[kGpuSurface] && s.reads == kFramesPerPath * 3 / 4 && !reset_asked) {
      reset_asked = true;
      for (auto& each : tally) each.second.resetting = true;
      h.ExecuteScript(3, "reset");
    }
  };
  const auto enough = [&] {
    return tally[kGpuSurface].reads >= kFramesPerPath && tally[kCpuSurface].reads >= kFramesPerPath &&
           tally[kGpuSurface].reads_after_reset >= 20 && tally[kCpuSurface].reads_after_reset >= 20;
  };
  EXPECT_TRUE(PollWhile(h, on_event, enough, 150000))
      << "read " << tally[kGpuSurface].reads << " + " << tally[kCpuSurface].reads << " frames, numbered up to "
      << tally[kGpuSurface].last_number << " and " << tally[kCpuSurface].last_number;
  for (const std::uint32_t id : {kGpuSurface, kCpuSurface}) {
    const PathTally& s = tally[id];
    EXPECT_GE(s.reads, kFramesPerPath) << "surface " << id;
    EXPECT_EQ(s.stale, 0) << "surface " << id << ": frames whose picture was not theirs";
    EXPECT_EQ(s.mixed, 0) << "surface " << id << ": frames read half-written";
    EXPECT_TRUE(s.numbers_grow) << "surface " << id;
    EXPECT_GE(s.reads_after_reset, 20) << "surface " << id << ": frames after the reset";
  }
  EXPECT_GT(resized_reads, 0) << "frames of the new size came through the ring";
  EXPECT_NE(box.log().find("new device ready after"), std::string::npos) << box.log();
  EXPECT_EQ(h.Shutdown(15000).exit_code, 0);
  EXPECT_EQ(h.Handles().ring_open, 0u);
}

// A program that leases every slot and lets go of none for a second: the engine keeps
// painting (only the newest frame waits, its UI thread never stalls), and the first release brings the
// newest frame at once, its number telling how many were replaced meanwhile. Then the
// program goes away holding slots: the engine ends cleanly with nothing left on the GPU.
TEST(FrameRing, HeldSlotsCostOnlyThemselvesAndDisconnectingWhileHoldingLeaksNothing) {
  RingSandbox box(PaintingScenario(true));
  ASSERT_TRUE(box.ok());
  ComPtr<ID3D11DeviceContext> context;
  ComPtr<ID3D11Device1> device = ClientDevice(&context);
  ASSERT_TRUE(device);
  host::Host h;
  host::StartError error;
  ASSERT_TRUE(box.Start(&h, 3, 2, device, &error)) << error.Text();

  std::vector<host::FrameLease> held;
  std::uint64_t newest_seen = 0;
  const auto lease_all = [&](const host::Event& e) {
    if (e.kind != Kind::kFrame || e.report.surface_id != kGpuSurface) return;
    newest_seen = e.report.frame_number;
    host::FrameLease lease;
    if (!h.AcquireFrame(kGpuSurface, &lease)) return;
    for (const host::FrameLease& l : held)
      if (l.slot == lease.slot) {
        h.ReleaseFrame(&lease);  // the same frame again
        return;
      }
    held.push_back(std::move(lease));
  };
  ASSERT_TRUE(PollWhile(h, lease_all, [&] { return held.size() == 2; }, 20000)) << "both slots leased";

  // A second of painting with every slot held: no frame can be announced.
  const std::uint64_t numbered_before = newest_seen;
  bool announced = false;
  PollWhile(h, [&](const host::Event& e) {
    if (e.kind == Kind::kFrame && e.report.surface_id == kGpuSurface) announced = true;
  }, [] { return false; }, 1000);
  EXPECT_FALSE(announced) << "a frame went into a held slot";
  // The view paints of the surface so far: each one a frame, so the frame that goes out on
  // the release is numbered at least this.
  const Journal journal = box.Load();
  const std::map<long long, std::uint32_t> surface_of = PaintingSurfaces(journal);
  std::uint64_t painted = 0;
  for (const JournalEntry& e : journal.Events("paint.deliver")) {
    const auto it = surface_of.find(e.Int("browser", -1));
    if (it != surface_of.end() && it->second == kGpuSurface && e.Int("type") == 0) ++painted;
  }
  EXPECT_GT(painted, numbered_before + 1) << "the page went on painting while every slot was held";

  // Letting go of the older lease frees its slot at once (the newer one is the newest).
  const ULONGLONG released_at = GetTickCount64();
  std::sort(held.begin(), held.end(),
            [](const host::FrameLease& a, const host::FrameLease& b) { return a.frame_number < b.frame_number; });
  ASSERT_TRUE(h.ReleaseFrame(&held[0]));
  host::Event next;
  ASSERT_TRUE(PollWhile(h, [&](const host::Event& e) {
    if (e.kind == Kind::kFrame && e.report.surface_id == kGpuSurface && next.kind != Kind::kFrame) next = e;
  }, [&] { return next.kind == Kind::kFrame; }, 5000));
  EXPECT_LT(GetTickCount64() - released_at, 1000ull) << "the waiting frame went out on the release";
  // Only the newest waited; its number tells how many were replaced.
  EXPECT_GE(next.report.frame_number, painted) << "the newest frame, numbered after the replaced ones";
  host::FrameLease newest;
  ASSERT_TRUE(h.AcquireFrame(kGpuSurface, &newest));
  const Picture p = ReadPicture(device.Get(), context.Get(), newest.texture.Get());
  EXPECT_TRUE(p.read && p.uniform);
  held.push_back(std::move(newest));

  // Gone while holding: the engine does not wait for releases.
  ASSERT_TRUE(h.Disconnect());
  const ULONGLONG deadline = GetTickCount64() + 15000;
  while (h.running() && GetTickCount64() < deadline) Sleep(20);
  EXPECT_FALSE(h.running());
  held.clear();
  const host::ExitReport end = h.Shutdown(15000);
  EXPECT_EQ(end.exit_code, 0);
  EXPECT_EQ(h.Handles().ring_open, 0u);
  long long textures_live = -1;
  for (const JournalEntry& e : box.Load().Events("gpu.live"))
    if (e.pid == h.engine_pid()) textures_live = e.Int("textures", -1);
  EXPECT_EQ(textures_live, 0) << "every slot texture was let go";
}

// Without protocol 3 the ring switch changes nothing (one log line), so a version-2 client
// sees exactly today's FrameReady.
TEST(FrameRing, RingAskedForWithoutProtocolThreeIsIgnored) {
  RingSandbox box(PaintingScenario());
  ASSERT_TRUE(box.ok());
  ComPtr<ID3D11DeviceContext> context;
  ComPtr<ID3D11Device1> device = ClientDevice(&context);
  host::Host h;
  host::StartError error;
  ASSERT_TRUE(box.Start(&h, 2, 3, device, &error)) << error.Text();
  host::Event e;
  int frames = 0;
  ASSERT_TRUE(PollWhile(h, [&](const host::Event& ev) {
    if (ev.kind == Kind::kFrame) {
      ++frames;
      e = ev;
    }
  }, [&] { return frames >= 5; }, 20000));
  EXPECT_EQ(e.report.type, kMsgFrameReady);
  host::FrameLease lease;
  EXPECT_FALSE(h.AcquireFrame(e.report.surface_id, &lease));
  host::SurfaceTexture t;
  EXPECT_TRUE(h.Texture(e.report.surface_id, &t));
  EXPECT_EQ(h.Shutdown(15000).exit_code, 0);
  const std::string log = box.log();
  EXPECT_NE(log.find("--nimomp-frame-ring ignored"), std::string::npos) << log;
}

}  // namespace
}  // namespace test
}  // namespace nimo
