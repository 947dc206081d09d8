#include "surfaces/portable/adapter_choice.h"

namespace nimo {

bool ParseAdapterLuid(std::string_view text, std::uint64_t* luid) {
  if (text.empty() || text.size() > 16) return false;
  std::uint64_t value = 0;
  for (const char c : text) {
    std::uint64_t digit = 0;
    if (c >= '0' && c <= '9')
      digit = static_cast<std::uint64_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
      digit = static_cast<std::uint64_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      digit = static_cast<std::uint64_t>(c - 'A' + 10);
    else
      return false;
    value = (value << 4) | digit;
  }
  *luid = value;
  return true;
}

bool AdapterChoice::Offer(std::uint32_t index, std::uint64_t dedicated_video_memory, std::uint32_t flags,
                          std::uint64_t luid) {
  if (found_wanted_) return false;
  if (wants_luid_ && luid == wanted_luid_) {
    found_wanted_ = true;
    best_ = dedicated_video_memory;
    index_ = index;
    has_choice_ = true;
    return true;
  }
  if ((flags & kAdapterFlagSoftware) != 0) return false;
  if (dedicated_video_memory <= best_) return false;
  best_ = dedicated_video_memory;
  index_ = index;
  has_choice_ = true;
  return true;
}

}  // namespace nimo
