// Material table: balance, phase, classes, scale factors, recognisers and the shared cache.
#include "eval/material.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "board/board_test_util.h"
#include "tools/stats.h"

namespace {

MaterialEntry Probe(const std::string& fen) {
    const Position pos = FromFen(fen);
    MaterialEntry e{};
    ProbeMaterial(&pos, &e);
    return e;
}

int Kbnk(const char* fen, int nPly) {
    const Position pos = FromFen(fen);
    return RecognizeKBNK(&pos, nPly);
}

MaterialEntry Compute(const Position& pos) {
    MaterialEntry e{};
    ComputeMaterialEntry(&pos, &e);
    return e;
}

TEST(MaterialTable, StartPosition) {
    const MaterialEntry e = Probe("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(e.nBalance, 0);
    EXPECT_EQ(e.nPhase, 256);
    EXPECT_EQ(e.nClass, MAT_NONE);
    EXPECT_EQ(e.nScale[0], 16);
    EXPECT_EQ(e.nScale[1], 16);
    EXPECT_EQ(e.pfnRecognizer, nullptr);
    EXPECT_EQ(e.nPawns[0], 8);
    EXPECT_EQ(e.nKnights[1], 2);
    EXPECT_EQ(e.nQueens[0], 1);
    EXPECT_EQ(e.nPieces[0], 7);
    EXPECT_EQ(e.nPieces[1], 7);
    EXPECT_EQ(e.nKingSq[WHITE], Sq("e1"));
    EXPECT_EQ(e.nKingSq[BLACK], Sq("e8"));
}

TEST(MaterialTable, PhaseCountsMinorsRooksQueensAndCaps) {
    EXPECT_EQ(Probe("3qk3/8/8/8/8/8/8/3QK3 w - - 0 1").nPhase, 8 * 256 / 24);   // 85
    EXPECT_EQ(Probe("r3k3/8/8/8/8/8/8/1N2K3 w - - 0 1").nPhase, 3 * 256 / 24);  // 32
    EXPECT_EQ(Probe("4k3/pppp4/8/8/8/8/PPPP4/4K3 w - - 0 1").nPhase, 0);
    // Three queens and two rooks a side: 32 units, capped at 24.
    EXPECT_EQ(Probe("qqqrkr2/8/8/8/8/8/8/QQQRKR2 w - - 0 1").nPhase, 256);
}

TEST(MaterialTable, BishopPairByPawnCount) {
    // 16 pawns: pair 30; black keeps minors (no 25); black knight with 8 pawns: -19.
    EXPECT_EQ(Probe("2b1k1n1/pppppppp/8/8/8/8/PPPPPPPP/2B1KB2 w - - 0 1").nBalance, 30 - 19);
    // 8 pawns: pair 50; black knight with 4 pawns: +6 for white.
    EXPECT_EQ(Probe("2b1k1n1/pppp4/8/8/8/8/PPPP4/2B1KB2 w - - 0 1").nBalance, 50 + 6);
    // No black minor: 25 more; black rook with 4 pawns: 13; trade-down 150 * 50 / 1950 = 3.
    EXPECT_EQ(Probe("4k2r/pppp4/8/8/8/8/PPPP4/2B1KB2 w - - 0 1").nBalance, 150 + 50 + 25 - 13 + 3);
    // The same for black with the signs reversed.
    EXPECT_EQ(Probe("2b1kb2/pppp4/8/8/8/8/PPPP4/4K2R w - - 0 1").nBalance, -(150 + 50 + 25 - 13 + 3));
}

TEST(MaterialTable, TradeDownTruncatesTowardZero) {
    // Start position without the black b8 knight: 325 + knights (2 x 19 - 19) + 325 * 50 / 7825.
    EXPECT_EQ(Probe("r1bqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1").nBalance, 325 + 19 + 2);
    EXPECT_EQ(Probe("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/R1BQKBNR w KQkq - 0 1").nBalance, -(325 + 19 + 2));
    // A side with 325 or less (one minor) gets no trade-down term.
    EXPECT_EQ(Probe("4k3/8/8/8/8/8/8/1N2K3 w - - 0 1").nBalance, 325 - 31);
}

TEST(MaterialTable, RookAndKnightAdjustmentsUseOwnPawns) {
    // White rook, no white pawns: +63; black knight with 8 pawns: -19; trade-down (500-1125)*50/1625 = -19.
    EXPECT_EQ(Probe("4k1n1/pppppppp/8/8/8/8/8/R3K3 w - - 0 1").nBalance, 500 - 1125 + 63 - 19 - 19);
}

struct ClassCase {
    const char* fen;
    int nClass;
    int nScaleWhite, nScaleBlack;
    RecognizerFn pfn;
};

TEST(MaterialTable, ClassesScalesAndRecognizers) {
    const ClassCase cases[] = {
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", MAT_KK, 0, 0, nullptr},
        {"4k3/8/8/8/8/8/8/1N2K3 w - - 0 1", MAT_KNK, 0, 0, nullptr},
        {"1n2k3/8/8/8/8/8/8/4K3 w - - 0 1", MAT_KKN, 0, 0, nullptr},
        {"4k3/8/8/8/8/8/8/2B1K3 w - - 0 1", MAT_KBK, 0, 0, nullptr},
        {"4k3/8/8/8/8/8/P7/4K3 w - - 0 1", MAT_KPK, 16, 16, nullptr},
        {"4k3/p7/8/8/8/8/8/4K3 w - - 0 1", MAT_KKP, 16, 16, nullptr},
        {"4k3/8/8/8/8/8/8/R3K3 w - - 0 1", MAT_KRK, 16, 16, RecognizeKXK},
        {"r3k3/8/8/8/8/8/8/4K3 w - - 0 1", MAT_KKR, 16, 16, RecognizeKXK},
        {"3qk3/8/8/8/8/8/8/4K3 w - - 0 1", MAT_KKQ, 16, 16, RecognizeKXK},
        {"4k3/8/8/8/8/8/8/3QK3 w - - 0 1", MAT_KQK, 16, 16, RecognizeKXK},
        {"r3k3/8/8/8/8/8/8/R3K3 w - - 0 1", MAT_KRKR, 0, 0, nullptr},
        {"3qk3/8/8/8/8/8/8/3QK3 w - - 0 1", MAT_KQKQ, 0, 0, nullptr},
        {"2b1k3/8/8/8/8/8/8/2B1K3 w - - 0 1", MAT_KBKB, 16, 16, nullptr},
        {"r3k3/8/8/8/8/8/8/3QK3 w - - 0 1", MAT_KQKR, 16, 16, RecognizeKQKR},
        {"3qk3/8/8/8/8/8/8/R3K3 w - - 0 1", MAT_KRKQ, 16, 16, RecognizeKQKR},
        {"4k3/8/8/8/8/8/8/1NB1K3 w - - 0 1", MAT_KBNK, 16, 16, RecognizeKBNK},
        {"1nb1k3/8/8/8/8/8/8/4K3 w - - 0 1", MAT_KKBN, 16, 16, RecognizeKBNK},
        {"4k3/8/8/8/8/8/8/1N2K1N1 w - - 0 1", MAT_KNNK, 0, 0, nullptr},
        {"1n2k1n1/8/8/8/8/8/8/4K3 w - - 0 1", MAT_KKNN, 0, 0, nullptr},
        {"4k3/8/8/8/8/8/P7/2B1K3 w - - 0 1", MAT_KBPK, 16, 16, nullptr},
        {"2b1k3/p7/8/8/8/8/8/4K3 w - - 0 1", MAT_KKBP, 16, 16, nullptr},
        {"4k3/p7/8/8/8/8/8/R3K3 w - - 0 1", MAT_KRKP, 16, 16, nullptr},
        {"r3k3/8/8/8/8/8/P7/R3K3 w - - 0 1", MAT_KRPKR, 16, 16, nullptr},
        {"r3k3/p7/8/8/8/8/8/R3K3 w - - 0 1", MAT_KRKRP, 16, 16, nullptr},
        {"2b1k3/8/8/8/8/8/8/1NB1K3 w - - 0 1", MAT_KBNKB, 2, 1, nullptr},
        {"1n2k3/8/8/8/8/8/8/1NB1K3 w - - 0 1", MAT_KBNKN, 2, 1, nullptr},
        {"1nb1k3/8/8/8/8/8/8/2B1K3 w - - 0 1", MAT_KBKBN, 1, 2, nullptr},
        {"1nb1k3/8/8/8/8/8/8/1N2K3 w - - 0 1", MAT_KNKBN, 1, 2, nullptr},
        // Queen against bishop has no class; the bishop side cannot win (one minor, no pawn) and
        // the queen side is two majors ahead.
        {"2b1k3/8/8/8/8/8/8/3QK3 w - - 0 1", MAT_NONE, 16, 0, nullptr},
        // Two pawns against a bare king is not a class either.
        {"4k3/8/8/8/8/8/PP6/4K3 w - - 0 1", MAT_NONE, 16, 2, nullptr},
    };
    for (const ClassCase& c : cases) {
        const MaterialEntry e = Probe(c.fen);
        EXPECT_EQ(e.nClass, c.nClass) << c.fen;
        EXPECT_EQ(e.nScale[0], c.nScaleWhite) << c.fen;
        EXPECT_EQ(e.nScale[1], c.nScaleBlack) << c.fen;
        EXPECT_EQ(e.pfnRecognizer, c.pfn) << c.fen;
    }
}

TEST(MaterialTable, ClassFreeScaleFactors) {
    const ClassCase cases[] = {
        // Rook and bishop against rook: minors differ by one, majors equal: 2 each.
        {"r3k3/8/8/8/8/8/8/R1B1K3 w - - 0 1", MAT_NONE, 2, 2, nullptr},
        // Two bishops against a knight: 8; the knight side: one minor, no pawn: 0.
        {"1n2k3/8/8/8/8/8/8/2B1KB2 w - - 0 1", MAT_NONE, 8, 0, nullptr},
        // Two knights against a pawn: 1; the pawn side (one pawn, white has minors): 8.
        {"4k3/p7/8/8/8/8/8/1N2K1N1 w - - 0 1", MAT_NONE, 1, 8, nullptr},
        // Two knights against a rook: 0; the rook side: 16.
        {"r3k3/8/8/8/8/8/8/1N2K1N1 w - - 0 1", MAT_NONE, 0, 16, nullptr},
        // Bishop and pawn against a rook: 4; the rook side keeps 16.
        {"r3k3/8/8/8/8/8/P7/2B1K3 w - - 0 1", MAT_NONE, 4, 16, nullptr},
        // Rook and pawn against two rooks: a major down with no minors: 8.
        {"r3k2r/8/8/8/8/8/P7/R3K3 w - - 0 1", MAT_NONE, 8, 16, nullptr},
        // Queen and pawn against queen: no rook on the other side, no change.
        {"3qk3/8/8/8/8/8/P7/3QK3 w - - 0 1", MAT_NONE, 16, 2, nullptr},
        // Rook and pawn against bishop: majors differ, no change; the bishop side: 0.
        {"2b1k3/8/8/8/8/8/P7/R3K3 w - - 0 1", MAT_NONE, 16, 0, nullptr},
        // Two knights and a pawn against knight and pawn: the two-knights value is 8 (one piece
        // and a pawn opposite); the single knight with its pawn gets 4.
        {"1n2k3/p7/8/8/8/8/P7/1N2K1N1 w - - 0 1", MAT_NONE, 8, 4, nullptr},
        // Two or more pawns: no change.
        {"2b1k3/pp6/8/8/8/8/PP6/2B1K3 w - - 0 1", MAT_NONE, 16, 16, nullptr},
    };
    for (const ClassCase& c : cases) {
        const MaterialEntry e = Probe(c.fen);
        EXPECT_EQ(e.nClass, c.nClass) << c.fen;
        EXPECT_EQ(e.nScale[0], c.nScaleWhite) << c.fen;
        EXPECT_EQ(e.nScale[1], c.nScaleBlack) << c.fen;
    }
}

TEST(MaterialTable, RecognizeKXKDrivesTheLoneKingToTheEdge) {
    // White: (7 - 2) x 16 + Edge[e8] 60 - ply.
    const Position white = FromFen("4k3/8/4K3/8/8/8/8/R7 w - - 0 1");
    EXPECT_EQ(RecognizeKXK(&white, 0), 140);
    EXPECT_EQ(RecognizeKXK(&white, 5), 135);
    const Position centre = FromFen("8/8/8/3k4/8/8/8/R3K3 w - - 0 1");
    EXPECT_GT(RecognizeKXK(&white, 0), RecognizeKXK(&centre, 0));
    // Black rook: the mirror image, the ply now added.
    const Position black = FromFen("r7/8/8/8/8/4k3/8/4K3 b - - 0 1");
    EXPECT_EQ(RecognizeKXK(&black, 5), -135);
}

TEST(MaterialTable, RecognizeKQKRCountsTheRookDistance) {
    const Position pos = FromFen("4k2r/8/4K3/8/8/8/8/Q7 w - - 0 1");
    EXPECT_EQ(RecognizeKQKR(&pos, 0), 5 * 16 + 60 + 4 * 3);
    const Position black = FromFen("q7/8/8/8/8/4k3/8/4K2R b - - 0 1");
    EXPECT_EQ(RecognizeKQKR(&black, 2), -(5 * 16 + 60 + 4 * 3) + 2);
}

TEST(MaterialTable, RecognizeKBNKPrefersTheBishopsCorners) {
    // Light-squared bishop f1: the black king is worse off in a8 and h1 than in a1 and h8.
    const int a8 = Kbnk("k7/8/8/8/4K3/4N3/8/5B2 w - - 0 1", 0);
    const int h1 = Kbnk("8/8/8/8/4K3/4N3/8/5B1k w - - 0 1", 0);
    const int a1 = Kbnk("8/8/8/8/4K3/4N3/8/k4B2 w - - 0 1", 0);
    const int h8 = Kbnk("7k/8/8/8/4K3/4N3/8/5B2 w - - 0 1", 0);
    EXPECT_EQ(a8, 30);
    EXPECT_EQ(h1, 30);
    EXPECT_EQ(a1, -30);
    EXPECT_EQ(h8, -30);
    // Dark-squared bishop c1: the other two corners; halving truncates toward zero.
    EXPECT_EQ(Kbnk("8/8/8/8/4K3/4N3/8/k1B5 w - - 0 1", 1), (60 - 1) / 2);
    EXPECT_EQ(Kbnk("k7/8/8/8/4K3/4N3/8/2B5 w - - 0 1", 1), (-60 - 1) / 2);
    // Black with a light-squared bishop: white's king in a8 is good for black.
    EXPECT_EQ(Kbnk("K7/8/8/8/4k3/4n3/8/5b2 b - - 0 1", 4), (-60 + 4) / 2);
}

TEST(MaterialTable, RecognizerTablesFollowTheBoardGeometry) {
    EXPECT_EQ(anEdgeTable[Sq("a8")], 90);
    EXPECT_EQ(anEdgeTable[Sq("d5")], 10);
    EXPECT_EQ(anEdgeTable[Sq("b1")], 80);
    EXPECT_EQ(anCornerTable[Sq("a8")], 60);
    EXPECT_EQ(anCornerTable[Sq("h1")], 60);
    EXPECT_EQ(anCornerTable[Sq("a1")], -60);
    EXPECT_EQ(anCornerTable[Sq("g2")], 40);
    EXPECT_EQ(anCornerTable[Sq("c6")], 10);
}

TEST(MaterialTable, ProbeHitReturnsTheStoredEntry) {
    ASSERT_TRUE(AllocMaterialTable());  // starts empty
    EXPECT_TRUE(MaterialTableReady());
    EXPECT_EQ(nMaterialTableEntries, uint64_t(kMaterialTableSize));
    const Position pos = FromFen("r1bqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    const uint64_t hits = Stats().nMaterialHits, misses = Stats().nMaterialMisses;
    MaterialEntry first{}, second{};
    first.bScratch = 7;
    ProbeMaterial(&pos, &first);
    EXPECT_EQ(Stats().nMaterialMisses - misses, 1u);
    EXPECT_EQ(first.bScratch, 0);
    EXPECT_EQ(first.nCheck, uint32_t(pos.nMaterialKey >> 32));
    // Same material, other squares: a hit with the same cached data and its own kings.
    const Position moved = FromFen("r1bqkbnr/pppppppp/8/8/8/5K2/PPPPPPPP/RNBQ1BNR b kq - 0 1");
    ProbeMaterial(&moved, &second);
    EXPECT_EQ(Stats().nMaterialHits - hits, 1u);
    EXPECT_EQ(second.nBalance, first.nBalance);
    EXPECT_EQ(second.nPhase, first.nPhase);
    EXPECT_EQ(second.nScale[0], first.nScale[0]);
    EXPECT_EQ(second.nKingSq[WHITE], Sq("f3"));
    const MaterialEntry fresh = Compute(pos);
    EXPECT_EQ(second.nBalance, fresh.nBalance);
}

TEST(MaterialTable, ConcurrentProbesAlwaysSeeWholeEntries) {
    const char* fens[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "4k2r/pppp4/8/8/8/8/PPPP4/2B1KB2 w - - 0 1",
        "r3k3/8/8/8/8/8/8/R1B1K3 w - - 0 1",
        "1n2k3/8/8/8/8/8/8/2B1KB2 w - - 0 1",
        "4k3/8/8/8/8/8/8/1NB1K3 w - - 0 1",
    };
    std::vector<Position> positions;
    std::vector<MaterialEntry> expected;
    for (const char* fen : fens) {
        positions.push_back(FromFen(fen));
        expected.push_back(Compute(positions.back()));
    }
    std::atomic<int> nBad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 4000; i++) {
                const size_t k = size_t(i + t) % positions.size();
                MaterialEntry e{};
                ProbeMaterial(&positions[k], &e);
                if (e.nBalance != expected[k].nBalance || e.nPhase != expected[k].nPhase ||
                    e.nScale[0] != expected[k].nScale[0] || e.nScale[1] != expected[k].nScale[1] ||
                    e.pfnRecognizer != expected[k].pfnRecognizer)
                    nBad++;
            }
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(nBad.load(), 0);
}

TEST(MaterialTable, ExtremeCountsStayInsideTheTables) {
    // Ten knights after promotions (the FEN reader's limit is sixteen men a side).
    const MaterialEntry e = Probe("7k/8/8/8/NN6/NNNNNNNN/PPPPP3/K7 w - - 0 1");
    EXPECT_EQ(e.nKnights[0], 10);
    EXPECT_EQ(e.nPhase, 10 * 256 / 24);
    EXPECT_EQ(e.nBalance, 3750);  // knight adjustment with five pawns is 0; no trade-down term
    // A hand-made record beyond the FEN limits (nine pawns, eleven rooks) is still safe.
    Position pos = FromFen("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
    pos.bbPieces[WHITE][BB_PAWN] = 0x0000000001FF0000ULL;
    pos.bbPieces[WHITE][BB_ROOK] = 0x00FF000000000007ULL;
    pos.nMaterial[WHITE] = 9 * 100 + 11 * 500;
    const MaterialEntry big = Compute(pos);
    EXPECT_EQ(big.nPawns[0], 9);
    EXPECT_EQ(big.nPhase, 22 * 256 / 24);
    EXPECT_EQ(big.nBalance, 6400 + 11 * -38);
}

}  // namespace
