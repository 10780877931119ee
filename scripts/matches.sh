#!/bin/sh
# Strength and stability matches of a build: against Debian's stockfish at limited strength,
# gnuchess and glaurung, against its own first design (SearchStyle Classic), and NumThreads 2
# against NumThreads 1. Results (match summaries and PGN) go to $OUT (default match-results/).
#
#   scripts/matches.sh sf ELO TC GAMES     e.g. scripts/matches.sh sf 2200 10+0.1 400
#   scripts/matches.sh gnuchess TC GAMES   gnuchess --uci
#   scripts/matches.sh glaurung TC GAMES   glaurung, Threads 1, OwnBook false
#   scripts/matches.sh classic TC GAMES    SearchStyle Strong against SearchStyle Classic
#   scripts/matches.sh threads TC GAMES    NumThreads 2 against NumThreads 1 (concurrency 1)
#
# ENGINE (default build/quietmarmoset), CONC (default 2), OPENINGS (default data/openings.epd),
# SEED (default 1) and TAG (added to the result names) can be set. A long match can be played in
# sittings: scripts/split_openings.mjs SEED PAIRS PREFIX cuts the openings of one seed's order into
# parts; play each with OPENINGS=PART SEED= TAG=-partN and add them up with
# scripts/combine_matches.mjs. Our engine plays with Hash 16, one thread, no book, no pondering.
#
# Needs node with the runner's chess.js (`npm ci --prefix scripts/match`, done here when missing)
# and the opponents from Debian (apt-get install stockfish gnuchess glaurung). CI never runs this.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
ENGINE=${ENGINE:-$ROOT/build/quietmarmoset}
MATCH=$ROOT/scripts/match/match.mjs
OPENINGS=${OPENINGS:-$ROOT/data/openings.epd}
OUT=${OUT:-$ROOT/match-results}
CONC=${CONC:-2}
SEED=${SEED-1}
TAG=${TAG:-}
QM="option.Hash=16 option.NumThreads=1 option.Ponder=false option.OwnBook=false"
mkdir -p "$OUT"
[ -d "$ROOT/scripts/match/node_modules/chess.js" ] || npm ci --prefix "$ROOT/scripts/match" --no-audit --no-fund

# play NAME TC GAMES CONCURRENCY ENGINE-ARGS...: one match of our engine against the rest.
play() {
    name=$1 tc=$2 games=$3 conc=$4
    shift 4
    # shellcheck disable=SC2086
    node "$MATCH" "$@" --games "$games" --tc "$tc" --openings "$OPENINGS" ${SEED:+--seed "$SEED"} \
        --concurrency "$conc" --pgnout "$OUT/$name.pgn" | tee "$OUT/$name.txt" | grep -v '^\['
}

case "$1" in
sf)
    ELO=$2
    # shellcheck disable=SC2086
    play "sf$ELO-$3$TAG" "$3" "$4" "$CONC" --engine cmd="$ENGINE" name=qm $QM \
        --engine cmd=/usr/games/stockfish name="sf$ELO" option.Hash=16 option.Threads=1 \
        option.UCI_LimitStrength=true option.UCI_Elo="$ELO"
    ;;
gnuchess)
    # shellcheck disable=SC2086
    play "gnuchess-$2$TAG" "$2" "$3" "$CONC" --engine cmd="$ENGINE" name=qm $QM \
        --engine cmd=/usr/games/gnuchess args="--uci" name=gnuchess
    ;;
glaurung)
    # shellcheck disable=SC2086
    play "glaurung-$2$TAG" "$2" "$3" "$CONC" --engine cmd="$ENGINE" name=qm $QM \
        --engine cmd=/usr/games/glaurung name=glaurung option.Threads=1 option.OwnBook=false
    ;;
classic)
    # shellcheck disable=SC2086
    play "classic-$2$TAG" "$2" "$3" "$CONC" --engine cmd="$ENGINE" name=qm-strong $QM \
        --engine cmd="$ENGINE" name=qm-classic $QM option.SearchStyle=Classic
    ;;
threads)
    play "threads-$2$TAG" "$2" "$3" 1 \
        --engine cmd="$ENGINE" name=qm-2threads option.Hash=16 option.Ponder=false option.OwnBook=false \
        option.NumThreads=2 \
        --engine cmd="$ENGINE" name=qm-1thread option.Hash=16 option.Ponder=false option.OwnBook=false \
        option.NumThreads=1
    ;;
*)
    sed -n 2,19p "$0"
    exit 2
    ;;
esac
