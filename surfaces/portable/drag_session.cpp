#include "surfaces/portable/drag_session.h"

namespace nimo {

namespace {

DragCall Call(DragCallKind kind, const cef_mouse_event_t& event, int operation) {
  DragCall c;
  c.kind = kind;
  c.event = event;
  c.operation = operation;
  return c;
}

// The effect a drop takes when the page never named one: copy when anything goes, else
// move, copy, link in that order, as the engine's own fallback.
int FirstOperation(int allowed) {
  if (allowed == DRAG_OPERATION_EVERY) return DRAG_OPERATION_COPY;
  if (allowed & DRAG_OPERATION_MOVE) return DRAG_OPERATION_MOVE;
  if (allowed & DRAG_OPERATION_COPY) return DRAG_OPERATION_COPY;
  if (allowed & DRAG_OPERATION_LINK) return DRAG_OPERATION_LINK;
  return allowed == DRAG_OPERATION_NONE ? DRAG_OPERATION_NONE : DRAG_OPERATION_GENERIC;
}

}  // namespace

bool DragSession::Start(int allowed_ops, int x, int y, std::vector<DragCall>* calls) {
  if (active_) return false;
  active_ = true;
  allowed_ = allowed_ops;
  operation_known_ = false;
  operation_ = DRAG_OPERATION_NONE;
  last_.x = x;
  last_.y = y;
  last_.modifiers = EVENTFLAG_LEFT_MOUSE_BUTTON;
  calls->push_back(Call(DragCallKind::kEnter, last_, allowed_));
  return true;
}

bool DragSession::TakeInput(DragInput input, const cef_mouse_event_t& event, std::vector<DragCall>* calls) {
  if (!active_) return false;
  switch (input) {
    case DragInput::kMove:
      last_ = event;
      calls->push_back(Call(DragCallKind::kOver, last_, allowed_));
      break;
    case DragInput::kLeftUp:
      last_ = event;
      End(!operation_known_ || operation_ != DRAG_OPERATION_NONE, calls);
      break;
    case DragInput::kEscapeDown:
      End(false, calls);
      break;
    case DragInput::kOther:
      break;
  }
  return true;
}

void DragSession::SetOperation(int operation) {
  if (!active_) return;
  operation_known_ = true;
  operation_ = operation;
}

void DragSession::Cancel(std::vector<DragCall>* calls) {
  if (active_) End(false, calls);
}

void DragSession::End(bool drop, std::vector<DragCall>* calls) {
  if (drop) {
    calls->push_back(Call(DragCallKind::kDrop, last_, allowed_));
  } else {
    calls->push_back(Call(DragCallKind::kLeave, last_, DRAG_OPERATION_NONE));
  }
  // The source hears the effect the target settled on; a drop the page never gave an
  // effect for ends as the first allowed one.
  int effect = DRAG_OPERATION_NONE;
  if (drop) effect = operation_known_ ? operation_ : FirstOperation(allowed_);
  calls->push_back(Call(DragCallKind::kEndedAt, last_, effect));
  calls->push_back(Call(DragCallKind::kSystemEnded, last_, DRAG_OPERATION_NONE));
  active_ = false;
  operation_known_ = false;
  operation_ = DRAG_OPERATION_NONE;
}

}  // namespace nimo
