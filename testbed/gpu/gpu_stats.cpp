// Counters of the d3d11 stand-in and the exports that read them.
#include "testbed/gpu/d3d11_objects.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace standin {
namespace {
SRWLOCK g_lock = SRWLOCK_INIT;
NimoGpuStats g_stats = {};
}  // namespace

void LockStats() { AcquireSRWLockExclusive(&g_lock); }
void UnlockStats() { ReleaseSRWLockExclusive(&g_lock); }
NimoGpuStats& StatsUnlocked() { return g_stats; }

void StatsAdd(std::uint64_t NimoGpuStats::*field, std::int64_t delta) {
  LockStats();
  g_stats.*field += static_cast<std::uint64_t>(delta);
  UnlockStats();
}

void StatsCopied(std::uint64_t NimoGpuStats::*calls, std::uint64_t NimoGpuStats::*bytes,
                 std::uint64_t moved) {
  LockStats();
  g_stats.*calls += 1;
  g_stats.*bytes += moved;
  g_stats.bytes_since_flush += moved;
  UnlockStats();
}

void Invalid(const char* format, ...) {
  char text[160];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  LockStats();
  g_stats.invalid_calls += 1;
  std::memcpy(g_stats.last_invalid, text, sizeof text);
  UnlockStats();
  std::fprintf(stderr, "[standin-gpu] INVALID %s\n", text);
  Journal("INVALID %s", text);
}

}  // namespace standin

extern "C" {

std::uint32_t WINAPI NimoStandinD3d11Marker(void) { return kNimoStandinGpuMagic; }

std::uint64_t WINAPI NimoStandinGpuThreadMicros(void) { return standin::ThreadEntryMicros(); }

void WINAPI NimoStandinGpuStats(NimoGpuStats* out) {
  if (!out) return;
  standin::LockStats();
  *out = standin::StatsUnlocked();
  standin::UnlockStats();
}

void WINAPI NimoStandinGpuResetStats(void) {
  standin::LockStats();
  NimoGpuStats& s = standin::StatsUnlocked();
  NimoGpuStats kept = {};
  kept.devices_live = s.devices_live;
  kept.textures_live = s.textures_live;
  kept.views_live = s.views_live;
  kept.last_adapter_index = -1;
  s = kept;
  standin::UnlockStats();
}

}  // extern "C"
