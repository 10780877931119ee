#include "movegen_test_util.h"

namespace {

using Strings = std::vector<std::string>;

const char* const kKiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

class Picker : public PickerTables {};

// Every move exactly once, and nReturned counting them.
void ExpectEachOnce(const std::vector<Picked>& picked, const std::vector<Move>& expected) {
    EXPECT_EQ(Sorted(MovesOf(picked)), Sorted(expected));
    for (size_t i = 0; i < picked.size(); i++) EXPECT_EQ(picked[i].nReturned, int(i) + 1);
}

TEST_F(Picker, HashMoveFirstAndNeverAgain) {
    Position p = FromFen(kKiwipete);
    for (const char* text : {"e5f7", "d5e6", "a2a3", "e1g1"}) {
        Move hash = FindMove(p, text);
        ASSERT_NE(hash, 0u) << text;
        std::vector<Picked> picked = Drain(p, hash, PHASE_HASH, 3, false);
        ASSERT_FALSE(picked.empty());
        EXPECT_EQ(picked[0].m, hash);
        EXPECT_EQ(picked[0].nScore, 1);
        ExpectEachOnce(picked, AllMoves(p));
    }
}

TEST_F(Picker, StagesInOrder) {
    // Good captures best first, quiet moves, then the losing captures least bad first.
    Position p = FromFen(kKiwipete);
    std::vector<Picked> picked = Drain(p, 0, PHASE_START, 3, false);
    ExpectEachOnce(picked, AllMoves(p));
    std::vector<Move> caps = Captures(p);
    size_t i = 0;
    auto isCapture = [&](Move m) { return std::find(caps.begin(), caps.end(), m) != caps.end(); };
    for (; i < picked.size() && isCapture(picked[i].m) && picked[i].nScore >= 0; i++)
        if (i) {
            EXPECT_LE(picked[i].nScore, picked[i - 1].nScore);
        }
    EXPECT_GT(i, 0u);
    size_t quietStart = i;
    for (; i < picked.size() && !isCapture(picked[i].m); i++)
        if (i > quietStart) {
            EXPECT_LE(picked[i].nScore, picked[i - 1].nScore);
        }
    EXPECT_GT(i, quietStart);
    size_t badStart = i;
    for (; i < picked.size(); i++) {
        EXPECT_TRUE(isCapture(picked[i].m));
        EXPECT_LT(picked[i].nScore, 0);
        if (i > badStart) {
            EXPECT_LE(picked[i].nScore, picked[i - 1].nScore);
        }
    }
    EXPECT_GT(picked.size(), badStart);  // Qxf6 loses the queen for a knight
}

TEST_F(Picker, CapturesBySelectionSortFirstOnTies) {
    // Generated as exd5 (225), bxc5 (225), Nxg6 (650): selecting g6 swaps exd5 to the end.
    Position p = FromFen("4k3/8/6q1/2nn4/1P2P2N/8/8/4K3 w - - 0 1");
    std::vector<Picked> picked = Drain(p, 0, PHASE_START, 0, false);
    ASSERT_GE(picked.size(), 3u);
    EXPECT_EQ(MoveToCoord(picked[0].m), "h4g6");
    EXPECT_EQ(MoveToCoord(picked[1].m), "b4c5");
    EXPECT_EQ(MoveToCoord(picked[2].m), "e4d5");
    EXPECT_EQ(picked[0].nScore, 650);
    EXPECT_EQ(picked[2].nScore, 225);
}

TEST_F(Picker, SingleGoodCaptureThenKillers) {
    Position p = FromFen("rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2");
    anKiller1[5] = FindMove(p, "g1f3");
    anKiller2[5] = FindMove(p, "b1c3");
    std::vector<Picked> picked = Drain(p, 0, PHASE_START, 5, false);
    ASSERT_GE(picked.size(), 3u);
    EXPECT_EQ(Coords(MovesOf(picked)).at(0), "e4d5");
    EXPECT_EQ(picked[0].nScore, 0);  // pawn for pawn, the queen takes back
    EXPECT_EQ(Coords(MovesOf(picked)).at(1), "g1f3");
    EXPECT_EQ(Coords(MovesOf(picked)).at(2), "b1c3");
    EXPECT_EQ(picked[1].nScore, 0);
    EXPECT_EQ(picked[2].nScore, 0);
    ExpectEachOnce(picked, AllMoves(p));
    // Another row has no killers: the quiet moves follow in generation order (equal history).
    std::vector<Picked> plain = Drain(p, 0, PHASE_START, 6, false);
    EXPECT_EQ(MoveToCoord(plain.at(1).m), "h2h3");
}

TEST_F(Picker, KillersNeverTwice) {
    Position p = FromFen(kKiwipete);
    const Move hash = FindMove(p, "a2a3");
    const Move quiet = FindMove(p, "g2g3");
    const Move goodCapture = FindMove(p, "e2a6");
    const Move badCapture = FindMove(p, "f3f6");  // the queen for a knight
    Position other;
    SetStartPosition(&other);
    const Move stale = FindMove(other, "b1c3");  // no knight on b1 here
    ASSERT_TRUE(hash && quiet && goodCapture && badCapture && stale);
    const Move pairs[][2] = {{hash, quiet},  {goodCapture, quiet}, {badCapture, quiet},  {stale, quiet},
                             {quiet, quiet}, {quiet, hash},        {quiet, goodCapture}, {0, quiet}};
    for (const auto& k : pairs) {
        anKiller1[2] = k[0];
        anKiller2[2] = k[1];
        std::vector<Picked> picked = Drain(p, hash, PHASE_HASH, 2, false);
        ExpectEachOnce(picked, AllMoves(p));
        // The quiet killer comes straight after the good captures with score 0.
        auto it = std::find_if(picked.begin(), picked.end(), [&](const Picked& x) { return x.m == quiet; });
        ASSERT_NE(it, picked.end());
        EXPECT_EQ(it->nScore, 0);
        EXPECT_GE((it - 1)->nScore, 0);
        EXPECT_TRUE(MoveCaptured((it - 1)->m) != 0 || (it - 1)->m == hash);
    }
}

TEST_F(Picker, BadCapturesKeepTheirScore) {
    // Qxd5 loses the queen for a pawn; it comes last with its exchange value even after a killer.
    Position p = FromFen("4k3/8/4p3/3p4/8/8/8/3QK3 w - - 0 1");
    anKiller1[1] = FindMove(p, "e1f2");
    std::vector<Picked> picked = Drain(p, 0, PHASE_START, 1, false);
    ASSERT_FALSE(picked.empty());
    EXPECT_EQ(MoveToCoord(picked.front().m), "e1f2");
    EXPECT_EQ(picked.front().nScore, 0);
    EXPECT_EQ(MoveToCoord(picked.back().m), "d1d5");
    EXPECT_EQ(picked.back().nScore, -875);
    ExpectEachOnce(picked, AllMoves(p));
}

TEST_F(Picker, QuietsByHistory) {
    Position p;
    SetStartPosition(&p);
    anHistory[WHITE][KNIGHT - 1][Sq("f3")] = 500;
    anHistory[WHITE][PAWN - 1][Sq("d4")] = 400;
    anHistory[WHITE][PAWN - 1][Sq("e4")] = 400;
    std::vector<Picked> picked = Drain(p, 0, PHASE_START, 0, false);
    ASSERT_EQ(picked.size(), 20u);
    EXPECT_EQ(MoveToCoord(picked[0].m), "g1f3");
    EXPECT_EQ(picked[0].nScore, 500 - 30000);
    EXPECT_EQ(Sorted(std::vector<Move>{picked[1].m, picked[2].m}),
              Sorted(std::vector<Move>{FindMove(p, "e2e4"), FindMove(p, "d2d4")}));
    for (size_t i = 3; i < picked.size(); i++) EXPECT_EQ(picked[i].nScore, -30000);
}

TEST_F(Picker, ExchangeSortTies) {
    // Gap 3 swaps A and D, the gaps 2 and 1 find nothing: equal scores keep a reversed order.
    MoveList list;
    const int scores[5] = {5, 7, 5, 7, 5};
    for (int i = 0; i < 5; i++) {
        list.aMoves[i + 2] = Move(i + 1);
        list.aScores[i + 2] = scores[i];
    }
    list.nCount = 5;
    SortMoves(&list, 2);
    EXPECT_EQ(std::vector<Move>(list.aMoves + 2, list.aMoves + 7), (std::vector<Move>{4, 2, 3, 1, 5}));
    EXPECT_EQ(std::vector<int>(list.aScores + 2, list.aScores + 7), (std::vector<int>{7, 7, 5, 5, 5}));
}

TEST_F(Picker, EvasionsInOneBatch) {
    // Rook e2 checks; the hash move comes first, the killers next, then captures and the rest.
    Position p = FromFen("4k3/8/8/8/8/2N5/4r3/R3K3 w Q - 0 1");
    const Move hash = FindMove(p, "c3e2");
    anKiller1[4] = FindMove(p, "e1d1");
    anKiller2[4] = FindMove(p, "e1f1");
    std::vector<Picked> picked = Drain(p, hash, PHASE_HASH, 4, true);
    ASSERT_GE(picked.size(), 4u);
    EXPECT_EQ(picked[0].m, hash);
    EXPECT_EQ(MoveToCoord(picked[1].m), "e1d1");
    EXPECT_EQ(picked[1].nScore, 30020);
    EXPECT_EQ(MoveToCoord(picked[2].m), "e1f1");
    EXPECT_EQ(picked[2].nScore, 30010);
    EXPECT_EQ(MoveToCoord(picked[3].m), "e1e2");  // king takes the rook: 500 + 10000
    EXPECT_EQ(picked[3].nScore, 10500);
    ExpectEachOnce(picked, Evasions(p));
    for (const Picked& x : picked) EXPECT_NE(MoveKind(x.m), KIND_CASTLE);
}

TEST_F(Picker, RootOrderFromLastScores) {
    Position p;
    SetStartPosition(&p);
    RootMoves.aMoves[0] = FindMove(p, "e2e4");
    RootMoves.aScores[0] = 50;
    RootMoves.aMoves[1] = FindMove(p, "d2d4");
    RootMoves.aScores[1] = 60;
    RootMoves.aMoves[2] = FindMove(p, "g1f3");
    RootMoves.aScores[2] = -32000;
    RootMoves.nCount = 3;
    std::vector<Picked> picked = Drain(p, FindMove(p, "c2c4"), PHASE_ROOT, 0, false);
    ASSERT_EQ(picked.size(), 20u);
    EXPECT_EQ(Coords(MovesOf(picked)).at(0), "c2c4");
    EXPECT_EQ(picked[0].nScore, 31999);
    EXPECT_EQ(Coords(MovesOf(picked)).at(1), "d2d4");
    EXPECT_EQ(Coords(MovesOf(picked)).at(2), "e2e4");
    EXPECT_EQ(picked[3].nScore, -31999);
    EXPECT_EQ(Coords(MovesOf(picked)).back(), "g1f3");  // not a capture: stays at -32000
    ExpectEachOnce(picked, AllMoves(p));

    // A capture stored at -32000 is judged by its exchange value instead.
    Position q = FromFen("4k3/8/8/3p4/8/8/8/3QK3 w - - 0 1");
    RootMoves.aMoves[0] = FindMove(q, "d1d5");
    RootMoves.aScores[0] = -32000;
    RootMoves.nCount = 1;
    std::vector<Picked> root = Drain(q, 0, PHASE_ROOT, 0, false);
    EXPECT_EQ(MoveToCoord(root.at(0).m), "d1d5");
    EXPECT_EQ(root[0].nScore, 100);
}

}  // namespace
