// Prints the comparison table from the JSON lines of bench/peers/run.sh:
// every figure is the median of its repetitions, and the ratios set
// Tamsel's figure against each peer's.
//
// usage: node table.mjs RESULTS.jsonl
import { readFileSync } from 'node:fs';

const runs = readFileSync(process.argv[2], 'utf8').trim().split('\n').map((line) => JSON.parse(line));
const rows = [
  ['tamsel-imported', 'Tamsel, shipped + imported lists'],
  ['tamsel-snapshot', 'Tamsel, the same lists from their snapshot'],
  ['ghostery', 'peer A (@ghostery/adblocker)'],
  ['ubo', 'peer B (@gorhill/ubo-core)'],
  ['tamsel-shipped', 'Tamsel, shipped list only'],
];

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
};
const figures = {};
for (const [label] of rows) {
  const mine = runs.filter((r) => r.label === label);
  if (mine.length === 0) continue;
  const f = {};
  for (const key of ['medianNs', 'p99Ns', 'coldMedianNs', 'coldP99Ns', 'loadMs', 'memoryBytes', 'externalBytes',
                     'growthBytes', 'refused', 'timerPairNs']) {
    if (mine[0][key] !== undefined) f[key] = median(mine.map((r) => r[key]));
  }
  f.memory = f.memoryBytes + f.externalBytes;
  f.repetitions = mine.length;
  f.size = mine[0].lines ?? '';
  figures[label] = f;
}

// Two decimals below a microsecond, where Tamsel's figures lie.
const us = (ns) => `${(ns / 1000).toFixed(ns < 1000 ? 2 : 1)} µs`;
const ms = (v) => `${v.toFixed(v < 10 ? 1 : 0)} ms`;
const mib = (b) => `${(b / 1048576).toFixed(1)} MiB`;
const requests = runs[0]?.requests ?? 0;
const repetitions = Math.max(...Object.values(figures).map((f) => f.repetitions));
console.log(`${requests} requests, each timed on its own (cold: the pass straight after the load; warmed: the ` +
            `three passes after it); ${repetitions} repetitions interleaved, each figure the median of its ` +
            'repetitions\n');
console.log('| | list lines | median, warmed | p99, warmed | median, cold | p99, cold | load | list memory | ' +
            'growth after judging | refused |');
console.log('|---|---|---|---|---|---|---|---|---|---|');
for (const [label, name] of rows) {
  const f = figures[label];
  if (!f) continue;
  console.log(`| ${name} | ${f.size} | ${us(f.medianNs)} | ${us(f.p99Ns)} | ${us(f.coldMedianNs)} | ` +
              `${us(f.coldP99Ns)} | ${ms(f.loadMs)} | ${mib(f.memory)} | ` +
              `${mib(f.growthBytes)} | ${f.refused} |`);
}

console.log('\n| Tamsel / peer, warmed | median | p99 | load | list memory |');
console.log('|---|---|---|---|---|');
for (const [mine, how] of [['tamsel-imported', 'parsed'], ['tamsel-snapshot', 'from its snapshot']]) {
  const ours = figures[mine];
  if (!ours) continue;
  for (const [label, name] of rows.filter(([l]) => l === 'ghostery' || l === 'ubo')) {
    const p = figures[label];
    if (!p) continue;
    const r = (a, b) => `${(a / b).toFixed(2)}x`;
    console.log(`| Tamsel (${how}) / ${name} | ${r(ours.medianNs, p.medianNs)} | ${r(ours.p99Ns, p.p99Ns)} | ` +
                `${r(ours.loadMs, p.loadMs)} | ${r(ours.memory, p.memory)} |`);
  }
}
const timers = rows.filter(([label]) => figures[label]?.timerPairNs !== undefined)
  .map(([label, name]) => `${name} ${figures[label].timerPairNs} ns`);
if (timers.length > 0) {
  console.log(`\nEvery time includes the timer's own; a pair of timer reads cost: ${timers.join(', ')}.`);
}
console.log('\nList memory: Tamsel, the allocator\'s bytes in use after the load less before it (mallinfo2), ' +
            'plus the snapshot file read in place; ' +
            'peers, V8\'s heap plus external memory (typed arrays) after a collection, less before the parse.');
