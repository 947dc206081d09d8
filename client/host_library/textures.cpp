#include "client/host_library/textures.h"

#include <dxgi.h>

#include <cstdio>

namespace nimo {
namespace host {

namespace {

HANDLE AsHandle(std::uint64_t value) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)); }

std::string Hr(const char* what, HRESULT hr) {
  char buf[128];
  const char* removed = hr == DXGI_ERROR_DEVICE_REMOVED || hr == DXGI_ERROR_DEVICE_RESET ? " - the device was lost" : "";
  std::snprintf(buf, sizeof buf, "%s failed (0x%08lX)%s", what, static_cast<unsigned long>(hr), removed);
  return buf;
}

// The pixel layout of a texture by its own description.
std::uint32_t LayoutOf(DXGI_FORMAT format) {
  switch (format) {
    case DXGI_FORMAT_R8G8B8A8_TYPELESS:
    case DXGI_FORMAT_R8G8B8A8_UNORM:
    case DXGI_FORMAT_R8G8B8A8_UNORM_SRGB:
      return kFrameFormatRgba;
    default:
      return kFrameFormatBgra;
  }
}

}  // namespace

void TextureTable::SetDevice(Microsoft::WRL::ComPtr<ID3D11Device1> device, bool open_on_arrival,
                             std::vector<TextureFailure>* failures) {
  std::lock_guard<std::mutex> hold(lock_);
  device_ = std::move(device);
  open_on_arrival_ = open_on_arrival;
  for (std::uint32_t id = 0; id < kSurfaceSlotCount; ++id) {
    Slot& s = slots_[id];
    s.view.Reset();
    s.texture.Reset();
    s.open_failed = false;
    failure_reported_[id] = false;
    std::string ignored;
    if (s.handle && open_on_arrival_ && device_) Open(id, &ignored, failures);
  }
}

void TextureTable::Drop(Slot* slot) {
  if (slot->handle) --counts_.open;
  *slot = Slot();  // the view and texture released, the handle closed
}

bool TextureTable::OnFrame(const protocol::Report& frame, std::vector<TextureFailure>* failures) {
  if (frame.client_handle == 0) return false;
  std::lock_guard<std::mutex> hold(lock_);
  if (frame.surface_id >= kSurfaceSlotCount) {
    UniqueHandle unusable(AsHandle(frame.client_handle));
    return false;
  }
  Slot& s = slots_[frame.surface_id];
  const bool is_new = s.handle.get() != AsHandle(frame.client_handle);
  if (is_new) {
    // Only a confused engine names one handle for two surfaces: it is held once, by the
    // newest, so it is closed once.
    for (Slot& other : slots_) {
      if (&other != &s && other.handle.get() == AsHandle(frame.client_handle)) {
        (void)other.handle.release();
        --counts_.open;
        other = Slot();
      }
    }
    if (s.handle) ++counts_.replaced;
    Drop(&s);
    s.handle.reset(AsHandle(frame.client_handle));
    ++counts_.open;
  }
  s.open_failed = false;  // a new frame: worth another try
  if (open_on_arrival_ && device_ && !s.texture) {
    std::string ignored;
    Open(frame.surface_id, &ignored, failures);
  }
  return is_new;
}

bool TextureTable::Open(std::uint32_t surface, std::string* why, std::vector<TextureFailure>* failures) {
  Slot* s = &slots_[surface];
  if (s->texture) return true;
  if (s->open_failed) {
    *why = s->error;
    return false;
  }
  if (!device_) {
    *why = "no device was given";
    return false;
  }
  HRESULT hr = device_->OpenSharedResource1(s->handle.get(), __uuidof(ID3D11Texture2D),
                                            reinterpret_cast<void**>(s->texture.ReleaseAndGetAddressOf()));
  if (FAILED(hr) || !s->texture) {
    s->texture.Reset();
    s->open_failed = true;
    s->error = Hr("OpenSharedResource1", hr);
    *why = s->error;
    if (!failure_reported_[surface]) {
      failure_reported_[surface] = true;
      ++counts_.open_failures;
      if (failures != nullptr) failures->push_back(TextureFailure{surface, s->error});
    }
    return false;
  }
  failure_reported_[surface] = false;
  ++counts_.opened;
  return true;
}

bool TextureTable::Get(std::uint32_t surface, SurfaceTexture* out, std::string* why,
                       std::vector<TextureFailure>* failures) {
  if (surface >= kSurfaceSlotCount) {
    *why = "no such surface";
    return false;
  }
  std::lock_guard<std::mutex> hold(lock_);
  Slot& s = slots_[surface];
  if (!s.handle) {
    *why = "no frame announced for this surface yet";
    return false;
  }
  if (!Open(surface, why, failures)) return false;
  if (!s.view) {
    const HRESULT hr = device_->CreateShaderResourceView(s.texture.Get(), nullptr, s.view.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
      s.view.Reset();
      *why = Hr("CreateShaderResourceView", hr);
    }
  }
  D3D11_TEXTURE2D_DESC desc = {};
  s.texture->GetDesc(&desc);
  out->texture = s.texture;
  out->view = s.view;
  out->width = desc.Width;
  out->height = desc.Height;
  out->format = LayoutOf(desc.Format);
  return true;
}

HandleCounts TextureTable::Counts() const {
  std::lock_guard<std::mutex> hold(lock_);
  return counts_;
}

void TextureTable::CloseAll() {
  std::lock_guard<std::mutex> hold(lock_);
  for (Slot& s : slots_) Drop(&s);
}

}  // namespace host
}  // namespace nimo
