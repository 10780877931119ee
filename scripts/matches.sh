#!/bin/sh
# Strength and stability matches against Debian's stockfish at limited strength, and NumThreads 2
# against NumThreads 1. Results (match summaries and PGN) go to $OUT (default match-results/).
#
#   scripts/matches.sh sf ELO TC GAMES [CONCURRENCY]    e.g. scripts/matches.sh sf 2200 10+0.1 200 2
#   scripts/matches.sh threads TC GAMES                 e.g. scripts/matches.sh threads 10+0.1 400
#
# The thread match can be played in sittings: OPENINGS=part1.epd SEED= TAG=-part1 plays that part's
# openings in file order; scripts/split_openings.mjs writes the parts of the --seed 1 order.
#
# Needs node (../shared/tools/match) and /usr/games/stockfish; CI never runs this.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
ENGINE=${ENGINE:-$ROOT/build/quietmarmoset}
MATCH=$ROOT/../shared/tools/match/match.mjs
OPENINGS=${OPENINGS:-$ROOT/data/openings.epd}
OUT=${OUT:-$ROOT/match-results}
SF=${SF:-/usr/games/stockfish}
SEED=${SEED-1}
TAG=${TAG:-}
mkdir -p "$OUT"

case "$1" in
sf)
    ELO=$2 TC=$3 GAMES=$4 CONC=${5:-1}
    NAME="sf$ELO-$TC"
    node "$MATCH" --engine cmd="$ENGINE" name=qm option.Hash=16 option.Ponder=false \
        --engine cmd="$SF" name="sf$ELO" option.Hash=16 option.UCI_LimitStrength=true option.UCI_Elo="$ELO" \
        --games "$GAMES" --tc "$TC" --openings "$OPENINGS" --seed "$ELO" --concurrency "$CONC" \
        --pgnout "$OUT/$NAME.pgn" | tee "$OUT/$NAME.txt"
    ;;
threads)
    TC=$2 GAMES=$3
    NAME="threads-$TC$TAG"
    node "$MATCH" --engine cmd="$ENGINE" name=qm-2threads option.Hash=16 option.Ponder=false option.NumThreads=2 \
        --engine cmd="$ENGINE" name=qm-1thread option.Hash=16 option.Ponder=false option.NumThreads=1 \
        --games "$GAMES" --tc "$TC" --openings "$OPENINGS" ${SEED:+--seed "$SEED"} --concurrency 1 \
        --pgnout "$OUT/$NAME.pgn" | tee "$OUT/$NAME.txt"
    ;;
*)
    sed -n 2,12p "$0"
    exit 2
    ;;
esac
