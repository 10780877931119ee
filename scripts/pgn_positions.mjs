// Labelled positions for the "tune" command: every position of the finished games in the PGN
// files (from the game's FEN tag or the start), written as "FEN;RESULT;CASTLED" lines with the
// result from white's side and the sides that have castled in the game so far (W, B, WB or -:
// a FEN cannot say it, and the king safety asks). The first plies of each game (the opening, shared by many games) and
// positions repeated within the output are left out.
//
//   node scripts/pgn_positions.mjs [--skip 8] PGN... > positions.txt
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const { Chess } = await import(path.join(root, 'scripts/match/uci.mjs'));

let skip = 8;
const files = [];
for (let i = 2; i < process.argv.length; i++) {
  if (process.argv[i] === '--skip') skip = Number(process.argv[++i]);
  else files.push(process.argv[i]);
}
if (!files.length || !(skip >= 0)) {
  console.error('usage: node scripts/pgn_positions.mjs [--skip PLIES] PGN... > positions.txt');
  process.exit(2);
}

const seen = new Set();
let games = 0, skipped = 0, written = 0;
const out = [];
const flush = () => { if (out.length) { fs.writeSync(1, out.join('')); out.length = 0; } };

// Games are split at each "[Event " tag; a game whose moves cannot be replayed is skipped.
for (const file of files) {
  const text = fs.readFileSync(file, 'utf8').replace(/^\uFEFF/, '').replace(/\r/g, '');
  for (const chunk of text.split(/\n(?=\[Event )/)) {
    const result = /\[Result "([^"]+)"\]/.exec(chunk)?.[1];
    const label = { '1-0': '1-0', '0-1': '0-1', '1/2-1/2': '1/2-1/2' }[result];
    if (!label) { skipped++; continue; }
    const fen = /\[FEN "([^"]+)"\]/.exec(chunk)?.[1];
    let moves;
    try {
      const g = new Chess();
      g.loadPgn(chunk, { strict: false });
      moves = g.history();
    } catch {
      skipped++;
      continue;
    }
    const board = fen ? new Chess(fen) : new Chess();
    games++;
    let castled = '';
    moves.forEach((san, ply) => {
      const side = board.turn() === 'w' ? 'W' : 'B';
      board.move(san);
      if (san.startsWith('O-O') && !castled.includes(side)) castled = side === 'W' ? 'W' + castled : castled + 'B';
      if (ply + 1 < skip) return;
      const f = board.fen();
      const key = f.split(' ').slice(0, 4).join(' ');
      if (seen.has(key)) return;
      seen.add(key);
      out.push(`${f};${label};${castled || '-'}\n`);
      written++;
    });
    if (out.length > 10000) flush();
  }
}
flush();
console.error(`${games} games, ${written} positions (${skipped} games without a result or unreadable)`);
