(function () {
  // Tells the engine what kind of element has the keyboard, as one console line
  // "NIMOTEXT|<m>" per change: m is the engine's text-input mode (0 default, 1 none,
  // 2 text, 3 tel, 4 url, 5 email, 6 numeric, 7 decimal, 8 search) or "f" when the focus
  // is in a frame this page cannot look into. The engine keeps these lines to itself.
  if (window.__mpFocusWatch) return;
  window.__mpFocusWatch = 1;
  var log = console.log;
  var last = "";
  var watched = [];
  var TYPES = { text: 2, password: 2, search: 8, tel: 3, url: 4, email: 5, number: 6 };
  var MODES = { text: 2, tel: 3, url: 4, email: 5, numeric: 6, decimal: 7, search: 8 };
  function own(map, key) { return Object.prototype.hasOwnProperty.call(map, key) ? map[key] : -1; }
  function modeOf(el) {
    var base;
    var tag = el.tagName;
    if (tag === "INPUT") {
      base = own(TYPES, String(el.type || "text").toLowerCase());
      if (base < 0 || el.disabled || el.readOnly) return 1;
    } else if (tag === "TEXTAREA") {
      if (el.disabled || el.readOnly) return 1;
      base = 2;
    } else if (el.isContentEditable) {
      base = 0;
    } else {
      return 1;
    }
    // inputmode="none" only hides a virtual keyboard: the field still takes the keys.
    var asked = own(MODES, String(el.getAttribute("inputmode") || "").toLowerCase());
    return asked < 0 ? base : asked;
  }
  function watch(win) {
    for (var i = 0; i < watched.length; i++) if (watched[i] === win) return;
    watched.push(win);
    win.addEventListener("focusin", later, true);
    win.addEventListener("focusout", later, true);
    win.addEventListener("blur", later, true);
    win.addEventListener("focus", later, true);
  }
  function current() {
    var doc = document;
    var el = doc.activeElement;
    for (var depth = 0; el && depth < 64; depth++) {
      if (el.shadowRoot && el.shadowRoot.activeElement) {
        el = el.shadowRoot.activeElement;
        continue;
      }
      if (el.tagName === "IFRAME" || el.tagName === "FRAME") {
        var inner = null;
        try { inner = el.contentDocument; } catch (e) {}
        if (!inner) return "f";
        try { watch(inner.defaultView); } catch (e) {}
        doc = inner;
        el = inner.activeElement;
        continue;
      }
      if (!el.isContentEditable && el.tagName !== "INPUT" && el.tagName !== "TEXTAREA" && !el.shadowRoot &&
          el.tagName.indexOf("-") > 0) {
        // The host of a closed shadow root: what has the focus inside it is out of sight.
        return "f";
      }
      return String(modeOf(el));
    }
    return "1";
  }
  function report() {
    var now;
    try { now = current(); } catch (e) { now = "1"; }
    if (now === last) return;
    last = now;
    try { log.call(console, "NIMOTEXT|" + now); } catch (e) {}
  }
  // Focus events come before the focus has moved on; look once it has.
  function later() { setTimeout(report, 0); }
  watch(window);
  // An element removed, hidden or disabled while it has the focus sends no event.
  setInterval(report, 250);
  report();
})();
