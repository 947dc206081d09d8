// The engine fake of the in-process tests: frames, browsers with hosts and main frames,
// requests and callbacks that count their references and record the calls made on them,
// and string entry points for the engine table that count what they allocate, so a test
// can prove a callback released every argument exactly once and freed every string.
//
// Threads: each fake object belongs to one test thread (its counters are plain ints); the
// string entry points may be called from any thread.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "base/portable/engine_abi.h"

namespace nimo {
namespace test {

// Puts counting UTF-8/UTF-16 conversions into engine_api (utf8_to_utf16, utf16_clear,
// userfree free); `with_utf8_to_utf16` false leaves that entry null.
void InstallFakeEngineStrings(bool with_utf8_to_utf16 = true);
// Engine strings allocated by the fakes and not yet freed or cleared.
int LiveEngineStrings();
// A userfree string as the engine hands one out (freed by the fake userfree free).
cef_string_userfree_t NewUserfreeString(const std::string& utf8);
// The UTF-8 text of an engine string (empty for null).
std::string Utf8Of(const cef_string_t* text);

// Every fake starts with no reference; Pass() adds the one the engine gives with each
// callback argument, so `refs` must be back at 0 once the callee has returned.
struct FakeFrame {
  cef_frame_t cef;
  int refs = 0;
  std::vector<std::string> scripts;      // execute_java_script code, in call order
  std::vector<std::string> script_urls;  // and its script URL
  std::vector<int> start_lines;
  std::vector<std::string> loads;        // load_url URLs, in call order
};
// is_main returns `main`; `has_is_main` false leaves the slot null.
FakeFrame* NewFrame(bool main, bool has_is_main = true);

// Every slot of the host a surface uses records its call: "was_resized", "invalidate 0",
// "was_hidden 1", "set_focus 0", "close_browser 1", "key type=.. mods=.. wkc=.. nkc=..
// sys=.. char=.. unmod=.. edit=..", "click x=.. y=.. mods=.. button=.. up=.. count=..",
// "move x=.. y=.. mods=.. leave=..", "wheel x=.. y=.. mods=.. dx=.. dy=..",
// "begin_frame".
struct FakeHost {
  cef_browser_host_t cef;
  int refs = 0;                   // handed out by the browser's get_host
  std::vector<std::string> calls;
};

struct FakeBrowser {
  cef_browser_t cef;
  int refs = 0;
  FakeHost host;
  bool has_host = true;  // get_host returns null when false
  FakeFrame* main_frame = nullptr;  // get_main_frame hands it out (null: none); not owned
  std::vector<std::string> calls;   // "reload", "reload_ignore_cache"
  // The browser this wrapper stands for: the engine hands out a fresh wrapper at every
  // crossing, and is_same (which consumes its argument's reference) and get_identifier
  // compare this.
  int identity = 0;
};
// A browser of its own identity.
FakeBrowser* NewBrowser();
// Another wrapper of the same browser, as the next crossing brings it (its own host, same
// identity, host availability and main frame).
FakeBrowser* NewWrapperOf(const FakeBrowser& browser);

struct FakeRequest {
  cef_request_t cef;
  int refs = 0;
  std::string url;
  std::vector<std::string> set_urls;
};
// `with_set_url` false leaves set_url null.
FakeRequest* NewRequest(const std::string& url, bool with_set_url = true);

struct FakeCallback {
  cef_callback_t cef;
  int refs = 0;
};
FakeCallback* NewCallback();

// A process message with its argument list as the engine hands them out: typed slots
// (a non-string slot gives no string), counted references; get_argument_list calls counted.
struct FakeList {
  cef_list_value_t cef;
  int refs = 0;
  std::vector<std::pair<cef_value_type_t, std::string>> items;
};
struct FakeMessage {
  cef_process_message_t cef;
  int refs = 0;
  std::string name;
  FakeList list;
  bool has_list = true;  // get_argument_list returns null when false
  int list_requests = 0;
};
FakeMessage* NewMessage(const std::string& name, std::vector<std::pair<cef_value_type_t, std::string>> items);

// A command line that records what is appended ("--name" or "--name=value"); its text
// (get_command_line_string) is "prog.exe --type=renderer" and the appended switches.
struct FakeCommandLine {
  cef_command_line_t cef;
  int refs = 0;
  std::vector<std::string> appended;
};
FakeCommandLine* NewCommandLine();

// Context menus: a model whose clear is counted (`with_clear` false leaves the slot null),
// its parameters, and the callback of run_context_menu whose cancel is counted.
struct FakeMenuModel {
  cef_menu_model_t cef;
  int refs = 0;
  int clears = 0;
};
FakeMenuModel* NewMenuModel(bool with_clear = true);
struct FakeMenuParams {
  cef_context_menu_params_t cef;
  int refs = 0;
};
FakeMenuParams* NewMenuParams();
struct FakeMenuCallback {
  cef_run_context_menu_callback_t cef;
  int refs = 0;
  int cancels = 0;
};
FakeMenuCallback* NewMenuCallback();

// The engine's cef pointer of a fake (null for null) with one reference added for the callee.
template <typename F>
auto Pass(F* fake) -> decltype(&fake->cef) {
  if (!fake) return nullptr;
  ++fake->refs;
  return &fake->cef;
}

// A UTF-16 engine string over the test's own buffer, for const cef_string_t* arguments.
class ArgString {
 public:
  explicit ArgString(const std::string& utf8);
  const cef_string_t* get() const { return &value_; }
 private:
  std::u16string units_;
  cef_string_t value_;
};

}  // namespace test
}  // namespace nimo
