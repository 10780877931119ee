// The evaluation pipeline (lazy exits, cache, handicap layers, colour symmetry) and the piece,
// king and drawish-ending terms.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "board/board_test_util.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "eval/pawns.h"
#include "search/hash.h"
#include "tools/epd.h"
#include "tools/stats.h"

namespace {

// Every test starts with no handicap and with both evaluation caches switched off, so that a
// second evaluation really evaluates; tests that need a cache allocate it.
class EvalTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTables();
        nNumBeers = 0;
        FreeEvalHash();
        FreePawnHash();
    }
    void TearDown() override {
        nNumBeers = 0;
        FreeEvalHash();
        FreePawnHash();
    }
};

struct Result {
    int nScore;
    int anKing[2];
};

Result Eval(const Position& pos, int nAlpha = -32000, int nBeta = 32000, int nPly = 0) {
    Result r;
    r.nScore = Evaluate(&pos, nAlpha, nBeta, nPly, r.anKing, 0);
    return r;
}

Position Mirrored(Position pos) {
    MirrorPosition(&pos);
    return pos;
}

// The pieces' tropism and mobility accumulators for a position.
void PieceAccumulators(const Position& pos, int* pnTrop, int* pnMob) {
    MaterialEntry me;
    ProbeMaterial(&pos, &me);
    PawnEntry pe;
    EvaluatePawns(&pos, &pe, me);
    *pnTrop = *pnMob = 0;
    EvaluateKnights(&pos, &pe, &me, pnTrop, pnMob);
    EvaluateBishops(&pos, &pe, &me, pnTrop, pnMob);
    EvaluateRooks(&pos, &pe, &me, pnTrop, pnMob);
    EvaluateQueens(&pos, &pe, &me, pnTrop, pnMob);
}

PawnEntry PawnsOf(const Position& pos) {
    PawnEntry pe{};
    ComputePawnEntry(&pos, &pe);
    return pe;
}

MaterialEntry MaterialOf(const Position& pos) {
    MaterialEntry me;
    ProbeMaterial(&pos, &me);
    return me;
}

const char* const kVariedFens[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r1bqk2r/pppp1ppp/2n2n2/2b1p3/2B1P3/2N2N2/PPPP1PPP/R1BQK2R w KQkq - 4 5",
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1",
    "8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - 0 1",
    "r4rk1/1p2ppbp/p2pbnp1/q7/3BPPP1/2N2B2/PPP4P/R2Q1RK1 b - - 0 1",
    "1k1r4/pp1b1R2/3q2pp/4p3/2B5/4Q3/PPP2B2/2K5 b - - 0 1",
    "6k1/1R3ppp/8/8/8/8/5PPP/6K1 w - - 0 1",            // rook on the seventh
    "4k3/P7/8/8/8/8/8/4K3 w - - 0 1",                   // lone passer
    "4k3/8/8/8/8/8/P7/4K3 b - - 0 1",                   // king and pawn against king
    "1k6/8/8/8/P7/8/P7/K1B5 w - - 0 1",                 // rook pawns with a bishop
    "6k1/5ppp/8/3N4/4P3/8/5PPP/6K1 w - - 0 1",          // knight outpost
    "r3k2r/B1p5/1p6/8/8/6P1/5P1b/R3K1R1 w Qkq - 0 1",   // trapped bishops
    "7k/8/8/8/8/8/8/KQ6 w - - 0 1",                     // recogniser
    "7k/8/8/8/8/8/8/KNN5 b - - 0 1",                    // dead draw
    "3qk3/8/8/8/8/8/8/3QK3 w - - 60 70",                // fifty-move fade
    "8/8/3P4/8/3k4/8/3P4/K5n1 w - - 0 1",               // doubled pawns on one file
    "r4rk1/ppp2ppp/8/8/8/8/PPP2PPP/R4RK1 w - - 75 40",  // rooks locked in, clock running
};

// ---------------------------------------------------------------------------------------

TEST_F(EvalTest, StartPositionIsZeroForEitherSideToMove) {
    EXPECT_EQ(Eval(FromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1")).nScore, 0);
    EXPECT_EQ(Eval(FromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1")).nScore, 0);
}

TEST_F(EvalTest, MirroredPositionsEvaluateTheSameInEveryWindow) {
    for (const char* fen : kVariedFens) {
        Position pos = FromFen(fen), mir = Mirrored(pos);
        EXPECT_EQ(Eval(pos).nScore, Eval(mir).nScore) << fen;
        for (int a : {-2000, -300, -50, 0, 50, 300, 2000}) {
            Result r = Eval(pos, a, a + 1), rm = Eval(mir, a, a + 1);
            EXPECT_EQ(r.nScore, rm.nScore) << fen << " window " << a;
            EXPECT_EQ(r.anKing[0], rm.anKing[1]) << fen << " window " << a;
        }
    }
}

TEST_F(EvalTest, EveryWacPositionIsColourSymmetric) {
    const std::string path = std::string(QM_DATA_DIR) + "/epd/wac.epd";
    char szMoves[kEpdTextSize], szId[kEpdTextSize];
    Position pos;
    int n = 0;
    for (int i = 0; ReadEpdRecord(path.c_str(), &pos, szMoves, i, szId); i++, n++) {
        Result r = Eval(pos), rm = Eval(Mirrored(pos));
        EXPECT_EQ(r.nScore, rm.nScore) << "record " << i + 1 << " " << FenOf(pos);
        EXPECT_EQ(r.anKing[0], rm.anKing[1]) << "record " << i + 1;
    }
    EXPECT_EQ(n, 300);
}

// ---------------------------------------------------------------------------------------
// Fifty-move rule, draws and recognisers.

TEST_F(EvalTest, FiftyMoveClockFadesTheMaterialAdvantage) {
    nNumBeers = 10;  // bare material, so the fade is seen undisturbed
    const int m = Eval(FromFen("3qk3/8/8/8/8/8/8/2RQK3 w - - 0 60")).nScore;
    ASSERT_GT(m, 400);
    EXPECT_EQ(Eval(FromFen("3qk3/8/8/8/8/8/8/2RQK3 w - - 50 60")).nScore, m);
    EXPECT_EQ(Eval(FromFen("3qk3/8/8/8/8/8/8/2RQK3 w - - 75 60")).nScore, 2 * m - 75 * m / 50);
    EXPECT_EQ(Eval(FromFen("3qk3/8/8/8/8/8/8/2RQK3 w - - 51 60")).nScore, 2 * m - 51 * m / 50);
    nNumBeers = 0;
    Result r = Eval(FromFen("3qk3/8/8/8/8/8/8/2RQK3 w - - 100 60"));
    EXPECT_EQ(r.nScore, 0);
    EXPECT_EQ(r.anKing[0], EVAL_NO_KING);
    EXPECT_EQ(r.anKing[1], EVAL_NO_KING);
}

TEST_F(EvalTest, DeadDrawIsZeroAndCountsOneRecognition) {
    for (const char* fen : {"7k/8/8/8/8/8/8/KNN5 w - - 0 1", "7k/8/8/8/8/8/8/KNN5 b - - 0 1"}) {
        const uint64_t before = Stats().nRecognizerCalls;
        Result r = Eval(FromFen(fen));
        EXPECT_EQ(r.nScore, 0) << fen;
        EXPECT_EQ(Stats().nRecognizerCalls - before, 1u) << fen;
        EXPECT_EQ(r.anKing[0], EVAL_NO_KING);
    }
}

TEST_F(EvalTest, RecogniserScoresAddToTheMaterialAndSeeThePly) {
    const Position w = FromFen("7k/8/5K2/8/8/8/8/Q7 w - - 0 1");
    const Position b = FromFen("7k/8/5K2/8/8/8/8/Q7 b - - 0 1");
    for (int ply : {0, 3}) {
        const int expected = 975 + RecognizeKXK(&w, ply);
        EXPECT_EQ(Eval(w, -32000, 32000, ply).nScore, expected);
        EXPECT_EQ(Eval(b, -32000, 32000, ply).nScore, -expected);
    }
    // The ply lowers the stronger side's score: quicker mates are preferred.
    EXPECT_EQ(Eval(w, -32000, 32000, 0).nScore - Eval(w, -32000, 32000, 3).nScore, 3);
    // A recognised ending never takes a lazy exit: the recogniser answers first.
    const uint64_t lazy = Stats().nLazyExits1;
    EXPECT_EQ(Eval(w, -5000, -4999, 0).nScore, 975 + RecognizeKXK(&w, 0));
    EXPECT_EQ(Stats().nLazyExits1, lazy);
}

// ---------------------------------------------------------------------------------------
// Lazy exits.

TEST_F(EvalTest, FirstLazyExitReturnsScaledMaterialWithoutPawnWork) {
    nPawnHashKB = 64;
    ASSERT_TRUE(AllocPawnHash(false));
    // White is a queen and a rook up.
    const Position pos = FromFen("4k3/pppp4/8/8/8/8/PPPP4/RQ2K3 w - - 0 1");
    const int m = MaterialOf(pos).nBalance;
    ASSERT_GT(m, 1300);

    SearchStats& st = Stats();
    const uint64_t lazy1 = st.nLazyExits1, pawnProbes = st.nPawnHashHits + st.nPawnHashMisses;
    Result r = Eval(pos, m - 1300, m - 1299);  // beta 1299 below the lead: cut
    EXPECT_EQ(r.nScore, m);
    EXPECT_EQ(r.anKing[0], EVAL_NO_KING);
    EXPECT_EQ(r.anKing[1], EVAL_NO_KING);
    EXPECT_EQ(st.nLazyExits1 - lazy1, 1u);
    EXPECT_EQ(st.nPawnHashHits + st.nPawnHashMisses, pawnProbes);

    // From black's side the same lead lies far below alpha.
    Position black = FromFen("4k3/pppp4/8/8/8/8/PPPP4/RQ2K3 b - - 0 1");
    EXPECT_EQ(Eval(black, -m + 1201, -m + 1202).nScore, -m);
    EXPECT_EQ(st.nLazyExits1 - lazy1, 2u);

    // Exactly at the margin, or in a wider window, there is no first cut.
    Eval(pos, m - 1200, m - 1199);
    EXPECT_NE(Eval(pos, m - 1300, m - 1298).anKing[0], EVAL_NO_KING);
    EXPECT_EQ(st.nLazyExits1 - lazy1, 2u);
    EXPECT_GT(st.nPawnHashHits + st.nPawnHashMisses, pawnProbes);
}

TEST_F(EvalTest, SecondLazyExitAndPassAreCounted) {
    const Position pos = FromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    SearchStats& st = Stats();
    const uint64_t lazy1 = st.nLazyExits1, lazy2 = st.nLazyExits2, pass = st.nLazyPasses;

    Result r = Eval(pos, 300, 301);  // 0 + 200 < 300: cut after the pawns
    EXPECT_EQ(r.nScore, 0);
    EXPECT_EQ(r.anKing[0], EVAL_NO_KING);
    EXPECT_EQ(st.nLazyExits2 - lazy2, 1u);
    EXPECT_EQ(st.nLazyExits1, lazy1);

    r = Eval(pos, -10, -9);  // close to the score: full evaluation
    EXPECT_EQ(r.nScore, Eval(pos).nScore);
    EXPECT_NE(r.anKing[0], EVAL_NO_KING);
    EXPECT_EQ(st.nLazyPasses - pass, 1u);
    EXPECT_EQ(st.nLazyExits2 - lazy2, 1u);
}

TEST_F(EvalTest, SecondLazyExitUsesTheLoweredScaleFactors) {
    // Rook pawns and a bishop of the wrong colour against a knight: white's scale drops to 1,
    // so a material lead far above beta is no lead at all after the pawns.
    const Position pos = FromFen("1k6/8/8/8/P7/8/P7/K1B3n1 w - - 0 1");
    MaterialEntry me = MaterialOf(pos);
    ASSERT_EQ(me.nScale[WHITE], 16);
    const int full = Eval(pos).nScore;
    EXPECT_LT(full, 60);
    // Lazy 1 does not cut (material is within 1200 of beta); lazy 2 must not cut on the
    // unscaled score either.
    Result r = Eval(pos, full - 50, full - 49);
    EXPECT_EQ(r.nScore, full);
}

// ---------------------------------------------------------------------------------------
// Evaluation cache.

TEST_F(EvalTest, CacheHitReturnsTheStoredScoreWithoutKingValues) {
    nEvalHashMB = 1;
    ASSERT_TRUE(AllocEvalHash(false));
    const Position pos = FromFen("r1bqk2r/pppp1ppp/2n2n2/2b1p3/2B1P3/2N2N2/PPPP1PPP/R1BQK2R w KQkq - 4 5");
    SearchStats& st = Stats();
    const uint64_t hits = st.nEvalHashHits, misses = st.nEvalHashMisses;

    Result first = Eval(pos);
    EXPECT_NE(first.anKing[0], EVAL_NO_KING);
    EXPECT_EQ(st.nEvalHashMisses - misses, 1u);
    Result second = Eval(pos);
    EXPECT_EQ(second.nScore, first.nScore);
    EXPECT_EQ(second.anKing[0], EVAL_NO_KING);
    EXPECT_EQ(second.anKing[1], EVAL_NO_KING);
    EXPECT_EQ(st.nEvalHashHits - hits, 1u);

    // The other side to move is another key, hence another evaluation.
    Result other = Eval(FromFen("r1bqk2r/pppp1ppp/2n2n2/2b1p3/2B1P3/2N2N2/PPPP1PPP/R1BQK2R b KQkq - 4 5"));
    EXPECT_NE(other.anKing[0], EVAL_NO_KING);
    EXPECT_EQ(st.nEvalHashMisses - misses, 2u);

    // Lazy exits come before the cache: a cut neither probes nor stores.
    Eval(pos, 2000, 2001);
    EXPECT_EQ(st.nEvalHashHits - hits, 1u);
    EXPECT_EQ(st.nEvalHashMisses - misses, 2u);
}

TEST_F(EvalTest, CacheHitsAreIdenticalToFreshEvaluations) {
    std::vector<int> fresh;
    for (const char* fen : kVariedFens) fresh.push_back(Eval(FromFen(fen)).nScore);
    nEvalHashMB = 1;
    ASSERT_TRUE(AllocEvalHash(false));
    for (int pass = 0; pass < 2; pass++) {
        size_t i = 0;
        for (const char* fen : kVariedFens) EXPECT_EQ(Eval(FromFen(fen)).nScore, fresh[i++]) << fen;
    }
}

TEST_F(EvalTest, ConcurrentEvaluationsAgreeWithASingleThread) {
    // Without the shared caches (whose torn slots are tolerated by design) the result must not
    // depend on what another thread evaluates meanwhile: the king-term cache is per thread.
    const std::string path = std::string(QM_DATA_DIR) + "/epd/wac.epd";
    std::vector<Position> positions;
    char szMoves[kEpdTextSize], szId[kEpdTextSize];
    Position pos;
    for (int i = 0; ReadEpdRecord(path.c_str(), &pos, szMoves, i, szId); i++) positions.push_back(pos);
    std::vector<Result> expected;
    for (const Position& p : positions) expected.push_back(Eval(p));

    std::atomic<int> nMismatches{0};
    auto worker = [&](int nOffset) {
        for (int pass = 0; pass < 20; pass++)
            for (size_t i = 0; i < positions.size(); i++) {
                const size_t j = (i * 7 + size_t(nOffset)) % positions.size();
                const Result r = Eval(positions[j]);
                if (r.nScore != expected[j].nScore || r.anKing[0] != expected[j].anKing[0] ||
                    r.anKing[1] != expected[j].anKing[1])
                    nMismatches++;
            }
    };
    std::thread a(worker, 0), b(worker, 1);
    a.join();
    b.join();
    EXPECT_EQ(nMismatches.load(), 0);
}

// ---------------------------------------------------------------------------------------
// Strength handicap.

TEST_F(EvalTest, NumBeersLayersDropMobilityTropismAndEverythingButMaterial) {
    // Scale factors 16 and white to move: the layers differ by the plain terms.
    const Position pos = FromFen("2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1");
    ASSERT_EQ(MaterialOf(pos).nScale[WHITE], 16);
    int trop, mob;
    PieceAccumulators(pos, &trop, &mob);
    ASSERT_NE(trop * 4 / 5, 0);
    ASSERT_NE(mob, 0);

    int an[10];
    for (int beers = 0; beers <= 9; beers++) {
        nNumBeers = beers;
        an[beers] = Eval(pos).nScore;
    }
    for (int beers : {1, 2, 3, 4}) EXPECT_EQ(an[beers], an[0]);
    EXPECT_EQ(an[5], an[6]);
    EXPECT_EQ(an[0] - an[5], trop * 4 / 5);
    for (int beers : {8, 9}) EXPECT_EQ(an[beers], an[7]);
    EXPECT_EQ(an[5] - an[7], mob);

    nNumBeers = 10;
    Result r = Eval(pos);
    EXPECT_EQ(r.nScore, MaterialOf(pos).nBalance);
    EXPECT_EQ(r.anKing[0], EVAL_NO_KING);
    Position black = FromFen("2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 b - - 0 1");
    EXPECT_EQ(Eval(black).nScore, -MaterialOf(black).nBalance);
}

TEST_F(EvalTest, TropismFactorTruncatesLikeTheDoubleProduct) {
    for (int t = -5000; t <= 5000; t++) EXPECT_EQ(t * 4 / 5, int(t * 0.8)) << t;
}

// ---------------------------------------------------------------------------------------
// Piece terms.

TEST_F(EvalTest, KnightOutpostNeedsPawnSupportAndTriplesWithoutEnemyMinors) {
    auto knights = [](const char* fen) {
        Position pos = FromFen(fen);
        MaterialEntry me = MaterialOf(pos);
        PawnEntry pe = PawnsOf(pos);
        int trop = 0, mob = 0;
        return EvaluateKnights(&pos, &pe, &me, &trop, &mob);
    };
    // d5 table value 10; outpost 15 with a black minor on the board, 45 without.
    EXPECT_EQ(knights("r5k1/5ppp/8/3N4/4P3/8/5PPP/6K1 w - - 0 1"), 10 + 45);  // a rook is no minor
    EXPECT_EQ(knights("b5k1/5ppp/8/3N4/4P3/8/5PPP/6K1 w - - 0 1"), 10 + 15);
    EXPECT_EQ(knights("6k1/5ppp/8/3N4/2P5/8/5PPP/6K1 w - - 0 1"), 10 + 45);
    EXPECT_EQ(knights("6k1/5ppp/8/3N4/8/8/5PPP/6K1 w - - 0 1"), 10);           // no support
    EXPECT_EQ(knights("6k1/2p2ppp/8/3N4/4P3/8/5PPP/6K1 w - - 0 1"), 10);       // c7 can chase it
    EXPECT_EQ(knights("6k1/5ppp/8/3N4/4P3/2p5/5PPP/6K1 w - - 0 1"), 10 + 45);  // c3 is behind
    // The mirrored black knight scores the exact opposite.
    EXPECT_EQ(knights("6k1/5ppp/8/2p5/3n4/8/5PPP/6K1 b - - 0 1"), -(10 + 45));
}

TEST_F(EvalTest, RookFilesSeventhRankAndPassers) {
    auto rooks = [](const char* fen) {
        Position pos = FromFen(fen);
        MaterialEntry me = MaterialOf(pos);
        PawnEntry pe = PawnsOf(pos);
        int trop = 0, mob = 0;
        return EvaluateRooks(&pos, &pe, &me, &trop, &mob);
    };
    // Open file that is also the black king's file: 20 + 20.
    EXPECT_EQ(rooks("4k3/p6p/8/8/8/8/P6P/K3R3 b - - 0 1"), 40);
    // Neighbouring file: 20 + 10; half-open (black pawn on it): 10 + 10.
    EXPECT_EQ(rooks("4k3/p6p/8/8/8/8/P6P/K4R2 w - - 0 1"), 30);
    EXPECT_EQ(rooks("4k3/p4p1p/8/8/8/8/P6P/K4R2 w - - 0 1"), 20);
    // An h-file rook knows no file beyond h: a king on the a-file is far away.
    EXPECT_EQ(rooks("k7/1p6/8/8/8/8/1P6/1K5R w - - 0 1"), 20);
    EXPECT_EQ(rooks("7k/1p6/8/8/8/8/1P6/1K5R b - - 0 1"), 40);
    EXPECT_EQ(rooks("1k6/1p6/8/8/8/8/1P6/1K5R w - - 0 1"), 20);
    // Seventh rank with three black pawns there and the king on the eighth: 10 + 10.
    EXPECT_EQ(rooks("6k1/pR3ppp/8/8/8/8/1P4PP/6K1 w - - 0 1"), 12 + 10);  // four pawns
    EXPECT_EQ(rooks("6k1/pRp2p2/8/8/8/8/1P4PP/6K1 w - - 0 1"), 10 + 10);
    // Behind its own passer 10, in front of it 7 (plus nothing else: the file holds the pawn).
    EXPECT_EQ(rooks("6k1/8/8/8/1P6/8/8/1R4K1 w - - 0 1"), 10);
    EXPECT_EQ(rooks("6k1/8/1R6/8/1P6/8/8/6K1 w - - 0 1"), 7);
    // Black mirrors every one of them.
    EXPECT_EQ(rooks("k3r3/p6p/8/8/8/8/P6P/4K3 w - - 0 1"), -40);
    EXPECT_EQ(rooks("6k1/8/8/1p6/8/1r6/8/6K1 b - - 0 1"), -7);
    EXPECT_EQ(rooks("1r4k1/8/8/1p6/8/8/8/6K1 b - - 0 1"), -10);
}

TEST_F(EvalTest, FewPawnsFixTheSliderMobility) {
    // Two pawns on the board: every bishop gets 5 x -6 = -30, every rook 3 x -7, every queen
    // 2 x -13, wherever they stand.
    Position pos = FromFen("4k3/p7/8/8/3B4/8/P7/4K3 w - - 0 1");
    int trop, mob;
    PieceAccumulators(pos, &trop, &mob);
    EXPECT_EQ(mob, -30);
    pos = FromFen("4k3/p7/8/8/3BB3/8/P7/R2QK3 w - - 0 1");
    PieceAccumulators(pos, &trop, &mob);
    EXPECT_EQ(mob, -30 - 30 - 21 - 26);
    // With a third pawn the bishop counts its squares: d4 sees 13 of them on an empty board.
    pos = FromFen("4k3/p7/8/8/3B4/8/P6P/4K3 w - - 0 1");
    PieceAccumulators(pos, &trop, &mob);
    EXPECT_EQ(mob, 5 * (13 - 6));
}

TEST_F(EvalTest, BishopSupportingAPasserOfItsColour) {
    auto bishops = [](const char* fen) {
        Position pos = FromFen(fen);
        MaterialEntry me = MaterialOf(pos);
        PawnEntry pe = PawnsOf(pos);
        int trop = 0, mob = 0;
        return EvaluateBishops(&pos, &pe, &me, &trop, &mob);
    };
    // Passer on a (promotes on light a8); table values: c4 is 5 for white, f5 is -5 for black.
    const int light = bishops("4k3/8/8/8/P1B5/8/8/4K3 w - - 0 1");  // c4 is light
    const int dark = bishops("4k3/8/8/8/P2B4/8/8/4K3 w - - 0 1");   // d4 is dark
    EXPECT_EQ(light, 5 + 30);                                       // one pawn on the board: B = 30
    EXPECT_EQ(dark, 10);
}

// ---------------------------------------------------------------------------------------
// King safety.

TEST_F(EvalTest, CastledKingBehindAnIntactShelterIsSafe) {
    Position pos = FromFen("6k1/5ppp/8/8/8/8/5PPP/6K1 w - - 0 1");
    EXPECT_EQ(ShelterWhite(&pos, 0), 0);
    EXPECT_EQ(ShelterWhite(&pos, 3), -25);         // e-file, no pawns
    EXPECT_EQ(WhiteKingSafety(&pos, SQ_G1), -20);  // not castled, no rights
    pos.nCastling |= CASTLED_W;
    EXPECT_EQ(WhiteKingSafety(&pos, SQ_G1), 0);
    pos.nCastling |= CASTLED_B;
    EXPECT_EQ(BlackKingSafety(&pos, SQ_G8), 0);
}

TEST_F(EvalTest, ShelterAndStormByRank) {
    // White pawns h3 (-10) and g4 (-20); on the f-file no white pawn (-25) and a black pawn on
    // the fourth rank (-5 more).
    Position pos = FromFen("6k1/8/8/8/5pP1/7P/8/6K1 w - - 0 1");
    EXPECT_EQ(ShelterWhite(&pos, 0), -10);      // h3
    EXPECT_EQ(ShelterWhite(&pos, 1), -20);      // g4
    EXPECT_EQ(ShelterWhite(&pos, 2), -25 - 5);  // f: no white pawn, black pawn on rank 4
    Position mir = Mirrored(pos);
    for (int f = 0; f < 8; f++) EXPECT_EQ(ShelterWhite(&pos, f), ShelterBlack(&mir, f)) << f;
    // A castled king: shelter(h) + shelter(g) + shelter(f) / 2.
    pos.nCastling |= CASTLED_W;
    EXPECT_EQ(WhiteKingSafety(&pos, SQ_G1), -10 - 20 - 30 / 2);
}

TEST_F(EvalTest, AttacksOnTheKingZone) {
    // Not castled with no rights: -20. Of the e1 king's neighbours d1, d2, e2, f1, f2 the queen
    // on d3 attacks all but f2: four squares of weight 25 and count 2, and more attacked than
    // safe squares.
    Position pos = FromFen("4k3/8/8/8/8/3q4/8/4K3 w - - 0 1");
    EXPECT_EQ(WhiteKingSafety(&pos, SQ_E1), -20 - 4 * 50 - 50);
    Position mir = Mirrored(pos);
    EXPECT_EQ(BlackKingSafety(&mir, SQ_E8), WhiteKingSafety(&pos, SQ_E1));
}

// King safety straight from its definition: every neighbour z of the king asks which enemy
// pieces attack it.
int ReferenceKingSafety(const Position& pos, int us) {
    const int k = KingSquare(pos, us), them = us ^ 1;
    const Bitboard* bb = pos.bbPieces[them];
    int base;
    if (!(pos.nCastling & (us == WHITE ? CASTLED_W : CASTLED_B))) {
        base = (pos.nCastling & (us == WHITE ? 0x03 : 0x0C)) ? -10 : -20;
    } else {
        auto shelter = [&](int f) { return us == WHITE ? ShelterWhite(&pos, f) : ShelterBlack(&pos, f); };
        const int c = k & 7;
        base = c <= 2   ? shelter(0) + shelter(1) + shelter(2) / 2
               : c >= 5 ? shelter(7) + shelter(6) + shelter(5) / 2
                        : 0;
    }
    int danger = 0, attacked = 0, safe = 0;
    for (int z = 0; z < 64; z++) {
        if (Distance(z, k) != 1) continue;
        int w = 0, n = 0;
        if (abbPawnAttacks[us][z] & bb[BB_PAWN]) w = 2, n = 1;
        if (abbKnightAttacks[z] & bb[BB_KNIGHT]) w += 8, n += 1;
        if (BishopAttacks(pos, z) & bb[BB_BISHOP]) w += 12, n += 1;
        if (RookAttacks(pos, z) & bb[BB_ROOK]) w += 20, n += 1;
        if ((BishopAttacks(pos, z) | RookAttacks(pos, z)) & bb[BB_QUEEN]) w += 25, n += 2;
        danger += w * n;
        (n ? attacked : safe)++;
    }
    return base - danger - (attacked > safe ? 50 : 0);
}

TEST_F(EvalTest, KingSafetyFollowsItsDefinitionOnTestSuites) {
    for (const char* file : {"wac.epd", "arasan21.epd", "ecmgcp.epd"}) {
        const std::string path = std::string(QM_DATA_DIR) + "/epd/" + file;
        char szMoves[kEpdTextSize], szId[kEpdTextSize];
        Position pos;
        for (int i = 0; ReadEpdRecord(path.c_str(), &pos, szMoves, i, szId); i++) {
            for (int flags : {0, CASTLED_W | CASTLED_B}) {
                Position p = pos;
                p.nCastling |= flags;
                EXPECT_EQ(WhiteKingSafety(&p, KingSquare(p, WHITE)), ReferenceKingSafety(p, WHITE))
                    << file << " " << i + 1;
                EXPECT_EQ(BlackKingSafety(&p, KingSquare(p, BLACK)), ReferenceKingSafety(p, BLACK))
                    << file << " " << i + 1;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Traps and drawish endings.

TEST_F(EvalTest, TrappedBishopCostsTwoHundred) {
    testing::internal::CaptureStdout();
    Position pos = FromFen("4k3/B1p5/1p6/8/8/8/8/4K3 w - - 0 1");
    int an[2];
    Evaluate(&pos, -32000, 32000, 0, an, 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(std::string("Traps =             ") + " -200\n"), std::string::npos) << out;
    // One pawn fewer and the bishop is free.
    testing::internal::CaptureStdout();
    pos = FromFen("4k3/B7/1p6/8/8/8/8/4K3 w - - 0 1");
    Evaluate(&pos, -32000, 32000, 0, an, 1);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(std::string("Traps =             ") + "    0\n"), std::string::npos) << out;
}

TEST_F(EvalTest, SingleFilePawnsWithTheWrongBishopCannotWin) {
    auto scales = [](const char* fen) {
        Position pos = FromFen(fen);
        MaterialEntry me = MaterialOf(pos);
        PawnEntry pe = PawnsOf(pos);
        ScaleDrawishEndings(&pos, &me, &pe);
        return std::pair<int, int>(me.nScale[WHITE], me.nScale[BLACK]);
    };
    // a-pawns, black king next to a8, black knight: dark bishop 1, light bishop unchanged.
    EXPECT_EQ(scales("1k6/8/8/8/P7/8/P7/K1B3n1 w - - 0 1").first, 1);
    EXPECT_EQ(scales("1k6/8/8/8/P7/8/P7/KB4n1 w - - 0 1").first, 16);
    // Without the knight the wrong bishop cannot win at all; without a bishop neither.
    EXPECT_EQ(scales("1k6/8/8/8/P7/8/P7/K1B5 w - - 0 1").first, 0);
    EXPECT_EQ(scales("1k6/8/8/8/P7/8/P7/K7 w - - 0 1").first, 0);
    // King too far from the corner: no change.
    EXPECT_EQ(scales("8/8/3k4/8/P7/8/P7/K1B5 w - - 0 1").first, 16);
    // A centre file only counts when the defender has pieces; the king blocks ahead of the
    // rearmost pawn.
    EXPECT_EQ(scales("8/8/8/3k4/8/3P4/3P4/K5n1 w - - 0 1").first, 0);
    EXPECT_EQ(scales("8/8/8/3k4/8/3P4/3P4/K7 w - - 0 1").first, 16);
    // A king between doubled pawns stands ahead of the rearmost one, for either colour.
    EXPECT_EQ(scales("8/8/3P4/8/3k4/8/3P4/K5n1 w - - 0 1").first, 0);
    EXPECT_EQ(scales("k5N1/8/3p4/8/3K4/8/3p4/8 b - - 0 1").second, 0);
    // Black mirrors it.
    EXPECT_EQ(scales("k1b3N1/p7/8/p7/8/8/8/1K6 b - - 0 1").second, 1);
    EXPECT_EQ(scales("k7/p7/8/p7/8/8/8/1K6 b - - 0 1").second, 0);
}

}  // namespace
