// The stand-in GPU must behave like the real runtime where the product and the reference
// client depend on it, or the product's pixel tests prove nothing: scripted adapters,
// device-creation rules, shared NT-handle textures that really share pixels across
// processes, copies that move exactly the pixels asked for, and counted bytes.
#include <windows.h>
#include <d3d11_4.h>
#include <dxgi1_2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testbed/gpu/standin_gpu.h"
#include "tests/support/child_process.h"

namespace {

template <typename T>
struct Ref {
  T* p = nullptr;
  ~Ref() { reset(); }
  void reset() {
    if (p) p->Release();
    p = nullptr;
  }
  T** out() {
    reset();
    return &p;
  }
  T* operator->() const { return p; }
};

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) { SetEnvironmentVariableA(name, value); }
  ~ScopedEnv() { SetEnvironmentVariableA(name_, nullptr); }

 private:
  const char* name_;
};

std::uint32_t PixelAt(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
  return 0xFF000000u | ((x * 7u + seed) & 0xFFu) << 16 | ((y * 13u + seed) & 0xFFu) << 8 | ((x ^ y) & 0xFFu);
}

std::vector<std::uint32_t> Pattern(std::uint32_t w, std::uint32_t h, std::uint32_t seed) {
  std::vector<std::uint32_t> px(static_cast<size_t>(w) * h);
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x) px[static_cast<size_t>(y) * w + x] = PixelAt(x, y, seed);
  return px;
}

std::uint64_t Fnv(const std::vector<std::uint32_t>& px) {
  std::uint64_t h = 1469598103934665603ull;
  for (std::uint32_t v : px) {
    h ^= v;
    h *= 1099511628211ull;
  }
  return h;
}

struct Gpu {
  Ref<ID3D11Device> device;
  Ref<ID3D11Device1> device1;
  Ref<ID3D11DeviceContext> context;
  bool Create() {
    HRESULT hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                   device.out(), nullptr, context.out());
    return SUCCEEDED(hr) && SUCCEEDED(device->QueryInterface(__uuidof(ID3D11Device1),
                                                             reinterpret_cast<void**>(device1.out())));
  }
  HRESULT MakeTexture(std::uint32_t w, std::uint32_t h, D3D11_USAGE usage, UINT bind, UINT cpu, UINT misc,
                      const std::vector<std::uint32_t>* init, ID3D11Texture2D** out) {
    D3D11_TEXTURE2D_DESC d = {};
    d.Width = w;
    d.Height = h;
    d.MipLevels = 1;
    d.ArraySize = 1;
    d.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    d.SampleDesc.Count = 1;
    d.Usage = usage;
    d.BindFlags = bind;
    d.CPUAccessFlags = cpu;
    d.MiscFlags = misc;
    D3D11_SUBRESOURCE_DATA data = {};
    if (init) {
      data.pSysMem = init->data();
      data.SysMemPitch = w * 4;
    }
    return device->CreateTexture2D(&d, init ? &data : nullptr, out);
  }
  HRESULT MakeShared(std::uint32_t w, std::uint32_t h, const std::vector<std::uint32_t>* init, ID3D11Texture2D** out) {
    return MakeTexture(w, h, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE, 0,
                       D3D11_RESOURCE_MISC_SHARED | D3D11_RESOURCE_MISC_SHARED_NTHANDLE, init, out);
  }
  // Reads a texture back the way the reference client does: staging copy, map, rows.
  std::vector<std::uint32_t> ReadBack(ID3D11Texture2D* texture) {
    D3D11_TEXTURE2D_DESC d;
    texture->GetDesc(&d);
    Ref<ID3D11Texture2D> staging;
    std::vector<std::uint32_t> px;
    if (FAILED(MakeTexture(d.Width, d.Height, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ, 0, nullptr,
                           staging.out())))
      return px;
    context->CopyResource(staging.p, texture);
    D3D11_MAPPED_SUBRESOURCE m = {};
    if (FAILED(context->Map(staging.p, 0, D3D11_MAP_READ, 0, &m))) return px;
    px.resize(static_cast<size_t>(d.Width) * d.Height);
    for (UINT y = 0; y < d.Height; ++y)
      memcpy(&px[static_cast<size_t>(y) * d.Width], static_cast<std::uint8_t*>(m.pData) + static_cast<size_t>(y) * m.RowPitch,
             d.Width * 4u);
    context->Unmap(staging.p, 0);
    return px;
  }
};

HANDLE ShareHandle(ID3D11Texture2D* texture, DWORD access) {
  Ref<IDXGIResource1> r;
  if (FAILED(texture->QueryInterface(__uuidof(IDXGIResource1), reinterpret_cast<void**>(r.out())))) return nullptr;
  HANDLE h = nullptr;
  if (FAILED(r->CreateSharedHandle(nullptr, access, nullptr, &h))) return nullptr;
  return h;
}

const DWORD kReadWrite = DXGI_SHARED_RESOURCE_READ | DXGI_SHARED_RESOURCE_WRITE;

TEST(StandinGpu, ReplacesTheSystemLibraries) {
  Gpu gpu;  // links both libraries in
  ASSERT_TRUE(gpu.Create());
  EXPECT_TRUE(NimoStandinGpuLoaded());
}

TEST(StandinGpu, EnumeratesScriptedAdaptersAndReleasesThem) {
  ScopedEnv env("NIMO_STANDIN_GPU_ADAPTERS", "Alpha 4G:4096,Gr\xC3\xA4" "fik 8G:8192,Soft:0:sw");
  std::uint64_t live_before = NimoStandinDxgiStats().adapters_live;
  Ref<IDXGIFactory1> factory;
  ASSERT_EQ(S_OK, CreateDXGIFactory1(__uuidof(IDXGIFactory1), reinterpret_cast<void**>(factory.out())));
  std::vector<DXGI_ADAPTER_DESC1> descs;
  for (UINT i = 0;; ++i) {
    Ref<IDXGIAdapter1> a;
    HRESULT hr = factory->EnumAdapters1(i, a.out());
    if (hr != S_OK) {
      EXPECT_EQ(DXGI_ERROR_NOT_FOUND, hr);
      EXPECT_EQ(nullptr, a.p);
      break;
    }
    DXGI_ADAPTER_DESC1 d;
    ASSERT_EQ(S_OK, a->GetDesc1(&d));
    descs.push_back(d);
  }
  ASSERT_EQ(3u, descs.size());
  EXPECT_EQ(std::wstring(L"Alpha 4G"), descs[0].Description);
  EXPECT_EQ(std::wstring(L"Gr\u00e4fik 8G"), descs[1].Description);
  EXPECT_EQ(4096ull << 20, descs[0].DedicatedVideoMemory);
  EXPECT_EQ(8192ull << 20, descs[1].DedicatedVideoMemory);
  EXPECT_EQ(0u, descs[0].Flags & DXGI_ADAPTER_FLAG_SOFTWARE);
  EXPECT_NE(0u, descs[2].Flags & DXGI_ADAPTER_FLAG_SOFTWARE);
  EXPECT_EQ(live_before, NimoStandinDxgiStats().adapters_live);

  ScopedEnv none("NIMO_STANDIN_GPU_ADAPTERS", "none");
  Ref<IDXGIFactory1> empty;
  ASSERT_EQ(S_OK, CreateDXGIFactory1(__uuidof(IDXGIFactory1), reinterpret_cast<void**>(empty.out())));
  Ref<IDXGIAdapter1> a;
  EXPECT_EQ(DXGI_ERROR_NOT_FOUND, empty->EnumAdapters1(0, a.out()));
}

TEST(StandinGpu, DeviceCreationFollowsTheRuntimeRules) {
  ScopedEnv env("NIMO_STANDIN_GPU_ADAPTERS", "Alpha:4096,Beta:8192");
  Ref<IDXGIFactory1> factory;
  ASSERT_EQ(S_OK, CreateDXGIFactory1(__uuidof(IDXGIFactory1), reinterpret_cast<void**>(factory.out())));
  Ref<IDXGIAdapter1> beta;
  ASSERT_EQ(S_OK, factory->EnumAdapters1(1, beta.out()));
  Ref<ID3D11Device> device;
  Ref<ID3D11DeviceContext> context;
  // An explicit adapter requires the unknown driver type, and no adapter forbids it.
  EXPECT_EQ(E_INVALIDARG, D3D11CreateDevice(beta.p, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                            D3D11_SDK_VERSION, device.out(), nullptr, context.out()));
  EXPECT_EQ(E_INVALIDARG, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, nullptr, 0,
                                            D3D11_SDK_VERSION, device.out(), nullptr, context.out()));
  EXPECT_EQ(E_INVALIDARG, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, 6,
                                            device.out(), nullptr, context.out()));
  EXPECT_EQ(nullptr, device.p);

  D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_9_1;
  ASSERT_EQ(S_OK, D3D11CreateDevice(beta.p, D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                    device.out(), &level, context.out()));
  NimoGpuStats s = NimoStandinGpuStats();
  EXPECT_EQ(1, s.last_adapter_index);
  EXPECT_STREQ("Beta", s.last_adapter_name);
  EXPECT_EQ(D3D_FEATURE_LEVEL_11_0, level);

  ASSERT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                    device.out(), nullptr, context.out()));
  EXPECT_EQ(0, NimoStandinGpuStats().last_adapter_index);  // the default adapter

  {
    ScopedEnv fail("NIMO_STANDIN_GPU_FAIL", "device1");
    Ref<ID3D11Device1> d1;
    EXPECT_EQ(E_NOINTERFACE, device->QueryInterface(__uuidof(ID3D11Device1), reinterpret_cast<void**>(d1.out())));
  }
  Ref<ID3D11Device1> d1;
  EXPECT_EQ(S_OK, device->QueryInterface(__uuidof(ID3D11Device1), reinterpret_cast<void**>(d1.out())));

  ScopedEnv none("NIMO_STANDIN_GPU_ADAPTERS", "none");
  EXPECT_EQ(DXGI_ERROR_UNSUPPORTED, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                                      D3D11_SDK_VERSION, device.out(), nullptr, context.out()));
}

TEST(StandinGpu, RejectsTextureDescriptionsTheRuntimeRejects) {
  Gpu gpu;
  ASSERT_TRUE(gpu.Create());
  Ref<ID3D11Texture2D> t;
  EXPECT_EQ(E_INVALIDARG, gpu.MakeTexture(64, 64, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE, 0,
                                          D3D11_RESOURCE_MISC_SHARED_NTHANDLE, nullptr, t.out()));
  EXPECT_EQ(E_INVALIDARG, gpu.MakeTexture(64, 64, D3D11_USAGE_STAGING, D3D11_BIND_SHADER_RESOURCE,
                                          D3D11_CPU_ACCESS_READ, 0, nullptr, t.out()));
  EXPECT_EQ(E_INVALIDARG, gpu.MakeTexture(0, 64, D3D11_USAGE_DEFAULT, 0, 0, 0, nullptr, t.out()));
  EXPECT_EQ(nullptr, t.p);
  // Only textures made with the NT-handle flag give an NT handle.
  ASSERT_EQ(S_OK, gpu.MakeTexture(8, 8, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE, 0,
                                  D3D11_RESOURCE_MISC_SHARED, nullptr, t.out()));
  EXPECT_EQ(nullptr, ShareHandle(t.p, kReadWrite));
}

TEST(StandinGpu, CopiesMoveExactlyTheRequestedPixelsAndCountBytes) {
  Gpu gpu;
  ASSERT_TRUE(gpu.Create());
  const std::uint32_t w = 70, h = 50;  // rows not a multiple of the padded pitch
  std::vector<std::uint32_t> a = Pattern(w, h, 1), b = Pattern(w, h, 99);
  Ref<ID3D11Texture2D> src, dst;
  ASSERT_EQ(S_OK, gpu.MakeShared(w, h, &a, src.out()));
  ASSERT_EQ(S_OK, gpu.MakeShared(w, h, &b, dst.out()));
  NimoStandinResetStats();

  D3D11_BOX box = {10, 5, 0, 30, 25, 1};
  gpu.context->CopySubresourceRegion(dst.p, 0, 10, 5, 0, src.p, 0, &box);
  gpu.context->Flush();
  std::vector<std::uint32_t> got = gpu.ReadBack(dst.p);
  ASSERT_EQ(a.size(), got.size());
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x) {
      bool inside = x >= 10 && x < 30 && y >= 5 && y < 25;
      ASSERT_EQ(inside ? a[y * w + x] : b[y * w + x], got[y * w + x]) << x << "," << y;
    }
  NimoGpuStats s = NimoStandinGpuStats();
  EXPECT_EQ(1u, s.copy_region_calls);
  EXPECT_EQ(20u * 20u * 4u, s.copy_region_bytes);
  EXPECT_EQ(20u * 20u * 4u, s.last_flush_bytes);
  EXPECT_EQ(0u, s.invalid_calls);

  // A box reaching outside the source is dropped, as the runtime drops it.
  D3D11_BOX outside = {60, 0, 0, 71, 10, 1};
  gpu.context->CopySubresourceRegion(dst.p, 0, 0, 0, 0, src.p, 0, &outside);
  EXPECT_EQ(1u, NimoStandinGpuStats().invalid_calls);
  EXPECT_EQ(got, gpu.ReadBack(dst.p));

  NimoStandinResetStats();
  gpu.context->CopyResource(dst.p, src.p);
  s = NimoStandinGpuStats();
  EXPECT_EQ(1u, s.copy_resource_calls);
  EXPECT_EQ(static_cast<std::uint64_t>(w) * h * 4u, s.copy_resource_bytes);
  EXPECT_EQ(a, gpu.ReadBack(dst.p));

  std::vector<std::uint32_t> c = Pattern(w, h, 7);
  gpu.context->UpdateSubresource(dst.p, 0, nullptr, c.data(), w * 4u, 0);
  EXPECT_EQ(c, gpu.ReadBack(dst.p));

  Ref<ID3D11Texture2D> other;
  ASSERT_EQ(S_OK, gpu.MakeShared(w + 1, h, nullptr, other.out()));
  gpu.context->CopyResource(other.p, src.p);
  EXPECT_EQ(1u, NimoStandinGpuStats().invalid_calls);
}

TEST(StandinGpu, ReadOnlyHandleGivesAReadOnlyTexture) {
  Gpu gpu;
  ASSERT_TRUE(gpu.Create());
  std::vector<std::uint32_t> a = Pattern(16, 16, 3);
  Ref<ID3D11Texture2D> t, opened, src;
  ASSERT_EQ(S_OK, gpu.MakeShared(16, 16, &a, t.out()));
  ASSERT_EQ(S_OK, gpu.MakeShared(16, 16, nullptr, src.out()));
  HANDLE h = ShareHandle(t.p, DXGI_SHARED_RESOURCE_READ);
  ASSERT_NE(nullptr, h);
  EXPECT_EQ(DXGI_SHARED_RESOURCE_READ, NimoStandinGpuStats().last_shared_access);
  ASSERT_EQ(S_OK, gpu.device1->OpenSharedResource1(h, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(opened.out())));
  CloseHandle(h);  // the opened texture outlives the handle
  EXPECT_EQ(a, gpu.ReadBack(opened.p));
  std::uint64_t invalid = NimoStandinGpuStats().invalid_calls;
  gpu.context->CopyResource(opened.p, src.p);
  EXPECT_EQ(invalid + 1, NimoStandinGpuStats().invalid_calls);
  EXPECT_EQ(a, gpu.ReadBack(t.p));
}

TEST(StandinGpu, OpenRejectsHandlesThatAreNoSharedTexture) {
  Gpu gpu;
  ASSERT_TRUE(gpu.Create());
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
  Ref<ID3D11Texture2D> t;
  EXPECT_EQ(E_INVALIDARG, gpu.device1->OpenSharedResource1(event, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(t.out())));
  EXPECT_EQ(E_INVALIDARG, gpu.device1->OpenSharedResource1(section, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(t.out())));
  EXPECT_EQ(E_INVALIDARG, gpu.device1->OpenSharedResource1(nullptr, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(t.out())));
  CloseHandle(event);
  CloseHandle(section);
}

TEST(StandinGpu, LiveCountsFollowReleases) {
  std::uint64_t textures = NimoStandinGpuStats().textures_live;
  std::uint64_t devices = NimoStandinGpuStats().devices_live;
  {
    Gpu gpu;
    ASSERT_TRUE(gpu.Create());
    Ref<ID3D11Texture2D> t;
    ASSERT_EQ(S_OK, gpu.MakeShared(4, 4, nullptr, t.out()));
    EXPECT_EQ(textures + 1, NimoStandinGpuStats().textures_live);
    EXPECT_EQ(devices + 1, NimoStandinGpuStats().devices_live);
  }
  EXPECT_EQ(textures, NimoStandinGpuStats().textures_live);
  EXPECT_EQ(devices, NimoStandinGpuStats().devices_live);
}

// Child side of the cross-process test: opens the handle value it is given on standard
// input, prints a hash of the pixels, and paints one pixel white through the share.
TEST(StandinGpuChild, OpensDuplicatedHandle) {
  if (!GetEnvironmentVariableA("NIMO_TEST_CHILD", nullptr, 0)) GTEST_SKIP() << "runs only as a child";
  std::string line = nimo_test::ReadStdinLine();
  HANDLE h = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::stoull(line)));
  Gpu gpu;
  ASSERT_TRUE(gpu.Create());
  Ref<ID3D11Texture2D> t;
  ASSERT_EQ(S_OK, gpu.device1->OpenSharedResource1(h, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(t.out())));
  D3D11_TEXTURE2D_DESC d;
  t->GetDesc(&d);
  std::vector<std::uint32_t> px = gpu.ReadBack(t.p);
  printf("size=%ux%u\nhash=%llu\n", d.Width, d.Height, static_cast<unsigned long long>(Fnv(px)));
  std::uint32_t white = 0xFFFFFFFFu;
  D3D11_BOX one = {3, 2, 0, 4, 3, 1};
  gpu.context->UpdateSubresource(t.p, 0, &one, &white, 4, 0);
  gpu.context->Flush();
  fflush(stdout);
}

TEST(StandinGpu, SharedHandleSharesPixelsWithAnotherProcess) {
  Gpu gpu;
  ASSERT_TRUE(gpu.Create());
  std::vector<std::uint32_t> a = Pattern(33, 17, 5);
  Ref<ID3D11Texture2D> t;
  ASSERT_EQ(S_OK, gpu.MakeShared(33, 17, &a, t.out()));
  HANDLE h = ShareHandle(t.p, kReadWrite);
  ASSERT_NE(nullptr, h);

  nimo_test::ChildProcess child;
  ASSERT_TRUE(child.Start("StandinGpuChild.OpensDuplicatedHandle", {{"NIMO_TEST_CHILD", "1"}}));
  HANDLE in_child = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), h, child.process(), &in_child, 0, FALSE, DUPLICATE_SAME_ACCESS));
  CloseHandle(h);
  ASSERT_TRUE(child.SendLine(std::to_string(reinterpret_cast<std::uintptr_t>(in_child))));
  DWORD code = 1;
  std::string out;
  ASSERT_TRUE(child.Finish(30000, &code, &out)) << out;
  EXPECT_EQ(0u, code) << out;
  EXPECT_EQ("33x17", nimo_test::FindOutputValue(out, "size")) << out;
  EXPECT_EQ(std::to_string(Fnv(a)), nimo_test::FindOutputValue(out, "hash")) << out;

  std::vector<std::uint32_t> now = gpu.ReadBack(t.p);
  a[2 * 33 + 3] = 0xFFFFFFFFu;
  EXPECT_EQ(a, now);
}

TEST(StandinGpu, DeviceFreeHelpersShareAndReadPixels) {
  auto share = NimoStandinExport<NimoStandinShareTextureFn>("d3d11.dll", "NimoStandinShareTexture");
  auto write = NimoStandinExport<NimoStandinWriteTextureFn>("d3d11.dll", "NimoStandinWriteTexture");
  auto read = NimoStandinExport<NimoStandinReadTextureFn>("d3d11.dll", "NimoStandinReadTexture");
  Gpu gpu;
  ASSERT_TRUE(gpu.Create());
  ASSERT_TRUE(share && write && read);
  std::vector<std::uint32_t> a = Pattern(20, 10, 8);
  HANDLE h = share(20, 10, DXGI_FORMAT_B8G8R8A8_UNORM, a.data(), 80);
  ASSERT_NE(nullptr, h);
  std::uint32_t patch[4] = {1, 2, 3, 4};
  EXPECT_TRUE(write(h, 18, 8, 2, 2, patch, 8));
  EXPECT_FALSE(write(h, 19, 8, 2, 2, patch, 8));
  a[8 * 20 + 18] = 1;
  a[8 * 20 + 19] = 2;
  a[9 * 20 + 18] = 3;
  a[9 * 20 + 19] = 4;
  Ref<ID3D11Texture2D> t;
  ASSERT_EQ(S_OK, gpu.device1->OpenSharedResource1(h, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(t.out())));
  EXPECT_EQ(a, gpu.ReadBack(t.p));
  std::vector<std::uint32_t> back(a.size());
  std::uint32_t w = 0, hh = 0, f = 0;
  EXPECT_TRUE(read(h, &w, &hh, &f, back.data(), back.size() * 4));
  EXPECT_EQ(a, back);
  EXPECT_EQ(static_cast<std::uint32_t>(DXGI_FORMAT_B8G8R8A8_UNORM), f);
  CloseHandle(h);
}

// With NIMO_STANDIN_GPU_DELAY_US a device's work runs on its own timeline, after the
// Flush that submits it; another device reading the shared texture without waiting sees
// the old picture, the device's own Map waits for its work, and nothing runs unflushed.
TEST(StandinGpu, DelayedDeviceRunsItsWorkAfterTheFlushAndOnlyItsOwnMapWaits) {
  Gpu writer, reader;
  {
    ScopedEnv delay("NIMO_STANDIN_GPU_DELAY_US", "300000");
    ASSERT_TRUE(writer.Create());
  }
  ASSERT_TRUE(reader.Create());
  const std::vector<std::uint32_t> before = Pattern(16, 8, 1), after = Pattern(16, 8, 2), later = Pattern(16, 8, 3);
  Ref<ID3D11Texture2D> t;
  ASSERT_EQ(S_OK, writer.MakeShared(16, 8, &before, t.out()));
  HANDLE h = ShareHandle(t.p, kReadWrite);
  ASSERT_NE(nullptr, h);
  Ref<ID3D11Texture2D> seen;
  ASSERT_EQ(S_OK, reader.device1->OpenSharedResource1(h, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(seen.out())));
  CloseHandle(h);

  writer.context->UpdateSubresource(t.p, 0, nullptr, after.data(), 16 * 4, 0);
  writer.context->Flush();
  EXPECT_EQ(before, reader.ReadBack(seen.p)) << "the reader's Map waited for another device's work";
  EXPECT_EQ(after, writer.ReadBack(t.p)) << "the writer's own Map did not wait for its work";
  EXPECT_EQ(after, reader.ReadBack(seen.p));

  writer.context->UpdateSubresource(t.p, 0, nullptr, later.data(), 16 * 4, 0);
  Sleep(450);
  EXPECT_EQ(after, reader.ReadBack(seen.p)) << "work ran without a Flush";
  writer.context->Flush();
  Sleep(450);  // the delay is 300 ms
  EXPECT_EQ(later, reader.ReadBack(seen.p));
}

// A shared fence orders two devices: the reader's Wait holds its copy back until the
// writer's Signal has run, and CPU waits see the value only then.
TEST(StandinGpu, SharedFenceOrdersTwoDevicesAndWakesCpuWaiters) {
  Gpu writer, reader;
  {
    ScopedEnv delay("NIMO_STANDIN_GPU_DELAY_US", "300000");
    ASSERT_TRUE(writer.Create());
  }
  ASSERT_TRUE(reader.Create());
  Ref<ID3D11Device5> writer5, reader5;
  Ref<ID3D11DeviceContext4> writer_context4, reader_context4;
  ASSERT_EQ(S_OK, writer.device->QueryInterface(__uuidof(ID3D11Device5), reinterpret_cast<void**>(writer5.out())));
  ASSERT_EQ(S_OK, reader.device->QueryInterface(__uuidof(ID3D11Device5), reinterpret_cast<void**>(reader5.out())));
  ASSERT_EQ(S_OK, writer.context->QueryInterface(__uuidof(ID3D11DeviceContext4),
                                                 reinterpret_cast<void**>(writer_context4.out())));
  ASSERT_EQ(S_OK, reader.context->QueryInterface(__uuidof(ID3D11DeviceContext4),
                                                 reinterpret_cast<void**>(reader_context4.out())));

  Ref<ID3D11Fence> local, unshared;
  ASSERT_EQ(S_OK, writer5->CreateFence(0, D3D11_FENCE_FLAG_SHARED, __uuidof(ID3D11Fence), reinterpret_cast<void**>(local.out())));
  ASSERT_EQ(S_OK, writer5->CreateFence(0, D3D11_FENCE_FLAG_NONE, __uuidof(ID3D11Fence), reinterpret_cast<void**>(unshared.out())));
  HANDLE fence_handle = nullptr;
  EXPECT_EQ(DXGI_ERROR_INVALID_CALL, unshared->CreateSharedHandle(nullptr, GENERIC_ALL, nullptr, &fence_handle));
  ASSERT_EQ(S_OK, local->CreateSharedHandle(nullptr, GENERIC_ALL, nullptr, &fence_handle));
  Ref<ID3D11Fence> remote;
  ASSERT_EQ(S_OK, reader5->OpenSharedFence(fence_handle, __uuidof(ID3D11Fence), reinterpret_cast<void**>(remote.out())));
  CloseHandle(fence_handle);

  const std::vector<std::uint32_t> before = Pattern(8, 8, 4), after = Pattern(8, 8, 5);
  Ref<ID3D11Texture2D> t, seen, staging;
  ASSERT_EQ(S_OK, writer.MakeShared(8, 8, &before, t.out()));
  HANDLE h = ShareHandle(t.p, kReadWrite);
  ASSERT_EQ(S_OK, reader.device1->OpenSharedResource1(h, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(seen.out())));
  CloseHandle(h);
  ASSERT_EQ(S_OK, reader.MakeTexture(8, 8, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ, 0, nullptr, staging.out()));

  HANDLE reached = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_EQ(S_OK, remote->SetEventOnCompletion(1, reached));
  writer.context->UpdateSubresource(t.p, 0, nullptr, after.data(), 8 * 4, 0);
  ASSERT_EQ(S_OK, writer_context4->Signal(local.p, 1));
  writer.context->Flush();
  EXPECT_EQ(0u, remote->GetCompletedValue());
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(reached, 0));

  ASSERT_EQ(S_OK, reader_context4->Wait(remote.p, 1));
  reader.context->CopyResource(staging.p, seen.p);
  D3D11_MAPPED_SUBRESOURCE m = {};
  ASSERT_EQ(S_OK, reader.context->Map(staging.p, 0, D3D11_MAP_READ, 0, &m));
  std::vector<std::uint32_t> px(64);
  for (UINT y = 0; y < 8; ++y)
    memcpy(&px[y * 8], static_cast<std::uint8_t*>(m.pData) + static_cast<size_t>(y) * m.RowPitch, 32);
  reader.context->Unmap(staging.p, 0);
  EXPECT_EQ(after, px) << "the reader's copy ran before the fence it waited for";
  EXPECT_EQ(1u, remote->GetCompletedValue());
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(reached, 5000));
  CloseHandle(reached);
}

// A keyed mutex is handed on by key, and a release is seen only after the work before it.
TEST(StandinGpu, KeyedMutexHandsTheTextureOnByKey) {
  Gpu writer, reader;
  {
    ScopedEnv delay("NIMO_STANDIN_GPU_DELAY_US", "200000");
    ASSERT_TRUE(writer.Create());
  }
  ASSERT_TRUE(reader.Create());
  const std::vector<std::uint32_t> before = Pattern(8, 4, 6), after = Pattern(8, 4, 7);
  Ref<ID3D11Texture2D> plain, t, seen;
  ASSERT_EQ(S_OK, writer.MakeShared(8, 4, &before, plain.out()));
  Ref<IDXGIKeyedMutex> none;
  EXPECT_EQ(E_NOINTERFACE, plain->QueryInterface(__uuidof(IDXGIKeyedMutex), reinterpret_cast<void**>(none.out())));
  ASSERT_EQ(S_OK, writer.MakeTexture(8, 4, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE, 0,
                                     D3D11_RESOURCE_MISC_SHARED_KEYEDMUTEX | D3D11_RESOURCE_MISC_SHARED_NTHANDLE,
                                     &before, t.out()));
  HANDLE h = ShareHandle(t.p, kReadWrite);
  ASSERT_EQ(S_OK, reader.device1->OpenSharedResource1(h, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(seen.out())));
  CloseHandle(h);
  Ref<IDXGIKeyedMutex> mine, theirs;
  ASSERT_EQ(S_OK, t->QueryInterface(__uuidof(IDXGIKeyedMutex), reinterpret_cast<void**>(mine.out())));
  ASSERT_EQ(S_OK, seen->QueryInterface(__uuidof(IDXGIKeyedMutex), reinterpret_cast<void**>(theirs.out())));

  EXPECT_EQ(DXGI_ERROR_INVALID_CALL, mine->ReleaseSync(1)) << "released without holding it";
  ASSERT_EQ(S_OK, mine->AcquireSync(0, 0));
  EXPECT_EQ(static_cast<HRESULT>(WAIT_TIMEOUT), theirs->AcquireSync(0, 30));
  writer.context->UpdateSubresource(t.p, 0, nullptr, after.data(), 8 * 4, 0);
  ASSERT_EQ(S_OK, mine->ReleaseSync(1));
  EXPECT_EQ(static_cast<HRESULT>(WAIT_TIMEOUT), theirs->AcquireSync(0, 30)) << "acquired with the wrong key";
  ASSERT_EQ(S_OK, theirs->AcquireSync(1, 5000));
  EXPECT_EQ(after, reader.ReadBack(seen.p)) << "the mutex was handed on before the work before its release";
  EXPECT_EQ(S_OK, theirs->ReleaseSync(0));
  EXPECT_EQ(S_OK, mine->AcquireSync(0, 5000));
  EXPECT_EQ(S_OK, mine->ReleaseSync(0));
}

// NimoStandinRemoveAllDevices loses every device of the process at once, as a driver
// reset does; a device made afterwards works.
TEST(StandinGpu, RemovingAllDevicesFailsEveryLaterCallOnThemAndNewDevicesWork) {
  auto remove_all = NimoStandinExport<NimoStandinRemoveAllDevicesFn>("d3d11.dll", "NimoStandinRemoveAllDevices");
  ASSERT_NE(nullptr, remove_all);
  Gpu a, b;
  ASSERT_TRUE(a.Create());
  {
    ScopedEnv delay("NIMO_STANDIN_GPU_DELAY_US", "1000");
    ASSERT_TRUE(b.Create());
  }
  const std::vector<std::uint32_t> px = Pattern(4, 4, 9), other = Pattern(4, 4, 10);
  Ref<ID3D11Texture2D> t, staging;
  ASSERT_EQ(S_OK, a.MakeShared(4, 4, &px, t.out()));
  ASSERT_EQ(S_OK, a.MakeTexture(4, 4, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ, 0, nullptr, staging.out()));
  remove_all();
  for (Gpu* gpu : {&a, &b}) {
    EXPECT_EQ(DXGI_ERROR_DEVICE_REMOVED, gpu->device->GetDeviceRemovedReason());
    Ref<ID3D11Texture2D> more;
    EXPECT_EQ(DXGI_ERROR_DEVICE_REMOVED, gpu->MakeShared(4, 4, nullptr, more.out()));
  }
  EXPECT_EQ(nullptr, ShareHandle(t.p, kReadWrite));
  a.context->UpdateSubresource(t.p, 0, nullptr, other.data(), 16, 0);  // dropped
  a.context->CopyResource(staging.p, t.p);                              // dropped
  D3D11_MAPPED_SUBRESOURCE m = {};
  EXPECT_EQ(DXGI_ERROR_DEVICE_REMOVED, a.context->Map(staging.p, 0, D3D11_MAP_READ, 0, &m));

  Gpu fresh;
  ASSERT_TRUE(fresh.Create());
  EXPECT_EQ(S_OK, fresh.device->GetDeviceRemovedReason());
  Ref<ID3D11Texture2D> ok;
  ASSERT_EQ(S_OK, fresh.MakeShared(4, 4, &px, ok.out()));
  EXPECT_EQ(px, fresh.ReadBack(ok.p));
}

}  // namespace

namespace {

TEST(StandinGpuChild, CallsAnUnimplementedSlot) {
  if (!GetEnvironmentVariableA("NIMO_TEST_CHILD", nullptr, 0)) GTEST_SKIP() << "runs only as a child";
  Gpu gpu;
  ASSERT_TRUE(gpu.Create());
  gpu.device->GetCreationFlags();  // never implemented: must end the process
  printf("survived=1\n");
}

TEST(StandinGpu, UnimplementedSlotEndsTheProcessLoudly) {
  nimo_test::ChildProcess child;
  ASSERT_TRUE(child.Start("StandinGpuChild.CallsAnUnimplementedSlot", {{"NIMO_TEST_CHILD", "1"}}));
  DWORD code = 0;
  std::string out;
  ASSERT_TRUE(child.Finish(30000, &code, &out));
  EXPECT_EQ(0xE0D30000u, code & 0xFFFF0000u) << out;
  EXPECT_NE(std::string::npos, out.find("UNIMPLEMENTED ID3D11Device5 slot")) << out;
  EXPECT_EQ("", nimo_test::FindOutputValue(out, "survived"));
}

}  // namespace
