// ID3D11Fence of the d3d11 stand-in. The fence's value lives in a small file-mapping
// section, so a fence made shared hands out a real section handle: duplicated into another
// process and opened there with OpenSharedFence, both see the same value. Signal and Wait
// are work on the context's timeline (a signal is seen once the work before it has run; a
// wait holds back the work after it); CPU waits (SetEventOnCompletion) are served by one
// watcher thread per process that looks at the waited-for fences every millisecond.
// When a device is lost, every fence it made completes (to UINT64_MAX), as a driver's
// reset does, so another device waiting on it goes on instead of waiting for ever.
#include "testbed/gpu/d3d11_objects.h"

#include <new>
#include <utility>
#include <vector>

namespace standin {
namespace {

constexpr std::uint32_t kFenceMagic = 0x45434E46u;  // "FNCE"

struct FenceSection {
  std::uint32_t magic;
  std::uint32_t reserved0;
  volatile LONG64 value;
  std::uint8_t reserved[48];
};
static_assert(sizeof(FenceSection) == 64, "fence section size");

// The mapped value; the section handle is kept only by a fence made here (to share it).
struct FenceMemory {
  HANDLE section = nullptr;
  FenceSection* base = nullptr;
  volatile LONG lost = 0;  // its device was lost: the value stays UINT64_MAX
  ~FenceMemory() {
    if (base) UnmapViewOfFile(base);
    if (section) CloseHandle(section);
  }
  UINT64 Value() const { return static_cast<UINT64>(InterlockedCompareExchange64(&base->value, 0, 0)); }
};
using SharedFence = std::shared_ptr<FenceMemory>;

// The fences each device made, for completing them when it is lost.
struct MadeFence {
  Device* device;
  std::weak_ptr<FenceMemory> memory;
};
CRITICAL_SECTION* MadeLock() {
  static CRITICAL_SECTION* lock = [] {
    static CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    return &cs;
  }();
  return lock;
}
std::vector<MadeFence>& Made() {
  static std::vector<MadeFence>* made = new std::vector<MadeFence>();  // used until exit
  return *made;
}
void RememberMade(Device* d, const SharedFence& memory) {
  EnterCriticalSection(MadeLock());
  auto& all = Made();
  for (size_t i = 0; i < all.size();) {
    if (all[i].memory.expired())
      all.erase(all.begin() + static_cast<std::ptrdiff_t>(i));
    else
      ++i;
  }
  all.push_back(MadeFence{d, memory});
  LeaveCriticalSection(MadeLock());
}

// Sets the value unless the fence was completed by its device's loss: a signal that was
// already on its way must not take the value back down.
void SignalValue(FenceMemory* m, UINT64 value) {
  for (;;) {
    const LONG64 seen = InterlockedCompareExchange64(&m->base->value, 0, 0);
    if (m->lost) return;
    if (InterlockedCompareExchange64(&m->base->value, static_cast<LONG64>(value), seen) == seen) return;
  }
}

struct Fence {
  ID3D11Fence iface;  // first: the pointer handed out is the record's address
  LONG refs;
  SharedFence memory;
  bool shareable;  // made with D3D11_FENCE_FLAG_SHARED
};

ID3D11FenceVtbl g_fence_vtbl;

Fence* FenceFrom(ID3D11Fence* f) {
  return f && f->lpVtbl == &g_fence_vtbl ? reinterpret_cast<Fence*>(f) : nullptr;
}

// ---- CPU waits: one watcher thread per process ----
struct CpuWaiter {
  SharedFence memory;
  UINT64 value;
  HANDLE event;  // a duplicate of the caller's, closed once set
};
CRITICAL_SECTION* WaitersLock() {
  static CRITICAL_SECTION* lock = [] {
    static CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    return &cs;
  }();
  return lock;
}
std::vector<CpuWaiter>& Waiters() {
  static std::vector<CpuWaiter>* waiters = new std::vector<CpuWaiter>();  // used until exit
  return *waiters;
}
bool g_watcher_started = false;  // under WaitersLock

DWORD WINAPI Watcher(void*) {
  for (;;) {
    EnterCriticalSection(WaitersLock());
    auto& all = Waiters();
    for (size_t i = 0; i < all.size();) {
      if (all[i].memory->Value() >= all[i].value) {
        SetEvent(all[i].event);
        CloseHandle(all[i].event);
        all.erase(all.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
    LeaveCriticalSection(WaitersLock());
    Sleep(1);
  }
}

HRESULT STDMETHODCALLTYPE FenceQueryInterface(ID3D11Fence* self, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ID3D11DeviceChild) &&
      !IsEqualIID(riid, IID_ID3D11Fence))
    return E_NOINTERFACE;
  InterlockedIncrement(&reinterpret_cast<Fence*>(self)->refs);
  *out = self;
  return S_OK;
}
ULONG STDMETHODCALLTYPE FenceAddRef(ID3D11Fence* self) {
  return static_cast<ULONG>(InterlockedIncrement(&reinterpret_cast<Fence*>(self)->refs));
}
ULONG STDMETHODCALLTYPE FenceRelease(ID3D11Fence* self) {
  Fence* f = reinterpret_cast<Fence*>(self);
  const LONG left = InterlockedDecrement(&f->refs);
  if (left < 0) FailLoudly("ID3D11Fence released more often than referenced");
  if (left == 0) {
    Journal("fence released");
    delete f;  // a queued signal or wait keeps the value's memory until it has run
  }
  return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE FenceCreateSharedHandle(ID3D11Fence* self, const SECURITY_ATTRIBUTES*, DWORD access,
                                                  const WCHAR*, HANDLE* out) {
  Fence* f = reinterpret_cast<Fence*>(self);
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!f->shareable || !f->memory->section) {
    Invalid("ID3D11Fence::CreateSharedHandle on a fence made without D3D11_FENCE_FLAG_SHARED");
    return DXGI_ERROR_INVALID_CALL;
  }
  if (access != GENERIC_ALL) {
    Invalid("ID3D11Fence::CreateSharedHandle access 0x%08lX (fences share with GENERIC_ALL)", access);
    return E_INVALIDARG;
  }
  HANDLE dup = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), f->memory->section, GetCurrentProcess(), &dup,
                       SECTION_QUERY | FILE_MAP_READ | FILE_MAP_WRITE, FALSE, 0))
    return HRESULT_FROM_WIN32(GetLastError());
  Journal("fence CreateSharedHandle handle=%p", dup);
  *out = dup;
  return S_OK;
}

UINT64 STDMETHODCALLTYPE FenceGetCompletedValue(ID3D11Fence* self) {
  return reinterpret_cast<Fence*>(self)->memory->Value();
}

HRESULT STDMETHODCALLTYPE FenceSetEventOnCompletion(ID3D11Fence* self, UINT64 value, HANDLE event) {
  Fence* f = reinterpret_cast<Fence*>(self);
  if (!event) {  // no event: the caller waits here
    while (f->memory->Value() < value) Sleep(1);
    return S_OK;
  }
  HANDLE dup = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &dup, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return E_INVALIDARG;
  if (f->memory->Value() >= value) {
    SetEvent(dup);
    CloseHandle(dup);
    return S_OK;
  }
  EnterCriticalSection(WaitersLock());
  Waiters().push_back(CpuWaiter{f->memory, value, dup});
  if (!g_watcher_started) {
    HANDLE thread = CreateThread(nullptr, 0, Watcher, nullptr, 0, nullptr);
    if (!thread) FailLoudly("the stand-in fence watcher could not be started");
    CloseHandle(thread);
    g_watcher_started = true;
  }
  LeaveCriticalSection(WaitersLock());
  return S_OK;
}

struct VtableSetup {
  VtableSetup() {
    FillWithTraps(&g_fence_vtbl, sizeof g_fence_vtbl, "ID3D11Fence");
    g_fence_vtbl.QueryInterface = Timed<FenceQueryInterface>;
    g_fence_vtbl.AddRef = Timed<FenceAddRef>;
    g_fence_vtbl.Release = Timed<FenceRelease>;
    g_fence_vtbl.CreateSharedHandle = Timed<FenceCreateSharedHandle>;
    g_fence_vtbl.GetCompletedValue = Timed<FenceGetCompletedValue>;
    g_fence_vtbl.SetEventOnCompletion = Timed<FenceSetEventOnCompletion>;
  }
} g_vtable_setup;

HRESULT HandOut(SharedFence memory, bool shareable, REFIID riid, void** out) {
  if (!IsEqualIID(riid, IID_ID3D11Fence) && !IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
  Fence* f = new (std::nothrow) Fence();
  if (!f) return E_OUTOFMEMORY;
  f->iface.lpVtbl = &g_fence_vtbl;
  f->refs = 1;
  f->memory = std::move(memory);
  f->shareable = shareable;
  *out = &f->iface;
  return S_OK;
}

}  // namespace

HRESULT CreateFence(Device* d, UINT64 initial, D3D11_FENCE_FLAG flags, REFIID riid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (DeviceRemoved(d)) return DXGI_ERROR_DEVICE_REMOVED;
  if (flags != D3D11_FENCE_FLAG_NONE && flags != D3D11_FENCE_FLAG_SHARED) {
    Invalid("CreateFence flags 0x%X", static_cast<unsigned>(flags));
    return E_INVALIDARG;
  }
  SharedFence memory = std::make_shared<FenceMemory>();
  memory->section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(FenceSection), nullptr);
  if (memory->section)
    memory->base = static_cast<FenceSection*>(MapViewOfFile(memory->section, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
  if (!memory->base) return E_OUTOFMEMORY;
  memory->base->magic = kFenceMagic;
  memory->base->value = static_cast<LONG64>(initial);
  Journal("CreateFence initial=%llu flags=0x%X", static_cast<unsigned long long>(initial), static_cast<unsigned>(flags));
  RememberMade(d, memory);
  return HandOut(std::move(memory), flags == D3D11_FENCE_FLAG_SHARED, riid, out);
}

HRESULT OpenSharedFence(Device* d, HANDLE handle, REFIID riid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (DeviceRemoved(d)) return DXGI_ERROR_DEVICE_REMOVED;
  SharedFence memory = std::make_shared<FenceMemory>();
  memory->base = handle ? static_cast<FenceSection*>(MapViewOfFile(handle, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0))
                        : nullptr;
  MEMORY_BASIC_INFORMATION info = {};
  if (memory->base) VirtualQuery(memory->base, &info, sizeof info);
  if (!memory->base || info.RegionSize < sizeof(FenceSection) || memory->base->magic != kFenceMagic) {
    Journal("OpenSharedFence %p failed: not a shared stand-in fence", handle);
    return E_INVALIDARG;
  }
  Journal("OpenSharedFence %p value=%llu", handle, static_cast<unsigned long long>(memory->Value()));
  return HandOut(std::move(memory), false, riid, out);
}

HRESULT ContextSignal(Device* d, ID3D11Fence* fence, UINT64 value) {
  Fence* f = FenceFrom(fence);
  if (!f) return E_INVALIDARG;
  if (DeviceRemoved(d)) return DXGI_ERROR_DEVICE_REMOVED;
  SharedFence memory = f->memory;
  Record(d, [memory, value] { SignalValue(memory.get(), value); });
  return S_OK;
}

void CompleteFencesOf(Device* d) {
  EnterCriticalSection(MadeLock());
  int completed = 0;
  for (MadeFence& f : Made()) {
    if (f.device != d) continue;
    if (SharedFence m = f.memory.lock()) {
      InterlockedExchange(&m->lost, 1);
      InterlockedExchange64(&m->base->value, -1);  // UINT64_MAX
      ++completed;
    }
  }
  LeaveCriticalSection(MadeLock());
  if (completed) Journal("fences completed by the device's loss: %d", completed);
}

void ForgetFencesOf(Device* d) {
  EnterCriticalSection(MadeLock());
  auto& all = Made();
  for (size_t i = 0; i < all.size();) {
    if (all[i].device == d)
      all.erase(all.begin() + static_cast<std::ptrdiff_t>(i));
    else
      ++i;
  }
  LeaveCriticalSection(MadeLock());
}

HRESULT ContextWait(Device* d, ID3D11Fence* fence, UINT64 value) {
  Fence* f = FenceFrom(fence);
  if (!f) return E_INVALIDARG;
  if (DeviceRemoved(d)) return DXGI_ERROR_DEVICE_REMOVED;
  SharedFence memory = f->memory;
  // The CPU does not block: the wait holds back this device's later work on its GPU thread.
  RecordBlocking(d, [d, memory, value] {
    while (memory->Value() < value && !TimelineEnding(d) && !DeviceRemoved(d)) Sleep(1);
  });
  return S_OK;
}

}  // namespace standin
