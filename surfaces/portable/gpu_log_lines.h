// The log lines of the GPU device start-up, formatted as the device code writes them:
// adapter names cut to whole UTF-8 characters, lines cut to the buffer sizes the log
// contract fixes. Pure functions; any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace nimo {

// Longest adapter name written (bytes, without terminator).
constexpr std::size_t kAdapterNameMaxBytes = 255;

// `text` cut to at most `max_bytes` bytes without splitting a UTF-8 sequence; a sequence
// that is already broken is cut before its lead byte like a whole one.
std::string CutUtf8(const std::string& text, std::size_t max_bytes);

// "[nimo-webengine][gpu] adapter <index>: <name> vram=<MiB>MB software=<0|1>\n", at most
// 419 bytes. The name is cut to kAdapterNameMaxBytes first.
std::string FormatAdapterLine(std::uint32_t index, const std::string& name,
                              std::uint64_t dedicated_video_memory, bool software);

// "[nimo-webengine][gpu] using adapter: <name> (hr=0x<8 hex digits>)\n", at most 319 bytes.
std::string FormatUsingAdapterLine(const std::string& name, std::int32_t hr);

}  // namespace nimo
