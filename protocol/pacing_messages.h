// The frame-pacing commands of protocol 3: who decides when a surface's page is asked for a
// frame, and whether the frame-rate probe runs in it. Acted on only in sessions that
// negotiated version 3; a version-2 link ignores both types.
//
//   SetFramePacing (command 116): SurfaceHead {surface, mode, rate, flags}.
//     mode 0, engine clock: the engine asks for a frame every 1000/rate ms (rate 1..240;
//       0 keeps the engine's default of one every 16 ms).
//     mode 1, client clock: a frame is asked for only on BeginFrame (rate unused).
//     flags bit 0: no frame-rate probe in the surface's documents.
//   BeginFrame (command 117): SurfaceHead {surface, 0, 0, 0}.
//
// Pure functions; any thread.
#pragma once
#include <cstddef>
#include <cstdint>

#include "protocol/commands.h"

namespace nimo {

constexpr std::uint16_t kMsgSetFramePacing = 116;
constexpr std::uint16_t kMsgBeginFrame = 117;

constexpr std::uint32_t kPacingEngineClock = 0;
constexpr std::uint32_t kPacingClientClock = 1;
constexpr std::uint32_t kPacingMaxRate = 240;     // frames per second
constexpr std::uint32_t kPacingFlagNoProbe = 1;   // flags bit 0

struct FramePacingCommand {
  std::uint32_t surface_id = 0;
  std::uint32_t mode = kPacingEngineClock;
  std::uint32_t rate = 0;   // engine clock only; 0: the default 16 ms
  std::uint32_t flags = 0;  // bits other than kPacingFlagNoProbe are ignored
};

// False (the command is to be ignored as a whole) for a payload shorter than its head, a
// mode other than 0 and 1, or an engine-clock rate above kPacingMaxRate.
bool DecodeSetFramePacing(const std::uint8_t* payload, std::size_t length, FramePacingCommand* out);

// False for a payload shorter than its head.
bool DecodeBeginFrame(const std::uint8_t* payload, std::size_t length, std::uint32_t* surface_id);

namespace protocol {

Bytes SetFramePacing(std::uint32_t surface, std::uint32_t mode, std::uint32_t rate, std::uint32_t flags);
Bytes BeginFrame(std::uint32_t surface);

}  // namespace protocol
}  // namespace nimo
