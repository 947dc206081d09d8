// The console line by which the focus watcher (bridge/focus_watch.js, run only in
// sessions of protocol 3) tells the browser process what kind of element has the focus:
// the tag "NIMOTEXT|" and one character, a digit 0..8 (the engine's text-input mode of the
// focused element, 1 for none) or "f" (the focus is in a frame of another origin, which
// the page cannot look into). Such a line is the engine's own business and never reaches
// the client as a ConsoleLine; any other text with the tag is an ordinary console line.
//
// Pure function; any thread (the console callback calls it on the UI thread).
#pragma once
#include <cstddef>

namespace nimo {

constexpr char kTextNoteTag[] = "NIMOTEXT|";
constexpr int kTextNoteForeign = -1;

// True when the text is exactly a note; `note` is then the mode or kTextNoteForeign.
bool ParseTextNote(const char* text, std::size_t length, int* note);

}  // namespace nimo
