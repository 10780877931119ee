// Judges of king and pawn (and king, bishop and pawn) against a bare king.
#include "eval/endgame.h"

#include <gtest/gtest.h>

#include <string>

#include "board/board_test_util.h"
#include "eval/material.h"

namespace {

struct Scales {
    int nWhite, nBlack;
};

// Probes the material entry and runs the judge its class names.
Scales Judge(const Position& pos) {
    MaterialEntry e{};
    ProbeMaterial(&pos, &e);
    if (e.nClass == MAT_KPK || e.nClass == MAT_KKP) {
        JudgeKPK(&pos, &e);
    } else if (e.nClass == MAT_KBPK || e.nClass == MAT_KKBP) {
        JudgeKBPK(&pos, &e);
    } else {
        ADD_FAILURE() << "class " << int(e.nClass);
    }
    return {e.nScale[WHITE], e.nScale[BLACK]};
}

// Checks the white position and its colour mirror (black pawn, flipped board, other side to
// move), which must get the same verdict for black.
void ExpectVerdict(const std::string& fen, int nExpected) {
    Position pos = FromFen(fen);
    const Scales white = Judge(pos);
    EXPECT_EQ(white.nWhite, nExpected) << fen;
    EXPECT_EQ(white.nBlack, 0) << fen;
    MirrorPosition(&pos);
    const Scales black = Judge(pos);
    EXPECT_EQ(black.nBlack, nExpected) << "mirrored " << fen;
    EXPECT_EQ(black.nWhite, 0) << "mirrored " << fen;
}

TEST(JudgeKPK, RookPawnWithTheDefenderInTheCorner) {
    ExpectVerdict("k7/8/8/8/8/8/P7/1K6 w - - 0 1", 0);
    ExpectVerdict("k7/8/8/8/8/8/P7/1K6 b - - 0 1", 0);
}

TEST(JudgeKPK, NoRuleFiresForACentralPawn) {
    // n = 5, dW = 3: neither unstoppable nor blocked.
    ExpectVerdict("7k/8/8/8/8/8/4P3/4K3 w - - 0 1", 16);
}

TEST(JudgeKPK, UnstoppableRookPawn) {
    // n = 4 < dW = 7; the own king is not in front of the pawn.
    ExpectVerdict("7k/8/8/8/P7/8/8/7K w - - 0 1", 16);
    ExpectVerdict("5k2/8/1K6/P7/8/8/8/8 w - - 0 1", 16);
}

TEST(JudgeKPK, DefenderDirectlyInFront) {
    ExpectVerdict("8/8/8/4k3/4P3/4K3/8/8 w - - 0 1", 0);
    // Pawn on the seventh, attacking king diagonally behind it: drawn with the attacker to move
    // (stalemate looms), kept with the defender to move.
    ExpectVerdict("4k3/4P3/3K4/8/8/8/8/8 w - - 0 1", 0);
    ExpectVerdict("4k3/4P3/3K4/8/8/8/8/8 b - - 0 1", 16);
}

TEST(JudgeKPK, DefenderTwoSquaresInFront) {
    ExpectVerdict("8/4k3/8/4P3/8/8/8/4K3 w - - 0 1", 0);
    // Pawn on the sixth: only the attacker to move with his king beside the pawn keeps it.
    ExpectVerdict("4k3/8/3KP3/8/8/8/8/8 w - - 0 1", 16);
    ExpectVerdict("4k3/8/3KP3/8/8/8/8/8 b - - 0 1", 0);
}

TEST(JudgeKPK, KingBesideThePawnFacingTheOpposition) {
    ExpectVerdict("8/8/3k4/8/3KP3/8/8/8 w - - 0 1", 0);
    ExpectVerdict("8/8/3k4/8/3KP3/8/8/8 b - - 0 1", 16);
}

TEST(JudgeKPK, RookPawnRules) {
    // Both kings on the c-file, the defender higher: drawn.
    ExpectVerdict("8/8/8/2k5/P7/2K5/8/8 w - - 0 1", 0);
    // Own king in front on the a-file, the defender two files away on the seventh: drawn.
    ExpectVerdict("8/2k5/K7/P7/8/8/8/8 w - - 0 1", 0);
}

TEST(JudgeKBPK, WrongBishopOnlyMattersForARookPawn) {
    // h8 is dark: the dark-squared c1 bishop covers it.
    ExpectVerdict("7k/8/8/8/7P/8/8/K1B5 w - - 0 1", 16);
    // The light-squared d1 bishop does not: drawn while the king holds h8.
    ExpectVerdict("7k/8/8/8/7P/8/8/K2B4 w - - 0 1", 0);
    // The defending king too far from the corner.
    ExpectVerdict("8/8/8/3k4/7P/8/8/K2B4 w - - 0 1", 16);
    // Not a rook pawn.
    ExpectVerdict("4k3/8/8/8/4P3/8/8/K2B4 w - - 0 1", 16);
}

TEST(EndgameJudges, SquareColourConvention) {
    EXPECT_EQ(SquareColour(Sq("h1")), 0);
    EXPECT_EQ(SquareColour(Sq("a1")), 1);
    EXPECT_EQ(SquareColour(Sq("h8")), 1);
    EXPECT_EQ(SquareColour(Sq("c1")), 1);
    EXPECT_EQ(SquareColour(Sq("d1")), 0);
}

}  // namespace
