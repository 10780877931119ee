#include <gtest/gtest.h>

#include "board_test_util.h"

namespace {

// A move word as the generators build it, reading piece and victim from the board.
Move Mv(const Position& p, const char* from, const char* to, int kind = KIND_NORMAL, int promo = 0) {
    int f = Sq(from), t = Sq(to);
    int captured = kind == KIND_EP ? PAWN : CodeType(p.aBoard[t]);
    return BuildMove(f, t, kind, promo, CodeType(p.aBoard[f]), captured);
}

// Plays a move and checks the result against a fresh set-up of the same position.
Position PlayAndCheck(const Position& p, Move m) {
    Position after;
    MakeMove(m, &p, &after, 0, 0);
    Position fresh = FromFen(FenOf(after));
    ExpectSamePosition(after, fresh, FenOf(p) + " then " + MoveToCoord(m));
    return after;
}

TEST(MakeMove, PawnDoubleStepAlwaysSetsEpSquare) {
    Position start;
    EnsureTables();
    SetStartPosition(&start);
    Position after;
    MakeMove(Mv(start, "e2", "e4"), &start, &after, 0, 0);
    EXPECT_EQ(after.nEpSquare, 19);
    // FEN set-up drops an en-passant square nobody can use, so compare keys by hand here.
    Position copy = after;
    ComputeHashKey(&copy);
    EXPECT_EQ(copy.nHashKey, after.nHashKey);
    EXPECT_EQ(copy.nPawnKey, after.nPawnKey);
    EXPECT_EQ(after.nFifty, 0);
}

TEST(MakeMove, CastlingMovesTheRookAndRights) {
    Position p = FromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 5 1");
    Position oo = PlayAndCheck(p, Mv(p, "e1", "g1", KIND_CASTLE));
    EXPECT_EQ(oo.aBoard[Sq("f1")], PieceCode(WHITE, ROOK));
    EXPECT_EQ(oo.aBoard[Sq("h1")], 0);
    EXPECT_EQ(oo.nCastling, CASTLE_BK | CASTLE_BQ | CASTLED_W);
    EXPECT_EQ(oo.nFifty, 6);
    Position ooo = PlayAndCheck(oo, Mv(oo, "e8", "c8", KIND_CASTLE));
    EXPECT_EQ(ooo.aBoard[Sq("d8")], PieceCode(BLACK, ROOK));
    EXPECT_EQ(ooo.nCastling, CASTLED_W | CASTLED_B);
    Position wq = PlayAndCheck(p, Mv(p, "e1", "c1", KIND_CASTLE));
    EXPECT_EQ(wq.aBoard[Sq("d1")], PieceCode(WHITE, ROOK));
    Position pb = FromFen("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 5 1");
    Position bk = PlayAndCheck(pb, Mv(pb, "e8", "g8", KIND_CASTLE));
    EXPECT_EQ(bk.aBoard[Sq("f8")], PieceCode(BLACK, ROOK));
}

TEST(MakeMove, RookMovesAndCapturesClearRights) {
    Position p = FromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    Position a = PlayAndCheck(p, Mv(p, "h1", "h8"));  // captures the rook on its corner
    EXPECT_EQ(a.nCastling, CASTLE_WQ | CASTLE_BQ);
    EXPECT_EQ(a.nFifty, 0);
    EXPECT_EQ(a.nMaterial[BLACK], 500);
    Position q = FromFen("r3k2r/8/8/8/8/8/8/R3K2R w Kkq - 0 1");
    Position b = PlayAndCheck(q, Mv(q, "a1", "a4"));  // right already gone: no key change for it
    EXPECT_EQ(b.nCastling, CASTLE_WK | CASTLE_BK | CASTLE_BQ);
    Position k = PlayAndCheck(p, Mv(p, "e1", "e2"));
    EXPECT_EQ(k.nCastling, CASTLE_BK | CASTLE_BQ);
}

TEST(MakeMove, ClocksAndIrreversibleMarker) {
    Position p = FromFen("4k3/8/8/3p4/4P3/8/8/1N2K3 w - - 7 20");
    game.nGamePly = 40;
    aThreadMarkers[2].nLastIrreversible = -5;
    Position quiet = PlayAndCheck(p, Mv(p, "b1", "c3"));
    EXPECT_EQ(quiet.nFifty, 8);
    Position after;
    MakeMove(Mv(p, "b1", "c3"), &p, &after, 3, 2);
    EXPECT_EQ(aThreadMarkers[2].nLastIrreversible, -5);
    MakeMove(Mv(p, "e4", "d5"), &p, &after, 3, 2);
    EXPECT_EQ(aThreadMarkers[2].nLastIrreversible, 43);
    EXPECT_EQ(after.nFifty, 0);
    PlayAndCheck(p, Mv(p, "e4", "d5"));
    MakeMove(Mv(p, "e4", "e5"), &p, &after, 5, 2);
    EXPECT_EQ(aThreadMarkers[2].nLastIrreversible, 45);
    // Scratch moves leave every marker alone.
    MakeMove(Mv(p, "e4", "e5"), &p, &after, 9, -1);
    EXPECT_EQ(aThreadMarkers[2].nLastIrreversible, 45);
    game.nGamePly = 0;
    // The clock saturates instead of wrapping to 0.
    Position full = FromFen("4k3/8/8/8/8/8/8/1N2K3 w - - 255 200");
    Position next = PlayAndCheck(full, Mv(full, "b1", "c3"));
    EXPECT_EQ(next.nFifty, 255);
}

TEST(MakeMove, EnPassantAndPromotions) {
    Position p = FromFen("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    Position ep = PlayAndCheck(p, Mv(p, "e5", "d6", KIND_EP));
    EXPECT_EQ(ep.aBoard[Sq("d5")], 0);
    EXPECT_EQ(ep.nMaterial[BLACK], 0);

    Position pr = FromFen("3rk3/2P5/8/8/8/8/8/4K3 w - - 0 1");
    Position n = PlayAndCheck(pr, Mv(pr, "c7", "c8", KIND_PROMO, KNIGHT));
    EXPECT_EQ(n.nMaterial[WHITE], 325);
    EXPECT_EQ(n.aBoard[Sq("c8")], PieceCode(WHITE, KNIGHT));
    Position qx = PlayAndCheck(pr, Mv(pr, "c7", "d8", KIND_PROMO, QUEEN));
    EXPECT_EQ(qx.nMaterial[WHITE], 975);
    EXPECT_EQ(qx.nMaterial[BLACK], 0);
    Position bp = FromFen("4k3/8/8/8/8/8/p7/1R2K3 b - - 0 1");
    Position r = PlayAndCheck(bp, Mv(bp, "a2", "b1", KIND_PROMO, ROOK));
    EXPECT_EQ(r.nMaterial[BLACK], 500);
    EXPECT_EQ(r.nMaterial[WHITE], 0);
    PlayAndCheck(bp, Mv(bp, "a2", "a1", KIND_PROMO, BISHOP));
}

TEST(Attacks, Kinds) {
    Position start;
    EnsureTables();
    SetStartPosition(&start);
    EXPECT_EQ(AttackedBy(Sq("f3"), &start, WHITE), 1);
    EXPECT_EQ(AttackedBy(Sq("e4"), &start, WHITE), 0);
    EXPECT_EQ(AttackedBy(Sq("e8"), &start, WHITE), 0);
    Position q = FromFen("4k3/8/8/8/8/8/8/Q3K3 w - - 0 1");
    EXPECT_EQ(AttackedBy(Sq("d4"), &q, WHITE), 3);
    EXPECT_EQ(AttackedBy(Sq("a5"), &q, WHITE), 4);
    EXPECT_EQ(AttackedBy(Sq("f2"), &q, WHITE), 6);
    EXPECT_EQ(AttackedBy(Sq("c2"), &q, WHITE), 0);
    Position n = FromFen("4k3/8/8/8/8/8/8/1N2K3 w - - 0 1");
    EXPECT_EQ(AttackedBy(Sq("c3"), &n, WHITE), 2);
}

TEST(MoveText, San) {
    Position n = FromFen("4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1");
    EXPECT_EQ(MoveToSan(&n, Mv(n, "b1", "d2")), "Nbd2");
    EXPECT_EQ(MoveToSan(&n, Mv(n, "b1", "c3")), "Nc3");
    Position r = FromFen("4k3/R7/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(MoveToSan(&r, Mv(r, "a1", "a4")), "Raa4");
    Position ep = FromFen("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    EXPECT_EQ(MoveToSan(&ep, Mv(ep, "e5", "d6", KIND_EP)), "exd6");
    Position pr = FromFen("4n3/3P1k2/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(MoveToSan(&pr, Mv(pr, "d7", "e8", KIND_PROMO, KNIGHT)), "dxe8=N");
    Position pq = FromFen("8/4P3/8/8/8/8/k7/4K3 w - - 0 1");
    EXPECT_EQ(MoveToSan(&pq, Mv(pq, "e7", "e8", KIND_PROMO, QUEEN)), "e8=Q");
    Position pc = FromFen("8/4P3/8/8/k7/8/8/4K3 w - - 0 1");
    EXPECT_EQ(MoveToSan(&pc, Mv(pc, "e7", "e8", KIND_PROMO, QUEEN)), "e8=Q+");
    Position oo = FromFen("5k2/8/8/8/8/8/8/4K2R w K - 0 1");
    EXPECT_EQ(MoveToSan(&oo, Mv(oo, "e1", "g1", KIND_CASTLE)), "O-O");  // no check sign on castling
    Position ooo = FromFen("r3k3/8/8/8/8/8/8/4K3 b q - 0 1");
    EXPECT_EQ(MoveToSan(&ooo, Mv(ooo, "e8", "c8", KIND_CASTLE)), "O-O-O");
    EXPECT_EQ(MoveToSan(&ooo, 0), "");
    Position c = FromFen("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(MoveToSan(&c, Mv(c, "a1", "a8")), "Ra8+");
    game.nGamePly = 10;
    aThreadMarkers[0].nLastIrreversible = 3;
    Position cap = FromFen("4k3/8/8/3p4/4P3/8/8/4K3 w - - 0 1");
    EXPECT_EQ(MoveToSan(&cap, Mv(cap, "e4", "d5")), "exd5");
    EXPECT_EQ(aThreadMarkers[0].nLastIrreversible, 3);  // the SAN writer's trial move leaves it alone
    game.nGamePly = 0;
}

TEST(MoveText, Coordinates) {
    EXPECT_EQ(MoveToCoord(BuildMove(Sq("e2"), Sq("e4"), 0, 0, PAWN, 0)), "e2e4");
    EXPECT_EQ(MoveToCoord(BuildMove(Sq("e7"), Sq("e8"), KIND_PROMO, QUEEN, PAWN, 0)), "e7e8q");
    EXPECT_EQ(MoveToCoord(BuildMove(Sq("b2"), Sq("a1"), KIND_PROMO, KNIGHT, PAWN, ROOK)), "b2a1n");
    EXPECT_EQ(MoveToCoord(BuildMove(Sq("e1"), Sq("g1"), KIND_CASTLE, 0, KING, 0)), "e1g1");
}

}  // namespace
