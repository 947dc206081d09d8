// The pointer messages of protocol 3, both ways: the CursorChanged and Tooltip reports and
// the SetScale command. Sent and acted on only in sessions that negotiated version 3.
//
//   CursorChanged (report 8): SurfaceHead {surface, cef_cursor_type_t, hotspot x, hotspot y};
//     for CT_CUSTOM the text is u32 width, u32 height, then width x height BGRA pixels
//     (rows packed, at most 128 x 128); for every other type there is no text.
//   Tooltip (report 9): SurfaceHead {surface, 0, 0, 0}; text = the tooltip in UTF-8, empty
//     when it goes away.
//   SetScale (command 114): SurfaceHead {surface, scale x 1000 (500 to 4000), 0, 0}.
//
// Pure functions; any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nimo {

constexpr std::uint16_t kMsgCursorChanged = 8;
constexpr std::uint16_t kMsgTooltip = 9;
constexpr std::uint16_t kMsgSetScale = 114;

constexpr std::uint32_t kCursorTypeCustom = 45;        // CT_CUSTOM
constexpr std::uint32_t kCursorPictureMaxSide = 128;

// A CursorChanged payload. `pixels` (width x height x 4 bytes) only for a custom cursor.
std::vector<std::uint8_t> EncodeCursorChanged(std::uint32_t surface_id, std::uint32_t type, std::int32_t hotspot_x,
                                              std::int32_t hotspot_y, std::uint32_t width, std::uint32_t height,
                                              const std::vector<std::uint8_t>& pixels);

// A Tooltip payload.
std::vector<std::uint8_t> EncodeTooltip(std::uint32_t surface_id, const std::string& text);

struct CursorReport {
  std::uint32_t surface_id = 0;
  std::uint32_t type = 0;
  std::int32_t hotspot_x = 0;
  std::int32_t hotspot_y = 0;
  std::uint32_t width = 0;           // custom only
  std::uint32_t height = 0;
  std::vector<std::uint8_t> pixels;  // custom only, BGRA
};

// False for a payload shorter than its head, or a custom cursor whose picture is missing,
// larger than 128 x 128 or not exactly width x height x 4 bytes.
bool DecodeCursorChanged(const std::uint8_t* payload, std::size_t length, CursorReport* out);

// SetScale: false for a payload shorter than its head (the scale itself is the engine's to
// judge).
bool DecodeSetScale(const std::uint8_t* payload, std::size_t length, std::uint32_t* surface_id,
                    std::uint32_t* scale_milli);

// False for a payload shorter than its head.
bool DecodeTooltip(const std::uint8_t* payload, std::size_t length, std::uint32_t* surface_id, std::string* text);

}  // namespace nimo
