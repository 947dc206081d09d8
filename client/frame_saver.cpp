#include "client/frame_saver.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace nimo {
namespace client {

namespace {

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

FrameSaver::FrameSaver() {
  const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};
  D3D_FEATURE_LEVEL got = D3D_FEATURE_LEVEL_11_0;
  HRESULT hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, levels, 2, D3D11_SDK_VERSION,
                                 device_.GetAddressOf(), &got, context_.GetAddressOf());
  if (FAILED(hr)) {
    device_error_ = Hr("D3D11CreateDevice", hr);
    return;
  }
  hr = device_.As(&device1_);
  if (FAILED(hr)) device_error_ = Hr("QueryInterface(ID3D11Device1)", hr);
}

bool FrameSaver::Save(host::Host& host, std::uint32_t surface, const std::string& path, std::string* error) {
  host::SurfaceTexture t;
  if (!host.Texture(surface, &t, error)) {
    if (!device_error_.empty() && *error == "no device was given") *error = device_error_;
    return false;
  }
  D3D11_TEXTURE2D_DESC desc = {};
  t.texture->GetDesc(&desc);
  if (desc.Format != DXGI_FORMAT_B8G8R8A8_UNORM && desc.Format != DXGI_FORMAT_R8G8B8A8_UNORM) {
    *error = "unexpected texture format " + std::to_string(static_cast<int>(desc.Format));
    return false;
  }
  const CD3D11_TEXTURE2D_DESC sd(desc.Format, desc.Width, desc.Height, 1, 1, 0, D3D11_USAGE_STAGING,
                                 D3D11_CPU_ACCESS_READ);
  Microsoft::WRL::ComPtr<ID3D11Texture2D> staging;
  HRESULT hr = device_->CreateTexture2D(&sd, nullptr, staging.GetAddressOf());
  if (FAILED(hr)) {
    *error = Hr("CreateTexture2D(staging)", hr);
    return false;
  }
  context_->CopyResource(staging.Get(), t.texture.Get());
  D3D11_MAPPED_SUBRESOURCE mapped = {};
  hr = context_->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped);
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
  context_->Unmap(staging.Get(), 0);

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
