#include "bench/ring_figures.h"

#include <d3d11_4.h>
#include <wrl/client.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/frame_session.h"
#include "bench/paint_latency.h"
#include "protocol/commands.h"
#include "protocol/frame_ring.h"

namespace nimo_bench {

using Microsoft::WRL::ComPtr;
using nimo::test::Report;
using nimo_test::ScenarioWriter;

namespace {

constexpr int kPaints = 600;
constexpr int kPaintSpacingMs = 8;
constexpr int kWidth = 64, kHeight = 64;
constexpr std::uint32_t kGpuSurface = 0;
constexpr std::uint32_t kCpuSurface = 2;
const char kCpuUrl[] = "https://bench.test/cpu";

HANDLE AsHandle(std::uint64_t value) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)); }

std::vector<std::string> SpacedPaints() {
  std::vector<std::string> actions = {"load_start", "load_end", "wait 800"};
  for (int i = 0; i < kPaints; ++i) {
    char paint[96];
    std::snprintf(paint, sizeof paint, "paint pattern=solid color=0xFF%06X", 0x102030 + i);
    actions.push_back(paint);
    actions.push_back("wait " + std::to_string(kPaintSpacingMs));
  }
  return actions;
}

// A client of the ring as a program would be one: its own device, each slot opened once,
// a GPU-side wait on the fence, a copy of the slot, Map.
class RingReader {
 public:
  bool Init() {
    ComPtr<ID3D11Device> device;
    if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION, &device,
                                 nullptr, &context_)))
      return false;
    return SUCCEEDED(device.As(&device_)) && SUCCEEDED(context_.As(&context4_));
  }
  void OnFence(std::uint64_t handle) {
    fence_.Reset();
    device_->OpenSharedFence(AsHandle(handle), __uuidof(ID3D11Fence), reinterpret_cast<void**>(fence_.GetAddressOf()));
  }
  // Returns the performance counter right after the pixels were mapped; 0 when not read.
  long long Read(const nimo::FrameReady3Fields& f) {
    ComPtr<ID3D11Texture2D>& slot = slots_[f.slot];
    if ((f.flags & nimo::kFrameReady3NewTexture) != 0 || !slot) {
      slot.Reset();
      if (FAILED(device_->OpenSharedResource1(AsHandle(f.client_handle), __uuidof(ID3D11Texture2D),
                                              reinterpret_cast<void**>(slot.GetAddressOf()))))
        return 0;
      D3D11_TEXTURE2D_DESC d;
      slot->GetDesc(&d);
      d.Usage = D3D11_USAGE_STAGING;
      d.BindFlags = 0;
      d.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
      d.MiscFlags = 0;
      staging_.Reset();
      if (FAILED(device_->CreateTexture2D(&d, nullptr, &staging_))) return 0;
    }
    if (fence_) context4_->Wait(fence_.Get(), f.fence_value);
    context_->CopyResource(staging_.Get(), slot.Get());
    D3D11_MAPPED_SUBRESOURCE m = {};
    if (FAILED(context_->Map(staging_.Get(), 0, D3D11_MAP_READ, 0, &m))) return 0;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    context_->Unmap(staging_.Get(), 0);
    return now.QuadPart;
  }

 private:
  ComPtr<ID3D11Device5> device_;
  ComPtr<ID3D11DeviceContext> context_;
  ComPtr<ID3D11DeviceContext4> context4_;
  ComPtr<ID3D11Fence> fence_;
  ComPtr<ID3D11Texture2D> slots_[nimo::kFrameRingMax];
  ComPtr<ID3D11Texture2D> staging_;
};

struct RingPath {
  PaintLatency pooled;
  std::vector<long long> age;  // paint time → pixels mapped, microseconds
  std::size_t paints = 0, frames = 0, gaps = 0;
  long exit_code = 0;
};

void MeasurePath(bool shared_texture, RingPath* total) {
  const std::uint32_t surface = shared_texture ? kGpuSurface : kCpuSurface;
  ScenarioWriter scenario;
  scenario.Page(shared_texture ? "about:blank#ui" : kCpuUrl, SpacedPaints());
  FrameSessionOptions options;
  options.scenario = scenario.Text();
  options.switches = "--nimomp-frame-ring=3";
  options.protocol = 3;
  FrameSession s(options);
  RingReader reader;
  if (!reader.Init() || !s.Start()) {
    std::printf("frame ring: the engine did not start\n");
    total->exit_code = -1;
    return;
  }
  if (shared_texture) {
    s.client().SendSurfaceCommand(nimo::kMsgResizeSurface, kGpuSurface, kWidth, kHeight, 0);
  } else {
    s.client().SendSurfaceCommand(nimo::kMsgCreateSurface, kCpuSurface, kWidth, kHeight, 0, kCpuUrl);
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<long long> received;
  std::uint64_t last_number = 0;
  const ULONGLONG deadline = GetTickCount64() + 60000;
  Report r;
  while (GetTickCount64() < deadline) {
    if (!s.client().Read(&r, 1500)) break;
    if (r.type == nimo::kMsgFrameFence) {
      std::uint64_t handle = 0;
      if (nimo::DecodeFrameFence(r.payload.data(), r.payload.size(), &handle)) reader.OnFence(handle);
      continue;
    }
    nimo::FrameReady3Fields f;
    if (r.type != nimo::kMsgFrameReady3 || !nimo::DecodeFrameReady3(r.payload.data(), r.payload.size(), &f)) continue;
    const long long now = NowMicros();
    if (f.surface_id == surface && f.width == kWidth && f.height == kHeight) {
      received.push_back(now);
      const long long mapped = reader.Read(f);
      if (mapped != 0)
        total->age.push_back((mapped - static_cast<long long>(f.paint_time)) * 1000000 / frequency.QuadPart);
      if (last_number != 0 && f.frame_number != last_number + 1) ++total->gaps;
      last_number = f.frame_number;
    }
    s.client().SendRaw(nimo::protocol::FrameRelease(f.surface_id, f.slot));
  }
  const long exit_code = s.Stop();
  const std::vector<PaintCall> calls = PaintCalls(s.journal(), shared_texture ? "gpu" : "cpu", kWidth, kHeight);
  Pool(&total->pooled, PairWithReads(calls, received));
  total->paints += calls.size();
  total->frames += received.size();
  if (exit_code != 0) total->exit_code = exit_code;
}

}  // namespace

void MeasureRing(const RawFigures& earlier, Table* table) {
  RawFigures raw = earlier;
  raw.from_peer_samples.clear();
  RingPath gpu, cpu;
  for (int round = 0; round < kLatencyRounds; ++round) {
    RawFigures r;
    if (!MeasureRawLatency(&r, kPaintSpacingMs)) std::printf("raw latency measurement failed\n");
    PoolLatency(&raw, r);
    MeasurePath(true, &gpu);
    MeasurePath(false, &cpu);
  }
  using T = Row::Target;
  struct Path {
    const char* name;
    const RingPath& figures;
  };
  const Path paths[] = {{"shared texture", gpu}, {"CPU buffer", cpu}};
  char figure[96], note[240];
  for (const Path& path : paths) {
    const Percentiles own = Of(path.figures.pooled.product);
    std::snprintf(note, sizeof note,
                  "ring of 3, each slot released once read; %d rounds: %zu paints, %zu FrameReady3 (%zu gaps), %zu "
                  "paired; from the call, less the stand-in GPU; exit %ld",
                  kLatencyRounds, path.figures.paints, path.figures.frames, path.figures.gaps, own.samples,
                  path.figures.exit_code);
    std::snprintf(figure, sizeof figure, "paint→FrameReady3, %s p50 (us)", path.name);
    table->Add({"ring", figure, raw.from_peer.p50, own.p50, T::kRatioAtMost, 1.5, note});
    std::snprintf(figure, sizeof figure, "paint→FrameReady3, %s p99 (us)", path.name);
    table->Add({"ring", figure, raw.from_peer.p99, own.p99, T::kRatioAtMost, 2, ""});
    const Percentiles age = Of(path.figures.age);
    std::snprintf(note, sizeof note,
                  "paint time in FrameReady3 → the client's Map of its copy after the fence wait; %zu reads, max %.0f "
                  "us; stand-in GPU copies included",
                  age.samples, age.max);
    std::snprintf(figure, sizeof figure, "paint time→client read, %s p50 (us)", path.name);
    table->Add({"ring", figure, 0, age.p50, T::kNone, 0, note});
    std::snprintf(figure, sizeof figure, "paint time→client read, %s p99 (us)", path.name);
    table->Add({"ring", figure, 0, age.p99, T::kNone, 0, ""});
  }
}

}  // namespace nimo_bench
