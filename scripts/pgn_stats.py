#!/usr/bin/env python3
"""Per-engine figures from a match PGN written by scripts/match: mean depth per move, mean time per
move, and the share of the base clock left at the end of each game (median over the games).

    scripts/pgn_stats.py revs/sprt-....pgn [more.pgn ...]

Move comments look like {+0.25/12 0.083s}; book moves and moves without a comment are skipped.
"""
import re
import statistics
import sys
from collections import defaultdict

COMMENT = re.compile(r"\{([^}]*)\}")
FIGURES = re.compile(r"([+-]?(?:\d+\.\d+|M\d+|-?M\d+))/(\d+)\s+([\d.]+)s")


def games(text):
    for chunk in re.split(r"\n(?=\[Event )", text):
        headers = dict(re.findall(r'^\[(\w+) "([^"]*)"\]', chunk, re.M))
        body = chunk.split("\n\n", 1)[1] if "\n\n" in chunk else ""
        if headers:
            yield headers, body


def main(paths):
    depth = defaultdict(list)
    secs = defaultdict(list)
    left = defaultdict(list)
    for path in paths:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        for h, body in games(text):
            tc = h.get("TimeControl", "")
            m = re.match(r"([\d.]+)\+([\d.]+)", tc)
            base, inc = (float(m.group(1)), float(m.group(2))) if m else (0.0, 0.0)
            sides = [h.get("White", "?"), h.get("Black", "?")]
            used = [0.0, 0.0]
            moves = [0, 0]
            # Comments alternate with the moves, White first unless the game starts with Black.
            turn = 1 if h.get("FEN", " w ").split(" ")[1:2] == ["b"] else 0
            for c in COMMENT.findall(body):
                f = FIGURES.search(c)
                if f:
                    depth[sides[turn]].append(int(f.group(2)))
                    secs[sides[turn]].append(float(f.group(3)))
                    used[turn] += float(f.group(3))
                    moves[turn] += 1
                turn ^= 1
            if base > 0:
                for s in (0, 1):
                    if moves[s]:
                        left[sides[s]].append((base + inc * moves[s] - used[s]) / base)
    for name in sorted(depth):
        d, t, l = depth[name], secs[name], left[name]
        print(f"{name:24s} moves {len(d):6d}  mean depth {statistics.mean(d):5.2f}  "
              f"mean time {statistics.mean(t):.3f}s  clock left at the end: median "
              f"{100 * statistics.median(l) if l else 0:.0f}% of the base over {len(l)} games")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    main(sys.argv[1:])
