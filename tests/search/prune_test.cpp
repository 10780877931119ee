// The per-move decision: each extension, reduction and pruning rule at its boundaries.
#include <gtest/gtest.h>

#include "eval/eval.h"
#include "eval/weights.h"
#include "search/search_support.h"

namespace {

// A middlegame with both kings castled; white to move.
constexpr const char* kCastled = "r1bq1rk1/pppp1ppp/2n2n2/2b1p3/2B1P3/2NP1N2/PPP2PPP/R1BQ1RK1 w - - 0 1";

// The node's values for one call; the defaults describe a quiet PV node well inside the tree.
struct Node {
    int nAlpha = 0;
    int nBeta = 100;
    int nMoveScore = 0;
    int nCaptureSq = -1;
    int nNodeExt = 0;
    int nDepth = 8;
    int nPly = 8;
    int nMoveIndex = 0;
    int nStaticEval = 0;
    int anKing[2] = {EVAL_NO_KING, EVAL_NO_KING};
    Node& NullWindow(int alpha) {
        nAlpha = alpha;
        nBeta = alpha + 1;
        return *this;
    }
};

struct Decision {
    int nAdjust;
    bool bPruned;
};

class PruneTest : public SearchTest {
protected:
    Decision Decide(const char* fen, const char* move, const Node& n) {
        const Position pos = Setup(fen);
        const Move m = FindMove(pos, move);
        EXPECT_NE(m, 0u) << move;
        Position child;
        MakeMove(m, &pos, &child, 0, -1);
        child.nInCheck = uint8_t(InCheck(&child));
        Decision d{0, false};
        d.nAdjust = ExtendOrPrune(m, &child, n.nAlpha, n.nBeta, n.nMoveScore, n.nCaptureSq, n.nNodeExt,
                                  n.nDepth, n.nPly, pos.nInCheck != 0, child.nInCheck, n.nMoveIndex,
                                  n.nStaticEval, &d.bPruned, n.anKing[0], n.anKing[1], 0);
        if (d.bPruned) {
            EXPECT_EQ(d.nAdjust, 0);
        }
        return d;
    }
    int Adjust(const char* fen, const char* move, const Node& n) {
        const Decision d = Decide(fen, move, n);
        EXPECT_FALSE(d.bPruned) << move;
        return d.nAdjust;
    }
    bool Pruned(const char* fen, const char* move, const Node& n) { return Decide(fen, move, n).bPruned; }
};

TEST_F(PruneTest, CheckExtension) {
    const char* fen = "4k3/8/8/8/8/8/8/R3K3 w - - 0 1";
    EXPECT_EQ(Adjust(fen, "a1a8", Node{}), 4);
    // After a capture, a check that loses material by exchange gets three quarter plies.
    Node n;
    n.nCaptureSq = 20;
    n.nMoveScore = -400;
    EXPECT_EQ(Adjust(fen, "a1a8", n), 3);
    n.nMoveScore = 0;
    EXPECT_EQ(Adjust(fen, "a1a8", n), 4);
    // A single-reply extension is replaced, not added to.
    n.nNodeExt = 4;
    EXPECT_EQ(Adjust(fen, "a1a8", n), 4);
    // Not a check: nothing.
    EXPECT_EQ(Adjust(fen, "a1a7", Node{}), 0);
}

TEST_F(PruneTest, RecaptureExtension) {
    // Black just took on d4; white takes back.
    const char* fen = "4k3/8/8/8/3n4/4P3/8/4K3 w - - 0 1";
    Node n;
    n.nCaptureSq = MakeSquare(3, 3);
    n.nMoveScore = 325;
    EXPECT_EQ(Adjust(fen, "e3d4", n), 4);
    n.nMoveScore = 0;
    EXPECT_EQ(Adjust(fen, "e3d4", n), 0) << "an even exchange is no recapture";
    n.nMoveScore = 325;
    n.nCaptureSq = MakeSquare(4, 3);
    EXPECT_EQ(Adjust(fen, "e3d4", n), 0) << "another square";
}

TEST_F(PruneTest, PawnToTheSeventh) {
    const char* white = "8/8/4P3/8/8/8/k7/4K3 w - - 0 1";
    EXPECT_EQ(Adjust(white, "e6e7", Node{}), 3);
    Node later;
    later.nMoveIndex = 1;
    EXPECT_EQ(Adjust(white, "e6e7", later), 0);
    Node losing;
    losing.nMoveScore = -1;
    EXPECT_EQ(Adjust(white, "e6e7", losing), 0);
    Node single;
    single.nNodeExt = 4;
    EXPECT_EQ(Adjust(white, "e6e7", single), 4) << "only the single-reply extension";
    // Black's seventh is the second rank.
    EXPECT_EQ(Adjust("4k3/8/8/8/8/4p3/8/K7 b - - 0 1", "e3e2", Node{}), 3);
    // Elsewhere nothing.
    EXPECT_EQ(Adjust("8/8/8/4P3/8/8/k7/4K3 w - - 0 1", "e5e6", Node{}), 0);
}

TEST_F(PruneTest, FrontierFutility) {
    const char* fen = "4k3/8/8/3p4/8/8/3Q4/4K3 w - - 0 1";
    Node n = Node{}.NullWindow(200);
    n.nDepth = 4;
    n.nPly = 20;
    n.nStaticEval = 99;  // 99 + 100 < 200
    EXPECT_TRUE(Pruned(fen, "d2c2", n));
    n.nStaticEval = 100;
    EXPECT_FALSE(Pruned(fen, "d2c2", n)) << "not far enough below alpha";
    n.nStaticEval = 99;
    n.nPly = 16;
    EXPECT_FALSE(Pruned(fen, "d2c2", n)) << "ply index 4";
    n.nPly = 20;
    n.nDepth = 8;
    EXPECT_FALSE(Pruned(fen, "d2c2", n)) << "two plies left";
    n.nDepth = 4;
    n.nAlpha = 200;
    n.nBeta = 300;
    EXPECT_FALSE(Pruned(fen, "d2c2", n)) << "PV window";
    n = n.NullWindow(200);
    EXPECT_FALSE(Pruned(fen, "d2d5", n)) << "capture";
    // The capture keeps no extension.
    n.nNodeExt = 4;
    EXPECT_EQ(Adjust(fen, "d2d5", n), 0);
    n.nNodeExt = 0;
    EXPECT_FALSE(Pruned(fen, "d2e2", n)) << "gives check";
    nNumBeers = 4;
    EXPECT_FALSE(Pruned(fen, "d2c2", n)) << "four beers";
    nNumBeers = 3;
    EXPECT_TRUE(Pruned(fen, "d2c2", n));
}

TEST_F(PruneTest, HistoryPruningAtSeventyPercent) {
    const char* fen = "4k3/8/8/8/8/8/3Q4/4K3 w - - 0 1";
    Node n = Node{}.NullWindow(0);
    n.nMoveIndex = 3;
    n.nDepth = 16;
    n.nPly = 12;
    n.nMoveScore = -30000;
    const int to = MakeSquare(2, 1);  // c2
    anHistoryTried[WHITE][QUEEN - 1][to] = 16384;
    anHistoryCutoffs[WHITE][QUEEN - 1][to] = 11468;  // ratio 11468 < 11468.8
    EXPECT_TRUE(Pruned(fen, "d2c2", n));
    anHistoryCutoffs[WHITE][QUEEN - 1][to] = 11469;
    EXPECT_FALSE(Pruned(fen, "d2c2", n));
    anHistoryCutoffs[WHITE][QUEEN - 1][to] = 1;
    EXPECT_TRUE(Pruned(fen, "d2c2", n));
    // The conditions, one at a time.
    Node m = n;
    m.nMoveIndex = 2;
    EXPECT_FALSE(Pruned(fen, "d2c2", m)) << "the first three moves";
    m = n;
    m.nDepth = 17;
    EXPECT_FALSE(Pruned(fen, "d2c2", m)) << "more than four plies";
    m = n;
    m.nPly = 8;
    EXPECT_FALSE(Pruned(fen, "d2c2", m)) << "ply index 2";
    m = n;
    m.nBeta = m.nAlpha + 2;
    EXPECT_FALSE(Pruned(fen, "d2c2", m)) << "PV window";
    m = n;
    m.nNodeExt = 4;
    EXPECT_FALSE(Pruned(fen, "d2c2", m)) << "single reply";
    EXPECT_FALSE(Pruned(fen, "d2d8", n)) << "check";
    m = n;
    m.nMoveScore = 1;
    EXPECT_TRUE(Pruned(fen, "d2c2", m)) << "a quiet move whatever its score";
}

TEST_F(PruneTest, LateMoveReduction) {
    Node n;  // PV window: nothing is pruned
    n.nMoveIndex = 3;
    n.nDepth = 12;
    n.nMoveScore = -30000;
    EXPECT_EQ(Adjust(kCastled, "a2a3", n), -4);
    Node m = n;
    m.nMoveIndex = 2;
    EXPECT_EQ(Adjust(kCastled, "a2a3", m), 0) << "the first three moves";
    m = n;
    m.nDepth = 11;
    EXPECT_EQ(Adjust(kCastled, "a2a3", m), 0) << "less than three plies";
    anKiller2[n.nPly / 4] = FindMove(Setup(kCastled), "a2a3");
    EXPECT_EQ(Adjust(kCastled, "a2a3", n), 0) << "killer";
    ClearKillers();
    nNumBeers = 6;
    EXPECT_EQ(Adjust(kCastled, "a2a3", n), 0) << "six beers";
    nNumBeers = 5;
    EXPECT_EQ(Adjust(kCastled, "a2a3", n), -4);
    // Captures: only those that do not win material by exchange.
    m = n;
    m.nMoveScore = 100;
    EXPECT_EQ(Adjust(kCastled, "f3e5", m), 0);
    m.nMoveScore = 0;
    EXPECT_EQ(Adjust(kCastled, "f3e5", m), -4);
    // Checks are never reduced.
    EXPECT_EQ(Adjust(kCastled, "c4f7", m), 4);
}

TEST_F(PruneTest, LowTimeRules) {
    const char* fen = "4k3/8/8/3p4/8/8/3Q4/4K3 w - - 0 1";
    Node n = Node{}.NullWindow(1000);
    n.nPly = 20;
    n.nDepth = 8;
    n.nStaticEval = 399;  // 399 + 600 < 1000
    EXPECT_FALSE(Pruned(fen, "d2c2", n)) << "plenty of time";
    bLowTime[WHITE] = true;
    EXPECT_FALSE(Pruned(fen, "d2c2", n)) << "only the answering side's clock counts";
    bLowTime[BLACK] = true;
    EXPECT_TRUE(Pruned(fen, "d2c2", n));
    n.nStaticEval = 400;
    EXPECT_FALSE(Pruned(fen, "d2c2", n));
    // Three plies: a reduction instead, with a wider margin and one beer less.
    n.nDepth = 12;
    n.nStaticEval = 99;  // 99 + 900 < 1000
    EXPECT_EQ(Adjust(fen, "d2c2", n), -4);
    n.nNodeExt = 4;
    EXPECT_EQ(Adjust(fen, "d2c2", n), 0) << "cancels a single-reply extension";
    n.nNodeExt = 0;
    nNumBeers = 3;
    EXPECT_EQ(Adjust(fen, "d2c2", n), 0);
}

TEST_F(PruneTest, Underpromotion) {
    const char* fen = "8/4P3/8/8/8/8/k7/4K3 w - - 0 1";
    EXPECT_EQ(Adjust(fen, "e7e8q", Node{}), 0);
    EXPECT_EQ(Adjust(fen, "e7e8r", Node{}), -4);
    EXPECT_EQ(Adjust(fen, "e7e8b", Node{}), -4);
    EXPECT_EQ(Adjust(fen, "e7e8n", Node{}), -4);
    // With a check the extension makes up for it.
    EXPECT_EQ(Adjust("8/4P3/3k4/8/8/8/8/4K3 w - - 0 1", "e7e8n", Node{}), 0);
}

TEST_F(PruneTest, KingTerms) {
    // After a2a3 both kings' values stay -32 (see ChildKingTerms) with the first design's weights.
    SelectEvalWeights(false);
    const Position pos = Setup(kCastled);
    Position child;
    MakeMove(FindMove(pos, "a2a3"), &pos, &child, 0, -1);
    int after[2];
    ChildKingTerms(&child, after, 0);
    ASSERT_EQ(after[WHITE], -32);
    ASSERT_EQ(after[BLACK], -32);

    Node n;
    n.nMoveIndex = 1;
    // The mover's sheltered king (|10| < 15) loses more than 40: reduce.
    n.anKing[WHITE] = 10;
    n.anKing[BLACK] = -100;
    EXPECT_EQ(Adjust(kCastled, "a2a3", n), -4);
    n.anKing[WHITE] = 8;  // 8 > -32 + 40 fails
    EXPECT_EQ(Adjust(kCastled, "a2a3", n), 0);
    n.anKing[WHITE] = 10;
    n.nMoveIndex = 0;
    EXPECT_EQ(Adjust(kCastled, "a2a3", n), 0) << "never the first move";
    // The opponent's king loses its shelter: extend (unless far below alpha).
    n.anKing[WHITE] = -100;
    n.anKing[BLACK] = 10;
    EXPECT_EQ(Adjust(kCastled, "a2a3", n), 3);
    n.nStaticEval = -500;
    EXPECT_EQ(Adjust(kCastled, "a2a3", n), 0);
    n.nStaticEval = 0;
    n.nMoveScore = -1;
    EXPECT_EQ(Adjust(kCastled, "a2a3", n), 0);
    // Both: the extension wins.
    n.nMoveScore = 0;
    n.nMoveIndex = 1;
    n.anKing[WHITE] = 10;
    EXPECT_EQ(Adjust(kCastled, "a2a3", n), 3);
    // No king values from the evaluation: the rules are off.
    n.anKing[WHITE] = n.anKing[BLACK] = EVAL_NO_KING;
    EXPECT_EQ(Adjust(kCastled, "a2a3", n), 0);
}

}  // namespace
