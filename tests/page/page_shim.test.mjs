import { describe, it, before, after, beforeEach, afterEach } from "node:test";
import assert from "node:assert/strict";
import { launchBrowser, readScript } from "./cdp.mjs";

const SHIM = readScript("page_shim.js");
const S1 = "\u0001";
const S2 = "\u0002";
const arg = (tag, text = "") => S1 + S2 + tag + text;

let browser;
let page;
before(async () => { browser = await launchBrowser(); });
after(async () => { await browser.close(); });
beforeEach(async () => {
  page = await browser.newPage();
  await page.evaluate(SHIM);
});
afterEach(async () => { await page.close(); });

// Runs page code and returns the console texts it produced.
async function logged(code) {
  const from = page.consoleTexts.length;
  await page.evaluate(code);
  await page.settle();
  return page.consoleTexts.slice(from);
}

describe("console line of trigger, invoke and callRemote", () => {
  it("encodes the buy example byte for byte", async () => {
    const lines = await logged(`mp.invoke("buy", "sword", 3, true, null, [1,2], NaN)`);
    assert.deepEqual(lines, ["NIMOMP|invoke|buy" + arg("s", "sword") + arg("n", "3") + arg("b", "1") +
      arg("z") + arg("o", "[1,2]") + arg("z")]);
  });

  it("writes one line per call with the kind of the member", async () => {
    const lines = await logged(`mp.trigger("a", 1); mp.events.callRemote("b", 2); mp.invoke("c", 3)`);
    assert.deepEqual(lines, ["NIMOMP|trigger|a" + arg("n", "1"),
      "NIMOMP|callRemote|b" + arg("n", "2"), "NIMOMP|invoke|c" + arg("n", "3")]);
  });

  it("turns the name into text without encoding it", async () => {
    const lines = await logged(`mp.trigger("ping"); mp.trigger(); mp.trigger(null); mp.trigger("");
      mp.trigger(7); mp.trigger({}); mp.trigger(["x","y"]); mp.trigger(undefined, false)`);
    assert.deepEqual(lines, ["NIMOMP|trigger|ping", "NIMOMP|trigger|", "NIMOMP|trigger|",
      "NIMOMP|trigger|", "NIMOMP|trigger|7", "NIMOMP|trigger|[object Object]",
      "NIMOMP|trigger|x,y", "NIMOMP|trigger|" + arg("b", "0")]);
  });

  it("writes separators and bars inside names and strings unchanged", async () => {
    const lines = await logged(`mp.trigger("a\\u0001b|c", "x\\u0002y\\u0001z|", "")`);
    assert.deepEqual(lines, ["NIMOMP|trigger|a" + S1 + "b|c" + arg("s", "x" + S2 + "y" + S1 + "z|") + arg("s")]);
  });

  it("keeps non-ASCII text as it is", async () => {
    const lines = await logged(`mp.trigger("n\\u00e4me", "\\u{1F600}\\u20ac")`);
    assert.deepEqual(lines, ["NIMOMP|trigger|n\u00e4me" + arg("s", "\u{1F600}\u20ac")]);
  });

  it("writes finite numbers in the script's own notation and the rest as z", async () => {
    const lines = await logged(`mp.trigger("n", 42, 0.5, -3, 1e21, -0, 1/3, 5e-7, NaN, Infinity, -Infinity)`);
    assert.deepEqual(lines, ["NIMOMP|trigger|n" + arg("n", "42") + arg("n", "0.5") + arg("n", "-3") +
      arg("n", "1e+21") + arg("n", "0") + arg("n", "0.3333333333333333") + arg("n", "5e-7") +
      arg("z") + arg("z") + arg("z")]);
  });

  it("writes booleans as 1 and 0, null and undefined as z", async () => {
    const lines = await logged(`mp.trigger("v", true, false, null, undefined)`);
    assert.deepEqual(lines, ["NIMOMP|trigger|v" + arg("b", "1") + arg("b", "0") + arg("z") + arg("z")]);
  });

  it("writes objects, arrays and boxed values as their JSON text", async () => {
    const lines = await logged(`mp.trigger("o", {a:1,b:"x"}, [], {t:{toJSON(){return 9}}},
      new Date(Date.UTC(2020,0,2)), new Number(4), new String("s"), {u:undefined})`);
    assert.deepEqual(lines, ["NIMOMP|trigger|o" + arg("o", '{"a":1,"b":"x"}') + arg("o", "[]") +
      arg("o", '{"t":9}') + arg("o", '"2020-01-02T00:00:00.000Z"') + arg("o", "4") +
      arg("o", '"s"') + arg("o", "{}")]);
  });

  it("writes the word undefined where JSON gives no text", async () => {
    const lines = await logged(`mp.trigger("f", function () {}, Symbol("q"), {toJSON(){ return undefined; }})`);
    assert.deepEqual(lines, ["NIMOMP|trigger|f" + arg("o", "undefined") + arg("o", "undefined") +
      arg("o", "undefined")]);
  });

  it("writes z for values that cannot be encoded and still sends the rest", async () => {
    const lines = await logged(`var cyc = {}; cyc.self = cyc;
      mp.trigger("bad", cyc, 10n, {toJSON(){ throw new Error("no") }}, [1n], "after")`);
    assert.deepEqual(lines, ["NIMOMP|trigger|bad" + arg("z") + arg("z") + arg("z") + arg("z") +
      arg("s", "after")]);
  });

  it("never throws and returns nothing, writing no line when the name cannot become text", async () => {
    const result = await page.evaluate(`JSON.stringify([
      mp.trigger(Symbol("s")), mp.invoke({toString(){ throw 1 }}), mp.events.callRemote("ok")])`);
    assert.equal(result, "[null,null,null]");
    await page.settle();
    assert.deepEqual(page.consoleTexts, ["NIMOMP|callRemote|ok"]);
  });

  it("still writes its lines when the page silences or wraps console.log later", async () => {
    const lines = await logged(`var seen = [];
      console.log = () => { throw new Error("x") }; mp.trigger("a");
      console.log = (t) => seen.push(t); mp.invoke("b", 1);
      if (seen.length) throw new Error("the page's console.log was used")`);
    assert.deepEqual(lines, ["NIMOMP|trigger|a", "NIMOMP|invoke|b" + arg("n", "1")]);
  });
});

describe("guard", () => {
  it("leaves a window.mp that the page defined first alone", async () => {
    const p = await browser.newPage();
    try {
      const r = await p.evaluate(`window.mp = { mine: 1 }; ${SHIM};
        JSON.stringify([window.mp, typeof window.__mpEmit])`);
      assert.equal(r, '[{"mine":1},"undefined"]');
    } finally { await p.close(); }
  });

  it("keeps the first object and its handlers when run again in the same document", async () => {
    const r = await page.evaluate(`var first = window.mp, emit = window.__mpEmit, got = [];
      mp.events.add("e", (v) => got.push(v));
      ${SHIM};
      __mpEmit("e", [1]);
      JSON.stringify([window.mp === first, window.__mpEmit === emit, got])`);
    assert.equal(r, "[true,true,[1]]");
  });

  it("defines nothing but window.mp and window.__mpEmit", async () => {
    const p = await browser.newPage();
    try {
      const r = await p.evaluate(`var before = new Set(Object.getOwnPropertyNames(window)); ${SHIM};
        JSON.stringify(Object.getOwnPropertyNames(window).filter((n) => !before.has(n)).sort())`);
      assert.equal(r, '["__mpEmit","mp"]');
    } finally { await p.close(); }
  });
});

describe("handler table and events.call", () => {
  it("calls handlers in registration order, a twice-added function twice", async () => {
    const r = await page.evaluate(`var got = [];
      function a(x) { got.push("a" + x) } function b(x) { got.push("b" + x) }
      mp.events.add("e", a); mp.events.add("e", b); mp.events.add("e", a);
      mp.events.add("other", b);
      mp.events.call("e", 1);
      JSON.stringify(got)`);
    assert.equal(r, '["a1","b1","a1"]');
  });

  it("passes every argument and this null", async () => {
    const r = await page.evaluate(`var seen;
      mp.events.add("e", function () { "use strict"; seen = [this, Array.from(arguments)] });
      mp.events.call("e", 1, "two", [3]);
      JSON.stringify(seen)`);
    assert.equal(r, '[null,[1,"two",[3]]]');
  });

  it("isolates a throwing handler from the next ones", async () => {
    const r = await page.evaluate(`var got = [];
      mp.events.add("e", () => { throw new Error("boom") });
      mp.events.add("e", () => got.push("second"));
      mp.events.add("e", 42);
      mp.events.add("e", () => got.push("third"));
      var ret = mp.events.call("e");
      JSON.stringify([got, ret === undefined])`);
    assert.equal(r, '[["second","third"],true]');
  });

  it("removes every handler of one name and nothing else", async () => {
    const r = await page.evaluate(`var got = [];
      mp.events.add("x", () => got.push("x1")); mp.events.add("x", () => got.push("x2"));
      mp.events.add("y", () => got.push("y"));
      mp.events.remove("x");
      __mpEmit("x"); __mpEmit("y");
      mp.events.add("x", () => got.push("x3")); __mpEmit("x");
      JSON.stringify(got)`);
    assert.equal(r, '["y","x3"]');
  });

  it("does nothing for names without handlers, including names of Object members", async () => {
    const r = await page.evaluate(`var got = [];
      mp.events.call("none"); mp.events.remove("none");
      for (const n of ["constructor", "toString", "__proto__", "hasOwnProperty"]) mp.events.call(n);
      mp.events.add("__proto__", () => got.push("proto")); mp.events.add("constructor", () => got.push("ctor"));
      mp.events.call("__proto__"); __mpEmit("constructor");
      JSON.stringify(got)`);
    assert.equal(r, '["proto","ctor"]');
  });

  it("uses names as text", async () => {
    const r = await page.evaluate(`var got = [];
      mp.events.add(5, (v) => got.push(v)); mp.events.call("5", "a"); __mpEmit(5, ["b"]);
      JSON.stringify(got)`);
    assert.equal(r, '["a","b"]');
  });

  it("runs the handlers registered when the event started", async () => {
    const r = await page.evaluate(`var got = [];
      mp.events.add("e", function h() { got.push("h"); mp.events.add("e", h) });
      mp.events.call("e"); mp.events.call("e");
      JSON.stringify(got)`);
    assert.equal(r, '["h","h","h"]');
  });
});

describe("__mpEmit", () => {
  it("spreads an array, passes another truthy value as one argument and nothing for falsy ones", async () => {
    const r = await page.evaluate(`var got = [];
      mp.events.add("x", function () { got.push(Array.from(arguments)) });
      __mpEmit("x", [1, "a", null]); __mpEmit("x", []); __mpEmit("x", 5); __mpEmit("x", "s");
      __mpEmit("x", {k: 1}); __mpEmit("x", [[2]]);
      __mpEmit("x"); __mpEmit("x", 0); __mpEmit("x", ""); __mpEmit("x", null); __mpEmit("x", false);
      JSON.stringify(got)`);
    assert.equal(r, '[[1,"a",null],[],[5],["s"],[{"k":1}],[[2]],[],[],[],[],[]]');
  });

  it("looks window.mp.events.call up at each call", async () => {
    const r = await page.evaluate(`var got = [];
      window.mp.events.call = function () { got.push(Array.from(arguments)) };
      __mpEmit("later", [1, 2]);
      JSON.stringify(got)`);
    assert.equal(r, '[["later",1,2]]');
  });
});
