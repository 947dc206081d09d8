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

// Whether a failed call's result says the device is gone (removed, reset, hung, or the
// driver failed inside): the device must be made anew, nothing else helps.
bool IsDeviceLossCode(std::int32_t hr);

// A short name of the codes the GPU log explains ("device removed", "device reset", "device
// hung", "driver internal error", "out of memory", "invalid argument", "unsupported"); empty
// for others.
const char* GpuErrorName(std::int32_t hr);

// "<dir>/<file>:<line>": the last two parts of a source path, so the log names the place
// without the machine's folders.
std::string ShortSourcePlace(const char* file, int line);

// "[nimo-webengine][gpu] <what> FAILED hr=0x<8 hex digits>[ (<name>)] at <place>\n", at most
// 320 bytes: every failed Direct3D/DXGI call that is logged.
std::string FormatGpuFailureLine(const char* what, std::int32_t hr, const char* file, int line);

// "[nimo-webengine][gpu] device lost (<name>, hr=0x<8 hex digits>) after <what> - making a new
// device\n": the one line of a device loss.
std::string FormatDeviceLostLine(std::int32_t reason, const char* what);

}  // namespace nimo
