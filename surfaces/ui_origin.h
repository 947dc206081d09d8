// The UI origin served from a folder (--nimomp-ui-root): requests for
// https://nimo.localhost/... of every surface are answered by the engine's resource-handler
// interface from that folder, and nothing goes to the network. The path decisions are
// surfaces/portable/ui_origin.h; this file opens and streams the files.
//
// Small files are read on the engine's IO thread as it asks; reads of larger files run on
// the system thread pool and are answered through the engine's read callback, so a long
// file never holds up the requests of other surfaces.
//
// State: the folder is set once by ConfigureUiOrigin on the main thread before the engine
// starts and never changes afterwards (read from the IO thread without a lock). Each
// request's handler is created by UiResourceHandlerFor on the IO thread, owned by its
// references (the engine's, and one per read in flight) and freed at the last release.
#pragma once
#include <string>

#include "base/portable/engine_abi.h"

namespace nimo {

// Maps the origin to `folder` (UTF-8, relative or absolute). False, with a log line, when
// the folder cannot be opened; the origin then stays unmapped. Main thread, before the
// engine is initialised; at most once.
bool ConfigureUiOrigin(const std::string& folder);

// Whether the origin is mapped. Any thread.
bool UiOriginEnabled();

// A handler answering `request` (the reference the caller holds stays the caller's) when
// it is a request of the origin, carrying one reference for the engine; null otherwise.
// Engine IO thread.
cef_resource_handler_t* UiResourceHandlerFor(cef_request_t* request);

}  // namespace nimo
