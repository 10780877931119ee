#include "movegen_test_util.h"

namespace {

Move Word(const Position& p, const char* from, const char* to, int kind = KIND_NORMAL, int promo = 0,
          int captured = -1) {
    const int f = Sq(from), t = Sq(to);
    if (captured < 0) captured = kind == KIND_EP ? PAWN : CodeType(p.aBoard[t]);
    return BuildMove(f, t, kind, promo, CodeType(p.aBoard[f]), captured);
}

TEST(IsMoveValid, PawnKindsAndPromotions) {
    // Pawns b7 (promotes), e5 (may take d6 en passant), g5; white may castle king-side.
    Position p = FromFen("4k3/1P6/8/3pP1P1/8/8/8/4K2R w K d6 0 1");
    for (int promo = KNIGHT; promo <= QUEEN; promo++)
        EXPECT_TRUE(IsMoveValid(&p, Word(p, "b7", "b8", KIND_PROMO, promo)));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "b7", "b8")));                    // last rank needs Kind 2
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "b7", "b8", KIND_PROMO, 0)));     // ... and a piece
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "b7", "b8", KIND_PROMO, PAWN)));  // ... that exists
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "b7", "b8", KIND_PROMO, KING)));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "b7", "b8", KIND_NORMAL, QUEEN)));
    EXPECT_TRUE(IsMoveValid(&p, Word(p, "e5", "e6")));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "e5", "e6", KIND_PROMO, QUEEN)));  // not a promotion
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "e5", "e6", KIND_NORMAL, QUEEN)));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "e5", "e6", KIND_NORMAL, 0, KNIGHT)));  // nothing to capture
    // En passant: only onto the en-passant square, from a square that attacks it, as a pawn capture.
    EXPECT_TRUE(IsMoveValid(&p, Word(p, "e5", "d6", KIND_EP)));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "e5", "d6", KIND_EP, 0, 0)));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "e5", "d6", KIND_EP, QUEEN)));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "e5", "d6")));  // a diagonal step onto an empty square
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "g5", "d6", KIND_EP)));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "e5", "f6", KIND_EP)));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "e5", "e6", KIND_EP)));
    // Double steps only from the second rank over an empty square.
    Position s;
    SetStartPosition(&s);
    EXPECT_TRUE(IsMoveValid(&s, Word(s, "e2", "e4")));
    EXPECT_FALSE(IsMoveValid(&s, Word(s, "e2", "e5")));
    Position blocked = FromFen("4k3/8/8/8/8/4n3/4P3/4K3 w - - 0 1");
    EXPECT_FALSE(IsMoveValid(&blocked, Word(blocked, "e2", "e4")));
    EXPECT_FALSE(IsMoveValid(&blocked, Word(blocked, "e2", "e3")));
}

TEST(IsMoveValid, CastlingOnlyAsTheFourWords) {
    Position p = FromFen("4k3/8/8/8/8/8/8/4K2R w K - 0 1");
    EXPECT_TRUE(IsMoveValid(&p, Word(p, "e1", "g1", KIND_CASTLE)));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "e1", "g1")));               // not a king step
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "e1", "f1", KIND_CASTLE)));  // a step marked as castling
    EXPECT_TRUE(IsMoveValid(&p, Word(p, "e1", "f1")));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "e1", "c1", KIND_CASTLE)));  // no right, no rook
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "h1", "h3", KIND_CASTLE)));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "e1", "g1", KIND_CASTLE, QUEEN)));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "e1", "g1", KIND_CASTLE, 0, KNIGHT)));
    Position b = FromFen("r3k3/8/8/8/8/8/8/4K3 b q - 0 1");
    EXPECT_TRUE(IsMoveValid(&b, Word(b, "e8", "c8", KIND_CASTLE)));
    EXPECT_FALSE(IsMoveValid(&b, Word(b, "e8", "d8", KIND_CASTLE)));
    EXPECT_FALSE(IsMoveValid(&b, Word(b, "e8", "g8", KIND_CASTLE)));
}

TEST(IsMoveValid, PieceColourGeometryAndVictim) {
    Position p = FromFen("4k3/8/1n6/8/3B4/8/8/R3K3 w - - 0 1");
    EXPECT_TRUE(IsMoveValid(&p, Word(p, "d4", "c5")));
    EXPECT_TRUE(IsMoveValid(&p, Word(p, "d4", "b6")));
    EXPECT_TRUE(IsMoveValid(&p, Word(p, "a1", "a8")));
    EXPECT_FALSE(IsMoveValid(&p, 0));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "d4", "c5") | (Move(1) << 23)));           // stray high bits
    EXPECT_FALSE(IsMoveValid(&p, BuildMove(Sq("d4"), Sq("c5"), 0, 0, 0, 0)));       // no piece
    EXPECT_FALSE(IsMoveValid(&p, BuildMove(Sq("d4"), Sq("c5"), 0, 0, ROOK, 0)));    // wrong piece
    EXPECT_FALSE(IsMoveValid(&p, BuildMove(Sq("d5"), Sq("d6"), 0, 0, BISHOP, 0)));  // empty origin
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "b6", "d5")));                             // not our piece
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "a1", "e1")));                             // own piece there
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "d4", "c4")));                             // not a bishop line
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "d4", "a7")));                             // behind the knight
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "d4", "b6", KIND_NORMAL, 0, PAWN)));       // wrong victim
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "d4", "c5", KIND_NORMAL, 0, KNIGHT)));     // no victim there
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "a1", "a8", KIND_NORMAL, QUEEN)));
    EXPECT_FALSE(IsMoveValid(&p, Word(p, "a1", "a8", KIND_PROMO, QUEEN)));
}

TEST(IsGeneratedMove, RequiresALegalGeneratedMove) {
    Position s;
    SetStartPosition(&s);
    EXPECT_TRUE(IsGeneratedMove(&s, FindMove(s, "e2e4")));
    EXPECT_FALSE(IsGeneratedMove(&s, Word(s, "e2", "e5")));
    EXPECT_FALSE(IsGeneratedMove(&s, 0));
    // The bishop is pinned; the king may not step onto the d-file.
    Position p = FromFen("4k3/4r3/8/8/8/8/3rB3/4K3 w - - 0 1");
    EXPECT_NE(FindMove(p, "e2d3"), 0u);
    EXPECT_FALSE(IsGeneratedMove(&p, FindMove(p, "e2d3")));
    EXPECT_FALSE(IsGeneratedMove(&p, FindMove(p, "e1d1")));
    EXPECT_TRUE(IsGeneratedMove(&p, FindMove(p, "e1f2")));  // the bishop still shields f2
    EXPECT_TRUE(IsGeneratedMove(&p, FindMove(p, "e1d2")));
    EXPECT_TRUE(IsGeneratedMove(&p, FindMove(p, "e1f1")));
    EXPECT_TRUE(IsLegalMove(&p, FindMove(p, "e1f1")));
    EXPECT_FALSE(IsLegalMove(&p, FindMove(p, "e2f3")));
}

TEST(InCheck, ReportsTheAttackerKind) {
    auto check = [](const char* fen) {
        Position p = FromFen(fen);
        return InCheck(&p);
    };
    EXPECT_EQ(check("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"), 0);
    EXPECT_EQ(check("4k3/8/8/8/8/8/3p4/4K3 w - - 0 1"), 1);
    EXPECT_EQ(check("4k3/8/8/8/8/5n2/8/4K3 w - - 0 1"), 2);
    EXPECT_EQ(check("4k3/8/8/8/8/8/8/r3K3 w - - 0 1"), 4);
    EXPECT_EQ(check("4k3/8/8/1B6/8/8/8/4K3 b - - 0 1"), 3);
    EXPECT_EQ(check("4k3/8/8/1Q6/8/8/8/4K3 b - - 0 1"), 3);
}

}  // namespace
