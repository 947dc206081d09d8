(function () {
  if (window.__mpRaf) return;
  window.__mpRaf = 1;
  var frames = 0;  // animation frames of the current rate window
  var shift = 0;   // the marker's offset: flips on every frame, whatever the window
  var start = performance.now();
  var marker = null;
  function frame() {
    frames++;
    shift ^= 1;
    if (!marker && document.body) {
      marker = document.createElement("div");
      // A 1-pixel, nearly transparent square on top of everything: moving it keeps the
      // view changing on every animation frame without disturbing the page.
      marker.style.cssText = "position:fixed;right:0;bottom:0;width:1px;height:1px;opacity:0.01;pointer-events:none;z-index:2147483647;background:#000";
      document.body.appendChild(marker);
    }
    if (marker) marker.style.transform = "translateX(" + shift + "px)";
    var now = performance.now();
    if (now - start >= 10000) {
      console.log("NIMOPERF page rAF " + (frames / ((now - start) / 1000)).toFixed(1) +
                  " fps defer=" + (window.__mpDeferN || 0) +
                  " nodes=" + document.getElementsByTagName("*").length);
      frames = 0;
      start = now;
    }
    requestAnimationFrame(frame);
  }
  requestAnimationFrame(frame);
})();
