#include "client/portable/cursor_map.h"

namespace nimo {
namespace client {

namespace {

// IDC_* numbers; windows.h is not available to portable code.
enum : std::uint32_t {
  kArrow = 32512, kIBeam = 32513, kWait = 32514, kCross = 32515, kUpArrow = 32516,
  kSizeNwse = 32642, kSizeNesw = 32643, kSizeWe = 32644, kSizeNs = 32645, kSizeAll = 32646,
  kNo = 32648, kHand = 32649, kAppStarting = 32650, kHelp = 32651,
};

}  // namespace

std::uint32_t StandardCursorId(std::uint32_t type) {
  // Indexed by cef_cursor_type_t, CT_POINTER (0) to CT_DND_LINK (49).
  static const std::uint32_t kIds[] = {
      kArrow, kCross, kHand, kIBeam, kWait, kHelp,                     // 0 pointer .. 5 help
      kSizeWe, kSizeNs, kSizeNesw, kSizeNwse, kSizeNs, kSizeNwse,      // 6 east .. 11 southeast
      kSizeNesw, kSizeWe, kSizeNs, kSizeWe, kSizeNesw, kSizeNwse,      // 12 southwest .. 17 nwse
      kSizeWe, kSizeNs,                                                // 18 column, 19 row
      kSizeAll, kSizeAll, kSizeAll, kSizeAll, kSizeAll, kSizeAll,      // 20..25 panning
      kSizeAll, kSizeAll, kSizeAll, kSizeAll,                          // 26..28 panning, 29 move
      kIBeam, kCross, kArrow, kArrow, kAppStarting, kNo, kArrow,       // 30 vertical text .. 36 copy
      kArrow, kNo, kArrow, kArrow, kHand, kHand,                       // 37 none .. 42 grabbing
      kSizeNs, kSizeWe, kArrow,                                        // 43, 44 panning, 45 custom
      kNo, kArrow, kArrow, kArrow,                                     // 46 dnd none .. 49 dnd link
  };
  return type < sizeof kIds / sizeof kIds[0] ? kIds[type] : kArrow;
}

}  // namespace client
}  // namespace nimo
