#!/usr/bin/env python3
"""Compares our perft counts with Stockfish's on random positions.

Plays random games (Stockfish lists the legal moves), samples positions along them, and for each
position compares the "Perft(D) Nodes = N" line of our engine with the "Nodes searched: N" total
of Stockfish's "go perft D". Prints every mismatch and exits with status 1 when there is one.

Not run by CI. Needs Stockfish (apt-get update && apt-get install -y stockfish, which puts it in
/usr/games/stockfish) and a built engine (build/quietmarmoset).

    scripts/perft_vs_stockfish.py [--positions 1000] [--depth 3] [--seed 1]
    scripts/perft_vs_stockfish.py --stockfish-only     # exercise the Stockfish half alone
"""

import argparse
import os
import queue
import random
import re
import subprocess
import sys
import threading
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class Engine:
    """A console engine on pipes; lines are read by a background thread so waits can time out."""

    def __init__(self, argv, name):
        self.name = name
        self.proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def send(self, text):
        self.proc.stdin.write(text + "\n")
        self.proc.stdin.flush()

    def wait_for(self, pattern, timeout, collect=None):
        """Returns the match of the first line matching pattern; earlier lines go to collect."""
        deadline = time.monotonic() + timeout
        regex = re.compile(pattern)
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError(f"{self.name}: no line matching {pattern!r} within {timeout}s")
            try:
                line = self.lines.get(timeout=left)
            except queue.Empty:
                continue
            if line is None:
                raise RuntimeError(f"{self.name} ended while waiting for {pattern!r}")
            match = regex.search(line)
            if match:
                return match
            if collect is not None:
                collect.append(line)

    def close(self):
        try:
            self.send("quit")
            self.proc.wait(timeout=10)
        except Exception:
            self.proc.kill()


class Stockfish(Engine):
    def __init__(self, path):
        super().__init__([path], "stockfish")
        self.send("uci")
        self.wait_for(r"^uciok", 10)
        self.send("setoption name Threads value 1")
        self.sync()

    def sync(self):
        self.send("isready")
        self.wait_for(r"^readyok", 10)

    def perft(self, fen, depth, timeout=120):
        """Total node count and the per-move counts of "go perft depth"."""
        self.send(f"position fen {fen}")
        self.send(f"go perft {depth}")
        lines = []
        total = int(self.wait_for(r"^Nodes searched: (\d+)", timeout, lines).group(1))
        divide = {}
        for line in lines:
            m = re.match(r"^([a-h][1-8][a-h][1-8][nbrq]?): (\d+)$", line)
            if m:
                divide[m.group(1)] = int(m.group(2))
        self.sync()
        return total, divide

    def legal_moves(self, fen):
        return sorted(self.perft(fen, 1)[1])

    def fen_after(self, fen, moves):
        self.send(f"position fen {fen} moves {' '.join(moves)}" if moves else f"position fen {fen}")
        self.send("d")
        fen = self.wait_for(r"^Fen: (.*)$", 10).group(1).strip()
        self.wait_for(r"^Checkers:", 10)
        return fen


class Ours(Engine):
    def __init__(self, path):
        super().__init__([path], "quietmarmoset")

    def perft(self, fen, depth, timeout=120):
        self.send(f"position fen {fen}")
        self.send(f"perft {depth}")
        return int(self.wait_for(rf"Perft\({depth}\) Nodes =\s*(\d+)", timeout).group(1))


START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"


def random_positions(sf, count, rng, sample_rate=0.15, max_plies=200):
    """Positions sampled along random games (positions without legal moves are skipped)."""
    found = []
    while len(found) < count:
        fen = START
        for _ in range(max_plies):
            moves = sf.legal_moves(fen)
            if not moves:
                break
            if rng.random() < sample_rate:
                found.append(fen)
                if len(found) == count:
                    break
            fen = sf.fen_after(fen, [rng.choice(moves)])
    return found


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--positions", type=int, default=1000)
    ap.add_argument("--depth", type=int, default=3)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--stockfish", default="/usr/games/stockfish")
    ap.add_argument("--engine", default=os.path.join(REPO, "build", "quietmarmoset"))
    ap.add_argument("--stockfish-only", action="store_true",
                    help="only make the positions and Stockfish's counts (checks the Stockfish half)")
    args = ap.parse_args()

    if not os.access(args.stockfish, os.X_OK):
        sys.exit(f"no Stockfish at {args.stockfish}: apt-get update && apt-get install -y stockfish")
    if not args.stockfish_only and not os.access(args.engine, os.X_OK):
        sys.exit(f"no engine at {args.engine}: build it first (make build)")

    rng = random.Random(args.seed)
    sf = Stockfish(args.stockfish)
    ours = None if args.stockfish_only else Ours(args.engine)
    mismatches = []
    t0 = time.monotonic()
    try:
        positions = random_positions(sf, args.positions, rng)
        print(f"{len(positions)} random positions in {time.monotonic() - t0:.1f}s", flush=True)
        for i, fen in enumerate(positions, 1):
            expected, divide = sf.perft(fen, args.depth)
            if ours is None:
                if sum(divide.values()) != expected:
                    mismatches.append((fen, expected, sum(divide.values())))
            else:
                got = ours.perft(fen, args.depth)
                if got != expected:
                    mismatches.append((fen, expected, got))
                    print(f"MISMATCH {fen}: stockfish {expected}, ours {got}", flush=True)
            if i % 100 == 0:
                print(f"{i} positions compared, {len(mismatches)} mismatches", flush=True)
    finally:
        sf.close()
        if ours:
            ours.close()

    label = "stockfish divide sum" if ours is None else "ours"
    print(f"\n{len(positions)} positions, perft {args.depth}, {len(mismatches)} mismatches "
          f"({time.monotonic() - t0:.1f}s)")
    for fen, expected, got in mismatches:
        print(f"  {fen}\n    stockfish {expected}  {label} {got}")
    return 1 if mismatches else 0


if __name__ == "__main__":
    sys.exit(main())
