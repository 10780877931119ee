// Reading SAN: every accepted text gives the generator's own word for a legal move, and every
// text that does not name one legal move is refused.
#include "movegen/san.h"

#include <random>

#include "movegen_test_util.h"

namespace {

const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// The word ParseSan gives, 0 when it refuses the text (and then *pMove must be left alone).
Move Parse(const Position& p, const char* text) {
    Move m = 0xDEADBEEF;
    const bool bOk = ParseSan(&p, text, &m);
    if (!bOk) {
        EXPECT_EQ(m, 0xDEADBEEFu) << text << ": a refused text leaves the move alone";
        return 0;
    }
    EXPECT_TRUE(IsGeneratedMove(&p, m)) << text;
    return m;
}

Move Word(const char* from, const char* to, int kind, int promo, int piece, int captured) {
    return BuildMove(Sq(from), Sq(to), kind, promo, piece, captured);
}

TEST(ParseSan, PawnPushesDoubleStepsAndCaptures) {
    const Position start = FromFen(kStart);
    EXPECT_EQ(Parse(start, "e4"), Word("e2", "e4", KIND_NORMAL, 0, PAWN, NONE));
    EXPECT_EQ(Parse(start, "e3"), Word("e2", "e3", KIND_NORMAL, 0, PAWN, NONE));
    EXPECT_EQ(Parse(start, "a4"), Word("a2", "a4", KIND_NORMAL, 0, PAWN, NONE));
    EXPECT_EQ(Parse(start, "e5"), 0u) << "no pawn two squares behind";
    EXPECT_EQ(Parse(start, "e2"), 0u) << "onto its own pawn";
    EXPECT_EQ(Parse(start, "e1"), 0u) << "origin off the board";
    EXPECT_EQ(Parse(start, "exd3"), 0u) << "capture of nothing";

    const Position black = FromFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    EXPECT_EQ(Parse(black, "d5"), Word("d7", "d5", KIND_NORMAL, 0, PAWN, NONE));
    EXPECT_EQ(Parse(black, "h6"), Word("h7", "h6", KIND_NORMAL, 0, PAWN, NONE));
    EXPECT_EQ(Parse(black, "e8"), 0u) << "origin off the board for black";

    const Position centre = FromFen("rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2");
    EXPECT_EQ(Parse(centre, "exd5"), Word("e4", "d5", KIND_NORMAL, 0, PAWN, PAWN));
    EXPECT_EQ(Parse(centre, "cxd5"), 0u) << "no pawn on c4";
    EXPECT_EQ(Parse(centre, "exf5"), 0u);
}

TEST(ParseSan, PawnTextMustBeAPawnMove) {
    // A king on e3 can step to e4 and a queen on e4 can take on d5: the texts "e4" and "exd5"
    // still mean pawns, which are not there.
    const Position p = FromFen("4k3/8/8/8/8/4K3/8/8 w - - 0 1");
    EXPECT_EQ(Parse(p, "e4"), 0u);
    EXPECT_NE(Parse(p, "Ke4"), 0u);
    const Position q = FromFen("7k/8/8/3p4/4Q3/8/8/4K3 w - - 0 1");
    EXPECT_EQ(Parse(q, "exd5"), 0u);
    EXPECT_NE(Parse(q, "Qxd5"), 0u);
}

TEST(ParseSan, EnPassantWhenTheTargetIsEmpty) {
    const Position p = FromFen("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3");
    const Move m = Parse(p, "exf6");
    EXPECT_EQ(m, Word("e5", "f6", KIND_EP, 0, PAWN, PAWN));
    EXPECT_EQ(MoveKind(m), KIND_EP);
    EXPECT_EQ(MoveCaptured(m), PAWN);
    EXPECT_EQ(Parse(p, "exd6"), 0u) << "d6 is empty but not the en-passant square";
}

TEST(ParseSan, PromotionsNeedEqualsAndACapitalPieceLetter) {
    const Position p = FromFen("3r3k/4P3/8/8/8/8/8/K7 w - - 0 1");
    EXPECT_EQ(Parse(p, "e8=Q+"), Word("e7", "e8", KIND_PROMO, QUEEN, PAWN, NONE));
    EXPECT_EQ(Parse(p, "e8=Q!!"), Parse(p, "e8=Q"));
    EXPECT_EQ(Parse(p, "e8=R"), Word("e7", "e8", KIND_PROMO, ROOK, PAWN, NONE));
    EXPECT_EQ(Parse(p, "e8=B"), Word("e7", "e8", KIND_PROMO, BISHOP, PAWN, NONE));
    EXPECT_EQ(Parse(p, "exd8=N#"), Word("e7", "d8", KIND_PROMO, KNIGHT, PAWN, ROOK));
    EXPECT_EQ(Parse(p, "exd8=Q+"), Word("e7", "d8", KIND_PROMO, QUEEN, PAWN, ROOK));
    for (const char* bad : {"e8", "e8Q", "e8=", "e8=q", "e8=K", "e8=P", "e8=X", "exd8", "exd8=", "e8=QQ"})
        EXPECT_EQ(Parse(p, bad), 0u) << bad;
    // '=' on a move that is no promotion.
    const Position start = FromFen(kStart);
    EXPECT_EQ(Parse(start, "e4=Q"), 0u);
}

TEST(ParseSan, MoveNumbersMarksAndChecksAreIgnored) {
    const Position start = FromFen(kStart);
    const Move nf3 = Word("g1", "f3", KIND_NORMAL, 0, KNIGHT, NONE);
    EXPECT_EQ(Parse(start, "Nf3"), nf3);
    EXPECT_EQ(Parse(start, "12.Nf3"), nf3);
    EXPECT_EQ(Parse(start, "1.Nf3!?"), nf3);
    EXPECT_EQ(Parse(start, "Nf3+"), nf3);
    EXPECT_EQ(Parse(start, "Nf3++"), nf3);
    EXPECT_EQ(Parse(start, "N?f!3#"), nf3);
    // Black move numbers leave their dots behind.
    EXPECT_EQ(Parse(start, "12...Nf3"), 0u);
    EXPECT_EQ(Parse(start, "2..."), 0u);
    EXPECT_EQ(Parse(start, "12."), 0u);
}

TEST(ParseSan, CastlingNeedsTheRightAndAFreePath) {
    const Position both = FromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    EXPECT_EQ(Parse(both, "O-O"), Word("e1", "g1", KIND_CASTLE, 0, KING, NONE));
    EXPECT_EQ(Parse(both, "O-O+"), Word("e1", "g1", KIND_CASTLE, 0, KING, NONE));
    EXPECT_EQ(Parse(both, "O-O-O"), Word("e1", "c1", KIND_CASTLE, 0, KING, NONE));
    const Position black = FromFen("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1");
    EXPECT_EQ(Parse(black, "O-O"), Word("e8", "g8", KIND_CASTLE, 0, KING, NONE));
    EXPECT_EQ(Parse(black, "O-O-O"), Word("e8", "c8", KIND_CASTLE, 0, KING, NONE));

    const Position noRights = FromFen("r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1");
    EXPECT_EQ(Parse(noRights, "O-O"), 0u);
    EXPECT_EQ(Parse(noRights, "O-O-O"), 0u);
    const Position blocked = FromFen("r3k2r/8/8/8/8/8/8/RN2KB1R w KQkq - 0 1");
    EXPECT_EQ(Parse(blocked, "O-O"), 0u);
    EXPECT_EQ(Parse(blocked, "O-O-O"), 0u);
    // Digits and other spellings are not castling.
    for (const char* bad : {"0-0", "0-0-0", "O-O-O-O", "OO", "o-o", "O-O-"})
        EXPECT_EQ(Parse(both, bad), 0u) << bad;
    EXPECT_EQ(Parse(both, "Kg1"), 0u) << "a two-square king step is written as castling";
}

TEST(ParseSan, OriginByFileRankOrSquare) {
    const Position knights = FromFen("4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1");
    EXPECT_EQ(Parse(knights, "Nbd2"), Word("b1", "d2", KIND_NORMAL, 0, KNIGHT, NONE));
    EXPECT_EQ(Parse(knights, "Nfd2"), Word("f3", "d2", KIND_NORMAL, 0, KNIGHT, NONE));
    EXPECT_EQ(Parse(knights, "Nfxd2"), Word("f3", "d2", KIND_NORMAL, 0, KNIGHT, NONE));
    EXPECT_EQ(Parse(knights, "N1d2"), Word("b1", "d2", KIND_NORMAL, 0, KNIGHT, NONE));
    EXPECT_EQ(Parse(knights, "N3d2"), Word("f3", "d2", KIND_NORMAL, 0, KNIGHT, NONE));
    EXPECT_EQ(Parse(knights, "Nf3d2"), Word("f3", "d2", KIND_NORMAL, 0, KNIGHT, NONE));
    // Without an origin the first one in square order is taken (f3 is square 18, b1 square 6).
    EXPECT_EQ(Parse(knights, "Nd2"), Word("b1", "d2", KIND_NORMAL, 0, KNIGHT, NONE));
    // An origin that matches no knight able to go there.
    for (const char* bad : {"Ncd2", "N2d2", "Nb3d2", "Nf1d2", "Nbf3d2", "N1bd2", "Nxbd2"})
        EXPECT_EQ(Parse(knights, bad), 0u) << bad;

    const Position rankPick = FromFen("4k3/8/8/8/8/3N4/8/3NK3 w - - 0 1");
    EXPECT_EQ(Parse(rankPick, "N1f2"), Word("d1", "f2", KIND_NORMAL, 0, KNIGHT, NONE));
    EXPECT_EQ(Parse(rankPick, "N3f2"), Word("d3", "f2", KIND_NORMAL, 0, KNIGHT, NONE));

    // Queens on b4, h4 and h1 all reach e1.
    const Position queens = FromFen("2k5/8/8/8/1Q5Q/8/8/K6Q w - - 0 1");
    EXPECT_EQ(Parse(queens, "Qh4e1"), Word("h4", "e1", KIND_NORMAL, 0, QUEEN, NONE));
    EXPECT_EQ(Parse(queens, "Qhe1"), Word("h1", "e1", KIND_NORMAL, 0, QUEEN, NONE)) << "lowest on the h-file";
    EXPECT_EQ(Parse(queens, "Q4e1"), Word("h4", "e1", KIND_NORMAL, 0, QUEEN, NONE))
        << "lowest on the 4th rank";
    EXPECT_EQ(Parse(queens, "Qb4e1"), Word("b4", "e1", KIND_NORMAL, 0, QUEEN, NONE));
    EXPECT_EQ(Parse(queens, "Qbe1"), Word("b4", "e1", KIND_NORMAL, 0, QUEEN, NONE));
}

TEST(ParseSan, PinnedCandidatesAreSkipped) {
    // Knights on f1 (pinned by the rook on a1 against the king on h1) and b3 both reach d2.
    const Position p = FromFen("4k3/8/8/8/8/1N6/8/r4N1K w - - 0 1");
    EXPECT_EQ(Parse(p, "Nd2"), Word("b3", "d2", KIND_NORMAL, 0, KNIGHT, NONE));
    EXPECT_EQ(Parse(p, "Nbd2"), Word("b3", "d2", KIND_NORMAL, 0, KNIGHT, NONE));
    EXPECT_EQ(Parse(p, "Nfd2"), 0u) << "the only knight named is pinned";
    EXPECT_EQ(Parse(p, "Ne3"), 0u) << "only the pinned knight reaches e3";

    // Knights on b1, b5 and d1 (pinned by the rook on c1) all reach c3: "N1c3" is b1, although
    // d1 is the lower square of the first rank.
    const Position rank = FromFen("4k3/8/8/1N6/8/8/8/1NrNK3 w - - 0 1");
    EXPECT_EQ(Parse(rank, "N1c3"), Word("b1", "c3", KIND_NORMAL, 0, KNIGHT, NONE));
    EXPECT_EQ(Parse(rank, "Nbc3"), Word("b1", "c3", KIND_NORMAL, 0, KNIGHT, NONE));
    EXPECT_EQ(Parse(rank, "N5c3"), Word("b5", "c3", KIND_NORMAL, 0, KNIGHT, NONE));
    EXPECT_EQ(Parse(rank, "Ndc3"), 0u);
    EXPECT_EQ(Parse(rank, "Nd1c3"), 0u);
}

TEST(ParseSan, NonMovesAreRefused) {
    const Position start = FromFen(kStart);
    for (const char* bad :
         {"1-0",  "0-1", "1/2-1/2", "*",   "--",  "Z0",   "",     "+",       "!!",     "#",
          "x",    "N",   "Nf",      "Nf9", "Ni3", "Nz3",  "K",    "P",       "Pe4",    "nf3",
          "xe4",  "ex",  "e",       "e9",  "i4",  "e4zz", "Nf3z", "a6{This", "Nf3Nf3", "g1f3",
          "e2e4", "Bc4", "Qh5",     "Ke2", "Ra3", "Nf3/", "N-f3", "Nbxxd2",  "Nf3 ",   " Nf3"})
        EXPECT_EQ(Parse(start, bad), 0u) << "'" << bad << "'";
    EXPECT_FALSE(ParseSan(&start, nullptr, nullptr));

    // The working buffer holds 12 characters once numbers and marks are gone; longer is refused,
    // however many marks there are.
    EXPECT_NE(Parse(start, "123456789.Nf3!!!!!!!!!!!!!!!!!!!!"), 0u);
    EXPECT_EQ(Parse(start, "Nf3+++++++++++"), 0u);
    EXPECT_EQ(Parse(start, "Ng1f3xxxxxxxxxxxxxxxxxxxxxxxxxx"), 0u);
    std::string huge(100000, 'N');
    EXPECT_EQ(Parse(start, huge.c_str()), 0u);
}

// Every legal move of positions from random games, written by the engine's SAN writer, reads
// back as the same word, unless the writer's file-only origin leaves two pieces possible.
TEST(ParseSan, ReadsBackTheSanWriter) {
    EnsureTables();
    std::mt19937 rng(7);
    long nChecked = 0, nAmbiguous = 0;
    for (int game = 0; game < 60; game++) {
        Position p = FromFen(kStart);
        for (int ply = 0; ply < 160; ply++) {
            const std::vector<Move> legal = LegalOnly(p, AllMoves(p));
            if (legal.empty()) break;
            // The check sign tells nothing to the reader, so two texts that differ only there
            // are the same text.
            std::vector<std::string> texts, bare;
            for (Move m : legal) {
                texts.push_back(MoveToSan(&p, m));
                bare.push_back(texts.back().substr(0, texts.back().find('+')));
            }
            for (size_t i = 0; i < legal.size(); i++) {
                const Move m = legal[i];
                const std::string& text = texts[i];
                const long nSameText = std::count(bare.begin(), bare.end(), bare[i]);
                Move got = 0;
                ASSERT_TRUE(ParseSan(&p, text.c_str(), &got)) << text << " in " << FenOf(p);
                if (nSameText == 1) {
                    EXPECT_EQ(got, m) << text << " in " << FenOf(p);
                    nChecked++;
                } else {
                    EXPECT_EQ(MoveTo(got), MoveTo(m));
                    EXPECT_EQ(MovePiece(got), MovePiece(m));
                    nAmbiguous++;
                }
            }
            Position next;
            MakeMove(legal[rng() % legal.size()], &p, &next, 0, -1);
            p = next;
        }
    }
    EXPECT_GT(nChecked, 50000);
    (void)nAmbiguous;
}

}  // namespace

namespace {

// Random texts made of SAN's own characters, on positions along random games: whatever is
// accepted must be a legal move of the position (Parse checks it), nothing may crash.
TEST(ParseSan, RandomTextsAreRefusedOrLegal) {
    std::mt19937 rng(20261208);
    const std::string alphabet = "abcdefgh12345678KQRBNOo-x=+#!?/ 0";
    Position p = FromFen(kStart);
    int nAccepted = 0;
    for (int game = 0; game < 40; ++game) {
        p = FromFen(kStart);
        for (int ply = 0; ply < 60; ++ply) {
            for (int t = 0; t < 50; ++t) {
                std::string text(1 + rng() % 9, ' ');
                for (char& c : text) c = alphabet[rng() % alphabet.size()];
                nAccepted += Parse(p, text.c_str()) != 0;
            }
            Move m[kMaxMoves];
            int n = GenerateCaptures(&p, m);
            n += GenerateQuiets(&p, m + n, kMaxMoves - n);
            std::vector<Move> legal;
            for (int i = 0; i < n; ++i)
                if (IsLegalMove(&p, m[i])) legal.push_back(m[i]);
            if (legal.empty()) break;
            Position next;
            MakeMove(legal[rng() % legal.size()], &p, &next, 0, -1);
            p = next;
        }
    }
    EXPECT_GT(nAccepted, 0);  // the alphabet does reach real moves
}

}  // namespace
