// The cursor a surface reports to the client: a standard shape by its engine cursor type,
// or a custom picture (CT_CUSTOM) carried as BGRA pixels. The engine's pixels are valid
// only during its callback, so a custom shape is copied here. A picture larger than the
// client is asked to take (128 x 128), or one without pixels, falls back to the standard
// arrow. Drag feedback is told as a drop effect and shown with the CT_DND_* shapes.
//
// Pure functions and plain data; any thread (the surfaces use them on the UI thread).
#pragma once
#include <cstdint>
#include <vector>

#include "base/portable/engine_abi_pointer.h"

namespace nimo {

constexpr std::uint32_t kMaxCustomCursorSide = 128;

struct CursorShape {
  std::uint32_t type = CT_POINTER;  // cef_cursor_type_t
  std::int32_t hotspot_x = 0;
  std::int32_t hotspot_y = 0;
  std::uint32_t width = 0;           // CT_CUSTOM only
  std::uint32_t height = 0;
  std::vector<std::uint8_t> pixels;  // CT_CUSTOM only: width x height x 4 bytes, BGRA, rows packed
};

struct CursorDecision {
  CursorShape shape;
  bool oversized = false;  // a custom picture was too large (or had no pixels) and became the arrow
};

// The shape for an on_cursor_change of `type` with the engine's custom picture `info`
// (read only for CT_CUSTOM; may be null). Types outside the engine's list become the arrow.
CursorDecision DecideCursor(int type, const cef_cursor_info_t* info);

// The CT_DND_* shape for a drop effect of update_drag_cursor: move, copy or link (in that
// order of preference when several bits are set), else "no drop".
CursorShape DragCursor(int operation);

bool SameCursor(const CursorShape& a, const CursorShape& b);

}  // namespace nimo
