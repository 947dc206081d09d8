#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "protocol/pacing_messages.h"
#include "protocol/wire.h"
#include "surfaces/portable/frame_pacing.h"

namespace {

using nimo::ApplyFramePacing;
using nimo::BeginFrameFold;
using nimo::FramePacingCommand;
using nimo::PaceClock;
using nimo::PacingChange;
using nimo::PacingSettings;

// The command as the engine's reader sees it on a link of `version`.
nimo::DecodedCommand Received(const std::vector<std::uint8_t>& frame, std::uint32_t version) {
  const nimo::ReceivedFrame r = nimo::ValidateReceived(nimo::ReadStatus::kComplete, frame.data(), frame.size());
  return nimo::DecodeCommand(r, version);
}

TEST(PacingMessages, DecodeWhatTheEncodersWriteOnVersion3AndAreIgnoredOnVersion2) {
  const auto pacing = nimo::protocol::SetFramePacing(3, nimo::kPacingEngineClock, 144, nimo::kPacingFlagNoProbe);
  const auto begin = nimo::protocol::BeginFrame(1);
  EXPECT_EQ(Received(pacing, 2).action, nimo::CommandAction::kIgnore);
  EXPECT_EQ(Received(begin, 2).action, nimo::CommandAction::kIgnore);

  const nimo::DecodedCommand p = Received(pacing, 3);
  ASSERT_EQ(p.action, nimo::CommandAction::kVersion3);
  FramePacingCommand c;
  ASSERT_TRUE(nimo::DecodeSetFramePacing(p.payload, p.length, &c));
  EXPECT_EQ(c.surface_id, 3u);
  EXPECT_EQ(c.mode, nimo::kPacingEngineClock);
  EXPECT_EQ(c.rate, 144u);
  EXPECT_EQ(c.flags, nimo::kPacingFlagNoProbe);

  const nimo::DecodedCommand b = Received(begin, 3);
  std::uint32_t surface = 99;
  ASSERT_TRUE(nimo::DecodeBeginFrame(b.payload, b.length, &surface));
  EXPECT_EQ(surface, 1u);
  EXPECT_FALSE(nimo::DecodeBeginFrame(b.payload, nimo::kSurfaceHeadSize - 1, &surface));
}

TEST(PacingMessages, RefuseWhatNoClockCanDoAndIgnoreTheRateOfTheClientClock) {
  auto decode = [](std::uint32_t mode, std::uint32_t rate, std::size_t length, FramePacingCommand* out) {
    const auto frame = nimo::protocol::SetFramePacing(0, mode, rate, 0);
    return nimo::DecodeSetFramePacing(frame.data() + nimo::kFrameHeaderSize, length, out);
  };
  FramePacingCommand c;
  EXPECT_TRUE(decode(nimo::kPacingEngineClock, 240, 16, &c));
  EXPECT_TRUE(decode(nimo::kPacingEngineClock, 0, 16, &c));
  EXPECT_FALSE(decode(nimo::kPacingEngineClock, 241, 16, &c));
  EXPECT_FALSE(decode(nimo::kPacingEngineClock, 0xFFFFFFFFu, 16, &c));
  EXPECT_FALSE(decode(2, 60, 16, &c));
  EXPECT_FALSE(decode(nimo::kPacingEngineClock, 60, 15, &c));
  ASSERT_TRUE(decode(nimo::kPacingClientClock, 100000, 16, &c));
  EXPECT_EQ(c.rate, 0u);
}

TEST(FramePacing, ClockChangesStartAndStopThePumpOnceAndTheProbeStopsOnlyWhenTurnedOff) {
  struct Step {
    std::uint32_t mode, rate, flags;
    bool restart, stop, probe_stop;
  };
  const Step steps[] = {
      {nimo::kPacingClientClock, 0, 0, false, true, false},   // to the client's clock
      {nimo::kPacingClientClock, 0, 0, false, false, false},  // again: nothing new
      {nimo::kPacingEngineClock, 30, 0, true, false, false},  // back: the pump starts
      {nimo::kPacingEngineClock, 30, 0, false, false, false},
      {nimo::kPacingEngineClock, 144, 1, true, false, true},  // new rate, probe off
      {nimo::kPacingEngineClock, 144, 1, false, false, false},
      {nimo::kPacingEngineClock, 0, 0, true, false, false},   // the default again, probe back on
  };
  PacingSettings s;
  for (const Step& step : steps) {
    const PacingChange c = ApplyFramePacing(0, s, FramePacingCommand{0, step.mode, step.rate, step.flags});
    EXPECT_EQ(c.pump_restart, step.restart) << step.mode << " " << step.rate;
    EXPECT_EQ(c.pump_stop, step.stop) << step.mode << " " << step.rate;
    EXPECT_EQ(c.probe_stop, step.probe_stop) << step.mode << " " << step.rate;
    EXPECT_EQ(c.settings.client_clock, step.mode == nimo::kPacingClientClock);
    EXPECT_EQ(c.settings.rate, step.rate);
    EXPECT_EQ(c.settings.probe, step.flags == 0);
    s = c.settings;
  }
}

TEST(FramePacing, TheSurfaceWithoutBeginFramesTakesOnlyTheProbeFlag) {
  const PacingChange c =
      ApplyFramePacing(2, PacingSettings(), FramePacingCommand{2, nimo::kPacingClientClock, 0, nimo::kPacingFlagNoProbe});
  EXPECT_FALSE(c.settings.client_clock);
  EXPECT_FALSE(c.pump_stop);
  EXPECT_FALSE(c.settings.probe);
  EXPECT_TRUE(c.probe_stop);
  const PacingChange r = ApplyFramePacing(2, PacingSettings(), FramePacingCommand{2, nimo::kPacingEngineClock, 30, 0});
  EXPECT_EQ(r.settings.rate, 0u);
  EXPECT_FALSE(r.pump_restart);
}

// Ticks of a pump run for `run_us` whose ticks each take `tick_us`, with one stall of
// `stall_us` (the UI thread busy) before the tick at `stall_at`.
std::vector<std::int64_t> RunPump(std::uint32_t rate, std::int64_t run_us, std::int64_t tick_us, int stall_at = -1,
                                  std::int64_t stall_us = 0) {
  PaceClock clock;
  std::vector<std::int64_t> ticks;
  std::int64_t now = 1000000;
  std::int64_t delay = clock.Start(rate, now);
  const std::int64_t end = now + run_us;
  for (;;) {
    now += delay * 1000;
    if (static_cast<int>(ticks.size()) == stall_at) now += stall_us;
    if (now > end) return ticks;
    ticks.push_back(now);
    now += tick_us;
    delay = clock.Next(now);
  }
}

TEST(FramePacing, TheEngineClockHoldsTheAskedRateWithWholeMillisecondDelays) {
  for (std::uint32_t rate : {1u, 30u, 60u, 144u, 240u}) {
    const std::size_t ticks = RunPump(rate, 10000000, 300).size();
    EXPECT_NEAR(static_cast<double>(ticks), rate * 10.0, 1.0) << rate;
  }
  // The default counts 16 ms after each tick's end, as a version-2 engine always did.
  const std::vector<std::int64_t> fixed = RunPump(0, 1000000, 1000);
  ASSERT_GE(fixed.size(), 2u);
  for (std::size_t i = 1; i < fixed.size(); ++i) EXPECT_EQ(fixed[i] - fixed[i - 1], 17000);
}

TEST(FramePacing, ALateTickIsNotCaughtUpWithABurst) {
  const std::vector<std::int64_t> ticks = RunPump(144, 1000000, 100, 20, 100000);
  ASSERT_GT(ticks.size(), 40u);
  // After the 100 ms stall the ticks keep their spacing instead of 14 coming at once.
  for (std::size_t i = 21; i < 30; ++i) EXPECT_GE(ticks[i] - ticks[i - 1], 6000) << i;
}

TEST(FramePacing, BeginFramesWaitingForTheUiThreadFoldIntoOneTask) {
  BeginFrameFold fold;
  EXPECT_TRUE(fold.Arrive());
  EXPECT_FALSE(fold.Arrive());
  EXPECT_FALSE(fold.Arrive());
  EXPECT_EQ(fold.folded(), 2u);
  fold.Taken();
  EXPECT_TRUE(fold.Arrive());  // after the task started, the next command is a frame of its own
  // A task that could not be posted leaves nothing waiting.
  fold.Lost();
  EXPECT_TRUE(fold.Arrive());
}

}  // namespace
