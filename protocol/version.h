// Protocol versions and what each allows on the pipe. A client asks for a version with
// --nimomp-protocol=<n> on the engine's command line; Hello carries the version the engine
// then speaks. Version 2 is every client's unless it asks for more, and on a version-2 link
// every byte is exactly as version 2 defines it: no report type above the version-2 ones is
// sent, and no command type from kFirstVersion3Command up is acted on.
//
// Pure functions and constants; any thread.
#pragma once
#include <cstdint>
#include <string_view>

namespace nimo {

constexpr std::uint32_t kProtocolVersion = 2;        // the default, and the lowest spoken
constexpr std::uint32_t kNewestProtocolVersion = 3;  // the highest the engine speaks

constexpr std::uint16_t kLastVersion2Report = 5;       // reports 1..5
constexpr std::uint16_t kFirstVersion3Command = 110;   // commands 100..109 are version 2

// The version to speak for the value of --nimomp-protocol (empty when the switch is
// absent): the number asked for, capped at kNewestProtocolVersion; kProtocolVersion for a
// lower number, an empty value or anything but plain decimal digits.
std::uint32_t NegotiateProtocolVersion(std::string_view requested);

// Whether a link speaking `version` may carry a report of `type`.
bool ReportAllowed(std::uint16_t type, std::uint32_t version);

}  // namespace nimo
