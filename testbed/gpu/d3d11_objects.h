// The d3d11 stand-in's objects. A texture's pixels live in a file-mapping section that
// starts with a SectionHeader, so the NT handle CreateSharedHandle gives out is a real
// section handle: duplicated into another process and opened there, it shows the same
// pixels. Device, context and textures may be used from any thread; the stand-in does no
// locking of pixels (neither does a real immediate context).
#pragma once
#include "testbed/gpu/gpu_common.h"
#include "testbed/gpu/standin_gpu.h"

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
  std::uint32_t reserved[9];
};
static_assert(sizeof(SectionHeader) == kSectionHeaderBytes, "section header size");

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

struct Device;

struct Texture {
  ID3D11Texture2D iface;      // first: the pointer handed out is the record's address
  IDXGIResource1 resource1;  // the same object seen as a DXGI resource
  LONG refs;
  Device* device;  // one reference held
  D3D11_TEXTURE2D_DESC desc;
  SectionView view;
  bool opened;  // from OpenSharedResource1 (no own section handle)
  bool mapped;
};

struct Device {
  ID3D11Device1 iface;  // ID3D11Device1 extends ID3D11Device slot for slot
  ID3D11DeviceContext context;
  IDXGIDevice dxgi;  // the same device seen as a DXGI device (its adapter)
  LONG refs;  // the context and the DXGI view share the device's count
  D3D_FEATURE_LEVEL level;
  UINT adapter_index;  // scripted index of the adapter it was made on
  volatile LONG removed;  // NimoStandinRemoveDevice: every later creation fails as on a lost device
};

inline bool DeviceRemoved(const Device* d) { return d != nullptr && d->removed != 0; }

// Texture from any interface the stand-in handed out for it; null for foreign objects.
Texture* TextureFrom(void* resource);
Device* DeviceFromContext(ID3D11DeviceContext* context);
void DeviceAddRef(Device* d);
void DeviceRelease(Device* d);

HRESULT CreateTexture(Device* d, const D3D11_TEXTURE2D_DESC* desc,
                      const D3D11_SUBRESOURCE_DATA* initial, ID3D11Texture2D** out);
HRESULT OpenSharedTexture(Device* d, HANDLE handle, REFIID riid, void** out);
HRESULT CreateShaderResourceView(ID3D11Resource* resource, const D3D11_SHADER_RESOURCE_VIEW_DESC* desc,
                                 ID3D11ShaderResourceView** out);
void InitContextVtable(ID3D11DeviceContextVtbl* vtbl);

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
