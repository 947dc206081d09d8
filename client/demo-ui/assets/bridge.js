// window.mp is put into the page by the engine once its load has started.
export function whenBridgeReady() {
  return new Promise((resolve) => {
    (function poll() {
      if (window.mp && window.mp.events) resolve(window.mp);
      else setTimeout(poll, 10);
    })();
  });
}
