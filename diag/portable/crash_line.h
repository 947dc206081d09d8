// The one log line the crash reporter writes for an unhandled exception. Pure formatting;
// any thread (uses only its own stack buffer), so it is safe on a crashing thread.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace nimo {

// Room for each line, terminator included; longer lines are cut to fit.
constexpr size_t kCrashLineInModuleSize = 388;
constexpr size_t kCrashLineNoModuleSize = 128;

// "[nimo-webengine][CRASH] code=0x%08lX at <module path>+0x<offset>\n": the code as eight
// upper-case hex digits, the offset in upper-case hex. A null path prints as "?".
// Writes into `out` (at least kCrashLineInModuleSize bytes) and returns `out`.
const char* FormatCrashLineInModule(char* out, uint32_t code, const char* module_path,
                                    uint64_t offset);

// "[nimo-webengine][CRASH] code=0x%08lX at <address>\n" for an address outside every
// module; the address prints as sixteen upper-case hex digits, like the Windows C runtime's
// %p. Writes into `out` (at least kCrashLineNoModuleSize bytes) and returns `out`.
const char* FormatCrashLineNoModule(char* out, uint32_t code, uint64_t address);

}  // namespace nimo
