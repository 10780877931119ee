#!/usr/bin/env bash
# One round of the learned evaluation's loop: self-play data, then a net trained on it.
#
#   scripts/make_net.sh NAME [POSITIONS]
#
# NAME names the round (net-1, net-2, ...); its data goes to $QM_CACHE/data/NAME.bin and its net
# to $QM_CACHE/nets/NAME.nnue (QM_CACHE defaults to ~/.cache/quietmarmoset, outside the work
# tree). Data already there is reused and topped up to POSITIONS (default 2000000) with
# --append, so an interrupted run picks up where it stopped. Settings from the environment:
#   ENGINE=build/quietmarmoset  the binary that generates and trains
#   EVAL=hand | EVAL=PATH.nnue  the evaluation the games are played with (default: hand)
#   NODES=5000 THREADS=2 SEED=1 data generation
#   MIX="a.bin b.bin"          earlier data sets trained on as well
#   EPOCHS=20 HIDDEN=256 LAMBDA=0.25 TRAIN_ARGS=...  training
# Afterwards: copy the net to data/nets/default.nnue (or load it with EvalFile) and play an SPRT
# (scripts/sprt.sh) before it becomes the default.
set -euo pipefail
cd "$(dirname "$0")/.."

NAME=${1:?usage: scripts/make_net.sh NAME [POSITIONS]}
POSITIONS=${2:-2000000}
CACHE=${QM_CACHE:-$HOME/.cache/quietmarmoset}
ENGINE=${ENGINE:-build/quietmarmoset}
EVAL=${EVAL:-hand}
NODES=${NODES:-5000}
THREADS=${THREADS:-2}
SEED=${SEED:-1}
EPOCHS=${EPOCHS:-20}
HIDDEN=${HIDDEN:-256}
LAMBDA=${LAMBDA:-0.25}
mkdir -p "$CACHE/data" "$CACHE/nets"
DATA="$CACHE/data/$NAME.bin"
NET="$CACHE/nets/$NAME.nnue"

[ -x "$ENGINE" ] || make build
# A private copy generates: the workers start the binary again, and a rebuild meanwhile must
# not change the program under them.
BIN="$CACHE/engine-$NAME"
cp "$ENGINE" "$BIN"

EVAL_ARGS=(--eval hand)
[ "$EVAL" != hand ] && EVAL_ARGS=(--evalfile "$EVAL")

have=0
if [ -f "$DATA" ]; then
    have=$(( ( $(stat -c %s "$DATA") - 16 ) / 32 ))
fi
echo "== $NAME: $have of $POSITIONS positions in $DATA"
if [ "$have" -lt "$POSITIONS" ]; then
    # A fresh seed per top-up, so that a resumed run does not replay the games it has.
    "$BIN" datagen "$DATA" --append --positions $(( POSITIONS - have )) --nodes "$NODES" \
        --threads "$THREADS" --seed $(( SEED * 1000003 + have )) "${EVAL_ARGS[@]}"
fi

echo "== $NAME: training $HIDDEN hidden, $EPOCHS epochs"
# shellcheck disable=SC2086
"$BIN" train "$DATA" ${MIX:-} --out "$NET" --epochs "$EPOCHS" --threads "$THREADS" --hidden "$HIDDEN" \
    --lambda "$LAMBDA" ${TRAIN_ARGS:-}
echo "== $NAME: the net is $NET"
