#include "bridge/portable/page_script_env.h"

#include "protocol/page_call.h"

namespace nimo {

std::string PageScriptEnvValue(const OriginFilter& filter) {
  if (!filter.active) return "*";
  std::string value = "=";
  for (std::size_t i = 0; i < filter.origins.size(); ++i) {
    if (i) value += ',';
    value += filter.origins[i];
  }
  return value;
}

std::string EarlyPageScript(std::string_view env_value, std::string_view page_script) {
  if (env_value == "*") return std::string(page_script);
  if (env_value.empty() || env_value.front() != '=') return std::string();
  env_value.remove_prefix(1);
  std::string list = "[";
  while (!env_value.empty()) {
    const std::size_t comma = env_value.find(',');
    if (list.size() > 1) list += ',';
    list += JsonStringLiteral(env_value.substr(0, comma));
    if (comma == std::string_view::npos) break;
    env_value.remove_prefix(comma + 1);
  }
  list += ']';
  std::string script = "(function () {\nif (";
  script += list;
  script += ".indexOf(location.origin) < 0) return;\n";
  script.append(page_script.data(), page_script.size());
  script += "\n})();";
  return script;
}

}  // namespace nimo
