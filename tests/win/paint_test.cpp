// Both paint paths through the product's own link: frames in the engine's shared texture
// (made by the stand-in GPU, as the engine's GPU process would) or in a CPU buffer must
// land pixel-true in the surface's shared texture as this process (the client) opens it
// by the handle FrameReady announces. Log lines and once-per-process rules run in child
// processes with logs of their own.
#include <windows.h>
#include <d3d11.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "link/send.h"
#include "protocol/wire.h"
#include "surfaces/gpu_device.h"
#include "surfaces/paint.h"
#include "surfaces/surface.h"
#include "surfaces/surface_texture.h"
#include "testbed/gpu/standin_gpu.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_cef.h"
#include "tests/support/linked_client.h"

namespace {

using nimo::Surface;
using nimo::test::FakeBrowser;
using nimo::test::Pass;
using Pixels = std::vector<std::uint32_t>;

Pixels Pattern(std::uint32_t w, std::uint32_t h, std::uint32_t seed) {
  Pixels px(static_cast<size_t>(w) * h);
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x)
      px[static_cast<size_t>(y) * w + x] = 0xFF000000u | ((x * 31u + y * 17u + seed * 101u) * 2654435761u >> 8);
  return px;
}

// The engine's frame texture, shared by handle as the engine's GPU process hands it over.
class EngineFrame {
 public:
  EngineFrame(std::uint32_t w, std::uint32_t h, const Pixels& px) {
    auto share = NimoStandinExport<NimoStandinShareTextureFn>("d3d11.dll", "NimoStandinShareTexture");
    if (share) handle_ = share(w, h, 87 /* DXGI_FORMAT_B8G8R8A8_UNORM */, px.data(), w * 4);
  }
  ~EngineFrame() {
    if (handle_) CloseHandle(handle_);
  }
  cef_accelerated_paint_info_t info(int format = 1) const {
    cef_accelerated_paint_info_t i = {};
    i.shared_texture_handle = handle_;
    i.format = static_cast<cef_color_type_t>(format);
    return i;
  }
  HANDLE handle() const { return handle_; }

 private:
  HANDLE handle_ = nullptr;
};

Pixels ReadShared(std::uint64_t handle, std::uint32_t* w, std::uint32_t* h) {
  auto read = NimoStandinExport<NimoStandinReadTextureFn>("d3d11.dll", "NimoStandinReadTexture");
  HANDLE hd = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle));
  std::uint32_t f = 0;
  if (!read || !read(hd, w, h, &f, nullptr, 0)) return Pixels();
  Pixels px(static_cast<size_t>(*w) * *h);
  read(hd, w, h, &f, px.data(), px.size() * 4);
  return px;
}

class PaintTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    nimo::InitSurfaceTable();
    for (Surface& s : nimo::surfaces) nimo::InstallPaintCallbacks(&s.render_handler);
    // This process is the client: handles are duplicated into it.
    if (!nimo::client_process) nimo::client_process.reset(OpenProcess(PROCESS_DUP_HANDLE, FALSE, GetCurrentProcessId()));
  }
  void SetUp() override {
    ASSERT_TRUE(NimoStandinGpuLoaded());
    ASSERT_NE(nullptr, nimo::test::LinkedClient());
    for (Surface& s : nimo::surfaces) nimo::ReleaseSurfaceTexture(&s);
  }

  void Accelerated(Surface& s, const EngineFrame& frame, std::vector<cef_rect_t> rects,
                   cef_paint_element_type_t type = PET_VIEW, int format = 1) {
    FakeBrowser* b = nimo::test::NewBrowser();
    const cef_accelerated_paint_info_t info = frame.info(format);
    s.render_handler.on_accelerated_paint(&s.render_handler, Pass(b), type, rects.size(),
                                          rects.empty() ? nullptr : rects.data(), &info);
    EXPECT_EQ(0, b->refs) << "the browser argument must be released";
  }
  void Cpu(Surface& s, int w, int h, const Pixels& px, cef_paint_element_type_t type = PET_VIEW) {
    FakeBrowser* b = nimo::test::NewBrowser();
    const cef_rect_t one = {0, 0, 1, 1};  // ignored: CPU paints upload whole frames
    s.render_handler.on_paint(&s.render_handler, Pass(b), type, 1, &one, px.data(), w, h);
    EXPECT_EQ(0, b->refs) << "the browser argument must be released";
  }

  // The next report must be a FrameReady; returns its payload.
  nimo::FrameReadyPayload NextFrame() {
    nimo::test::Report r;
    nimo::FrameReadyPayload p = {};
    EXPECT_TRUE(nimo::test::LinkedClient()->Read(&r, 5000));
    EXPECT_EQ(nimo::kMsgFrameReady, r.type);
    if (r.type == nimo::kMsgFrameReady && r.payload.size() == nimo::kFrameReadyPayloadSize)
      p = nimo::DecodeFrameReady(r.payload.data());
    return p;
  }
  // True when nothing was sent since the last read: a marker report comes next.
  bool NothingSent() {
    static std::uint32_t counter = 0;
    const std::string marker = "marker " + std::to_string(++counter);
    if (!nimo::SendText(nimo::kMsgConsoleLine, 3, marker)) return false;
    nimo::test::Report r;
    if (!nimo::test::LinkedClient()->Read(&r, 5000)) return false;
    return r.type == nimo::kMsgConsoleLine && r.text() == marker;
  }
  Pixels Client(const nimo::FrameReadyPayload& p) {
    std::uint32_t w = 0, h = 0;
    Pixels px = ReadShared(p.client_handle, &w, &h);
    EXPECT_EQ(p.width, w);
    EXPECT_EQ(p.height, h);
    return px;
  }
};


TEST_F(PaintTest, FirstAcceleratedPaintCopiesWholeThenOnlyDirtyRectangles) {
  Surface& s = nimo::surfaces[1];
  const std::uint32_t w = 96, h = 64;
  const Pixels first = Pattern(w, h, 1), second = Pattern(w, h, 2);
  EngineFrame f1(w, h, first), f2(w, h, second);
  const std::int32_t paints = nimo::first_paint_counter.load();
  NimoStandinResetStats();

  Accelerated(s, f1, {{10, 10, 4, 4}});  // one small rectangle, but the texture is new
  nimo::FrameReadyPayload p = NextFrame();
  EXPECT_EQ(1u, p.surface_id);
  EXPECT_EQ(w, p.width);
  EXPECT_EQ(h, p.height);
  EXPECT_EQ(1u, p.format);  // the engine's colour type, passed on
  EXPECT_EQ(s.texture.client_handle(), p.client_handle);
  EXPECT_EQ(first, Client(p));
  EXPECT_FALSE(s.texture.full_copy_pending());
  NimoGpuStats g = NimoStandinGpuStats();
  EXPECT_EQ(1u, g.copy_resource_calls);
  EXPECT_EQ(0u, g.copy_region_calls);

  Accelerated(s, f2, {{10, 10, 4, 4}});
  nimo::FrameReadyPayload q = NextFrame();
  EXPECT_EQ(p.client_handle, q.client_handle);  // same texture, same handle
  Pixels expect = first;
  for (std::uint32_t y = 10; y < 14; ++y)
    for (std::uint32_t x = 10; x < 14; ++x) expect[y * w + x] = second[y * w + x];
  EXPECT_EQ(expect, Client(q));
  g = NimoStandinGpuStats();
  EXPECT_EQ(1u, g.copy_resource_calls);
  EXPECT_EQ(1u, g.copy_region_calls);
  EXPECT_EQ(4u * 4u * 4u, g.copy_region_bytes);
  EXPECT_EQ(2u, g.flushes);
  EXPECT_EQ(0u, g.invalid_calls);
  EXPECT_EQ(paints + 2, nimo::first_paint_counter.load());
  EXPECT_EQ(g.textures_opened, 2u);
}

TEST_F(PaintTest, DirtyRectanglesAreClippedOrSkipped) {
  Surface& s = nimo::surfaces[2];
  const std::uint32_t w = 50, h = 40;
  const Pixels base = Pattern(w, h, 3), next = Pattern(w, h, 4);
  EngineFrame f1(w, h, base), f2(w, h, next);
  Accelerated(s, f1, {});
  NextFrame();
  NimoStandinResetStats();
  // Partly left of and above the texture, partly beyond its right and bottom edges, and
  // two entirely outside (skipped), one of them with a negative size.
  Accelerated(s, f2, {{-5, -3, 10, 8}, {45, 35, 20, 20}, {60, 0, 5, 5}, {10, 10, -4, 5}});
  nimo::FrameReadyPayload p = NextFrame();
  Pixels expect = base;
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x)
      if ((x < 5 && y < 5) || (x >= 45 && y >= 35)) expect[y * w + x] = next[y * w + x];
  EXPECT_EQ(expect, Client(p));
  NimoGpuStats g = NimoStandinGpuStats();
  EXPECT_EQ(2u, g.copy_region_calls);
  EXPECT_EQ((25u + 25u) * 4u, g.copy_region_bytes);
  EXPECT_EQ(0u, g.invalid_calls);

  // Nothing left after clipping: no copy, but the frame is still announced.
  NimoStandinResetStats();
  Accelerated(s, f1, {{100, 100, 5, 5}});
  NextFrame();
  EXPECT_EQ(0u, NimoStandinGpuStats().copy_region_calls + NimoStandinGpuStats().copy_resource_calls);
}

TEST_F(PaintTest, MoreThanThirtyTwoRectanglesMakeOneFullCopy) {
  Surface& s = nimo::surfaces[3];
  const std::uint32_t w = 40, h = 40;
  const Pixels a = Pattern(w, h, 5), b = Pattern(w, h, 6);
  EngineFrame f1(w, h, a), f2(w, h, b);
  Accelerated(s, f1, {});
  NextFrame();
  std::vector<cef_rect_t> many;
  for (int i = 0; i < 33; ++i) many.push_back({i, i, 1, 1});
  NimoStandinResetStats();
  Accelerated(s, f2, many);
  EXPECT_EQ(b, Client(NextFrame()));
  EXPECT_EQ(1u, NimoStandinGpuStats().copy_resource_calls);
  EXPECT_EQ(0u, NimoStandinGpuStats().copy_region_calls);

  // Exactly 32 are copied one by one.
  many.pop_back();
  NimoStandinResetStats();
  Accelerated(s, f1, many);
  NextFrame();
  EXPECT_EQ(0u, NimoStandinGpuStats().copy_resource_calls);
  EXPECT_EQ(32u, NimoStandinGpuStats().copy_region_calls);
}

// A popup paint that comes while the page has no popup open is not taken.
TEST_F(PaintTest, PopupPaintsWithNoPopupShownChangeNothingAndSendNothing) {
  Surface& s = nimo::surfaces[1];
  const Pixels a = Pattern(20, 20, 7);
  EngineFrame f(20, 20, a);
  const std::int32_t paints = nimo::first_paint_counter.load();
  NimoStandinResetStats();
  Accelerated(s, f, {}, PET_POPUP);
  Cpu(s, 20, 20, a, PET_POPUP);
  EXPECT_TRUE(NothingSent());
  EXPECT_EQ(nullptr, s.texture.get());
  EXPECT_EQ(paints, nimo::first_paint_counter.load());
  EXPECT_EQ(0u, NimoStandinGpuStats().textures_opened);
}

TEST_F(PaintTest, SizeChangeMakesANewTextureHandleAndFullCopy) {
  Surface& s = nimo::surfaces[1];
  const Pixels a = Pattern(30, 20, 8), b = Pattern(31, 22, 9);
  EngineFrame f1(30, 20, a), f2(31, 22, b);
  Accelerated(s, f1, {});
  const nimo::FrameReadyPayload p = NextFrame();
  Accelerated(s, f2, {{0, 0, 1, 1}});
  const nimo::FrameReadyPayload q = NextFrame();
  EXPECT_EQ(31u, q.width);
  EXPECT_EQ(22u, q.height);
  EXPECT_NE(p.client_handle, q.client_handle);
  EXPECT_EQ(b, Client(q));
  // The old handle is the client's: it still opens the old texture with the old frame.
  EXPECT_EQ(a, Client(p));
  CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(p.client_handle)));
}

TEST_F(PaintTest, CpuPaintUploadsTheWholeBuffer) {
  Surface& s = nimo::surfaces[2];
  const Pixels a = Pattern(33, 19, 10), b = Pattern(33, 19, 11);
  const std::int32_t paints = nimo::first_paint_counter.load();
  NimoStandinResetStats();
  Cpu(s, 33, 19, a);
  nimo::FrameReadyPayload p = NextFrame();
  EXPECT_EQ(2u, p.surface_id);
  EXPECT_EQ(0u, p.format);
  EXPECT_EQ(33u, p.width);
  EXPECT_EQ(a, Client(p));
  Cpu(s, 33, 19, b);
  EXPECT_EQ(b, Client(NextFrame()));
  NimoGpuStats g = NimoStandinGpuStats();
  EXPECT_EQ(2u, g.update_calls);
  EXPECT_EQ(2u * 33u * 19u * 4u, g.update_bytes);
  EXPECT_EQ(1u, g.textures_created);
  EXPECT_EQ(paints + 2, nimo::first_paint_counter.load());
  // Both paths count towards the same total, on any surface.
  EngineFrame f(8, 8, Pattern(8, 8, 12));
  Accelerated(nimo::surfaces[3], f, {});
  NextFrame();
  EXPECT_EQ(paints + 3, nimo::first_paint_counter.load());
}

TEST_F(PaintTest, NoClientHandleMeansNoFrameReady) {
  HANDLE saved = nimo::client_process.release();
  Surface& s = nimo::surfaces[3];
  const Pixels a = Pattern(12, 12, 13);
  EngineFrame f(12, 12, a);
  const std::int32_t paints = nimo::first_paint_counter.load();
  Accelerated(s, f, {});
  Cpu(s, 12, 12, a);
  nimo::client_process.reset(saved);
  EXPECT_TRUE(NothingSent());
  EXPECT_EQ(paints + 2, nimo::first_paint_counter.load());  // copied all the same
  EXPECT_EQ(0u, s.texture.client_handle());
  auto read = NimoStandinExport<NimoStandinReadTextureFn>("d3d11.dll", "NimoStandinReadTexture");
  Pixels px(a.size());
  std::uint32_t w = 0, h = 0, fmt = 0;
  ASSERT_TRUE(read(s.texture.shared_handle(), &w, &h, &fmt, px.data(), px.size() * 4));
  EXPECT_EQ(a, px);
}

TEST_F(PaintTest, UnopenableEngineHandleLosesOnlyThatFrame) {
  Surface& s = nimo::surfaces[1];
  const std::int32_t fails = nimo::open_fail_count.load();
  const std::int32_t paints = nimo::first_paint_counter.load();
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  FakeBrowser* b = nimo::test::NewBrowser();
  cef_accelerated_paint_info_t info = {};
  info.shared_texture_handle = event;
  s.render_handler.on_accelerated_paint(&s.render_handler, Pass(b), PET_VIEW, 0, nullptr, &info);
  EXPECT_EQ(0, b->refs);
  CloseHandle(event);
  EXPECT_EQ(fails + 1, nimo::open_fail_count.load());
  EXPECT_EQ(paints, nimo::first_paint_counter.load());
  EXPECT_TRUE(NothingSent());
  // No handle at all is ignored before any open is tried.
  info.shared_texture_handle = nullptr;
  s.render_handler.on_accelerated_paint(&s.render_handler, Pass(b), PET_VIEW, 0, nullptr, &info);
  s.render_handler.on_accelerated_paint(&s.render_handler, Pass(b), PET_VIEW, 0, nullptr, nullptr);
  EXPECT_EQ(0, b->refs);
  EXPECT_EQ(fails + 1, nimo::open_fail_count.load());
  // The next good frame goes through.
  const Pixels a = Pattern(9, 9, 14);
  EngineFrame f(9, 9, a);
  Accelerated(s, f, {});
  EXPECT_EQ(a, Client(NextFrame()));
}

}  // namespace

namespace {

// Child: paints without a link in the order NIMO_TEST_CASE names, one letter a paint:
// 'f' an accelerated paint whose handle cannot be opened, 'a' a good accelerated paint,
// 'c' a CPU paint; then reports the counters.
TEST(PaintLogChild, Run) {
  if (!GetEnvironmentVariableA("NIMO_TEST_CHILD", nullptr, 0)) GTEST_SKIP() << "runs only as a child";
  char order[64] = {};
  GetEnvironmentVariableA("NIMO_TEST_CASE", order, sizeof order);
  nimo::InitSurfaceTable();
  for (Surface& s : nimo::surfaces) nimo::InstallPaintCallbacks(&s.render_handler);
  const Pixels px = Pattern(16, 16, 1);
  EngineFrame frame(16, 16, px);
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  int surface = 0;
  for (const char* c = order; *c; ++c) {
    Surface& s = nimo::surfaces[surface++ % 4];
    FakeBrowser* b = nimo::test::NewBrowser();
    if (*c == 'c') {
      s.render_handler.on_paint(&s.render_handler, Pass(b), PET_VIEW, 0, nullptr, px.data(), 16, 16);
    } else {
      cef_accelerated_paint_info_t info = frame.info();
      if (*c == 'f') info.shared_texture_handle = event;
      s.render_handler.on_accelerated_paint(&s.render_handler, Pass(b), PET_VIEW, 0, nullptr, &info);
    }
    if (b->refs != 0) std::printf("leaked_browser=1\n");
  }
  const NimoGpuStats g = NimoStandinGpuStats();
  std::printf("paints=%d\nopen_fails=%d\nopen_attempts=%llu\ntextures=%llu\n", nimo::first_paint_counter.load(),
              nimo::open_fail_count.load(), static_cast<unsigned long long>(g.textures_opened + g.open_failures),
              static_cast<unsigned long long>(g.textures_created));
  std::fflush(stdout);
}

struct LogOutcome {
  std::string out, log;
  std::string value(const char* key) const { return nimo_test::FindOutputValue(out, key); }
  size_t count(const std::string& needle) const {
    size_t n = 0;
    for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) ++n;
    return n;
  }
};

LogOutcome RunPaints(const char* order, const char* adapters = nullptr) {
  std::vector<std::pair<std::string, std::string>> env = {{"NIMO_TEST_CHILD", "1"}, {"NIMO_TEST_CASE", order}};
  if (adapters) env.push_back({"NIMO_STANDIN_GPU_ADAPTERS", adapters});
  nimo_test::ChildProcess child;
  LogOutcome o;
  EXPECT_TRUE(child.StartInSandbox("PaintLogChild.Run", env));
  DWORD code = 1;
  EXPECT_TRUE(child.Finish(30000, &code, &o.out));
  EXPECT_EQ(0u, code) << o.out;
  EXPECT_EQ("", o.value("leaked_browser")) << o.out;
  o.log = nimo_test::WithoutLineNumbers(nimo_test::LogText(child.ReadSandboxFile("webengine.log")));
  return o;
}

const char kFirstGpu[] = "[nimo-webengine][browser] FIRST on_accelerated_paint - GPU path live\n";
const char kFirstCpu[] = "[nimo-webengine][browser] FIRST on_paint (CPU raster path)\n";
const char kOpenFailed[] =
    "[nimo-webengine][gpu] OpenSharedResource1 on CEF's handle FAILED hr=0x80070057 (invalid argument) at "
    "surfaces/paint.cpp\n";

TEST(PaintLog, OneFirstLinePerProcessWhicheverPathPaintsFirst) {
  LogOutcome cpu_first = RunPaints("ccaac");
  EXPECT_EQ("5", cpu_first.value("paints"));
  EXPECT_EQ(1u, cpu_first.count(kFirstCpu)) << cpu_first.log;
  EXPECT_EQ(0u, cpu_first.count("FIRST on_accelerated_paint")) << cpu_first.log;

  LogOutcome gpu_first = RunPaints("acac");
  EXPECT_EQ("4", gpu_first.value("paints"));
  EXPECT_EQ(1u, gpu_first.count(kFirstGpu)) << gpu_first.log;
  EXPECT_EQ(0u, gpu_first.count("FIRST on_paint")) << gpu_first.log;
}

TEST(PaintLog, OpenFailureIsLoggedOnceHoweverOftenItRecurs) {
  LogOutcome o = RunPaints("ffafff");
  EXPECT_EQ("5", o.value("open_fails"));
  EXPECT_EQ("1", o.value("paints"));
  EXPECT_EQ(1u, o.count(kOpenFailed)) << o.log;
  // A failed open is no paint: the FIRST line comes with the first good one.
  EXPECT_LT(o.log.find(kOpenFailed), o.log.find(kFirstGpu)) << o.log;
}

TEST(PaintLog, WithoutADeviceNothingIsOpenedOrCounted) {
  LogOutcome o = RunPaints("acac", "none");
  EXPECT_EQ("0", o.value("paints"));
  EXPECT_EQ("0", o.value("open_attempts"));
  EXPECT_EQ("0", o.value("textures"));
  EXPECT_EQ(0u, o.count("FIRST")) << o.log;
  EXPECT_EQ(1u, o.count("D3D11CreateDevice FAILED")) << o.log;
}

}  // namespace
