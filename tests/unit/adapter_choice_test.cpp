#include "surfaces/portable/adapter_choice.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::uint64_t kGiB = 1ull << 30;

struct Adapter {
  std::uint64_t dedicated;
  std::uint32_t flags;
};

// Offers the adapters in enumeration order, as the device creation does, and returns the
// chosen index or -1; also checks that Offer's answer matches the running choice.
int Choose(const std::vector<Adapter>& adapters) {
  nimo::AdapterChoice choice;
  for (std::size_t i = 0; i < adapters.size(); ++i) {
    const auto before = choice.index();
    const bool taken = choice.Offer(static_cast<std::uint32_t>(i), adapters[i].dedicated, adapters[i].flags);
    EXPECT_EQ(taken, choice.has_choice() && choice.index() == i);
    if (!taken && choice.has_choice()) {
      EXPECT_EQ(choice.index(), before);
    }
  }
  return choice.has_choice() ? static_cast<int>(choice.index()) : -1;
}

TEST(AdapterChoice, MostDedicatedMemoryWinsAndTheLowerIndexKeepsATie) {
  EXPECT_EQ(Choose({{4 * kGiB, 0}, {8 * kGiB, 0}}), 1);
  EXPECT_EQ(Choose({{8 * kGiB, 0}, {8 * kGiB, 0}}), 0);
  EXPECT_EQ(Choose({{8 * kGiB, 0}, {4 * kGiB, 0}, {8 * kGiB, 0}}), 0);
  EXPECT_EQ(Choose({{1, 0}, {2, 0}, {3, 0}}), 2);
  EXPECT_EQ(Choose({{~0ull, 0}, {~0ull, 0}}), 0);
}

TEST(AdapterChoice, SoftwareAndZeroMemoryAdaptersAreNeverChosen) {
  EXPECT_EQ(Choose({}), -1);
  EXPECT_EQ(Choose({{0, 0}}), -1);
  EXPECT_EQ(Choose({{16 * kGiB, nimo::kAdapterFlagSoftware}}), -1);
  // Other flag bits (remote, ...) do not exclude an adapter; the software bit does.
  EXPECT_EQ(Choose({{2 * kGiB, 1}}), 0);
  EXPECT_EQ(Choose({{2 * kGiB, 3}}), -1);
  EXPECT_EQ(Choose({{16 * kGiB, nimo::kAdapterFlagSoftware}, {0, 0}, {1 * kGiB, 0}}), 2);
  nimo::AdapterChoice none;
  none.Offer(0, 0, 0);
  EXPECT_FALSE(none.has_choice());
  EXPECT_EQ(none.dedicated(), 0u);
}

}  // namespace
