// The d3d11 stand-in's device (ID3D11Device1) and D3D11CreateDevice with the rules of the
// real runtime that matter to callers: adapter and driver type must agree, the SDK version
// must be D3D11_SDK_VERSION, and no adapter with the hardware driver means adapter 0.
#include "testbed/gpu/d3d11_objects.h"

#include <cstring>
#include <new>

namespace standin {
namespace {

ID3D11Device5Vtbl g_device_vtbl;
IDXGIDeviceVtbl g_dxgi_vtbl;

Device* Self(ID3D11Device5* self) { return reinterpret_cast<Device*>(self); }

HRESULT STDMETHODCALLTYPE DevQueryInterface(ID3D11Device5* self, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(riid, IID_IDXGIDevice) || IsEqualIID(riid, IID_IDXGIObject)) {
    DeviceAddRef(Self(self));
    *out = &Self(self)->dxgi;
    return S_OK;
  }
  if (IsEqualIID(riid, IID_ID3D11Device1)) {
    StatsAdd(&NimoGpuStats::device1_queries);
    if (FailureScripted("device1")) {
      Journal("QueryInterface(ID3D11Device1) refused (scripted)");
      return E_NOINTERFACE;
    }
  } else if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ID3D11Device) &&
             !IsEqualIID(riid, IID_ID3D11Device2) && !IsEqualIID(riid, IID_ID3D11Device3) &&
             !IsEqualIID(riid, IID_ID3D11Device4) && !IsEqualIID(riid, IID_ID3D11Device5)) {
    return E_NOINTERFACE;
  }
  DeviceAddRef(Self(self));
  *out = self;
  return S_OK;
}
ULONG STDMETHODCALLTYPE DevAddRef(ID3D11Device5* self) {
  DeviceAddRef(Self(self));
  return static_cast<ULONG>(Self(self)->refs);
}
ULONG STDMETHODCALLTYPE DevRelease(ID3D11Device5* self) {
  LONG left = Self(self)->refs - 1;  // read first: the release may free the device
  DeviceRelease(Self(self));
  return static_cast<ULONG>(left);
}
HRESULT STDMETHODCALLTYPE DevCreateTexture2D(ID3D11Device5* self, const D3D11_TEXTURE2D_DESC* desc,
                                             const D3D11_SUBRESOURCE_DATA* initial, ID3D11Texture2D** out) {
  return CreateTexture(Self(self), desc, initial, out);
}
void STDMETHODCALLTYPE DevGetImmediateContext(ID3D11Device5* self, ID3D11DeviceContext** out) {
  DeviceAddRef(Self(self));
  *out = reinterpret_cast<ID3D11DeviceContext*>(&Self(self)->context);
}
D3D_FEATURE_LEVEL STDMETHODCALLTYPE DevGetFeatureLevel(ID3D11Device5* self) { return Self(self)->level; }
HRESULT STDMETHODCALLTYPE DevOpenSharedResource1(ID3D11Device5* self, HANDLE handle, REFIID riid, void** out) {
  return OpenSharedTexture(Self(self), handle, riid, out);
}

HRESULT STDMETHODCALLTYPE DevCreateFence(ID3D11Device5* self, UINT64 initial, D3D11_FENCE_FLAG flags, REFIID riid,
                                         void** out) {
  return CreateFence(Self(self), initial, flags, riid, out);
}
HRESULT STDMETHODCALLTYPE DevOpenSharedFence(ID3D11Device5* self, HANDLE handle, REFIID riid, void** out) {
  return OpenSharedFence(Self(self), handle, riid, out);
}

HRESULT STDMETHODCALLTYPE DevGetDeviceRemovedReason(ID3D11Device5* self) {
  return DeviceRemoved(Self(self)) ? DXGI_ERROR_DEVICE_REMOVED : S_OK;
}

// ---- the device as an IDXGIDevice: only its adapter ----
Device* FromDxgi(IDXGIDevice* self) {
  return reinterpret_cast<Device*>(reinterpret_cast<std::uint8_t*>(self) - offsetof(Device, dxgi));
}
HRESULT STDMETHODCALLTYPE DxgiQueryInterface(IDXGIDevice* self, REFIID riid, void** out) {
  return DevQueryInterface(&FromDxgi(self)->iface, riid, out);
}
ULONG STDMETHODCALLTYPE DxgiAddRef(IDXGIDevice* self) { return DevAddRef(&FromDxgi(self)->iface); }
ULONG STDMETHODCALLTYPE DxgiRelease(IDXGIDevice* self) { return DevRelease(&FromDxgi(self)->iface); }
// The adapter the device was made on, enumerated afresh from the stand-in dxgi.dll.
HRESULT STDMETHODCALLTYPE DxgiGetAdapter(IDXGIDevice* self, IDXGIAdapter** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  HMODULE dxgi = LoadLibraryW(L"dxgi.dll");
  typedef HRESULT(WINAPI * CreateFactoryFn)(REFIID, void**);
  CreateFactoryFn create =
      dxgi ? reinterpret_cast<CreateFactoryFn>(reinterpret_cast<void*>(GetProcAddress(dxgi, "CreateDXGIFactory1")))
           : nullptr;
  IDXGIFactory1* factory = nullptr;
  ForeignCall in_dxgi;
  HRESULT hr = create ? create(IID_IDXGIFactory1, reinterpret_cast<void**>(&factory)) : E_FAIL;
  if (SUCCEEDED(hr)) {
    IDXGIAdapter1* adapter = nullptr;
    hr = IDXGIFactory1_EnumAdapters1(factory, FromDxgi(self)->adapter_index, &adapter);
    if (SUCCEEDED(hr)) *out = reinterpret_cast<IDXGIAdapter*>(adapter);
    IDXGIFactory1_Release(factory);
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE DevCreateShaderResourceView(ID3D11Device5* self, ID3D11Resource* resource,
                                                      const D3D11_SHADER_RESOURCE_VIEW_DESC* desc,
                                                      ID3D11ShaderResourceView** out) {
  if (DeviceRemoved(Self(self))) {
    if (out) *out = nullptr;
    return DXGI_ERROR_DEVICE_REMOVED;
  }
  return CreateShaderResourceView(resource, desc, out);
}

ID3D11DeviceContext4Vtbl g_context_vtbl;

struct VtableSetup {
  VtableSetup() {
    FillWithTraps(&g_device_vtbl, sizeof g_device_vtbl, "ID3D11Device5");
    g_device_vtbl.QueryInterface = Timed<DevQueryInterface>;
    g_device_vtbl.AddRef = Timed<DevAddRef>;
    g_device_vtbl.Release = Timed<DevRelease>;
    g_device_vtbl.CreateTexture2D = Timed<DevCreateTexture2D>;
    g_device_vtbl.GetImmediateContext = Timed<DevGetImmediateContext>;
    g_device_vtbl.GetFeatureLevel = Timed<DevGetFeatureLevel>;
    g_device_vtbl.OpenSharedResource1 = Timed<DevOpenSharedResource1>;
    g_device_vtbl.CreateShaderResourceView = Timed<DevCreateShaderResourceView>;
    g_device_vtbl.GetDeviceRemovedReason = Timed<DevGetDeviceRemovedReason>;
    g_device_vtbl.CreateFence = Timed<DevCreateFence>;
    g_device_vtbl.OpenSharedFence = Timed<DevOpenSharedFence>;
    FillWithTraps(&g_dxgi_vtbl, sizeof g_dxgi_vtbl, "IDXGIDevice");
    g_dxgi_vtbl.QueryInterface = Timed<DxgiQueryInterface>;
    g_dxgi_vtbl.AddRef = Timed<DxgiAddRef>;
    g_dxgi_vtbl.Release = Timed<DxgiRelease>;
    g_dxgi_vtbl.GetAdapter = Timed<DxgiGetAdapter>;
    InitContextVtable(&g_context_vtbl);
  }
} g_vtable_setup;

// Scripted index of the adapter the caller passed, read back from its LUID.
int AdapterIndexOf(IDXGIAdapter* adapter, std::string* name) {
  DXGI_ADAPTER_DESC desc = {};
  HRESULT hr;
  {
    ForeignCall dxgi;
    hr = IDXGIAdapter_GetDesc(adapter, &desc);
  }
  if (FAILED(hr)) return -1;
  *name = WideToUtf8(desc.Description);
  return static_cast<int>(desc.AdapterLuid.LowPart) - 0x5100;
}

// NimoStandinFailNextDevices: creations still to fail, as while a driver restarts.
volatile LONG g_devices_to_fail = 0;

bool TakeScriptedDeviceFailure() {
  for (;;) {
    const LONG left = g_devices_to_fail;
    if (left <= 0) return false;
    if (InterlockedCompareExchange(&g_devices_to_fail, left - 1, left) == left) return true;
  }
}

}  // namespace

void DeviceAddRef(Device* d) { InterlockedIncrement(&d->refs); }

void DeviceRelease(Device* d) {
  LONG left = InterlockedDecrement(&d->refs);
  if (left < 0) FailLoudly("ID3D11Device released more often than referenced");
  if (left == 0) {
    Journal("device released");
    UnregisterDevice(d);
    EndTimeline(d->timeline);
    ForgetFencesOf(d);
    delete d;
    StatsAdd(&NimoGpuStats::devices_live, -1);
  }
}

Device* DeviceFromContext(ID3D11DeviceContext4* context) {
  return reinterpret_cast<Device*>(reinterpret_cast<std::uint8_t*>(context) - offsetof(Device, context));
}

}  // namespace standin

// Marks a device lost, as a driver reset does: it stays usable as an object, but every
// later call on it fails with DXGI_ERROR_DEVICE_REMOVED or, returning nothing, is dropped.
extern "C" BOOL WINAPI NimoStandinRemoveDevice(ID3D11Device* device) {
  if (!device) return FALSE;
  standin::Device* d = reinterpret_cast<standin::Device*>(device);
  InterlockedExchange(&d->removed, 1);
  standin::Journal("device removed (adapter %u)", d->adapter_index);
  standin::CompleteFencesOf(d);
  return TRUE;
}

// The next `count` device creations of the process fail with DXGI_ERROR_UNSUPPORTED.
extern "C" void WINAPI NimoStandinFailNextDevices(UINT count) {
  standin::EntryClock clock;
  InterlockedExchange(&standin::g_devices_to_fail, static_cast<LONG>(count));
  standin::Journal("the next %u device creations fail", count);
}

extern "C" HRESULT WINAPI D3D11CreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driver_type, HMODULE software,
                                            UINT flags, const D3D_FEATURE_LEVEL* levels, UINT level_count,
                                            UINT sdk_version, ID3D11Device** out_device,
                                            D3D_FEATURE_LEVEL* out_level, ID3D11DeviceContext** out_context) {
  using namespace standin;
  EntryClock clock;
  if (out_device) *out_device = nullptr;
  if (out_context) *out_context = nullptr;
  std::string adapter_name;
  int adapter_index = -1;
  HRESULT hr = S_OK;
  if (sdk_version != D3D11_SDK_VERSION) hr = E_INVALIDARG;
  if (adapter && driver_type != D3D_DRIVER_TYPE_UNKNOWN) hr = E_INVALIDARG;
  if (!adapter && driver_type == D3D_DRIVER_TYPE_UNKNOWN) hr = E_INVALIDARG;
  if (driver_type == D3D_DRIVER_TYPE_SOFTWARE && !software) hr = E_INVALIDARG;
  if (SUCCEEDED(hr) && driver_type != D3D_DRIVER_TYPE_UNKNOWN && driver_type != D3D_DRIVER_TYPE_HARDWARE)
    FailLoudly("D3D11CreateDevice: only hardware devices are simulated");
  if (SUCCEEDED(hr)) {
    if (adapter) {
      adapter_index = AdapterIndexOf(adapter, &adapter_name);
      if (adapter_index < 0) FailLoudly("D3D11CreateDevice: adapter is not from the stand-in dxgi.dll");
    } else {
      std::vector<ScriptedAdapter> script = ReadAdapterScript();
      if (script.empty()) {
        hr = DXGI_ERROR_UNSUPPORTED;
      } else {
        adapter_index = 0;
        adapter_name = WideToUtf8(script[0].name.c_str());
      }
    }
  }
  if (SUCCEEDED(hr) && (FailureScripted("device") || TakeScriptedDeviceFailure())) hr = DXGI_ERROR_UNSUPPORTED;
  D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_11_0;  // the runtime's default list tops out at 11_0
  if (SUCCEEDED(hr) && levels) {
    hr = E_INVALIDARG;
    for (UINT i = 0; i < level_count; ++i)
      if (levels[i] <= D3D_FEATURE_LEVEL_11_1 && levels[i] >= D3D_FEATURE_LEVEL_9_1) {
        level = levels[i];
        hr = S_OK;
        break;
      }
  }
  Device* d = nullptr;
  if (SUCCEEDED(hr) && (out_device || out_context)) {
    d = new (std::nothrow) Device();
    if (!d) hr = E_OUTOFMEMORY;
  }
  StatsUpdate([&](NimoGpuStats& s) {
    s.device_create_calls += 1;
    if (FAILED(hr)) s.device_create_failures += 1;
    s.last_driver_type = driver_type;
    s.last_create_flags = flags;
    s.last_sdk_version = sdk_version;
    s.last_feature_level_count = levels ? level_count : 0;
    s.last_adapter_index = FAILED(hr) ? -1 : adapter_index;
    s.last_create_hr = hr;
    std::memset(s.last_adapter_name, 0, sizeof s.last_adapter_name);
    std::strncpy(s.last_adapter_name, adapter_name.c_str(), sizeof s.last_adapter_name - 1);
    if (d) s.devices_live += 1;
  });
  Journal("D3D11CreateDevice driver=%d adapter=%d (%s) luid=%016llX flags=0x%X hr=0x%08lX", driver_type,
          adapter_index, adapter_name.c_str(), static_cast<unsigned long long>(0x5100 + adapter_index), flags,
          static_cast<unsigned long>(hr));
  if (FAILED(hr)) return hr;
  if (out_level) *out_level = level;
  if (!d) return S_FALSE;
  d->iface.lpVtbl = &g_device_vtbl;
  d->context.lpVtbl = &g_context_vtbl;
  d->dxgi.lpVtbl = &g_dxgi_vtbl;
  d->adapter_index = static_cast<UINT>(adapter_index);
  d->removed = 0;
  d->refs = (out_device ? 1 : 0) + (out_context ? 1 : 0);
  d->level = level;
  const long long delay_us = ReadDelayMicros();
  d->timeline = NewTimeline(d, delay_us);
  if (delay_us >= 0) Journal("device timeline: work starts %lld us after its Flush", delay_us);
  RegisterDevice(d);
  if (out_device) *out_device = reinterpret_cast<ID3D11Device*>(&d->iface);
  if (out_context) *out_context = reinterpret_cast<ID3D11DeviceContext*>(&d->context);
  return S_OK;
}
