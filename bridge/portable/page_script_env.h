// How the browser process tells its renderer processes that documents get window.mp before
// their first script (protocol-3 sessions), and from which origins: one environment
// variable, set by the browser process before the engine starts, inherited by every
// sub-process it launches. The renderer wraps the page script in a check of the new
// document's own location.origin, so the decision is made in the document, before any of
// its scripts.
//
// Pure functions and constants; any thread.
#pragma once
#include <string>
#include <string_view>

#include "bridge/portable/page_origin.h"

namespace nimo {

constexpr char kPageScriptEnv[] = "NIMOMP_PAGE_API";

// "*" without a filter, else "=" and the allowed origins joined by ','.
std::string PageScriptEnvValue(const OriginFilter& filter);

// The script a renderer runs in a new main-frame document for the variable's value:
// `page_script` as it is for "*", wrapped in a check of location.origin against the list
// for "=..."; empty (nothing to run) for any other value.
std::string EarlyPageScript(std::string_view env_value, std::string_view page_script);

}  // namespace nimo
