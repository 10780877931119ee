#include "movegen_test_util.h"

namespace {

int See(const char* fen, const char* from, const char* to) {
    Position p = FromFen(fen);
    return StaticExchange(&p, Sq(from), Sq(to));
}

TEST(StaticExchange, WorkedValues) {
    // Knight takes a pawn defended by a pawn: 100, -225.
    EXPECT_EQ(See("4k3/8/4p3/3p4/8/2N5/8/4K3 w - - 0 1", "c3", "d5"), -225);
    // Rook takes an undefended knight.
    EXPECT_EQ(See("4k3/8/8/3n4/8/8/8/3RK3 w - - 0 1", "d1", "d5"), 325);
    // Knight takes a knight defended once.
    EXPECT_EQ(See("4k3/8/4p3/3n4/8/2N5/8/4K3 w - - 0 1", "c3", "d5"), 0);
    // Rook takes a pawn defended by a rook, the queen behind the rook follows: 100, -400, 100.
    EXPECT_EQ(See("3rk3/8/8/3p4/8/8/3R4/3QK3 w - - 0 1", "d2", "d5"), 100);
}

TEST(StaticExchange, EnPassantTargetIsEmpty) {
    EXPECT_EQ(See("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5", "d6"), 0);
    EXPECT_EQ(See("4k3/2p5/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5", "d6"), -100);
}

TEST(StaticExchange, KingsNeverRecapture) {
    // Only the king guards d7: the whole pawn is won.
    EXPECT_EQ(See("4k3/3p4/8/8/8/8/8/3RK3 w - - 0 1", "d1", "d7"), 100);
    // A king may make the first capture; losing it costs nothing in the balance.
    EXPECT_EQ(See("4k3/8/8/8/1b6/8/3p4/4K3 w - - 0 1", "e1", "d2"), 100);
}

TEST(StaticExchange, XRaysOnEveryLine) {
    // Bishop behind the capturing pawn on either diagonal: 100 instead of 0.
    EXPECT_EQ(See("4k3/8/5n2/3p4/4P3/8/6B1/4K3 w - - 0 1", "e4", "d5"), 100);
    EXPECT_EQ(See("4k3/8/5n2/3p4/2P5/8/B7/4K3 w - - 0 1", "c4", "d5"), 100);
    // Rook behind rook on the rank: -300 instead of -400.
    EXPECT_EQ(See("4k3/8/8/3p4/RR2p3/8/8/4K3 w - - 0 1", "b4", "e4"), -300);
    // Black to move: queen behind rook on the file; the white king's recapture is not counted.
    EXPECT_EQ(See("3qk3/3r4/8/8/8/8/3P4/3RK3 b - - 0 1", "d7", "d2"), 100);
    // The defender's x-ray counts as well: with queens behind both rooks Rxd5 loses (100 without
    // the black queen).
    EXPECT_EQ(See("3qk3/3r4/8/3p4/8/8/3R4/3QK3 w - - 0 1", "d2", "d5"), -400);
}

TEST(StaticExchange, LeavesPositionAlone) {
    Position p = FromFen("3rk3/8/8/3p4/8/8/3R4/3QK3 w - - 0 1");
    Position before = p;
    StaticExchange(&p, Sq("d2"), Sq("d5"));
    EXPECT_EQ(std::memcmp(&p, &before, sizeof p), 0);
}

}  // namespace
