// The first design's weights, and installing a set.
#include "eval/weights.h"

#include "eval/cache.h"
#include "eval/eval.h"
#include "eval/material.h"

// clang-format off
const EvalWeights kClassicWeights = {
    .anPieceValue = {100, 325, 325, 500, 975},
    .anBishopPair = {60, 60, 58, 56, 54, 52, 50, 50, 50, 48, 46, 44, 42, 40, 36, 33, 30},
    .nBishopPairNoMinors = 25,
    .anRookByPawns = {63, 50, 38, 25, 13, 0, -13, -25, -38},
    .anKnightByPawns = {-31, -25, -19, -13, -6, 0, 6, 13, 19},
    .nTradeDown = 50,

    .anPawnTable = TableFromDiagram({
        0, 0,  0,  0,   0,   0,  0,  0,
        5, 10, 15, 20,  20,  15, 10, 5,
        4, 8,  12, 16,  16,  12, 8,  4,
        3, 6,  9,  12,  12,  9,  6,  3,
        2, 4,  6,  8,   8,   6,  4,  2,
        1, 2,  3,  -10, -10, 3,  2,  1,
        0, 0,  0,  -40, -40, 0,  0,  0,
        0, 0,  0,  0,   0,   0,  0,  0,
    }),
    .nNoPawns = 20,
    .nEdgePawn = 15,
    .anPassedByRank = {0, 20, 40, 60, 80, 100, 120, 140},
    .nPassedOnEdge = 20,
    .nConnectedPassers = 100,
    .nIsolatedPerPawn = 20,
    .nBackward = 8,
    .anDoubledByPawns = {0, 0, 47, 33, 29, 20, 25, 11, 19},
    .nDoubledIsolated = 20,
    .nDoubledIsolatedOpen = 70,
    .nPasserAgainstQueen = 40,
    .nUnstoppable = 700,
    .nPawnEndingMajority = 100,
    .nOppositionOdd = 20,
    .nOppositionEven = 10,

    .anKnightTable = TableFromDiagram({
        -30, -10, -10, -10, -10, -10, -10, -30,
        -10,  -8,   0,   0,   0,   0,  -8, -10,
        -10,   0,   5,   5,   5,   5,   0, -10,
        -10,   0,   5,  10,  10,   5,   0, -10,
        -10,   0,   5,  10,  10,   5,   0, -10,
        -10,   2,   5,   5,   5,   5,   2, -10,
        -20, -10,   2,   2,   2,   2, -10, -20,
        -30, -20, -10, -10, -10, -10, -20, -30,
    }),
    .anBishopTable = TableFromDiagram({
        -20, -10, -10, -10, -10, -10, -10, -20,
        -10,   0,   0,   0,   0,   0,   0, -10,
        -10,   0,   5,   5,   5,   5,   0, -10,
        -10,   0,   5,  10,  10,   5,   0, -10,
        -10,   0,   5,  10,  10,   5,   0, -10,
        -10,   0,   5,   5,   5,   5,   0, -10,
        -10,   0,   0,   0,   0,   0,   0, -10,
        -20, -10, -20, -10, -10, -20, -10, -20,
    }),
    .anOutpostTable = TableFromDiagram({
         0,  0,  0,  0,  0,  0,  0,  0,
         0,  0,  6, 10, 10,  6,  0,  0,
         0,  0, 12, 15, 15, 12,  0,  0,
         0,  0, 12, 15, 15, 12,  0,  0,
         0,  0,  0,  6,  6,  0,  0,  0,
         0,  0,  0,  0,  0,  0,  0,  0,
         0,  0,  0,  0,  0,  0,  0,  0,
         0,  0,  0,  0,  0,  0,  0,  0,
    }),
    .nOutpostNoMinorsFactor = 2,
    .anKnightTropism = {0, 8, 10, 10, 7, 4, 0, 0},
    .anBishopTropism = {0, 10, 10, 10, 7, 4, 0, 0},
    .anRookTropism = {0, 14, 13, 10, 7, 4, 0, 0},
    .anQueenTropism = {0, 30, 20, 10, 4, 1, 0, 0},
    .nTropismNumerator = 4,
    .anMobilityWeight = {4, 5, 3, 2},
    .anMobilityBase = {4, 6, 7, 13},
    .anBishopForPasser = {0, 30, 30, 20, 20, 15, 15, 10, 10, 5, 5, 0, 0, 0, 0, 0, 0},
    .nRookBehindPasser = 10,
    .nRookBesidePasser = 7,
    .nHalfOpenFile = 10,
    .nOpenFile = 20,
    .nEnemyKingFile = 20,
    .nEnemyKingNextFile = 10,
    .anSeventhRank = {0, 5, 7, 10, 12, 15, 18, 20, 0},
    .nSeventhRankKing = 10,

    .anKingEndgameTable = TableFromDiagram({
         0, 10, 20, 30, 30, 20, 10,  0,
        10, 20, 30, 40, 40, 30, 20, 10,
        20, 30, 40, 50, 50, 40, 30, 20,
        30, 40, 50, 60, 60, 50, 40, 30,
        30, 40, 50, 60, 60, 50, 40, 30,
        20, 30, 40, 50, 50, 40, 30, 20,
        10, 20, 30, 40, 40, 30, 20, 10,
         0, 10, 20, 30, 30, 20, 10,  0,
    }),
    .anKingMiddleTable = {},  // the first design judges a middlegame king by its safety alone
    .nKingBlendPhase = 50,
    .nNotCastled = 10,
    .nNoCastlingRights = 20,
    .nShelterNoPawn = 25,
    .nShelterThird = 10,
    .nShelterFar = 20,
    .nStormThird = 10,
    .nStormFourth = 5,
    .anZoneAttacker = {2, 8, 12, 20, 25},
    .nZoneOutnumbered = 50,

    .nTrappedBishop = 200,
    .nTrappedRook = 50,

    .nLazyMargin1 = 1200,
    .nLazyMargin2 = 200,
};
// clang-format on

EvalWeights evalWeights = kClassicWeights;
bool bFittedWeights = false;

void SelectEvalWeights(bool bFitted) {
    if (bFitted == bFittedWeights) return;
    bFittedWeights = bFitted;
    UseEvalWeights(bFitted ? kFittedWeights : kClassicWeights);
}

void UseEvalWeights(const EvalWeights& w) {
    evalWeights = w;
    ForgetEvalResults();
}
