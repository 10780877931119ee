#!/bin/sh
# SPRT of one build against another: the harness behind every row of docs/strength.md.
#
#   scripts/sprt.sh BASE [NEW] [TC] [ELO0] [ELO1] [GAMES]
#     e.g. scripts/sprt.sh HEAD                   the working tree against the last commit
#          scripts/sprt.sh a5600c8 HEAD 2+0.02 0 20
#
# BASE and NEW are git revisions; NEW defaults to the working tree as it is. Each revision is
# exported with git archive and built (Release, engine only) under revs/<sha>/ once; the match
# runner (scripts/match, chess.js from npm: `npm ci --prefix scripts/match`, done here when
# missing) plays them from data/openings.epd with one thread, Hash 16, no book, no pondering,
# two games at a time, until the SPRT decides or GAMES are played. NEW_OPTIONS / BASE_OPTIONS
# add engine options, e.g. BASE_OPTIONS=option.SearchStyle=Classic.
# Results: revs/sprt-<new>-<base>-<tc>.txt (summary) and .pgn. CI never runs this.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BASE=${1:?usage: scripts/sprt.sh BASE [NEW] [TC] [ELO0] [ELO1] [GAMES]}
NEW=${2:-}
TC=${3:-5+0.05}
ELO0=${4:-0}
ELO1=${5:-10}
GAMES=${6:-20000}
REVS=$ROOT/revs
mkdir -p "$REVS"

# build SRC_DIR OUT_DIR: the engine alone, whatever the revision's own Makefile offers.
build() {
    cmake -S "$1" -B "$2/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF >/dev/null
    cmake --build "$2/build" --target quietmarmoset -j 2 >/dev/null
    cp "$2/build/quietmarmoset" "$2/quietmarmoset"
}

# engine_for REV: the binary of a revision, built once.
engine_for() {
    sha=$(git -C "$ROOT" rev-parse --short "$1")
    if [ ! -x "$REVS/$sha/quietmarmoset" ]; then
        rm -rf "$REVS/$sha" && mkdir -p "$REVS/$sha/src"
        git -C "$ROOT" archive "$sha" | tar -x -C "$REVS/$sha/src"
        build "$REVS/$sha/src" "$REVS/$sha" >&2
    fi
    echo "$REVS/$sha/quietmarmoset"
}

BASE_EXE=$(engine_for "$BASE")
BASE_NAME=$(git -C "$ROOT" rev-parse --short "$BASE")
if [ -n "$NEW" ]; then
    NEW_EXE=$(engine_for "$NEW")
    NEW_NAME=$(git -C "$ROOT" rev-parse --short "$NEW")
else
    mkdir -p "$REVS/worktree"
    build "$ROOT" "$REVS/worktree"
    NEW_EXE=$REVS/worktree/quietmarmoset
    NEW_NAME=worktree
fi

# The same build under two option sets still needs two names.
[ "$NEW_NAME" != "$BASE_NAME" ] || BASE_NAME=$BASE_NAME-base

[ -d "$ROOT/scripts/match/node_modules/chess.js" ] || npm ci --prefix "$ROOT/scripts/match" --no-audit --no-fund

COMMON="option.NumThreads=1 option.Hash=16 option.Ponder=false option.OwnBook=false"
OUT=$REVS/sprt-$NEW_NAME-$BASE_NAME-$TC
# shellcheck disable=SC2086
node "$ROOT/scripts/match/match.mjs" \
    --engine cmd="$NEW_EXE" name="$NEW_NAME" $COMMON ${NEW_OPTIONS:-} \
    --engine cmd="$BASE_EXE" name="$BASE_NAME" $COMMON ${BASE_OPTIONS:-} \
    --games "$GAMES" --tc "$TC" --openings "$ROOT/data/openings.epd" --seed "${SEED:-1}" \
    --concurrency 2 --sprt elo0="$ELO0" elo1="$ELO1" --pgnout "$OUT.pgn" | tee "$OUT.txt" | grep -v '^\['
