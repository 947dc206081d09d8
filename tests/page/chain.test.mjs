// The whole road of a window.mp call: the page shim exactly as the executable hands it to
// the engine runs in Chromium, a page call becomes a console text, and that text, logged
// by a page of the executable, reaches the client as a PageMessage the client SDK decodes.
import { it, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { mkdtempSync, readFileSync, writeFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { launchBrowser, readScript } from "./cdp.mjs";

const helper = process.env.NIMO_CHAIN_HELPER;
const wineRun = process.env.NIMO_WINE_RUN;
const skip = !helper || !wineRun ? "needs NIMO_CHAIN_HELPER and NIMO_WINE_RUN (run through CTest)" : false;

// Wine sees the Linux root as drive Z:.
const winPath = (p) => "Z:" + p.replace(/\//g, "\\");

function runHelper(...args) {
  const r = spawnSync(wineRun, [helper, ...args], { encoding: "utf8", timeout: 90000 });
  assert.equal(r.status, 0, `chain_helper ${args[0]} failed: ${r.stderr}${r.stdout}`);
}

let dir;
let browser;
before(async () => {
  dir = mkdtempSync(join(tmpdir(), "nimo-chain-"));
  if (!skip) browser = await launchBrowser();
});
after(async () => {
  if (browser) await browser.close();
  rmSync(dir, { recursive: true, force: true });
});

it("carries a page's invoke call to the client", { skip }, async () => {
  const shimFile = join(dir, "shim.js");
  runHelper("capture", winPath(shimFile));
  const injected = readFileSync(shimFile, "utf8");
  assert.equal(injected, readScript("page_shim.js"), "the executable injects the shim file as it stands");

  const page = await browser.newPage();
  await page.evaluate(injected);
  await page.evaluate(`mp.invoke("buy", "sword|\\u00e9", 3, true, null, [1, {"a": "b"}], NaN)`);
  await page.settle();
  await page.close();
  assert.equal(page.consoleTexts.length, 1);
  const consoleFile = join(dir, "console.txt");
  writeFileSync(consoleFile, page.consoleTexts[0], "utf8");

  const decodedFile = join(dir, "decoded.txt");
  runHelper("deliver", winPath(consoleFile), winPath(decodedFile));
  assert.equal(readFileSync(decodedFile, "utf8"), [
    "surface=0", "kind=invoke", "name=buy", "well_formed=1",
    "arg=s:sword|\u00e9", "arg=n:3", "arg=b:1", "arg=z:", 'arg=o:[1,{"a":"b"}]', "arg=z:", ""].join("\n"));
});

it("carries a page event from the host library to the page's handlers unbroken", { skip }, async () => {
  const shimFile = join(dir, "shim2.js");
  runHelper("capture", winPath(shimFile));
  const emitFile = join(dir, "emit.js");
  runHelper("emit", winPath(emitFile));
  const emitted = readFileSync(emitFile, "utf8");

  const page = await browser.newPage();
  await page.evaluate(readFileSync(shimFile, "utf8"));
  const got = await page.evaluate(`var got = null;
    mp.events.add("ev", function () { got = Array.from(arguments); });
    ${emitted}
    JSON.stringify({got: got, hacked: window.hacked === undefined, proto: got && Object.keys(got[14])})`);
  await page.close();
  const r = JSON.parse(got);
  assert.equal(r.hacked, true, "no string ran as code");
  assert.deepEqual(r.proto, ["__proto__", 'k"'], "every key an own key");
  assert.deepEqual(r.got, [
    '"); window.hacked = 1; ("', "'); window.hacked = 2; ('", "back\\slash\\",
    "lines\n\r\u2028\u2029end", "</script><!--", "nul\u0000byte", "bad \ufffd( utf8", "\u{1F600}",
    "${window.hacked = 3}`", 1.5, null, true, null, [1, "two"], { ["__proto__"]: 1, 'k"': "v" }]);
});
