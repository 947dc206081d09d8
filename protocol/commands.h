// Encoders of every command a client sends, one complete frame each (write it as ONE pipe
// message). The layouts are those of protocol/wire.h; nothing here adds a number of its own.
// The engine never answers a command; every command is fire-and-forget.
//
// Pure functions; any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "protocol/wire.h"

namespace nimo {
namespace protocol {

using Bytes = std::vector<std::uint8_t>;

// Any frame: header {magic, type, 0, length} and the payload. Empty when the payload is
// over kMaxPayloadSize (the engine would end the link on such a frame).
Bytes Frame(std::uint16_t type, const void* payload, std::size_t length);

// A command with the 16-byte head {surface, p1, p2, p3} and an optional text; empty when
// the text does not fit the largest payload.
Bytes HeadCommand(std::uint16_t type, std::uint32_t surface, std::uint32_t p1, std::uint32_t p2,
                  std::uint32_t p3, std::string_view text = {});

// Width/height 0 keep the slot's current size; an empty URL opens about:blank.
Bytes CreateSurface(std::uint32_t surface, std::uint32_t width, std::uint32_t height, std::string_view url = {});
Bytes Navigate(std::uint32_t surface, std::string_view url);
Bytes ExecuteScript(std::uint32_t surface, std::string_view script);
// Raises window.mp events in the page: runs window.__mpEmit(name, args) where `args_json`
// is a JSON array (or any JSON value for a single argument). The texts are pasted into the
// script as they are: client/portable/script_literal builds safe ones from values.
Bytes EmitToPage(std::uint32_t surface, std::string_view name_json, std::string_view args_json);
// Both sizes must be non-zero, else the engine ignores the command.
Bytes ResizeSurface(std::uint32_t surface, std::uint32_t width, std::uint32_t height);
Bytes SetFocus(std::uint32_t surface, bool focus);
Bytes SetHidden(std::uint32_t surface, bool hidden);
Bytes Reload(std::uint32_t surface, bool ignore_cache);
// Input-method composition (protocol 3, protocol/keyboard_messages.h). `text` is UTF-8;
// the selection is in UTF-16 units within the composition.
Bytes ImeSetComposition(std::uint32_t surface, std::string_view text, std::uint32_t selection_start,
                        std::uint32_t selection_end);
// Replaces the composition (if any) with `text`; the cursor goes after it.
Bytes ImeCommitText(std::uint32_t surface, std::string_view text);
Bytes ImeFinishComposing(std::uint32_t surface, bool keep_selection);
Bytes ImeCancelComposition(std::uint32_t surface);
// Answers the page's call `call_id` (protocol 3, protocol/page_call.h): status 0 resolves
// with the JSON value, 1 rejects with the JSON reason. Empty when the JSON does not fit.
Bytes ResolveCall(std::uint32_t surface, std::uint32_t call_id, std::uint32_t status, std::string_view json);
// Frame ring (protocol 3, protocol/frame_ring.h): the client reads `slot` of `surface` no
// more until a FrameReady3 announces it again.
Bytes FrameRelease(std::uint32_t surface, std::uint32_t slot);
// Ends the link: the engine closes every browser and exits (code 0). Nothing written after
// it is read.
Bytes Shutdown();
// Whether `message` is exactly the frame Shutdown() builds.
bool IsShutdown(const Bytes& message);

// One forwarded window message (protocol/input_messages.h).
Bytes Input(const InputRecord& record);
// A position as a window message carries it: x and y as 16-bit values (negative allowed).
std::uint64_t PackPoint(int x, int y);

Bytes MouseMove(std::uint32_t surface, int x, int y, std::uint32_t modifiers = 0);
enum class MouseButton { kLeft, kRight, kMiddle };
Bytes MouseClick(std::uint32_t surface, MouseButton button, bool up, int x, int y, std::uint32_t modifiers = 0);
// `delta` in wheel units (120 per notch; positive scrolls away from the user).
Bytes MouseWheel(std::uint32_t surface, int x, int y, int delta, std::uint32_t modifiers = 0);
Bytes MouseLeave(std::uint32_t surface);
// `virtual_key` is a Windows virtual-key code; `native` the LPARAM of the key message
// (scan code and flags), passed through.
Bytes Key(std::uint32_t surface, bool up, std::uint32_t virtual_key, std::uint32_t native = 0,
          std::uint32_t modifiers = 0, bool system = false);
// One UTF-16 code unit of typed text.
Bytes Char(std::uint32_t surface, std::uint16_t code_unit, std::uint32_t modifiers = 0, bool system = false);

}  // namespace protocol
}  // namespace nimo
