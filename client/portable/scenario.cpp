#include "client/portable/scenario.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "protocol/page_call.h"

namespace nimo {
namespace client {
namespace {

namespace p = protocol;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A line split into words, with the untouched remainder after each word kept for the
// commands whose last argument is free text (URLs, scripts, text filters).
struct Words {
  std::vector<std::string> words;
  std::vector<std::string> rest_after;  // rest_after[i]: the text after word i, leading blanks removed
};

Words Split(const std::string& line) {
  Words w;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::size_t end = i;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
    w.words.push_back(line.substr(i, end - i));
    std::size_t next = end;
    while (next < line.size() && (line[next] == ' ' || line[next] == '\t')) ++next;
    w.rest_after.push_back(line.substr(next));
    i = end;
  }
  return w;
}

bool ParseInt(const std::string& s, long long low, long long high, long long* out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 0);
  if (errno != 0 || end == nullptr || *end != '\0' || v < low || v > high) return false;
  *out = v;
  return true;
}

bool ParseU64(const std::string& s, std::uint64_t* out) {
  if (s.empty() || s[0] == '-') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(s.c_str(), &end, 0);
  if (errno != 0 || end == nullptr || *end != '\0') return false;
  *out = v;
  return true;
}

class LineParser {
 public:
  LineParser(const Words& w, std::string* error) : w_(w), error_(error) {}

  std::size_t count() const { return w_.words.size(); }
  const std::string& word(std::size_t i) const { return w_.words[i]; }
  const std::string& rest(std::size_t i) const { return w_.rest_after[i]; }

  bool Fail(const std::string& why) {
    *error_ = why;
    return false;
  }
  bool Need(std::size_t low, std::size_t high) {
    if (count() < low || count() > high) return Fail("wrong number of arguments");
    return true;
  }
  bool U32(std::size_t i, std::uint32_t* out) {
    long long v = 0;
    if (i >= count() || !ParseInt(word(i), 0, 0xFFFFFFFFll, &v)) return Fail("bad number '" + At(i) + "'");
    *out = static_cast<std::uint32_t>(v);
    return true;
  }
  bool I32(std::size_t i, int* out) {
    long long v = 0;
    if (i >= count() || !ParseInt(word(i), -2147483647ll - 1, 2147483647ll, &v)) return Fail("bad number '" + At(i) + "'");
    *out = static_cast<int>(v);
    return true;
  }
  bool U64(std::size_t i, std::uint64_t* out) {
    if (i >= count() || !ParseU64(word(i), out)) return Fail("bad number '" + At(i) + "'");
    return true;
  }
  // Optional trailing modifiers argument.
  bool Mods(std::size_t i, std::uint32_t* out) {
    *out = 0;
    return i >= count() || U32(i, out);
  }

 private:
  std::string At(std::size_t i) const { return i < count() ? word(i) : std::string(); }
  const Words& w_;
  std::string* error_;
};

bool ParseHex(const std::string& text, p::Bytes* out) {
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == '\t') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    digits += c;
  }
  if (digits.size() % 2 != 0) return false;
  out->clear();
  for (std::size_t i = 0; i < digits.size(); i += 2)
    out->push_back(static_cast<std::uint8_t>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
  return true;
}

bool ParseWait(LineParser& lp, std::uint32_t default_timeout, WaitFilter* wait) {
  if (lp.count() < 2) return lp.Fail("wait needs a report name");
  wait->type = ReportTypeFromName(lp.word(1));
  if (wait->type == 0) return lp.Fail("unknown report '" + lp.word(1) + "'");
  wait->timeout_ms = default_timeout;
  for (std::size_t i = 2; i < lp.count(); ++i) {
    const std::string& f = lp.word(i);
    const std::size_t eq = f.find('=');
    if (eq == std::string::npos) return lp.Fail("filter '" + f + "' is not key=value");
    const std::string key = f.substr(0, eq);
    const std::string value = f.substr(eq + 1);
    long long v = 0;
    if (key == "text" || key == "contains") {
      // Free text: everything after "key=" to the end of the line.
      const std::string& tail = lp.rest(i - 1);
      const std::string whole = tail.substr(eq + 1);
      (key == "text" ? wait->text : wait->contains) = whole;
      break;
    }
    if (key == "timeout") {
      if (!ParseInt(value, 0, 3600000, &v)) return lp.Fail("bad timeout");
      wait->timeout_ms = static_cast<std::uint32_t>(v);
    } else if (key == "surface" || key == "width" || key == "height") {
      if (!ParseInt(value, 0, 0xFFFFFFFFll, &v)) return lp.Fail("bad " + key);
      (key == "surface" ? wait->surface : key == "width" ? wait->width : wait->height) = static_cast<std::uint32_t>(v);
    } else if (key == "error") {
      if (!ParseInt(value, -2147483647ll - 1, 2147483647ll, &v)) return lp.Fail("bad error");
      wait->error_code = static_cast<std::int32_t>(v);
    } else if (key == "kind") {
      if (wait->type == kMsgLoadEvent) {
        if (!ParseInt(value, 0, 0xFFFFFFFFll, &v)) return lp.Fail("bad kind");
        wait->load_kind = static_cast<std::uint32_t>(v);
      } else {
        wait->page_kind = value;
      }
    } else if (key == "name") {
      wait->page_name = value;
    } else {
      return lp.Fail("unknown filter '" + key + "'");
    }
  }
  return true;
}

// One non-empty, non-comment line.
bool ParseLine(const Words& words, std::uint32_t default_timeout, Step* step, std::string* error) {
  LineParser lp(words, error);
  const std::string verb = Lower(lp.word(0));
  std::uint32_t s = 0, a = 0, b = 0, mods = 0;
  int x = 0, y = 0, delta = 0;
  std::uint64_t wparam = 0, lparam = 0;
  step->kind = StepKind::kSend;

  if (verb == "wait") {
    step->kind = StepKind::kWait;
    return ParseWait(lp, default_timeout, &step->wait);
  }
  if (verb == "pause") {
    step->kind = StepKind::kPause;
    return lp.Need(2, 2) && lp.U32(1, &step->pause_ms);
  }
  if (verb == "save") {
    step->kind = StepKind::kSave;
    if (!lp.Need(3, 1000) || !lp.U32(1, &step->surface)) return false;
    step->path = lp.rest(1);
    return true;
  }
  if (verb == "answer") {
    // answer <name> resolve <JSON value> | answer <name> reject <reason text>
    step->kind = StepKind::kAnswer;
    if (!lp.Need(4, 100000)) return false;
    const std::string how = Lower(lp.word(2));
    if (how != "resolve" && how != "reject") return lp.Fail("answer takes resolve or reject");
    step->answer.name = lp.word(1);
    step->answer.reject = how == "reject";
    step->answer.text = lp.rest(2);
    if (!step->answer.reject) {
      const std::size_t end = SkipJsonValue(step->answer.text, 0);
      if (end == std::string::npos || end != step->answer.text.size()) return lp.Fail("resolve takes one JSON value");
    }
    return true;
  }
  if (verb == "shutdown") {
    step->kind = StepKind::kShutdown;
    return lp.Need(1, 1);
  }
  if (verb == "close") {
    step->kind = StepKind::kClose;
    return lp.Need(1, 1);
  }
  if (verb == "create") {
    if (!lp.Need(4, 1000) || !lp.U32(1, &s) || !lp.U32(2, &a) || !lp.U32(3, &b)) return false;
    step->frame = p::CreateSurface(s, a, b, lp.count() > 4 ? lp.rest(3) : std::string());
    return true;
  }
  if (verb == "navigate" || verb == "script") {
    if (!lp.Need(3, 100000) || !lp.U32(1, &s)) return false;
    step->frame = verb == "navigate" ? p::Navigate(s, lp.rest(1)) : p::ExecuteScript(s, lp.rest(1));
    if (step->frame.empty()) return lp.Fail("text too long");
    return true;
  }
  if (verb == "resize") {
    if (!lp.Need(4, 4) || !lp.U32(1, &s) || !lp.U32(2, &a) || !lp.U32(3, &b)) return false;
    step->frame = p::ResizeSurface(s, a, b);
    return true;
  }
  if (verb == "focus") {
    if (!lp.Need(3, 3) || !lp.U32(1, &s) || !lp.U32(2, &a)) return false;
    step->frame = p::SetFocus(s, a != 0);
    return true;
  }
  if (verb == "hide" || verb == "show") {
    if (!lp.Need(2, 2) || !lp.U32(1, &s)) return false;
    step->frame = p::SetHidden(s, verb == "hide");
    return true;
  }
  if (verb == "reload") {
    if (!lp.Need(2, 3) || !lp.U32(1, &s)) return false;
    if (lp.count() == 3 && lp.word(2) != "nocache") return lp.Fail("reload takes only 'nocache'");
    step->frame = p::Reload(s, lp.count() == 3);
    return true;
  }
  if (verb == "move") {
    if (!lp.Need(4, 5) || !lp.U32(1, &s) || !lp.I32(2, &x) || !lp.I32(3, &y) || !lp.Mods(4, &mods)) return false;
    step->frame = p::MouseMove(s, x, y, mods);
    return true;
  }
  if (verb == "click") {
    if (!lp.Need(6, 7) || !lp.U32(1, &s) || !lp.I32(4, &x) || !lp.I32(5, &y) || !lp.Mods(6, &mods)) return false;
    const std::string button = Lower(lp.word(2)), dir = Lower(lp.word(3));
    p::MouseButton mb = p::MouseButton::kLeft;
    if (button == "right") mb = p::MouseButton::kRight;
    else if (button == "middle") mb = p::MouseButton::kMiddle;
    else if (button != "left") return lp.Fail("button must be left, right or middle");
    if (dir != "down" && dir != "up") return lp.Fail("click direction must be down or up");
    step->frame = p::MouseClick(s, mb, dir == "up", x, y, mods);
    return true;
  }
  if (verb == "wheel") {
    if (!lp.Need(5, 6) || !lp.U32(1, &s) || !lp.I32(2, &x) || !lp.I32(3, &y) || !lp.I32(4, &delta) ||
        !lp.Mods(5, &mods))
      return false;
    step->frame = p::MouseWheel(s, x, y, delta, mods);
    return true;
  }
  if (verb == "leave") {
    if (!lp.Need(2, 2) || !lp.U32(1, &s)) return false;
    step->frame = p::MouseLeave(s);
    return true;
  }
  if (verb == "key") {
    if (!lp.Need(4, 6) || !lp.U32(1, &s) || !lp.U32(3, &a)) return false;
    b = 0;
    if (lp.count() > 4 && !lp.U32(4, &b)) return false;
    if (!lp.Mods(5, &mods)) return false;
    const std::string dir = Lower(lp.word(2));
    if (dir != "down" && dir != "up" && dir != "sysdown" && dir != "sysup")
      return lp.Fail("key direction must be down, up, sysdown or sysup");
    step->frame = p::Key(s, dir == "up" || dir == "sysup", a, b, mods, dir.rfind("sys", 0) == 0);
    return true;
  }
  if (verb == "char") {
    if (!lp.Need(3, 4) || !lp.U32(1, &s) || !lp.U32(2, &a) || !lp.Mods(3, &mods)) return false;
    if (a > 0xFFFF) return lp.Fail("char takes one UTF-16 code unit");
    step->frame = p::Char(s, static_cast<std::uint16_t>(a), mods);
    return true;
  }
  if (verb == "input") {
    if (!lp.Need(5, 6) || !lp.U32(1, &s) || !lp.U32(2, &a) || !lp.U64(3, &wparam) || !lp.U64(4, &lparam) ||
        !lp.Mods(5, &mods))
      return false;
    step->frame = p::Input({s, a, wparam, lparam, mods});
    return true;
  }
  if (verb == "pacing") {
    // pacing <s> engine [rate] [noprobe] | pacing <s> client [noprobe]
    if (!lp.Need(3, 5) || !lp.U32(1, &s)) return false;
    const std::string clock = Lower(lp.word(2));
    if (clock != "engine" && clock != "client") return lp.Fail("pacing takes engine or client");
    std::size_t next = 3;
    a = 0;
    if (clock == "engine" && lp.count() > next && Lower(lp.word(next)) != "noprobe") {
      if (!lp.U32(next, &a)) return false;
      if (a > kPacingMaxRate) return lp.Fail("rate is 0 to 240");
      ++next;
    }
    const bool no_probe = lp.count() > next && Lower(lp.word(next)) == "noprobe";
    if (no_probe) ++next;
    if (lp.count() != next) return lp.Fail("pacing <s> engine [rate] [noprobe] or pacing <s> client [noprobe]");
    step->frame = p::SetFramePacing(s, clock == "client" ? kPacingClientClock : kPacingEngineClock, a,
                                    no_probe ? kPacingFlagNoProbe : 0);
    return true;
  }
  if (verb == "beginframe") {
    if (!lp.Need(2, 2) || !lp.U32(1, &s)) return false;
    step->frame = p::BeginFrame(s);
    return true;
  }
  if (verb == "frame") {
    // A frame whose declared length and real payload size may disagree, to probe validation.
    std::uint32_t type = 0, declared = 0, actual = 0;
    if (!lp.Need(4, 4) || !lp.U32(1, &type) || !lp.U32(2, &declared) || !lp.U32(3, &actual)) return false;
    if (type > 0xFFFF) return lp.Fail("type is 16 bits");
    if (actual > kMaxPayloadSize + 16) return lp.Fail("payload too large to send");
    step->frame.assign(kFrameHeaderSize + actual, 0);
    WriteU32(step->frame.data(), kFrameMagic);
    step->frame[4] = static_cast<std::uint8_t>(type);
    step->frame[5] = static_cast<std::uint8_t>(type >> 8);
    WriteU32(step->frame.data() + 8, declared);
    return true;
  }
  if (verb == "raw") {
    if (!ParseHex(lp.count() > 1 ? lp.rest(0) : std::string(), &step->frame)) return lp.Fail("raw takes hex bytes");
    return true;
  }
  return lp.Fail("unknown step '" + lp.word(0) + "'");
}

}  // namespace

std::uint16_t ReportTypeFromName(const std::string& name) {
  const std::string n = Lower(name);
  if (n == "hello") return kMsgHello;
  if (n == "frameready") return kMsgFrameReady;
  if (n == "loadevent") return kMsgLoadEvent;
  if (n == "consoleline") return kMsgConsoleLine;
  if (n == "pagemessage") return kMsgPageMessage;
  if (n == "pagecall") return kMsgPageCall;
  return 0;
}

bool ParseScenario(const std::string& text, std::uint32_t default_timeout_ms, std::vector<Step>* steps,
                   std::string* error) {
  steps->clear();
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const Words words = Split(line);
    if (words.words.empty() || words.words[0][0] == '#') continue;
    Step step;
    step.line = number;
    step.source = line;
    std::string why;
    if (!ParseLine(words, default_timeout_ms, &step, &why)) {
      *error = "line " + std::to_string(number) + ": " + why + ": " + line;
      return false;
    }
    steps->push_back(std::move(step));
  }
  return true;
}

bool Matches(const WaitFilter& wait, const p::Report& r) {
  if (r.type != wait.type) return false;
  if (wait.surface && (r.type == kMsgHello || r.surface_id != *wait.surface)) return false;
  if (wait.width && r.width != *wait.width) return false;
  if (wait.height && r.height != *wait.height) return false;
  if (wait.load_kind && r.load_kind != *wait.load_kind) return false;
  if (wait.error_code && r.error_code != *wait.error_code) return false;
  if (r.type == kMsgPageCall && wait.page_name) {
    CallFields call;
    if (!ParseCallFields(r.text, &call) || call.name != *wait.page_name) return false;
  } else if (wait.page_kind || wait.page_name) {
    p::PageMessage m;
    if (!p::ParsePageMessage(r.text, &m)) return false;
    if (wait.page_kind && m.kind != *wait.page_kind) return false;
    if (wait.page_name && m.name != *wait.page_name) return false;
  }
  if (wait.text && r.text != *wait.text) return false;
  if (wait.contains && r.text.find(*wait.contains) == std::string::npos) return false;
  return true;
}

}  // namespace client
}  // namespace nimo
