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
#include "surfaces/gpu_check.h"
#include "surfaces/portable/adapter_choice.h"
#include "surfaces/portable/gpu_log_lines.h"

namespace nimo {

using Microsoft::WRL::ComPtr;

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
  // A new factory each time: after a reset the adapters and their LUIDs may have changed.
  ComPtr<IDXGIFactory1> factory;
  if (NIMO_GPU_FAILED(CreateDXGIFactory1(__uuidof(IDXGIFactory1), reinterpret_cast<void**>(factory.GetAddressOf())),
                      "CreateDXGIFactory1") ||
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

bool GpuDevice::Ensure() {
  if (device1_) return true;
  if (tried_ || released_ || lost_) return false;
  tried_ = true;  // a failure at start-up is final for the process, as it always was
  return Make();
}

bool GpuDevice::MakeAgain() {
  if (released_) return false;
  if (device1_) return true;
  if (Make()) {
    lost_ = false;
    failed_attempts_ = 0;
    return true;
  }
  lost_ = true;
  ++failed_attempts_;
  return false;
}

std::int64_t GpuDevice::RetryDelayMs() const {
  if (released_ || failed_attempts_ >= kMaxAttempts) return -1;
  std::int64_t delay = kFirstRetryMs;
  for (int i = 1; i < failed_attempts_ && delay < kMaxRetryMs; ++i) delay *= 2;
  return delay < kMaxRetryMs ? delay : kMaxRetryMs;
}

bool GpuDevice::Make() {
  const ComPtr<IDXGIAdapter1> adapter = ChooseAdapter();
  D3D_FEATURE_LEVEL level = {};
  const HRESULT hr = D3D11CreateDevice(adapter.Get(), adapter ? D3D_DRIVER_TYPE_UNKNOWN : D3D_DRIVER_TYPE_HARDWARE,
                                       nullptr, 0, nullptr, 0, D3D11_SDK_VERSION, &device_, &level, &context_);
  if (adapter) {
    DXGI_ADAPTER_DESC1 desc = {};
    adapter->GetDesc1(&desc);
    WriteLogText(FormatUsingAdapterLine(AdapterName(desc), hr).c_str());
  }
  if (NIMO_GPU_FAILED(hr, "D3D11CreateDevice") || !device_) {
    context_.Reset();
    device_.Reset();
    return false;
  }
  const HRESULT as1 = device_.As(&device1_);
  if (NIMO_GPU_FAILED(as1, "QueryInterface(ID3D11Device1)") || !device1_) {
    WriteLog("[nimo-webengine][gpu] ID3D11Device1 unavailable - no shared textures\n");
    device1_.Reset();
    context_.Reset();
    device_.Reset();
    return false;
  }
  ++generation_;
  return true;
}

bool GpuDevice::LostAfter(HRESULT hr, const char* what) {
  if (!FAILED(hr)) return false;
  if (lost_) return true;
  HRESULT reason = hr;
  if (!IsDeviceLossCode(hr)) {
    // Some calls fail with their own code once the device is gone; the device knows why.
    reason = device_ ? device_->GetDeviceRemovedReason() : S_OK;
    if (reason == S_OK) return false;
  }
  MarkLost(reason, what);
  return true;
}

bool GpuDevice::CheckRemoved(const char* what) {
  if (lost_) return true;
  if (!device_) return false;
  const HRESULT reason = device_->GetDeviceRemovedReason();
  if (reason == S_OK) return false;
  MarkLost(reason, what);
  return true;
}

void GpuDevice::MarkLost(HRESULT reason, const char* what) {
  WriteLogText(FormatDeviceLostLine(static_cast<std::int32_t>(reason), what).c_str());
  lost_ = true;
  failed_attempts_ = 0;
  device1_.Reset();
  context_.Reset();
  device_.Reset();
}

void GpuDevice::Release() {
  released_ = true;
  tried_ = true;
  device1_.Reset();
  context_.Reset();
  device_.Reset();
}

}  // namespace nimo
