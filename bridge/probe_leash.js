// The frame-rate probe as sessions of protocol 3 run it: the probe's own text takes the
// place of the marked comment below, unchanged, and finds this leash where it asks for
// animation frames. The leash passes every request on until the engine stops it (the
// client turned the probe off for the surface): then the frame already asked for is
// cancelled and none is asked for again, so the probe's rate line stops and nothing keeps
// the page changing, and the probe's one-pixel marker leaves the page.
(function (requestAnimationFrame) {
/*PROBE*/
})(window.__mpRafLeash || (window.__mpRafLeash = (function () {
  var pending = 0;
  var stopped = false;
  function leash(frame) {
    if (stopped) return 0;
    pending = window.requestAnimationFrame(frame);
    return pending;
  }
  function isMarker(el) {
    var s = el.style;
    return s.zIndex === "2147483647" && s.position === "fixed" && s.pointerEvents === "none" &&
           s.width === "1px" && s.height === "1px";
  }
  leash.stop = function () {
    stopped = true;
    window.cancelAnimationFrame(pending);
    var divs = document.getElementsByTagName("div");
    for (var i = divs.length - 1; i >= 0; i--) {
      if (isMarker(divs[i])) divs[i].parentNode.removeChild(divs[i]);
    }
  };
  return leash;
})()));
