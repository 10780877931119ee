// Shared helpers for board-level tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "board/board.h"

// Builds the tables once per test binary.
inline void EnsureTables() {
    static bool bDone = [] {
        RandomReset();
        InitTables();
        return true;
    }();
    (void)bDone;
}

inline Position FromFen(const std::string& fen) {
    EnsureTables();
    Position pos{};
    GameState g{1, 0, {}};
    EXPECT_TRUE(ParseFenQuiet(&pos, &g, fen.c_str())) << fen;
    return pos;
}

// Squares by name ("e4").
inline int Sq(const char* name) { return (name[1] - '1') * 8 + ('h' - name[0]); }

// Field-by-field comparison of two positions; has-castled bits and nInCheck may differ.
inline void ExpectSamePosition(const Position& a, const Position& b, const std::string& context) {
    for (int c = 0; c < 2; c++)
        for (int i = 0; i < 9; i++) EXPECT_EQ(a.bbPieces[c][i], b.bbPieces[c][i]) << context << " bb " << c << i;
    EXPECT_EQ(a.bbRotated90, b.bbRotated90) << context;
    EXPECT_EQ(a.bbRotated45L, b.bbRotated45L) << context;
    EXPECT_EQ(a.bbRotated45R, b.bbRotated45R) << context;
    for (int sq = 0; sq < 64; sq++) EXPECT_EQ(a.aBoard[sq], b.aBoard[sq]) << context << " sq " << sq;
    EXPECT_EQ(a.nMaterial[0], b.nMaterial[0]) << context;
    EXPECT_EQ(a.nMaterial[1], b.nMaterial[1]) << context;
    EXPECT_EQ(a.bSideToMove, b.bSideToMove) << context;
    EXPECT_EQ(a.nEpSquare, b.nEpSquare) << context;
    EXPECT_EQ(a.nFifty, b.nFifty) << context;
    EXPECT_EQ(a.nCastling & 0x0F, b.nCastling & 0x0F) << context;
    EXPECT_EQ(a.nHashKey, b.nHashKey) << context;
    EXPECT_EQ(a.nPawnKey, b.nPawnKey) << context;
    EXPECT_EQ(a.nMaterialKey, b.nMaterialKey) << context;
}
