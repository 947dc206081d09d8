#include "client/host_library/frame_leases.h"

#include <dxgi.h>

#include <cstdio>
#include <utility>

namespace nimo {
namespace host {

namespace {

HANDLE AsHandle(std::uint64_t value) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)); }

std::string Hr(const char* what, HRESULT hr) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%s failed (0x%08lX)", what, static_cast<unsigned long>(hr));
  return buf;
}

}  // namespace

void FrameLeaseTable::SetDevice(Microsoft::WRL::ComPtr<ID3D11Device1> device) {
  std::lock_guard<std::mutex> hold(lock_);
  device_ = std::move(device);
  fence_.Reset();
  context_.Reset();
  done_fence_.Reset();
  done_value_ = 0;
  done_fence_tried_ = false;
  for (SurfaceSlots& s : surfaces_) {
    for (Slot& slot : s.slots) {
      slot.view.Reset();
      slot.texture.Reset();
      slot.gpu_done = 0;  // the old device's work is no longer this device's to finish
    }
  }
}

void FrameLeaseTable::OnFence(std::uint64_t handle) {
  std::lock_guard<std::mutex> hold(lock_);
  if (handle == 0 || fence_handle_.get() == AsHandle(handle)) return;
  fence_handle_.reset(AsHandle(handle));
  fence_.Reset();
  ++fence_generation_;
}

bool FrameLeaseTable::ReleaseDue(SurfaceSlots& s, std::uint32_t slot, std::uint64_t completed) {
  Slot& x = s.slots[slot];
  if (!x.delivered || x.leases != 0 || s.newest == static_cast<int>(slot) || x.gpu_done > completed) return false;
  x.delivered = false;
  return true;
}

std::uint64_t FrameLeaseTable::DoneValue() const { return done_fence_ ? done_fence_->GetCompletedValue() : 0; }

void FrameLeaseTable::CollectDueLocked(std::vector<SlotRelease>* releases) {
  const std::uint64_t completed = DoneValue();
  for (std::uint32_t id = 0; id < kSurfaceSlotCount; ++id)
    for (std::uint32_t slot = 0; slot < kFrameRingMax; ++slot)
      if (ReleaseDue(surfaces_[id], slot, completed)) releases->push_back(SlotRelease{id, slot});
}

void FrameLeaseTable::CollectDue(std::vector<SlotRelease>* releases) {
  std::lock_guard<std::mutex> hold(lock_);
  CollectDueLocked(releases);
}

bool FrameLeaseTable::OnFrame(const protocol::Report& frame, std::vector<SlotRelease>* releases) {
  std::lock_guard<std::mutex> hold(lock_);
  if (frame.surface_id >= kSurfaceSlotCount || frame.slot >= kFrameRingMax) {
    // Nothing could ever use it; a new texture's handle is closed at once.
    if ((frame.flags & kFrameReady3NewTexture) != 0 && frame.client_handle != 0)
      UniqueHandle unusable(AsHandle(frame.client_handle));
    return false;
  }
  SurfaceSlots& s = surfaces_[frame.surface_id];
  Slot& slot = s.slots[frame.slot];
  const bool is_new = frame.client_handle != 0 && slot.handle.get() != AsHandle(frame.client_handle);
  if (is_new) {
    // The texture opened from the old handle lives on in the leases that hold it.
    slot.handle.reset(AsHandle(frame.client_handle));
    slot.view.Reset();
    slot.texture.Reset();
  }
  slot.frame = frame;
  slot.fence_generation = fence_generation_;
  slot.delivered = true;
  s.newest = static_cast<int>(frame.slot);
  CollectDueLocked(releases);
  return is_new;
}

bool FrameLeaseTable::OpenFence(std::string* why) {
  if (fence_ || !fence_handle_) return true;  // no fence announced: nothing to wait for
  Microsoft::WRL::ComPtr<ID3D11Device5> device5;
  HRESULT hr = device_.As(&device5);
  if (SUCCEEDED(hr))
    hr = device5->OpenSharedFence(fence_handle_.get(), __uuidof(ID3D11Fence),
                                  reinterpret_cast<void**>(fence_.ReleaseAndGetAddressOf()));
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
  if (SUCCEEDED(hr)) {
    device_->GetImmediateContext(&context);
    hr = context ? context.As(&context_) : E_NOINTERFACE;
  }
  if (FAILED(hr) || !fence_ || !context_) {
    fence_.Reset();
    context_.Reset();
    *why = Hr("OpenSharedFence", hr);
    return false;
  }
  return true;
}

bool FrameLeaseTable::Acquire(std::uint32_t surface, FrameLease* lease, std::string* why) {
  if (surface >= kSurfaceSlotCount) {
    *why = "no such surface";
    return false;
  }
  std::lock_guard<std::mutex> hold(lock_);
  SurfaceSlots& s = surfaces_[surface];
  if (s.newest < 0 || !s.slots[s.newest].delivered) {
    *why = "no frame announced for this surface yet";
    return false;
  }
  if (!device_) {
    *why = "no device was given";
    return false;
  }
  Slot& slot = s.slots[s.newest];
  if (!slot.texture) {
    const HRESULT hr = device_->OpenSharedResource1(slot.handle.get(), __uuidof(ID3D11Texture2D),
                                                    reinterpret_cast<void**>(slot.texture.ReleaseAndGetAddressOf()));
    if (FAILED(hr) || !slot.texture) {
      slot.texture.Reset();
      *why = Hr("OpenSharedResource1", hr);
      return false;
    }
  }
  if (!slot.view) {
    const HRESULT hr = device_->CreateShaderResourceView(slot.texture.Get(), nullptr, slot.view.ReleaseAndGetAddressOf());
    if (FAILED(hr)) slot.view.Reset();
  }
  if (!OpenFence(why)) return false;
  // The program's later work on this context starts once the engine's copy is done; the
  // CPU goes on at once. A frame of a lost engine device is not waited for: the new
  // fence counts anew, and the copy either ran or never will.
  if (fence_ && slot.frame.fence_value != 0 && slot.fence_generation == fence_generation_)
    context_->Wait(fence_.Get(), slot.frame.fence_value);
  ++slot.leases;
  FrameLease out;
  out.surface = surface;
  out.slot = static_cast<std::uint32_t>(s.newest);
  out.texture = slot.texture;
  out.view = slot.view;
  out.width = slot.frame.width;
  out.height = slot.frame.height;
  out.format = slot.frame.format == 0 ? kFrameFormatBgra : slot.frame.format;
  out.frame_number = slot.frame.frame_number;
  out.paint_time = slot.frame.paint_time;
  out.held = true;
  *lease = std::move(out);
  return true;
}

bool FrameLeaseTable::Release(FrameLease* lease) {
  if (!lease || !lease->held) return false;
  const FrameLease ended = std::move(*lease);
  *lease = FrameLease();
  if (ended.surface >= kSurfaceSlotCount || ended.slot >= kFrameRingMax) return false;
  std::lock_guard<std::mutex> hold(lock_);
  Slot& slot = surfaces_[ended.surface].slots[ended.slot];
  if (slot.leases == 0) return false;
  --slot.leases;
  if (!device_) return true;
  if (!done_fence_tried_) {
    done_fence_tried_ = true;
    Microsoft::WRL::ComPtr<ID3D11Device5> device5;
    if (SUCCEEDED(device_.As(&device5)))
      device5->CreateFence(0, D3D11_FENCE_FLAG_NONE, __uuidof(ID3D11Fence),
                           reinterpret_cast<void**>(done_fence_.ReleaseAndGetAddressOf()));
  }
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext4> context4;
  device_->GetImmediateContext(&context);
  if (!done_fence_ || !context || FAILED(context.As(&context4))) return true;
  // Reached once the GPU has done the program's work so far, its draws of this slot
  // included; flushed, so that it is reached without the program's next present.
  slot.gpu_done = ++done_value_;
  context4->Signal(done_fence_.Get(), slot.gpu_done);
  context->Flush();
  return true;
}

std::uint32_t FrameLeaseTable::open_handles() const {
  std::lock_guard<std::mutex> hold(lock_);
  std::uint32_t n = fence_handle_ ? 1 : 0;
  for (const SurfaceSlots& s : surfaces_)
    for (const Slot& slot : s.slots) n += slot.handle ? 1 : 0;
  return n;
}

void FrameLeaseTable::CloseAll() {
  std::lock_guard<std::mutex> hold(lock_);
  fence_.Reset();
  context_.Reset();
  fence_handle_.reset();
  for (SurfaceSlots& s : surfaces_) s = SurfaceSlots();
}

}  // namespace host
}  // namespace nimo
