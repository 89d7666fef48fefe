// One peer engine's side of the comparison: parse the lists, then judge every
// request of the corpus, each timed on its own: one pass straight after the
// load (cold: the engine's code is still being compiled) and then the
// warmed passes that a long-lived browser sees. Prints one JSON line.
//
// usage: node --expose-gc peer_engine.mjs ghostery|ubo REQUESTS.json LIST...
import { readFileSync } from 'node:fs';

const [engineName, requestsPath, ...listPaths] = process.argv.slice(2);
if (!['ghostery', 'ubo'].includes(engineName) || !requestsPath || listPaths.length === 0) {
  console.error('usage: node --expose-gc peer_engine.mjs ghostery|ubo REQUESTS.json LIST...');
  process.exit(2);
}
if (typeof globalThis.gc !== 'function') {
  console.error('peer_engine.mjs: run node with --expose-gc');
  process.exit(2);
}

// The corpus names request types as a page inspector does; both engines
// take the browser's own names.
const typeNames = { xhr: 'xmlhttprequest', subdocument: 'sub_frame' };
const requests = JSON.parse(readFileSync(requestsPath, 'utf8')).map((r) => ({
  url: r.url,
  sourceUrl: r.sourceUrl,
  type: typeNames[r.type] ?? r.type,
}));
const lists = listPaths.map((path) => readFileSync(path, 'utf8'));

function heapBytes() {
  globalThis.gc();
  globalThis.gc();
  const m = process.memoryUsage();
  return { heap: m.heapUsed, external: m.external };  // external includes ArrayBuffers
}

// Each engine: a loader that returns a judge(request) -> blocked?
const engines = {
  async ghostery() {
    const { FiltersEngine, Request } = await import('@ghostery/adblocker');
    const engine = FiltersEngine.parse(lists.join('\n'));
    return (r) => engine.match(Request.fromRawDetails(r)).match;
  },
  async ubo() {
    const { StaticNetFilteringEngine } = await import('@gorhill/ubo-core');
    const engine = await StaticNetFilteringEngine.create();
    await engine.useLists(lists.map((raw, i) => ({ name: `list${i}`, raw })));
    return (r) => engine.matchRequest({ originURL: r.sourceUrl, url: r.url, type: r.type }) === 1;
  },
};

// The engine's module is imported before the measure so that only the
// parse of the lists counts as load.
await import(engineName === 'ghostery' ? '@ghostery/adblocker' : '@gorhill/ubo-core');
const before = heapBytes();
const start = process.hrtime.bigint();
const judge = await engines[engineName]();
const loadNs = process.hrtime.bigint() - start;
const loaded = heapBytes();

const warmPasses = 3;
// Times every request of one pass into `times` from `offset` on; returns how many were refused.
function timePass(times, offset) {
  let blocked = 0;
  for (let i = 0; i < requests.length; ++i) {
    const t0 = process.hrtime.bigint();
    const refused = judge(requests[i]);
    times[offset + i] = Number(process.hrtime.bigint() - t0);
    if (refused) ++blocked;
  }
  return blocked;
}
const cold = new Float64Array(requests.length);
const warm = new Float64Array(requests.length * warmPasses);
const blocked = timePass(cold, 0);
for (let pass = 0; pass < warmPasses; ++pass) timePass(warm, pass * requests.length);
const pairs = new Float64Array(10000);
for (let i = 0; i < pairs.length; ++i) {
  const t0 = process.hrtime.bigint();
  pairs[i] = Number(process.hrtime.bigint() - t0);
}
const judged = heapBytes();
pairs.sort();
cold.sort();
warm.sort();
const quantile = (times, q) => times[Math.min(times.length - 1, Math.floor(q * times.length))];
const at = (q) => quantile(warm, q);

console.log(JSON.stringify({
  engine: engineName,
  lines: lists.reduce((n, text) => n + text.split('\n').filter((line) => line.trim() !== '').length, 0),
  requests: requests.length,
  refused: blocked,
  medianNs: at(0.5),
  p99Ns: at(0.99),
  coldMedianNs: quantile(cold, 0.5),
  coldP99Ns: quantile(cold, 0.99),
  timerPairNs: quantile(pairs, 0.5),
  loadMs: Number(loadNs) / 1e6,
  memoryBytes: loaded.heap - before.heap,
  externalBytes: loaded.external - before.external,
  growthBytes: judged.heap - loaded.heap,
}));
