// Which graphics adapter the process's one GPU device is created on. The client may name
// its own adapter by LUID (--nimomp-adapter-luid), because a texture can only be shared
// between devices of one adapter: that adapter wins wherever it is enumerated. Without
// it, or when no adapter has that LUID, the hardware adapter with the most dedicated video
// memory. Adapters are offered in enumeration order.
// Pure value type; used on the UI thread only.
#pragma once
#include <cstdint>
#include <string_view>

namespace nimo {

// DXGI_ADAPTER_FLAG_SOFTWARE in DXGI_ADAPTER_DESC1::Flags.
constexpr std::uint32_t kAdapterFlagSoftware = 2;

// The switch's value: 1 to 16 hex digits (either case), nothing else, as the LUID's
// HighPart in the upper and LowPart in the lower 32 bits. False for anything else.
bool ParseAdapterLuid(std::string_view text, std::uint64_t* luid);

class AdapterChoice {
 public:
  AdapterChoice() = default;
  // An adapter with `wanted_luid` is chosen over any other.
  explicit AdapterChoice(std::uint64_t wanted_luid) : wants_luid_(true), wanted_luid_(wanted_luid) {}

  // Offers the adapter at `index` with its DedicatedVideoMemory, Flags and LUID. True when
  // it becomes the choice (the caller keeps it and lets go of the previous one): the
  // wanted LUID (software or not), else, while the wanted one has not been seen, only a
  // non-software adapter with strictly more dedicated memory than every earlier one, so
  // 0 bytes never wins and among equals the lower index stays.
  bool Offer(std::uint32_t index, std::uint64_t dedicated_video_memory, std::uint32_t flags,
             std::uint64_t luid = 0);

  bool has_choice() const { return has_choice_; }
  std::uint32_t index() const { return index_; }        // valid when has_choice()
  std::uint64_t dedicated() const { return best_; }     // 0 when nothing was chosen
  bool wants_luid() const { return wants_luid_; }
  bool found_wanted() const { return found_wanted_; }   // the choice is the wanted adapter

 private:
  bool wants_luid_ = false;
  std::uint64_t wanted_luid_ = 0;
  bool found_wanted_ = false;
  bool has_choice_ = false;
  std::uint32_t index_ = 0;
  std::uint64_t best_ = 0;
};

}  // namespace nimo
