// Device choice and device failures, each case in a process of its own (the device is
// tried once per process) with its own log, against scripted stand-in adapters.
#include <windows.h>
#include <d3d11.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "surfaces/gpu_device.h"
#include "surfaces/surface.h"
#include "testbed/gpu/standin_gpu.h"
#include "tests/support/child_process.h"

namespace {

using Env = std::vector<std::pair<std::string, std::string>>;

// Child: try the device twice and report what the stand-in saw.
TEST(GpuDeviceChild, TryTwice) {
  if (!GetEnvironmentVariableA("NIMO_TEST_CHILD", nullptr, 0)) GTEST_SKIP() << "runs only as a child";
  const bool first = nimo::surfaces.gpu.Ensure();
  const bool second = nimo::surfaces.gpu.Ensure();
  const NimoGpuStats g = NimoStandinGpuStats();
  const NimoDxgiStats x = NimoStandinDxgiStats();
  std::printf("loaded=%d\nfirst=%d\nsecond=%d\ncreates=%llu\nadapter=%d\ndriver=%d\nflags=%u\nsdk=%u\nlevels=%u\n"
              "adapters_live=%llu\nfactories_live=%llu\ndevice1=%d\n",
              NimoStandinGpuLoaded() ? 1 : 0, first ? 1 : 0, second ? 1 : 0,
              static_cast<unsigned long long>(g.device_create_calls), g.last_adapter_index, g.last_driver_type,
              g.last_create_flags, g.last_sdk_version, g.last_feature_level_count,
              static_cast<unsigned long long>(x.adapters_live), static_cast<unsigned long long>(x.factories_live),
              nimo::surfaces.gpu.device() ? 1 : 0);
  std::fflush(stdout);
}

// Child: a device, then a driver reset; new devices cannot be made for NIMO_TEST_FAILS
// attempts (the stand-in's scripted failure, cleared after them).
TEST(GpuDeviceChild, LoseAndMakeAgain) {
  if (!GetEnvironmentVariableA("NIMO_TEST_CHILD", nullptr, 0)) GTEST_SKIP() << "runs only as a child";
  nimo::GpuDevice& gpu = nimo::surfaces.gpu;
  const bool first = gpu.Ensure();
  std::printf("first=%d\ngeneration=%u\n", first ? 1 : 0, gpu.generation());
  std::printf("lost_before=%d\n", gpu.CheckRemoved("a check") ? 1 : 0);
  NimoStandinExport<NimoStandinRemoveAllDevicesFn>("d3d11.dll", "NimoStandinRemoveAllDevices")();
  const bool lost = gpu.CheckRemoved("a frame's copies");
  const bool lost_again = gpu.LostAfter(DXGI_ERROR_DEVICE_REMOVED, "an open");
  const bool ensure_while_lost = gpu.Ensure();
  std::printf("lost=%d\nlost_again=%d\nensure_while_lost=%d\n", lost ? 1 : 0, lost_again ? 1 : 0,
              ensure_while_lost ? 1 : 0);
  char text[16] = {};
  GetEnvironmentVariableA("NIMO_TEST_FAILS", text, sizeof text);
  const int fails = std::atoi(text);
  SetEnvironmentVariableA("NIMO_STANDIN_GPU_FAIL", "device");
  std::string delays;
  for (int i = 0; i < fails; ++i) {
    if (gpu.MakeAgain()) std::printf("made_early=%d\n", i);
    delays += std::to_string(gpu.RetryDelayMs()) + ",";
  }
  std::printf("delays=%s\n", delays.c_str());
  SetEnvironmentVariableA("NIMO_STANDIN_GPU_FAIL", nullptr);
  const bool again = gpu.MakeAgain();
  std::printf("again=%d\ngeneration_after=%u\nremoved_reason=0x%08lX\ncreates=%llu\n", again ? 1 : 0,
              gpu.generation(), gpu.device() ? static_cast<unsigned long>(gpu.device()->GetDeviceRemovedReason()) : 1ul,
              static_cast<unsigned long long>(NimoStandinGpuStats().device_create_calls));
  std::fflush(stdout);
}

using nimo_test::WithoutLineNumbers;

struct Outcome {
  std::string out;
  std::string log;
  std::string value(const char* key) const { return nimo_test::FindOutputValue(out, key); }
};

Outcome RunCase(const char* adapters, const char* failures = nullptr) {
  Env env = {{"NIMO_TEST_CHILD", "1"}, {"NIMO_STANDIN_GPU_ADAPTERS", adapters}};
  if (failures) env.push_back({"NIMO_STANDIN_GPU_FAIL", failures});
  nimo_test::ChildProcess child;
  Outcome o;
  EXPECT_TRUE(child.StartInSandbox("GpuDeviceChild.TryTwice", env));
  DWORD code = 1;
  EXPECT_TRUE(child.Finish(30000, &code, &o.out));
  EXPECT_EQ(0u, code) << o.out;
  EXPECT_EQ("1", o.value("loaded")) << o.out;
  o.log = WithoutLineNumbers(nimo_test::LogText(child.ReadSandboxFile("webengine.log")));
  // Every enumerated adapter and the factory were let go again.
  EXPECT_EQ("0", o.value("adapters_live")) << o.out;
  EXPECT_EQ("0", o.value("factories_live")) << o.out;
  return o;
}

const std::string kGpu = "[nimo-webengine][gpu] ";

TEST(GpuDevice, ChoosesTheAdapterWithTheMostDedicatedMemory) {
  Outcome o = RunCase("Alpha:4096,Beta:8192");
  EXPECT_EQ("1", o.value("first"));
  EXPECT_EQ("1", o.value("second"));
  EXPECT_EQ("1", o.value("creates"));
  EXPECT_EQ("1", o.value("adapter"));
  EXPECT_EQ(std::to_string(D3D_DRIVER_TYPE_UNKNOWN), o.value("driver"));
  // No debug layer, no BGRA flag, the runtime's default levels, D3D11_SDK_VERSION.
  EXPECT_EQ("0", o.value("flags"));
  EXPECT_EQ("0", o.value("levels"));
  EXPECT_EQ("7", o.value("sdk"));
  EXPECT_EQ(kGpu + "adapter 0: Alpha vram=4096MB software=0\n" + kGpu + "adapter 1: Beta vram=8192MB software=0\n" +
                kGpu + "using adapter: Beta (hr=0x00000000)\n",
            o.log);
}

TEST(GpuDevice, EqualMemoryKeepsTheLowerIndex) {
  Outcome o = RunCase("First:8192,Second:8192,Third:1024");
  EXPECT_EQ("0", o.value("adapter"));
  EXPECT_NE(std::string::npos, o.log.find("using adapter: First (hr=0x00000000)")) << o.log;
}

TEST(GpuDevice, SoftwareAndZeroMemoryAdaptersAreNeverChosen) {
  // Neither qualifies: the device goes to the system's default hardware adapter, and
  // nothing is said about a choice.
  Outcome o = RunCase("Zero:0,Soft:16384:sw");
  EXPECT_EQ("1", o.value("first"));
  EXPECT_EQ(std::to_string(D3D_DRIVER_TYPE_HARDWARE), o.value("driver"));
  EXPECT_EQ("0", o.value("adapter"));
  EXPECT_EQ(kGpu + "adapter 0: Zero vram=0MB software=0\n" + kGpu + "adapter 1: Soft vram=16384MB software=1\n",
            o.log);

  Outcome only_software = RunCase("Basic:0:sw");
  EXPECT_EQ("1", only_software.value("first"));
  EXPECT_EQ(std::to_string(D3D_DRIVER_TYPE_HARDWARE), only_software.value("driver"));
  EXPECT_EQ(std::string::npos, only_software.log.find("using adapter")) << only_software.log;
}

TEST(GpuDevice, NoFactoryStillTriesTheDefaultDevice) {
  Outcome o = RunCase("Alpha:4096", "factory");
  EXPECT_EQ("1", o.value("first"));
  EXPECT_EQ(std::to_string(D3D_DRIVER_TYPE_HARDWARE), o.value("driver"));
  EXPECT_EQ(kGpu + "CreateDXGIFactory1 FAILED hr=0x887A0004 (unsupported) at surfaces/gpu_device.cpp\n", o.log);
}

TEST(GpuDevice, FailedCreationIsFinalAndLoggedOnce) {
  Outcome o = RunCase("none");
  EXPECT_EQ("0", o.value("first"));
  EXPECT_EQ("0", o.value("second"));
  EXPECT_EQ("1", o.value("creates"));  // never retried
  EXPECT_EQ(kGpu + "D3D11CreateDevice FAILED hr=0x887A0004 (unsupported) at surfaces/gpu_device.cpp\n", o.log);

  // With a chosen adapter the result is reported beside its name first.
  Outcome chosen = RunCase("Alpha:4096", "device");
  EXPECT_EQ("0", chosen.value("first"));
  EXPECT_EQ("1", chosen.value("creates"));
  EXPECT_EQ(kGpu + "adapter 0: Alpha vram=4096MB software=0\n" + kGpu + "using adapter: Alpha (hr=0x887A0004)\n" +
                kGpu + "D3D11CreateDevice FAILED hr=0x887A0004 (unsupported) at surfaces/gpu_device.cpp\n",
            chosen.log);
}

TEST(GpuDevice, MissingDevice1IsFinal) {
  Outcome o = RunCase("Alpha:4096", "device1");
  EXPECT_EQ("0", o.value("first"));
  EXPECT_EQ("0", o.value("second"));
  EXPECT_EQ("1", o.value("creates"));
  EXPECT_EQ("0", o.value("device1"));
  EXPECT_NE(std::string::npos, o.log.find(kGpu + "ID3D11Device1 unavailable - no shared textures\n")) << o.log;
}

// A lost device is noticed once (one log line with the reason), nothing is made while it
// is lost, and MakeAgain retries with growing, capped waits until a device can be made.
TEST(GpuDevice, ALostDeviceIsLoggedOnceAndMadeAgainAfterFailedAttempts) {
  Env env = {{"NIMO_TEST_CHILD", "1"}, {"NIMO_STANDIN_GPU_ADAPTERS", "Alpha:4096"}, {"NIMO_TEST_FAILS", "6"}};
  nimo_test::ChildProcess child;
  ASSERT_TRUE(child.StartInSandbox("GpuDeviceChild.LoseAndMakeAgain", env));
  DWORD code = 1;
  std::string out;
  ASSERT_TRUE(child.Finish(30000, &code, &out));
  ASSERT_EQ(0u, code) << out;
  auto value = [&](const char* key) { return nimo_test::FindOutputValue(out, key); };
  EXPECT_EQ("1", value("first"));
  EXPECT_EQ("1", value("generation"));
  EXPECT_EQ("0", value("lost_before"));
  EXPECT_EQ("1", value("lost"));
  EXPECT_EQ("1", value("lost_again"));
  EXPECT_EQ("0", value("ensure_while_lost")) << "a lost device is made again only by the recovery";
  EXPECT_EQ("", value("made_early"));
  EXPECT_EQ("100,200,400,800,1600,2000,", value("delays"));
  EXPECT_EQ("1", value("again"));
  EXPECT_EQ("2", value("generation_after"));
  EXPECT_EQ("0x00000000", value("removed_reason"));
  EXPECT_EQ("8", value("creates"));  // the first, six failed, the new one
  const std::string log = WithoutLineNumbers(nimo_test::LogText(child.ReadSandboxFile("webengine.log")));
  const std::string lost_line =
      kGpu + "device lost (device removed, hr=0x887A0005) after a frame's copies - making a new device\n";
  EXPECT_NE(std::string::npos, log.find(lost_line)) << log;
  EXPECT_EQ(log.find("device lost"), log.rfind("device lost")) << "the loss was logged more than once:\n" << log;
  // The adapter is enumerated again for every attempt.
  std::size_t enumerations = 0;
  for (std::size_t at = log.find("adapter 0: Alpha"); at != std::string::npos; at = log.find("adapter 0: Alpha", at + 1))
    ++enumerations;
  EXPECT_EQ(8u, enumerations) << log;
}

TEST(GpuDevice, RetriesAreBounded) {
  Env env = {{"NIMO_TEST_CHILD", "1"}, {"NIMO_STANDIN_GPU_ADAPTERS", "Alpha:4096"}, {"NIMO_TEST_FAILS", "12"}};
  nimo_test::ChildProcess child;
  ASSERT_TRUE(child.StartInSandbox("GpuDeviceChild.LoseAndMakeAgain", env));
  DWORD code = 1;
  std::string out;
  ASSERT_TRUE(child.Finish(30000, &code, &out));
  ASSERT_EQ(0u, code) << out;
  // Twelve failed attempts: the last leaves no retry.
  EXPECT_EQ("100,200,400,800,1600,2000,2000,2000,2000,2000,2000,-1,", nimo_test::FindOutputValue(out, "delays"));
}

}  // namespace
