// Checks our Polyglot book reader against Debian's polyglot: polyglot makes a book of a PGN and
// dumps its lines for each colour; our engine, given the book (BookFile), must answer every
// position of the dump where the book has moves with one of those moves; from the start
// position it shows which of the book's first moves it played over the seeds.
//
//   node scripts/polyglot_check.mjs [PGN] [GAMES] [MAXPLY]   default: the first 200 games of
//                                                           data/pgn/master/Carlsen.pgn, 12 plies
// Needs /usr/games/polyglot (apt-get install polyglot), the engine in build/ and chess.js
// (npm ci --prefix scripts/match).
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const { Chess } = await import(path.join(root, 'scripts/match/uci.mjs'));
const pgn = process.argv[2] ?? path.join(root, 'data/pgn/master/Carlsen.pgn');
const games = Number(process.argv[3] ?? 200);
const maxPly = Number(process.argv[4] ?? 12);
const engine = process.env.ENGINE ?? path.join(root, 'build/quietmarmoset');
const seeds = 40;

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'qm-polyglot-'));
// The first GAMES games, line ends made plain for polyglot.
const text = fs.readFileSync(pgn, 'utf8').replace(/\r/g, '');
const starts = [...text.matchAll(/^\[Event /gm)].map((m) => m.index);
fs.writeFileSync(path.join(dir, 'games.pgn'), text.slice(0, starts[games] ?? text.length));
const book = path.join(dir, 'book.bin');
execFileSync('/usr/games/polyglot', ['make-book', '-pgn', 'games.pgn', '-bin', book, '-max-ply', String(maxPly)], {
  cwd: dir,
  stdio: 'ignore',
});

// node key (the moves so far, in coordinates) -> the set of book moves there, from the dumps.
const nodes = new Map();
for (const color of ['white', 'black']) {
  const out = path.join(dir, `${color}.txt`);
  execFileSync('/usr/games/polyglot', ['dump-book', '-bin', book, '-color', color, '-out', out], { stdio: 'ignore' });
  for (const line of fs.readFileSync(out, 'utf8').split('\n')) {
    const body = line.match(/^\d+: (.*)$/);
    if (!body) continue;
    const sans = body[1].replace(/\{[^}]*\}/g, ' ').split(/\s+/).filter((w) => w && !/^\d+\.$/.test(w));
    const chess = new Chess();
    const done = [];
    for (const san of sans) {
      const ours = (chess.turn() === 'w') === (color === 'white');
      const m = chess.move(san);
      const coord = m.from + m.to + (m.promotion ?? '');
      if (ours) {
        const key = done.join(' ');
        if (!nodes.has(key)) nodes.set(key, new Set());
        nodes.get(key).add(coord);
      }
      done.push(coord);
    }
  }
}

// One engine run asks every node with every seed.
let input = `uci\nsetoption name BookFile value ${book}\nsetoption name Ponder value false\n`;
const asked = [];
for (const [moves, set] of nodes)
  for (let s = 1; s <= seeds; s++) {
    input += `seed ${s}\nposition startpos${moves ? ' moves ' + moves : ''}\ngo depth 1\n`;
    asked.push([moves, set]);
  }
input += 'quit\n';
const reply = execFileSync(engine, [], { cwd: dir, input, maxBuffer: 1 << 28 }).toString();
if (!reply.includes(`Successfully loaded opening book file (${book})`)) {
  console.error('the engine did not load the book:\n' + reply.slice(0, 2000));
  process.exit(1);
}
const answers = [...reply.matchAll(/^bestmove (\S+)/gm)].map((m) => m[1]);
if (answers.length !== asked.length) {
  console.error(`asked ${asked.length} times, ${answers.length} answers`);
  process.exit(1);
}
let bad = 0;
const first = new Set();
answers.forEach((a, i) => {
  const [moves, set] = asked[i];
  if (!moves) first.add(a);
  if (!set.has(a)) {
    bad++;
    if (bad <= 10) console.log(`after "${moves}": ${a}, the book holds ${[...set].join(' ')}`);
  }
});
const startMoves = nodes.get('') ?? new Set();
console.log(`${nodes.size} book positions, ${answers.length} answers, ${bad} outside the book`);
console.log(`start position: book ${[...startMoves].join(' ')}; played ${[...first].join(' ')}`);
fs.rmSync(dir, { recursive: true, force: true });
process.exit(bad ? 1 : 0);
