// Guarded<&Fn>: the form in which every engine callback of this program is installed. An
// exception must never unwind into the engine (its frames are not C++), and the only one
// this code can raise is an allocation failure (std::bad_alloc from a string or a
// vector). The guard catches it after the callback's own holders (EngineRef, ComPtr) have
// released what they held, records the dropped work (a log line and the dropped-message
// count, diag/perf_stats.h) and returns `Fallback`: nothing for void, null for a pointer,
// else the given value, or, when `Fallback` is a function taking the callback's own
// arguments, what it answers (for an answer that depends on the surface). The fallback is
// the answer that harms least when the work is lost, which is not always 0: a resource
// load continues, a context menu counts as handled. A fallback function runs after the
// callback's holders let go of its arguments, so it may look only at `self`.
//
// Threads: whatever thread the engine calls the callback on.
#pragma once
#include <type_traits>

#include "base/portable/engine_abi.h"
#include "diag/perf_stats.h"

namespace nimo {
namespace callback_guard_internal {

template <auto Fn, auto Fallback>
struct Guard;

template <typename R, typename... Args, R (*Fn)(Args...), auto Fallback>
struct Guard<Fn, Fallback> {
  static R CEF_CALLBACK Call(Args... args) noexcept {
    try {
      return Fn(args...);
    } catch (...) {
      RecordOutOfMemory("an engine callback");
      if constexpr (std::is_void_v<R>) {
        return;
      } else if constexpr (std::is_pointer_v<R>) {
        return nullptr;
      } else if constexpr (std::is_invocable_r_v<R, decltype(Fallback), Args...>) {
        return Fallback(args...);
      } else {
        return static_cast<R>(Fallback);
      }
    }
  }
};

}  // namespace callback_guard_internal

template <auto Fn, auto Fallback = 0>
constexpr auto Guarded = &callback_guard_internal::Guard<Fn, Fallback>::Call;

}  // namespace nimo
