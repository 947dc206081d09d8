import { describe, it, before, after, beforeEach, afterEach } from "node:test";
import assert from "node:assert/strict";
import { launchBrowser, readScript } from "./cdp.mjs";

const PROBE = readScript("rate_probe.js");
const MARKER_STYLE = {
  position: "fixed", right: "0px", bottom: "0px", width: "1px", height: "1px", opacity: "0.01",
  pointerEvents: "none", zIndex: "2147483647", backgroundColor: "rgb(0, 0, 0)",
};

// Page time and animation frames under the test's control: the probe only sees
// performance.now() and requestAnimationFrame.
const FAKE_CLOCK = `
  window.__now = 0; window.__queue = []; window.__rafCalls = 0;
  performance.now = () => window.__now;
  window.requestAnimationFrame = (cb) => { window.__rafCalls++; window.__queue.push(cb); return window.__rafCalls; };
  window.__frames = (n, ms) => {
    for (let i = 0; i < n; i++) {
      window.__now += ms;
      const q = window.__queue; window.__queue = [];
      for (const cb of q) cb(window.__now);
    }
  };
  window.__markers = () => Array.from(document.querySelectorAll("div")).filter((d) => d.style.zIndex === "2147483647");
`;

let browser;
let page;
before(async () => { browser = await launchBrowser(); });
after(async () => { await browser.close(); });
beforeEach(async () => {
  page = await browser.newPage();
  await page.evaluate(FAKE_CLOCK);
});
afterEach(async () => { await page.close(); });

const perfLines = () => page.consoleTexts.filter((t) => typeof t === "string" && t.startsWith("NIMOPERF"));

describe("guard", () => {
  it("sets window.__mpRaf and schedules one frame", async () => {
    const r = await page.evaluate(`${PROBE}; JSON.stringify([window.__mpRaf, window.__rafCalls])`);
    assert.equal(r, "[1,1]");
  });

  it("does nothing when __mpRaf is already truthy, so a second run adds no loop", async () => {
    const r = await page.evaluate(`window.__mpRaf = "set"; ${PROBE};
      var first = [window.__mpRaf, window.__rafCalls];
      window.__mpRaf = 0; ${PROBE}; ${PROBE}; __frames(3, 16);
      JSON.stringify([first, window.__rafCalls, __markers().length])`);
    // One loop: 1 initial request plus one per frame.
    assert.equal(r, '[["set",0],4,1]');
  });
});

describe("marker", () => {
  it("has the exact style and moves one pixel on every animation frame", async () => {
    const r = await page.evaluate(`${PROBE};
      var seen = [];
      for (let i = 0; i < 4; i++) { __frames(1, 16); seen.push(__markers()[0].style.transform); }
      var m = __markers()[0];
      JSON.stringify({ parent: m.parentNode === document.body, count: __markers().length, seen,
        style: Object.fromEntries(${JSON.stringify(Object.keys(MARKER_STYLE))}.map((k) => [k, getComputedStyle(m)[k]])) })`);
    const got = JSON.parse(r);
    assert.equal(got.parent, true);
    assert.equal(got.count, 1);
    assert.deepEqual(got.seen, ["translateX(1px)", "translateX(0px)", "translateX(1px)", "translateX(0px)"]);
    assert.deepEqual(got.style, MARKER_STYLE);
  });

  it("is created only once document.body exists, and only once", async () => {
    const r = await page.evaluate(`var body = document.body; body.remove(); ${PROBE};
      __frames(3, 16);
      var before = document.querySelectorAll("div").length;
      document.documentElement.appendChild(body);
      __frames(1, 16);
      var m = __markers();
      __frames(2, 16);
      JSON.stringify([before, m.length, m[0].style.transform, __markers().length])`);
    // Frame 4 is the first with a body: an even frame, so the marker starts at zero.
    assert.equal(r, '[0,1,"translateX(0px)",1]');
  });

  it("keeps moving on the frames around the start of a new rate window", async () => {
    // 70 ms frames: the window ends on its 143rd frame, an odd count, the frame after
    // starts the next window's count.
    const r = await page.evaluate(`${PROBE};
      var seen = [];
      for (let i = 0; i < 150; i++) { __frames(1, 70); seen.push(__markers()[0].style.transform); }
      JSON.stringify(seen.map((t, i) => i > 0 && t === seen[i - 1] ? i + 1 : 0).filter((f) => f))`);
    await page.settle();
    assert.equal(perfLines().length, 1, "the rate window did not restart");
    assert.equal(r, "[]", "frames on which the marker stayed where it was");
  });
});

describe("rate line", () => {
  it("is written once 10 s of frames have passed, with the rate of that window", async () => {
    await page.evaluate(`${PROBE}; __frames(333, 30)`);
    await page.settle();
    assert.deepEqual(perfLines(), [], "no line before 10000 ms");
    const nodes = await page.evaluate(`__frames(1, 30); document.getElementsByTagName("*").length`);
    await page.settle();
    // 334 frames in 10.02 s.
    assert.deepEqual(perfLines(), [`NIMOPERF page rAF 33.3 fps defer=0 nodes=${nodes}`]);
  });

  it("starts a new window after each line and reports __mpDeferN", async () => {
    const nodes = await page.evaluate(`${PROBE}; __frames(500, 20);
      window.__mpDeferN = 7; __frames(100, 50);
      document.body.appendChild(document.createElement("p"));
      __frames(100, 50);
      document.getElementsByTagName("*").length`);
    await page.settle();
    assert.deepEqual(perfLines(), [`NIMOPERF page rAF 50.0 fps defer=0 nodes=${nodes - 1}`,
      `NIMOPERF page rAF 20.0 fps defer=7 nodes=${nodes}`]);
  });

  it("counts the 10 s from the probe's start even when the first frame comes late", async () => {
    await page.evaluate(`${PROBE}; window.__now = 9990; __frames(1, 10); __frames(1, 1000)`);
    await page.settle();
    assert.deepEqual(perfLines().map((l) => l.split(" fps")[0]), ["NIMOPERF page rAF 0.1"]);
  });

  it("writes nothing while the page gets no animation frames", async () => {
    await page.evaluate(`${PROBE}; window.__now = 60000`);
    await page.settle();
    assert.deepEqual(perfLines(), []);
  });
});

describe("in a real page", () => {
  it("keeps moving the marker on the browser's own animation frames", async () => {
    const p = await browser.newPage();
    try {
      const seen = await p.evaluate(`${PROBE};
        new Promise((resolve) => {
          const seen = [];
          function look() {
            const m = Array.from(document.querySelectorAll("div")).find((d) => d.style.zIndex === "2147483647");
            if (m) seen.push(m.style.transform);
            if (seen.length >= 6) resolve(seen); else requestAnimationFrame(look);
          }
          requestAnimationFrame(look);
        })`);
      const distinct = new Set(seen);
      assert.deepEqual([...distinct].sort(), ["translateX(0px)", "translateX(1px)"]);
    } finally { await p.close(); }
  });
});

// Protocol-3 sessions run the probe inside its leash, which the engine can stop.
describe("leash", () => {
  const LEASHED = readScript("probe_leash.js").replace("/*PROBE*/", PROBE);
  const FAKE_CANCEL = `window.__cancelled = [];
    window.cancelAnimationFrame = (id) => { window.__cancelled.push(id); window.__queue = []; };`;

  it("leaves the probe as it is until stopped, then its marker goes and it asks for no frame again", async () => {
    const before = await page.evaluate(`${FAKE_CANCEL}; ${LEASHED};
      var seen = [];
      for (let i = 0; i < 3; i++) { __frames(1, 16); seen.push(__markers()[0].style.transform); }
      JSON.stringify([window.__mpRaf, window.__rafCalls, seen])`);
    assert.equal(before, '[1,4,["translateX(1px)","translateX(0px)","translateX(1px)"]]');
    const after = await page.evaluate(`window.__mpRafLeash.stop(); var gone = __markers().length;
      __frames(700, 16);
      JSON.stringify([gone, window.__cancelled, window.__rafCalls, __markers().length])`);
    await page.settle();
    // The frame asked for last (the fourth) is cancelled; 11 s of page time write no line.
    assert.equal(after, "[0,[4],4,0]");
    assert.deepEqual(perfLines(), []);
  });

  it("keeps one leash for one loop when the probe is run twice, so a stop still ends it", async () => {
    const r = await page.evaluate(`${FAKE_CANCEL}; ${LEASHED}; var first = window.__mpRafLeash;
      ${LEASHED}; var same = window.__mpRafLeash === first;
      window.__mpRafLeash.stop(); __frames(3, 16);
      JSON.stringify([same, window.__rafCalls, __markers().length])`);
    assert.equal(r, "[true,1,0]");
  });
});
