// The newer rules (SearchStyle Strong): the per-move decisions at their boundaries, and the
// search under them still finding mates and never playing an illegal table move.
#include <gtest/gtest.h>

#include "search/search_support.h"

namespace {

constexpr const char* kOpen = "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 0 1";

class PlanTest : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        bClassicStyle = false;
    }
    // PlanMove for move at a node of nDepthPlies, window (alpha, beta), the nNumber-th move.
    MovePlan Plan(const char* fen, const char* move, int nDepthPlies, int nAlpha, int nBeta, int nNumber,
                  int nEval = 0) {
        const Position pos = Setup(fen);
        const Move m = FindMove(pos, move);
        EXPECT_NE(m, 0u) << move;
        Position child;
        MakeMove(m, &pos, &child, 2, 0);
        child.nInCheck = uint8_t(InCheck(&child));
        const PlanNode node{nDepthPlies * ONE_PLY, 2 * ONE_PLY, nAlpha, nBeta, nEval, 0, 0,
                            pos.nInCheck != 0,     false};
        return PlanMove(node, &pos, &child, m, 0, nNumber);
    }
};

TEST_F(PlanTest, LateQuietMovesArePrunedOnlyAtNullWindowsAndNeverForChecks) {
    // Depth 2: 3 + 4 moves are kept, the eighth goes; a PV node keeps it.
    EXPECT_FALSE(Plan(kOpen, "a2a3", 2, 0, 1, 7).bPruned);
    EXPECT_TRUE(Plan(kOpen, "a2a3", 2, 0, 1, 8).bPruned);
    EXPECT_FALSE(Plan(kOpen, "a2a3", 2, 0, 100, 8).bPruned);
    // Bxf7+ gives check: never pruned, however late.
    EXPECT_FALSE(Plan(kOpen, "c4f7", 2, 0, 1, 40).bPruned);
    // Futility: a quiet move far below alpha at low depth goes, near alpha it stays.
    EXPECT_TRUE(Plan(kOpen, "a2a3", 3, 500, 501, 2).bPruned);
    EXPECT_FALSE(Plan(kOpen, "a2a3", 3, 300, 301, 2).bPruned);
    // A quiet move that leaves the knight to a pawn (Ng5 is safe, Nd4 is not: exd4).
    EXPECT_FALSE(Plan(kOpen, "f3g5", 3, 0, 1, 2).bPruned);
    EXPECT_TRUE(Plan(kOpen, "f3d4", 3, 0, 1, 2).bPruned);
}

TEST_F(PlanTest, SafeChecksAreExtendedAndLateMovesReduced) {
    // A safe knight check is a ply deeper; one the pawn takes is not.
    const char* kKnight = "4k3/6p1/8/3N4/8/8/8/4K3 w - - 0 1";
    EXPECT_EQ(Plan(kKnight, "d5c7", 4, 0, 100, 1).nExtension, ONE_PLY);
    EXPECT_EQ(Plan(kKnight, "d5f6", 4, 0, 100, 1).nExtension, 0);

    // The first moves are not reduced; a late one is, more at a null window than at a PV node,
    // and never below one ply of depth left.
    EXPECT_EQ(Plan(kOpen, "a2a3", 8, 0, 1, 1).nReduction, 0);
    const int nPv = Plan(kOpen, "a2a3", 8, 0, 100, 20).nReduction;
    const int nZw = Plan(kOpen, "a2a3", 8, 0, 1, 20).nReduction;
    EXPECT_GT(nPv, 0);
    EXPECT_GT(nZw, nPv);
    EXPECT_LE(Plan(kOpen, "a2a3", 3, 0, 100, 60).nReduction, ONE_PLY);
    EXPECT_LE(ReductionPlies(3, 2), ReductionPlies(20, 30));
}

TEST_F(PlanTest, SearchFindsMatesAndKeepsTableMovesLegal) {
    PvLine line;
    const Position mate2 = Setup("r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 1");
    EXPECT_EQ(Deepen(mate2, 6, &line), MATE - 3);
    ASSERT_GE(line.nLength, 1);
    EXPECT_EQ(MoveToCoord(line.anMoves[0]), "d5f6");

    // A pinned knight's move in the table is never the root's answer.
    ResetState();
    const Position pinned = Setup("4r1k1/8/8/8/8/8/4N3/4K3 w - - 0 1");
    StoreHash(&pinned, 30, 500, -SCORE_INF, SCORE_INF, FindMove(pinned, "e2c3"), false, false);
    SearchStack ss = RootStack();
    SearchFull(&pinned, 8 * ONE_PLY, -SCORE_INF, SCORE_INF, &line, 0, true, &ss, 0);
    ASSERT_GE(line.nLength, 1);
    EXPECT_TRUE(LineIsLegal(pinned, line));
}

}  // namespace
