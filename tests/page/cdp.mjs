// Minimal Chrome DevTools Protocol client for the page-script tests: starts a headless
// Chromium, opens pages, evaluates script in them and records their console output.
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync, readFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, dirname } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
export const repoRoot = join(here, "..", "..");

// The script texts exactly as the product embeds them.
export function readScript(name) {
  return readFileSync(join(repoRoot, "bridge", name), "utf8");
}

const CHROMIUM = process.env.NIMO_CHROMIUM || "/usr/lib/chromium/chromium";

export async function launchBrowser() {
  const profile = mkdtempSync(join(tmpdir(), "nimo-page-"));
  const child = spawn(CHROMIUM, [
    "--headless", "--no-sandbox", "--disable-gpu",
    "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
    "--no-first-run", "--disable-background-networking", "--disable-component-update",
    "--disable-sync", `--user-data-dir=${profile}`, "about:blank",
  ], { stdio: ["ignore", "ignore", "pipe"] });

  const wsUrl = await new Promise((resolve, reject) => {
    let text = "";
    const timer = setTimeout(() => reject(new Error("Chromium did not start:\n" + text)), 20000);
    child.stderr.on("data", (chunk) => {
      text += chunk;
      const m = /DevTools listening on (ws:\/\/\S+)/.exec(text);
      if (m) { clearTimeout(timer); resolve(m[1]); }
    });
    child.on("exit", (code) => { clearTimeout(timer); reject(new Error(`Chromium exited ${code}:\n${text}`)); });
  });
  child.stderr.resume();

  const ws = new WebSocket(wsUrl);
  await new Promise((resolve, reject) => {
    ws.onopen = resolve;
    ws.onerror = () => reject(new Error("cannot connect to " + wsUrl));
  });

  let nextId = 1;
  const pending = new Map();
  const sessions = new Map();
  ws.onmessage = (event) => {
    const msg = JSON.parse(event.data);
    if (msg.id !== undefined) {
      const p = pending.get(msg.id);
      pending.delete(msg.id);
      if (!p) return;
      if (msg.error) p.reject(new Error(`${p.method}: ${msg.error.message}`));
      else p.resolve(msg.result);
    } else if (msg.sessionId && sessions.has(msg.sessionId)) {
      sessions.get(msg.sessionId)(msg.method, msg.params);
    }
  };
  function send(method, params = {}, sessionId) {
    const id = nextId++;
    const frame = { id, method, params };
    if (sessionId) frame.sessionId = sessionId;
    ws.send(JSON.stringify(frame));
    return new Promise((resolve, reject) => pending.set(id, { resolve, reject, method }));
  }

  async function newPage(url = "about:blank") {
    const { targetId } = await send("Target.createTarget", { url: "about:blank" });
    const { sessionId } = await send("Target.attachToTarget", { targetId, flatten: true });
    const consoleTexts = [];
    const listeners = new Set();
    sessions.set(sessionId, (method, params) => {
      if (method === "Runtime.consoleAPICalled") {
        // Everything the scripts log is one string argument; keep anything else visible.
        const args = params.args.map((a) => (a.type === "string" ? a.value : `<${a.type}>`));
        consoleTexts.push(args.length === 1 ? args[0] : args);
      }
      for (const l of listeners) l(method, params);
    });
    const call = (method, params) => send(method, params, sessionId);
    await call("Page.enable");
    await call("Runtime.enable");

    async function evaluate(expression) {
      const r = await call("Runtime.evaluate", { expression, returnByValue: true, awaitPromise: true });
      if (r.exceptionDetails) {
        const d = r.exceptionDetails;
        throw new Error("page exception: " + (d.exception && d.exception.description || d.text));
      }
      return r.result.value;
    }
    async function navigate(target) {
      const loaded = new Promise((resolve) => {
        const l = (method) => { if (method === "Page.loadEventFired") { listeners.delete(l); resolve(); } };
        listeners.add(l);
      });
      await call("Page.navigate", { url: target });
      await loaded;
    }
    if (url !== "about:blank") await navigate(url);
    return {
      consoleTexts, evaluate, navigate,
      // Console notifications of one evaluation may trail its reply: a second round trip
      // through the same session drains them.
      async settle() { await evaluate("0"); },
      async close() { sessions.delete(sessionId); await send("Target.closeTarget", { targetId }); },
    };
  }

  async function close() {
    try { await send("Browser.close"); } catch { /* already gone */ }
    ws.close();
    await new Promise((resolve) => {
      if (child.exitCode !== null) return resolve();
      const timer = setTimeout(() => { child.kill("SIGKILL"); resolve(); }, 5000);
      child.on("exit", () => { clearTimeout(timer); resolve(); });
    });
    rmSync(profile, { recursive: true, force: true });
  }
  return { newPage, close };
}
