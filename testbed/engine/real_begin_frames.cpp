#include "testbed/engine/real_begin_frames.h"

#include <deque>
#include <map>
#include <mutex>
#include <utility>

namespace standin {
namespace {

struct Waiting {
  std::string session;
  Json params;
  DevToolsReply reply;
};

// One browser's turn: `busy` while its beginFrame is in flight; `pumping` while a thread
// is handing out the turn, so a reply that comes back on the sending thread (a browser
// already gone) does not recurse into the next send.
struct Turn {
  std::mutex lock;
  bool busy = false;
  bool pumping = false;
  std::deque<Waiting> waiting;
};

std::mutex turns_lock;

Turn& TurnOf(int scale_milli) {
  static std::map<int, Turn*>* turns = new std::map<int, Turn*>();
  std::lock_guard<std::mutex> hold(turns_lock);
  Turn*& t = (*turns)[scale_milli];
  if (t == nullptr) t = new Turn();
  return *t;
}

void Pump(Turn& turn, int scale_milli) {
  for (;;) {
    Waiting next;
    {
      std::lock_guard<std::mutex> hold(turn.lock);
      if (turn.busy || turn.pumping || turn.waiting.empty()) return;
      turn.busy = true;
      turn.pumping = true;
      next = std::move(turn.waiting.front());
      turn.waiting.pop_front();
    }
    DevToolsReply reply = std::move(next.reply);
    DevToolsSend("HeadlessExperimental.beginFrame", next.params, next.session,
                 [&turn, scale_milli, reply](const Json& result, const std::string& error) {
                   if (reply) reply(result, error);
                   {
                     std::lock_guard<std::mutex> hold(turn.lock);
                     turn.busy = false;
                   }
                   Pump(turn, scale_milli);
                 },
                 scale_milli);
    std::lock_guard<std::mutex> hold(turn.lock);
    turn.pumping = false;
  }
}

}  // namespace

void RequestBeginFrame(int scale_milli, const std::string& session, const Json& params, DevToolsReply reply) {
  Turn& turn = TurnOf(scale_milli);
  {
    std::lock_guard<std::mutex> hold(turn.lock);
    turn.waiting.push_back(Waiting{session, params, std::move(reply)});
  }
  Pump(turn, scale_milli);
}

void ForgetBeginFrames(int scale_milli, const std::string& session) {
  Turn& turn = TurnOf(scale_milli);
  std::deque<Waiting> dropped;
  {
    std::lock_guard<std::mutex> hold(turn.lock);
    for (auto it = turn.waiting.begin(); it != turn.waiting.end();) {
      if (it->session == session) {
        dropped.push_back(std::move(*it));
        it = turn.waiting.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (Waiting& w : dropped) {
    if (w.reply) w.reply(Json::object(), "page closed");
  }
}

}  // namespace standin
