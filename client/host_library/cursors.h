// Inside the host library: the cursor each surface's page asks for, as a ready HCURSOR for
// the program's WM_SETCURSOR. Standard shapes are the system's shared cursors (never
// destroyed); a custom picture is made into a cursor once, when its CursorChanged arrives,
// and destroyed once a later cursor of that surface has replaced it and been handed out
// twice (so a handle the program set is never destroyed while it may still show). One that
// was never handed out is destroyed as soon as it is replaced: a program that never asks
// (or asks only for another surface) must not collect them.
//
// Made with the HostState, destroyed with it. Threads: Update on the reader thread, For
// from any thread; one lock inside.
#pragma once
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "protocol/pointer_messages.h"

namespace nimo {
namespace host {

class CursorTable {
 public:
  CursorTable() = default;
  ~CursorTable();
  CursorTable(const CursorTable&) = delete;
  CursorTable& operator=(const CursorTable&) = delete;

  // A CursorChanged of a surface 0..3 (others are ignored).
  void Update(const CursorReport& report);
  // The surface's cursor: the arrow before any report, null for CT_NONE (no cursor).
  HCURSOR For(std::uint32_t surface);
  // Custom cursors made and not yet destroyed (for tests).
  std::uint32_t LiveCustom() const;

 private:
  struct Slot {
    std::uint32_t type = 0;      // CT_POINTER
    HCURSOR custom = nullptr;    // the current custom cursor, when type is CT_CUSTOM
    bool custom_handed = false;  // For has handed `custom` out
    std::vector<HCURSOR> retired;  // replaced custom cursors the program may still show
    std::vector<HCURSOR> stale;    // replaced before the last For: its cursor is set by now
  };
  mutable std::mutex lock_;
  Slot slots_[4];
};

}  // namespace host
}  // namespace nimo
