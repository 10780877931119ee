#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "board_test_util.h"
#include "core/settings.h"
#include "eval/eval.h"

namespace {

const char* kStartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

TEST(Fen, StartPositionRoundTrip) {
    EnsureTables();
    Position start, parsed;
    SetStartPosition(&start);
    GameState g{7, 99, {}};
    ASSERT_TRUE(ParseFenQuiet(&parsed, &g, kStartFen));
    EXPECT_EQ(g.nFullMove, 1);
    EXPECT_EQ(g.nGamePly, 0);
    ExpectSamePosition(start, parsed, "start");
    EXPECT_EQ(start.nCastling, parsed.nCastling);
    game.nFullMove = 1;
    EXPECT_EQ(FenOf(parsed), kStartFen);
}

TEST(Fen, Fields) {
    EnsureTables();
    GameState g{5, 8, {}};
    Position p;
    // Only board and side: counters unchanged, no rights, no en passant.
    ASSERT_TRUE(ParseFenQuiet(&p, &g, "4k3/8/8/8/8/8/8/4K3 b"));
    EXPECT_EQ(g.nFullMove, 5);
    EXPECT_EQ(g.nGamePly, 8);
    EXPECT_EQ(p.nEpSquare, -1);
    EXPECT_EQ(p.nCastling, 0);
    EXPECT_EQ(p.bSideToMove, BLACK);

    const char* board = "r3k2r/8/8/8/8/8/8/R3K2R w ";
    auto rights = [&](const char* field) {
        Position q;
        GameState gg{1, 0, {}};
        EXPECT_TRUE(ParseFenQuiet(&q, &gg, (std::string(board) + field + " - 0 1").c_str()));
        return int(q.nCastling);
    };
    EXPECT_EQ(rights("-"), 0);
    EXPECT_EQ(rights("KQkq"), 15);
    EXPECT_EQ(rights("Kq"), 0x09);
    EXPECT_EQ(rights("QK"), 0x02);  // only the fixed order is recognised

    // Rights without their king or rook are dropped.
    ASSERT_TRUE(ParseFenQuiet(&p, &g, "4k3/8/8/8/8/8/8/4K2R w KQkq - 0 1"));
    EXPECT_EQ(p.nCastling, CASTLE_WK);

    ASSERT_TRUE(ParseFenQuiet(&p, &g, "4k3/8/8/8/4P3/8/8/4K3 b - e3 12 123"));
    EXPECT_EQ(p.nEpSquare, 19);
    EXPECT_EQ(p.nFifty, 12);
    EXPECT_EQ(g.nFullMove, 123);
    EXPECT_EQ(g.nGamePly, 245);
    ASSERT_TRUE(ParseFenQuiet(&p, &g, "4k3/8/8/3p4/8/8/8/4K3 w - d6 0 10"));
    EXPECT_EQ(p.nEpSquare, 44);
    ASSERT_TRUE(ParseFenQuiet(&p, &g, "4k3/8/8/8/8/8/8/4K3 b - - 0 10"));
    EXPECT_EQ(g.nGamePly, 19);
    // An en-passant square no double step can have produced is dropped.
    ASSERT_TRUE(ParseFenQuiet(&p, &g, "4k3/8/8/8/8/8/8/4K3 w - e6 0 1"));
    EXPECT_EQ(p.nEpSquare, -1);
    // Four fields: clock 0, move 1. Clock clamped, moves clamped.
    ASSERT_TRUE(ParseFenQuiet(&p, &g, "4k3/8/8/8/8/8/8/4K3 w -  -"));
    EXPECT_EQ(p.nFifty, 0);
    EXPECT_EQ(g.nFullMove, 1);
    ASSERT_TRUE(ParseFenQuiet(&p, &g, "4k3/8/8/8/8/8/8/4K3 w - - 999 99999"));
    EXPECT_EQ(p.nFifty, 255);
    EXPECT_EQ(g.nFullMove, 9999);
    // A trailing move list is not part of the FEN.
    ASSERT_TRUE(ParseFenQuiet(&p, &g, "4k3/8/8/8/8/8/8/4K3 w - - moves e1e2"));
    EXPECT_EQ(g.nFullMove, 1);
}

TEST(Fen, RejectsImpossibleBoards) {
    EnsureTables();
    const char* bad[] = {
        "",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1",             // seven ranks
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/8 w KQkq - 0 1",  // nine ranks
        "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",    // nine digits skip... but 8 short
        "rnbqkbnrr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",   // nine squares
        "rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQ - 0 1",      // no black king
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKKNR w KQkq - 0 1",    // two white kings
        "4k3/8/8/8/8/8/8/P3K3 w - - 0 1",                              // pawn on rank 1
        "4k2p/8/8/8/8/8/8/4K3 w - - 0 1",                              // pawn on rank 8
        "4k3/pppppppp/p7/8/8/8/8/4K3 w - - 0 1",                       // nine pawns
        "4k3/8/8/8/8/8/8/4K2R w - - 0 1 extra",                        // fine: extra words ignored
        "4k3/8/8/8/8/8/8/4R2K w - - 0 1",                              // side not to move in check
        "4k3",
    };
    for (const char* fen : bad) {
        Position p;
        SetStartPosition(&p);
        GameState g{3, 4, {}};
        bool ok = ParseFenQuiet(&p, &g, fen);
        if (std::string(fen).find("extra") != std::string::npos) {
            EXPECT_TRUE(ok) << fen;
            continue;
        }
        EXPECT_FALSE(ok) << fen;
        EXPECT_EQ(g.nFullMove, 3) << fen;  // untouched
        EXPECT_EQ(p.nCastling, 15) << fen;
    }
}

TEST(Fen, MessageOnInvalidText) {
    EnsureTables();
    Position p;
    SetStartPosition(&p);
    GameState g{1, 0, {}};
    bool saved = bUciMode;
    testing::internal::CaptureStdout();
    bUciMode = false;
    EXPECT_FALSE(ParseFen(&p, &g, "8/8/8 w"));
    bUciMode = true;
    EXPECT_FALSE(ParseFen(&p, &g, "xyz"));
    bUciMode = saved;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Invalid FEN: 8/8/8 w\ninfo string Invalid FEN: xyz\n");
}

TEST(Fen, MangledTextNeverBreaksTheRecord) {
    EnsureTables();
    std::mt19937 rng(7);
    const std::string base = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
    const std::string alphabet = "pnbrqkPNBRQK12345678/ -wb09KQkqa-h\t";
    for (int i = 0; i < 5000; i++) {
        std::string s = base;
        switch (i % 4) {
            case 0:
                s.resize(rng() % s.size());
                break;
            case 1:
                for (int k = 0; k < 4; k++) s[rng() % s.size()] = alphabet[rng() % alphabet.size()];
                break;
            case 2:
                s.clear();
                for (int k = rng() % 300; k > 0; k--) s += char(rng() % 255 + 1);
                break;
            default:
                s += std::string(rng() % 2000, alphabet[rng() % alphabet.size()]);
                break;
        }
        Position p;
        GameState g{1, 0, {}};
        if (!ParseFenQuiet(&p, &g, s.c_str())) continue;
        // Whatever was accepted must be a consistent position.
        Position q = p;
        ComputeBitboards(&q);
        ComputeHashKey(&q);
        ExpectSamePosition(p, q, s);
        EXPECT_EQ(PopCount(p.bbPieces[0][BB_KING]), 1);
        EXPECT_EQ(PopCount(p.bbPieces[1][BB_KING]), 1);
    }
}

TEST(Fen, LoadFenFile) {
    EnsureTables();
    const char* path = "qm_test_load.fen";
    {
        std::ofstream f(path);
        f << "4k3/8/8/8/8/8/8/4K2R w K - 0 33\nsecond line\n";
    }
    Position p;
    GameState g{1, 0, {}};
    EXPECT_TRUE(LoadFenFile(&p, &g, path));
    EXPECT_EQ(g.nFullMove, 33);
    EXPECT_EQ(p.nCastling, CASTLE_WK);
    std::remove(path);
    testing::internal::CaptureStdout();
    Position before = p;
    EXPECT_FALSE(LoadFenFile(&p, &g, "no_such_file.fen"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot open FEN file no_such_file.fen\n");
    ExpectSamePosition(before, p, "kept");
}

TEST(Fen, MirrorTwiceIsIdentity) {
    Position p = FromFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K1R1 b Qkq - 0 1");
    Position m = p;
    MirrorPosition(&m);
    EXPECT_EQ(m.bSideToMove, WHITE);
    EXPECT_EQ(m.nCastling, CASTLE_WK | CASTLE_WQ | CASTLE_BQ);
    EXPECT_EQ(m.aBoard[Sq("e1")], PieceCode(WHITE, KING));
    MirrorPosition(&m);
    ExpectSamePosition(p, m, "mirror twice");

    Position start, black = FromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1");
    SetStartPosition(&start);
    MirrorPosition(&start);
    ExpectSamePosition(start, black, "mirrored start");

    Position ep = FromFen("4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1");
    MirrorPosition(&ep);
    EXPECT_EQ(ep.nEpSquare, Sq("e6"));
}

const char* kStartDumpHead =
    "--Start Board-----------------------------------------------------------\n"
    "bR =  0x8100000000000000 wR =  0x0000000000000081 Castling = \t0xF\n"
    "bB =  0x2400000000000000 wB =  0x0000000000000024 EPSquare = \t-1\n"
    "bN =  0x4200000000000000 wN =  0x0000000000000042 White Mat = \t4075\n"
    "bQ =  0x1000000000000000 wQ =  0x0000000000000010 Black Mat = \t4075\n"
    "bK =  0x0800000000000000 wK =  0x0000000000000008 50 Moves = \t0\n"
    "bP =  0x00FF000000000000 wP =  0x000000000000FF00 Side To Move = W\n";
const char* kStartDumpTail =
    "bBQ = 0x3400000000000000 wBQ = 0x0000000000000034 Full Move = \t1\n"
    "bA =  0xFFFF000000000000 wA =  0x000000000000FFFF Half Move = \t0\n"
    "45L = 0xC3870F1E3C78F0E1 hv =  0xFB3D0ADDE43FBF72\n"
    "45R = 0xE1F0783C1E0F87C3 ph =  0x071CB7BD4C554E0D\n"
    "90 =  0xC3C3C3C3C3C3C3C3 rh =  0xFB3D0ADDE43FBF72\n"
    "FEN = rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\n";

TEST(Print, ConsoleDumpOfStartPosition) {
    EnsureTables();
    Position p;
    SetStartPosition(&p);
    game.nFullMove = 1;
    game.nGamePly = 0;
    testing::internal::CaptureStdout();
    PrintBoard(&p, stdout);
    std::string out = testing::internal::GetCapturedStdout();
    std::string expected = std::string(kStartDumpHead) +
                           "bRQ = 0x9100000000000000 wRQ = 0x0000000000000091 Eval = \t0\n" + kStartDumpTail +
                           "   a b c d e f g h\n"
                           "8  r n b q k b n r 8  63 62 61 60 59 58 57 56    a8 b8 c8 d8 e8 f8 g8 h8\n"
                           "7  p p p p p p p p 7  55 54 53 52 51 50 49 48    a7 b7 c7 d7 e7 f7 g7 h7\n"
                           "6                  6  47 46 45 44 43 42 41 40    a6 b6 c6 d6 e6 f6 g6 h6\n"
                           "5                  5  39 38 37 36 35 34 33 32    a5 b5 c5 d5 e5 f5 g5 h5\n"
                           "4                  4  31 30 29 28 27 26 25 24    a4 b4 c4 d4 e4 f4 g4 h4\n"
                           "3                  3  23 22 21 20 19 18 17 16    a3 b3 c3 d3 e3 f3 g3 h3\n"
                           "2  P P P P P P P P 2  15 14 13 12 11 10 09 08    a2 b2 c2 d2 e2 f2 g2 h2\n"
                           "1  R N B Q K B N R 1  07 06 05 04 03 02 01 00    a1 b1 c1 d1 e1 f1 g1 h1\n"
                           "   a b c d e f g h\n"
                           "--End Board-------------------------------------------------------------\n";
    EXPECT_EQ(out, expected);
}

TEST(Print, LogFormDump) {
    EnsureTables();
    Position p;
    SetStartPosition(&p);
    game.nFullMove = 1;
    game.nGamePly = 0;
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    DumpBoard(&p, f);
    rewind(f);
    std::string out;
    char buf[512];
    while (fgets(buf, sizeof buf, f)) out += buf;
    fclose(f);
    std::string expected = std::string(kStartDumpHead) +
                           "bRQ = 0x9100000000000000 wRQ = 0x0000000000000091\n" + kStartDumpTail +
                           "   a b c d e f g h\n"
                           "   ---------------\n"
                           "8| r n b q k b n r |8  63 62 61 60 59 58 57 56    a8 b8 c8 d8 e8 f8 g8 h8\n"
                           "7| p p p p p p p p |7  55 54 53 52 51 50 49 48    a7 b7 c7 d7 e7 f7 g7 h7\n"
                           "6|                 |6  47 46 45 44 43 42 41 40    a6 b6 c6 d6 e6 f6 g6 h6\n"
                           "5|                 |5  39 38 37 36 35 34 33 32    a5 b5 c5 d5 e5 f5 g5 h5\n"
                           "4|                 |4  31 30 29 28 27 26 25 24    a4 b4 c4 d4 e4 f4 g4 h4\n"
                           "3|                 |3  23 22 21 20 19 18 17 16    a3 b3 c3 d3 e3 f3 g3 h3\n"
                           "2| P P P P P P P P |2  15 14 13 12 11 10 09 08    a2 b2 c2 d2 e2 f2 g2 h2\n"
                           "1| R N B Q K B N R |1  07 06 05 04 03 02 01 00    a1 b1 c1 d1 e1 f1 g1 h1\n"
                           "   ---------------\n"
                           "   a b c d e f g h\n"
                           "--End Board-----------------------------------------------------------\n";
    EXPECT_EQ(out, expected);
}

}  // namespace
