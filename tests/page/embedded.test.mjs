// The generated header must carry the scripts in bridge/ byte for byte.
import { it } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { repoRoot } from "./cdp.mjs";

const headerPath = process.env.NIMO_PAGE_SCRIPTS_HEADER ||
  join(repoRoot, "build", "cross", "generated", "bridge", "page_scripts.h");

function embedded(header, symbol) {
  const array = new RegExp(`char ${symbol}\\[\\] = \\{([^}]*)\\};`).exec(header);
  const length = new RegExp(`std::size_t ${symbol}Length = (\\d+);`).exec(header);
  assert.ok(array && length, `${symbol} not found in the header`);
  const bytes = [...array[1].matchAll(/'\\x([0-9a-f]{2})'/g)].map((m) => parseInt(m[1], 16));
  assert.match(array[1].trim(), /'\\0'$/, "the array ends with a terminator");
  return { bytes: Buffer.from(bytes), length: Number(length[1]) };
}

for (const [symbol, file] of [["kPageShim", "page_shim.js"], ["kRateProbe", "rate_probe.js"],
                             ["kFocusWatch", "focus_watch.js"], ["kProbeLeash", "probe_leash.js"],
                             ["kPageCall", "page_call.js"]]) {
  it(`${symbol} is bridge/${file} byte for byte`, () => {
    const header = readFileSync(headerPath, "latin1");
    const source = readFileSync(join(repoRoot, "bridge", file));
    const got = embedded(header, symbol);
    assert.equal(got.length, source.length);
    assert.ok(got.bytes.equals(source), "embedded bytes differ from the script file");
  });
}
