#include "diag/frame_stamps.h"

#include <windows.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <new>
#include <string>

#include "diag/log.h"

namespace nimo {

namespace {

// Enough for minutes of frames; later ones are counted, not kept, so memory stays fixed.
constexpr std::size_t kCapacity = 1 << 15;

struct Stamp {
  std::uint32_t surface;
  std::int64_t qpc;
};

// Made by EnableFrameStamps, never freed (a writer that outlives CloseLink may still stamp).
Stamp* stamps = nullptr;
std::atomic<bool> enabled{false};
std::atomic<std::size_t> count{0};
std::atomic<std::size_t> overflow{0};

// Exactly as the benchmarks convert the counter, so both sides agree to the microsecond.
long long Micros(std::int64_t ticks) {
  static const long long frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
}

}  // namespace

void EnableFrameStamps() {
  if (enabled.load()) return;
  stamps = new (std::nothrow) Stamp[kCapacity];
  if (stamps) enabled.store(true, std::memory_order_release);
}

void StampFrameHanded(std::uint32_t surface_id, std::int64_t qpc) noexcept {
  if (!enabled.load(std::memory_order_acquire)) return;
  // One writer at a time (the pipe's write is held by one thread), so a plain
  // read-then-publish suffices; the release pairs with the reader's acquire.
  const std::size_t n = count.load(std::memory_order_relaxed);
  if (n == kCapacity) {
    overflow.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  stamps[n] = Stamp{surface_id, qpc};
  count.store(n + 1, std::memory_order_release);
}

void WriteFrameStampsToLog() noexcept {
  if (!enabled.load(std::memory_order_acquire)) return;
  const std::size_t n = count.load(std::memory_order_acquire);
  // One log call per chunk: the log opens and closes its file on every call.
  std::string text;
  char line[96];
  try {
    for (std::size_t i = 0; i < n; ++i) {
      std::snprintf(line, sizeof line, "[nimo-webengine][stamps] frame %" PRIu32 " handed %lld\n", stamps[i].surface,
                    Micros(stamps[i].qpc));
      text += line;
      if (text.size() > 60000 || i + 1 == n) {
        WriteLogText(text.c_str());
        text.clear();
      }
    }
    std::snprintf(line, sizeof line, "[nimo-webengine][stamps] %llu frames stamped, %llu not kept\n",
                  static_cast<unsigned long long>(n),
                  static_cast<unsigned long long>(overflow.load(std::memory_order_relaxed)));
    WriteLogText(line);
  } catch (...) {
    // Out of memory while formatting: the stamps are diagnostics and are let go.
  }
}

}  // namespace nimo
