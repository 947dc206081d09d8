// Input method and text-input state of a browser. The host's ime_* slots are journaled
// with every argument (in the Chromium mode they also drive the page, real_ime.h). The
// render handler's on_virtual_keyboard_requested and on_ime_composition_range_changed are
// raised as a page raises them: by the scripted actions `keyboard_request` and
// `composition_range`, or in the Chromium mode from what the real page shows.
//
// Threads: host slots from any thread; Raise* and the actions on the UI thread.
#pragma once
#include <vector>

#include "testbed/engine/engine_decls.h"

namespace standin {

struct BrowserCore;
struct Directive;

// Fills the host's ime_set_composition, ime_commit_text, ime_finish_composing_text and
// ime_cancel_composition.
void FillHostIme(cef_browser_host_t* h);

// The render handler's callbacks with fresh wrappers and a journal line.
void RaiseVirtualKeyboard(BrowserCore* b, int mode);
void RaiseCompositionRange(BrowserCore* b, const cef_range_t& range, const std::vector<cef_rect_t>& rects);

// Page actions `keyboard_request mode=N` and
// `composition_range from=F to=T [rects="x,y,w,h;..."]`; false for other keywords.
bool ImeAction(BrowserCore* b, const Directive& d);

}  // namespace standin
