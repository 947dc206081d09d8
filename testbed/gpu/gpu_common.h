// Pieces shared by the two stand-in libraries: the C view of the Direct3D/DXGI interfaces,
// the scripted adapters and failures (read from the environment at every use, so a test
// can change them between calls), the traps behind every slot nobody implemented, and the
// optional operation log. Any thread.
#pragma once
#define CINTERFACE
#define COBJMACROS
#include <windows.h>
#include <d3d11_1.h>
#include <dxgi1_2.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace standin {

// ---- scripted adapters and failures (gpu_script.cpp) ----
struct ScriptedAdapter {
  std::wstring name;
  std::uint64_t dedicated_bytes = 0;
  bool software = false;
};

// NIMO_STANDIN_GPU_ADAPTERS: "name:MiB[:sw],..." or "none"; unset gives the default pair.
std::vector<ScriptedAdapter> ReadAdapterScript();
// Parses one script text (exposed for the stand-in's own tests).
std::vector<ScriptedAdapter> ParseAdapterScript(const char* text);
// NIMO_STANDIN_GPU_FAIL: comma-separated knobs (factory, device, device1, texture,
// sharedhandle, open). True when `knob` is listed.
bool FailureScripted(const char* knob);
std::string WideToUtf8(const wchar_t* text);

// ---- traps (gpu_trap.cpp) ----
// Points every slot of a vtable at a trap that names the interface and slot index,
// writes it to stderr and the log, and ends the process with 0xE0D30000 | slot.
void FillWithTraps(void* vtable, std::size_t bytes, const char* interface_name);
// For failures that are the stand-in's limits rather than the caller's faults.
[[noreturn]] void FailLoudly(const char* what);

// ---- operation log (gpu_journal.cpp) ----
// Appends one line "gpu pid=<pid> <text>" to the file named by NIMO_STANDIN_GPU_LOG.
void Journal(const char* format, ...);

// ---- time inside the entry points (gpu_clock.cpp) ----
// Open for the length of every entry point (vtable slot or export): the outermost one on
// a thread adds its duration to that thread's total, so a benchmark can tell the
// stand-in's own time (memory copies, section maps) apart from its caller's.
class EntryClock {
 public:
  EntryClock();
  ~EntryClock();
  EntryClock(const EntryClock&) = delete;
  EntryClock& operator=(const EntryClock&) = delete;
};
// Held around a call into the other stand-in library, which counts that time itself.
class ForeignCall {
 public:
  ForeignCall();
  ~ForeignCall();
  ForeignCall(const ForeignCall&) = delete;
  ForeignCall& operator=(const ForeignCall&) = delete;
};
// Microseconds the calling thread has spent inside this library's entry points.
std::uint64_t ThreadEntryMicros();

// `vtbl->Slot = Timed<Implementation>;` installs the implementation behind an EntryClock.
// (x64 has one calling convention, so the wrapper's type matches the slot's.)
template <auto Fn>
struct TimedEntry;
template <typename R, typename... Args, R (*Fn)(Args...)>
struct TimedEntry<Fn> {
  static R Call(Args... args) {
    EntryClock clock;
    return Fn(args...);
  }
};
template <auto Fn>
constexpr auto Timed = &TimedEntry<Fn>::Call;

}  // namespace standin
