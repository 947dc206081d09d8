// What a surface's browser is created with for its renderer processes: the engine hands this
// dictionary to every renderer process that hosts the browser (on_browser_created), before
// any of its documents exists. It is how a renderer tells the surfaces apart: in a
// protocol-3 session every surface that gets page scripts is marked with kEarlyPageApiKey,
// so its renderers put window.mp into each new document before the page's first script;
// surface 1 is never marked.
//
// State: one flag, set by the browser process before the first browser is created and
// read-only afterwards.
//
// Threads: MarkEarlyPageApiBrowsers on the main thread before the engine runs;
// BrowserInfoFor where browsers are created (the UI thread).
#pragma once
#include <cstdint>

#include "base/engine_ref.h"
#include "base/portable/engine_abi.h"

namespace nimo {

// From now on the browsers of surfaces that get page scripts are marked.
void MarkEarlyPageApiBrowsers();

// The creation info for a browser of `surface_id`: empty (the engine gets null, as without
// a mark) when nothing is marked, for surface 1, or when the engine cannot make a
// dictionary. The caller passes it on with Transfer(): the engine takes that reference.
EngineRef<cef_dictionary_value_t> BrowserInfoFor(std::uint32_t surface_id);

}  // namespace nimo
