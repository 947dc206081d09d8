// The Chromium mode's input method and text-input state (see real_page.h): composition
// calls become Input.imeSetComposition / Input.insertText on the page, and what the real
// engine reports about them is read from the page. After a composition change the
// rectangles of the composed characters (view coordinates) and their range in the focused
// field's text come back through on_ime_composition_range_changed; after a commit or a
// cancel an invalid range with no rectangles. After a user's press that leaves an
// editable element focused, on_virtual_keyboard_requested comes with the element's
// `inputmode` (DEFAULT without one), as the engine asks for a keyboard on a click into a
// field; focus moved by script or leaving a field is not reported, as in the engine.
//
// Threads: any; callbacks into the product run on the UI thread.
#pragma once
#include <string>

#include "testbed/engine/engine_decls.h"

namespace standin {

struct BrowserCore;

void RealImeSetComposition(BrowserCore* b, const std::u16string& text, const cef_range_t& selection);
void RealImeCommit(BrowserCore* b, const std::u16string& text);
// Commits the composition as it stands.
void RealImeFinish(BrowserCore* b);
void RealImeCancel(BrowserCore* b);
// A mouse press was dispatched to the page: asks for the keyboard if it focused a field.
void RealAfterPress(BrowserCore* b);
// The browser is closed: forgets its composition.
void RealImeForget(BrowserCore* b);

}  // namespace standin
