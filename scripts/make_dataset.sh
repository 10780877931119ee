#!/bin/sh
# The labelled positions the "tune" command fits the evaluation to: fast self-play games of a
# build (the match runner, openings from data/openings.epd in a shuffled order per seed), the
# games of the PGN collections in data/pgn/master, and any further PGN files named, turned into
# "FEN;RESULT;CASTLED" lines by scripts/pgn_positions.mjs. Generated, never committed.
#
#   scripts/make_dataset.sh [PGN...]     then: build/quietmarmoset tune $OUT/positions.txt
#
# GAMES (default 2000 self-play games; 0 for none), TC (default 1+0.01), CONC (default 2),
# SEEDS (default "1 2 3 4 5": the openings are played once per seed), ENGINE (default
# build/quietmarmoset), EVAL (the EvalWeights option of the self-play games, default Classic)
# and OUT (default dataset/) can be set. The games go to $OUT/selfplay-SEED.pgn.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
ENGINE=${ENGINE:-$ROOT/build/quietmarmoset}
OUT=${OUT:-$ROOT/dataset}
GAMES=${GAMES:-2000}
TC=${TC:-1+0.01}
CONC=${CONC:-2}
SEEDS=${SEEDS:-1 2 3 4 5}
EVAL=${EVAL:-Classic}
mkdir -p "$OUT"
[ -d "$ROOT/scripts/match/node_modules/chess.js" ] || npm ci --prefix "$ROOT/scripts/match" --no-audit --no-fund

n=$(grep -c '^[^#]' "$ROOT/data/openings.epd")
per=$(( (GAMES + 0) / $(echo $SEEDS | wc -w) ))
[ $per -gt $((2 * n)) ] && per=$((2 * n))
if [ "$GAMES" -gt 0 ]; then
    for seed in $SEEDS; do
        QM="cmd=$ENGINE option.Hash=16 option.NumThreads=1 option.Ponder=false option.OwnBook=false option.EvalWeights=$EVAL"
        # shellcheck disable=SC2086
        node "$ROOT/scripts/match/match.mjs" --engine $QM name=a --engine $QM name=b \
            --games "$per" --tc "$TC" --openings "$ROOT/data/openings.epd" --seed "$seed" \
            --concurrency "$CONC" --pgnout "$OUT/selfplay-$seed.pgn" | grep -v '^\[' | tail -3
    done
fi
# The self-play games last: the tuner holds out the file's last tenth, and the error that
# matters is on the engine's own kind of games.
node "$ROOT/scripts/pgn_positions.mjs" "$ROOT"/data/pgn/master/*.pgn "$@" "$OUT"/selfplay-*.pgn \
    > "$OUT/positions.txt"
wc -l "$OUT/positions.txt"
