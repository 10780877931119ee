// The command interpreter in-process: tokeniser, move reading, "position", "go" parameters,
// time allocation and options.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "console/console.h"
#include "console/options.h"
#include "eval/weights.h"
#include "movegen/movegen.h"
#include "search/statslog.h"
#include "search/threads.h"
#include "support/engine_setup.h"

namespace {

class Console : public testing::Test {
protected:
    void SetUp() override {
        EnsureEngineReady();
        InitDefaults();
        RunCommand("new");
        // The first design's clock, which these tests spell out.
        bClassicStyle = true;
    }
    void TearDown() override {
        bClassicStyle = false;
        bPondering = false;
        nHashMB = 64;
        if (nNumThreads != 1) SetNumThreads(1);
    }
};

std::string CurrentFen() {
    return FenOf(*pCurrent);
}

// ---------------------------------------------------------------------------------------
// Tokeniser and numbers.

TEST(Tokeniser, BlanksAndTabsSeparateWordsAndTheWordAfterTheLastIsEmpty) {
    WordList w;
    const char* line = "  go \t wtime\t\t1000  ";
    EXPECT_EQ(SplitWords(line, &w), 3);
    EXPECT_EQ(CountWords(line), 3);
    EXPECT_STREQ(w.Word(0), "go");
    EXPECT_STREQ(w.Word(1), "wtime");
    EXPECT_STREQ(w.Word(2), "1000");
    EXPECT_STREQ(w.Word(3), "");
    EXPECT_STREQ(w.Word(500), "");
}

TEST(Tokeniser, EmptyLinesAndLineEnds) {
    WordList w;
    EXPECT_EQ(SplitWords("", &w), 0);
    EXPECT_STREQ(w.Word(0), "");
    EXPECT_EQ(SplitWords(" \t  ", &w), 0);
    EXPECT_EQ(CountWords(" \t  "), 0);
    EXPECT_EQ(SplitWords("a b\nc d", &w), 2);
    EXPECT_EQ(CountWords("\nuci"), 0);
}

TEST(Tokeniser, WordsOfAnyLengthAndAnyNumber) {
    WordList w;
    const std::string longWord(5000, 'k');
    std::string line = "setoption name " + longWord;
    for (int i = 0; i < 2000; ++i) line += " m" + std::to_string(i);
    ASSERT_EQ(SplitWords(line.c_str(), &w), 2003);
    EXPECT_EQ(std::string(w.Word(2)), longWord);
    EXPECT_STREQ(w.Word(2002), "m1999");
    EXPECT_STREQ(w.Word(2003), "");
    // A shorter line in the same list leaves nothing of the longer one visible.
    EXPECT_EQ(SplitWords("uci", &w), 1);
    EXPECT_STREQ(w.Word(1), "");
    EXPECT_STREQ(w.Word(2), "");
}

TEST(Numbers, ReadLikeDecimalConversionButClamped) {
    EXPECT_EQ(ReadNumber("1000"), 1000);
    EXPECT_EQ(ReadNumber("  42abc"), 42);
    EXPECT_EQ(ReadNumber("-17"), -17);
    EXPECT_EQ(ReadNumber(""), 0);
    EXPECT_EQ(ReadNumber("x12"), 0);
    EXPECT_EQ(ReadNumber("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(ReadNumber("-99999999999999999999999"), INT_MIN);
    EXPECT_EQ(ReadNumber("4294967296"), INT_MAX);
    EXPECT_EQ(ReadNumber64("5000000000"), int64_t(5000000000));
    EXPECT_EQ(ReadNumber64("99999999999999999999999"), INT64_MAX);
}

// ---------------------------------------------------------------------------------------
// Reading coordinate moves.

TEST_F(Console, CoordinateMovesAreReadAgainstTheCurrentPosition) {
    char word[] = "e2e4";
    Move m;
    ASSERT_TRUE(ParseCoordMove(word, &m));
    EXPECT_STREQ(word, "E2E4");  // upper-cased in place
    EXPECT_EQ(m, BuildMove(MakeSquare(4, 1), MakeSquare(4, 3), KIND_NORMAL, 0, PAWN, NONE));

    char knight[] = "G1f3";
    ASSERT_TRUE(ParseCoordMove(knight, &m));
    EXPECT_EQ(MovePiece(m), KNIGHT);

    // Shape only: the king's castling step is read as castling even when it is not legal.
    char castle[] = "e1g1";
    ASSERT_TRUE(ParseCoordMove(castle, &m));
    EXPECT_EQ(MoveKind(m), KIND_CASTLE);
    EXPECT_FALSE(IsGeneratedMove(pCurrent, m));

    char capture[] = "d1d7";
    ASSERT_TRUE(ParseCoordMove(capture, &m));
    EXPECT_EQ(MoveCaptured(m), PAWN);

    for (const char* text : {"", "e2", "e2e", "e9e4", "i2e4", "e2i4", "moves", "0000", "xyz"}) {
        std::string copy = text;
        EXPECT_FALSE(ParseCoordMove(copy.data(), &m)) << text;
        EXPECT_EQ(m, 0u);
    }
}

TEST_F(Console, PromotionLettersAndEnPassant) {
    RunCommand("position fen 3r4/4P3/8/8/8/k7/8/K7 w - - 0 1");
    Move m;
    const struct {
        const char* szText;
        int nKind, nPromo;
    } cases[] = {{"e7e8q", KIND_PROMO, QUEEN},  {"e7e8r", KIND_PROMO, ROOK}, {"e7d8b", KIND_PROMO, BISHOP},
                 {"e7e8n", KIND_PROMO, KNIGHT}, {"e7e8x", KIND_NORMAL, 0},   {"e7e8", KIND_NORMAL, 0}};
    for (const auto& c : cases) {
        std::string word = c.szText;
        ASSERT_TRUE(ParseCoordMove(word.data(), &m)) << c.szText;
        EXPECT_EQ(MoveKind(m), c.nKind) << c.szText;
        EXPECT_EQ(MovePromo(m), c.nPromo) << c.szText;
    }
    std::string capture = "e7d8q";
    ASSERT_TRUE(ParseCoordMove(capture.data(), &m));
    EXPECT_EQ(MoveCaptured(m), ROOK);
    EXPECT_TRUE(IsGeneratedMove(pCurrent, m));

    RunCommand("position fen rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3");
    std::string ep = "e5f6";
    ASSERT_TRUE(ParseCoordMove(ep.data(), &m));
    EXPECT_EQ(MoveKind(m), KIND_EP);
    EXPECT_EQ(MoveCaptured(m), PAWN);
    EXPECT_TRUE(IsGeneratedMove(pCurrent, m));
    std::string stale = "e5d6";  // shaped like en passant, but d5 was not the last double step
    ASSERT_TRUE(ParseCoordMove(stale.data(), &m));
    EXPECT_FALSE(IsGeneratedMove(pCurrent, m));
    std::string push = "e5e6";
    ASSERT_TRUE(ParseCoordMove(push.data(), &m));
    EXPECT_EQ(MoveKind(m), KIND_NORMAL);
}

// ---------------------------------------------------------------------------------------
// "position" and game moves.

TEST_F(Console, PositionMovesFillTheGameHistory) {
    RunCommand("position startpos moves e2e4 e7e5");
    EXPECT_EQ(game.nFullMove, 2);
    EXPECT_EQ(game.nGamePly, 2);
    Position start;
    SetStartPosition(&start);
    EXPECT_EQ(game.aGameHistory[0], RepetitionKey(start));
    EXPECT_EQ(game.aGameHistory[2], RepetitionKey(*pCurrent));
    EXPECT_NE(game.aGameHistory[1], 0u);
    EXPECT_NE(game.aGameHistory[1], game.aGameHistory[0]);
    EXPECT_NE(game.aGameHistory[1], game.aGameHistory[2]);

    // Console moves are recorded the same way.
    RunCommand("g1f3");
    EXPECT_EQ(game.nGamePly, 3);
    EXPECT_EQ(game.aGameHistory[3], RepetitionKey(*pCurrent));
}

TEST_F(Console, SettingUpAPositionMarksTheRootOfTheHistory) {
    aThreadMarkers[0].nLastIrreversible = 77;
    RunCommand("position fen 4k3/8/8/8/8/8/8/4K2R b K - 3 10");
    EXPECT_EQ(game.nGamePly, 19);
    EXPECT_EQ(aThreadMarkers[0].nLastIrreversible, 19);
    EXPECT_EQ(game.aGameHistory[19], RepetitionKey(*pCurrent));

    aThreadMarkers[0].nLastIrreversible = 77;
    RunCommand("position startpos");
    EXPECT_EQ(aThreadMarkers[0].nLastIrreversible, 0);

    // A full-move number of 0 must not put the root before the start of the history.
    RunCommand("position fen 4k3/8/8/8/8/8/8/4K2R w K - 0 0");
    EXPECT_GE(game.nGamePly, 0);
    EXPECT_EQ(game.aGameHistory[game.nGamePly], RepetitionKey(*pCurrent));
}

TEST_F(Console, FenWordsEndAtMovesAndAtSixFields) {
    RunCommand("position fen 4k3/8/8/8/8/8/8/4K2R w K - 0 1 these words are ignored moves h1h8");
    EXPECT_EQ(CurrentFen(), "4k2R/8/8/8/8/8/8/4K3 b - - 1 1");
    // A FEN of fewer fields is fine as far as it goes.
    RunCommand("position fen 4k3/8/8/8/8/8/8/4K2R b");
    EXPECT_EQ(pCurrent->bSideToMove, BLACK);
}

TEST_F(Console, InvalidOrMissingFenKeepsThePosition) {
    RunCommand("position startpos moves e2e4");
    const std::string before = CurrentFen();
    const int nPly = game.nGamePly;
    std::string out = RunCommand("position fen rnbqkbnr/pppppppp/8/8 w KQkq moves d7d5");
    EXPECT_EQ(out.compare(0, 13, "Invalid FEN: "), 0) << out;
    EXPECT_EQ(CurrentFen(), before);  // and its moves are not tried on the old position
    EXPECT_EQ(game.nGamePly, nPly);

    RunCommand("position fen moves d7d5");  // no FEN: the moves go on from the current position
    EXPECT_EQ(CurrentFen(), "rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2");
}

TEST_F(Console, GameMovesStopAtTheEndOfTheHistory) {
    RunCommand("position startpos");
    game.nGamePly = kMaxGamePly - 1;
    RunCommand("g1f3");
    EXPECT_EQ(game.nGamePly, kMaxGamePly);
    EXPECT_EQ(game.aGameHistory[kMaxGamePly], RepetitionKey(*pCurrent));
    const std::string before = CurrentFen();
    std::string out = RunCommand("g8f6");
    EXPECT_EQ(out, "Game too long: moves beyond ply 8000 are refused\n");
    EXPECT_EQ(game.nGamePly, kMaxGamePly);
    EXPECT_EQ(CurrentFen(), before);
}

TEST_F(Console, NewGameResetsTheGameState) {
    RunCommand("position startpos moves e2e4 e7e5");
    nEngineSide = 0;
    anKiller1[3] = 1234;
    anHistory[1][2][3] = 99;
    bStopSearch = true;
    RunCommand("ucinewgame");
    EXPECT_EQ(game.nGamePly, 0);
    EXPECT_EQ(game.nFullMove, 1);
    EXPECT_EQ(nEngineSide, -1);
    EXPECT_EQ(anKiller1[3], 0u);
    EXPECT_EQ(anHistory[1][2][3], 0);
    EXPECT_FALSE(bStopSearch);
    EXPECT_EQ(CurrentFen(), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(std::string(szStatsFileName).compare(0, 8, "QM_1.04_"), 0);
}

TEST_F(Console, LoadAndLoadFen) {
    nEngineSide = 1;
    RunCommand("loadfen 8/8/8/8/8/k7/8/K6R b - - 4 30");
    EXPECT_EQ(CurrentFen(), "8/8/8/8/8/k7/8/K6R b - - 4 30");
    EXPECT_EQ(nEngineSide, -1);
    EXPECT_EQ(game.aGameHistory[game.nGamePly], RepetitionKey(*pCurrent));

    const std::filesystem::path path = std::filesystem::temp_directory_path() / "qm_console_load.fen";
    {
        std::ofstream out(path);
        out << "4k3/8/8/8/8/8/8/R3K3 w Q - 0 1\n";
    }
    nEngineSide = 0;
    RunCommand("load " + path.string());
    EXPECT_EQ(CurrentFen(), "4k3/8/8/8/8/8/8/R3K3 w Q - 0 1");
    EXPECT_EQ(nEngineSide, -1);
    std::filesystem::remove(path);
}

TEST_F(Console, SeedKeepsThePositionKeys) {
    Position a, b;
    RunCommand("seed 1");
    SetStartPosition(&a);
    RunCommand("seed 987654");
    SetStartPosition(&b);
    EXPECT_EQ(nSeed, 987654);
    EXPECT_EQ(a.nHashKey, b.nHashKey);
    EXPECT_EQ(a.nPawnKey, b.nPawnKey);
}

// ---------------------------------------------------------------------------------------
// "go" parameters and time allocation.

void Go(const char* line) {
    WordList w;
    SplitWords(line, &w);
    ParseGoParameters(&w);
}

TEST_F(Console, ClockWithIncrementGivesTwoPointOneSeconds) {
    Go("go wtime 60000 btime 60000 winc 1000 binc 1000 movestogo 40");
    EXPECT_FALSE(bFixedTime);
    EXPECT_EQ(nIncrement[0], 1);
    EXPECT_EQ(nMovesToGo[1], 40);
    EXPECT_NEAR(dMoveTime[0], 2.1, 1e-9);
    EXPECT_NEAR(dMoveTime[1], 2.1, 1e-9);
    EXPECT_FALSE(bLowTime[0]);
    EXPECT_FALSE(bLowTime[1]);
    EXPECT_EQ(nEngineSide, WHITE);
}

TEST_F(Console, SubSecondIncrementCounts) {
    Go("go wtime 10000 btime 10000 winc 100 binc 100");
    EXPECT_EQ(nIncrement[0], 0);
    EXPECT_NEAR(dMoveTime[0], 10 * 0.8 / 40 + 0.09, 1e-9);
}

TEST_F(Console, ShortClockSetsTheLowTimeFlag) {
    Go("go wtime 1000 movestogo 40");
    EXPECT_NEAR(dMoveTime[0], 0.02, 1e-12);
    EXPECT_TRUE(bLowTime[0]);
    // An increment that is not below the remaining time is not added.
    Go("go wtime 1000 winc 2000 movestogo 40");
    EXPECT_NEAR(dMoveTime[0], 0.02, 1e-12);
    // TimeBuffer is held back from the clock.
    nTimeBuffer = 10;
    Go("go wtime 60000 winc 1000 movestogo 40");
    EXPECT_NEAR(dMoveTime[0], 50 * 0.8 / 40 + 0.9, 1e-9);
    nTimeBuffer = 100;
    Go("go wtime 60000 movestogo 40");
    EXPECT_EQ(dMoveTime[0], 0.0);
}

TEST_F(Console, StrongClockTargetsAndHardLimits) {
    bClassicStyle = false;
    Go("go wtime 10000 btime 10000 winc 100 binc 100");
    EXPECT_EQ(nMovesToGo[0], 20);
    EXPECT_NEAR(dSoftTime[0], 10.0 / 22 + 0.08, 1e-9);
    EXPECT_NEAR(dMoveTime[0], 4 * (10.0 / 22 + 0.08), 1e-9);
    EXPECT_TRUE(bLowTime[0]);
    // Little left: 35% of the clock bounds the hard limit, the reserve bounds everything.
    Go("go wtime 1000 btime 1000 winc 0 binc 0 movestogo 1");
    EXPECT_NEAR(dSoftTime[0], 1.0 / 3, 1e-9);
    EXPECT_NEAR(dMoveTime[0], 0.35, 1e-9);
    Go("go wtime 40 btime 40");
    EXPECT_EQ(dMoveTime[0], 0.0);
    EXPECT_EQ(dSoftTime[0], 0.0);
    // Fixed time has one limit.
    Go("go movetime 700");
    EXPECT_EQ(dSoftTime[0], 0.7);
}

TEST_F(Console, MovesToGoDefaultsByMaterial) {
    Go("go wtime 60000 btime 60000");
    EXPECT_EQ(nMovesToGo[0], 40);
    EXPECT_NEAR(dMoveTime[0], 60 * 0.8 / 40, 1e-9);
    RunCommand("position fen 4k3/8/8/8/8/8/8/R3K3 w Q - 0 1");
    Go("go wtime 60000 btime 60000");
    EXPECT_EQ(nMovesToGo[0], 15);
    EXPECT_EQ(nMovesToGo[1], 15);
    EXPECT_NEAR(dMoveTime[1], 60 * 0.8 / 15, 1e-9);
    // Zero moves to go means nothing: the default applies.
    Go("go wtime 60000 btime 60000 movestogo 0");
    EXPECT_EQ(nMovesToGo[0], 15);
}

TEST_F(Console, FixedTimeDepthNodesAndInfinite) {
    Go("go movetime 2500");
    EXPECT_TRUE(bFixedTime);
    EXPECT_EQ(dMoveTime[0], 2.5);
    EXPECT_EQ(dMoveTime[1], 2.5);

    // A depth given to "go" holds for that search only; the lasting limit is "sd"'s.
    nMaxDepth = 150;
    Go("GO Depth 7");
    EXPECT_EQ(SearchDepthLimit(), 7);
    EXPECT_EQ(nMaxDepth, 150);
    EXPECT_EQ(dMoveTime[0], 999999999.0);

    WordList w;
    SplitWords("go infinite", &w);
    EXPECT_TRUE(ParseGoParameters(&w));
    EXPECT_EQ(SearchDepthLimit(), 128);
    Go("go movetime 100");
    EXPECT_EQ(SearchDepthLimit(), 150);
    EXPECT_TRUE(bLowTime[0]) << "recomputed for a fixed-time search";
    Go("go depth 5");
    EXPECT_FALSE(bLowTime[0]) << "a depth search has no clock";

    dMoveTime[0] = 3.0;
    bLowTime[0] = true;
    Go("go nodes 5000000000");
    EXPECT_FALSE(bLowTime[0]);
    EXPECT_EQ(nNodeLimit, int64_t(5000000000));
    EXPECT_FALSE(bFixedTime);
    EXPECT_EQ(dMoveTime[0], 3.0);  // a node limit leaves the time budget alone
    Go("go wtime 1000");
    EXPECT_EQ(nNodeLimit, 0);

    Go("go wtime 99999999999999");
    EXPECT_EQ(dClock[0], INT_MAX / 1000.0);
}

TEST_F(Console, PonderOnlyWhenTheOptionIsOn) {
    Go("go ponder wtime 1000");
    EXPECT_TRUE(bPondering);
    bPondering = false;
    bPonder = false;
    Go("go ponder wtime 1000");
    EXPECT_FALSE(bPondering);
}

TEST_F(Console, StAndSd) {
    RunCommand("go wtime 1000");
    RunCommand("st 3");
    EXPECT_TRUE(bFixedTime);
    EXPECT_EQ(dMoveTime[0], 3.0);
    EXPECT_EQ(dMoveTime[1], 3.0);
    RunCommand("sd 12");
    EXPECT_EQ(nMaxDepth, 12);
}

// ---------------------------------------------------------------------------------------
// Options.

void Set(const char* name, const char* value) {
    std::string n = name, v = value;
    SetOption(n.data(), v.data());
}

TEST_F(Console, NumBeersCapsTheDepth) {
    nMaxDepth = 150;
    Set("NumBeers", "8");
    EXPECT_EQ(nMaxDepth, 150);
    Set("numbeers", "9");
    EXPECT_EQ(nMaxDepth, 8);
    Set("numbeers", "10");
    EXPECT_EQ(nMaxDepth, 6);
    Set("numbeers", "0");
    EXPECT_EQ(nMaxDepth, 6);
    EXPECT_EQ(nNumBeers, 0);
}

TEST_F(Console, BooleansAndNumbers) {
    Set("OWNBOOK", "TRUE");
    EXPECT_TRUE(bOwnBook);
    Set("ownbook", "1");
    EXPECT_FALSE(bOwnBook);
    Set("Ponder", "yes");
    EXPECT_FALSE(bPonder);
    Set("LogStats", "True");
    EXPECT_TRUE(bLogStats);
    Set("Hash", "128");
    EXPECT_EQ(nHashMB, 128);
    Set("hash", "");  // a missing value reads as 0
    EXPECT_EQ(nHashMB, 0);
    Set("TimeBuffer", "7");
    EXPECT_EQ(nTimeBuffer, 7);
    RunCommand("nobook");
    EXPECT_FALSE(bOwnBook);
}

TEST_F(Console, NumThreadsIsClamped) {
    Set("NumThreads", "7");
    EXPECT_EQ(nNumThreads, 4);
    Set("NumThreads", "0");
    EXPECT_EQ(nNumThreads, 1);
    Set("NumThreads", "-3");
    EXPECT_EQ(nNumThreads, 1);
    Set("NumThreads", "2");
    EXPECT_EQ(nNumThreads, 2);
}

TEST_F(Console, UnknownOptionIsReportedLowerCased) {
    testing::internal::CaptureStdout();
    Set("Skill", "3");
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error - Unknown option skill\n");
}

TEST_F(Console, EvalWeightsSwitchesTheSetAndRefusesUnknownNames) {
    Set("EvalWeights", "Fitted");
    EXPECT_TRUE(bFittedWeights);
    testing::internal::CaptureStdout();
    Set("EvalWeights", "Sharp");
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error - Unknown EvalWeights sharp (Fitted or Classic)\n");
    EXPECT_TRUE(bFittedWeights);
    Set("EvalWeights", "Classic");
    EXPECT_FALSE(bFittedWeights);
    EXPECT_EQ(evalWeights.anPieceValue[4], kClassicWeights.anPieceValue[4]);
}

}  // namespace
