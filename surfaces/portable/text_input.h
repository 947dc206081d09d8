// Which kind of text field of a surface's page has the keyboard (the engine's
// cef_text_input_mode_t; NONE when no editable element has the focus), as the client is
// told it with TextInputState.
//
// Two sources are combined. The engine's on_virtual_keyboard_requested says a user click
// landed in an editable element, but never that the focus left one. The page bridge's
// focus watcher (in pages that get the bridge's scripts) notes every change of the
// focused element, including script focus, blur(), Tab, shadow DOM and same-origin frames;
// it cannot see into a frame of another origin, which it notes as "foreign". So: where the
// watcher has spoken in the current document and sees the focus itself, its note decides;
// where it sees a foreign frame, or has not spoken (surface 1, which runs no page
// scripts, or a document before the watcher ran), the engine's latest request since then
// decides. A new document or a lost renderer forgets both; a hidden surface reports NONE
// until it is shown again.
//
// Plain data with pure decisions; owned by the surface's record, touched on the UI thread.
#pragma once
#include <cstdint>

namespace nimo {

constexpr std::uint32_t kTextInputDefault = 0;
constexpr std::uint32_t kTextInputNone = 1;
constexpr std::uint32_t kTextInputModeLast = 8;  // SEARCH, the highest mode the engine knows

class TextInputTracker {
 public:
  // A note of the page's focus watcher: a mode 0..8, or kForeignNote.
  static constexpr int kForeignNote = -1;
  void PageNote(int note);
  // The engine's on_virtual_keyboard_requested; modes above 8 count as DEFAULT.
  void KeyboardRequested(std::uint32_t mode);
  // A new document of the main frame, or its renderer ended.
  void Reset();
  void SetHidden(bool hidden);

  std::uint32_t Mode() const;
  // True once per change of Mode() since the last call, with the mode to report. The
  // first report of a surface is due only when its mode is not NONE.
  bool TakeChange(std::uint32_t* mode);

 private:
  enum class Page { kSilent, kSees, kForeign };
  Page page_ = Page::kSilent;
  std::uint32_t page_mode_ = kTextInputNone;
  std::uint32_t engine_mode_ = kTextInputNone;
  bool hidden_ = false;
  std::uint32_t reported_ = kTextInputNone;
};

}  // namespace nimo
