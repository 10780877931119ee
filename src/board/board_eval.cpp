// Score shown on the "Eval =" line of the board dump, from the side to move's point of view.
// Material only until the full evaluation is wired in.
#include "board/board.h"

int BoardEvaluation(const Position* pos) {
    int side = pos->bSideToMove;
    return pos->nMaterial[side] - pos->nMaterial[side ^ 1];
}
