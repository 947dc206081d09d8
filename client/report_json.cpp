#include "client/report_json.h"

#include <cmath>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "protocol/page_call.h"

namespace nimo {
namespace client {

namespace p = protocol;
using nlohmann::json;

namespace {

json ArgToJson(const p::PageArg& arg) {
  switch (arg.tag) {
    case 'z':
      return nullptr;
    case 's':
      return arg.value;
    case 'b':
      return arg.AsBool();
    case 'n': {
      // Integers stay integers, as the page wrote them (3, not 3.0).
      const double d = arg.AsNumber();
      if (std::trunc(d) == d && std::fabs(d) <= 9007199254740992.0) return static_cast<std::int64_t>(d);
      return d;
    }
    case 'o': {
      // JSON.stringify of a function or symbol writes the word undefined, which is no JSON.
      json parsed = json::parse(arg.value, nullptr, false);
      if (!parsed.is_discarded()) return parsed;
      return json{{"unparsed", arg.value}};
    }
    default:
      return json{{"irregular", arg.value}};
  }
}

}  // namespace

std::string ReportToJson(const p::Report& r) {
  json j;
  j["report"] = p::ReportName(r.type);
  switch (r.type) {
    case kMsgHello:
      j["version"] = r.version;
      j["pid"] = r.engine_pid;
      break;
    case kMsgFrameReady:
      j["surface"] = r.surface_id;
      j["width"] = r.width;
      j["height"] = r.height;
      j["format"] = r.format;
      j["handle"] = r.client_handle;
      break;
    case kMsgLoadEvent:
      j["surface"] = r.surface_id;
      j["kind"] = r.load_kind;
      if (r.load_kind == kLoadEventFailed) {
        j["error"] = r.error_code;
        j["url"] = r.text;
      }
      break;
    case kMsgConsoleLine:
      j["surface"] = r.surface_id;
      j["text"] = r.text;
      break;
    case kMsgPageMessage: {
      j["surface"] = r.surface_id;
      p::PageMessage m;
      if (p::ParsePageMessage(r.text, &m)) {
        j["kind"] = m.kind;
        j["name"] = m.name;
        json args = json::array();
        for (const p::PageArg& a : m.args) args.push_back(ArgToJson(a));
        j["args"] = args;
        if (!m.well_formed) j["well_formed"] = false;
      } else {
        j["text"] = r.text;
      }
      break;
    }
    case kMsgPageCall:
      j["surface"] = r.surface_id;
      j["call"] = r.call_id;
      j["json"] = r.text;
      break;
    default:
      j["type"] = r.type;
      break;
  }
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace client
}  // namespace nimo
