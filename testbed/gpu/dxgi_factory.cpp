// dxgi.dll stand-in: a factory that enumerates the scripted adapters. Adapters carry their
// scripted index in the low part of their LUID, which the d3d11 stand-in reads back to
// tell which adapter a device was created on.
#include "testbed/gpu/gpu_common.h"
#include "testbed/gpu/standin_gpu.h"

#include <cstring>
#include <new>

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
NimoDxgiStats g_stats = {};

void Count(std::uint64_t NimoDxgiStats::*field, long delta = 1) {
  AcquireSRWLockExclusive(&g_lock);
  g_stats.*field += static_cast<std::uint64_t>(static_cast<std::int64_t>(delta));
  ReleaseSRWLockExclusive(&g_lock);
}

struct Adapter {
  IDXGIAdapter1 iface;
  LONG refs;
  standin::ScriptedAdapter script;
  UINT index;
};

struct Factory {
  IDXGIFactory1 iface;
  LONG refs;
  std::vector<standin::ScriptedAdapter> adapters;  // fixed when the factory is made
};

IDXGIAdapter1Vtbl g_adapter_vtbl;
IDXGIFactory1Vtbl g_factory_vtbl;

// ---- adapter ----
HRESULT STDMETHODCALLTYPE AdapterQueryInterface(IDXGIAdapter1* self, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDXGIObject) ||
      IsEqualIID(riid, IID_IDXGIAdapter) || IsEqualIID(riid, IID_IDXGIAdapter1)) {
    IDXGIAdapter1_AddRef(self);
    *out = self;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE AdapterAddRef(IDXGIAdapter1* self) {
  return static_cast<ULONG>(InterlockedIncrement(&reinterpret_cast<Adapter*>(self)->refs));
}

ULONG STDMETHODCALLTYPE AdapterRelease(IDXGIAdapter1* self) {
  Adapter* a = reinterpret_cast<Adapter*>(self);
  LONG left = InterlockedDecrement(&a->refs);
  if (left < 0) standin::FailLoudly("IDXGIAdapter1 released more often than referenced");
  if (left == 0) {
    delete a;
    Count(&NimoDxgiStats::adapters_live, -1);
  }
  return static_cast<ULONG>(left);
}

void FillDesc1(const Adapter* a, DXGI_ADAPTER_DESC1* d) {
  std::memset(d, 0, sizeof *d);
  size_t n = a->script.name.size();
  if (n > 127) n = 127;
  std::memcpy(d->Description, a->script.name.data(), n * sizeof(wchar_t));
  d->VendorId = 0x1d1d;
  d->DeviceId = 0x0100 + a->index;
  d->DedicatedVideoMemory = static_cast<SIZE_T>(a->script.dedicated_bytes);
  d->SharedSystemMemory = static_cast<SIZE_T>(1) << 30;
  d->AdapterLuid.LowPart = 0x5100 + a->index;
  d->Flags = a->script.software ? static_cast<UINT>(DXGI_ADAPTER_FLAG_SOFTWARE) : 0u;
}

HRESULT STDMETHODCALLTYPE AdapterGetDesc1(IDXGIAdapter1* self, DXGI_ADAPTER_DESC1* desc) {
  if (!desc) return E_INVALIDARG;
  FillDesc1(reinterpret_cast<Adapter*>(self), desc);
  Count(&NimoDxgiStats::desc_reads);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE AdapterGetDesc(IDXGIAdapter1* self, DXGI_ADAPTER_DESC* desc) {
  if (!desc) return E_INVALIDARG;
  DXGI_ADAPTER_DESC1 d1;
  FillDesc1(reinterpret_cast<Adapter*>(self), &d1);
  std::memcpy(desc, &d1, sizeof *desc);  // DESC is DESC1 without the trailing Flags
  Count(&NimoDxgiStats::desc_reads);
  return S_OK;
}

// ---- factory ----
HRESULT STDMETHODCALLTYPE FactoryQueryInterface(IDXGIFactory1* self, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDXGIObject) ||
      IsEqualIID(riid, IID_IDXGIFactory) || IsEqualIID(riid, IID_IDXGIFactory1)) {
    IDXGIFactory1_AddRef(self);
    *out = self;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE FactoryAddRef(IDXGIFactory1* self) {
  return static_cast<ULONG>(InterlockedIncrement(&reinterpret_cast<Factory*>(self)->refs));
}

ULONG STDMETHODCALLTYPE FactoryRelease(IDXGIFactory1* self) {
  Factory* f = reinterpret_cast<Factory*>(self);
  LONG left = InterlockedDecrement(&f->refs);
  if (left < 0) standin::FailLoudly("IDXGIFactory1 released more often than referenced");
  if (left == 0) {
    delete f;
    Count(&NimoDxgiStats::factories_live, -1);
  }
  return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE FactoryEnumAdapters1(IDXGIFactory1* self, UINT index, IDXGIAdapter1** out) {
  if (!out) return DXGI_ERROR_INVALID_CALL;
  *out = nullptr;
  Factory* f = reinterpret_cast<Factory*>(self);
  if (index >= f->adapters.size()) return DXGI_ERROR_NOT_FOUND;
  Adapter* a = new (std::nothrow) Adapter();
  if (!a) return E_OUTOFMEMORY;
  a->iface.lpVtbl = &g_adapter_vtbl;
  a->refs = 1;
  a->script = f->adapters[index];
  a->index = index;
  Count(&NimoDxgiStats::adapters_enumerated);
  Count(&NimoDxgiStats::adapters_live);
  standin::Journal("EnumAdapters1 %u %s luid=%016llX", index, standin::WideToUtf8(a->script.name.c_str()).c_str(),
                   static_cast<unsigned long long>(0x5100 + index));
  *out = &a->iface;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FactoryEnumAdapters(IDXGIFactory1* self, UINT index, IDXGIAdapter** out) {
  return FactoryEnumAdapters1(self, index, reinterpret_cast<IDXGIAdapter1**>(out));
}

BOOL STDMETHODCALLTYPE FactoryIsCurrent(IDXGIFactory1*) { return TRUE; }

struct VtableSetup {
  VtableSetup() {
    standin::FillWithTraps(&g_adapter_vtbl, sizeof g_adapter_vtbl, "IDXGIAdapter1");
    g_adapter_vtbl.QueryInterface = standin::Timed<AdapterQueryInterface>;
    g_adapter_vtbl.AddRef = standin::Timed<AdapterAddRef>;
    g_adapter_vtbl.Release = standin::Timed<AdapterRelease>;
    g_adapter_vtbl.GetDesc = standin::Timed<AdapterGetDesc>;
    g_adapter_vtbl.GetDesc1 = standin::Timed<AdapterGetDesc1>;

    standin::FillWithTraps(&g_factory_vtbl, sizeof g_factory_vtbl, "IDXGIFactory1");
    g_factory_vtbl.QueryInterface = standin::Timed<FactoryQueryInterface>;
    g_factory_vtbl.AddRef = standin::Timed<FactoryAddRef>;
    g_factory_vtbl.Release = standin::Timed<FactoryRelease>;
    g_factory_vtbl.EnumAdapters = standin::Timed<FactoryEnumAdapters>;
    g_factory_vtbl.EnumAdapters1 = standin::Timed<FactoryEnumAdapters1>;
    g_factory_vtbl.IsCurrent = standin::Timed<FactoryIsCurrent>;
  }
} g_vtable_setup;

}  // namespace

extern "C" {

HRESULT WINAPI CreateDXGIFactory1(REFIID riid, void** out) {
  standin::EntryClock clock;
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (standin::FailureScripted("factory")) {
    standin::Journal("CreateDXGIFactory1 failed (scripted)");
    return DXGI_ERROR_UNSUPPORTED;
  }
  if (!IsEqualIID(riid, IID_IDXGIFactory) && !IsEqualIID(riid, IID_IDXGIFactory1) &&
      !IsEqualIID(riid, IID_IUnknown))
    return E_NOINTERFACE;
  Factory* f = new (std::nothrow) Factory();
  if (!f) return E_OUTOFMEMORY;
  f->iface.lpVtbl = &g_factory_vtbl;
  f->refs = 1;
  f->adapters = standin::ReadAdapterScript();
  Count(&NimoDxgiStats::factories_created);
  Count(&NimoDxgiStats::factories_live);
  standin::Journal("CreateDXGIFactory1 adapters=%u", static_cast<unsigned>(f->adapters.size()));
  *out = &f->iface;
  return S_OK;
}

std::uint32_t WINAPI NimoStandinDxgiMarker(void) { return kNimoStandinGpuMagic; }

std::uint64_t WINAPI NimoStandinDxgiThreadMicros(void) { return standin::ThreadEntryMicros(); }

void WINAPI NimoStandinDxgiStats(NimoDxgiStats* out) {
  if (!out) return;
  AcquireSRWLockShared(&g_lock);
  *out = g_stats;
  ReleaseSRWLockShared(&g_lock);
}

void WINAPI NimoStandinDxgiResetStats(void) {
  AcquireSRWLockExclusive(&g_lock);
  NimoDxgiStats kept = {};
  kept.factories_live = g_stats.factories_live;
  kept.adapters_live = g_stats.adapters_live;
  g_stats = kept;
  ReleaseSRWLockExclusive(&g_lock);
}

}  // extern "C"
