// The navigation filter and the local-file policy of every surface's browser.
// Navigations may go only to local files, data: URLs and about:blank (surface 2 may go
// anywhere); everything else is cancelled and logged. Every allowed file:/// navigation
// records its directory as the page directory, and requests for the well-known asset
// folders at that page's drive root are redirected into it, so pages built for a web
// server find their absolute /assets/... paths when loaded from disk. With a UI folder
// (surfaces/ui_origin.h) the UI origin counts as local too, and its requests are answered
// from the folder.
//
// The decisions and the shared page location are surfaces/portable/asset_policy.h; this
// file connects them to the engine.
//
// Threads: on_before_browse runs on the engine's UI thread, the only writer of the page
// location; the resource callbacks run on the engine's IO thread and read it. The
// installer runs on the main thread before the engine does.
#pragma once
#include "base/portable/engine_abi.h"

namespace nimo {

// Sets on_before_browse and get_resource_request_handler of a surface's embedded request
// handler; the base and every other slot are left as they are.
void InstallNavigationFilter(cef_request_handler_t* handler);

// The process-wide asset request handler (built on first use, lives for the process; its
// reference counting does nothing). Any thread.
cef_resource_request_handler_t* AssetRequestHandler();

}  // namespace nimo
