// "testeval": colour symmetry of the evaluation and the error of its lazy exits over the
// positions of an EPD file.
#include "tools/testeval.h"

#include <cstdio>
#include <cstdlib>

#include "core/stats.h"
#include "eval/cache.h"
#include "eval/eval.h"
#include "tools/epd.h"

namespace {

constexpr int kLazyTolerance = 200;  // the margin of the second lazy exit

// The score the second lazy exit returns for pos. A null window far below any score makes the
// first exit answer with the scaled material l1; a window 1199 above l1 is out of the first
// exit's reach but, unless pawns and traps add 999 or more, far enough above the pawn-level
// score for the second exit to cut; otherwise the window 1199 below l1 makes it cut.
// Draws and recognised endings answer before either exit and give the full score.
int SecondLazyScore(const Position* pos) {
    int an[2];
    const int l1 = Evaluate(pos, -32000, -31999, 0, an, 0);
    SearchStats& st = Stats();
    const uint64_t nCuts = st.nLazyExits2;
    const int above = Evaluate(pos, l1 + 1199, l1 + 1200, 0, an, 0);
    if (st.nLazyExits2 != nCuts) return above;
    return Evaluate(pos, l1 - 1200, l1 - 1199, 0, an, 0);
}

}  // namespace

void TestEval(const char* path) {
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
        if (diff > kLazyTolerance) {
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
