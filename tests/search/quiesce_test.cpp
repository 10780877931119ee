// Quiescence search: stand pat, which captures and promotions are searched, delta pruning,
// evasions and mate, and its limits.
#include <gtest/gtest.h>

#include "eval/eval.h"
#include "search/search_support.h"

namespace {

class QuiesceTest : public SearchTest {
protected:
    // Runs one quiescence search and returns its score; *pnQNodes gets the nodes it visited.
    int Q(const Position& pos, int alpha, int beta, int plyIndex = 1, int qDepth = 32,
          uint64_t* pnQNodes = nullptr, PvLine* pv = nullptr) {
        PvLine line;
        SearchStack ss = RootStack();
        const uint64_t before = QNodes();
        const int s = Quiesce(&pos, qDepth, alpha, beta, pv ? pv : &line, plyIndex, &ss, 0);
        if (pnQNodes) *pnQNodes = QNodes() - before;
        return s;
    }
    static int Eval(const Position& pos, int alpha, int beta, int plyIndex = 1) {
        int info[2];
        return Evaluate(&pos, alpha, beta, plyIndex, info, 0);
    }
};

TEST_F(QuiesceTest, QuietPositionIsItsEvaluation) {
    const Position pos = Setup("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
    uint64_t n = 0;
    EXPECT_EQ(Q(pos, -SCORE_INF, SCORE_INF, 1, 32, &n), Eval(pos, -SCORE_INF, SCORE_INF));
    EXPECT_EQ(n, 1u);
}

TEST_F(QuiesceTest, StandPatAtOrAboveBetaReturnsAtOnce) {
    const Position pos = Setup("4k3/8/8/8/3r4/4P3/8/3QK3 w - - 0 1");
    const int e = Eval(pos, -SCORE_INF, -1000);
    ASSERT_GE(e, -1000);
    uint64_t n = 0;
    EXPECT_EQ(Q(pos, -SCORE_INF, -1000, 1, 32, &n), e);
    EXPECT_EQ(n, 1u) << "the winning capture is not even tried";
}

TEST_F(QuiesceTest, OnlyLosingCapturesGiveTheStandPat) {
    // Qxd5 loses the queen to the c6 pawn; nothing is searched.
    const Position pos = Setup("4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1");
    uint64_t n = 0;
    PvLine pv;
    EXPECT_EQ(Q(pos, -SCORE_INF, SCORE_INF, 1, 32, &n, &pv), Eval(pos, -SCORE_INF, SCORE_INF));
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(pv.nLength, 0);
}

TEST_F(QuiesceTest, WinningCaptureIsTakenWithItsLine) {
    const Position pos = Setup("4k3/8/8/3r4/8/8/8/3QK3 w - - 0 1");
    PvLine pv;
    const int s = Q(pos, -SCORE_INF, SCORE_INF, 1, 32, nullptr, &pv);
    EXPECT_GT(s, Eval(pos, -SCORE_INF, SCORE_INF) + 300);
    ASSERT_GE(pv.nLength, 1);
    EXPECT_EQ(MoveToCoord(pv.anMoves[0]), "d1d5");
    EXPECT_EQ(pv.nScore, s);
}

TEST_F(QuiesceTest, QueenPromotionSearchedUnderpromotionsNot) {
    // Nothing to capture on either side: the queen push is the only move searched (one child).
    const Position pos = Setup("8/1P6/8/8/8/8/k7/4K3 w - - 0 1");
    uint64_t n = 0;
    PvLine pv;
    const int s = Q(pos, -SCORE_INF, SCORE_INF, 1, 32, &n, &pv);
    EXPECT_EQ(n, 2u);
    ASSERT_EQ(pv.nLength, 1);
    EXPECT_EQ(MoveToCoord(pv.anMoves[0]), "b7b8q");
    EXPECT_GT(s, 700);
}

TEST_F(QuiesceTest, InCheckEveryEvasionIsSearched) {
    // Ra1 checks: Kd2, Ke2 and Kf2 are searched (quiet moves, scored 0), each a leaf.
    const Position pos = Setup("4k3/8/8/8/8/8/8/r3K3 w - - 0 1");
    ASSERT_TRUE(pos.nInCheck);
    uint64_t n = 0;
    const int s = Q(pos, -SCORE_INF, SCORE_INF, 1, 32, &n);
    EXPECT_EQ(n, 4u);
    EXPECT_LT(s, -300);
}

TEST_F(QuiesceTest, CheckmateScoresByPlyIndex) {
    const Position pos = Setup("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
    EXPECT_EQ(Q(pos, -SCORE_INF, SCORE_INF, 7), -29993);
    EXPECT_EQ(Q(pos, -SCORE_INF, SCORE_INF, 0), -MATE);
}

TEST_F(QuiesceTest, DepthRunsOutIntoTheEvaluation) {
    const Position pos = Setup("4k3/8/8/3r4/8/8/8/3QK3 w - - 0 1");
    uint64_t n = 0;
    EXPECT_EQ(Q(pos, -SCORE_INF, SCORE_INF, 1, 0, &n), Eval(pos, -SCORE_INF, SCORE_INF));
    EXPECT_EQ(n, 1u);
    // One level left: the capture is searched, the child is evaluated as it stands.
    Q(pos, -SCORE_INF, SCORE_INF, 1, 1, &n);
    EXPECT_EQ(n, 2u);
}

TEST_F(QuiesceTest, FiftyMoveCounterAboveOneHundred) {
    const Position pos = Setup("4k3/8/8/3r4/8/8/8/3QK3 w - - 101 90");
    EXPECT_EQ(Q(pos, -SCORE_INF, SCORE_INF, 1), 0);
    EXPECT_NE(Q(pos, -SCORE_INF, SCORE_INF, 0), 0) << "not at ply index 0";
    const Position hundred = Setup("4k3/8/8/3r4/8/8/8/3QK3 w - - 100 90");
    EXPECT_NE(Q(hundred, -SCORE_INF, SCORE_INF, 1), 0);
}

TEST_F(QuiesceTest, DeltaPruningAtNullWindow) {
    // Qxa7 wins a pawn (exchange gain 100), the only capture.
    const Position pos = Setup("4k3/p7/8/8/8/8/8/Q3K3 w - - 0 1");
    const int e = Eval(pos, -SCORE_INF, SCORE_INF);
    // Alpha far enough above: standPat + 100 + 50 cannot reach it, so the capture is skipped
    // and the bound it could reach becomes the score.
    int alpha = e + 300;
    const int sp = Eval(pos, alpha, alpha + 1);
    ASSERT_LE(sp + 150, alpha);
    uint64_t n = 0;
    PvLine pv;
    EXPECT_EQ(Q(pos, alpha, alpha + 1, 1, 32, &n, &pv), sp + 150);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(pv.nLength, 0);
    // Within reach: searched.
    alpha = e + 100;
    const int sp2 = Eval(pos, alpha, alpha + 1);
    ASSERT_LE(sp2, alpha);
    ASSERT_GT(sp2 + 150, alpha);
    Q(pos, alpha, alpha + 1, 1, 32, &n);
    EXPECT_EQ(n, 2u);
    // Not at a wider window.
    Q(pos, e + 300, e + 400, 1, 32, &n);
    EXPECT_EQ(n, 2u);
}

TEST_F(QuiesceTest, StopReturnsTheEvaluation) {
    const Position pos = Setup("4k3/8/8/3r4/8/8/8/3QK3 w - - 0 1");
    bStopSearch = true;
    uint64_t n = 0;
    EXPECT_EQ(Q(pos, -SCORE_INF, SCORE_INF, 1, 32, &n), Eval(pos, -SCORE_INF, SCORE_INF));
    EXPECT_EQ(n, 1u);
}

TEST_F(QuiesceTest, MainSearchHandsOverBelowOnePly) {
    // A hanging rook: the one-ply search of the capture ends in the quiescence search.
    const Position pos = Setup("4k3/8/8/3r4/8/8/8/3QK3 w - - 0 1");
    PvLine line;
    SearchStack ss = RootStack();
    const int q = Q(pos, -SCORE_INF, SCORE_INF, 1);
    EXPECT_EQ(SearchFull(&pos, 3, -SCORE_INF, SCORE_INF, &line, 4, true, &ss, 0), q);
    EXPECT_EQ(line.nLength, 0) << "the quiescence line is not passed up";
    // Far outside the window the evaluation stands without a quiescence search.
    const uint64_t before = QNodes();
    const int e = Eval(pos, 5000, 5001);
    EXPECT_EQ(SearchFull(&pos, 3, 5000, 5001, &line, 4, true, &ss, 0), e);
    EXPECT_EQ(QNodes(), before);
}

}  // namespace
