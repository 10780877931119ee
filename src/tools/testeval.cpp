// "testeval": colour symmetry of the evaluation and the error of its lazy exits over the
// positions of an EPD file.
#include "tools/testeval.h"

#include <cstdio>
#include <cstdlib>

#include "eval/cache.h"
#include "eval/eval.h"
#include "eval/weights.h"
#include "tools/epd.h"

void TestEval(const char* path) {
    const HandEvalScope hand;
    if (FILE* f = path ? fopen(path, "r") : nullptr) {
        fclose(f);
    } else {
        printf("Cannot open EPD file %s\n", path ? path : "");
        return;
    }
    if (!aPawnHash) AllocPawnHash(ShowHashMessages());

    int nPositions = 0, nProblems = 0, nMaxDiff = 0;
    char szMoves[kEpdTextSize], szId[kEpdTextSize];
    Position pos;
    int an[2];
    for (int i = 0;; i++) {
        int nStatus;
        if (!ReadEpdRecord(path, &pos, szMoves, i, szId, &nStatus)) break;
        if (nStatus != EPD_OK) continue;  // the FEN reader has said why
        nPositions++;
        printf("Test #%03d (%s):\t", i + 1, szId);

        const int b = SecondLazyScore(&pos);
        const int c = Evaluate(&pos, -32000, 32000, 0, an, 0);
        printf("%d\n", c);
        const int diff = abs(c - b);
        if (diff > nMaxDiff) nMaxDiff = diff;
        if (diff > evalWeights.nLazyMargin2) {  // the exit's own margin
            printf("WARNING: Lazy Eval margin too low?\n");
            nProblems++;
        }

        Position mirror = pos;
        MirrorPosition(&mirror);
        const int d = Evaluate(&mirror, -32000, 32000, 0, an, 0);
        if (abs(c - d) > 1) {
            DumpBoard(&mirror, stdout);
            printf("ERROR %d %d\n", c, d);
        }
        ClearPawnHash();
    }
    printf("There were %d/%d (%.1lf%%) lazy eval problems, max difference = %d\n", nProblems, nPositions,
           nPositions ? nProblems * 100.0 / nPositions : 0.0, nMaxDiff);
}
