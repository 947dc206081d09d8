// The engine's command-line switches: their names, the one rule by which a client writes a
// value and the engine reads it back, and the protocol version a client asks for.
//
// Writer and reader agree by construction: the writer emits `--name="value"` and refuses
// every value the reader could not return exactly. The reader is a plain substring search
// over the raw command line (it must not tokenise: the engine's sub-processes get Chromium's
// switches on the same line), so a value is refused when it holds a quote, a control
// character or another switch's prefix, or ends in a backslash (which the system's own
// argument splitting, used by Chromium on the same line, would read as escaping the
// closing quote).
//
// Pure functions and constants; any thread. A new switch is one constant here.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace nimo {

// Every switch of ours starts with this; no value may contain it.
constexpr std::string_view kSwitchPrefix = "--nimomp-";

constexpr const char kSwitchBrowser[] = "--nimomp-browser";      // plain: this is the browser process
constexpr const char kSwitchPipe[] = "--nimomp-pipe";            // full pipe path
constexpr const char kSwitchClientPid[] = "--nimomp-clientpid";  // decimal process id
constexpr const char kSwitchAdapterLuid[] = "--nimomp-adapter-luid";  // 16 hex digits
constexpr const char kSwitchUrl[] = "--nimomp-url";              // page of surface 0
constexpr const char kSwitchCache[] = "--nimomp-cache";
constexpr const char kSwitchLocales[] = "--nimomp-locales";
constexpr const char kSwitchResources[] = "--nimomp-resources";
constexpr const char kSwitchUiRoot[] = "--nimomp-ui-root";        // folder served as the UI origin
constexpr const char kSwitchDevToolsPort[] = "--nimomp-devtools-port";  // 1024-65535
constexpr const char kSwitchProtocol[] = "--nimomp-protocol";    // protocol version asked for
// Protocol 3: the origins whose documents get window.mp, "<origin>[,<origin>...]".
constexpr const char kSwitchBridgeOrigins[] = "--nimomp-bridge-origins";
constexpr const char kSwitchFrameStamps[] = "--nimomp-frame-stamps";  // "1": log frame stamps (benchmarks)
constexpr const char kSwitchFrameRing[] = "--nimomp-frame-ring";  // 2..4 slots per surface (protocol 3)

// Value of the switch `name` (dashes included, e.g. "--nimomp-pipe") in `command_line`,
// or `fallback` when "<name>=" does not occur anywhere in the text.
//
// - The first occurrence of "<name>=" wins; it is a plain case-sensitive substring search,
//   so the key also counts when it sits inside another argument.
// - A value that starts with '"' followed by at least one more character and a closing '"'
//   is the text between the quotes (spaces kept, possibly empty).
// - Any other value runs to the next ' ' or the end of the text; an unclosed or trailing
//   quote therefore stays at the start of the value. Tabs and backslashes are ordinary.
// - An empty value ("<name>=" then a space or the end) is returned empty, not as fallback.
std::string SwitchValueIn(std::string_view command_line, std::string_view name,
                          const std::string& fallback);

// Whether `value` can be written so that SwitchValueIn returns exactly it: no '"', no byte
// below 0x20 nor 0x7F, no kSwitchPrefix inside, no trailing '\'.
bool SwitchValueWritable(std::string_view value);

// Appends ` <name>="<value>"` to `command_line`. False, and nothing appended, when the value
// is not writable.
bool AppendSwitch(std::string* command_line, std::string_view name, std::string_view value);

}  // namespace nimo
