// Where the client's answers to the page's calls (ResolveCall, protocol 3) go: the page
// bridge keeps the calls, and this folder may not reach it, so the browser process installs
// the bridge's handler here before the link connects.
//
// Threads: SetCallAnswerHandler on the main thread before the link connects;
// DeliverCallAnswer on the reader thread (it posts the handler to the UI thread).
#pragma once
#include "protocol/page_call.h"

namespace nimo {

using CallAnswerHandler = void (*)(const CallMessage& answer);

void SetCallAnswerHandler(CallAnswerHandler handler);

// Decodes a ResolveCall payload and hands it to the handler on the UI thread; a payload
// too short for its head, call id 0 or an unknown status is ignored.
void DeliverCallAnswer(const std::uint8_t* payload, std::size_t length);

}  // namespace nimo
