#include "bridge/portable/page_calls.h"

#include <cctype>
#include <utility>

#include "protocol/page_call.h"

namespace nimo {
namespace {

constexpr std::size_t kMaxTokenLength = 64;
constexpr std::string_view kBodyStart = "{\"name\":";

bool TokenChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
}

}  // namespace

bool ParseCallLine(std::string_view text, std::string_view* token, std::string_view* body) {
  if (text.substr(0, kCallLineTag.size()) != kCallLineTag) return false;
  text.remove_prefix(kCallLineTag.size());
  const std::size_t bar = text.find('|');
  if (bar == std::string_view::npos || bar == 0 || bar > kMaxTokenLength) return false;
  for (std::size_t i = 0; i < bar; ++i) {
    if (!TokenChar(text[i])) return false;
  }
  const std::string_view rest = text.substr(bar + 1);
  // Exactly a name and the arguments: an origin (or anything else) the page wrote itself
  // would stand beside the one the engine adds.
  CallFields fields;
  if (rest.substr(0, kBodyStart.size()) != kBodyStart || rest.back() != '}') return false;
  if (!ParseCallFields(rest, &fields) || fields.has_origin) return false;
  *token = text.substr(0, bar);
  *body = rest;
  return true;
}

std::string CallJson(std::string_view body, std::string_view origin) {
  std::string json(body.substr(0, body.size() - 1));
  json += ",\"origin\":";
  json += JsonStringLiteral(origin);
  json += '}';
  return json;
}

std::string SettleScript(std::string_view token, std::uint32_t status, std::string_view json) {
  std::string script = "window.__mpSettle&&window.__mpSettle(";
  script += JsonStringLiteral(token);
  script += status == 0 ? ",0," : ",1,";
  script += JsonStringLiteral(json);
  script += ");";
  return script;
}

std::uint32_t CallBook::Begin(std::string_view token) {
  if (pending_.size() >= kMaxPendingCalls) return 0;
  // 0 is no call's id; after four billion calls the count starts over at 1.
  if (++last_id_ == 0) last_id_ = 1;
  pending_[last_id_] = std::string(token);
  return last_id_;
}

bool CallBook::Finish(std::uint32_t id, std::string* token) {
  const auto it = pending_.find(id);
  if (it == pending_.end()) return false;
  if (token) *token = std::move(it->second);
  pending_.erase(it);
  return true;
}

}  // namespace nimo
