// One report as one line of JSON, the reference client's output format. Page messages are
// decoded: kind, name and arguments as JSON values (null, string, boolean, number, and
// the JSON text of objects parsed back into JSON where it parses).
//
// Pure; any thread.
#pragma once
#include <string>

#include "client/nimo_protocol.h"

namespace nimo {
namespace client {

// Without a trailing newline. Texts that are not valid UTF-8 are printed with U+FFFD.
std::string ReportToJson(const protocol::Report& report);

}  // namespace client
}  // namespace nimo
