// Pawn structure: the cached structure score and masks, the piece- and king-dependent terms,
// colour symmetry and the pawn hash.
#include "eval/pawns.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board/board_test_util.h"
#include "core/settings.h"
#include "eval/material.h"
#include "search/hash.h"
#include "tools/stats.h"

namespace {

PawnEntry Structure(const std::string& fen) {
    const Position pos = FromFen(fen);
    PawnEntry e{};
    ComputePawnEntry(&pos, &e);
    return e;
}

// EvaluatePawns of the position, and the same minus the cached structure score.
struct PawnTerm {
    int nTotal;
    int nExtra;
};
PawnTerm Evaluate(const Position& pos) {
    MaterialEntry me{};
    ProbeMaterial(&pos, &me);
    PawnEntry pe{};
    const int total = EvaluatePawns(&pos, &pe, me);
    return {total, total - pe.nScore};
}
PawnTerm Evaluate(const std::string& fen) {
    return Evaluate(FromFen(fen));
}

// File mask bit of a file letter (bit 0 is the h-file).
unsigned FileBit(char file) {
    return 1u << ('h' - file);
}

// Runs a test body with the pawn hash at a given size, restoring the setting afterwards.
struct PawnHashSize {
    int nSaved;
    explicit PawnHashSize(int nKB) : nSaved(nPawnHashKB) {
        nPawnHashKB = nKB;
        AllocPawnHash(false);
    }
    ~PawnHashSize() {
        nPawnHashKB = nSaved;
        FreePawnHash();
    }
};

TEST(PawnStructure, StartPositionScoresZero) {
    const PawnEntry e = Structure("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(e.nScore, 0);
    EXPECT_EQ(e.nCount[0], 8);
    EXPECT_EQ(e.nFiles[0], 0xFF);
    EXPECT_EQ(e.nFiles[1], 0xFF);
    EXPECT_EQ(e.nPassed[0] | e.nPassed[1] | e.nIsolated[0] | e.nIsolated[1] | e.nDoubled[0] | e.nDoubled[1],
              0);
    EXPECT_EQ(Evaluate("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1").nTotal, 0);
}

TEST(PawnStructure, EdgePassersBothColours) {
    // White a7: table 5, rank 120, edge passer -20, edge file -15, isolated -20 = 70.
    // Black h7: table 0, rank -20, edge passer +20, edge file +15, isolated +20 = 35.
    const PawnEntry e = Structure("4k3/P6p/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(e.nScore, 70 + 35);
    EXPECT_EQ(e.nPassed[0], FileBit('a'));
    EXPECT_EQ(e.nPassed[1], FileBit('h'));
    EXPECT_EQ(e.nIsolated[0], FileBit('a'));
    EXPECT_EQ(e.nIsolated[1], FileBit('h'));
    // Without any black pawn white gets -20 less: no-pawns term +20 replaces black's 35.
    EXPECT_EQ(Structure("4k3/P7/8/8/8/8/8/4K3 w - - 0 1").nScore, 70 + 20);
}

TEST(PawnStructure, BackwardPawnAndPassers) {
    // d5, e4, f5 against no pawns: +20, tables 29, passers 80 + 60 + 80, e4 backward -8.
    const PawnEntry e = Structure("6k1/8/8/3P1P2/4P3/8/8/6K1 w - - 0 1");
    EXPECT_EQ(e.nScore, 20 + 29 + 80 + 60 - 8 + 80);
    EXPECT_EQ(e.nPassed[0], FileBit('d') | FileBit('e') | FileBit('f'));
    EXPECT_EQ(e.nIsolated[0], 0);
    // The same structure for black.
    EXPECT_EQ(Structure("6k1/8/8/4p3/3p1p2/8/8/6K1 w - - 0 1").nScore, -(20 + 29 + 80 + 60 - 8 + 80));
}

TEST(PawnStructure, ConnectedPassersOnTheHFileEdge) {
    // g6 and h6: +20, tables 12, h: -15 + 100 - 20, g: +100 and +100 connected with h.
    EXPECT_EQ(Structure("6k1/8/6PP/8/8/8/8/6K1 w - - 0 1").nScore, 20 + 12 - 15 + 100 - 20 + 100 + 100);
    // g3 and h3 for black, connected on ranks 3.
    EXPECT_EQ(Structure("6k1/8/8/8/8/6pp/8/6K1 w - - 0 1").nScore, -(20 + 12 - 15 + 100 - 20 + 100 + 100));
    // Not yet far enough: g5 and h5 are passers without the connection bonus.
    EXPECT_EQ(Structure("6k1/8/8/6PP/8/8/8/6K1 w - - 0 1").nScore, 20 + 9 - 15 + 80 - 20 + 80);
}

TEST(PawnStructure, DoubledAndIsolatedMasksAndTerms) {
    // White a2 a3 doubled and isolated (passed), black c7 c6 the same.
    const PawnEntry e = Structure("4k3/2p5/2p5/8/8/P7/P7/4K3 w - - 0 1");
    EXPECT_EQ(e.nScore, -37);
    EXPECT_EQ(e.nDoubled[0], FileBit('a'));
    EXPECT_EQ(e.nDoubled[1], FileBit('c'));
    EXPECT_EQ(e.nIsolated[0], FileBit('a'));
    EXPECT_EQ(e.nIsolated[1], FileBit('c'));
    // No pieces: both doubled isolated pairs -70 (no enemy pawn on their file), cancelling; kings
    // on the e-file seven apart with white to move: -20.
    const PawnTerm t = Evaluate("4k3/2p5/2p5/8/8/P7/P7/4K3 w - - 0 1");
    EXPECT_EQ(t.nTotal, -37 - 20);
}

TEST(PawnStructure, CandidatePasser) {
    // c4 with the helper b3 against the sentry d6: a candidate, half its rank bonus (30). b3 is
    // passed (40) but backward behind c4 (-8); d6 is isolated (+20); tables 2 + 6 + 10.
    const PawnEntry with = Structure("6k1/8/3p4/8/2P5/1P6/8/6K1 w - - 0 1");
    EXPECT_EQ(with.nPassed[0], FileBit('b'));
    EXPECT_EQ(with.nScore, 18 + 20 + 30 + 40 - 8);
    // Without the helper c4 is no candidate, only isolated.
    EXPECT_EQ(Structure("6k1/8/3p4/8/2P5/8/8/6K1 w - - 0 1").nScore, 16 + 20 - 20);
}

TEST(EvaluatePawns, UnstoppablePasserAgainstABareKing) {
    // a5 needs 3 moves; the h8 king needs 7, one fewer with black to move: 700 once.
    EXPECT_EQ(Evaluate("7k/8/8/P7/8/8/8/K7 b - - 0 1").nExtra, 700);
    EXPECT_EQ(Evaluate("7k/8/8/P7/8/8/8/K7 w - - 0 1").nExtra, 700);
    // A king on c6 to move catches it.
    EXPECT_EQ(Evaluate("8/8/2k5/P7/8/8/8/K7 b - - 0 1").nExtra, 0);
    // Two runners still count once.
    EXPECT_EQ(Evaluate("7k/8/8/PP6/8/8/8/K7 b - - 0 1").nExtra, 700);
    // A piece on the pawn's path (its own king) stops the rule.
    EXPECT_EQ(Evaluate("8/K7/8/P6k/8/8/8/8 b - - 0 1").nExtra, 0);
    // Any black piece stops it too.
    EXPECT_EQ(Evaluate("6nk/8/8/P7/8/8/8/K7 b - - 0 1").nExtra, 0);
    // Black runner.
    EXPECT_EQ(Evaluate("k7/8/8/8/p7/8/8/7K w - - 0 1").nExtra, -700);
}

TEST(EvaluatePawns, PassersAgainstAQueen) {
    EXPECT_EQ(Evaluate("3qk3/8/8/8/8/8/P6P/4K3 w - - 0 1").nExtra, -80);
    EXPECT_EQ(Evaluate("4k3/p6p/8/8/8/8/8/3QK3 w - - 0 1").nExtra, 80);
}

TEST(EvaluatePawns, PawnEndingMajority) {
    // Four sound white pawns against three sound black pawns: +100; kings not aligned.
    EXPECT_EQ(Evaluate("3k4/ppp5/8/8/8/8/PP3PP1/4K3 w - - 0 1").nExtra, 100);
}

TEST(EvaluatePawns, DoubledPawnsByHeavyPieces) {
    // c2 c3 d2: penalty 33 for three pawns, doubled without heavy pieces and rooks.
    EXPECT_EQ(Evaluate("4k1n1/8/8/8/8/2P5/2PP4/1N2K3 w - - 0 1").nExtra, -66);
    EXPECT_EQ(Evaluate("4k1n1/8/8/8/8/2P5/2PP4/1N2K2R w - - 0 1").nExtra, -33);
    EXPECT_EQ(Evaluate("4k1n1/8/8/8/8/2P5/2PP4/RN2K2R w - - 0 1").nExtra, -33 / 4);
    EXPECT_EQ(Evaluate("4k1n1/8/8/8/8/2P5/2PP4/1N1QK3 w - - 0 1").nExtra, -33 / 4);
    // Two doubled files: the running value doubles again (-29 x 2, then (-58 - 29) x 2).
    EXPECT_EQ(Evaluate("4k1n1/8/8/8/8/2PP4/2PP4/1N2K3 w - - 0 1").nExtra, -174);
    // Doubled and isolated: -20 with an enemy pawn on the file.
    EXPECT_EQ(Evaluate("4k1n1/p7/8/8/8/P7/P7/1N2K3 w - - 0 1").nExtra, -20);
    // Black's doubled pawns count for white.
    EXPECT_EQ(Evaluate("1n2k3/2pp4/2p5/8/8/8/8/4K1N1 w - - 0 1").nExtra, 66);
}

TEST(EvaluatePawns, KingOpposition) {
    EXPECT_EQ(Evaluate("8/8/4k3/8/4K3/8/8/8 w - - 0 1").nTotal, 10);
    EXPECT_EQ(Evaluate("8/8/4k3/8/4K3/8/8/8 b - - 0 1").nTotal, -10);
    EXPECT_EQ(Evaluate("8/4k3/8/8/4K3/8/8/8 w - - 0 1").nTotal, -20);
    EXPECT_EQ(Evaluate("8/4k3/8/8/4K3/8/8/8 b - - 0 1").nTotal, 20);
    EXPECT_EQ(Evaluate("8/8/8/8/K6k/8/8/8 w - - 0 1").nTotal, -20);
    EXPECT_EQ(Evaluate("8/8/8/8/K5k1/8/8/8 b - - 0 1").nTotal, -10);
    EXPECT_EQ(Evaluate("8/8/8/5k2/K7/8/8/8 w - - 0 1").nTotal, 0);
    // With a piece on the board there is no opposition term.
    EXPECT_EQ(Evaluate("8/8/4k3/8/4K3/8/8/7N w - - 0 1").nTotal, 0);
}

TEST(EvaluatePawns, MirroredPositionsGiveMirroredScores) {
    const char* fens[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "4k3/P6p/8/8/8/8/8/4K3 w - - 0 1",
        "6k1/8/8/3P1P2/4P3/8/8/6K1 b - - 0 1",
        "4k3/2p5/2p5/8/8/P7/P7/4K3 w - - 0 1",
        "4k1n1/8/8/8/8/2PP4/2PP4/1N2K3 w - - 0 1",
        "7k/8/8/PP6/8/8/8/K7 b - - 0 1",
        "3k4/ppp5/8/8/8/8/PP3PP1/4K3 w - - 0 1",
        "r1bq1rk1/pp3ppp/2n1p3/2bp4/3P4/2P1PN2/P4PPP/R1BQKB1R w KQ - 0 9",
        "8/5p2/1p2p1p1/p2pP1P1/P2P4/1P6/5K2/2k5 b - - 0 40",
        "3r2k1/1p3ppp/p1p5/2P5/1P1R4/P4P2/6PP/6K1 w - - 0 30",
    };
    for (const char* fen : fens) {
        Position pos = FromFen(fen);
        const PawnEntry e = Structure(fen);
        const PawnTerm t = Evaluate(pos);
        MirrorPosition(&pos);
        PawnEntry m{};
        ComputePawnEntry(&pos, &m);
        EXPECT_EQ(m.nScore, -e.nScore) << fen;
        for (int c = 0; c < 2; c++) {
            EXPECT_EQ(m.nPassed[c], e.nPassed[c ^ 1]) << fen;
            EXPECT_EQ(m.nIsolated[c], e.nIsolated[c ^ 1]) << fen;
            EXPECT_EQ(m.nDoubled[c], e.nDoubled[c ^ 1]) << fen;
            EXPECT_EQ(m.nFiles[c], e.nFiles[c ^ 1]) << fen;
            EXPECT_EQ(m.nCount[c], e.nCount[c ^ 1]) << fen;
        }
        EXPECT_EQ(Evaluate(pos).nTotal, -t.nTotal) << fen;
    }
}

TEST(PawnHash, HitReturnsTheSameEntryAsAFreshComputation) {
    PawnHashSize size(16);
    ASSERT_GT(nPawnHashEntries, 0u);
    const Position pos = FromFen("r1bq1rk1/pp3ppp/2n1p3/2bp4/3P4/2P1PN2/P4PPP/R1BQKB1R w KQ - 0 9");
    MaterialEntry me{};
    ProbeMaterial(&pos, &me);
    const uint64_t hits = Stats().nPawnHashHits, misses = Stats().nPawnHashMisses;
    PawnEntry first{}, second{}, fresh{};
    const int a = EvaluatePawns(&pos, &first, me);
    const int b = EvaluatePawns(&pos, &second, me);
    EXPECT_EQ(Stats().nPawnHashMisses - misses, 1u);
    EXPECT_EQ(Stats().nPawnHashHits - hits, 1u);
    EXPECT_EQ(a, b);
    ComputePawnEntry(&pos, &fresh);
    fresh.nKey = pos.nPawnKey;
    EXPECT_EQ(0, memcmp(&fresh, &second, sizeof(PawnEntry)));
    EXPECT_EQ(0, memcmp(&first, &second, sizeof(PawnEntry)));
}

TEST(PawnHash, ZeroSignatureNeverHits) {
    PawnHashSize size(16);
    // No pawns and black to move: the pawn signature is 0.
    const Position pos = FromFen("8/8/4k3/8/4K3/8/8/7N b - - 0 1");
    ASSERT_EQ(pos.nPawnKey, 0u);
    MaterialEntry me{};
    ProbeMaterial(&pos, &me);
    const uint64_t hits = Stats().nPawnHashHits, misses = Stats().nPawnHashMisses;
    PawnEntry pe{};
    EvaluatePawns(&pos, &pe, me);
    EvaluatePawns(&pos, &pe, me);
    EXPECT_EQ(Stats().nPawnHashHits - hits, 0u);
    EXPECT_EQ(Stats().nPawnHashMisses - misses, 2u);
}

TEST(PawnHash, DisabledTableComputesEveryTime) {
    PawnHashSize size(0);
    ASSERT_EQ(nPawnHashEntries, 0u);
    const Position pos = FromFen("4k3/2p5/2p5/8/8/P7/P7/4K3 w - - 0 1");
    MaterialEntry me{};
    ProbeMaterial(&pos, &me);
    const uint64_t hits = Stats().nPawnHashHits, misses = Stats().nPawnHashMisses;
    PawnEntry pe{};
    EXPECT_EQ(EvaluatePawns(&pos, &pe, me), -57);
    EXPECT_EQ(pe.nScore, -37);
    EXPECT_EQ(Stats().nPawnHashHits - hits, 0u);
    EXPECT_EQ(Stats().nPawnHashMisses - misses, 0u);
}

}  // namespace
