// The diagnostic log: webengine.log beside the executable, written only while a flag file
// ZUNT_DEBUG exists there (decided once per process). Every call opens, appends and closes
// the file, so it may be deleted at any time; none allocates or throws. Any thread of any
// process.
#pragma once
#include <cstdint>
#include <type_traits>

namespace nimo {

// One printf argument carried as a 64-bit value (integer, pointer or C string).
struct LogArg {
  std::uint64_t value = 0;
  LogArg() = default;
  template <typename T, typename std::enable_if<std::is_integral<T>::value || std::is_enum<T>::value, int>::type = 0>
  LogArg(T v) : value(static_cast<std::uint64_t>(v)) {}
  LogArg(const void* p) : value(reinterpret_cast<std::uintptr_t>(p)) {}
};

bool IsLoggingEnabled() noexcept;

// Formats with at most two 64-bit arguments; unused ones are 0. Nothing is formatted when
// logging is off. The message carries its own trailing "\n".
void WriteLog(const char* format, LogArg first = {}, LogArg second = {}) noexcept;

// Appends a ready-made text unchanged.
void WriteLogText(const char* text) noexcept;

}  // namespace nimo
