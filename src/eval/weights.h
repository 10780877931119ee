// The evaluation's weights as one record: every number the terms add, scale or compare against,
// so that a tuner can fit them and an option can choose between fitted sets. Values are in
// centipawns from white's point of view; square tables are written for white as diagrams (rank
// 8 first, files a to h) and read for black mirrored and negated.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct EvalWeights {
    // Material and its adjustments.
    int anPieceValue[5];      // pawn, knight, bishop, rook, queen
    int anBishopPair[17];     // by the pawns on the board
    int nBishopPairNoMinors;  // more when the other side has no minor piece
    int anRookByPawns[9];     // a rook's adjustment by its own side's pawns
    int anKnightByPawns[9];
    int nTradeDown;  // the side ahead's reward for trading: difference x this / total

    // Pawn structure (cached by pawn signature).
    std::array<int, 64> anPawnTable;
    int nNoPawns;  // a side without pawns
    int nEdgePawn;
    int anPassedByRank[8];  // a candidate passer gets half
    int nPassedOnEdge;
    int nConnectedPassers;  // neighbouring passers both on the sixth rank or beyond
    int nIsolatedPerPawn;
    int nBackward;
    int anDoubledByPawns[9];   // by the side's own pawn count
    int nDoubledIsolated;      // an isolated doubled pawn on a file the enemy also holds
    int nDoubledIsolatedOpen;  // ... on a file without enemy pawns
    // Pawn terms that also depend on pieces and kings.
    int nPasserAgainstQueen;
    int nUnstoppable;
    int nPawnEndingMajority;  // per pawn of difference, sound structures only
    int nOppositionOdd;       // kings on a line, odd distance: the side to move loses this
    int nOppositionEven;      // even distance: the side to move gains this

    // Pieces.
    std::array<int, 64> anKnightTable;
    std::array<int, 64> anBishopTable;
    std::array<int, 64> anOutpostTable;  // a knight's outpost in the enemy half
    int nOutpostNoMinorsFactor;          // the outpost counts this much more with no enemy minor
    int anKnightTropism[8];              // by distance to the enemy king
    int anBishopTropism[8];
    int anRookTropism[8];
    int anQueenTropism[8];
    int nTropismNumerator;      // the tropism sum counts numerator / 5
    int anMobilityWeight[4];    // knight, bishop, rook, queen: per square above the base
    int anMobilityBase[4];      // the squares a piece is expected to reach
    int anBishopForPasser[17];  // a bishop covering a passer's queening square, by pawns on board
    int nRookBehindPasser;      // on a passer's file, behind its rearmost pawn
    int nRookBesidePasser;      // on a passer's file, elsewhere
    int nHalfOpenFile;          // rook or queen: no own pawn on the file
    int nOpenFile;              // no pawn at all
    int nEnemyKingFile;         // the enemy king on the same file
    int nEnemyKingNextFile;     // ... on a neighbouring file
    int anSeventhRank[9];       // rook or queen on the seventh, by enemy pawns there
    int nSeventhRankKing;       // and the enemy king on the eighth

    // Kings: middlegame safety blended with the ending table by phase.
    std::array<int, 64> anKingEndgameTable;  // both kings
    std::array<int, 64> anKingMiddleTable;   // added to the middlegame safety: where a king belongs
    int nKingBlendPhase;                     // at or below this phase only the ending table counts
    int nNotCastled;
    int nNoCastlingRights;
    int nShelterNoPawn;  // a shelter file without own pawn
    int nShelterThird;   // own pawn on the third rank
    int nShelterFar;     // further advanced
    int nStormThird;     // an enemy pawn on our third rank
    int nStormFourth;
    int anZoneAttacker[5];  // pawn, knight, bishop, rook, queen attacking a king neighbour
    int nZoneOutnumbered;   // more attacked neighbours than safe ones

    // Fixed patterns.
    int nTrappedBishop;
    int nTrappedRook;

    // The lazy exits of a null-window evaluation.
    int nLazyMargin1;  // material alone
    int nLazyMargin2;  // material, pawns and traps
};

// The first design's weights, and the fitted set (the tuner writes weights_fitted.cpp).
extern const EvalWeights kClassicWeights;
extern const EvalWeights kFittedWeights;

// The weights in use. Change them only through UseEvalWeights, and only while no search runs.
extern EvalWeights evalWeights;

// Installs w and forgets everything computed with the weights before (material table, pawn
// and evaluation caches, the per-thread king cache).
void UseEvalWeights(const EvalWeights& w);

// The values and count of one field.
inline int* WeightData(int& v) {
    return &v;
}
template <std::size_t N>
int* WeightData(int (&a)[N]) {
    return a;
}
template <std::size_t N>
int* WeightData(std::array<int, N>& a) {
    return a.data();
}
inline int WeightCount(int&) {
    return 1;
}
template <std::size_t N>
int WeightCount(int (&)[N]) {
    return int(N);
}
template <std::size_t N>
int WeightCount(std::array<int, N>&) {
    return int(N);
}

// The EvalWeights option: true for kFittedWeights, false for kClassicWeights; installs the set
// (UseEvalWeights) when it changes.
extern bool bFittedWeights;
void SelectEvalWeights(bool bFitted);

// Every weight by name, for the tuner and the writer of a fitted set: f(name, values, count)
// for each field, in declaration order.
template <class F>
void ForEachWeight(EvalWeights& w, F f) {
#define QM_WEIGHT(field) f(#field, WeightData(w.field), WeightCount(w.field))
    QM_WEIGHT(anPieceValue);
    QM_WEIGHT(anBishopPair);
    QM_WEIGHT(nBishopPairNoMinors);
    QM_WEIGHT(anRookByPawns);
    QM_WEIGHT(anKnightByPawns);
    QM_WEIGHT(nTradeDown);
    QM_WEIGHT(anPawnTable);
    QM_WEIGHT(nNoPawns);
    QM_WEIGHT(nEdgePawn);
    QM_WEIGHT(anPassedByRank);
    QM_WEIGHT(nPassedOnEdge);
    QM_WEIGHT(nConnectedPassers);
    QM_WEIGHT(nIsolatedPerPawn);
    QM_WEIGHT(nBackward);
    QM_WEIGHT(anDoubledByPawns);
    QM_WEIGHT(nDoubledIsolated);
    QM_WEIGHT(nDoubledIsolatedOpen);
    QM_WEIGHT(nPasserAgainstQueen);
    QM_WEIGHT(nUnstoppable);
    QM_WEIGHT(nPawnEndingMajority);
    QM_WEIGHT(nOppositionOdd);
    QM_WEIGHT(nOppositionEven);
    QM_WEIGHT(anKnightTable);
    QM_WEIGHT(anBishopTable);
    QM_WEIGHT(anOutpostTable);
    QM_WEIGHT(nOutpostNoMinorsFactor);
    QM_WEIGHT(anKnightTropism);
    QM_WEIGHT(anBishopTropism);
    QM_WEIGHT(anRookTropism);
    QM_WEIGHT(anQueenTropism);
    QM_WEIGHT(nTropismNumerator);
    QM_WEIGHT(anMobilityWeight);
    QM_WEIGHT(anMobilityBase);
    QM_WEIGHT(anBishopForPasser);
    QM_WEIGHT(nRookBehindPasser);
    QM_WEIGHT(nRookBesidePasser);
    QM_WEIGHT(nHalfOpenFile);
    QM_WEIGHT(nOpenFile);
    QM_WEIGHT(nEnemyKingFile);
    QM_WEIGHT(nEnemyKingNextFile);
    QM_WEIGHT(anSeventhRank);
    QM_WEIGHT(nSeventhRankKing);
    QM_WEIGHT(anKingEndgameTable);
    QM_WEIGHT(anKingMiddleTable);
    QM_WEIGHT(nKingBlendPhase);
    QM_WEIGHT(nNotCastled);
    QM_WEIGHT(nNoCastlingRights);
    QM_WEIGHT(nShelterNoPawn);
    QM_WEIGHT(nShelterThird);
    QM_WEIGHT(nShelterFar);
    QM_WEIGHT(nStormThird);
    QM_WEIGHT(nStormFourth);
    QM_WEIGHT(anZoneAttacker);
    QM_WEIGHT(nZoneOutnumbered);
    QM_WEIGHT(nTrappedBishop);
    QM_WEIGHT(nTrappedRook);
    QM_WEIGHT(nLazyMargin1);
    QM_WEIGHT(nLazyMargin2);
#undef QM_WEIGHT
}
