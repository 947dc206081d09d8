// Textures of the d3d11 stand-in: section-backed pixels, the IDXGIResource1 view with
// CreateSharedHandle, the IDXGIKeyedMutex view of SHARED_KEYEDMUTEX textures
// (d3d11_keyed_mutex.cpp), and opening a shared handle (OpenSharedResource1).
#include "testbed/gpu/d3d11_objects.h"

#include <cstddef>
#include <cstring>
#include <new>

namespace standin {
namespace {

ID3D11Texture2DVtbl g_texture_vtbl;
IDXGIResource1Vtbl g_resource1_vtbl;
IDXGIKeyedMutexVtbl g_keyed_mutex_vtbl;

Texture* FromResource1(IDXGIResource1* r) {
  return reinterpret_cast<Texture*>(reinterpret_cast<std::uint8_t*>(r) - offsetof(Texture, resource1));
}

HRESULT TextureQuery(Texture* t, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ID3D11DeviceChild) ||
      IsEqualIID(riid, IID_ID3D11Resource) || IsEqualIID(riid, IID_ID3D11Texture2D)) {
    InterlockedIncrement(&t->refs);
    *out = &t->iface;
    return S_OK;
  }
  if (IsEqualIID(riid, IID_IDXGIObject) || IsEqualIID(riid, IID_IDXGIDeviceSubObject) ||
      IsEqualIID(riid, IID_IDXGIResource) || IsEqualIID(riid, IID_IDXGIResource1)) {
    InterlockedIncrement(&t->refs);
    *out = &t->resource1;
    return S_OK;
  }
  if (IsEqualIID(riid, IID_IDXGIKeyedMutex) && (t->desc.MiscFlags & D3D11_RESOURCE_MISC_SHARED_KEYEDMUTEX)) {
    InterlockedIncrement(&t->refs);
    *out = &t->keyed_mutex;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG TextureRelease(Texture* t) {
  LONG left = InterlockedDecrement(&t->refs);
  if (left < 0) FailLoudly("ID3D11Texture2D released more often than referenced");
  if (left == 0) {
    Journal("texture released %ux%u", t->desc.Width, t->desc.Height);
    Device* d = t->device;
    delete t;
    StatsAdd(&NimoGpuStats::textures_live, -1);
    DeviceRelease(d);
  }
  return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE TexQueryInterface(ID3D11Texture2D* self, REFIID riid, void** out) {
  return TextureQuery(reinterpret_cast<Texture*>(self), riid, out);
}
ULONG STDMETHODCALLTYPE TexAddRef(ID3D11Texture2D* self) {
  return static_cast<ULONG>(InterlockedIncrement(&reinterpret_cast<Texture*>(self)->refs));
}
ULONG STDMETHODCALLTYPE TexRelease(ID3D11Texture2D* self) {
  return TextureRelease(reinterpret_cast<Texture*>(self));
}
void STDMETHODCALLTYPE TexGetDevice(ID3D11Texture2D* self, ID3D11Device** out) {
  Texture* t = reinterpret_cast<Texture*>(self);
  DeviceAddRef(t->device);
  *out = reinterpret_cast<ID3D11Device*>(&t->device->iface);
}
void STDMETHODCALLTYPE TexGetType(ID3D11Texture2D*, D3D11_RESOURCE_DIMENSION* out) {
  *out = D3D11_RESOURCE_DIMENSION_TEXTURE2D;
}
void STDMETHODCALLTYPE TexGetDesc(ID3D11Texture2D* self, D3D11_TEXTURE2D_DESC* out) {
  *out = reinterpret_cast<Texture*>(self)->desc;
}

HRESULT STDMETHODCALLTYPE ResQueryInterface(IDXGIResource1* self, REFIID riid, void** out) {
  return TextureQuery(FromResource1(self), riid, out);
}
ULONG STDMETHODCALLTYPE ResAddRef(IDXGIResource1* self) {
  return static_cast<ULONG>(InterlockedIncrement(&FromResource1(self)->refs));
}
ULONG STDMETHODCALLTYPE ResRelease(IDXGIResource1* self) { return TextureRelease(FromResource1(self)); }

HRESULT STDMETHODCALLTYPE ResCreateSharedHandle(IDXGIResource1* self, const SECURITY_ATTRIBUTES* attributes,
                                                DWORD access, const WCHAR* name, HANDLE* out) {
  Texture* t = FromResource1(self);
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  StatsUpdate([&](NimoGpuStats& s) {
    s.last_shared_access = access;
    s.last_shared_had_attributes_or_name = (attributes || name) ? 1u : 0u;
  });
  if (!(t->desc.MiscFlags & D3D11_RESOURCE_MISC_SHARED_NTHANDLE) || t->opened || !t->view->section) {
    Invalid("CreateSharedHandle on a texture without D3D11_RESOURCE_MISC_SHARED_NTHANDLE");
    return DXGI_ERROR_INVALID_CALL;
  }
  const DWORD known = DXGI_SHARED_RESOURCE_READ | DXGI_SHARED_RESOURCE_WRITE;
  if (access == 0 || ((access & ~known) != 0 && access != GENERIC_ALL)) {
    Invalid("CreateSharedHandle access 0x%08lX", access);
    return E_INVALIDARG;
  }
  if (DeviceRemoved(t->device)) {
    Journal("CreateSharedHandle failed: device removed");
    return DXGI_ERROR_DEVICE_REMOVED;
  }
  if (FailureScripted("sharedhandle")) {
    Journal("CreateSharedHandle failed (scripted)");
    return E_OUTOFMEMORY;
  }
  bool write = access == GENERIC_ALL || (access & DXGI_SHARED_RESOURCE_WRITE) != 0;
  DWORD rights = SECTION_QUERY | FILE_MAP_READ | (write ? FILE_MAP_WRITE : 0);
  HANDLE dup = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), t->view->section, GetCurrentProcess(), &dup, rights, FALSE, 0))
    return HRESULT_FROM_WIN32(GetLastError());
  StatsAdd(&NimoGpuStats::shared_handles_created);
  Journal("CreateSharedHandle %ux%u access=0x%08lX handle=%p", t->desc.Width, t->desc.Height, access, dup);
  *out = dup;
  return S_OK;
}

struct VtableSetup {
  VtableSetup() {
    FillWithTraps(&g_texture_vtbl, sizeof g_texture_vtbl, "ID3D11Texture2D");
    g_texture_vtbl.QueryInterface = Timed<TexQueryInterface>;
    g_texture_vtbl.AddRef = Timed<TexAddRef>;
    g_texture_vtbl.Release = Timed<TexRelease>;
    g_texture_vtbl.GetDevice = Timed<TexGetDevice>;
    g_texture_vtbl.GetType = Timed<TexGetType>;
    g_texture_vtbl.GetDesc = Timed<TexGetDesc>;

    FillWithTraps(&g_resource1_vtbl, sizeof g_resource1_vtbl, "IDXGIResource1");
    g_resource1_vtbl.QueryInterface = Timed<ResQueryInterface>;
    g_resource1_vtbl.AddRef = Timed<ResAddRef>;
    g_resource1_vtbl.Release = Timed<ResRelease>;
    g_resource1_vtbl.CreateSharedHandle = Timed<ResCreateSharedHandle>;
    InitKeyedMutexVtable(&g_keyed_mutex_vtbl);
  }
} g_vtable_setup;

Texture* NewTexture(Device* d, const D3D11_TEXTURE2D_DESC& desc, const SectionView& view, bool opened) {
  Texture* t = new (std::nothrow) Texture();
  if (!t) return nullptr;
  t->iface.lpVtbl = &g_texture_vtbl;
  t->resource1.lpVtbl = &g_resource1_vtbl;
  t->keyed_mutex.lpVtbl = &g_keyed_mutex_vtbl;
  t->refs = 1;
  t->device = d;
  DeviceAddRef(d);
  t->desc = desc;
  t->view = ShareView(view);
  t->opened = opened;
  StatsAdd(&NimoGpuStats::textures_live);
  return t;
}

}  // namespace

std::uint32_t RowPitchFor(std::uint32_t width) { return (width * 4u + 255u) & ~255u; }

bool IsKnownFormat(std::uint32_t format) {
  switch (format) {
    case DXGI_FORMAT_B8G8R8A8_UNORM:
    case DXGI_FORMAT_B8G8R8A8_UNORM_SRGB:
    case DXGI_FORMAT_B8G8R8A8_TYPELESS:
    case DXGI_FORMAT_B8G8R8X8_UNORM:
    case DXGI_FORMAT_R8G8B8A8_UNORM:
    case DXGI_FORMAT_R8G8B8A8_UNORM_SRGB:
    case DXGI_FORMAT_R8G8B8A8_TYPELESS:
      return true;
    default:
      return false;
  }
}

bool FormatsCopyCompatible(std::uint32_t a, std::uint32_t b) {
  auto group = [](std::uint32_t f) -> int {
    switch (f) {
      case DXGI_FORMAT_B8G8R8A8_UNORM:
      case DXGI_FORMAT_B8G8R8A8_UNORM_SRGB:
      case DXGI_FORMAT_B8G8R8A8_TYPELESS:
        return 1;
      case DXGI_FORMAT_R8G8B8A8_UNORM:
      case DXGI_FORMAT_R8G8B8A8_UNORM_SRGB:
      case DXGI_FORMAT_R8G8B8A8_TYPELESS:
        return 2;
      case DXGI_FORMAT_B8G8R8X8_UNORM:
        return 3;
      default:
        return 0;
    }
  };
  return group(a) != 0 && group(a) == group(b);
}

bool CreateSection(std::uint32_t width, std::uint32_t height, std::uint32_t format,
                   std::uint32_t bind_flags, std::uint32_t misc_flags, SectionView* out) {
  std::uint32_t pitch = RowPitchFor(width);
  std::uint64_t size = kSectionHeaderBytes + static_cast<std::uint64_t>(pitch) * height;
  HANDLE section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                      static_cast<DWORD>(size >> 32), static_cast<DWORD>(size), nullptr);
  if (!section) return false;
  void* base = MapViewOfFile(section, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
  if (!base) {
    CloseHandle(section);
    return false;
  }
  out->section = section;
  out->base = static_cast<std::uint8_t*>(base);
  out->writable = true;
  SectionHeader* h = out->header();
  h->magic = kSectionMagic;
  h->width = width;
  h->height = height;
  h->format = format;
  h->row_pitch = pitch;
  h->bind_flags = bind_flags;
  h->misc_flags = misc_flags;
  return true;
}

bool OpenSection(HANDLE handle, SectionView* out) {
  if (!handle) return false;
  bool writable = true;
  void* base = MapViewOfFile(handle, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
  if (!base) {
    writable = false;
    base = MapViewOfFile(handle, FILE_MAP_READ, 0, 0, 0);
  }
  if (!base) return false;
  MEMORY_BASIC_INFORMATION info = {};
  VirtualQuery(base, &info, sizeof info);
  const SectionHeader* h = static_cast<const SectionHeader*>(base);
  bool ok = info.RegionSize >= kSectionHeaderBytes && h->magic == kSectionMagic && h->width > 0 &&
            h->height > 0 && IsKnownFormat(h->format) && h->row_pitch >= h->width * 4u &&
            kSectionHeaderBytes + static_cast<std::uint64_t>(h->row_pitch) * h->height <= info.RegionSize;
  if (!ok) {
    UnmapViewOfFile(base);
    return false;
  }
  out->section = nullptr;
  out->base = static_cast<std::uint8_t*>(base);
  out->writable = writable;
  return true;
}

void CloseSection(SectionView* view) {
  if (view->base) UnmapViewOfFile(view->base);
  if (view->section) CloseHandle(view->section);
  *view = SectionView();
}

SharedView ShareView(const SectionView& view) {
  return SharedView(new SectionView(view), [](SectionView* v) {
    CloseSection(v);
    delete v;
  });
}

Texture* TextureFrom(void* resource) {
  if (!resource) return nullptr;
  const void* vtbl = *static_cast<void* const*>(resource);
  if (vtbl == &g_texture_vtbl) return static_cast<Texture*>(resource);
  if (vtbl == &g_resource1_vtbl) return FromResource1(static_cast<IDXGIResource1*>(resource));
  if (vtbl == &g_keyed_mutex_vtbl)
    return reinterpret_cast<Texture*>(static_cast<std::uint8_t*>(resource) - offsetof(Texture, keyed_mutex));
  return nullptr;
}

HRESULT CreateTexture(Device* d, const D3D11_TEXTURE2D_DESC* desc, const D3D11_SUBRESOURCE_DATA* initial,
                      ID3D11Texture2D** out) {
  if (out) *out = nullptr;
  if (!desc) return E_INVALIDARG;
  if (DeviceRemoved(d)) {
    Journal("CreateTexture2D failed: device removed");
    return DXGI_ERROR_DEVICE_REMOVED;
  }
  StatsUpdate([&](NimoGpuStats& s) {
    s.last_width = desc->Width;
    s.last_height = desc->Height;
    s.last_format = desc->Format;
    s.last_usage = desc->Usage;
    s.last_bind_flags = desc->BindFlags;
    s.last_cpu_flags = desc->CPUAccessFlags;
    s.last_misc_flags = desc->MiscFlags;
    s.last_mip_levels = desc->MipLevels;
    s.last_array_size = desc->ArraySize;
    s.last_sample_count = desc->SampleDesc.Count;
    s.last_sample_quality = desc->SampleDesc.Quality;
  });
  auto reject = [&](const char* why) {
    Invalid("CreateTexture2D %ux%u: %s", desc->Width, desc->Height, why);
    StatsAdd(&NimoGpuStats::texture_create_failures);
    return E_INVALIDARG;
  };
  if (desc->Width == 0 || desc->Height == 0 || desc->Width > 16384 || desc->Height > 16384)
    return reject("size out of range");
  if (desc->MipLevels != 1 || desc->ArraySize != 1 || desc->SampleDesc.Count != 1 || desc->SampleDesc.Quality != 0)
    FailLoudly("CreateTexture2D: only one mip, one slice, one sample are simulated");
  if (!IsKnownFormat(desc->Format)) FailLoudly("CreateTexture2D: only 4-byte RGBA/BGRA formats are simulated");
  const UINT shared_any = D3D11_RESOURCE_MISC_SHARED | D3D11_RESOURCE_MISC_SHARED_KEYEDMUTEX;
  if ((desc->MiscFlags & D3D11_RESOURCE_MISC_SHARED_NTHANDLE) && !(desc->MiscFlags & shared_any))
    return reject("SHARED_NTHANDLE without SHARED or SHARED_KEYEDMUTEX");
  if (desc->Usage == D3D11_USAGE_STAGING) {
    if (desc->BindFlags != 0) return reject("staging texture with bind flags");
    if (desc->CPUAccessFlags == 0) return reject("staging texture without CPU access");
    if (desc->MiscFlags & (shared_any | D3D11_RESOURCE_MISC_SHARED_NTHANDLE)) return reject("shared staging texture");
  } else if (desc->Usage == D3D11_USAGE_DEFAULT) {
    if (desc->CPUAccessFlags != 0) return reject("default-usage texture with CPU access");
  } else if (desc->Usage == D3D11_USAGE_IMMUTABLE) {
    if (!initial) return reject("immutable texture without initial data");
  } else {
    FailLoudly("CreateTexture2D: dynamic textures are not simulated");
  }
  if (!out) return S_FALSE;  // validation only, as the runtime does
  if ((desc->MiscFlags & shared_any) && FailureScripted("texture")) {
    Journal("CreateTexture2D failed (scripted)");
    StatsAdd(&NimoGpuStats::texture_create_failures);
    return E_OUTOFMEMORY;
  }
  SectionView view;
  if (!CreateSection(desc->Width, desc->Height, desc->Format, desc->BindFlags, desc->MiscFlags, &view)) {
    StatsAdd(&NimoGpuStats::texture_create_failures);
    return E_OUTOFMEMORY;
  }
  if (initial && initial->pSysMem) {
    std::uint32_t pitch = view.header()->row_pitch;
    for (UINT y = 0; y < desc->Height; ++y)
      std::memcpy(view.pixels() + static_cast<size_t>(y) * pitch,
                  static_cast<const std::uint8_t*>(initial->pSysMem) + static_cast<size_t>(y) * initial->SysMemPitch,
                  static_cast<size_t>(desc->Width) * 4u);
  }
  Texture* t = NewTexture(d, *desc, view, false);
  if (!t) {
    CloseSection(&view);
    return E_OUTOFMEMORY;
  }
  StatsAdd(&NimoGpuStats::textures_created);
  Journal("CreateTexture2D %ux%u format=%u usage=%u bind=0x%X cpu=0x%X misc=0x%X", desc->Width, desc->Height,
          desc->Format, desc->Usage, desc->BindFlags, desc->CPUAccessFlags, desc->MiscFlags);
  *out = &t->iface;
  return S_OK;
}

HRESULT OpenSharedTexture(Device* d, HANDLE handle, REFIID riid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  auto fail = [&](HRESULT hr, const char* why) {
    StatsAdd(&NimoGpuStats::open_failures);
    Journal("OpenSharedResource1 %p failed: %s", handle, why);
    return hr;
  };
  if (FailureScripted("open")) return fail(E_INVALIDARG, "scripted");
  if (DeviceRemoved(d)) return fail(DXGI_ERROR_DEVICE_REMOVED, "device removed");
  bool texture_iid = IsEqualIID(riid, IID_ID3D11Texture2D) || IsEqualIID(riid, IID_ID3D11Resource);
  bool dxgi_iid = IsEqualIID(riid, IID_IDXGIResource) || IsEqualIID(riid, IID_IDXGIResource1);
  if (!texture_iid && !dxgi_iid) return fail(E_NOINTERFACE, "interface");
  SectionView view;
  if (!OpenSection(handle, &view)) return fail(E_INVALIDARG, "not a shared stand-in texture");
  const SectionHeader* h = view.header();
  D3D11_TEXTURE2D_DESC desc = {};
  desc.Width = h->width;
  desc.Height = h->height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = static_cast<DXGI_FORMAT>(h->format);
  desc.SampleDesc.Count = 1;
  desc.Usage = D3D11_USAGE_DEFAULT;
  desc.BindFlags = h->bind_flags;
  desc.MiscFlags = h->misc_flags;
  Texture* t = NewTexture(d, desc, view, true);
  if (!t) {
    CloseSection(&view);
    return fail(E_OUTOFMEMORY, "memory");
  }
  StatsAdd(&NimoGpuStats::textures_opened);
  Journal("OpenSharedResource1 %p %ux%u format=%u%s", handle, desc.Width, desc.Height, desc.Format,
          view.writable ? "" : " read-only");
  *out = texture_iid ? static_cast<void*>(&t->iface) : static_cast<void*>(&t->resource1);
  return S_OK;
}

}  // namespace standin
