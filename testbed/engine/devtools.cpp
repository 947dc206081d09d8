#include "testbed/engine/devtools.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "testbed/engine/browser.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/scenario.h"
#include "testbed/engine/websocket.h"

namespace standin {
namespace {

const char* kDefaultBinary = "/usr/lib/chromium/chromium-headless-shell";

struct Connection {
  std::mutex lock;
  std::condition_variable changed;
  enum class State { kIdle, kStarting, kUp, kFailed, kStopped } state = State::kIdle;
  std::string failure;
  WebSocket socket;
  std::thread reader;
  std::thread starter;
  std::atomic<long long> next_id{1};
  std::map<long long, DevToolsReply> replies;
  std::string unix_dir;     // the run's folder as Chromium's side sees it (/tmp/...)
  std::string windows_dir;  // the same through Wine's Z: drive
  long long pid = 0;
  int scale_milli = 1000;  // its --force-device-scale-factor, in thousandths
  bool stopping = false;   // the stand-in closes it: its end is no loss
};

// One browser per device scale (the scale is a switch of the whole browser), made on first
// use and kept for the process; event listeners of every browser's page sessions (session
// ids are unique) and which browser each session lives in. A lost browser is replaced in
// `by_scale` and kept in `retired` (its late callers still look at it) until the stop.
struct Browsers {
  std::mutex lock;
  std::map<int, Connection*> by_scale;
  std::map<std::string, DevToolsEvents> listeners;
  std::map<std::string, Connection*> sessions;
  std::vector<Connection*> retired;
  std::map<int, std::vector<std::chrono::steady_clock::time_point>> restarts;  // per scale, the last minute's
  BrowserEvents browser_events;
  std::function<void(int)> lost;
};

Browsers& browsers() {
  static Browsers* b = new Browsers();
  return *b;
}

Connection& conn(int scale_milli = 1000) {
  Browsers& all = browsers();
  std::lock_guard<std::mutex> hold(all.lock);
  Connection*& c = all.by_scale[scale_milli];
  if (c == nullptr) {
    c = new Connection();
    c->scale_milli = scale_milli;
  }
  return *c;
}

// The browser a command goes to: a page session's own, else the one of the scale.
Connection& ConnFor(const std::string& session, int scale_milli) {
  if (!session.empty()) {
    Browsers& all = browsers();
    std::lock_guard<std::mutex> hold(all.lock);
    auto it = all.sessions.find(session);
    if (it != all.sessions.end()) return *it->second;
  }
  return conn(scale_milli);
}

std::string ReadWholeFile(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Binary() {
  if (const char* env = std::getenv("NIMO_STANDIN_CHROMIUM_BINARY")) {
    if (*env) return env;
  }
  if (const Directive* d = CurrentScenario().Global("chromium")) return d->Get("binary", kDefaultBinary);
  return kDefaultBinary;
}

void Fail(Connection& c, const std::string& reason) {
  {
    std::lock_guard<std::mutex> hold(c.lock);
    c.state = Connection::State::kFailed;
    c.failure = reason;
  }
  c.changed.notify_all();
  Event("chromium.failed").Text("reason", reason).Num("scale_milli", c.scale_milli);
}

void Dispatch(Connection& c, const std::string& text) {
  Json message;
  try {
    message = Json::parse(text);
  } catch (const std::exception& e) {
    Event("chromium.bad_message").Text("error", e.what()).Num("length", static_cast<long long>(text.size()));
    return;
  }
  if (message.contains("id")) {
    DevToolsReply reply;
    {
      std::lock_guard<std::mutex> hold(c.lock);
      auto it = c.replies.find(message["id"].get<long long>());
      if (it == c.replies.end()) return;
      reply = std::move(it->second);
      c.replies.erase(it);
    }
    if (!reply) return;
    static const Json empty = Json::object();
    if (message.contains("error")) {
      reply(empty, message["error"].value("message", std::string("error")));
    } else {
      reply(message.contains("result") ? message["result"] : empty, std::string());
    }
    return;
  }
  const std::string method = message.value("method", std::string());
  const std::string session = message.value("sessionId", std::string());
  static const Json empty = Json::object();
  const Json& params = message.contains("params") ? message["params"] : empty;
  if (session.empty()) {
    BrowserEvents handler;
    {
      Browsers& all = browsers();
      std::lock_guard<std::mutex> hold(all.lock);
      handler = all.browser_events;
    }
    if (handler) handler(c.scale_milli, method, params);
    return;
  }
  DevToolsEvents handler;
  {
    Browsers& all = browsers();
    std::lock_guard<std::mutex> hold(all.lock);
    auto it = all.listeners.find(session);
    if (it != all.listeners.end()) handler = it->second;
  }
  if (handler) handler(method, params);
}

void Start(Connection& c);

// The connection of a browser nobody asked to close has ended: Chromium is gone (or going).
// What is left of it is ended by its pid (the launch script's `stop`), a new browser of the
// scale takes its place at once, and then the loss handler hears of it.
void Lost(Connection& c) {
  Event("chromium.lost").Num("pid", c.pid).Num("scale_milli", c.scale_milli).Text("folder", c.unix_dir);
  if (FILE* f = std::fopen((c.windows_dir + "\\stop").c_str(), "wb")) std::fclose(f);
  Browsers& all = browsers();
  Connection* next = new Connection();
  next->scale_milli = c.scale_milli;
  std::function<void(int)> lost;
  bool restart;
  {
    std::lock_guard<std::mutex> hold(all.lock);
    auto& times = all.restarts[c.scale_milli];
    const auto now = std::chrono::steady_clock::now();
    times.erase(std::remove_if(times.begin(), times.end(),
                               [now](std::chrono::steady_clock::time_point t) { return now - t > std::chrono::minutes(1); }),
                times.end());
    restart = times.size() < 3;
    if (restart) {
      times.push_back(now);
      next->state = Connection::State::kStarting;
    } else {
      next->state = Connection::State::kFailed;
      next->failure = "lost three times within a minute";
    }
    all.retired.push_back(&c);
    all.by_scale[c.scale_milli] = next;
    lost = all.lost;
  }
  if (restart) {
    next->starter = std::thread([next] { Start(*next); });
  } else {
    Event("chromium.failed").Text("reason", next->failure).Num("scale_milli", next->scale_milli);
  }
  if (lost) lost(c.scale_milli);
}

void ReaderLoop(Connection& c) {
  std::string text;
  while (c.socket.Receive(&text)) Dispatch(c, text);
  std::map<long long, DevToolsReply> orphaned;
  bool lost;
  {
    std::lock_guard<std::mutex> hold(c.lock);
    orphaned.swap(c.replies);
    lost = c.state == Connection::State::kUp && !c.stopping;
    if (c.state == Connection::State::kUp) c.state = Connection::State::kStopped;
  }
  c.changed.notify_all();
  static const Json empty = Json::object();
  for (auto& r : orphaned) {
    if (r.second) r.second(empty, "connection closed");
  }
  if (lost) Lost(c);
}

// The launcher: Chromium in the background, its pid in a file, then a watch loop that
// ends it by that pid once this engine process is gone, the stand-in leaves a `stop`
// file, or an hour has passed; last, the run's folder is removed.
std::atomic<int> debugging_port{0};

std::string LaunchScript(const std::string& dir, long long engine_pid, const std::string& binary, int scale_milli) {
  char scale[32];
  std::snprintf(scale, sizeof scale, "%d.%03d", scale_milli / 1000, scale_milli % 1000);
  std::string s;
  s += "#!/bin/sh\n";
  s += "dir='" + dir + "'\n";
  s += "engine=" + std::to_string(engine_pid) + "\n";
  s += "'" + binary + "' --no-sandbox --remote-debugging-address=127.0.0.1 --remote-debugging-port=" +
       std::to_string(scale_milli == 1000 ? debugging_port.load() : 0) + " \\\n";
  s += "  --enable-begin-frame-control --run-all-compositor-stages-before-draw --force-color-profile=srgb \\\n";
  s += std::string("  --force-device-scale-factor=") + scale + " --hide-scrollbars --mute-audio --no-first-run --disable-sync \\\n";
  s += "  --disable-background-networking --disable-component-update --user-data-dir=\"$dir/profile\" \\\n";
  s += "  about:blank >\"$dir/chromium.log\" 2>&1 </dev/null &\n";
  s += "chrome=$!\n";
  s += "echo $chrome >\"$dir/chromium.pid.tmp\" && mv \"$dir/chromium.pid.tmp\" \"$dir/chromium.pid\"\n";
  s += "alive() { [ -e /proc/$1 ] && ! grep -q '^State:[[:space:]]*Z' /proc/$1/status 2>/dev/null; }\n";
  s += "n=0\n";
  s += "while alive $chrome; do\n";
  s += "  [ -e \"$dir/stop\" ] && break\n";
  s += "  if [ \"$engine\" -gt 0 ] && ! alive $engine; then break; fi\n";
  s += "  n=$((n+1)); [ $n -ge 18000 ] && break\n";
  s += "  sleep 0.2\n";
  s += "done\n";
  s += "kill -TERM $chrome 2>/dev/null\n";
  s += "i=0; while alive $chrome && [ $i -lt 25 ]; do sleep 0.2; i=$((i+1)); done\n";
  s += "kill -KILL $chrome 2>/dev/null\n";
  s += "wait $chrome 2>/dev/null\n";
  // The browser's own children may still be writing into the profile for a moment after
  // it ended; a removal that met a file made behind it is tried again.
  s += "i=0; while [ -e \"$dir\" ] && [ $i -lt 25 ]; do rm -rf \"$dir\" 2>/dev/null || sleep 0.2; i=$((i+1)); done\n";
  return s;
}

void Start(Connection& c) {
  const std::string binary = Binary();
  char name[96];
  std::snprintf(name, sizeof name, "nimo-chromium-%lu-%llu", static_cast<unsigned long>(GetCurrentProcessId()),
                static_cast<unsigned long long>(GetTickCount64()));
  c.unix_dir = std::string("/tmp/") + name;
  c.windows_dir = std::string("Z:\\tmp\\") + name;
  if (!Exists(std::string("Z:") + binary)) {
    Fail(c, "no browser at " + binary);
    return;
  }
  if (!CreateDirectoryA(c.windows_dir.c_str(), nullptr)) {
    Fail(c, "cannot make " + c.unix_dir);
    return;
  }
  const long long engine_pid = EngineHostPid();
  const std::string script = LaunchScript(c.unix_dir, engine_pid, binary, c.scale_milli);
  if (FILE* f = std::fopen((c.windows_dir + "\\launch.sh").c_str(), "wb")) {
    std::fwrite(script.data(), 1, script.size(), f);
    std::fclose(f);
  }
  std::string command = "/bin/sh " + c.unix_dir + "/launch.sh";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &info)) {
    Fail(c, "cannot start /bin/sh (" + std::to_string(GetLastError()) + ")");
    return;
  }
  if (info.hProcess) CloseHandle(info.hProcess);
  if (info.hThread) CloseHandle(info.hThread);
  const auto started = std::chrono::steady_clock::now();
  std::string port_file = c.windows_dir + "\\profile\\DevToolsActivePort";
  std::string text;
  for (;;) {
    text = ReadWholeFile(port_file);
    if (text.find('\n') != std::string::npos) break;
    if (!Exists(c.windows_dir)) {
      Fail(c, "the browser ended at start");
      return;
    }
    if (std::chrono::steady_clock::now() - started > std::chrono::seconds(20)) {
      Fail(c, "the browser did not open its DevTools port within 20 s");
      return;
    }
    Sleep(20);
  }
  c.pid = std::atoll(ReadWholeFile(c.windows_dir + "\\chromium.pid").c_str());
  const int port = std::atoi(text.c_str());
  std::string path = text.substr(text.find('\n') + 1);
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  std::string error;
  if (!c.socket.Connect(port, path, &error)) {
    Fail(c, error);
    return;
  }
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
                           .count();
  Event("chromium.started").Num("pid", c.pid).Num("engine_host_pid", engine_pid).Text("folder", c.unix_dir)
      .Num("port", port).Num("ms", ms).Text("binary", binary).Num("scale_milli", c.scale_milli);
  c.reader = std::thread([&c] { ReaderLoop(c); });
  {
    std::lock_guard<std::mutex> hold(c.lock);
    if (c.state == Connection::State::kStarting) c.state = Connection::State::kUp;
  }
  c.changed.notify_all();
  // Crashed and destroyed targets are told on the browser's own session.
  DevToolsSend("Target.setDiscoverTargets", {{"discover", true}}, "", nullptr, c.scale_milli);
}

}  // namespace

void SetChromiumDebuggingPort(int port) { debugging_port = port; }

bool ChromiumModeRequested() {
  if (const char* env = std::getenv("NIMO_STANDIN_CHROMIUM")) {
    if (*env && std::string(env) != "0") return true;
  }
  return CurrentScenario().Global("chromium") != nullptr;
}

void StartChromium(int scale_milli) {
  Connection& c = conn(scale_milli);
  {
    std::lock_guard<std::mutex> hold(c.lock);
    if (c.state != Connection::State::kIdle) return;
    c.state = Connection::State::kStarting;
  }
  c.starter = std::thread([&c] { Start(c); });
}

bool ChromiumReady(int timeout_ms, int scale_milli) {
  StartChromium(scale_milli);
  Connection& c = conn(scale_milli);
  std::unique_lock<std::mutex> hold(c.lock);
  c.changed.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                     [&c] { return c.state != Connection::State::kStarting; });
  return c.state == Connection::State::kUp;
}

void DevToolsSend(const std::string& method, const Json& params, const std::string& session, DevToolsReply reply,
                  int scale_milli) {
  Connection& c = ConnFor(session, scale_milli);
  const long long id = c.next_id++;
  Json message = {{"id", id}, {"method", method}, {"params", params}};
  if (!session.empty()) message["sessionId"] = session;
  bool up;
  {
    std::lock_guard<std::mutex> hold(c.lock);
    up = c.state == Connection::State::kUp;
    if (up && reply) c.replies[id] = reply;
  }
  if (!up || !c.socket.Send(message.dump(-1, ' ', false, Json::error_handler_t::replace))) {
    if (reply) {
      {
        std::lock_guard<std::mutex> hold(c.lock);
        c.replies.erase(id);
      }
      reply(Json::object(), "not connected");
    }
  }
}

bool DevToolsCall(const std::string& method, const Json& params, const std::string& session, Json* result,
                  std::string* error, int timeout_ms, int scale_milli) {
  struct Wait {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    Json result;
    std::string error;
  };
  auto wait = std::make_shared<Wait>();
  DevToolsSend(method, params, session, [wait](const Json& r, const std::string& e) {
    std::lock_guard<std::mutex> hold(wait->lock);
    wait->result = r;
    wait->error = e;
    wait->finished = true;
    wait->done.notify_all();
  }, scale_milli);
  std::unique_lock<std::mutex> hold(wait->lock);
  if (!wait->done.wait_for(hold, std::chrono::milliseconds(timeout_ms), [&] { return wait->finished; })) {
    if (error) *error = method + ": no reply within " + std::to_string(timeout_ms) + " ms";
    return false;
  }
  if (result) *result = wait->result;
  if (error) *error = wait->error;
  return wait->error.empty();
}

void DevToolsListen(const std::string& session, DevToolsEvents handler, int scale_milli) {
  Connection& c = conn(scale_milli);
  Browsers& all = browsers();
  std::lock_guard<std::mutex> hold(all.lock);
  all.listeners[session] = std::move(handler);
  all.sessions[session] = &c;
}

void DevToolsListenBrowsers(BrowserEvents handler) {
  Browsers& all = browsers();
  std::lock_guard<std::mutex> hold(all.lock);
  all.browser_events = std::move(handler);
}

void OnChromiumLost(std::function<void(int scale_milli)> handler) {
  Browsers& all = browsers();
  std::lock_guard<std::mutex> hold(all.lock);
  all.lost = std::move(handler);
}

void DevToolsForget(const std::string& session) {
  Browsers& all = browsers();
  std::lock_guard<std::mutex> hold(all.lock);
  all.listeners.erase(session);
  all.sessions.erase(session);
}

namespace {

void Stop(Connection& c) {
  if (c.starter.joinable()) c.starter.join();
  bool up;
  {
    std::lock_guard<std::mutex> hold(c.lock);
    up = c.state == Connection::State::kUp;
    c.stopping = true;
  }
  if (up) {
    std::string error;
    DevToolsCall("Browser.close", Json::object(), "", nullptr, &error, 3000, c.scale_milli);
  }
  if (c.windows_dir.empty()) return;
  // The watch loop ends the browser by its pid and removes the folder; wait for that, a
  // little longer than its own 0.2 s poll, 5 s grace before it kills the browser and 5 s
  // of attempts at the removal.
  if (FILE* f = std::fopen((c.windows_dir + "\\stop").c_str(), "wb")) std::fclose(f);
  bool gone = false;
  for (int i = 0; i < 240 && !(gone = !Exists(c.windows_dir)); ++i) Sleep(50);
  c.socket.Close();
  if (c.reader.joinable()) c.reader.join();
  {
    std::lock_guard<std::mutex> hold(c.lock);
    c.state = Connection::State::kStopped;
  }
  Event("chromium.stopped").Num("pid", c.pid).Num("ended", gone ? 1 : 0).Num("scale_milli", c.scale_milli);
}

}  // namespace

void StopChromium() {
  std::vector<Connection*> started;
  {
    Browsers& all = browsers();
    std::lock_guard<std::mutex> hold(all.lock);
    for (auto& entry : all.by_scale) started.push_back(entry.second);
    // Lost browsers last: their folders are normally gone already.
    started.insert(started.end(), all.retired.begin(), all.retired.end());
  }
  for (Connection* c : started) {
    bool idle;
    {
      std::lock_guard<std::mutex> hold(c->lock);
      idle = c->state == Connection::State::kIdle;
    }
    if (!idle) Stop(*c);
  }
  Browsers& all = browsers();
  std::lock_guard<std::mutex> hold(all.lock);
  all.listeners.clear();
  all.sessions.clear();
}

}  // namespace standin
