// Begin frames of real pages, one at a time per headless Chromium.
//
// Chromium's compositor takes one external begin frame at a time for the whole browser,
// not per page: a beginFrame issued to one page while another page's is still on its way
// is a bad message to its GPU process, which ends ("Got overlapping
// IssueExternalBeginFrame"); after a few such ends the browser itself gives up. So every
// page's frame request waits here for its browser's turn: at most one beginFrame in
// flight per browser, waiting pages served in the order they asked (each page asks again
// only after its previous frame was answered, so no page can starve another).
//
// The queue lives for the process, one per device scale (one browser per scale); a lost
// browser's frame in flight is answered by the DevTools reader ("connection closed"),
// which frees the turn for the browser started in its place.
//
// Threads: any. `reply` runs on the DevTools reader thread, or on the calling thread when
// the request could not be sent.
#pragma once
#include <string>

#include "testbed/engine/devtools.h"

namespace standin {

// Sends HeadlessExperimental.beginFrame with `params` to the page `session` of the browser
// of `scale_milli` as soon as no other beginFrame of that browser is in flight.
void RequestBeginFrame(int scale_milli, const std::string& session, const Json& params, DevToolsReply reply);

// Drops a closed page's waiting request (its reply gets the error "page closed"); a frame
// of it already in flight keeps the turn until Chromium answers it.
void ForgetBeginFrames(int scale_milli, const std::string& session);

}  // namespace standin
