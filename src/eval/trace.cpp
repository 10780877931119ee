// Component breakdown of one full evaluation, printed by the "eval" command.
#include <cstdio>

#include "eval/eval.h"

void PrintEvalTrace(const EvalTrace& t, int nFinal) {
    printf("--------------------------------\n");
    printf("Pawns =             %5d\n", t.nPawns);
    printf("Traps =             %5d\n", t.nTraps);
    printf("King =              %5d\n", t.nKing);
    printf("Knights =           %5d\n", t.nKnights);
    printf("Bishops =           %5d\n", t.nBishops);
    printf("Rooks =             %5d\n", t.nRooks);
    printf("Queens =            %5d\n", t.nQueens);
    printf("Tropism =           %5d\n", t.nTropism);
    printf("Mobility =          %5d\n", t.nMobility);
    printf("\nFinal Evaluation =     %5.2f\n", nFinal / 100.0);
    printf("--------------------------------\n");
}
