// Typing into a real page through the host library in a protocol-3 session: the game is
// told when a text field has the keyboard and when it no longer has, composes text with
// the input method inline in the page's field with its candidate rectangles inside the
// field, double-clicks a word, and loses the focus with a key still down. The page is a
// real page of headless Chromium behind the stand-in engine (its Chromium mode).
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/portable/engine_abi.h"
#include "client/nimo_host.h"
#include "tests/support/journal.h"
#include "tests/support/process_harness.h"
#include "tests/support/real_page_host.h"

namespace nimo {
namespace test {
namespace {

using nimo_test::Journal;
using Kind = host::Event::Kind;
namespace p = protocol;

constexpr DWORD kWaitMs = 15000;

// The field, the editable element after it in tab order, and a line of words, at known
// places of the view.
const char kPage[] =
    "<!doctype html><html><head><meta charset=\"utf-8\"><style>"
    "body{margin:0;background:#fff}"
    "#f{position:absolute;left:40px;top:60px;width:300px;height:30px;font:20px sans-serif}"
    "#ce{position:absolute;left:40px;top:120px;width:300px;height:30px}"
    "#words{position:absolute;left:40px;top:200px;margin:0;font:20px monospace}"
    "</style></head><body>"
    "<input id=\"f\"><div id=\"ce\" contenteditable=\"true\"></div><p id=\"words\">alpha beta gamma</p>"
    "<script>"
    "(function ready() {"
    "  if (!window.mp || !window.mp.events) return setTimeout(ready, 10);"
    "  document.addEventListener('dblclick', function () { mp.trigger('dbl', String(getSelection())); });"
    "  document.addEventListener('keyup', function (e) { mp.trigger('keyup', e.key); });"
    "  mp.trigger('ready');"
    "})();"
    "</script></body></html>";

class KeyboardSession : public RealPageHost {
 public:
  KeyboardSession() : RealPageHost("quiet paint. host.send_external_begin_frame\n") {}

  bool Start(const std::string& url, std::string* why) {
    host::StartOptions o;
    o.url = url;
    o.protocol_version = 3;
    return RealPageHost::Start(o, why);
  }

  // Polls until an event satisfies `match`; the others are dropped.
  bool Wait(const std::function<bool(const host::Event&)>& match, host::Event* out = nullptr,
            DWORD timeout_ms = kWaitMs) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (GetTickCount64() <= deadline) {
      host::Event e;
      while (GetTickCount64() <= deadline && host.Poll(&e)) {
        if (e.kind == Kind::kTextInput) modes.push_back(e.report.input_mode);
        if (!match(e)) continue;
        if (out) *out = e;
        return true;
      }
      Sleep(10);
    }
    return false;
  }
  bool WaitMode(std::uint32_t mode) {
    return Wait([&](const host::Event& e) { return e.kind == Kind::kTextInput && e.report.input_mode == mode; });
  }
  bool WaitPage(const std::string& text) {
    return Wait([&](const host::Event& e) { return e.kind == Kind::kPageMessage && e.report.text == text; });
  }
  bool Click(int x, int y, UINT down = WM_LBUTTONDOWN) {
    return host.ForwardInput(0, nullptr, down, MK_LBUTTON, MAKELPARAM(x, y)) &&
           host.ForwardInput(0, nullptr, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  }
  // Asks the page for the field's value until it is `value`: scripts run at once while
  // input-method commands wait their turn on the engine's UI thread.
  bool ExpectValue(const std::string& value) {
    const std::string expected = "NIMOMP|trigger|value\x01\x02s" + value;
    for (int i = 0; i < 30; ++i) {
      if (!host.ExecuteScript(0, "mp.trigger('value', document.getElementById('f').value)")) return false;
      if (Wait([&](const host::Event& e) { return e.kind == Kind::kPageMessage && e.report.text == expected; },
               nullptr, 500))
        return true;
    }
    return false;
  }

  std::vector<std::uint32_t> modes;  // every TextInputState, in order
};

TEST(TextInput, TypingInARealPageThroughTheHostLibrary) {
  HostPageFile page("text-input", kPage);
  ASSERT_TRUE(page.ok());
  KeyboardSession s;
  std::string why;
  ASSERT_TRUE(s.Start(page.url(), &why)) << why;
  ASSERT_TRUE(s.WaitPage("NIMOMP|trigger|ready"));
  EXPECT_EQ(s.host.protocol_version(), 3u);
  ASSERT_TRUE(s.host.SetFocus(0, true));
  EXPECT_EQ(s.host.TextInputMode(0), kInputModeNone);

  // The pointer over the field: the library has the system's I-beam ready for WM_SETCURSOR.
  ASSERT_TRUE(s.host.ForwardInput(0, nullptr, WM_MOUSEMOVE, 0, MAKELPARAM(100, 75)));
  ASSERT_TRUE(s.Wait([](const host::Event& e) { return e.kind == Kind::kCursor && e.cursor.type == 3; }));  // CT_IBEAM
  EXPECT_EQ(s.host.CursorFor(0), LoadCursor(nullptr, IDC_IBEAM));

  // A click into the field: a text field has the keyboard.
  ASSERT_TRUE(s.Click(100, 75));
  ASSERT_TRUE(s.WaitMode(kInputModeText));
  EXPECT_EQ(s.host.TextInputMode(0), kInputModeText);

  // Composing shows the text in the field; the composed characters' rectangles lie in it.
  ASSERT_TRUE(s.host.ImeSetComposition(0, "\xE3\x81\xAB\xE3\x81\xBB\xE3\x82\x93", 1, 2));  // にほん
  host::Event bounds;
  ASSERT_TRUE(s.Wait([](const host::Event& e) { return e.kind == Kind::kImeBounds && !e.report.rects.empty(); },
                     &bounds));
  ASSERT_EQ(bounds.report.rects.size(), 3u);
  EXPECT_EQ(bounds.report.range_to - bounds.report.range_from, 3u);
  for (const ImeRect& r : bounds.report.rects) {
    EXPECT_GE(r.x, 40);
    EXPECT_LE(r.x + r.width, 340);
    EXPECT_GE(r.y, 60);
    EXPECT_LE(r.y + r.height, 95);
    EXPECT_GT(r.width, 0);
  }
  EXPECT_TRUE(s.ExpectValue("\xE3\x81\xAB\xE3\x81\xBB\xE3\x82\x93"));
  ASSERT_TRUE(s.host.ImeCommitText(0, "\xE6\x97\xA5\xE6\x9C\xAC"));  // 日本
  EXPECT_TRUE(s.ExpectValue("\xE6\x97\xA5\xE6\x9C\xAC"));

  // A click elsewhere, and blur() from the page's script, end in none.
  ASSERT_TRUE(s.Click(600, 400));
  ASSERT_TRUE(s.WaitMode(kInputModeNone));
  ASSERT_TRUE(s.Click(100, 75));
  ASSERT_TRUE(s.WaitMode(kInputModeText));
  ASSERT_TRUE(s.host.ExecuteScript(0, "document.activeElement.blur()"));
  ASSERT_TRUE(s.WaitMode(kInputModeNone));

  // Tab from the field into the editable element: an editable element of no special kind.
  ASSERT_TRUE(s.Click(100, 75));
  ASSERT_TRUE(s.WaitMode(kInputModeText));
  ASSERT_TRUE(s.host.ForwardInput(0, nullptr, WM_KEYDOWN, VK_TAB, 0x000F0001));
  ASSERT_TRUE(s.host.ForwardInput(0, nullptr, WM_KEYUP, VK_TAB, 0xC00F0001));
  ASSERT_TRUE(s.WaitMode(kInputModeDefault));

  // A double click selects the word under it (the library sends the system's double-click
  // message as a second press; the engine counts it).
  ASSERT_TRUE(s.Click(130, 212));
  ASSERT_TRUE(s.Click(130, 212, WM_LBUTTONDBLCLK));
  EXPECT_TRUE(s.WaitPage("NIMOMP|trigger|dbl\x01\x02sbeta"));

  // The window loses the focus while a key is down: the page sees the key come up.
  ASSERT_TRUE(s.Click(100, 75));
  ASSERT_TRUE(s.host.ForwardInput(0, nullptr, WM_KEYDOWN, 'A', 0x001E0001));
  s.host.FocusLost();
  EXPECT_TRUE(s.WaitPage("NIMOMP|trigger|keyup\x01\x02sa"));

  const host::ExitReport end = s.host.Shutdown(15000);
  EXPECT_EQ(end.exit_code, 0);
  const Journal j = s.journal();
  EXPECT_EQ(j.Count("host.send_capture_lost_event"), 1u);
  // The key the focus loss let go of comes up as the system sends a release: the key-down's
  // scan code with the previous-state and transition bits, not as a repeat of the press.
  const std::vector<nimo_test::JournalEntry> a_keys = j.Events("host.send_key_event", "windows_key_code", "65");
  ASSERT_FALSE(a_keys.empty());
  EXPECT_EQ(a_keys.back().Int("type", -1), KEYEVENT_KEYUP);
  EXPECT_EQ(a_keys.back().Int("native_key_code"), static_cast<std::int32_t>(0xC01E0001u));
  const std::vector<nimo_test::JournalEntry> compositions = j.Events("host.ime_set_composition");
  ASSERT_EQ(compositions.size(), 1u);
  EXPECT_EQ(compositions[0].Get("underlines"), "0,3,FF000000,00000000,0,0") << "one thin solid underline";
  EXPECT_EQ(compositions[0].Get("selection"), "1,2");
  EXPECT_EQ(compositions[0].Get("replacement"), "4294967295,4294967295");
  const std::vector<nimo_test::JournalEntry> presses = j.Events("host.send_mouse_click_event", "mouse_up", "0");
  bool counted_two = false;
  for (const auto& press : presses) counted_two = counted_two || press.Int("click_count") == 2;
  EXPECT_TRUE(counted_two);
  std::string refs;
  EXPECT_TRUE(j.ReferencesClean(s.host.engine_pid(), &refs)) << refs;
  // Every change was told once: no report repeats the mode before it.
  for (std::size_t i = 1; i < s.modes.size(); ++i) EXPECT_NE(s.modes[i], s.modes[i - 1]) << i;
}

}  // namespace
}  // namespace test
}  // namespace nimo
