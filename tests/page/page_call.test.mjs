import { describe, it, before, after, beforeEach, afterEach } from "node:test";
import assert from "node:assert/strict";
import { launchBrowser, readScript } from "./cdp.mjs";

const SHIM = readScript("page_shim.js");
const CALL = readScript("page_call.js");
const LINE = /^NIMOCALL\|([a-z0-9]+\.\d+)\|(.*)$/;

let browser;
let page;
before(async () => { browser = await launchBrowser(); });
after(async () => { await browser.close(); });
beforeEach(async () => { page = await browser.newPage(); });
afterEach(async () => { await page.close(); });

// Starts a call in the page; returns the token and JSON of the line it wrote.
async function startCall(code) {
  const from = page.consoleTexts.length;
  await page.evaluate(`window.result = undefined; (${code}).then(v => { window.result = {value: v}; },
    e => { window.result = {error: e.constructor.name, message: e.message, reason: e.reason}; }); 0`);
  await page.settle();
  const lines = page.consoleTexts.slice(from);
  assert.equal(lines.length, 1, `one call line: ${JSON.stringify(lines)}`);
  const m = LINE.exec(lines[0]);
  assert.ok(m, lines[0]);
  return { token: m[1], json: m[2] };
}

describe("window.mp.call", () => {
  it("is added to the engine's own window.mp only", async () => {
    await page.evaluate(`window.mp = {trigger() {}}; 0`);
    await page.evaluate(SHIM + "\n" + CALL);
    assert.equal(await page.evaluate(`typeof window.mp.call + typeof window.__mpSettle`), "undefinedundefined");
    const fresh = await browser.newPage();
    await fresh.evaluate(SHIM + "\n" + CALL + "\n" + CALL);
    assert.equal(await fresh.evaluate(`typeof window.mp.call`), "function");
    await fresh.close();
  });

  it("writes one line per call and settles each by its own token", async () => {
    await page.evaluate(SHIM + "\n" + CALL);
    const add = await startCall(`mp.call("add", 2, {a: [true, null, "x"]})`);
    assert.equal(add.json, '{"name":"add","args":[2,{"a":[true,null,"x"]}]}');
    const other = await startCall(`mp.call("other")`);
    assert.notEqual(other.token, add.token);
    await page.evaluate(`window.__mpSettle(${JSON.stringify(add.token)}, 0, "5"); 0`);
    await page.settle();
    assert.deepEqual(await page.evaluate(`window.result`), { value: 5 });
    // A second answer and an unknown token settle nothing, `other` included.
    await page.evaluate(`window.result = undefined; window.__mpSettle(${JSON.stringify(add.token)}, 0, "6");
      window.__mpSettle("nope.1", 0, "7"); 0`);
    await page.settle();
    assert.deepEqual(await page.evaluate(`window.result`), undefined);
    await page.evaluate(`window.__mpSettle(${JSON.stringify(other.token)}, 1, '"out of stock"'); 0`);
    await page.settle();
    assert.deepEqual(await page.evaluate(`window.result`), { error: "Error", message: "out of stock", reason: "out of stock" });
  });

  it("resolves with the game's value and rejects with its reason", async () => {
    await page.evaluate(SHIM + "\n" + CALL);
    let c = await startCall(`mp.call("x")`);
    await page.evaluate(`window.__mpSettle(${JSON.stringify(c.token)}, 0, '{"list":[1,2]}'); 0`);
    await page.settle();
    assert.deepEqual(await page.evaluate(`window.result`), { value: { list: [1, 2] } });
    c = await startCall(`mp.call("x")`);
    await page.evaluate(`window.__mpSettle(${JSON.stringify(c.token)}, 1, '{"code":7}'); 0`);
    await page.settle();
    assert.deepEqual(await page.evaluate(`window.result`), { error: "Error", message: '{"code":7}', reason: { code: 7 } });
    c = await startCall(`mp.call("x")`);
    await page.evaluate(`window.__mpSettle(${JSON.stringify(c.token)}, 0, "not json"); 0`);
    await page.settle();
    assert.deepEqual(await page.evaluate(`window.result`),
      { error: "Error", message: "the game's answer is not JSON" });
  });

  it("refuses at once what JSON cannot carry, sending nothing", async () => {
    await page.evaluate(SHIM + "\n" + CALL);
    for (const value of ["undefined", "() => 1", "Symbol('s')", "1n", "NaN", "Infinity", "[1, NaN]",
                         "(() => { const o = {}; o.self = o; return o; })()"]) {
      const from = page.consoleTexts.length;
      const got = await page.evaluate(`mp.call("x", ${value}).then(() => "resolved", e => e.constructor.name)`);
      await page.settle();
      assert.equal(got, "TypeError", value);
      assert.equal(page.consoleTexts.length, from, `nothing written for ${value}`);
    }
  });
});
