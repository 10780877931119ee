#!/usr/bin/env python3
"""Time to a fixed depth and nodes per second with 1, 2 and 4 search threads.

Runs the engine over UCI on the benchmark's middlegame/endgame positions and the start
position, "go depth N" for each, and prints per-thread-count averages:

    scripts/speedup.py [--engine build/quietmarmoset] [--depth 12] [--threads 1,2,4] [--style Classic]
                       [--multipv 3] [--pgo]

--pgo leaves the start position out (the ten others are the bench's PGO positions); --multipv
times the search of that many lines.

Run it on an otherwise idle machine: the figures are wall-clock times.
"""
import argparse
import re
import subprocess
import time

POSITIONS = [
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "1rbq1rk1/p1b1nppp/1p2p3/8/1B1pN3/P2B4/1P3PPP/2RQ1R1K w - - 0 1",
    "r1b1r1k1/1ppn1p1p/3pnqp1/8/p1P1P3/5P2/PbNQNBPP/1R2RB1K w - - 0 1",
    "r5k1/3n1ppp/1p6/3p1p2/3P1B2/r3P2P/PR3PP1/2R3K1 b - - 0 1",
    "2r2rk1/1bqnbpp1/1p1ppn1p/pP6/N1P1P3/P2B1N1P/1B2QPP1/R2R2K1 b - - 0 1",
    "q3rn1k/2QR4/pp2pp2/8/P1P5/1P4N1/6n1/6K1 w - - 0 1",
    "6k1/p3q2p/1nr3pB/8/3Q1P2/6P1/PP5P/3R2K1 b - - 0 1",
    "1r4k1/7p/5np1/3p3n/8/2NB4/7P/3N1RK1 w - - 0 1",
    "8/4p3/p2p4/2pP4/2P1P3/1P4k1/1P1K4/8 w - - 0 1",
    "8/5p2/pk2p3/4P2p/2b1pP1P/P3P2B/8/7K w - - 0 1",
    "8/3rp1kp/1rp3p1/p1R1P3/P2P4/5P2/6KP/3R4 w - - 0 1",
]


def run(engine, threads, depth, fen, style, multipv=1):
    p = subprocess.Popen([engine], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)

    def send(line):
        p.stdin.write(line + "\n")
        p.stdin.flush()

    send("uci")
    send(f"setoption name NumThreads value {threads}")
    send("setoption name OwnBook value false")
    send("setoption name Hash value 64")
    if style:
        send(f"setoption name SearchStyle value {style}")
    send(f"setoption name MultiPV value {multipv}")
    send("isready")
    for line in p.stdout:
        if line.startswith("readyok"):
            break
    # The hash tables are allocated (and zero-filled) by a new game's first search; a depth-1
    # search first keeps that one-off cost out of the time to depth.
    send("go depth 1")
    for line in p.stdout:
        if line.startswith("bestmove"):
            break
    send(f"position fen {fen}")
    t0 = time.monotonic()
    send(f"go depth {depth}")
    nodes = 0
    for line in p.stdout:
        m = re.search(r" nodes (\d+)", line)
        if m and line.startswith("info score"):
            nodes = int(m.group(1))
        if line.startswith("bestmove"):
            break
    seconds = time.monotonic() - t0
    send("quit")
    p.wait()
    return seconds, nodes


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--engine", default="build/quietmarmoset")
    ap.add_argument("--depth", type=int, default=12)
    ap.add_argument("--threads", default="1,2,4")
    ap.add_argument("--style", default="", help="SearchStyle to set (the engine's default if empty)")
    ap.add_argument("--multipv", type=int, default=1)
    ap.add_argument("--pgo", action="store_true", help="the ten PGO positions only")
    args = ap.parse_args()
    positions = POSITIONS[1:] if args.pgo else POSITIONS
    base = None
    for threads in [int(t) for t in args.threads.split(",")]:
        total_s = total_n = 0.0
        start_s = None
        for fen in positions:
            s, n = run(args.engine, threads, args.depth, fen, args.style, args.multipv)
            start_s = s if start_s is None else start_s
            total_s += s
            total_n += n
        avg = total_s / len(positions)
        nps = total_n / total_s if total_s else 0
        if base is None:
            base = (avg, nps)
        print(f"threads {threads}: average time to depth {args.depth} {avg:.3f} s "
              f"(speed-up {base[0] / avg:.2f}), first position {start_s:.3f} s, "
              f"{nps / 1e6:.2f} M nps (x{nps / base[1]:.2f})", flush=True)


if __name__ == "__main__":
    main()
