// The pure part of the page's calls (window.mp.call, protocol 3): the console line by which
// the page script hands a call to the engine, the JSON the client gets, the script that
// settles the page's promise, and the book of one surface's pending calls.
//
// The page writes one console line per call:
//
//   "NIMOCALL|" token "|" {"name":...,"args":[...]}
//
// token: the page's own name for the call (letters, digits, '.', '_', '-'; at most 64),
// made of a random key per document and a counter, so an answer can never settle a call of
// a later document that happens to reuse a number. The engine answers with the script
// SettleScript builds, run in the surface's main frame.
//
// Pure functions and a plain class; any thread (the engine keeps its books on the UI thread).
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace nimo {

constexpr std::string_view kCallLineTag = "NIMOCALL|";

// Calls one surface may have pending at once; a call beyond it is rejected at once.
constexpr std::size_t kMaxPendingCalls = 10000;

// True when `text` is a call line with a valid token and a body that is exactly
// {"name":<string>,"args":<array>} as JSON.stringify writes it; `token` and `body` then
// view into `text`.
bool ParseCallLine(std::string_view text, std::string_view* token, std::string_view* body);

// The PageCall JSON: the page's body with "origin" added as its last member.
std::string CallJson(std::string_view body, std::string_view origin);

// The script that settles the page's call `token`: status 0 resolves with the JSON value,
// anything else rejects with the JSON reason. The JSON travels as a string literal and is
// parsed by the page, so no text of the client's becomes script.
std::string SettleScript(std::string_view token, std::uint32_t status, std::string_view json);

// One surface's pending calls: ids from 1 up for the surface's whole life (never reused,
// so an answer to a forgotten call finds nothing), each remembering the page's token.
class CallBook {
 public:
  // The id of a new pending call; 0 when kMaxPendingCalls are already pending.
  std::uint32_t Begin(std::string_view token);
  // Ends call `id`: true and its token when it was pending; false for an unknown, finished
  // or forgotten id.
  bool Finish(std::uint32_t id, std::string* token);
  // The document went away: every pending call is dropped without an answer.
  void Forget() { pending_.clear(); }
  std::size_t pending() const { return pending_.size(); }

 private:
  std::uint32_t last_id_ = 0;
  std::map<std::uint32_t, std::string> pending_;
};

}  // namespace nimo
