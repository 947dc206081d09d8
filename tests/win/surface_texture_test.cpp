// A surface's shared texture: its description and share, re-creation on a size change
// only, every failure row, and the handle given to the client really opening the same
// pixels in the client process. Each case runs as the engine in a child process with a
// log of its own; this test process plays the client the handles are duplicated into.
#include <windows.h>
#include <d3d11_1.h>
#include <dxgi1_2.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "surfaces/gpu_device.h"
#include "surfaces/surface.h"
#include "surfaces/surface_texture.h"
#include "testbed/gpu/standin_gpu.h"
#include "tests/support/child_process.h"
#include "tests/support/shared_texture_reader.h"

namespace {

using Env = std::vector<std::pair<std::string, std::string>>;

std::string Env_(const char* name) {
  char buffer[256];
  DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  return n && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

std::uint32_t PatternPixel(std::uint32_t x, std::uint32_t y, std::uint32_t w) {
  return 0xFF000000u | (((y * w + x) * 2654435761u) & 0x00FFFFFFu);
}

// Handles open in this process. Not every system answers GetProcessHandleCount; there the
// handle values up to a little past a fresh handle's are probed (a leak of many handles
// pushes a fresh handle's value up with it).
unsigned long CountOpenHandles() {
  DWORD reported = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &reported) && reported > 0) return reported;
  HANDLE fresh = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  const std::uintptr_t limit = reinterpret_cast<std::uintptr_t>(fresh) + 4096;
  CloseHandle(fresh);
  unsigned long n = 0;
  DWORD flags = 0;
  for (std::uintptr_t v = 4; v < limit; v += 4)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(v), &flags)) ++n;
  return n;
}

void PrintSurface(const char* tag, const nimo::Surface& s) {
  std::printf("%s_ok=1\n%s_texture=%d\n%s_size=%ux%u\n%s_pending=%u\n%s_client=%llu\n", tag, tag,
              s.texture ? 1 : 0, tag, s.texture.width(), s.texture.height(), tag,
              s.texture.full_copy_pending() ? 1u : 0u, tag, static_cast<unsigned long long>(s.texture.client_handle()));
}

void Fill(nimo::Surface& s, std::uint32_t w, std::uint32_t h) {
  std::vector<std::uint32_t> px(static_cast<size_t>(w) * h);
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x) px[y * w + x] = PatternPixel(x, y, w);
  nimo::surfaces.gpu.context()->UpdateSubresource(s.texture.get(), 0, nullptr, px.data(), w * 4, 0);
  nimo::surfaces.gpu.context()->Flush();
}

// Child: the engine side. NIMO_TEST_CASE picks what it does; NIMO_TEST_CLIENT_PID, when
// set, is opened as the client process the way the browser process opens it.
TEST(SurfaceTextureChild, Run) {
  if (!GetEnvironmentVariableA("NIMO_TEST_CHILD", nullptr, 0)) GTEST_SKIP() << "runs only as a child";
  const std::string which = Env_("NIMO_TEST_CASE");
  const std::string pid = Env_("NIMO_TEST_CLIENT_PID");
  if (!pid.empty())
    nimo::client_process.reset(OpenProcess(PROCESS_DUP_HANDLE, FALSE, static_cast<DWORD>(std::strtoul(pid.c_str(), nullptr, 10))));
  if (which == "bad-client") nimo::client_process.reset(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7FF0)));
  nimo::Surface s{};
  s.id = 1;

  if (which == "sizes") {
    std::printf("zero=%d\nnegative=%d\nflat=%d\n", nimo::EnsureSurfaceTexture(&s, 0, 0) ? 1 : 0,
                nimo::EnsureSurfaceTexture(&s, -4, 10) ? 1 : 0, nimo::EnsureSurfaceTexture(&s, 10, 0) ? 1 : 0);
    std::printf("devices_tried=%d\n", NimoStandinGpuStats().device_create_calls > 0 ? 1 : 0);
    std::printf("first=%d\n", nimo::EnsureSurfaceTexture(&s, 64, 32) ? 1 : 0);
    NimoGpuStats g = NimoStandinGpuStats();
    std::printf("desc=%u/%u/%u/%u/0x%X/0x%X/0x%X/%u/%u/%u/%u\naccess=0x%08X\nattrs=%u\n", g.last_width,
                g.last_height, g.last_format, g.last_usage, g.last_bind_flags, g.last_cpu_flags, g.last_misc_flags,
                g.last_mip_levels, g.last_array_size, g.last_sample_count, g.last_sample_quality,
                g.last_shared_access, g.last_shared_had_attributes_or_name);
    PrintSurface("a", s);
    s.texture.FullCopyDone();  // as after a full copy
    void* first_handle = s.texture.shared_handle();
    std::printf("same=%d\n", nimo::EnsureSurfaceTexture(&s, 64, 32) ? 1 : 0);
    std::printf("same_handle=%d\ncreated=%llu\n", s.texture.shared_handle() == first_handle ? 1 : 0,
                static_cast<unsigned long long>(NimoStandinGpuStats().textures_created));
    PrintSurface("b", s);
    std::printf("resized=%d\n", nimo::EnsureSurfaceTexture(&s, 65, 32) ? 1 : 0);
    std::printf("created2=%llu\nlive=%llu\n", static_cast<unsigned long long>(NimoStandinGpuStats().textures_created),
                static_cast<unsigned long long>(NimoStandinGpuStats().textures_live));
    PrintSurface("c", s);
    nimo::ReleaseSurfaceTexture(&s);
    std::printf("released_live=%llu\n", static_cast<unsigned long long>(NimoStandinGpuStats().textures_live));
    PrintSurface("d", s);
  } else if (which == "share") {
    // Two sizes, each filled with the pattern; the client opens both handles afterwards.
    std::printf("first=%d\n", nimo::EnsureSurfaceTexture(&s, 40, 24) ? 1 : 0);
    Fill(s, 40, 24);
    PrintSurface("a", s);
    std::printf("second=%d\n", nimo::EnsureSurfaceTexture(&s, 52, 30) ? 1 : 0);
    Fill(s, 52, 30);
    PrintSurface("b", s);
  } else if (which == "no-client" || which == "bad-client") {
    std::printf("first=%d\n", nimo::EnsureSurfaceTexture(&s, 16, 16) ? 1 : 0);
    PrintSurface("a", s);
  } else if (which == "create-fails") {
    std::printf("first=%d\n", nimo::EnsureSurfaceTexture(&s, 16, 16) ? 1 : 0);
    PrintSurface("a", s);
    SetEnvironmentVariableA("NIMO_STANDIN_GPU_FAIL", nullptr);  // the next paint tries again
    std::printf("second=%d\n", nimo::EnsureSurfaceTexture(&s, 16, 16) ? 1 : 0);
    PrintSurface("b", s);
  } else if (which == "share-fails") {
    std::printf("first=%d\nlive=%llu\n", nimo::EnsureSurfaceTexture(&s, 16, 16) ? 1 : 0,
                static_cast<unsigned long long>(NimoStandinGpuStats().textures_live));
    PrintSurface("a", s);
  } else if (which == "no-device") {
    const bool first = nimo::EnsureSurfaceTexture(&s, 16, 16);
    const bool second = nimo::EnsureSurfaceTexture(&s, 16, 16);
    std::printf("first=%d\nsecond=%d\ncreates=%llu\n", first ? 1 : 0, second ? 1 : 0,
                static_cast<unsigned long long>(NimoStandinGpuStats().device_create_calls));
  } else if (which == "resizes") {
    nimo::EnsureSurfaceTexture(&s, 8, 8);
    const unsigned long before = CountOpenHandles();
    int ok = 1;
    for (int i = 0; i < 1000; ++i) ok &= nimo::EnsureSurfaceTexture(&s, 8 + (i % 50) + 1, 8 + (i % 7)) ? 1 : 0;
    const unsigned long after = CountOpenHandles();
    std::printf("all=%d\nhandles_before=%lu\nhandles_after=%lu\nlive=%llu\n", ok, before, after,
                static_cast<unsigned long long>(NimoStandinGpuStats().textures_live));
  }
  std::fflush(stdout);
}

struct Outcome {
  std::string out;
  std::string log;
  std::string value(const std::string& key) const { return nimo_test::FindOutputValue(out, key); }
};

Outcome RunCase(const char* which, bool with_client, const char* failures = nullptr, const char* adapters = nullptr) {
  Env env = {{"NIMO_TEST_CHILD", "1"}, {"NIMO_TEST_CASE", which}};
  if (with_client) env.push_back({"NIMO_TEST_CLIENT_PID", std::to_string(GetCurrentProcessId())});
  if (failures) env.push_back({"NIMO_STANDIN_GPU_FAIL", failures});
  if (adapters) env.push_back({"NIMO_STANDIN_GPU_ADAPTERS", adapters});
  nimo_test::ChildProcess child;
  Outcome o;
  EXPECT_TRUE(child.StartInSandbox("SurfaceTextureChild.Run", env));
  DWORD code = 1;
  EXPECT_TRUE(child.Finish(60000, &code, &o.out));
  EXPECT_EQ(0u, code) << o.out;
  // The device's own lines are another test's concern.
  std::string log = nimo_test::WithoutLineNumbers(nimo_test::LogText(child.ReadSandboxFile("webengine.log")));
  size_t at = 0;
  while (at < log.size()) {
    size_t end = log.find('\n', at);
    end = end == std::string::npos ? log.size() : end + 1;
    std::string line = log.substr(at, end - at);
    if (line.find("[gpu] adapter ") == std::string::npos && line.find("[gpu] using adapter:") == std::string::npos)
      o.log += line;
    at = end;
  }
  return o;
}

std::string ReadyLine(unsigned long long client_handle) {
  char line[120];
  std::snprintf(line, sizeof line, "[nimo-webengine][gpu] surface texture ready (clientHandle=%016llx)\n",
                client_handle);
  return line;
}

TEST(SurfaceTexture, CreatedOncePerSizeWithTheSharedDescription) {
  Outcome o = RunCase("sizes", false);
  EXPECT_EQ("0", o.value("zero"));
  EXPECT_EQ("0", o.value("negative"));
  EXPECT_EQ("0", o.value("flat"));
  EXPECT_EQ("0", o.value("devices_tried"));  // no device is made for a size that cannot be
  EXPECT_EQ("1", o.value("first"));
  // 64x32, B8G8R8A8_UNORM, default usage, shader-resource binding only, no CPU access,
  // shared with an NT handle, one mip, one slice, one sample.
  EXPECT_EQ("64/32/87/0/0x8/0x0/0x802/1/1/1/0", o.value("desc"));
  EXPECT_EQ("0x80000001", o.value("access"));
  EXPECT_EQ("0", o.value("attrs"));
  EXPECT_EQ("64x32", o.value("a_size"));
  EXPECT_EQ("1", o.value("a_pending"));
  EXPECT_EQ("1", o.value("same"));
  EXPECT_EQ("1", o.value("same_handle"));
  EXPECT_EQ("1", o.value("created"));
  EXPECT_EQ("0", o.value("b_pending"));  // untouched by a same-size call
  EXPECT_EQ("1", o.value("resized"));
  EXPECT_EQ("2", o.value("created2"));
  EXPECT_EQ("1", o.value("live"));  // the old texture is gone
  EXPECT_EQ("65x32", o.value("c_size"));
  EXPECT_EQ("1", o.value("c_pending"));
  EXPECT_EQ("0", o.value("released_live"));
  EXPECT_EQ("0", o.value("d_texture"));
  EXPECT_EQ("0x0", o.value("d_size"));
  EXPECT_EQ("1", o.value("d_pending"));  // kept by the release
  EXPECT_EQ("0", o.value("d_client"));
  EXPECT_EQ(ReadyLine(0) + ReadyLine(0), o.log);
}

TEST(SurfaceTexture, ClientOpensEveryHandleItIsGiven) {
  Outcome o = RunCase("share", true);
  ASSERT_EQ("1", o.value("first")) << o.out;
  ASSERT_EQ("1", o.value("second")) << o.out;
  const std::uint64_t first = std::strtoull(o.value("a_client").c_str(), nullptr, 10);
  const std::uint64_t second = std::strtoull(o.value("b_client").c_str(), nullptr, 10);
  ASSERT_NE(0u, first);
  ASSERT_NE(0u, second);
  EXPECT_NE(first, second);  // a new texture comes with a new handle
  EXPECT_EQ(ReadyLine(first) + ReadyLine(second), o.log);
  // The engine process has ended; the handles in this process keep both textures.
  struct Expect {
    std::uint64_t handle;
    UINT w, h;
  };
  for (const Expect& e : {Expect{first, 40, 24}, Expect{second, 52, 30}}) {
    const nimo_test::SharedFrame f = nimo_test::ReadSharedTexture(e.handle);
    ASSERT_TRUE(f.opened);
    ASSERT_EQ(e.w, f.width);
    ASSERT_EQ(e.h, f.height);
    ASSERT_EQ(static_cast<size_t>(f.width) * f.height, f.pixels.size());
    for (UINT y = 0; y < f.height; ++y)
      for (UINT x = 0; x < f.width; ++x) ASSERT_EQ(PatternPixel(x, y, f.width), f.at(x, y)) << x << "," << y;
    CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(e.handle)));
  }
}

TEST(SurfaceTexture, WithoutAClientTheTextureServesUnshared) {
  Outcome o = RunCase("no-client", false);
  EXPECT_EQ("1", o.value("first"));
  EXPECT_EQ("1", o.value("a_texture"));
  EXPECT_EQ("0", o.value("a_client"));
  EXPECT_EQ(ReadyLine(0), o.log);

  Outcome bad = RunCase("bad-client", false);
  EXPECT_EQ("1", bad.value("first"));
  EXPECT_EQ("1", bad.value("a_texture"));
  EXPECT_EQ("0", bad.value("a_client"));
  EXPECT_EQ("[nimo-webengine][gpu] DuplicateHandle into the client FAILED err=0000000000000006\n" + ReadyLine(0),
            bad.log);
}

TEST(SurfaceTexture, FailuresLeaveNoTextureAndAreRetried) {
  Outcome create = RunCase("create-fails", false, "texture");
  EXPECT_EQ("0", create.value("first"));
  EXPECT_EQ("0", create.value("a_texture"));
  EXPECT_EQ("1", create.value("second"));
  EXPECT_EQ("1", create.value("b_texture"));
  EXPECT_EQ("[nimo-webengine][gpu] CreateTexture2D(shared) FAILED hr=0x8007000E (out of memory) at "
            "surfaces/surface_texture.cpp\n" +
                ReadyLine(0),
            create.log);

  Outcome share = RunCase("share-fails", false, "sharedhandle");
  EXPECT_EQ("0", share.value("first"));
  EXPECT_EQ("0", share.value("live"));  // the unshareable texture was released
  EXPECT_EQ("0", share.value("a_texture"));
  EXPECT_EQ("[nimo-webengine][gpu] CreateSharedHandle FAILED hr=0x8007000E (out of memory) at "
            "surfaces/surface_texture.cpp\n",
            share.log);

  Outcome device = RunCase("no-device", false, nullptr, "none");
  EXPECT_EQ("0", device.value("first"));
  EXPECT_EQ("0", device.value("second"));
  EXPECT_EQ("1", device.value("creates"));
}

TEST(SurfaceTexture, EngineHandleCountStaysFlatOverAThousandResizes) {
  Outcome o = RunCase("resizes", true);
  EXPECT_EQ("1", o.value("all"));
  EXPECT_EQ("1", o.value("live"));
  const unsigned long before = std::strtoul(o.value("handles_before").c_str(), nullptr, 10);
  const unsigned long after = std::strtoul(o.value("handles_after").c_str(), nullptr, 10);
  EXPECT_GT(before, 0u) << o.out;
  EXPECT_LE(after, before) << o.out;
}

}  // namespace
