#include "tests/support/shared_texture_reader.h"

#include <windows.h>
#include <d3d11_1.h>
#include <wrl/client.h>

#include <cstring>

namespace nimo_test {

SharedFrame ReadSharedTexture(std::uint64_t handle) {
  using Microsoft::WRL::ComPtr;
  SharedFrame frame;
  ComPtr<ID3D11Device> device;
  ComPtr<ID3D11DeviceContext> context;
  if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION, &device,
                               nullptr, &context)))
    return frame;
  ComPtr<ID3D11Device1> device1;
  ComPtr<ID3D11Texture2D> shared;
  if (FAILED(device.As(&device1)) || !device1 ||
      FAILED(device1->OpenSharedResource1(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle)),
                                          __uuidof(ID3D11Texture2D),
                                          reinterpret_cast<void**>(shared.GetAddressOf())))) {
    return frame;
  }
  frame.opened = true;
  D3D11_TEXTURE2D_DESC d;
  shared->GetDesc(&d);
  frame.width = d.Width;
  frame.height = d.Height;
  d.Usage = D3D11_USAGE_STAGING;
  d.BindFlags = 0;
  d.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  d.MiscFlags = 0;
  ComPtr<ID3D11Texture2D> staging;
  if (FAILED(device->CreateTexture2D(&d, nullptr, &staging))) return frame;
  context->CopyResource(staging.Get(), shared.Get());
  D3D11_MAPPED_SUBRESOURCE m = {};
  if (FAILED(context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &m))) return frame;
  frame.pixels.resize(static_cast<size_t>(d.Width) * d.Height);
  for (UINT y = 0; y < d.Height; ++y)
    std::memcpy(&frame.pixels[static_cast<size_t>(y) * d.Width],
                static_cast<const std::uint8_t*>(m.pData) + static_cast<size_t>(y) * m.RowPitch, d.Width * 4u);
  context->Unmap(staging.Get(), 0);
  return frame;
}

}  // namespace nimo_test
