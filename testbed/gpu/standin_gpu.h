// What tests and the stand-in engine may ask of the stand-in GPU libraries beyond the
// Direct3D calls themselves: proof that the stand-ins loaded, counters of every operation
// (bytes copied per kind, live objects, rejected calls), and a device-free way to make a
// shared texture for the engine side. Every function is looked up at run time from the
// loaded d3d11.dll / dxgi.dll, so a program that links the system's import libraries can
// use it unchanged. Any thread; the counters are kept under one lock per library.
#pragma once
#include <windows.h>

#include <cstdint>

struct ID3D11Device;

extern "C" {

// Returned by the marker exports; Wine's own libraries do not have them.
enum : std::uint32_t { kNimoStandinGpuMagic = 0x4E475055u };

struct NimoGpuStats {
  // D3D11CreateDevice
  std::uint64_t device_create_calls;
  std::uint64_t device_create_failures;
  std::uint64_t devices_live;
  std::int32_t last_driver_type;
  std::uint32_t last_create_flags;
  std::uint32_t last_sdk_version;
  std::uint32_t last_feature_level_count;
  std::int32_t last_adapter_index;  // scripted index of the adapter used, -1 none
  std::int32_t last_create_hr;
  char last_adapter_name[128];  // UTF-8
  std::uint64_t device1_queries;
  // Textures
  std::uint64_t textures_created;
  std::uint64_t textures_opened;  // OpenSharedResource1 successes
  std::uint64_t textures_live;
  std::uint64_t texture_create_failures;
  std::uint64_t open_failures;
  std::uint32_t last_width, last_height, last_format, last_usage;
  std::uint32_t last_bind_flags, last_cpu_flags, last_misc_flags, last_mip_levels;
  std::uint32_t last_array_size, last_sample_count, last_sample_quality, reserved0;
  std::uint64_t shared_handles_created;
  std::uint32_t last_shared_access;
  std::uint32_t last_shared_had_attributes_or_name;
  // Copies: operation counts and pixel bytes moved by each kind.
  std::uint64_t copy_resource_calls, copy_resource_bytes;
  std::uint64_t copy_region_calls, copy_region_bytes;
  std::uint64_t update_calls, update_bytes;
  std::uint64_t maps, unmaps;
  std::uint64_t flushes;
  std::uint64_t bytes_since_flush;  // copied since the last Flush
  std::uint64_t last_flush_bytes;   // copied between the two latest Flushes
  // Calls a real runtime would reject or drop (mismatched copies, out-of-range boxes,
  // wrong usage); each is also written to the stand-in's log.
  std::uint64_t invalid_calls;
  char last_invalid[160];
  // Shader resource views
  std::uint64_t views_created;
  std::uint64_t views_live;
};

struct NimoDxgiStats {
  std::uint64_t factories_created;
  std::uint64_t factories_live;
  std::uint64_t adapters_enumerated;  // EnumAdapters1 successes
  std::uint64_t adapters_live;
  std::uint64_t desc_reads;
};

typedef std::uint32_t(WINAPI* NimoStandinMarkerFn)(void);
// NimoStandinGpuThreadMicros (d3d11.dll), NimoStandinDxgiThreadMicros (dxgi.dll):
// microseconds the calling thread has spent inside that library's entry points (every
// implemented vtable slot and export). A call into the other library from inside one is
// counted by the other only. Read before and after a call to learn the stand-in GPU's
// share of it.
typedef std::uint64_t(WINAPI* NimoStandinThreadMicrosFn)(void);
typedef void(WINAPI* NimoStandinGpuStatsFn)(NimoGpuStats* out);
typedef void(WINAPI* NimoStandinDxgiStatsFn)(NimoDxgiStats* out);
typedef void(WINAPI* NimoStandinResetFn)(void);
// Creates a shared B8G8R8A8-compatible texture section of width x height (format one of
// the 4-byte formats the stand-in knows), filled from `pixels` (rows of `row_pitch`
// bytes; null leaves it zeroed). Returns an NT handle the caller owns, or null.
typedef HANDLE(WINAPI* NimoStandinShareTextureFn)(std::uint32_t width, std::uint32_t height,
                                                  std::uint32_t format, const void* pixels,
                                                  std::uint32_t row_pitch);
// Overwrites a rectangle of a shared texture section by handle (any process that holds
// the handle); false when the handle is no stand-in texture or the rectangle is outside.
typedef BOOL(WINAPI* NimoStandinWriteTextureFn)(HANDLE handle, std::uint32_t x, std::uint32_t y,
                                               std::uint32_t width, std::uint32_t height,
                                               const void* pixels, std::uint32_t row_pitch);
// Reads a shared texture section by handle: its size and format, and, when `out` is
// large enough (width * height * 4), its pixels packed row after row.
typedef BOOL(WINAPI* NimoStandinReadTextureFn)(HANDLE handle, std::uint32_t* width,
                                              std::uint32_t* height, std::uint32_t* format,
                                              void* out, std::uint64_t out_size);

// Marks a device of the stand-in lost (a driver reset): every texture, view and shared
// open made on it afterwards fails with DXGI_ERROR_DEVICE_REMOVED, and
// GetDeviceRemovedReason says so. False for a null device.
typedef BOOL(WINAPI* NimoStandinRemoveDeviceFn)(ID3D11Device* device);
// Marks every device of the calling process lost at once, as a driver reset does (their
// queued work is dropped too). Devices made afterwards work.
typedef void(WINAPI* NimoStandinRemoveAllDevicesFn)(void);
// The next `count` D3D11CreateDevice calls of the process fail with DXGI_ERROR_UNSUPPORTED
// (a driver that is still restarting); 0 ends it.
typedef void(WINAPI* NimoStandinFailNextDevicesFn)(UINT count);

}  // extern "C"

// Looks an export up in an already loaded stand-in library; null when absent.
template <typename Fn>
inline Fn NimoStandinExport(const char* module, const char* name) {
  HMODULE m = GetModuleHandleA(module);
  if (!m) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

inline bool NimoStandinGpuLoaded() {
  NimoStandinMarkerFn d3d = NimoStandinExport<NimoStandinMarkerFn>("d3d11.dll", "NimoStandinD3d11Marker");
  NimoStandinMarkerFn dxgi = NimoStandinExport<NimoStandinMarkerFn>("dxgi.dll", "NimoStandinDxgiMarker");
  return d3d && dxgi && d3d() == kNimoStandinGpuMagic && dxgi() == kNimoStandinGpuMagic;
}

inline NimoGpuStats NimoStandinGpuStats() {
  NimoGpuStats s = {};
  NimoStandinGpuStatsFn fn = NimoStandinExport<NimoStandinGpuStatsFn>("d3d11.dll", "NimoStandinGpuStats");
  if (fn) fn(&s);
  return s;
}

inline NimoDxgiStats NimoStandinDxgiStats() {
  NimoDxgiStats s = {};
  NimoStandinDxgiStatsFn fn = NimoStandinExport<NimoStandinDxgiStatsFn>("dxgi.dll", "NimoStandinDxgiStats");
  if (fn) fn(&s);
  return s;
}

// Zeroes every counter except the live-object counts.
inline void NimoStandinResetStats() {
  NimoStandinResetFn a = NimoStandinExport<NimoStandinResetFn>("d3d11.dll", "NimoStandinGpuResetStats");
  NimoStandinResetFn b = NimoStandinExport<NimoStandinResetFn>("dxgi.dll", "NimoStandinDxgiResetStats");
  if (a) a();
  if (b) b();
}
