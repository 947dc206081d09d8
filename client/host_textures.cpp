#include "client/host_textures.h"

#include <cstdio>

namespace nimo {
namespace host {

namespace {

HANDLE AsHandle(std::uint64_t value) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)); }

std::string Hr(const char* what, HRESULT hr) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s failed (0x%08lX)", what, static_cast<unsigned long>(hr));
  return buf;
}

}  // namespace

void TextureTable::SetDevice(Microsoft::WRL::ComPtr<ID3D11Device1> device, bool open_on_arrival) {
  std::lock_guard<std::mutex> hold(lock_);
  device_ = std::move(device);
  open_on_arrival_ = open_on_arrival;
}

void TextureTable::Drop(Slot* slot) {
  if (slot->handle) --counts_.open;
  *slot = Slot();  // the view and texture released, the handle closed
}

bool TextureTable::OnFrame(const protocol::Report& frame) {
  if (frame.client_handle == 0) return false;
  std::lock_guard<std::mutex> hold(lock_);
  if (frame.surface_id >= protocol::kSurfaceCount) {
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
  s.width = frame.width;
  s.height = frame.height;
  s.format = frame.format;
  if (is_new && open_on_arrival_ && device_) {
    std::string ignored;
    Open(&s, &ignored);
  }
  return is_new;
}

bool TextureTable::Open(Slot* s, std::string* why) {
  if (s->texture) return true;
  if (s->open_failed) {
    *why = "the texture's handle did not open";
    return false;
  }
  if (!device_) {
    *why = "no device was given";
    return false;
  }
  HRESULT hr = device_->OpenSharedResource1(s->handle.get(), __uuidof(ID3D11Texture2D),
                                            reinterpret_cast<void**>(s->texture.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) {
    s->texture.Reset();
    s->open_failed = true;
    ++counts_.open_failures;
    *why = Hr("OpenSharedResource1", hr);
    return false;
  }
  ++counts_.opened;
  return true;
}

bool TextureTable::View(std::uint32_t surface, Microsoft::WRL::ComPtr<ID3D11ShaderResourceView>* out,
                        std::string* why) {
  SurfaceTexture t;
  if (!Get(surface, &t, why)) return false;
  std::lock_guard<std::mutex> hold(lock_);
  Slot& s = slots_[surface];
  if (s.texture != t.texture) {
    *why = "the texture changed meanwhile";
    return false;
  }
  if (!s.view) {
    const HRESULT hr = device_->CreateShaderResourceView(s.texture.Get(), nullptr, s.view.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
      s.view.Reset();
      *why = Hr("CreateShaderResourceView", hr);
      return false;
    }
  }
  *out = s.view;
  return true;
}

bool TextureTable::Get(std::uint32_t surface, SurfaceTexture* out, std::string* why) {
  if (surface >= protocol::kSurfaceCount) {
    *why = "no such surface";
    return false;
  }
  std::lock_guard<std::mutex> hold(lock_);
  Slot& s = slots_[surface];
  if (!s.handle) {
    *why = "no frame announced for this surface yet";
    return false;
  }
  if (!Open(&s, why)) return false;
  out->texture = s.texture;
  out->width = s.width;
  out->height = s.height;
  out->format = s.format;
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
