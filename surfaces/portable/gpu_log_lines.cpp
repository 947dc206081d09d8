#include "surfaces/portable/gpu_log_lines.h"

#include <cstdio>

namespace nimo {
namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;  // a stray continuation or invalid byte stands alone
}

// snprintf into a fixed buffer, as the log contract sizes them: longer output is cut.
template <std::size_t N, typename... Args>
std::string FormatCut(const char* format, Args... args) {
  char buffer[N];
  int n = std::snprintf(buffer, N, format, args...);
  if (n < 0) return std::string();
  return std::string(buffer, static_cast<std::size_t>(n) < N ? static_cast<std::size_t>(n) : N - 1);
}

}  // namespace

std::string CutUtf8(const std::string& text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  std::size_t end = max_bytes;
  // Step back to the lead byte of the sequence that straddles the cut, then keep it only
  // when it ends at or before the cut.
  std::size_t lead = end;
  while (lead > 0 && IsContinuation(static_cast<unsigned char>(text[lead]))) --lead;
  if (lead + SequenceLength(static_cast<unsigned char>(text[lead])) > end) end = lead;
  return text.substr(0, end);
}

std::string FormatAdapterLine(std::uint32_t index, const std::string& name,
                              std::uint64_t dedicated_video_memory, bool software) {
  const std::string cut = CutUtf8(name, kAdapterNameMaxBytes);
  return FormatCut<420>("[nimo-webengine][gpu] adapter %u: %s vram=%lluMB software=%d\n", index, cut.c_str(),
                        static_cast<unsigned long long>(dedicated_video_memory >> 20), software ? 1 : 0);
}

std::string FormatUsingAdapterLine(const std::string& name, std::int32_t hr) {
  const std::string cut = CutUtf8(name, kAdapterNameMaxBytes);
  return FormatCut<320>("[nimo-webengine][gpu] using adapter: %s (hr=0x%08X)\n", cut.c_str(),
                        static_cast<unsigned>(hr));
}

bool IsDeviceLossCode(std::int32_t hr) {
  switch (static_cast<std::uint32_t>(hr)) {
    case 0x887A0005u:  // DXGI_ERROR_DEVICE_REMOVED
    case 0x887A0006u:  // DXGI_ERROR_DEVICE_HUNG
    case 0x887A0007u:  // DXGI_ERROR_DEVICE_RESET
    case 0x887A0020u:  // DXGI_ERROR_DRIVER_INTERNAL_ERROR
      return true;
    default:
      return false;
  }
}

const char* GpuErrorName(std::int32_t hr) {
  switch (static_cast<std::uint32_t>(hr)) {
    case 0x887A0005u: return "device removed";
    case 0x887A0006u: return "device hung";
    case 0x887A0007u: return "device reset";
    case 0x887A0020u: return "driver internal error";
    case 0x8007000Eu: return "out of memory";
    case 0x80070057u: return "invalid argument";
    case 0x887A0004u: return "unsupported";
    default: return "";
  }
}

std::string ShortSourcePlace(const char* file, int line) {
  std::string path = file ? file : "";
  for (char& c : path)
    if (c == '\\') c = '/';
  std::size_t cut = path.rfind('/');
  if (cut != std::string::npos && cut > 0) cut = path.rfind('/', cut - 1);
  if (cut != std::string::npos) path = path.substr(cut + 1);
  return path + ":" + std::to_string(line);
}

std::string FormatGpuFailureLine(const char* what, std::int32_t hr, const char* file, int line) {
  const char* name = GpuErrorName(hr);
  const std::string named = *name ? std::string(" (") + name + ")" : std::string();
  return FormatCut<320>("[nimo-webengine][gpu] %s FAILED hr=0x%08X%s at %s\n", what ? what : "",
                        static_cast<unsigned>(hr), named.c_str(), ShortSourcePlace(file, line).c_str());
}

std::string FormatDeviceLostLine(std::int32_t reason, const char* what) {
  const char* name = GpuErrorName(reason);
  return FormatCut<320>("[nimo-webengine][gpu] device lost (%s, hr=0x%08X) after %s - making a new device\n",
                        *name ? name : "unknown reason", static_cast<unsigned>(reason), what ? what : "");
}

}  // namespace nimo
