#include "surfaces/portable/renderer_recovery.h"

#include <gtest/gtest.h>

namespace nimo {
namespace {

TEST(RendererRecovery, ACrashLoopGetsThreeReloadsInAnyMinuteThenStaysDownUntilTheClientLoads) {
  RendererFaultState s;
  const std::int64_t t0 = 1000000;
  EXPECT_EQ(s.OnRendererEnded(t0, false), CrashAction::kReload);
  EXPECT_EQ(s.OnRendererEnded(t0 + 20000, false), CrashAction::kReload);
  EXPECT_EQ(s.OnRendererEnded(t0 + 40000, false), CrashAction::kReload);
  EXPECT_EQ(s.OnRendererEnded(t0 + 40001, false), CrashAction::kStayDown);
  EXPECT_EQ(s.pending_reload(), 0u);
  // Refusals do not count: once the first grant is a minute old, one more is granted, and
  // the window slides on from the grants that remain.
  EXPECT_EQ(s.OnRendererEnded(t0 + kCrashReloadWindowMs - 1, false), CrashAction::kStayDown);
  EXPECT_EQ(s.OnRendererEnded(t0 + kCrashReloadWindowMs, false), CrashAction::kReload);
  EXPECT_EQ(s.OnRendererEnded(t0 + kCrashReloadWindowMs + 1, false), CrashAction::kStayDown);
  EXPECT_EQ(s.OnRendererEnded(t0 + 20000 + kCrashReloadWindowMs, false), CrashAction::kReload);

  // The client's own load gives the page the whole limit again.
  s.OnClientLoad();
  for (int i = 0; i < kCrashReloadsPerWindow; ++i) {
    EXPECT_EQ(s.OnRendererEnded(t0 + 90000, false), CrashAction::kReload) << i;
  }
  EXPECT_EQ(s.OnRendererEnded(t0 + 90000, false), CrashAction::kStayDown);

  // Closing or shutting down: never a reload, and nothing is used up.
  RendererFaultState closing;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(closing.OnRendererEnded(t0, true), CrashAction::kNothing);
  EXPECT_EQ(closing.pending_reload(), 0u);
  EXPECT_EQ(closing.OnRendererEnded(t0, false), CrashAction::kReload);
}

TEST(RendererRecovery, OnlyTheLatestReloadIsCarriedOutAndNothingThatOutlivedItsOccasion) {
  RendererFaultState s;
  ASSERT_EQ(s.OnRendererEnded(0, false), CrashAction::kReload);
  const std::uint32_t first = s.pending_reload();
  ASSERT_EQ(s.OnRendererEnded(100, false), CrashAction::kReload);
  const std::uint32_t second = s.pending_reload();
  EXPECT_NE(first, 0u);
  EXPECT_NE(first, second);
  EXPECT_FALSE(s.TakeReload(first, false));
  EXPECT_TRUE(s.TakeReload(second, false));
  EXPECT_FALSE(s.TakeReload(second, false)) << "a reload is carried out once";

  // The client loaded meanwhile: its load replaces the reload.
  ASSERT_EQ(s.OnRendererEnded(200, false), CrashAction::kReload);
  const std::uint32_t superseded = s.pending_reload();
  s.OnClientLoad();
  EXPECT_FALSE(s.TakeReload(superseded, false));

  // Shutdown began during the delay.
  ASSERT_EQ(s.OnRendererEnded(300, false), CrashAction::kReload);
  EXPECT_FALSE(s.TakeReload(s.pending_reload(), true));

  // The browser closed and a new one took the slot: the old reload must not touch it, and
  // the new browser's first reload gets a token the old task cannot hold.
  ASSERT_EQ(s.OnRendererEnded(400, false), CrashAction::kReload);
  const std::uint32_t before_close = s.pending_reload();
  s.Reset();
  EXPECT_FALSE(s.TakeReload(before_close, false));
  ASSERT_EQ(s.OnRendererEnded(500, false), CrashAction::kReload);
  EXPECT_NE(s.pending_reload(), before_close);
  EXPECT_FALSE(s.TakeReload(before_close, false));
  EXPECT_FALSE(s.TakeReload(0, false));
}

TEST(RendererRecovery, AHangEndsInATerminationUnlessTheRendererAnswersOrEndsFirst) {
  RendererFaultState s;
  const std::uint32_t hung = s.OnUnresponsive();
  EXPECT_TRUE(s.TakeHangExpiry(hung));
  EXPECT_FALSE(s.TakeHangExpiry(hung)) << "terminated once";

  const std::uint32_t answered = s.OnUnresponsive();
  EXPECT_TRUE(s.OnResponsive());
  EXPECT_FALSE(s.TakeHangExpiry(answered));
  EXPECT_FALSE(s.OnResponsive()) << "nothing was running any more";

  // A second report restarts the grace period; only the newest one may expire.
  const std::uint32_t older = s.OnUnresponsive();
  const std::uint32_t newer = s.OnUnresponsive();
  EXPECT_FALSE(s.TakeHangExpiry(older));
  EXPECT_TRUE(s.TakeHangExpiry(newer));

  // The renderer ended (or the browser closed) during the grace period.
  const std::uint32_t ended = s.OnUnresponsive();
  s.OnRendererEnded(0, false);
  EXPECT_FALSE(s.TakeHangExpiry(ended));
  const std::uint32_t closed = s.OnUnresponsive();
  s.Reset();
  EXPECT_FALSE(s.TakeHangExpiry(closed));
}

}  // namespace
}  // namespace nimo
