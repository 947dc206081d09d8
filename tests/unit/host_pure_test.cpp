// The host library's pure parts: page-event literals and window-message translation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "client/portable/pointer_presence.h"
#include "client/portable/script_literal.h"
#include "client/portable/window_input.h"

namespace nimo {
namespace client {
namespace {

TEST(ScriptLiteral, NoTextLeavesItsString) {
  EXPECT_EQ(ScriptStringLiteral("plain é 😀"), "\"plain é 😀\"");
  EXPECT_EQ(ScriptStringLiteral("\");x(\""), "\"\\\");x(\\\"\"");
  EXPECT_EQ(ScriptStringLiteral("a\\"), "\"a\\\\\"") << "a trailing backslash must not escape the quote";
  EXPECT_EQ(ScriptStringLiteral(std::string("\n\r\t\0\x1F\x7F", 6)), "\"\\u000a\\u000d\\u0009\\u0000\\u001f\\u007f\"");
  EXPECT_EQ(ScriptStringLiteral("\xE2\x80\xA8\xE2\x80\xA9"), "\"\\u2028\\u2029\"") << "line terminators in old script";
  EXPECT_EQ(ScriptStringLiteral("</script>"), "\"</script>\"") << "no HTML is involved";
}

TEST(ScriptLiteral, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  EXPECT_EQ(ScriptStringLiteral("\xC3\x28"), "\"\\ufffd(\"") << "a lead byte without its continuation";
  EXPECT_EQ(ScriptStringLiteral("\xED\xA0\x80"), "\"\\ufffd\\ufffd\\ufffd\"") << "an encoded surrogate";
  EXPECT_EQ(ScriptStringLiteral("\xC0\xAF"), "\"\\ufffd\\ufffd\"") << "an overlong slash";
  EXPECT_EQ(ScriptStringLiteral("\xF4\x90\x80\x80"), "\"\\ufffd\\ufffd\\ufffd\\ufffd\"") << "above U+10FFFF";
  EXPECT_EQ(ScriptStringLiteral("\xE2\x82"), "\"\\ufffd\\ufffd\"") << "cut at the end";
  EXPECT_EQ(ScriptStringLiteral("\xF0\x9F\x98\x80"), "\"\xF0\x9F\x98\x80\"");
}

TEST(ScriptLiteral, EmitBuildsOneCallWithEveryKindOfValue) {
  const std::string script = EmitScript(
      "a\"b", {nullptr, true, false, 3, 2.5, -1e21, 1e-7, NAN, -INFINITY, 4294967295u, "s",
               ScriptValue::Array({ScriptValue::Array({}), "x"}), ScriptValue::Object({{"k\"", 1}, {"__proto__", nullptr}})});
  EXPECT_EQ(script,
            "window.__mpEmit&&window.__mpEmit(\"a\\\"b\",[null,true,false,3,2.5,-1e+21,1e-7,null,null,4294967295,"
            "\"s\",[[],\"x\"],{[\"k\\\"\"]:1,[\"__proto__\"]:null}]);");
  EXPECT_EQ(EmitScript("e", {}), "window.__mpEmit&&window.__mpEmit(\"e\",[]);");
}

nimo::InputRecord Translate(std::uint32_t message, std::uint64_t wparam, std::uint64_t lparam,
                                KeyboardState keys = {}, SurfacePlacement at = {}, int version = 2) {
  nimo::InputRecord r;
  r.message = 0xFFFF;
  if (!TranslateWindowMessage(1, message, wparam, lparam, keys, at, &r, version)) r.message = 0;
  return r;
}

TEST(WindowInput, MousePositionsAreRelativeToTheSurfaceAndKeepTheirSign) {
  const nimo::InputRecord r = Translate(0x200, 0, 0x00050003, {}, SurfacePlacement{10, 20});
  EXPECT_EQ(r.surface_id, 1u);
  EXPECT_EQ(r.lparam, protocol::PackPoint(-7, -15));
  // A window position left of or above the window (captured mouse) is negative already.
  EXPECT_EQ(Translate(0x200, 0, protocol::PackPoint(-3, -32768)).lparam, protocol::PackPoint(-3, -32768));
}

TEST(WindowInput, DoubleClicksArePressesAndButtonsComeFromTheMessage) {
  KeyboardState keys;
  keys.alt = true;
  keys.caps_lock = true;
  keys.left_button = true;  // the message's own flags win for mouse messages
  const nimo::InputRecord r = Translate(0x206, 0x2 | 0x4, 0, keys);  // right double click with shift
  EXPECT_EQ(r.message, 0x204u);
  EXPECT_EQ(r.modifiers, 0x40u | 0x2u | 0x8u | 0x1u);
  EXPECT_EQ(Translate(0x203, 0, 0).message, 0x201u);
  EXPECT_EQ(Translate(0x209, 0, 0).message, 0x207u);
}

TEST(WindowInput, WheelKeepsItsDeltaAndLeaveCarriesTheKeyboard) {
  const nimo::InputRecord w = Translate(0x20A, 0xFF880008ull | (0xABCDull << 32), 0);  // -120, control
  EXPECT_EQ(w.wparam, 0xFF880008ull) << "only the message's 32 bits";
  EXPECT_EQ(w.modifiers, 0x4u);
  // The horizontal wheel exists from protocol 3 on, placed like the vertical one.
  const nimo::InputRecord h = Translate(0x20E, 0x00780000ull, 0x00140005, {}, SurfacePlacement{5, 0}, 3);
  EXPECT_EQ(h.message, 0x20Eu);
  EXPECT_EQ(h.wparam, 0x00780000ull);
  EXPECT_EQ(h.lparam, protocol::PackPoint(0, 20));
  KeyboardState keys;
  keys.shift = true;
  keys.num_lock = true;
  const nimo::InputRecord l = Translate(0x2A3, 0, 0, keys);
  EXPECT_EQ(l.message, 0x2A3u);
  EXPECT_EQ(l.modifiers, 0x2u | 0x100u);
}

TEST(WindowInput, KeysCarryRepeatAltAndKeyPad) {
  EXPECT_EQ(Translate(0x100, 0x41, 0x001E0001).modifiers, 0u);
  EXPECT_EQ(Translate(0x100, 0x41, 0x401E0001).modifiers, 0x2000u) << "held down";
  EXPECT_EQ(Translate(0x101, 0x41, 0xC01E0001).modifiers, 0u) << "a release is no repeat";
  EXPECT_EQ(Translate(0x104, 0x73, 0x203E0001).modifiers, 0x8u) << "alt from the system key's context bit";
  EXPECT_EQ(Translate(0x100, 0x65, 0x004C0001).modifiers, 0x200u) << "numpad 5";
  EXPECT_EQ(Translate(0x102, 0x65, 0x004C0001).modifiers, 0u) << "the character 'e' is no key pad key";
  const nimo::InputRecord c = Translate(0x102, 0xD83D, 1);
  EXPECT_EQ(c.wparam, 0xD83Du) << "a surrogate half passes as it came";
}

TEST(WindowInput, OtherMessagesAreNotInput) {
  for (std::uint32_t m : {0x000Fu, 0x0103u, 0x020Bu, 0x020Eu, 0x02A1u, 0x0400u})
    EXPECT_EQ(Translate(m, 0, 0).message, 0u) << m;
}

TEST(PointerPresence, EachSurfaceOfAWindowIsLeftOnceWhereverThePointerGoes) {
  PointerPresence p;
  p.SetSize(1, 200, 100);
  p.SetSize(2, 200, 100);
  const std::uintptr_t window = 0x10, other = 0x20;
  auto move = [&p](std::uint32_t s, std::uintptr_t w, int x, int y, bool held = false) {
    const PointerPresence::MoveOutcome o = p.Moved(s, w, x, y, held);
    return std::string(o.forward ? "move" : "none") + " leave=" + std::to_string(o.leave_mask);
  };
  EXPECT_EQ(move(1, window, 0, 0), "move leave=0");
  EXPECT_EQ(move(2, window, 199, 99), "move leave=2") << "from 1 onto 2";
  EXPECT_EQ(move(2, window, 200, 50), "none leave=4") << "off 2's right edge";
  EXPECT_EQ(move(2, window, -1, 50), "none leave=0") << "left once";
  EXPECT_EQ(move(2, window, 300, 50, true), "move leave=0") << "a held button keeps the page's press";
  EXPECT_EQ(move(3, other, 5000, 5000), "move leave=0") << "no size asked for: the whole window";
  EXPECT_EQ(p.LeftWindow(window), 4u);
  EXPECT_EQ(p.LeftWindow(window), 0u);
  EXPECT_EQ(p.LeftWindow(other), 8u);
  p.SetSize(1, 0, 0);  // a resize to nothing keeps the last size
  EXPECT_EQ(move(1, window, 250, 0), "none leave=0");
  EXPECT_EQ(move(4, window, 0, 0), "move leave=0") << "no such surface";
}

}  // namespace
}  // namespace client
}  // namespace nimo
