#include "testbed/engine/real_ime.h"

#include <cmath>
#include <map>
#include <mutex>
#include <vector>

#include "testbed/engine/browser.h"
#include "testbed/engine/devtools.h"
#include "testbed/engine/ime.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/loop.h"
#include "testbed/engine/real_page.h"
#include "testbed/engine/strings.h"

namespace standin {

namespace {

// The composition each browser shows, for finishing it.
std::mutex compositions_lock;
std::map<int, std::u16string>& Compositions() {
  static auto* map = new std::map<int, std::u16string>();
  return *map;
}

// Page script: the focused element, looked for through open shadow roots and frames of
// the page's origin, with the offset of the frame it sits in.
const char kDeepFocus[] = R"JS(
function nimoDeepFocus() {
  var doc = document, el = doc.activeElement, ox = 0, oy = 0;
  for (var i = 0; el && i < 64; i++) {
    if (el.shadowRoot && el.shadowRoot.activeElement) { el = el.shadowRoot.activeElement; continue; }
    if (el.tagName === "IFRAME" || el.tagName === "FRAME") {
      var inner = null;
      try { inner = el.contentDocument; } catch (e) {}
      if (!inner) return null;
      var r = el.getBoundingClientRect();
      ox += r.left + el.clientLeft; oy += r.top + el.clientTop;
      doc = inner; el = inner.activeElement; continue;
    }
    break;
  }
  if (!el) return null;
  var tag = el.tagName, type = String(el.type || "text").toLowerCase();
  var editable = tag === "TEXTAREA" ||
      (tag === "INPUT" && /^(text|password|search|tel|url|email|number)$/.test(type)) || el.isContentEditable;
  if (!editable || el.disabled || el.readOnly) return null;
  return {el: el, doc: doc, ox: ox, oy: oy};
}
)JS";

// The engine's text-input mode of the focused field, from its inputmode: -1 for none.
const char kKeyboardMode[] = R"JS(
(function () {
  var f = nimoDeepFocus();
  if (!f) return -1;
  var modes = {none: 1, text: 2, tel: 3, url: 4, email: 5, numeric: 6, decimal: 7, search: 8};
  var m = String(f.el.getAttribute("inputmode") || "").toLowerCase();
  return Object.prototype.hasOwnProperty.call(modes, m) ? modes[m] : 0;
})()
)JS";

// The composed characters' rectangles: [start, x, y, w, h, x, y, w, h, ...]. A text
// field's characters are measured with its font; an editable element's from the text.
const char kCompositionBounds[] = R"JS(
(function (selStart, length) {
  var f = nimoDeepFocus();
  if (!f) return [];
  var el = f.el, out = [];
  if (el.tagName === "INPUT" || el.tagName === "TEXTAREA") {
    var start = Math.max(0, (el.selectionStart || 0) - selStart);
    var cs = getComputedStyle(el), r = el.getBoundingClientRect();
    var ctx = f.doc.createElement("canvas").getContext("2d");
    ctx.font = cs.font;
    var before = el.value.slice(0, start), lines = before.split("\n"), row = lines.length - 1;
    var lineHeight = parseFloat(cs.lineHeight) || parseFloat(cs.fontSize) * 1.2;
    var left = r.left + el.clientLeft + parseFloat(cs.paddingLeft) - el.scrollLeft;
    var top = el.tagName === "INPUT" ? r.top + (r.height - lineHeight) / 2
                                     : r.top + el.clientTop + parseFloat(cs.paddingTop) + row * lineHeight - el.scrollTop;
    var x = left + ctx.measureText(lines[row]).width;
    out.push(start);
    for (var i = 0; i < length; i++) {
      var w = ctx.measureText(el.value.charAt(start + i)).width;
      out.push(f.ox + x, f.oy + top, w, lineHeight);
      x += w;
    }
    return out;
  }
  var sel = f.doc.getSelection();
  if (!sel || !sel.focusNode || sel.focusNode.nodeType !== 3) return [];
  var node = sel.focusNode, begin = Math.max(0, sel.focusOffset - selStart);
  out.push(begin);
  for (var j = 0; j < length && begin + j < node.length; j++) {
    var range = f.doc.createRange();
    range.setStart(node, begin + j);
    range.setEnd(node, begin + j + 1);
    var b = range.getBoundingClientRect();
    out.push(f.ox + b.left, f.oy + b.top, b.width, b.height);
  }
  return out;
})
)JS";

std::string Session(BrowserCore* b) { return RealPageSession(b); }

// Evaluates `expression` (kDeepFocus is in scope) and hands its value to `done`, on the
// DevTools reader thread.
void EvaluateInPage(BrowserCore* b, const std::string& expression, std::function<void(const Json& value)> done) {
  const std::string code = std::string("(function(){") + kDeepFocus + "return (" + expression + ");})()";
  DevToolsSend("Runtime.evaluate", {{"expression", code}, {"returnByValue", true}}, Session(b),
               [done](const Json& result, const std::string& error) {
                 if (!error.empty() || !result.contains("result") || result.contains("exceptionDetails")) return;
                 done(result["result"].value("value", Json()));
               });
}

int Round(double v) { return static_cast<int>(std::lround(v)); }

// Reads the composition's rectangles once the page has taken the change.
void ReportBounds(BrowserCore* b, std::uint32_t selection_start, std::size_t length) {
  const std::string call = std::string(kCompositionBounds) + "(" + std::to_string(selection_start) + "," +
                           std::to_string(length) + ")";
  EvaluateInPage(b, call, [b, length](const Json& value) {
    if (!value.is_array() || value.empty() || !value[0].is_number()) return;
    const std::uint32_t start = static_cast<std::uint32_t>(value[0].get<double>());
    std::vector<cef_rect_t> rects;
    for (std::size_t i = 1; i + 3 < value.size(); i += 4) {
      if (!value[i].is_number() || !value[i + 1].is_number() || !value[i + 2].is_number() || !value[i + 3].is_number()) {
        return;
      }
      rects.push_back(cef_rect_t{Round(value[i].get<double>()), Round(value[i + 1].get<double>()),
                                 Round(value[i + 2].get<double>()), Round(value[i + 3].get<double>())});
    }
    const cef_range_t range = {start, start + static_cast<std::uint32_t>(length)};
    PostEngineWork([b, range, rects] {
      if (!b->closed.load()) RaiseCompositionRange(b, range, rects);
    });
  });
}

void ReportCompositionEnded(BrowserCore* b) {
  PostEngineWork([b] {
    if (!b->closed.load()) RaiseCompositionRange(b, cef_range_t{0xFFFFFFFFu, 0xFFFFFFFFu}, {});
  });
}

void SetComposition(BrowserCore* b, const std::u16string& text) {
  std::lock_guard<std::mutex> hold(compositions_lock);
  if (text.empty()) {
    Compositions().erase(b->id);
  } else {
    Compositions()[b->id] = text;
  }
}

}  // namespace

void RealImeSetComposition(BrowserCore* b, const std::u16string& text, const cef_range_t& selection) {
  SetComposition(b, text);
  const std::uint32_t length = static_cast<std::uint32_t>(text.size());
  const std::uint32_t from = selection.from > length ? length : selection.from;
  const std::uint32_t to = selection.to > length || selection.to < from ? from : selection.to;
  DevToolsSend("Input.imeSetComposition", {{"text", U16ToUtf8(text)}, {"selectionStart", from}, {"selectionEnd", to}},
               Session(b), [b, from, length](const Json&, const std::string& error) {
                 if (!error.empty()) return;
                 if (length == 0) {
                   ReportCompositionEnded(b);
                 } else {
                   ReportBounds(b, from, length);
                 }
               });
}

void RealImeCommit(BrowserCore* b, const std::u16string& text) {
  SetComposition(b, std::u16string());
  DevToolsSend("Input.insertText", {{"text", U16ToUtf8(text)}}, Session(b),
               [b](const Json&, const std::string& error) {
                 if (error.empty()) ReportCompositionEnded(b);
               });
}

void RealImeFinish(BrowserCore* b) {
  std::u16string text;
  {
    std::lock_guard<std::mutex> hold(compositions_lock);
    auto it = Compositions().find(b->id);
    if (it == Compositions().end()) return;
    text = it->second;
  }
  RealImeCommit(b, text);
}

void RealImeCancel(BrowserCore* b) {
  SetComposition(b, std::u16string());
  DevToolsSend("Input.imeSetComposition", {{"text", ""}, {"selectionStart", 0}, {"selectionEnd", 0}}, Session(b),
               [b](const Json&, const std::string& error) {
                 if (error.empty()) ReportCompositionEnded(b);
               });
}

void RealAfterPress(BrowserCore* b) {
  EvaluateInPage(b, kKeyboardMode, [b](const Json& value) {
    if (!value.is_number()) return;
    const int mode = static_cast<int>(value.get<double>());
    if (mode < 0) return;
    PostEngineWork([b, mode] {
      if (!b->closed.load()) RaiseVirtualKeyboard(b, mode);
    });
  });
}

void RealImeForget(BrowserCore* b) { SetComposition(b, std::u16string()); }

}  // namespace standin
