// An HTML drag inside one surface's page. The engine hands a drag it started to the
// program (start_dragging) instead of the operating system; the program then plays the
// drop target itself, in the same page, from the client's mouse input: enter at the start
// point, over on every move, drop on the left button's release (leave instead when the
// page's last drop effect was "none"), and leave on Escape or when the surface loses
// focus, hides or closes. Every end tells the page's drag source where and how the drag
// ended, then that the drag is over. Nothing of it reaches the operating system.
//
// The session only decides which engine calls to make, in order; the caller makes them.
// Coordinates are view DIP. Plain data; used on the UI thread.
#pragma once
#include <cstdint>
#include <vector>

#include "base/portable/engine_abi_pointer.h"

namespace nimo {

enum class DragCallKind {
  kEnter,        // drag_target_drag_enter(data, event, allowed ops)
  kOver,         // drag_target_drag_over(event, allowed ops)
  kDrop,         // drag_target_drop(event)
  kLeave,        // drag_target_drag_leave()
  kEndedAt,      // drag_source_ended_at(x, y, operation)
  kSystemEnded,  // drag_source_system_drag_ended()
};

struct DragCall {
  DragCallKind kind;
  cef_mouse_event_t event;  // kEnter, kOver, kDrop; x, y also of kEndedAt
  int operation;            // allowed ops of kEnter/kOver, the final one of kEndedAt
};

// What a piece of client input is to a drag in progress.
enum class DragInput {
  kMove,        // the mouse moved (with or without the button still held)
  kLeftUp,      // the left button was released
  kEscapeDown,  // the Escape key went down
  kOther,       // anything else: keys, other buttons, the wheel, a mouse leave
};

class DragSession {
 public:
  bool active() const { return active_; }

  // A drag the page started at (x, y) with the allowed operations. False (and no calls)
  // when one is already in progress: the engine then ends the new one itself.
  bool Start(int allowed_ops, int x, int y, std::vector<DragCall>* calls);

  // While active, every piece of input belongs to the drag: moves, the release and Escape
  // become drag calls, the rest is swallowed. Returns false when no drag is active (the
  // input goes to the page as usual).
  bool TakeInput(DragInput input, const cef_mouse_event_t& event, std::vector<DragCall>* calls);

  // The page's current drop effect (update_drag_cursor).
  void SetOperation(int operation);

  // Ends an active drag without a drop: focus taken, the surface hidden or closing.
  // Nothing when none is active.
  void Cancel(std::vector<DragCall>* calls);

 private:
  void End(bool drop, std::vector<DragCall>* calls);

  bool active_ = false;
  int allowed_ = DRAG_OPERATION_NONE;
  // The page's drop effect; until the page tells one, a release drops (the page's drop
  // handler decides then).
  bool operation_known_ = false;
  int operation_ = DRAG_OPERATION_NONE;
  cef_mouse_event_t last_ = {};
};

}  // namespace nimo
