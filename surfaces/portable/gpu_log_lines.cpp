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

}  // namespace nimo
