// Writes the openings in the order the match runner's --seed S would play them, cut into disjoint
// parts of PAIRS openings each, so a long match can be played in sittings (each part without --seed)
// and the parts together are the same games as one run with --seed S.
//
//   node scripts/split_openings.mjs SEED PAIRS OUTPREFIX    e.g. node scripts/split_openings.mjs 1 50 /tmp/part
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const { parseOpenings, rng } = await import(path.join(root, 'scripts/match/uci.mjs'));
const [seed, pairs, prefix] = [Number(process.argv[2]), Number(process.argv[3]), process.argv[4]];
if (!Number.isInteger(seed) || !(pairs > 0) || !prefix) {
  console.error('usage: node scripts/split_openings.mjs SEED PAIRS OUTPREFIX');
  process.exit(2);
}
const openings = parseOpenings(fs.readFileSync(path.join(root, 'data/openings.epd'), 'utf8'));
const rand = rng(seed);
for (let i = openings.length - 1; i > 0; i--) {
  const j = Math.floor(rand() * (i + 1));
  [openings[i], openings[j]] = [openings[j], openings[i]];
}
for (let p = 0; p * pairs < openings.length; p++) {
  const file = `${prefix}${p + 1}.epd`;
  fs.writeFileSync(file, openings.slice(p * pairs, (p + 1) * pairs).join('\n') + '\n');
  console.log(file);
}
