#!/usr/bin/env python3
"""Runs an EPD suite through the engine's UCI interface at a fixed time per position and counts
the positions whose best move ("bm") the engine finds. Not used by CI.

usage: scripts/wac_uci.py [--engine build/quietmarmoset] [--ms 1000] [EPD]
"""
import argparse
import re
import subprocess

FILES = "abcdefgh"


def board_from_fen(fen):
    rows = fen.split()[0].split("/")
    board = {}
    for r, row in enumerate(rows):
        f = 0
        for ch in row:
            if ch.isdigit():
                f += int(ch)
            else:
                board[(f, 7 - r)] = ch
                f += 1
    return board


def san_of(fen, uci):
    """Minimal SAN-like key of a coordinate move for matching against 'bm' (piece letter + target)."""
    board = board_from_fen(fen)
    f0, r0 = FILES.index(uci[0]), int(uci[1]) - 1
    f1, r1 = FILES.index(uci[2]), int(uci[3]) - 1
    piece = board.get((f0, r0), "?").upper()
    target = uci[2:4]
    if piece == "K" and abs(f1 - f0) == 2:
        return "O-O" if f1 > f0 else "O-O-O"
    return ("" if piece == "P" else piece) + target + (("=" + uci[4].upper()) if len(uci) > 4 else "")


def matches(bm_list, fen, uci):
    key = san_of(fen, uci)
    for bm in bm_list:
        clean = re.sub(r"[+#!?]", "", bm).replace("x", "")
        if clean.startswith("O-O"):
            if clean == key:
                return True
            continue
        piece = clean[0] if clean[0] in "NBRQK" else ""
        target = re.search(r"[a-h][1-8](=[NBRQ])?$", clean)
        if target and (piece + target.group(0)) == key:
            return True
    return False


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--engine", default="build/quietmarmoset")
    ap.add_argument("--ms", type=int, default=1000)
    ap.add_argument("epd", nargs="?", default="data/epd/wac.epd")
    args = ap.parse_args()
    eng = subprocess.Popen([args.engine], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)

    def send(line):
        eng.stdin.write(line + "\n")
        eng.stdin.flush()

    def wait_for(prefix):
        for line in eng.stdout:
            if line.startswith(prefix):
                return line.strip()
        raise SystemExit("engine ended")

    send("uci")
    wait_for("uciok")
    solved = total = 0
    for rec in open(args.epd):
        rec = rec.strip()
        if not rec or rec.startswith("#"):
            continue
        fields = rec.split()
        fen = " ".join(fields[:4]) + " 0 1"
        m = re.search(r"\bbm ([^;]+);", rec)
        if not m:
            continue
        bms = m.group(1).split()
        send("ucinewgame")
        send("position fen " + fen)
        send("isready")
        wait_for("readyok")
        send("go movetime %d" % args.ms)
        best = wait_for("bestmove").split()[1]
        total += 1
        ok = matches(bms, fen, best)
        solved += ok
        idm = re.search(r'\bid "?([^";]+)', rec)
        print("%-12s %-8s %-10s %s" % (idm.group(1) if idm else total, best, " ".join(bms), "ok" if ok else "--"),
              flush=True)
    send("quit")
    print("%d of %d solved" % (solved, total))


if __name__ == "__main__":
    main()
