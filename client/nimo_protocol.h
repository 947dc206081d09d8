// nimo_protocol.h: the client's entry point to the nimo-webengine pipe protocol. Standard
// C++17 and the portable core (link nimo_core); no windows.h.
//
// The client creates a duplex, message-type named pipe, starts nimo-webengine with
// --nimomp-browser --nimomp-pipe=<full pipe name> --nimomp-clientpid=<its process id>
// (protocol/switches.h: the names and how a value is written), writes every command as ONE
// pipe message and reads every report as one whole message (a report is at most
// kMaxFrameSize bytes). The engine never answers a command; the first report is always
// Hello, which carries the protocol version of the link (2 unless the client asked for
// more with --nimomp-protocol, protocol/version.h).
//
// Everything here is a pure function over bytes; any thread may call any of it.
//
//   auto frame = nimo::protocol::CreateSurface(1, 800, 600, "https://example.org/");
//   WriteFile(pipe, frame.data(), (DWORD)frame.size(), ...);
//   ...
//   nimo::protocol::Report report;
//   if (nimo::protocol::DecodeReport(buffer, bytes_read, &report) == nimo::protocol::DecodeStatus::kOk &&
//       report.type == nimo::kMsgFrameReady) { ... report.client_handle ... }
//
// Page messages (report kMsgPageMessage) carry what page script sent through window.mp;
// nimo::protocol::ParsePageMessage splits them into kind, name and tagged arguments.
#pragma once
#include "protocol/commands.h"        // every command, built
#include "protocol/input_messages.h"  // the window messages and modifier bits of InputRecord
#include "protocol/keyboard_messages.h"  // protocol 3: text-field focus and input-method composition
#include "protocol/pacing_messages.h"  // protocol 3: frame pacing and begin frames
#include "protocol/page_call.h"   // protocol 3: window.mp.call (PageCall) and its answer (ResolveCall)
#include "protocol/page_message.h"    // the "NIMOMP|..." text of a page message
#include "protocol/reports.h"         // every report, decoded
#include "protocol/switches.h"        // the engine's switches and how a value is written
#include "protocol/version.h"         // protocol versions
#include "protocol/wire.h"            // the frame, the message catalogue, the fixed records
