#include "client/portable/engine_command.h"

#include "protocol/switches.h"

namespace nimo {
namespace client {

namespace {

// The same folder without a backslash before the closing quote.
std::string FolderValue(const std::string& folder) {
  if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder + ".";
  return folder;
}

bool HasUnsafeNameCharacter(const std::string& name) {
  for (const char c : name) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (c == ' ' || c == '"' || b < 0x20 || b == 0x7F) return true;
  }
  return false;
}

const char kWhy[] = " holds a quote, a control character, \"--nimomp-\" or a trailing backslash: "
                    "it cannot be passed to the engine intact";

}  // namespace

EngineCommand BuildEngineCommand(const EngineCommandInput& in) {
  EngineCommand out;
  const auto refuse = [&out](const std::string& what) {
    out.line.clear();
    out.url_by_navigate.clear();
    out.error = what;
    return out;
  };
  for (const char c : in.engine_path) {
    if (c == '"' || static_cast<unsigned char>(c) < 0x20) return refuse("engine_path holds a quote or a control character");
  }
  if (in.engine_path.find(kSwitchPrefix) != std::string::npos) return refuse("engine_path holds \"--nimomp-\"");
  out.line = "\"" + in.engine_path + "\" " + kSwitchBrowser;
  if (!AppendSwitch(&out.line, kSwitchPipe, in.pipe_name)) return refuse(std::string("the pipe name") + kWhy);
  AppendSwitch(&out.line, kSwitchClientPid, std::to_string(in.client_pid));
  if (!in.adapter_luid.empty() && !AppendSwitch(&out.line, kSwitchAdapterLuid, in.adapter_luid))
    return refuse(std::string("the adapter LUID") + kWhy);
  if (!in.protocol_version.empty() && !AppendSwitch(&out.line, kSwitchProtocol, in.protocol_version))
    return refuse(std::string("the protocol version") + kWhy);
  if (!in.frame_ring.empty() && !AppendSwitch(&out.line, kSwitchFrameRing, in.frame_ring))
    return refuse(std::string("frame_ring") + kWhy);
  const struct {
    const char* option;
    const char* name;
    const std::string* value;
  } folders[] = {{"cache_dir", kSwitchCache, &in.cache_dir},
                 {"locales_dir", kSwitchLocales, &in.locales_dir},
                 {"resources_dir", kSwitchResources, &in.resources_dir},
                 {"ui_root", kSwitchUiRoot, &in.ui_root}};
  for (const auto& f : folders) {
    if (f.value->empty()) continue;
    if (!AppendSwitch(&out.line, f.name, FolderValue(*f.value))) return refuse(std::string(f.option) + kWhy);
  }
  if (!in.devtools_port.empty() && !AppendSwitch(&out.line, kSwitchDevToolsPort, in.devtools_port))
    return refuse(std::string("devtools_port") + kWhy);
  if (!in.bridge_origins.empty() && !AppendSwitch(&out.line, kSwitchBridgeOrigins, in.bridge_origins))
    return refuse(std::string("bridge_origins") + kWhy);
  for (const std::string& extra : in.extra_switches) {
    const std::size_t equals = extra.find('=');
    const std::string name = extra.substr(0, equals);
    if (name.empty() || HasUnsafeNameCharacter(name))
      return refuse("extra switch \"" + extra + "\": its name is empty or holds a space, a quote or a control character");
    if (equals == std::string::npos) {
      out.line += ' ';
      out.line += name;
    } else if (!AppendSwitch(&out.line, name, extra.substr(equals + 1))) {
      return refuse("extra switch " + name + kWhy);
    }
  }
  // The page last: every switch of ours is already on the line before any value could
  // name one.
  if (!in.url.empty() && !AppendSwitch(&out.line, kSwitchUrl, in.url)) out.url_by_navigate = in.url;
  return out;
}

}  // namespace client
}  // namespace nimo
