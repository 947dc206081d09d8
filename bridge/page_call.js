(function () {
  // Adds call() to the window.mp this engine put into the page (the page shim's object, or
  // the renderer's native one with its invoke and send): a promise the game settles. A call
  // goes out as one console line "NIMOCALL|<token>|<JSON>", and the engine settles it by
  // running window.__mpSettle(token, status, json) in the page. A window.mp the page brought
  // itself is left alone.
  var mp = window.mp;
  if (!mp || mp.call || window.__mpSettle) return;
  function native(f) {
    return typeof f === "function" && /\[native code\]\s*\}\s*$/.test(Function.prototype.toString.call(f));
  }
  if (!window.__mpEmit && !(native(mp.invoke) && native(mp.send))) return;
  var log = console.log;
  // Tokens of this document: an answer meant for an earlier document never matches.
  var key = Math.random().toString(36).slice(2, 10) + Date.now().toString(36);
  var next = 0;
  var pending = Object.create(null);
  // Whether JSON carries the value as it is (undefined, functions, symbols, big integers,
  // NaN and the infinities do not; a cycle runs past the depth limit).
  function carries(v, depth) {
    if (v === null) return true;
    var t = typeof v;
    if (t === "string" || t === "boolean") return true;
    if (t === "number") return isFinite(v);
    if (t !== "object" || depth > 64) return false;
    if (typeof v.toJSON === "function") return true;
    for (var k in v) {
      if (Object.prototype.hasOwnProperty.call(v, k) && v[k] !== undefined && typeof v[k] !== "function" &&
          !carries(v[k], depth + 1)) return false;
    }
    return true;
  }
  mp.call = function (name) {
    var args = Array.prototype.slice.call(arguments, 1);
    var text;
    try {
      for (var i = 0; i < args.length; i++) {
        if (!carries(args[i], 0)) throw new TypeError("argument " + (i + 1) + " cannot be sent as JSON");
      }
      text = JSON.stringify({ name: String(name), args: args });
    } catch (e) {
      return Promise.reject(e instanceof TypeError ? e : new TypeError(String(e && e.message)));
    }
    var token = key + "." + (++next);
    return new Promise(function (resolve, reject) {
      pending[token] = [resolve, reject];
      try {
        log.call(console, "NIMOCALL|" + token + "|" + text);
      } catch (e) {
        delete pending[token];
        reject(e);
      }
    });
  };
  window.__mpSettle = function (token, status, json) {
    var p = pending[token];
    if (!p) return;
    delete pending[token];
    var value;
    try {
      value = JSON.parse(json);
    } catch (e) {
      p[1](new Error("the game's answer is not JSON"));
      return;
    }
    if (status === 0) {
      p[0](value);
    } else {
      var error = new Error(typeof value === "string" ? value : JSON.stringify(value));
      error.reason = value;
      p[1](error);
    }
  };
})();
