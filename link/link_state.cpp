#include "link/link_state.h"

namespace nimo {
namespace link_internal {

// Defined apart from the connection code so that a sender (any subsystem that reports to
// the client) links without pulling in the reader and the command handlers.
std::atomic<HANDLE> pipe{INVALID_HANDLE_VALUE};
std::atomic<bool> link_open{false};
UniqueHandle read_event;
UniqueHandle write_event;

}  // namespace link_internal
}  // namespace nimo
