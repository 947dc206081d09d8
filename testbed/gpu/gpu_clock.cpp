// Time spent inside the stand-in's entry points, per thread and per library (each library
// links its own copy of this file, so each keeps its own totals).
#include "testbed/gpu/gpu_common.h"

namespace standin {
namespace {

struct ThreadClock {
  long long total_ticks = 0;
  long long started = 0;  // when the outermost open entry point began, or resumed
  int depth = 0;
};

thread_local ThreadClock t_clock;

long long Ticks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

}  // namespace

EntryClock::EntryClock() {
  if (t_clock.depth++ == 0) t_clock.started = Ticks();
}

EntryClock::~EntryClock() {
  if (--t_clock.depth == 0) t_clock.total_ticks += Ticks() - t_clock.started;
}

ForeignCall::ForeignCall() {
  if (t_clock.depth > 0) t_clock.total_ticks += Ticks() - t_clock.started;
}

ForeignCall::~ForeignCall() {
  if (t_clock.depth > 0) t_clock.started = Ticks();
}

std::uint64_t ThreadEntryMicros() {
  static const long long frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  long long ticks = t_clock.total_ticks;
  if (t_clock.depth > 0) ticks += Ticks() - t_clock.started;
  return static_cast<std::uint64_t>(ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency);
}

}  // namespace standin
