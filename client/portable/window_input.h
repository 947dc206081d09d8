// Which input record the engine gets for one window message of the program's window:
// mouse moves, buttons (a double click arrives as a second press, since the engine takes
// single clicks only), the wheel, leaving, keys and characters, each with the engine's
// modifier bits worked out from the message and the keyboard's state.
//
// Pure; any thread. The Win32 side (client/host_library/input.cpp) reads the keyboard state and
// turns the wheel's screen position into window coordinates before calling it.
#pragma once
#include <cstdint>

#include "client/nimo_protocol.h"

namespace nimo {
namespace client {

// The keys and buttons held down (or locks on) when the message was sent.
struct KeyboardState {
  bool shift = false;
  bool control = false;
  bool alt = false;
  bool caps_lock = false;
  bool num_lock = false;
  bool left_button = false;
  bool middle_button = false;
  bool right_button = false;
};

// Mouse positions in the message are window coordinates (the wheel's too, already
// converted); the surface's top-left corner sits at (origin_x, origin_y) of the window.
struct SurfacePlacement {
  int origin_x = 0;
  int origin_y = 0;
};

// False for a message the engine does not take (the caller passes it on as usual). The
// horizontal wheel is input only on a link that negotiated `protocol_version` 3 or later; a
// version-2 engine does not know it.
bool TranslateWindowMessage(std::uint32_t surface, std::uint32_t message, std::uint64_t wparam,
                            std::uint64_t lparam, const KeyboardState& keys, const SurfacePlacement& placement,
                            InputRecord* out, int protocol_version = 2);

}  // namespace client
}  // namespace nimo
