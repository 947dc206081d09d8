#include "client/frame_saver.h"

#include <windows.h>
#include <d3d11_1.h>

#include <cstdio>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace nimo {
namespace client {

namespace {

template <typename T>
void SafeRelease(T** p) {
  if (*p != nullptr) {
    (*p)->Release();
    *p = nullptr;
  }
}

std::string Hr(const char* what, HRESULT hr) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s failed (0x%08lX)", what, static_cast<unsigned long>(hr));
  return buf;
}

void MakeParentFolders(const std::string& path) {
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i] == '\\' || path[i] == '/') {
      const std::string folder = path.substr(0, i);
      if (!folder.empty() && folder.back() != ':') CreateDirectoryA(folder.c_str(), nullptr);
    }
  }
}

}  // namespace

FrameSaver::~FrameSaver() {
  for (Slot& s : slots_) {
    DropTextures(&s);
    if (s.handle != 0) CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(s.handle)));
  }
  SafeRelease(&context_);
  SafeRelease(&device1_);
  SafeRelease(&device_);
}

void FrameSaver::DropTextures(Slot* slot) {
  SafeRelease(&slot->staging);
  SafeRelease(&slot->shared);
}

void FrameSaver::OnFrameReady(std::uint32_t surface, std::uint64_t handle, std::uint32_t width,
                              std::uint32_t height) {
  if (surface >= 4 || handle == 0) return;
  std::lock_guard<std::mutex> hold(lock_);
  Slot& s = slots_[surface];
  if (s.handle != handle) {
    DropTextures(&s);
    if (s.handle != 0) {
      CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(s.handle)));
      ++closed_handles_;
    }
    s.handle = handle;
    if (open_every_handle_) {
      std::string ignored;
      if (OpenShared(&s, &ignored)) ++opened_handles_;
      else ++open_failures_;
    }
  }
  s.width = width;
  s.height = height;
}

bool FrameSaver::OpenShared(Slot* s, std::string* error) {
  if (s->shared != nullptr) return true;
  if (!EnsureDevice(error)) return false;
  const HRESULT hr = device1_->OpenSharedResource1(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(s->handle)),
                                                   __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&s->shared));
  if (FAILED(hr)) {
    s->shared = nullptr;
    *error = Hr("OpenSharedResource1", hr);
    return false;
  }
  return true;
}

std::uint32_t FrameSaver::opened_handles() const {
  std::lock_guard<std::mutex> hold(lock_);
  return opened_handles_;
}

std::uint32_t FrameSaver::open_failures() const {
  std::lock_guard<std::mutex> hold(lock_);
  return open_failures_;
}

std::uint32_t FrameSaver::closed_handles() const {
  std::lock_guard<std::mutex> hold(lock_);
  return closed_handles_;
}

bool FrameSaver::EnsureDevice(std::string* error) {
  if (device1_ != nullptr) return true;
  if (device_tried_) {
    *error = "no Direct3D 11.1 device";
    return false;
  }
  device_tried_ = true;
  const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};
  D3D_FEATURE_LEVEL got = D3D_FEATURE_LEVEL_11_0;
  HRESULT hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, levels, 2, D3D11_SDK_VERSION,
                                 &device_, &got, &context_);
  if (FAILED(hr)) {
    *error = Hr("D3D11CreateDevice", hr);
    return false;
  }
  hr = device_->QueryInterface(__uuidof(ID3D11Device1), reinterpret_cast<void**>(&device1_));
  if (FAILED(hr)) {
    *error = Hr("QueryInterface(ID3D11Device1)", hr);
    return false;
  }
  return true;
}

bool FrameSaver::Save(std::uint32_t surface, const std::string& path, std::string* error) {
  if (surface >= 4) {
    *error = "no such surface";
    return false;
  }
  std::lock_guard<std::mutex> hold(lock_);
  Slot& s = slots_[surface];
  if (s.handle == 0) {
    *error = "no frame announced for this surface yet";
    return false;
  }
  if (!OpenShared(&s, error)) return false;

  HRESULT hr = S_OK;
  D3D11_TEXTURE2D_DESC desc = {};
  s.shared->GetDesc(&desc);
  if (desc.Format != DXGI_FORMAT_B8G8R8A8_UNORM && desc.Format != DXGI_FORMAT_R8G8B8A8_UNORM) {
    *error = "unexpected texture format " + std::to_string(static_cast<int>(desc.Format));
    return false;
  }
  if (s.staging == nullptr) {
    D3D11_TEXTURE2D_DESC sd = {};
    sd.Width = desc.Width;
    sd.Height = desc.Height;
    sd.MipLevels = 1;
    sd.ArraySize = 1;
    sd.Format = desc.Format;
    sd.SampleDesc.Count = 1;
    sd.Usage = D3D11_USAGE_STAGING;
    sd.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    hr = device_->CreateTexture2D(&sd, nullptr, &s.staging);
    if (FAILED(hr)) {
      *error = Hr("CreateTexture2D(staging)", hr);
      return false;
    }
  }
  context_->CopyResource(s.staging, s.shared);
  D3D11_MAPPED_SUBRESOURCE mapped = {};
  hr = context_->Map(s.staging, 0, D3D11_MAP_READ, 0, &mapped);
  if (FAILED(hr)) {
    *error = Hr("Map", hr);
    return false;
  }
  const bool bgra = desc.Format == DXGI_FORMAT_B8G8R8A8_UNORM;
  std::vector<unsigned char> rgba(static_cast<std::size_t>(desc.Width) * desc.Height * 4);
  for (UINT y = 0; y < desc.Height; ++y) {
    const unsigned char* row = static_cast<const unsigned char*>(mapped.pData) + static_cast<std::size_t>(y) * mapped.RowPitch;
    unsigned char* out = rgba.data() + static_cast<std::size_t>(y) * desc.Width * 4;
    for (UINT x = 0; x < desc.Width; ++x) {
      out[4 * x + 0] = row[4 * x + (bgra ? 2 : 0)];
      out[4 * x + 1] = row[4 * x + 1];
      out[4 * x + 2] = row[4 * x + (bgra ? 0 : 2)];
      out[4 * x + 3] = 255;  // premultiplied pixels over black: what a viewer should see
    }
  }
  context_->Unmap(s.staging, 0);

  MakeParentFolders(path);
  if (stbi_write_png(path.c_str(), static_cast<int>(desc.Width), static_cast<int>(desc.Height), 4, rgba.data(),
                     static_cast<int>(desc.Width * 4)) == 0) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace client
}  // namespace nimo
