// The engine's command line as the host library writes it: every switch `--name="value"`
// by the one rule of protocol/switches.h, so the engine reads back exactly each value the
// program gave, and no value can end early or smuggle in a switch of its own.
//
// - Folders may hold spaces and letters of any script (the line is UTF-8 here and goes to
//   the system as UTF-16). A trailing '\' or '/' is followed by "." (the same folder),
//   since a backslash before the closing quote would escape it for the system's splitting.
// - The page of surface 0 goes on the line when it can be written; a URL holding a quote, a
//   control character or the switch prefix is not written there but handed back in
//   `url_by_navigate`, for the library to send as the first command after Hello (surface 0
//   shows about:blank until then), so it reaches the page unchanged.
// - Anything else that cannot be written (a folder or extra switch with a quote, a
//   control character or the switch prefix in its value; a switch name with a space) is
//   refused: `error` names the option and why.
//
// Pure; any thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace nimo {
namespace client {

struct EngineCommandInput {
  std::string engine_path;  // written first, in quotes (a Windows path holds no quote; it may
                            // not hold the switch prefix either: the reader looks everywhere)
  std::string pipe_name;
  std::uint32_t client_pid = 0;
  std::string adapter_luid;  // 16 hex digits, or empty
  std::string protocol_version;  // the version asked for, or empty (2, what an engine speaks unasked)
  std::string frame_ring;        // slots per surface (2..4, protocol 3), or empty
  std::string url;
  std::string cache_dir;
  std::string locales_dir;
  std::string resources_dir;
  std::string ui_root;        // a folder, like the three above
  std::string devtools_port;  // decimal, or empty
  std::string bridge_origins;  // "<origin>[,<origin>...]", or empty (protocol 3 only)
  std::vector<std::string> extra_switches;  // "--name=value" or "--flag", as the program gave them
};

struct EngineCommand {
  std::string line;             // UTF-8
  std::string url_by_navigate;  // not empty: the page of surface 0, to be sent by Navigate
  std::string error;            // not empty: refused, `line` is not to be used
};

EngineCommand BuildEngineCommand(const EngineCommandInput& in);

}  // namespace client
}  // namespace nimo
