#include "surfaces/frame_ring_slots.h"

#include <windows.h>
#include <d3d11_4.h>
#include <dxgi1_2.h>

#include <utility>

#include "diag/log.h"
#include "link/send.h"
#include "protocol/frame_ring.h"
#include "surfaces/gpu_check.h"
#include "surfaces/gpu_device.h"
#include "surfaces/gpu_recovery.h"
#include "surfaces/portable/gpu_log_lines.h"
#include "surfaces/surface.h"
#include "surfaces/surface_texture.h"

namespace nimo {

namespace {

constexpr DWORD kSharedAccess = DXGI_SHARED_RESOURCE_READ | DXGI_SHARED_RESOURCE_WRITE;

// The ring's size, set once before the engine runs; 0 is no ring.
std::uint32_t ring_size = 0;

// The process's fence, made on the engine's device of the moment and announced to the
// client by FrameFence before the first FrameReady3 that names one of its values. Made on
// the UI thread at the first frame delivered on a device; let go with the device's other
// objects on a loss (DropFrameRingDevice) and at the end (ReleaseFrameRing). A new device
// (another GpuDevice generation) gets a new fence, and every slot texture is made anew.
struct RingFence {
  Microsoft::WRL::ComPtr<ID3D11Fence> fence;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext4> context;
  std::uint32_t generation = 0;  // the device generation the fence was tried on; 0: none
  std::uint64_t value = 0;
  bool failure_logged = false;
};
RingFence ring_fence;

std::uint64_t DuplicateIntoClient(HANDLE handle, const char* what) {
  if (!client_process) return 0;
  HANDLE in_client = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, client_process.get(), &in_client, 0, FALSE,
                       DUPLICATE_SAME_ACCESS) ||
      in_client == nullptr) {
    WriteLog("[nimo-webengine][gpu] DuplicateHandle(%s) into the client FAILED err=%lu\n", what,
             static_cast<unsigned long>(GetLastError()));
    return 0;
  }
  return reinterpret_cast<std::uintptr_t>(in_client);
}

// The fence of the current device, made and announced on first need. Without a fence the
// ring still runs (value 0: the client cannot wait on the GPU), logged once.
void EnsureFence() {
  GpuDevice& gpu = surfaces.gpu;
  if (ring_fence.generation == gpu.generation()) return;
  ring_fence.fence.Reset();
  ring_fence.context.Reset();
  ring_fence.generation = gpu.generation();
  ring_fence.value = 0;
  Microsoft::WRL::ComPtr<ID3D11Device5> device5;
  Microsoft::WRL::ComPtr<ID3D11Fence> fence;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext4> context4;
  UniqueHandle shared;
  HRESULT hr = gpu.device()->QueryInterface(__uuidof(ID3D11Device5), reinterpret_cast<void**>(device5.GetAddressOf()));
  if (SUCCEEDED(hr))
    hr = gpu.context()->QueryInterface(__uuidof(ID3D11DeviceContext4), reinterpret_cast<void**>(context4.GetAddressOf()));
  if (SUCCEEDED(hr))
    hr = device5->CreateFence(0, D3D11_FENCE_FLAG_SHARED, __uuidof(ID3D11Fence),
                              reinterpret_cast<void**>(fence.GetAddressOf()));
  if (SUCCEEDED(hr)) hr = fence->CreateSharedHandle(nullptr, GENERIC_ALL, nullptr, shared.receive());
  if (FAILED(hr) || !shared) {
    if (!ring_fence.failure_logged) NIMO_LOG_GPU_FAILURE(hr, "frame ring: shared fence (frames go without one)");
    ring_fence.failure_logged = true;
    gpu.LostAfter(hr, "frame ring: shared fence");
    return;
  }
  const std::uint64_t in_client = DuplicateIntoClient(shared.get(), "fence");
  if (in_client == 0) return;
  ring_fence.fence = std::move(fence);
  ring_fence.context = std::move(context4);
  SendFrameFence(in_client);
}

void DropSlotTexture(RingSlotTexture* t) { *t = RingSlotTexture(); }

// The slot's texture at the surface texture's size on the current device; made anew (and
// the ring told so) when it is missing, of another size or of an older device.
bool EnsureSlotTexture(Surface* s, std::uint32_t slot) {
  RingSlotTexture& t = s->ring.textures[slot];
  GpuDevice& gpu = surfaces.gpu;
  if (t.texture && t.width == s->texture.width() && t.height == s->texture.height() &&
      t.device_generation == gpu.generation())
    return true;
  DropSlotTexture(&t);
  const CD3D11_TEXTURE2D_DESC desc(DXGI_FORMAT_B8G8R8A8_UNORM, s->texture.width(), s->texture.height(), 1, 1,
                                   D3D11_BIND_SHADER_RESOURCE, D3D11_USAGE_DEFAULT, 0, 1, 0,
                                   D3D11_RESOURCE_MISC_SHARED | D3D11_RESOURCE_MISC_SHARED_NTHANDLE);
  Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
  HRESULT hr = gpu.device()->CreateTexture2D(&desc, nullptr, &texture);
  Microsoft::WRL::ComPtr<IDXGIResource1> resource;
  UniqueHandle shared;
  if (SUCCEEDED(hr)) hr = texture.As(&resource);
  if (SUCCEEDED(hr)) hr = resource->CreateSharedHandle(nullptr, kSharedAccess, nullptr, shared.receive());
  if (NIMO_GPU_FAILED(hr, "frame ring: slot texture") || !shared) {
    gpu.LostAfter(hr, "frame ring: slot texture");
    return false;
  }
  t.client_handle = DuplicateIntoClient(shared.get(), "slot texture");
  if (t.client_handle == 0) return false;
  t.texture = std::move(texture);
  t.shared_handle = std::move(shared);
  t.width = s->texture.width();
  t.height = s->texture.height();
  t.device_generation = gpu.generation();
  s->ring.slots.TextureMade(slot);
  return true;
}

// Copies the waiting frame into a free slot and announces it, if both exist.
void DeliverWaiting(Surface* s) {
  SurfaceRing& ring = s->ring;
  const int next = ring.slots.NextSlot();
  GpuDevice& gpu = surfaces.gpu;
  // The surface's texture must be of the device of the moment (after a loss it waits for
  // the page's next whole frame).
  if (next < 0 || !s->texture || !gpu.ready() || s->texture.generation() != gpu.generation()) return;
  EnsureFence();
  if (gpu.lost()) {
    RecoverFromDeviceLoss();
    return;
  }
  const auto slot = static_cast<std::uint32_t>(next);
  if (!EnsureSlotTexture(s, slot)) {  // the frame keeps waiting for the next chance
    if (gpu.lost()) RecoverFromDeviceLoss();
    return;
  }
  RingSlotTexture& t = ring.textures[slot];
  gpu.context()->CopyResource(t.texture.Get(), s->texture.get());
  std::uint64_t fence_value = 0;
  if (ring_fence.fence) {
    fence_value = ++ring_fence.value;
    ring_fence.context->Signal(ring_fence.fence.Get(), fence_value);
  }
  // The copy and the signal reach the GPU before the client hears of them.
  gpu.context()->Flush();
  if (gpu.CheckRemoved("a frame ring copy")) {
    RecoverFromDeviceLoss();  // which asks the pages for whole frames
    return;
  }
  const RingDelivery d = ring.slots.Deliver(slot);
  FrameReady3Fields f;
  f.surface_id = s->id;
  f.slot = slot;
  f.flags = d.new_texture ? kFrameReady3NewTexture : 0;
  f.client_handle = t.client_handle;
  f.width = t.width;
  f.height = t.height;
  f.format = ring.format;
  f.fence_value = fence_value;
  f.paint_time = d.paint_time;
  f.frame_number = d.frame_number;
  ring.slots.Sent(d, SendFrameReady3(f));
}

}  // namespace

void ConfigureFrameRing(std::uint32_t protocol_version, const std::string& switch_value) {
  if (switch_value.empty()) return;
  const std::uint32_t size = ParseFrameRingSize(switch_value);
  if (protocol_version < 3) {
    WriteLog("[nimo-webengine][gpu] --nimomp-frame-ring ignored: it needs --nimomp-protocol=3\n");
    return;
  }
  if (size == 0) {
    WriteLog("[nimo-webengine][gpu] --nimomp-frame-ring=%s ignored (2-4) - frames go as FrameReady\n",
             CutUtf8(switch_value, 16).c_str());
    return;
  }
  ring_size = size;
  for (Surface& s : surfaces) s.ring.slots.Configure(size);
  WriteLog("[nimo-webengine][gpu] frame ring of %lu slots per surface\n", static_cast<unsigned long>(size));
}

bool FrameRingActive() { return ring_size != 0; }

void RingFramePainted(Surface* s, std::uint32_t format, std::int64_t paint_time) {
  if (!s || !s->ring.slots.active()) return;
  s->ring.slots.OnPaint(static_cast<std::uint64_t>(paint_time));
  s->ring.format = format;
  DeliverWaiting(s);
}

void ReleaseRingSlot(std::uint32_t surface_id, std::uint32_t slot) {
  if (surface_id >= kSurfaceCount) return;
  Surface* s = &surfaces[surface_id];
  if (!s->ring.slots.Release(slot)) return;
  DeliverWaiting(s);
}

void ReleaseSurfaceRing(Surface* s) {
  if (!s) return;
  for (RingSlotTexture& t : s->ring.textures) DropSlotTexture(&t);
  s->ring.slots.DropPending();
}

void DropFrameRingDevice() {
  for (Surface& s : surfaces) ReleaseSurfaceRing(&s);
  ring_fence.fence.Reset();
  ring_fence.context.Reset();
  ring_fence.generation = 0;
}

void ReleaseFrameRing() { DropFrameRingDevice(); }

}  // namespace nimo
