#include "surfaces/gpu_device.h"

#include <windows.h>
#include <d3d11_1.h>
#include <dxgi1_2.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <utility>

#include "base/command_line.h"
#include "diag/log.h"
#include "protocol/switches.h"
#include "surfaces/portable/adapter_choice.h"
#include "surfaces/portable/gpu_log_lines.h"

namespace nimo {

using Microsoft::WRL::ComPtr;

ComPtr<ID3D11Device> gpu_device;
ComPtr<ID3D11DeviceContext> gpu_context;
ComPtr<ID3D11Device1> gpu_device1;
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

std::uint64_t LuidValue(const LUID& luid) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(luid.HighPart)) << 32) | luid.LowPart;
}

// The client's adapter, when its switch names one readably.
AdapterChoice ChoiceFromSwitch() {
  const std::string text = GetSwitchValue(kSwitchAdapterLuid, "");
  if (text.empty()) return AdapterChoice();
  std::uint64_t luid = 0;
  if (ParseAdapterLuid(text, &luid)) return AdapterChoice(luid);
  WriteLog("[nimo-webengine][gpu] adapter luid \"%s\" unreadable - choosing by memory\n", CutUtf8(text, 64).c_str());
  return AdapterChoice();
}

// Enumerates every adapter, logs each, and returns the chosen one (null when none
// qualifies).
ComPtr<IDXGIAdapter1> ChooseAdapter() {
  ComPtr<IDXGIFactory1> factory;
  if (FAILED(CreateDXGIFactory1(__uuidof(IDXGIFactory1), reinterpret_cast<void**>(factory.GetAddressOf()))) ||
      !factory)
    return nullptr;
  AdapterChoice choice = ChoiceFromSwitch();
  ComPtr<IDXGIAdapter1> chosen;
  for (UINT index = 0;; ++index) {
    ComPtr<IDXGIAdapter1> adapter;
    if (factory->EnumAdapters1(index, &adapter) != S_OK) break;
    if (!adapter) break;
    DXGI_ADAPTER_DESC1 desc = {};
    adapter->GetDesc1(&desc);
    const bool software = (desc.Flags & DXGI_ADAPTER_FLAG_SOFTWARE) != 0;
    WriteLogText(FormatAdapterLine(index, AdapterName(desc), desc.DedicatedVideoMemory, software).c_str());
    if (choice.Offer(index, desc.DedicatedVideoMemory, desc.Flags, LuidValue(desc.AdapterLuid)))
      chosen = std::move(adapter);
  }
  if (choice.wants_luid() && !choice.found_wanted())
    WriteLog("[nimo-webengine][gpu] no adapter has the client's luid - choosing by memory\n");
  return chosen;
}

}  // namespace

bool EnsureGpuDevice() {
  if (gpu_device1) return true;
  if (gpu_init_tried) return false;
  gpu_init_tried = true;  // before trying: a failure is final for the process

  const ComPtr<IDXGIAdapter1> adapter = ChooseAdapter();
  D3D_FEATURE_LEVEL level = {};
  const HRESULT hr = D3D11CreateDevice(adapter.Get(), adapter ? D3D_DRIVER_TYPE_UNKNOWN : D3D_DRIVER_TYPE_HARDWARE,
                                       nullptr, 0, nullptr, 0, D3D11_SDK_VERSION, &gpu_device, &level,
                                       &gpu_context);
  if (adapter) {
    DXGI_ADAPTER_DESC1 desc = {};
    adapter->GetDesc1(&desc);
    WriteLogText(FormatUsingAdapterLine(AdapterName(desc), hr).c_str());
  }
  if (FAILED(hr) || !gpu_device) {
    // A failure code reads as its 32-bit value, not sign-extended.
    WriteLog("[nimo-webengine][gpu] D3D11CreateDevice FAILED hr=%p\n", static_cast<std::uint32_t>(hr));
    gpu_context.Reset();
    gpu_device.Reset();
    return false;
  }
  if (FAILED(gpu_device.As(&gpu_device1)) || !gpu_device1) {
    gpu_device1.Reset();
    WriteLog("[nimo-webengine][gpu] ID3D11Device1 unavailable - no shared textures\n");
    return false;
  }
  return true;
}

void ReleaseGpuDevice() {
  gpu_init_tried = true;
  gpu_device1.Reset();
  gpu_context.Reset();
  gpu_device.Reset();
}

}  // namespace nimo
