// The keyboard and text messages of protocol 3, both ways: the TextInputState and
// ImeCompositionBounds reports and the input-method commands. Sent and acted on only in
// sessions that negotiated version 3.
//
//   TextInputState (report 6): SurfaceHead {surface, mode, 0, 0}, no text; mode is one of
//     the kInputMode* values (the web engine's cef_text_input_mode_t).
//   ImeCompositionBounds (report 7): SurfaceHead {surface, from, to, count}, then count
//     rectangles of four i32 (x, y, width, height) in the surface texture's pixels; from
//     and to are 0xFFFFFFFF when there is no composition.
//   ImeSetComposition (command 110): SurfaceHead {surface, selection start, selection end, 0};
//     text = the composition in UTF-8 (selection in UTF-16 units within it).
//   ImeCommitText (command 111): SurfaceHead {surface, 0, 0, 0}; text = UTF-8.
//   ImeFinishComposing (command 112): SurfaceHead {surface, 0, 0, keep selection}.
//   ImeCancelComposition (command 113): SurfaceHead {surface, 0, 0, 0}.
//
// Pure functions; any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/wire.h"

namespace nimo {

constexpr std::uint16_t kMsgTextInputState = 6;
constexpr std::uint16_t kMsgImeCompositionBounds = 7;
constexpr std::uint16_t kMsgImeSetComposition = 110;
constexpr std::uint16_t kMsgImeCommitText = 111;
constexpr std::uint16_t kMsgImeFinishComposing = 112;
constexpr std::uint16_t kMsgImeCancelComposition = 113;

constexpr std::uint32_t kImeRectSize = 16;  // i32 x, y, width, height

// TextInputState modes.
constexpr std::uint32_t kInputModeDefault = 0;  // an editable element without a special kind (contenteditable)
constexpr std::uint32_t kInputModeNone = 1;     // no editable element has the focus
constexpr std::uint32_t kInputModeText = 2, kInputModeTel = 3, kInputModeUrl = 4, kInputModeEmail = 5;
constexpr std::uint32_t kInputModeNumeric = 6, kInputModeDecimal = 7, kInputModeSearch = 8;

struct ImeRect {
  std::int32_t x = 0, y = 0, width = 0, height = 0;
};

// A TextInputState head, and the payload it is: exactly those 16 bytes.
SurfaceHead TextInputStateHead(std::uint32_t surface_id, std::uint32_t mode);
std::vector<std::uint8_t> EncodeTextInputState(std::uint32_t surface_id, std::uint32_t mode);

// An ImeCompositionBounds payload; at most as many rectangles as fit the payload limit.
std::vector<std::uint8_t> EncodeImeCompositionBounds(std::uint32_t surface_id, std::uint32_t from, std::uint32_t to,
                                                     const ImeRect* rects, std::size_t count);

// False for a payload shorter than its head.
bool DecodeTextInputState(const std::uint8_t* payload, std::size_t length, std::uint32_t* surface_id,
                          std::uint32_t* mode);

struct ImeBoundsReport {
  std::uint32_t surface_id = 0;
  std::uint32_t from = 0;
  std::uint32_t to = 0;
  std::vector<ImeRect> rects;
};

// False for a payload shorter than its head or than the rectangles its count announces.
bool DecodeImeCompositionBounds(const std::uint8_t* payload, std::size_t length, ImeBoundsReport* out);

}  // namespace nimo
