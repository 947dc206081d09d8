// Which graphics adapter the process's one GPU device is created on: the hardware adapter
// with the most dedicated video memory. Adapters are offered in enumeration order.
// Pure value type; used on the UI thread only.
#pragma once
#include <cstdint>

namespace nimo {

// DXGI_ADAPTER_FLAG_SOFTWARE in DXGI_ADAPTER_DESC1::Flags.
constexpr std::uint32_t kAdapterFlagSoftware = 2;

class AdapterChoice {
 public:
  // Offers the adapter at `index` with its DedicatedVideoMemory and Flags. True when it
  // becomes the choice (the caller keeps it and lets go of the previous one): only a
  // non-software adapter with strictly more dedicated memory than every earlier one, so
  // 0 bytes never wins and among equals the lower index stays.
  bool Offer(std::uint32_t index, std::uint64_t dedicated_video_memory, std::uint32_t flags);

  bool has_choice() const { return has_choice_; }
  std::uint32_t index() const { return index_; }        // valid when has_choice()
  std::uint64_t dedicated() const { return best_; }     // 0 when nothing was chosen

 private:
  bool has_choice_ = false;
  std::uint32_t index_ = 0;
  std::uint64_t best_ = 0;
};

}  // namespace nimo
