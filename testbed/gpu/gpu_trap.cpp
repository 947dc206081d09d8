// Every vtable slot starts out as a trap, so a call the stand-in does not implement ends
// the test at once with the interface and slot named, instead of running into a null
// pointer or a silently ignored void method.
#include "testbed/gpu/gpu_common.h"

#include <cstdio>
#include <utility>

namespace standin {
namespace {

constexpr std::size_t kMaxSlots = 192;
constexpr std::size_t kMaxTables = 16;

struct TableName {
  const void* vtable;
  const char* name;
};
TableName g_tables[kMaxTables];
LONG g_table_count = 0;

const char* NameOf(const void* self) {
  if (!self) return "(null self)";
  const void* vtable = *static_cast<void* const*>(self);
  LONG n = g_table_count;
  for (LONG i = 0; i < n && i < static_cast<LONG>(kMaxTables); ++i)
    if (g_tables[i].vtable == vtable) return g_tables[i].name;
  return "(unknown interface)";
}

[[noreturn]] void TrapHit(void* self, std::size_t slot) {
  char text[200];
  std::snprintf(text, sizeof text, "UNIMPLEMENTED %s slot %u called", NameOf(self),
                static_cast<unsigned>(slot));
  std::fprintf(stderr, "[standin-gpu] %s\n", text);
  std::fflush(stderr);
  Journal("%s", text);
  TerminateProcess(GetCurrentProcess(), 0xE0D30000u | static_cast<UINT>(slot));
  for (;;) Sleep(1000);
}

template <std::size_t Slot>
HRESULT STDMETHODCALLTYPE Trap(void* self) {
  TrapHit(self, Slot);
}

using TrapFn = HRESULT(STDMETHODCALLTYPE*)(void*);

template <std::size_t... I>
constexpr auto MakeTraps(std::index_sequence<I...>) {
  struct Table {
    TrapFn fn[sizeof...(I)];
  };
  return Table{{&Trap<I>...}};
}

const auto g_traps = MakeTraps(std::make_index_sequence<kMaxSlots>());

}  // namespace

void FillWithTraps(void* vtable, std::size_t bytes, const char* interface_name) {
  std::size_t slots = bytes / sizeof(void*);
  if (slots > kMaxSlots) FailLoudly("vtable larger than the trap table");
  TrapFn* out = static_cast<TrapFn*>(vtable);
  for (std::size_t i = 0; i < slots; ++i) out[i] = g_traps.fn[i];
  LONG index = InterlockedIncrement(&g_table_count) - 1;
  if (index >= static_cast<LONG>(kMaxTables)) FailLoudly("too many trapped vtables");
  g_tables[index].vtable = vtable;
  g_tables[index].name = interface_name;
}

void FailLoudly(const char* what) {
  std::fprintf(stderr, "[standin-gpu] FATAL %s\n", what);
  std::fflush(stderr);
  Journal("FATAL %s", what);
  TerminateProcess(GetCurrentProcess(), 0xE0D3FFFFu);
  for (;;) Sleep(1000);
}

}  // namespace standin
