(function () {
  // A page (or the renderer's native bridge) that brought its own window.mp keeps it.
  if (window.mp) return;
  // Null prototype: event names such as "constructor" or "__proto__" are plain keys.
  var handlers = Object.create(null);
  // The console function as the page starts: pages that silence or wrap console.log for
  // their own output must not swallow their window.mp calls with it.
  var log = console.log;
  function encode(v) {
    try {
      if (v === null || v === undefined) return "\x02z";
      var t = typeof v;
      if (t === "string") return "\x02s" + v;
      if (t === "boolean") return "\x02b" + (v ? "1" : "0");
      if (t === "number") return isFinite(v) ? "\x02n" + String(v) : "\x02z";
      return "\x02o" + String(JSON.stringify(v));
    } catch (e) {
      return "\x02z";
    }
  }
  function send(kind, args) {
    try {
      var parts = [args[0]];
      for (var i = 1; i < args.length; i++) parts.push(encode(args[i]));
      log.call(console, "NIMOMP|" + kind + "|" + parts.join("\x01"));
    } catch (e) {}
  }
  window.mp = {
    trigger: function () { send("trigger", arguments); },
    invoke: function () { send("invoke", arguments); },
    events: {
      callRemote: function () { send("callRemote", arguments); },
      add: function (name, fn) {
        var key = String(name);
        (handlers[key] || (handlers[key] = [])).push(fn);
      },
      remove: function (name) { delete handlers[String(name)]; },
      call: function (name) {
        var list = handlers[String(name)];
        if (!list) return;
        var args = Array.prototype.slice.call(arguments, 1);
        // A snapshot, so handlers added while the event runs wait for the next one.
        list = list.slice();
        for (var i = 0; i < list.length; i++) {
          try { list[i].apply(null, args); } catch (e) {}
        }
      }
    }
  };
  window.__mpEmit = function (name, args) {
    var events = window.mp.events;
    if (Array.isArray(args)) events.call.apply(events, [name].concat(args));
    else if (args) events.call(name, args);
    else events.call(name);
  };
})();
