#include "surfaces/portable/cursor_shape.h"

#include <cstring>

namespace nimo {

CursorDecision DecideCursor(int type, const cef_cursor_info_t* info) {
  CursorDecision d;
  if (type < CT_POINTER || type > CT_DND_LINK) return d;
  if (type != CT_CUSTOM) {
    d.shape.type = static_cast<std::uint32_t>(type);
    return d;
  }
  const bool usable = info != nullptr && info->buffer != nullptr && info->size.width > 0 &&
                      info->size.height > 0 &&
                      static_cast<std::uint32_t>(info->size.width) <= kMaxCustomCursorSide &&
                      static_cast<std::uint32_t>(info->size.height) <= kMaxCustomCursorSide;
  if (!usable) {
    d.oversized = true;
    return d;
  }
  d.shape.type = CT_CUSTOM;
  d.shape.width = static_cast<std::uint32_t>(info->size.width);
  d.shape.height = static_cast<std::uint32_t>(info->size.height);
  // A hotspot outside the picture is pulled onto its nearest pixel.
  const int hx = info->hotspot.x, hy = info->hotspot.y;
  d.shape.hotspot_x = hx < 0 ? 0 : (hx >= info->size.width ? info->size.width - 1 : hx);
  d.shape.hotspot_y = hy < 0 ? 0 : (hy >= info->size.height ? info->size.height - 1 : hy);
  const std::size_t bytes = static_cast<std::size_t>(d.shape.width) * d.shape.height * 4;
  d.shape.pixels.resize(bytes);
  std::memcpy(d.shape.pixels.data(), info->buffer, bytes);
  return d;
}

CursorShape DragCursor(int operation) {
  CursorShape s;
  if (operation & DRAG_OPERATION_MOVE) {
    s.type = CT_DND_MOVE;
  } else if (operation & DRAG_OPERATION_COPY) {
    s.type = CT_DND_COPY;
  } else if (operation & DRAG_OPERATION_LINK) {
    s.type = CT_DND_LINK;
  } else {
    s.type = CT_DND_NONE;
  }
  return s;
}

bool SameCursor(const CursorShape& a, const CursorShape& b) {
  return a.type == b.type && a.hotspot_x == b.hotspot_x && a.hotspot_y == b.hotspot_y &&
         a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

}  // namespace nimo
