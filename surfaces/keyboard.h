// Keyboard and text of the surfaces in sessions of protocol 3: which kind of text field
// has the keyboard (TextInputState), input-method composition (the commands
// ImeSetComposition, ImeCommitText, ImeFinishComposing, ImeCancelComposition and the
// report ImeCompositionBounds), the keys and buttons a surface releases when it loses the
// focus, and the click count of presses. In a version-2 session every function here does
// nothing and sends nothing, and presses keep click count 1.
//
// The state lives in each surface's record (text_input, held_input). Threads: the UI
// thread only, like the records.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/portable/engine_abi.h"
#include "protocol/wire.h"
#include "surfaces/portable/input_translate.h"

namespace nimo {

// Whether this session speaks protocol 3.
bool KeyboardProtocol();

// The render handler's on_virtual_keyboard_requested and on_ime_composition_range_changed.
void InstallKeyboardCallbacks(cef_render_handler_t* handler);

// What the page bridge and the surfaces see happen to a surface's page.
void KeyboardPageNote(std::uint32_t surface_id, int note);  // the focus watcher's note
void KeyboardNewDocument(std::uint32_t surface_id);          // main-frame load start, renderer ended
void KeyboardHidden(std::uint32_t surface_id, bool hidden);
// The surface's browser closed: NONE, nothing held.
void KeyboardBrowserClosed(std::uint32_t surface_id);

// The input-method commands (types 110..113), UI-task bodies: head and text as sent.
void ImeSetCompositionTask(const SurfaceHead& head, const std::string& text);
void ImeCommitTextTask(const SurfaceHead& head, const std::string& text);
void ImeFinishComposingTask(const SurfaceHead& head);
void ImeCancelCompositionTask(const SurfaceHead& head);

// An input record about to be delivered to the engine as `t`: keeps what is down and
// fills in the click count of a press or release; a double-click message becomes a press
// with count 2 or more. False for a key the page must not get: one pressed during a drag
// of the page, with its repeats and key-up (HeldInput::KeyReachesPage).
bool KeyboardNoteInput(const InputRecord& input, InputTranslation* t);

// The surface lost the focus: the engine hears of the lost capture, then every key and
// button still down in the page is released.
void KeyboardFocusLost(std::uint32_t surface_id, cef_browser_host_t* host);

}  // namespace nimo
