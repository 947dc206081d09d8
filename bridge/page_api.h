// The page API of protocol-3 sessions: which documents may talk to the game (the client's
// origin list), window.mp.call's way to the client (PageCall) and back (ResolveCall), and
// the page script of such sessions (the page shim with call added).
//
// State: the origin filter, set once by the browser process before the engine runs and
// read-only afterwards; each surface's book of pending calls, owned here, touched on the
// UI thread only, emptied when the surface's document goes away. Version-2 sessions never
// reach any of it.
//
// Threads: ConfigurePageApi on the main thread before the engine runs; everything else on
// the engine's UI thread.
#pragma once
#include <cstdint>
#include <string>

#include "base/portable/engine_abi.h"
#include "bridge/portable/page_origin.h"
#include "protocol/page_call.h"

namespace nimo {

// Main thread, before the engine runs: `active` for a protocol-3 session. Also publishes the
// setting to the engine's renderer processes (through the environment they inherit), which
// then put window.mp into each new document before its first script; a version-2 session
// removes the variable, so its renderers never do.
void ConfigurePageApi(bool active, const OriginFilter& filter);

// Whether this is a protocol-3 session (the page API is on).
bool PageApiActive();

// The origin of the browser's main-frame document ("null" when there is none).
std::string MainFrameOrigin(cef_browser_t* browser);

// Whether a document of `origin` may talk to the game: always true without a list.
bool PageOriginAllowed(const std::string& origin);

// The script a protocol-3 document gets: the page shim, then call.
const std::string& PageApiScript();

// A console text of the surface's page: when it is a call line of an allowed document, the
// call is booked and sent as PageCall (or refused to the page at once when it cannot be
// sent) and true is returned; false for every other text.
bool HandleCallLine(std::uint32_t surface_id, cef_browser_t* browser, const std::string& text);

// The surface's document went away (a new document, a lost renderer, a closed browser):
// its pending calls are dropped, and answers to them will find nothing.
void ForgetPageCalls(std::uint32_t surface_id);

// The client's ResolveCall: settles the page's promise when the call is pending; an answer
// for an unknown, finished or forgotten call is ignored.
void AnswerPageCall(const CallMessage& answer);

}  // namespace nimo
