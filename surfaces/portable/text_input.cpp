#include "surfaces/portable/text_input.h"

namespace nimo {

void TextInputTracker::PageNote(int note) {
  if (note == kForeignNote) {
    // Whatever the engine said before pointed at the field the watcher saw; only a request
    // from now on can be about the foreign frame.
    if (page_ != Page::kForeign) engine_mode_ = kTextInputNone;
    page_ = Page::kForeign;
    return;
  }
  if (note < 0 || static_cast<std::uint32_t>(note) > kTextInputModeLast) return;
  page_ = Page::kSees;
  page_mode_ = static_cast<std::uint32_t>(note);
  engine_mode_ = kTextInputNone;
}

void TextInputTracker::KeyboardRequested(std::uint32_t mode) {
  // A request while the watcher sees the focus is about the field it already noted.
  if (page_ == Page::kSees) return;
  engine_mode_ = mode > kTextInputModeLast ? kTextInputDefault : mode;
}

void TextInputTracker::Reset() {
  page_ = Page::kSilent;
  page_mode_ = kTextInputNone;
  engine_mode_ = kTextInputNone;
}

void TextInputTracker::SetHidden(bool hidden) { hidden_ = hidden; }

std::uint32_t TextInputTracker::Mode() const {
  if (hidden_) return kTextInputNone;
  return page_ == Page::kSees ? page_mode_ : engine_mode_;
}

bool TextInputTracker::TakeChange(std::uint32_t* mode) {
  const std::uint32_t now = Mode();
  if (now == reported_) return false;
  reported_ = now;
  *mode = now;
  return true;
}

}  // namespace nimo
