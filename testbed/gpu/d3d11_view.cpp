// Shader resource views of the d3d11 stand-in: what a program makes to draw a texture. A
// view holds its texture; nothing reads through it here, but its lifetime is counted so a
// host that leaks views shows it.
#include "testbed/gpu/d3d11_objects.h"

#include <new>

namespace standin {
namespace {

struct View {
  ID3D11ShaderResourceView iface;  // first: the pointer handed out is the record's address
  LONG refs;
  ID3D11Texture2D* texture;  // one reference held
  D3D11_SHADER_RESOURCE_VIEW_DESC desc;
};

ID3D11ShaderResourceViewVtbl g_view_vtbl;

View* Self(ID3D11ShaderResourceView* v) { return reinterpret_cast<View*>(v); }

HRESULT STDMETHODCALLTYPE ViewQueryInterface(ID3D11ShaderResourceView* self, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ID3D11DeviceChild) ||
      IsEqualIID(riid, IID_ID3D11View) || IsEqualIID(riid, IID_ID3D11ShaderResourceView)) {
    InterlockedIncrement(&Self(self)->refs);
    *out = self;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}
ULONG STDMETHODCALLTYPE ViewAddRef(ID3D11ShaderResourceView* self) {
  return static_cast<ULONG>(InterlockedIncrement(&Self(self)->refs));
}
ULONG STDMETHODCALLTYPE ViewRelease(ID3D11ShaderResourceView* self) {
  View* v = Self(self);
  const LONG left = InterlockedDecrement(&v->refs);
  if (left < 0) FailLoudly("ID3D11ShaderResourceView released more often than referenced");
  if (left == 0) {
    ID3D11Texture2D_Release(v->texture);
    delete v;
    StatsAdd(&NimoGpuStats::views_live, -1);
  }
  return static_cast<ULONG>(left);
}
void STDMETHODCALLTYPE ViewGetResource(ID3D11ShaderResourceView* self, ID3D11Resource** out) {
  ID3D11Texture2D_AddRef(Self(self)->texture);
  *out = reinterpret_cast<ID3D11Resource*>(Self(self)->texture);
}
void STDMETHODCALLTYPE ViewGetDesc(ID3D11ShaderResourceView* self, D3D11_SHADER_RESOURCE_VIEW_DESC* out) {
  *out = Self(self)->desc;
}

struct VtableSetup {
  VtableSetup() {
    FillWithTraps(&g_view_vtbl, sizeof g_view_vtbl, "ID3D11ShaderResourceView");
    g_view_vtbl.QueryInterface = Timed<ViewQueryInterface>;
    g_view_vtbl.AddRef = Timed<ViewAddRef>;
    g_view_vtbl.Release = Timed<ViewRelease>;
    g_view_vtbl.GetResource = Timed<ViewGetResource>;
    g_view_vtbl.GetDesc = Timed<ViewGetDesc>;
  }
} g_vtable_setup;

}  // namespace

HRESULT CreateShaderResourceView(ID3D11Resource* resource, const D3D11_SHADER_RESOURCE_VIEW_DESC* desc,
                                 ID3D11ShaderResourceView** out) {
  if (out) *out = nullptr;
  Texture* t = TextureFrom(resource);
  if (!t) {
    Invalid("CreateShaderResourceView: not a stand-in texture");
    return E_INVALIDARG;
  }
  if (DeviceRemoved(t->device)) {
    Journal("CreateShaderResourceView failed: device removed");
    return DXGI_ERROR_DEVICE_REMOVED;
  }
  if (!(t->desc.BindFlags & D3D11_BIND_SHADER_RESOURCE)) {
    Invalid("CreateShaderResourceView: the texture has no shader-resource binding");
    return E_INVALIDARG;
  }
  if (desc && (desc->ViewDimension != D3D11_SRV_DIMENSION_TEXTURE2D ||
               !FormatsCopyCompatible(desc->Format, t->desc.Format))) {
    Invalid("CreateShaderResourceView: a description the texture does not match");
    return E_INVALIDARG;
  }
  if (!out) return S_FALSE;  // the runtime's answer to a validation-only call
  View* v = new (std::nothrow) View();
  if (!v) return E_OUTOFMEMORY;
  v->iface.lpVtbl = &g_view_vtbl;
  v->refs = 1;
  v->texture = &t->iface;
  ID3D11Texture2D_AddRef(v->texture);
  if (desc) {
    v->desc = *desc;
  } else {
    v->desc.Format = t->desc.Format;
    v->desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    v->desc.Texture2D.MostDetailedMip = 0;
    v->desc.Texture2D.MipLevels = 1;
  }
  StatsAdd(&NimoGpuStats::views_created);
  StatsAdd(&NimoGpuStats::views_live);
  *out = &v->iface;
  return S_OK;
}

}  // namespace standin
