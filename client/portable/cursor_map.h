// Which of the system's standard cursors shows an engine cursor type, for the host
// library's CursorFor: the IDC_* resource number LoadCursor takes. Types without a system
// cursor of their own take the nearest one (the drag shapes the arrow or "no", the
// panning shapes the four-way arrows). CT_CUSTOM has no standard cursor: the library makes
// one from the picture.
//
// Pure; any thread.
#pragma once
#include <cstdint>

namespace nimo {
namespace client {

// The IDC_* number (IDC_ARROW, 32512, for any type it does not know).
std::uint32_t StandardCursorId(std::uint32_t cursor_type);

}  // namespace client
}  // namespace nimo
