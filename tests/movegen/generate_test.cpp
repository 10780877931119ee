#include "movegen_test_util.h"

namespace {

using Strings = std::vector<std::string>;

TEST(Generate, StartPositionOrder) {
    Position p;
    EnsureTables();
    SetStartPosition(&p);
    EXPECT_TRUE(Captures(p).empty());
    EXPECT_EQ(Coords(Quiets(p)),
              (Strings{"h2h3", "h2h4", "g2g3", "g2g4", "f2f3", "f2f4", "e2e3", "e2e4", "d2d3", "d2d4",
                       "c2c3", "c2c4", "b2b3", "b2b4", "a2a3", "a2a4", "g1h3", "g1f3", "b1c3", "b1a3"}));
    // Black's pushes are walked from the lowest square as well, each single push before its double.
    Position b = FromFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    std::vector<Move> q = Quiets(b);
    ASSERT_GE(q.size(), 2u);
    EXPECT_EQ(MoveToCoord(q[0]), "h7h6");
    EXPECT_EQ(MoveToCoord(q[1]), "h7h5");
}

TEST(Generate, MoveWordsCarryEveryField) {
    Position p = FromFen("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    Move ep = FindMove(p, "e5d6");
    ASSERT_NE(ep, 0u);
    EXPECT_EQ(MoveKind(ep), KIND_EP);
    EXPECT_EQ(MoveCaptured(ep), PAWN);
    EXPECT_EQ(MovePiece(ep), PAWN);
    Position q = FromFen("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
    EXPECT_EQ(FindMove(q, "e1g1"), BuildMove(SQ_E1, SQ_G1, KIND_CASTLE, 0, KING, 0));
    EXPECT_EQ(FindMove(q, "e1c1"), BuildMove(SQ_E1, SQ_C1, KIND_CASTLE, 0, KING, 0));
}

TEST(Generate, PromotionsComeFromCaptureGenerator) {
    // Capturing promotions (queen, rook, bishop, knight), then the pushes; nothing for the quiets.
    Position w = FromFen("3r3k/4P3/8/8/8/8/8/K7 w - - 0 1");
    EXPECT_EQ(Coords(Captures(w)),
              (Strings{"e7d8q", "e7d8r", "e7d8b", "e7d8n", "e7e8q", "e7e8r", "e7e8b", "e7e8n"}));
    for (Move m : Captures(w)) EXPECT_EQ(MoveKind(m), KIND_PROMO);
    for (Move m : Quiets(w)) EXPECT_NE(MovePiece(m), PAWN);
    // Pawn captures by destination upwards, promotions on rank 1 therefore first for black.
    Position b = FromFen("7k/8/8/8/8/2P5/1p1p4/R1B4K b - - 0 1");
    EXPECT_EQ(Coords(Captures(b)), (Strings{"d2c1q", "d2c1r", "d2c1b", "d2c1n", "b2a1q", "b2a1r", "b2a1b",
                                            "b2a1n", "b2c1q", "b2c1r", "b2c1b", "b2c1n", "d2d1q", "d2d1r",
                                            "d2d1b", "d2d1n", "b2b1q", "b2b1r", "b2b1b", "b2b1n"}));
    EXPECT_EQ(GeneratePawnCaptures(&b, std::vector<Move>(kMaxMoves).data()), 20);
}

TEST(Generate, PawnCapturesAlone) {
    // Pawn captures, en passant and promotions; the knight's capture is left to the caller.
    Position p = FromFen("1n2k3/P7/8/3pP3/8/3p4/1N6/4K3 w - d6 0 1");
    Move a[kMaxMoves];
    int n = GeneratePawnCaptures(&p, a);
    EXPECT_EQ(Coords(std::vector<Move>(a, a + n)),
              (Strings{"a7b8q", "a7b8r", "a7b8b", "a7b8n", "e5d6", "a7a8q", "a7a8r", "a7a8b", "a7a8n"}));
    EXPECT_EQ(Coords(Captures(p)).back(), "b2d3");
}

TEST(Generate, CastlingConditions) {
    auto castles = [](const char* fen) {
        Position p = FromFen(fen);
        Strings v;
        for (Move m : Quiets(p)) {
            if (MoveKind(m) == KIND_CASTLE) v.push_back(MoveToCoord(m));
            EXPECT_TRUE(IsMoveValid(&p, m)) << fen << " " << MoveToCoord(m);
        }
        // The move check accepts a castling word exactly when it is generated.
        const int e = p.bSideToMove == WHITE ? SQ_E1 : SQ_E8;
        for (int to : {e - 2, e + 2}) {
            Move m = BuildMove(e, to, KIND_CASTLE, 0, KING, 0);
            EXPECT_EQ(IsMoveValid(&p, m), std::find(v.begin(), v.end(), MoveToCoord(m)) != v.end())
                << fen << " " << MoveToCoord(m);
        }
        return v;
    };
    EXPECT_EQ(castles("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"), (Strings{"e1g1", "e1c1"}));
    EXPECT_EQ(castles("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1"), (Strings{"e8g8", "e8c8"}));
    EXPECT_EQ(castles("r3k2r/8/8/8/8/8/8/R3K2R w Qk - 0 1"), (Strings{"e1c1"}));
    // In check: none.
    EXPECT_EQ(castles("4k3/8/8/8/8/8/4r3/R3K2R w KQ - 0 1"), Strings{});
    // Passing an attacked square (f1, d1), landing on one (g1, c8).
    EXPECT_EQ(castles("4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1"), (Strings{"e1c1"}));
    EXPECT_EQ(castles("3rk3/8/8/8/8/8/8/R3K2R w KQ - 0 1"), (Strings{"e1g1"}));
    EXPECT_EQ(castles("4k1r1/8/8/8/8/8/8/R3K2R w KQ - 0 1"), (Strings{"e1c1"}));
    EXPECT_EQ(castles("r3k2r/8/8/8/8/8/8/2R1K3 b kq - 0 1"), (Strings{"e8g8"}));
    // An attacked b1/b8 does not matter, an occupied one does.
    EXPECT_EQ(castles("1r2k3/8/8/8/8/8/8/R3K2R w KQ - 0 1"), (Strings{"e1g1", "e1c1"}));
    EXPECT_EQ(castles("r3k3/8/8/8/8/8/8/1R2K3 b q - 0 1"), (Strings{"e8c8"}));
    EXPECT_EQ(castles("4k3/8/8/8/8/8/8/RN2K2R w KQ - 0 1"), (Strings{"e1g1"}));
    EXPECT_EQ(castles("r3k1nr/8/8/8/8/8/8/4K3 b kq - 0 1"), (Strings{"e8c8"}));
}

TEST(Evasions, DoubleCheckGivesOnlyKingMoves) {
    // Knight f3 and rook h1 both check; the bishop could take either but may not.
    Position p = FromFen("4k3/8/8/8/8/5n2/6B1/4K2r w - - 0 1");
    std::vector<Move> e = Evasions(p);
    for (Move m : e) EXPECT_EQ(MovePiece(m), KING) << MoveToCoord(m);
    // d1 is behind the king on the rook's line: left to the legality test.
    EXPECT_EQ(Coords(e), (Strings{"e1d1", "e1f2", "e1e2"}));
    EXPECT_EQ(Coords(LegalOnly(p, e)), (Strings{"e1f2", "e1e2"}));
}

TEST(Evasions, KnightOrPawnCheckCanOnlyBeCaptured) {
    // Knight d3 checks; bishop b1 and queen h3 take it, the rook cannot interpose.
    Position p = FromFen("4k3/8/8/8/8/3n3Q/8/RB2K3 w - - 0 1");
    Strings others;
    for (Move m : Evasions(p))
        if (MovePiece(m) != KING) others.push_back(MoveToCoord(m));
    EXPECT_EQ(others, (Strings{"b1d3", "h3d3"}));
    // Pawn d4 checks the king on c5; only the pawn square is a target, en passant included.
    Position q = FromFen("8/8/8/2k5/3Pp3/8/1B6/4K3 b - d3 0 1");
    std::vector<Move> e = Evasions(q);
    Strings nonKing;
    for (Move m : e)
        if (MovePiece(m) != KING) nonKing.push_back(MoveToCoord(m));
    EXPECT_EQ(nonKing, (Strings{"e4d3"}));
    EXPECT_EQ(MoveKind(FindMove(q, "e4d3")), KIND_EP);
}

TEST(Evasions, EnPassantOnlyAgainstPawnChecker) {
    // c2-c4 uncovered the bishop's check; taking en passant on c3 does not help, pushing d4-d3 does.
    Position p = FromFen("8/7k/8/8/2Pp4/8/8/1B2K3 b - c3 0 1");
    ASSERT_NE(FindMove(p, "d4c3"), 0u);
    Strings e = Coords(Evasions(p));
    EXPECT_EQ(std::count(e.begin(), e.end(), "d4c3"), 0);
    EXPECT_EQ(std::count(e.begin(), e.end(), "d4d3"), 1);
}

TEST(Evasions, BlocksByEveryPieceInOrder) {
    auto nonKing = [](const Position& p) {
        Strings v;
        for (Move m : Evasions(p))
            if (MovePiece(m) != KING) v.push_back(MoveToCoord(m));
        return v;
    };
    // Queen a5 checks along a5-e1: single push, double push, knight, bishop, rook, queen.
    Position p = FromFen("k7/8/8/q5B1/7Q/7R/1PP5/1N2K3 w - - 0 1");
    EXPECT_EQ(nonKing(p), (Strings{"c2c3", "b2b4", "b1d2", "b1c3", "g5d2", "h3c3", "h4b4"}));
    EXPECT_EQ(Sorted(LegalOnly(p, Evasions(p))), Sorted(LegalOnly(p, AllMoves(p))));
    // Pawn captures of the checker: towards the a-file first.
    Position q = FromFen("4k3/8/8/8/8/3n4/2P1P3/4K3 w - - 0 1");
    EXPECT_EQ(nonKing(q), (Strings{"e2d3", "c2d3"}));
}

TEST(Evasions, WithoutCheckEveryMove) {
    Position p = FromFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    EXPECT_EQ(Evasions(p), AllMoves(p));
}

TEST(Generate, ArraysAreNeverOverrun) {
    // The position with the most legal moves known (218).
    Position p = FromFen("R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1");
    std::vector<Move> all = AllMoves(p);
    EXPECT_EQ(LegalOnly(p, all).size(), 218u);
    EXPECT_LT(all.size(), size_t(kMaxMoves));
    // A short array keeps all but its last entry and nothing beyond it is touched.
    for (int room : {1, 2, 10, 50}) {
        std::vector<Move> buf(room + 8, 0xDEADBEEF);
        int n = GenerateQuiets(&p, buf.data(), room);
        EXPECT_EQ(n, room - 1);
        for (int i = room; i < room + 8; i++) EXPECT_EQ(buf[i], 0xDEADBEEFu);
        n = GenerateCaptures(&p, buf.data(), room);
        EXPECT_LE(n, room - 1);
        n = GenerateEvasions(&p, buf.data(), room);
        EXPECT_EQ(n, room - 1);
        for (int i = room; i < room + 8; i++) EXPECT_EQ(buf[i], 0xDEADBEEFu);
    }
}

}  // namespace
