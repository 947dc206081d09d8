#include "surfaces/gpu_device.h"

#include <windows.h>
#include <d3d11_1.h>
#include <dxgi1_2.h>

#include <cstdint>
#include <cwchar>
#include <string>

#include "diag/log.h"
#include "surfaces/portable/adapter_choice.h"
#include "surfaces/portable/gpu_log_lines.h"

namespace nimo {

ID3D11Device* gpu_device = nullptr;
ID3D11DeviceContext* gpu_context = nullptr;
ID3D11Device1* gpu_device1 = nullptr;
bool gpu_init_tried = false;

namespace {

// The adapter's description as UTF-8. The description is a fixed array that need not be
// terminated when it is full.
std::string AdapterName(const DXGI_ADAPTER_DESC1& desc) {
  const int chars = static_cast<int>(wcsnlen(desc.Description, sizeof desc.Description / sizeof desc.Description[0]));
  if (chars == 0) return std::string();
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, desc.Description, chars, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, desc.Description, chars, &out[0], bytes, nullptr, nullptr);
  return out;
}

// Enumerates every adapter, logs each, and returns the chosen one with one reference
// (null when none qualifies).
IDXGIAdapter1* ChooseAdapter() {
  IDXGIFactory1* factory = nullptr;
  if (FAILED(CreateDXGIFactory1(__uuidof(IDXGIFactory1), reinterpret_cast<void**>(&factory))) || !factory)
    return nullptr;
  AdapterChoice choice;
  IDXGIAdapter1* chosen = nullptr;
  for (UINT index = 0;; ++index) {
    IDXGIAdapter1* adapter = nullptr;
    if (factory->EnumAdapters1(index, &adapter) != S_OK) break;
    if (!adapter) break;
    DXGI_ADAPTER_DESC1 desc = {};
    adapter->GetDesc1(&desc);
    const bool software = (desc.Flags & DXGI_ADAPTER_FLAG_SOFTWARE) != 0;
    WriteLogText(FormatAdapterLine(index, AdapterName(desc), desc.DedicatedVideoMemory, software).c_str());
    if (choice.Offer(index, desc.DedicatedVideoMemory, desc.Flags)) {
      if (chosen) chosen->Release();
      chosen = adapter;  // the enumeration's reference becomes the kept one
    } else {
      adapter->Release();
    }
  }
  factory->Release();
  return chosen;
}

}  // namespace

bool EnsureGpuDevice() {
  if (gpu_device1) return true;
  if (gpu_init_tried) return false;
  gpu_init_tried = true;  // before trying: a failure is final for the process

  IDXGIAdapter1* adapter = ChooseAdapter();
  D3D_FEATURE_LEVEL level = {};
  const HRESULT hr = D3D11CreateDevice(adapter, adapter ? D3D_DRIVER_TYPE_UNKNOWN : D3D_DRIVER_TYPE_HARDWARE,
                                       nullptr, 0, nullptr, 0, D3D11_SDK_VERSION, &gpu_device, &level,
                                       &gpu_context);
  if (adapter) {
    DXGI_ADAPTER_DESC1 desc = {};
    adapter->GetDesc1(&desc);
    WriteLogText(FormatUsingAdapterLine(AdapterName(desc), hr).c_str());
    adapter->Release();
  }
  if (FAILED(hr) || !gpu_device) {
    // A failure code reads as its 32-bit value, not sign-extended.
    WriteLog("[nimo-webengine][gpu] D3D11CreateDevice FAILED hr=%p\n", static_cast<std::uint32_t>(hr));
    if (gpu_context) gpu_context->Release();
    if (gpu_device) gpu_device->Release();
    gpu_context = nullptr;
    gpu_device = nullptr;
    return false;
  }
  if (FAILED(gpu_device->QueryInterface(__uuidof(ID3D11Device1), reinterpret_cast<void**>(&gpu_device1))) ||
      !gpu_device1) {
    gpu_device1 = nullptr;
    WriteLog("[nimo-webengine][gpu] ID3D11Device1 unavailable - no shared textures\n");
    return false;
  }
  return true;
}

}  // namespace nimo
