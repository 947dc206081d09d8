// The page's calls of protocol 3, both ways: the PageCall report and the ResolveCall
// command. Sent and acted on only in sessions that negotiated version 3.
//
//   PageCall (report 12): SurfaceHead {surface, call id, 0, 0}, then UTF-8 JSON
//     {"name":...,"args":[...],"origin":"<scheme://host[:port]>"}. Call ids count from 1
//     per surface.
//   ResolveCall (command 118): SurfaceHead {surface, call id, status, 0}, then UTF-8 JSON of
//     the value (status 0, resolve) or of the reason (status 1, reject).
//
// Pure functions; any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nimo {

constexpr std::uint16_t kMsgPageCall = 12;
constexpr std::uint16_t kMsgResolveCall = 118;

constexpr std::uint32_t kCallResolve = 0;
constexpr std::uint32_t kCallReject = 1;

// The longest JSON text either message can carry (the payload limit less the head).
std::size_t MaxCallJsonBytes();

// A PageCall payload; empty when the JSON does not fit.
std::vector<std::uint8_t> EncodePageCall(std::uint32_t surface_id, std::uint32_t call_id, std::string_view json);

// A ResolveCall payload (head and JSON, without the frame header); empty when the JSON does
// not fit.
std::vector<std::uint8_t> EncodeResolveCall(std::uint32_t surface_id, std::uint32_t call_id, std::uint32_t status,
                                            std::string_view json);

struct CallMessage {
  std::uint32_t surface_id = 0;
  std::uint32_t call_id = 0;
  std::uint32_t status = 0;  // ResolveCall only
  std::string json;
};

// Both false for a payload shorter than its head. ResolveCall also refuses call id 0 (no
// call has it) and a status other than resolve or reject.
bool DecodePageCall(const std::uint8_t* payload, std::size_t length, CallMessage* out);
bool DecodeResolveCall(const std::uint8_t* payload, std::size_t length, CallMessage* out);

// The members of a call's JSON, {"name":<string>,"args":<array>[,"origin":<string>]} in that
// order and nothing else (what the page writes, and the engine's PageCall after it added
// the origin). `args_json` is the array's text as it came.
struct CallFields {
  std::string name;
  std::string args_json;
  std::string origin;
  bool has_origin = false;
};
// False for any other text: another shape, another member, a member twice, text after the
// object, JSON that does not parse.
bool ParseCallFields(std::string_view json, CallFields* out);

// `text` as a JSON string literal (quotes included): '"', '\' and control characters
// escaped, and U+2028/U+2029 too, so the literal is also a script string literal.
std::string JsonStringLiteral(std::string_view text);

// The end of the JSON value that starts at `at` (whitespace before it skipped), or npos
// when none does. Nesting deeper than 256 levels is refused.
std::size_t SkipJsonValue(std::string_view json, std::size_t at);
// Reads the JSON string at `at` into UTF-8 (escapes decoded, a lone surrogate becomes
// U+FFFD) and moves `at` past it; false when there is none.
bool ReadJsonString(std::string_view json, std::size_t* at, std::string* out);

}  // namespace nimo
