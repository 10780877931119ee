// Adds up the summaries of a match played in sittings (scripts/matches.sh output files) and prints
// the combined Elo with the match runner's own statistics.
//
//   node scripts/combine_matches.mjs match-results/threads-10+0.1-part*.txt
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const { PENTANOMIAL, TRINOMIAL, eloInterval, fmtElo } = await import(path.join(root, 'scripts/match/stats.mjs'));
const files = process.argv.slice(2);
if (!files.length) {
  console.error('usage: node scripts/combine_matches.mjs SUMMARY.txt...');
  process.exit(2);
}
const wdl = [0, 0, 0], penta = [0, 0, 0, 0, 0], forfeits = new Map();
let names = null;
for (const f of files) {
  let text;
  try {
    text = fs.readFileSync(f, 'utf8');
  } catch (e) {
    console.error(`${f}: ${e.message}`);
    process.exit(1);
  }
  const head = text.match(/^=== (.+) vs (.+): (\d+) games ===$/m);
  const first = head && text.match(new RegExp(`^${head[1].replace(/[.*+?^${}()|[\]\\]/g, '\\$&')}\\s+W (\\d+)  D (\\d+)  L (\\d+)`, 'm'));
  const pen = text.match(/LL\.\.WW (\[[\d,]+\])/);
  if (!head || !first) {
    console.error(`${f}: no finished match summary`);
    process.exit(1);
  }
  names ??= [head[1], head[2]];
  const [w, d, l] = first.slice(1).map(Number);
  wdl[0] += l, wdl[1] += d, wdl[2] += w;
  if (pen) JSON.parse(pen[1]).forEach((c, i) => (penta[i] += c));
  for (const m of text.matchAll(/^Forfeits (\S+): (.+)$/gm)) {
    const sum = forfeits.get(m[1]) ?? {};
    for (const kv of m[2].matchAll(/([a-z ]+?) (\d+)(?:, |$)/g)) sum[kv[1].trim()] = (sum[kv[1].trim()] ?? 0) + Number(kv[2]);
    forfeits.set(m[1], sum);
  }
  console.log(`${f}: +${w} =${d} -${l}`);
}
const n = wdl[0] + wdl[1] + wdl[2];
const elo = (e) => `${fmtElo(e.elo)} +/- ${e.pm.toFixed(1)} [${fmtElo(e.lo)}, ${fmtElo(e.hi)}]`;
console.log(`\n=== ${names[0]} vs ${names[1]}: ${n} games in ${files.length} part(s) ===`);
console.log(`${names[0]}: W ${wdl[2]}  D ${wdl[1]}  L ${wdl[0]}  score ${(wdl[2] + wdl[1] / 2).toFixed(1)}/${n}`);
if (penta.some(Boolean)) console.log(`Elo ${names[0]} - ${names[1]}: ${elo(eloInterval(PENTANOMIAL, penta))} (95%, pentanomial, LL..WW ${JSON.stringify(penta)})`);
console.log(`Elo ${names[0]} - ${names[1]}: ${elo(eloInterval(TRINOMIAL, wdl))} (95%, trinomial)`);
for (const [who, kinds] of forfeits) console.log(`Forfeits ${who}: ${Object.entries(kinds).map(([k, v]) => `${k} ${v}`).join(', ')}`);
