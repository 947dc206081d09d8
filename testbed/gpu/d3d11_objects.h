// The d3d11 stand-in's objects. A texture's pixels live in a file-mapping section that
// starts with a SectionHeader, so the NT handle CreateSharedHandle gives out is a real
// section handle: duplicated into another process and opened there, it shows the same
// pixels. Device, context and textures may be used from any thread; the stand-in does no
// locking of pixels (neither does a real immediate context).
//
// With NIMO_STANDIN_GPU_DELAY_US set when a device is made, the device has a timeline: the
// work its immediate context records runs later on the device's own GPU thread
// (d3d11_timeline.cpp), so every recorded copy holds the pixels it touches by a shared
// SectionView, not by the texture, and runs even after the caller let the texture go.
#pragma once
#include "testbed/gpu/gpu_common.h"  // first: it asks for the C view of the interfaces
#include "testbed/gpu/standin_gpu.h"

#include <d3d11_4.h>

#include <functional>
#include <memory>

namespace standin {

constexpr std::uint32_t kSectionMagic = 0x54584E53u;  // "SNXT"
constexpr std::uint32_t kSectionHeaderBytes = 64;

struct SectionHeader {
  std::uint32_t magic;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t format;
  std::uint32_t row_pitch;
  std::uint32_t bind_flags;
  std::uint32_t misc_flags;
  std::uint32_t reserved0;
  // Keyed mutex of a SHARED_KEYEDMUTEX texture, seen by every process that maps it: the key
  // it was last released with, kKeyedMutexHeld set while someone holds it.
  volatile LONG64 keyed_state;
  std::uint32_t reserved[6];
};
static_assert(sizeof(SectionHeader) == kSectionHeaderBytes, "section header size");
constexpr LONG64 kKeyedMutexHeld = static_cast<LONG64>(1ull << 62);

// Bytes per row of a texture: rows are padded to 256 bytes as GPU drivers commonly do, so
// a reader that assumes packed rows shows up in the tests.
std::uint32_t RowPitchFor(std::uint32_t width);
bool IsKnownFormat(std::uint32_t format);
// Formats a copy may move between (same bit layout, as the runtime's format groups).
bool FormatsCopyCompatible(std::uint32_t a, std::uint32_t b);

// A mapped section: creating one (with header) or opening one by handle.
struct SectionView {
  HANDLE section = nullptr;  // owned when non-null
  std::uint8_t* base = nullptr;
  bool writable = false;
  SectionHeader* header() const { return reinterpret_cast<SectionHeader*>(base); }
  std::uint8_t* pixels() const { return base + kSectionHeaderBytes; }
};
bool CreateSection(std::uint32_t width, std::uint32_t height, std::uint32_t format,
                   std::uint32_t bind_flags, std::uint32_t misc_flags, SectionView* out);
// Maps a section someone else made; the handle is not kept.
bool OpenSection(HANDLE handle, SectionView* out);
void CloseSection(SectionView* view);

// A mapped section kept alive by whoever still needs its pixels: the texture, and every
// recorded copy not yet run.
using SharedView = std::shared_ptr<SectionView>;
SharedView ShareView(const SectionView& view);  // takes ownership; closes on the last release

struct Device;
struct Timeline;

struct Texture {
  ID3D11Texture2D iface;      // first: the pointer handed out is the record's address
  IDXGIResource1 resource1;  // the same object seen as a DXGI resource
  IDXGIKeyedMutex keyed_mutex;  // handed out only for textures made with SHARED_KEYEDMUTEX
  LONG refs;
  Device* device;  // one reference held
  D3D11_TEXTURE2D_DESC desc;
  SharedView view;
  bool opened;  // from OpenSharedResource1 (no own section handle)
  bool mapped;
};

struct Device {
  ID3D11Device5 iface;  // each ID3D11DeviceN extends the one before slot for slot
  ID3D11DeviceContext4 context;
  IDXGIDevice dxgi;  // the same device seen as a DXGI device (its adapter)
  LONG refs;  // the context and the DXGI view share the device's count
  D3D_FEATURE_LEVEL level;
  UINT adapter_index;  // scripted index of the adapter it was made on
  // NimoStandinRemoveDevice / NimoStandinRemoveAllDevices: every later call fails or is
  // dropped as on a lost device, and its queued work is thrown away.
  volatile LONG removed;
  Timeline* timeline;  // owned; made with the device, ended before it is freed
};

inline bool DeviceRemoved(const Device* d) { return d != nullptr && d->removed != 0; }

// ---- the device's timeline (d3d11_timeline.cpp) ----
// Reads NIMO_STANDIN_GPU_DELAY_US: microseconds between a Flush and the start of the work
// it submits, or -1 (unset or unreadable): every call's work runs at once, as before.
long long ReadDelayMicros();
Timeline* NewTimeline(Device* d, long long delay_us);
// Ends the GPU thread after it has run what was submitted (a fence wait stops waiting).
void EndTimeline(Timeline* t);
// Records work of the immediate context. Without a delay it runs now, unless earlier work
// still waits on the GPU thread (behind a fence), in which case it queues behind it.
void Record(Device* d, std::function<void()> work);
// Records work that may block (a fence wait): never run inside the caller's call.
void RecordBlocking(Device* d, std::function<void()> work);
// True when work recorded now would run inside the call (no delay, nothing queued).
bool RunsInline(Device* d);
// Submits what was recorded; it starts the delay later.
void Submit(Device* d);
// Submits and blocks until every piece of the device's work has run (Map).
void WaitIdle(Device* d);
// True on the GPU thread when the timeline is ending (a fence wait gives up).
bool TimelineEnding(Device* d);
// Every device of the process, for NimoStandinRemoveAllDevices.
void RegisterDevice(Device* d);
void UnregisterDevice(Device* d);
void RemoveAllDevices();

// ---- fences (d3d11_fence.cpp) ----
HRESULT CreateFence(Device* d, UINT64 initial, D3D11_FENCE_FLAG flags, REFIID riid, void** out);
HRESULT OpenSharedFence(Device* d, HANDLE handle, REFIID riid, void** out);
HRESULT ContextSignal(Device* d, ID3D11Fence* fence, UINT64 value);
HRESULT ContextWait(Device* d, ID3D11Fence* fence, UINT64 value);
// A lost device's fences complete, seen by every process that opened them.
void CompleteFencesOf(Device* d);
// The device is gone: its fences (if still held elsewhere) are no longer its own.
void ForgetFencesOf(Device* d);

// ---- keyed mutex of shared textures (d3d11_keyed_mutex.cpp) ----
void InitKeyedMutexVtable(IDXGIKeyedMutexVtbl* vtbl);

// Texture from any interface the stand-in handed out for it; null for foreign objects.
Texture* TextureFrom(void* resource);
Device* DeviceFromContext(ID3D11DeviceContext4* context);
void DeviceAddRef(Device* d);
void DeviceRelease(Device* d);

HRESULT CreateTexture(Device* d, const D3D11_TEXTURE2D_DESC* desc,
                      const D3D11_SUBRESOURCE_DATA* initial, ID3D11Texture2D** out);
HRESULT OpenSharedTexture(Device* d, HANDLE handle, REFIID riid, void** out);
HRESULT CreateShaderResourceView(ID3D11Resource* resource, const D3D11_SHADER_RESOURCE_VIEW_DESC* desc,
                                 ID3D11ShaderResourceView** out);
void InitContextVtable(ID3D11DeviceContext4Vtbl* vtbl);

// ---- counters (gpu_stats.cpp) ----
void StatsAdd(std::uint64_t NimoGpuStats::*field, std::int64_t delta = 1);
// Runs `fn` with the counters locked.
template <typename Fn>
void StatsUpdate(Fn fn);
void LockStats();
void UnlockStats();
NimoGpuStats& StatsUnlocked();
// Counts bytes moved by one copy of a kind (both the kind's total and the since-flush sum).
void StatsCopied(std::uint64_t NimoGpuStats::*calls, std::uint64_t NimoGpuStats::*bytes,
                 std::uint64_t moved);
// A call a real runtime would reject or drop: counted, remembered and logged.
void Invalid(const char* format, ...);

template <typename Fn>
void StatsUpdate(Fn fn) {
  LockStats();
  fn(StatsUnlocked());
  UnlockStats();
}

}  // namespace standin
