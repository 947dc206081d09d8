// Where the client's answers to the page's calls (ResolveCall, protocol 3) go, and who hears
// that a surface's document went with its renderer or its browser: the page bridge keeps
// the calls, and this folder may not reach it, so the browser process installs the
// bridge's handlers here before the engine runs.
//
// Threads: the setters on the main thread before the engine runs; DeliverCallAnswer on the
// reader thread (it posts the handler to the UI thread); DocumentGone on the UI thread.
#pragma once
#include "protocol/page_call.h"

namespace nimo {

using CallAnswerHandler = void (*)(const CallMessage& answer);

void SetCallAnswerHandler(CallAnswerHandler handler);

using DocumentGoneHandler = void (*)(std::uint32_t surface_id);

void SetDocumentGoneHandler(DocumentGoneHandler handler);

// The surface's renderer ended or its browser closed: the handler, if any, is told at once.
void DocumentGone(std::uint32_t surface_id);

// Decodes a ResolveCall payload and hands it to the handler on the UI thread; a payload
// too short for its head, call id 0 or an unknown status is ignored.
void DeliverCallAnswer(const std::uint8_t* payload, std::size_t length);

}  // namespace nimo
