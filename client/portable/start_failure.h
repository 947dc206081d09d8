// What a failed Host::Start tells a person: the step, the engine's exit code with what it
// means when the engine ended before the session stood, and the last lines the engine
// wrote to its log during that start, or how to make it write one.
//
// Pure; any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nimo {
namespace client {

struct StartFailureFacts {
  std::string step;
  std::uint32_t code = 0;  // the Win32 error code of the step
  std::string detail;
  long long exit_code = -1;        // the engine's exit code; -1: not started, or still running
  std::string log_path;            // the engine's log file; empty when its flag file is absent
  std::string flag_path;           // where that flag file goes
  std::vector<std::string> log_tail;  // the log's lines of this start, oldest first
};

// "<step> failed (Win32 error <code>)[: detail][; the engine ended with exit code <n> (what it
// means)]" then either the log's lines, one per line, indented, or how to switch the log on.
std::string DescribeStartFailure(const StartFailureFacts& facts);

// What an exit code of the engine, ending before it connected, says; empty when unknown.
std::string EngineExitMeaning(long long exit_code);

// The last `count` lines of `text` (after its last line break a partial line counts as a
// line), without their "\r\n" or "\n"; empty lines are kept, a final line break adds none.
std::vector<std::string> LastLines(const std::string& text, std::size_t count);

}  // namespace client
}  // namespace nimo
