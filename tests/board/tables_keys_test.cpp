#include <gtest/gtest.h>

#include "board_test_util.h"

namespace {

Bitboard Squares(std::initializer_list<const char*> names) {
    Bitboard b = 0;
    for (const char* n : names) b |= SquareBit(Sq(n));
    return b;
}

TEST(Tables, SlidingAttacksOnLines) {
    EnsureTables();
    // a1 with a1 and d1 occupied on rank 1: b1, c1, d1.
    const int a1 = Sq("a1");
    Bitboard occ = Squares({"a1", "d1"});
    EXPECT_EQ(abbRankAttacks[a1][(occ >> anRankShift[a1]) & 0xFF], Squares({"b1", "c1", "d1"}));

    Position empty{};
    empty.aBoard[Sq("e4")] = uint8_t(PieceCode(WHITE, ROOK));
    ComputeBitboards(&empty);
    EXPECT_EQ(PopCount(RookAttacks(empty, Sq("e4"))), 14);
    EXPECT_EQ(RookAttacks(empty, Sq("e4")),
              (abbFileMask[7 - 4] | (Bitboard(0xFF) << 24)) & ~SquareBit(Sq("e4")));
    Position corner{};
    corner.aBoard[Sq("a1")] = uint8_t(PieceCode(WHITE, BISHOP));
    ComputeBitboards(&corner);
    EXPECT_EQ(BishopAttacks(corner, Sq("a1")), Squares({"b2", "c3", "d4", "e5", "f6", "g7", "h8"}));
    // h1: the a1-h8 diagonal pattern has one bit, the other diagonal eight.
    EXPECT_EQ(anDiag45RMask[Sq("h1")], 1u);
    EXPECT_EQ(anDiag45LMask[Sq("h1")], 255u);
    EXPECT_EQ(anRot45LShift[Sq("a8")], 56);
    EXPECT_EQ(anRot45LShift[Sq("h1")], 56);
    EXPECT_EQ(anRot45LShift[Sq("g1")], 0);
    EXPECT_EQ(anRot45RShift[Sq("h1")], 63);
}

TEST(Tables, SlidersStopAtBlockers) {
    // Every rotated lookup must agree with walking the board square by square.
    Position pos = FromFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    Bitboard occ = Occupancy(pos);
    for (int sq = 0; sq < 64; sq++) {
        Bitboard rook = 0, bishop = 0;
        for (int dir = 0; dir < 8; dir++) {
            Bitboard ray = abbRay[dir][sq], blockers = ray & occ;
            if (blockers) {
                int first = anRayStep[dir] > 0 ? LowestSquare(blockers) : 63 - std::countl_zero(blockers);
                ray &= ~abbRay[dir][first];
            }
            (dir < 4 ? rook : bishop) |= ray;
        }
        EXPECT_EQ(RookAttacks(pos, sq), rook) << sq;
        EXPECT_EQ(BishopAttacks(pos, sq), bishop) << sq;
    }
}

TEST(Tables, Geometry) {
    EnsureTables();
    EXPECT_EQ(abbBetween[Sq("e1")][Sq("e8")], Squares({"e2", "e3", "e4", "e5", "e6", "e7"}));
    EXPECT_EQ(abbBetween[Sq("e1")][Sq("f3")], ~Bitboard(0));
    EXPECT_EQ(abbBetween[Sq("e1")][Sq("e2")], 0u);
    EXPECT_EQ(abbBetween[Sq("e1")][Sq("e1")], ~Bitboard(0));
    EXPECT_EQ(anDirection[Sq("a1")][Sq("b2")], 7);
    EXPECT_EQ(anDirection[Sq("a1")][Sq("h8")], 7);
    EXPECT_EQ(anDirection[Sq("h1")][Sq("a8")], 9);
    EXPECT_EQ(anDirection[Sq("e1")][Sq("f3")], 0);
    EXPECT_EQ(anDirection[Sq("e4")][Sq("e4")], 0);
    EXPECT_EQ(anDirection[Sq("e4")][Sq("a4")], 1);
    EXPECT_EQ(abbEpCapturers[WHITE][Sq("e6")], Squares({"d5", "f5"}));
    EXPECT_EQ(abbEpCapturers[BLACK][Sq("a3")], Squares({"b4"}));
    EXPECT_EQ(abbEpCapturers[WHITE][Sq("e4")], 0u);
    EXPECT_EQ(abbKnightAttacks[Sq("a1")], Squares({"b3", "c2"}));
    EXPECT_EQ(abbKnightAttacks[Sq("h8")], Squares({"g6", "f7"}));
    EXPECT_EQ(abbPawnAttacks[WHITE][Sq("a2")], Squares({"b3"}));
    EXPECT_EQ(abbPawnAttacks[BLACK][Sq("h7")], Squares({"g6"}));
    EXPECT_EQ(abbAdjacentFiles[0], abbFileMask[1]);  // h-file: g only
    EXPECT_EQ(abbAdjacentFiles[7], abbFileMask[6]);  // a-file: b only
    EXPECT_EQ(abbFrontSpanAdjacent[WHITE][Sq("e6")], Squares({"d7", "d8", "f7", "f8"}));
    EXPECT_EQ(abbFrontSpanAdjacent[BLACK][Sq("a3")], Squares({"b2", "b1"}));
    EXPECT_EQ(anPieceValue[PieceCode(BLACK, QUEEN)], -975);
    EXPECT_EQ(anPieceValue[PieceCode(WHITE, KNIGHT)], 325);
    EXPECT_EQ(anCastleMask[Sq("h8")], uint64_t(CASTLE_BK));
}

TEST(Keys, GeneratorIsFixed) {
    RandomReset();
    EXPECT_EQ(Random64(), 0x37539B8A4890D6A4ULL);
    RandomReset();
    InitTables();
    EXPECT_EQ(anKeyPiece[Sq("h1")][WHITE][PAWN], 0x37539B8A4890D6A4ULL);
    // "seed" with any value rebuilds identical keys.
    uint64_t before = anKeyPiece[40][BLACK][QUEEN];
    uint8_t fifty99 = anKeyFifty[99];
    srand(12345);
    RandomReset();
    InitTables();
    EXPECT_EQ(anKeyPiece[40][BLACK][QUEEN], before);
    EXPECT_EQ(anKeyFifty[99], fifty99);
    EXPECT_EQ(anKeyFifty[0], 0);
    EXPECT_NE(anKeyFifty[200], 0);  // clocks past 99 have keys of their own
}

TEST(Keys, RandomBitsStaysInLowHalf) {
    RandomReset();
    for (int i = 0; i < 100; i++) EXPECT_EQ(RandomBits(5) >> 32, 0u);
    RandomReset();
    InitTables();
}

TEST(Keys, StartPositionSignatures) {
    EnsureTables();
    Position pos;
    SetStartPosition(&pos);
    EXPECT_EQ(pos.nHashKey, 0xFB3D0ADDE43FBF72ULL);
    EXPECT_EQ(pos.nPawnKey, 0x071CB7BD4C554E0DULL);
    EXPECT_EQ(pos.nMaterialKey, 0xFDF5B3EB9E94D58CULL);

    Position black = FromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1");
    EXPECT_EQ(pos.nHashKey ^ black.nHashKey, uint64_t(nKeySide));
    EXPECT_EQ(pos.nPawnKey ^ black.nPawnKey, uint64_t(nKeySide));

    Position a = FromFen("4k3/8/8/8/8/8/8/4K2R w K - 3 40");
    Position b = FromFen("4k3/8/8/8/8/8/8/4K2R w K - 17 40");
    EXPECT_EQ(RepetitionKey(a), RepetitionKey(b));
    EXPECT_EQ(a.nHashKey ^ b.nHashKey, uint64_t(anKeyFifty[3] ^ anKeyFifty[17]));
    EXPECT_NE(a.nMaterialKey, 0u);  // count-0 keys are real keys
}

}  // namespace
