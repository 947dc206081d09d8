// The reference client's scenario files: one step per line (commands to send, waits for a
// matching report, pauses, frame saves), parsed up front so a typo fails before the engine
// is started; and the rule that decides whether a report satisfies a wait.
// The format is described in client/README.md.
//
// Pure functions; any thread.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "client/nimo_protocol.h"

namespace nimo {
namespace client {

enum class StepKind {
  kSend,      // write `frame` as one pipe message
  kShutdown,  // send Shutdown now (otherwise it is sent after the last step)
  kClose,     // close the client's end of the pipe, as a client that went away
  kWait,      // wait for a report matching `wait`
  kPause,     // sleep `pause_ms`
  kSave,      // save the newest frame of `surface` as a PNG file at `path`
  kAnswer,    // from now on answer the page's calls named `answer.name` (protocol 3)
};

// How the client answers the page's window.mp.call of one name: resolve with the JSON
// value `text`, or reject with the reason `text`.
struct CallAnswer {
  std::string name;
  bool reject = false;
  std::string text;
};

struct WaitFilter {
  std::uint16_t type = 0;
  std::optional<std::uint32_t> surface;
  std::optional<std::uint32_t> width;
  std::optional<std::uint32_t> height;
  std::optional<std::uint32_t> load_kind;   // LoadEvent kind=
  std::optional<std::int32_t> error_code;   // LoadEvent error=
  std::optional<std::string> page_kind;     // PageMessage kind=
  std::optional<std::string> page_name;     // PageMessage / PageCall name=
  std::optional<std::string> text;          // text= (whole text, exact)
  std::optional<std::string> contains;      // contains= (substring of the text)
  std::uint32_t timeout_ms = 0;
};

struct Step {
  StepKind kind = StepKind::kPause;
  int line = 0;        // 1-based line in the scenario file
  std::string source;  // the line as written, for messages
  protocol::Bytes frame;
  WaitFilter wait;
  std::uint32_t pause_ms = 0;
  std::uint32_t surface = 0;
  std::string path;
  CallAnswer answer;
};

// Parses a whole scenario. Waits without timeout= get `default_timeout_ms`. On a bad line
// returns false with `error` naming the line and the problem.
bool ParseScenario(const std::string& text, std::uint32_t default_timeout_ms, std::vector<Step>* steps,
                   std::string* error);

// Whether `report` is of the wait's type and passes every filter the wait names.
bool Matches(const WaitFilter& wait, const protocol::Report& report);

// Report type from a name as scenarios write it ("FrameReady", case-insensitive); 0 if unknown.
std::uint16_t ReportTypeFromName(const std::string& name);

}  // namespace client
}  // namespace nimo
