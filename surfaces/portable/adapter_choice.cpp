#include "surfaces/portable/adapter_choice.h"

namespace nimo {

bool AdapterChoice::Offer(std::uint32_t index, std::uint64_t dedicated_video_memory,
                          std::uint32_t flags) {
  if ((flags & kAdapterFlagSoftware) != 0) return false;
  if (dedicated_video_memory <= best_) return false;
  best_ = dedicated_video_memory;
  index_ = index;
  has_choice_ = true;
  return true;
}

}  // namespace nimo
