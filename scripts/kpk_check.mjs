// Independent check of the "kpk" output with Debian's stockfish: for a random sample of the
// printed positions, stockfish (MultiPV 2, fixed depth) must prefer the printed best move and
// judge the second-best move a worse result (win/draw/loss class).
//
//   node scripts/kpk_check.mjs [--engine build/quietmarmoset] [--sf /usr/games/stockfish]
//                              [--sample 300] [--depth 20] [--seed 1]
import { spawn, execFileSync } from 'node:child_process';
import { createInterface } from 'node:readline';
import { Chess } from '../../shared/tools/match/node_modules/chess.js/dist/esm/chess.js';

const args = Object.fromEntries(
  process.argv.slice(2).reduce((a, v, i, all) => (v.startsWith('--') ? [...a, [v.slice(2), all[i + 1]]] : a), []));
const engine = args.engine ?? 'build/quietmarmoset';
const sfPath = args.sf ?? '/usr/games/stockfish';
const sample = Number(args.sample ?? 300);
const depth = Number(args.depth ?? 20);
let seed = Number(args.seed ?? 1);
const rand = () => ((seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648);

const out = execFileSync(engine, [], { input: 'kpk\nquit\n', maxBuffer: 1 << 28 }).toString();
const records = out.split('\n').map((l) => /^(.*) bm (\S+); id "KPK\.(\d+)"$/.exec(l)).filter(Boolean);
console.log(`${records.length} positions printed`);
for (let i = records.length - 1; i > 0; i--) {
  const j = Math.floor(rand() * (i + 1));
  [records[i], records[j]] = [records[j], records[i]];
}

const sf = spawn(sfPath);
const lines = createInterface({ input: sf.stdout });
const waiters = [];
lines.on('line', (l) => waiters.length && waiters[0](l));
const send = (s) => sf.stdin.write(s + '\n');
const until = (pred) => new Promise((res) => {
  const seen = [];
  waiters.push((l) => { seen.push(l); if (pred(l)) { waiters.shift(); res(seen); } });
});
const classOf = (kind, v) => (kind === 'mate' ? (v > 0 ? 1 : -1) : v >= 300 ? 1 : v <= -300 ? -1 : 0);

send('uci'); await until((l) => l === 'uciok');
send('setoption name MultiPV value 2'); send('isready'); await until((l) => l === 'readyok');
let ok = 0, bad = 0;
for (const [, fen, san, id] of records.slice(0, sample)) {
  const board = new Chess(fen + (fen.split(' ').length < 5 ? ' 0 1' : ''));
  const m = board.move(san);
  const uci = m.from + m.to + (m.promotion ?? '');
  send('ucinewgame'); send(`position fen ${fen}${fen.split(" ").length < 5 ? " 0 1" : ""}`);
  send(`go depth ${depth}`);
  const seen = await until((l) => l.startsWith('bestmove'));
  const best = {}, moveOf = {};
  for (const l of seen) {
    const r = / multipv (\d) score (cp|mate) (-?\d+).* pv (\S+)/.exec(l);
    if (r) { best[r[1]] = classOf(r[2], Number(r[3])); moveOf[r[1]] = r[4]; }
  }
  const single = board.moves().length === 1 || best[2] === undefined || best[2] < best[1];
  if (moveOf[1] === uci && single) ok++;
  else { bad++; console.log(`KPK.${id} ${fen} bm ${san}: stockfish ${moveOf[1]} (${best[1]}), second ${moveOf[2]} (${best[2]})`); }
}
send('quit');
console.log(`${ok} of ${ok + bad} confirmed`);
