// The immediate context of the d3d11 stand-in: copies between section-backed textures,
// uploads, mapping of staging textures and flushes. Every copy checks what the real
// runtime requires (same size and format group, boxes inside both textures, subresource
// 0, no copy into a read-only or mapped texture); a call that breaks a rule is counted as
// invalid, logged and has no effect, as a real runtime drops it. The checks and counters
// happen at the call; the pixels move on the device's timeline (d3d11_timeline.cpp).
#include "testbed/gpu/d3d11_objects.h"

#include <cstring>
#include <memory>
#include <vector>

namespace standin {
namespace {

Texture* Resolve(ID3D11Resource* resource, const char* call, const char* role) {
  Texture* t = TextureFrom(resource);
  if (!t) Invalid("%s: %s is not a stand-in texture", call, role);
  return t;
}

bool CanWrite(const Texture* t, const char* call) {
  if (!t->view->writable) {
    Invalid("%s: destination was opened read-only", call);
    return false;
  }
  if (t->desc.Usage == D3D11_USAGE_IMMUTABLE) {
    Invalid("%s: destination is immutable", call);
    return false;
  }
  if (t->mapped) {
    Invalid("%s: destination is mapped", call);
    return false;
  }
  return true;
}

void CopyRows(const SectionView& dst, UINT dx, UINT dy, const std::uint8_t* src, std::uint32_t src_pitch, UINT width,
              UINT height) {
  std::uint32_t dst_pitch = dst.header()->row_pitch;
  for (UINT y = 0; y < height; ++y)
    std::memmove(dst.pixels() + static_cast<size_t>(dy + y) * dst_pitch + static_cast<size_t>(dx) * 4u,
                 src + static_cast<size_t>(y) * src_pitch, static_cast<size_t>(width) * 4u);
}

// A copy between two textures' pixels, recorded on the device's timeline: it reads the
// source when it runs, not when it is recorded, as a GPU does.
void RecordCopy(Device* d, const Texture* dst, UINT dx, UINT dy, const Texture* src, UINT sx, UINT sy, UINT w,
                UINT h) {
  SharedView to = dst->view;
  SharedView from = src->view;
  Record(d, [to, from, dx, dy, sx, sy, w, h] {
    const std::uint32_t sp = from->header()->row_pitch;
    CopyRows(*to, dx, dy, from->pixels() + static_cast<size_t>(sy) * sp + static_cast<size_t>(sx) * 4u, sp, w, h);
  });
}

HRESULT STDMETHODCALLTYPE CtxQueryInterface(ID3D11DeviceContext4* self, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ID3D11DeviceChild) &&
      !IsEqualIID(riid, IID_ID3D11DeviceContext) && !IsEqualIID(riid, IID_ID3D11DeviceContext1) &&
      !IsEqualIID(riid, IID_ID3D11DeviceContext2) && !IsEqualIID(riid, IID_ID3D11DeviceContext3) &&
      !IsEqualIID(riid, IID_ID3D11DeviceContext4))
    return E_NOINTERFACE;
  DeviceAddRef(DeviceFromContext(self));
  *out = self;
  return S_OK;
}
ULONG STDMETHODCALLTYPE CtxAddRef(ID3D11DeviceContext4* self) {
  Device* d = DeviceFromContext(self);
  DeviceAddRef(d);
  return static_cast<ULONG>(d->refs);
}
ULONG STDMETHODCALLTYPE CtxRelease(ID3D11DeviceContext4* self) {
  Device* d = DeviceFromContext(self);
  LONG left = d->refs - 1;
  DeviceRelease(d);
  return static_cast<ULONG>(left);
}
void STDMETHODCALLTYPE CtxGetDevice(ID3D11DeviceContext4* self, ID3D11Device** out) {
  Device* d = DeviceFromContext(self);
  DeviceAddRef(d);
  *out = reinterpret_cast<ID3D11Device*>(&d->iface);
}

void STDMETHODCALLTYPE CtxCopyResource(ID3D11DeviceContext4* self, ID3D11Resource* dst_resource,
                                       ID3D11Resource* src_resource) {
  Texture* dst = Resolve(dst_resource, "CopyResource", "destination");
  Texture* src = Resolve(src_resource, "CopyResource", "source");
  if (!dst || !src) return;
  if (dst == src) return Invalid("CopyResource: source and destination are the same texture");
  if (dst->desc.Width != src->desc.Width || dst->desc.Height != src->desc.Height)
    return Invalid("CopyResource: sizes differ (%ux%u from %ux%u)", dst->desc.Width, dst->desc.Height,
                   src->desc.Width, src->desc.Height);
  if (!FormatsCopyCompatible(dst->desc.Format, src->desc.Format))
    return Invalid("CopyResource: formats %u and %u are not compatible", dst->desc.Format, src->desc.Format);
  if (src->mapped) return Invalid("CopyResource: source is mapped");
  if (!CanWrite(dst, "CopyResource")) return;
  RecordCopy(DeviceFromContext(self), dst, 0, 0, src, 0, 0, src->desc.Width, src->desc.Height);
  std::uint64_t bytes = static_cast<std::uint64_t>(src->desc.Width) * src->desc.Height * 4u;
  StatsCopied(&NimoGpuStats::copy_resource_calls, &NimoGpuStats::copy_resource_bytes, bytes);
  Journal("CopyResource %ux%u bytes=%llu", src->desc.Width, src->desc.Height, static_cast<unsigned long long>(bytes));
}

void STDMETHODCALLTYPE CtxCopySubresourceRegion(ID3D11DeviceContext4* self, ID3D11Resource* dst_resource, UINT dst_sub,
                                                UINT dst_x, UINT dst_y, UINT dst_z, ID3D11Resource* src_resource,
                                                UINT src_sub, const D3D11_BOX* box) {
  Texture* dst = Resolve(dst_resource, "CopySubresourceRegion", "destination");
  Texture* src = Resolve(src_resource, "CopySubresourceRegion", "source");
  if (!dst || !src) return;
  if (dst_sub != 0 || src_sub != 0) return Invalid("CopySubresourceRegion: subresource %u/%u", dst_sub, src_sub);
  if (!FormatsCopyCompatible(dst->desc.Format, src->desc.Format))
    return Invalid("CopySubresourceRegion: formats %u and %u are not compatible", dst->desc.Format,
                   src->desc.Format);
  D3D11_BOX b = box ? *box : D3D11_BOX{0, 0, 0, src->desc.Width, src->desc.Height, 1};
  if (b.left >= b.right || b.top >= b.bottom || b.front >= b.back)
    return Invalid("CopySubresourceRegion: empty box (%u,%u)-(%u,%u)", b.left, b.top, b.right, b.bottom);
  if (b.right > src->desc.Width || b.bottom > src->desc.Height || b.front != 0 || b.back != 1)
    return Invalid("CopySubresourceRegion: box (%u,%u)-(%u,%u) outside the %ux%u source", b.left, b.top, b.right,
                   b.bottom, src->desc.Width, src->desc.Height);
  UINT w = b.right - b.left, h = b.bottom - b.top;
  if (dst_z != 0 || dst_x > dst->desc.Width || dst_y > dst->desc.Height || w > dst->desc.Width - dst_x ||
      h > dst->desc.Height - dst_y)
    return Invalid("CopySubresourceRegion: %ux%u at (%u,%u) outside the %ux%u destination", w, h, dst_x, dst_y,
                   dst->desc.Width, dst->desc.Height);
  if (src->mapped) return Invalid("CopySubresourceRegion: source is mapped");
  if (!CanWrite(dst, "CopySubresourceRegion")) return;
  RecordCopy(DeviceFromContext(self), dst, dst_x, dst_y, src, b.left, b.top, w, h);
  std::uint64_t bytes = static_cast<std::uint64_t>(w) * h * 4u;
  StatsCopied(&NimoGpuStats::copy_region_calls, &NimoGpuStats::copy_region_bytes, bytes);
  Journal("CopySubresourceRegion (%u,%u)-(%u,%u) to (%u,%u) bytes=%llu", b.left, b.top, b.right, b.bottom, dst_x,
          dst_y, static_cast<unsigned long long>(bytes));
}

void STDMETHODCALLTYPE CtxUpdateSubresource(ID3D11DeviceContext4* self, ID3D11Resource* dst_resource, UINT dst_sub,
                                            const D3D11_BOX* box, const void* data, UINT row_pitch, UINT) {
  Texture* dst = Resolve(dst_resource, "UpdateSubresource", "destination");
  if (!dst) return;
  if (dst_sub != 0) return Invalid("UpdateSubresource: subresource %u", dst_sub);
  if (dst->desc.Usage != D3D11_USAGE_DEFAULT) return Invalid("UpdateSubresource: destination usage %u", dst->desc.Usage);
  if (!data) return Invalid("UpdateSubresource: no source data");
  D3D11_BOX b = box ? *box : D3D11_BOX{0, 0, 0, dst->desc.Width, dst->desc.Height, 1};
  if (b.left >= b.right || b.top >= b.bottom || b.right > dst->desc.Width || b.bottom > dst->desc.Height)
    return Invalid("UpdateSubresource: box (%u,%u)-(%u,%u) outside %ux%u", b.left, b.top, b.right, b.bottom,
                   dst->desc.Width, dst->desc.Height);
  UINT w = b.right - b.left, h = b.bottom - b.top;
  if (row_pitch < w * 4u) return Invalid("UpdateSubresource: row pitch %u below %u", row_pitch, w * 4u);
  if (!CanWrite(dst, "UpdateSubresource")) return;
  Device* d = DeviceFromContext(self);
  if (RunsInline(d)) {
    if (!DeviceRemoved(d)) CopyRows(*dst->view, b.left, b.top, static_cast<const std::uint8_t*>(data), row_pitch, w, h);
  } else {
    // The runtime takes the caller's bytes at the call; the GPU writes them later.
    std::shared_ptr<std::vector<std::uint8_t>> bytes_now = std::make_shared<std::vector<std::uint8_t>>(
        static_cast<size_t>(w) * h * 4u);
    for (UINT y = 0; y < h; ++y)
      std::memcpy(bytes_now->data() + static_cast<size_t>(y) * w * 4u,
                  static_cast<const std::uint8_t*>(data) + static_cast<size_t>(y) * row_pitch, static_cast<size_t>(w) * 4u);
    SharedView to = dst->view;
    const UINT left = b.left, top = b.top;
    Record(d, [to, bytes_now, left, top, w, h] { CopyRows(*to, left, top, bytes_now->data(), w * 4u, w, h); });
  }
  std::uint64_t bytes = static_cast<std::uint64_t>(w) * h * 4u;
  StatsCopied(&NimoGpuStats::update_calls, &NimoGpuStats::update_bytes, bytes);
  Journal("UpdateSubresource (%u,%u)-(%u,%u) pitch=%u bytes=%llu", b.left, b.top, b.right, b.bottom, row_pitch,
          static_cast<unsigned long long>(bytes));
}

HRESULT STDMETHODCALLTYPE CtxMap(ID3D11DeviceContext4* self, ID3D11Resource* resource, UINT sub, D3D11_MAP type,
                                 UINT, D3D11_MAPPED_SUBRESOURCE* out) {
  Texture* t = Resolve(resource, "Map", "resource");
  if (!t || !out) return E_INVALIDARG;
  std::memset(out, 0, sizeof *out);
  Device* d = DeviceFromContext(self);
  if (DeviceRemoved(d)) return DXGI_ERROR_DEVICE_REMOVED;
  if (sub != 0) return Invalid("Map: subresource %u", sub), E_INVALIDARG;
  if (t->desc.Usage != D3D11_USAGE_STAGING) return Invalid("Map: only staging textures are mappable"), E_INVALIDARG;
  bool wants_read = type == D3D11_MAP_READ || type == D3D11_MAP_READ_WRITE;
  bool wants_write = type != D3D11_MAP_READ;
  if ((wants_read && !(t->desc.CPUAccessFlags & D3D11_CPU_ACCESS_READ)) ||
      (wants_write && !(t->desc.CPUAccessFlags & D3D11_CPU_ACCESS_WRITE)))
    return Invalid("Map: type %d not allowed by CPU access 0x%X", type, t->desc.CPUAccessFlags), E_INVALIDARG;
  if (t->mapped) return Invalid("Map: already mapped"), E_INVALIDARG;
  // Waits for this device's work only: another device's copies into a shared texture are
  // not ordered with it unless a fence or keyed mutex says so.
  WaitIdle(d);
  if (DeviceRemoved(d)) return DXGI_ERROR_DEVICE_REMOVED;
  t->mapped = true;
  out->pData = t->view->pixels();
  out->RowPitch = t->view->header()->row_pitch;
  out->DepthPitch = out->RowPitch * t->desc.Height;
  StatsAdd(&NimoGpuStats::maps);
  return S_OK;
}

void STDMETHODCALLTYPE CtxUnmap(ID3D11DeviceContext4*, ID3D11Resource* resource, UINT sub) {
  Texture* t = Resolve(resource, "Unmap", "resource");
  if (!t) return;
  if (sub != 0 || !t->mapped) return Invalid("Unmap: texture is not mapped");
  t->mapped = false;
  StatsAdd(&NimoGpuStats::unmaps);
}

void STDMETHODCALLTYPE CtxFlush(ID3D11DeviceContext4* self) {
  Submit(DeviceFromContext(self));
  std::uint64_t bytes = 0;
  StatsUpdate([&](NimoGpuStats& s) {
    s.flushes += 1;
    s.last_flush_bytes = s.bytes_since_flush;
    bytes = s.bytes_since_flush;
    s.bytes_since_flush = 0;
  });
  Journal("Flush bytes=%llu", static_cast<unsigned long long>(bytes));
}

HRESULT STDMETHODCALLTYPE CtxSignal(ID3D11DeviceContext4* self, ID3D11Fence* fence, UINT64 value) {
  return ContextSignal(DeviceFromContext(self), fence, value);
}
HRESULT STDMETHODCALLTYPE CtxWait(ID3D11DeviceContext4* self, ID3D11Fence* fence, UINT64 value) {
  return ContextWait(DeviceFromContext(self), fence, value);
}

}  // namespace

void InitContextVtable(ID3D11DeviceContext4Vtbl* vtbl) {
  FillWithTraps(vtbl, sizeof *vtbl, "ID3D11DeviceContext4");
  vtbl->QueryInterface = Timed<CtxQueryInterface>;
  vtbl->AddRef = Timed<CtxAddRef>;
  vtbl->Release = Timed<CtxRelease>;
  vtbl->GetDevice = Timed<CtxGetDevice>;
  vtbl->CopyResource = Timed<CtxCopyResource>;
  vtbl->CopySubresourceRegion = Timed<CtxCopySubresourceRegion>;
  vtbl->UpdateSubresource = Timed<CtxUpdateSubresource>;
  vtbl->Map = Timed<CtxMap>;
  vtbl->Unmap = Timed<CtxUnmap>;
  vtbl->Flush = Timed<CtxFlush>;
  vtbl->Signal = Timed<CtxSignal>;
  vtbl->Wait = Timed<CtxWait>;
}

}  // namespace standin
