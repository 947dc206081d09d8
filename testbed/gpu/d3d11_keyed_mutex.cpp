// IDXGIKeyedMutex of a shared texture made with SHARED_KEYEDMUTEX. The mutex lives in the
// texture's section header, so every process and device that opened the texture sees the
// same one. AcquireSync waits on the CPU until the mutex is free and was released with the
// key asked for; ReleaseSync is work on the releasing device's timeline, so the mutex is
// handed on only once the work recorded before it has run, as on real hardware. (A holder
// whose device goes away does not abandon the mutex here: nothing reports WAIT_ABANDONED.)
#include "testbed/gpu/d3d11_objects.h"

namespace standin {
namespace {

Texture* Self(IDXGIKeyedMutex* self) { return TextureFrom(self); }

HRESULT STDMETHODCALLTYPE KmQueryInterface(IDXGIKeyedMutex* self, REFIID riid, void** out) {
  Texture* t = Self(self);
  return t->iface.lpVtbl->QueryInterface(&t->iface, riid, out);
}
ULONG STDMETHODCALLTYPE KmAddRef(IDXGIKeyedMutex* self) {
  Texture* t = Self(self);
  return t->iface.lpVtbl->AddRef(&t->iface);
}
ULONG STDMETHODCALLTYPE KmRelease(IDXGIKeyedMutex* self) {
  Texture* t = Self(self);
  return t->iface.lpVtbl->Release(&t->iface);
}

HRESULT STDMETHODCALLTYPE KmAcquireSync(IDXGIKeyedMutex* self, UINT64 key, DWORD ms) {
  Texture* t = Self(self);
  if (DeviceRemoved(t->device)) return DXGI_ERROR_DEVICE_REMOVED;
  if (key >= static_cast<UINT64>(kKeyedMutexHeld)) return E_INVALIDARG;
  SectionHeader* h = t->view->header();
  const LONG64 free_with_key = static_cast<LONG64>(key);
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (InterlockedCompareExchange64(&h->keyed_state, free_with_key | kKeyedMutexHeld, free_with_key) ==
        free_with_key) {
      Journal("AcquireSync key=%llu", static_cast<unsigned long long>(key));
      return S_OK;
    }
    if (ms != INFINITE && GetTickCount64() - start >= ms) return static_cast<HRESULT>(WAIT_TIMEOUT);
    Sleep(1);
  }
}

HRESULT STDMETHODCALLTYPE KmReleaseSync(IDXGIKeyedMutex* self, UINT64 key) {
  Texture* t = Self(self);
  if (DeviceRemoved(t->device)) return DXGI_ERROR_DEVICE_REMOVED;
  if (key >= static_cast<UINT64>(kKeyedMutexHeld)) return E_INVALIDARG;
  SectionHeader* h = t->view->header();
  if ((h->keyed_state & kKeyedMutexHeld) == 0) return DXGI_ERROR_INVALID_CALL;  // not held
  SharedView view = t->view;
  const LONG64 released = static_cast<LONG64>(key);
  Record(t->device, [view, released] { InterlockedExchange64(&view->header()->keyed_state, released); });
  Submit(t->device);  // a release submits what came before it
  Journal("ReleaseSync key=%llu", static_cast<unsigned long long>(key));
  return S_OK;
}

}  // namespace

void InitKeyedMutexVtable(IDXGIKeyedMutexVtbl* vtbl) {
  FillWithTraps(vtbl, sizeof *vtbl, "IDXGIKeyedMutex");
  vtbl->QueryInterface = Timed<KmQueryInterface>;
  vtbl->AddRef = Timed<KmAddRef>;
  vtbl->Release = Timed<KmRelease>;
  vtbl->AcquireSync = Timed<KmAcquireSync>;
  vtbl->ReleaseSync = Timed<KmReleaseSync>;
}

}  // namespace standin
