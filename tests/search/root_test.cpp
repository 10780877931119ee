// The root driver, the time control, the output formats and the dump file, in-process.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "console/console.h"
#include "search/search_support.h"

namespace {

constexpr const char* kStartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
constexpr const char* kMateInOne = "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1";

// The search's settings a test may change, put back afterwards.
class RootTest : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        nSavedSide = nEngineSide;
        bSavedFixed = bFixedTime;
        bSavedBook = bOwnBook;
        nSavedLimit = nNodeLimit;
        adSavedTime[0] = dMoveTime[0];
        adSavedTime[1] = dMoveTime[1];
        adSavedClock[0] = dClock[0];
        adSavedClock[1] = dClock[1];
        anSavedLast[0] = anLastScore[0];
        anSavedLast[1] = anLastScore[1];
        bOwnBook = false;
        nNodeLimit = 0;
        anLastScore[0] = anLastScore[1] = 0;
        // A fixed, generous budget: only the rules under test end a search.
        nEngineSide = WHITE;
        bFixedTime = true;
        dMoveTime[0] = dMoveTime[1] = 1000.0;
    }
    void TearDown() override {
        nEngineSide = nSavedSide;
        bFixedTime = bSavedFixed;
        bOwnBook = bSavedBook;
        nNodeLimit = nSavedLimit;
        dMoveTime[0] = adSavedTime[0];
        dMoveTime[1] = adSavedTime[1];
        dClock[0] = adSavedClock[0];
        dClock[1] = adSavedClock[1];
        anLastScore[0] = anSavedLast[0];
        anLastScore[1] = anSavedLast[1];
        bSearchClock = false;
        SearchTest::TearDown();
    }

    // A line of coordinate moves with its score (its depth is its length).
    static PvLine LineOf(const Position& pos, std::initializer_list<const char*> moves, int nScore) {
        PvLine line{};
        Position p = pos, next;
        for (const char* text : moves) {
            const Move m = FindMove(p, text);
            EXPECT_NE(m, 0u) << text;
            line.anMoves[line.nLength++] = m;
            MakeMove(m, &p, &next, 0, -1);
            p = next;
        }
        line.nScore = nScore;
        line.nDepth = line.nLength;
        return line;
    }

    int nSavedSide = -1, anSavedLast[2] = {0, 0};
    bool bSavedFixed = true, bSavedBook = false;
    int64_t nSavedLimit = 0;
    double adSavedTime[2] = {5, 5}, adSavedClock[2] = {0, 0};
};

// ---------------------------------------------------------------------------------------
// Aspiration windows.

TEST(AspirationWindow, OneWideningThenTheFullWindow) {
    bClassicStyle = true;
    // Centre 100: (80, 120); a fail low at 50 tries (20, 100), a second one the full window.
    int a = 80, b = 120, r = 0;
    EXPECT_FALSE(WidenWindow(100, &r, &a, &b));
    EXPECT_TRUE(WidenWindow(50, &r, &a, &b));
    EXPECT_EQ(a, 20);
    EXPECT_EQ(b, 100);
    EXPECT_TRUE(WidenWindow(20, &r, &a, &b));
    EXPECT_EQ(a, -SCORE_INF);
    EXPECT_EQ(b, SCORE_INF);
    // The full window is never widened again.
    EXPECT_FALSE(WidenWindow(-SCORE_INF, &r, &a, &b));
    // A miss of 100 below alpha widens by 101; a fail high mirrors it.
    a = -20, b = 20, r = 0;
    EXPECT_TRUE(WidenWindow(-120, &r, &a, &b));
    EXPECT_EQ(a, -121);
    EXPECT_EQ(b, 0);
    a = -20, b = 20, r = 0;
    EXPECT_TRUE(WidenWindow(25, &r, &a, &b));
    EXPECT_EQ(b, 80);
    EXPECT_EQ(a, 0);
    bClassicStyle = false;
}

TEST(AspirationWindow, StrongWidensStepByStep) {
    // (80, 120) failing low at 50: alpha 50 - 40, beta halfway; then 80 and 160 past the score,
    // and the full window once the margin passes 500.
    int a = 80, b = 120, r = 0;
    EXPECT_TRUE(WidenWindow(50, &r, &a, &b));
    EXPECT_EQ(a, 10);
    EXPECT_EQ(b, 100);
    EXPECT_TRUE(WidenWindow(10, &r, &a, &b));
    EXPECT_EQ(a, -70);
    EXPECT_TRUE(WidenWindow(300, &r, &a, &b));
    EXPECT_EQ(b, 460);
    for (int i = 0; i < 2; i++) EXPECT_TRUE(WidenWindow(a, &r, &a, &b));
    EXPECT_EQ(a, -SCORE_INF);
    EXPECT_EQ(b, SCORE_INF);
}

// ---------------------------------------------------------------------------------------
// Iterative deepening.

TEST_F(RootTest, DepthLimitsAndTheLastCompletedIteration) {
    const Position pos = Setup(kStartFen);
    PvLine line;
    IterativeDeepening(&pos, 1, &line, false);
    EXPECT_EQ(ThreadStats(0).nLastIteration.Get(), 1u);
    EXPECT_EQ(line.nIteration, 1);
    ASSERT_GE(line.nLength, 1);
    EXPECT_TRUE(LineIsLegal(pos, line));

    // Below one ply nothing is searched: the line is empty and the first window's centre comes
    // back. The fallback still names a legal move.
    ResetState();
    anLastScore[WHITE] = 37;
    EXPECT_EQ(IterativeDeepening(&pos, 0, &line, false), 37);
    EXPECT_EQ(line.nLength, 0);
    const Move m = FallbackMove(&pos);
    EXPECT_TRUE(m && IsGeneratedMove(&pos, m));
}

TEST_F(RootTest, MateStopsTheIterationsThreePliesLater) {
    const Position pos = Setup(kMateInOne);
    PvLine line;
    const int s = IterativeDeepening(&pos, 20, &line, false);
    EXPECT_EQ(s, MATE - 1);
    // 30000 - s <= i - 3 first holds at iteration 4.
    EXPECT_EQ(ThreadStats(0).nLastIteration.Get(), 4u);
    EXPECT_EQ(MoveToCoord(line.anMoves[0]), "a1a8");
    // A previous search that already announced this mate does not stop it early.
    ResetState();
    anLastScore[WHITE] = MATE - 1;
    IterativeDeepening(&pos, 6, &line, false);
    EXPECT_EQ(ThreadStats(0).nLastIteration.Get(), 6u);
}

TEST_F(RootTest, SingleLegalMoveAndTestMovesEndEarly) {
    const Position forced = Setup("7k/8/8/8/8/8/r7/K6r w - - 0 1");  // only Kxa2
    PvLine line;
    IterativeDeepening(&forced, 10, &line, false);
    EXPECT_EQ(ThreadStats(0).nLastIteration.Get(), 1u);
    EXPECT_EQ(MoveToCoord(line.anMoves[0]), "a1a2");

    // The EPD runner's solutions: the first iteration that names one ends the search.
    ResetState();
    const Position pos = Setup(kMateInOne);
    const Move aSolution[1] = {FindMove(pos, "a1a8")};
    IterativeDeepening(&pos, 10, &line, false, aSolution, 1);
    EXPECT_EQ(ThreadStats(0).nLastIteration.Get(), 1u);
}

TEST_F(RootTest, NoLegalMoveAndARepeatedRoot) {
    PvLine line;
    const Position mated = Setup("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
    EXPECT_EQ(IterativeDeepening(&mated, 5, &line, false), -MATE);
    EXPECT_EQ(line.nLength, 0);
    EXPECT_EQ(FallbackMove(&mated), 0u);
    const Position stale = Setup("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(IterativeDeepening(&stale, 5, &line, false), 0);
    EXPECT_EQ(line.nLength, 0);

    // The root stood here twice before: still a real search with a move.
    ResetState();
    const Position pos = Setup(kStartFen);
    game.nGamePly = 8;
    for (int i = 0; i <= 8; i += 4) game.aGameHistory[i] = RepetitionKey(pos);
    aThreadMarkers[0].nLastIrreversible = 0;
    IterativeDeepening(&pos, 3, &line, false);
    ASSERT_GE(line.nLength, 1);
    EXPECT_TRUE(LineIsLegal(pos, line));
    EXPECT_EQ(aThreadMarkers[0].nLastIrreversible, 0);  // put back
}

TEST_F(RootTest, StopBeforeTheFirstIterationEndsLeavesNoLine) {
    const Position pos = Setup(kStartFen);
    PvLine line;
    bStopSearch = true;
    anLastScore[WHITE] = -12;
    EXPECT_EQ(IterativeDeepening(&pos, 10, &line, false), -12);
    EXPECT_EQ(line.nLength, 0);
    bStopSearch = false;
    const Move m = FallbackMove(&pos);
    EXPECT_TRUE(m && IsGeneratedMove(&pos, m));
}

TEST_F(RootTest, ThePrincipalVariationIsLeftInTheTable) {
    const Position pos = Setup(kStartFen);
    PvLine line;
    IterativeDeepening(&pos, 6, &line, false);
    ASSERT_GE(line.nLength, 4);
    Move aMore[kMaxPly];
    const int n = HashContinuation(&pos, 6, aMore);
    ASSERT_GE(n, 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(aMore[i], line.anMoves[i]) << i;
    // The root entry carries the line's move and a depth of the last iteration.
    HashProbe probe;
    EXPECT_TRUE(ProbeHash(&pos, 6, -SCORE_INF, SCORE_INF, 0, &probe));
    EXPECT_EQ(probe.nMove, line.anMoves[0]);
}

// ---------------------------------------------------------------------------------------
// Lines read from the table and checked moves.

TEST_F(RootTest, LinesAreCheckedMoveByMove) {
    const Position pos = Setup(kStartFen);
    Move line[3] = {FindMove(pos, "e2e4"), 0, 0};
    Position p1, p2;
    MakeMove(line[0], &pos, &p1, 0, -1);
    line[1] = FindMove(p1, "e7e5");
    line[2] = line[0];  // e2e4 again: no longer possible
    EXPECT_EQ(ValidLineLength(&pos, line, 3, &p2), 2);
    EXPECT_EQ(ValidLineLength(&pos, line, 1), 1);
    EXPECT_EQ(ValidLineLength(&pos, line + 1, 1), 0);
    // A slot whose move does not fit the position ends the continuation.
    StoreHash(&pos, 5, 0, -SCORE_INF, SCORE_INF, line[1], false, false);
    Move aOut[4];
    EXPECT_EQ(HashContinuation(&pos, 4, aOut), 0);
    StoreHash(&pos, 5, 0, -SCORE_INF, SCORE_INF, line[0], false, false);
    EXPECT_EQ(HashContinuation(&pos, 4, aOut), 1);
    EXPECT_EQ(HashContinuation(&pos, 0, aOut), 0);
}

// ---------------------------------------------------------------------------------------
// Time control.

class TimeTest : public RootTest {
protected:
    // The first design's clock and its extensions, which these tests spell out.
    void SetUp() override {
        RootTest::SetUp();
        bClassicStyle = true;
    }
    void TearDown() override {
        bClassicStyle = false;
        RootTest::TearDown();
    }
    // A search that started nMs ago under the clock.
    static void StartedAgo(int64_t nMs) {
        nSearchStartTicks = NowMs() - nMs;
        bSearchClock = true;
    }
};

TEST_F(TimeTest, StopPonderNodeLimitAndFixedTime) {
    SearchStack ss = RootStack();
    StartedAgo(0);
    bStopSearch = true;
    EXPECT_TRUE(NeedToAbortMove(&ss));
    bStopSearch = false;

    // A ponder search never runs out of time.
    dMoveTime[WHITE] = 1.0;
    StartedAgo(5000);
    bPondering = true;
    EXPECT_FALSE(NeedToAbortMove(&ss));
    bPondering = false;
    EXPECT_TRUE(NeedToAbortMove(&ss));

    // Fixed time: stops once the budget is used, never extended.
    StartedAgo(900);
    EXPECT_FALSE(NeedToAbortMove(&ss));
    StartedAgo(1001);
    ss.nRootMove = 5;
    dClock[WHITE] = 1000;
    EXPECT_TRUE(NeedToAbortMove(&ss));
    EXPECT_EQ(dMoveTime[WHITE], 1.0);

    // Without the root driver's clock (or an engine side) there is no time limit.
    bSearchClock = false;
    EXPECT_FALSE(NeedToAbortMove(&ss));
    StartedAgo(5000);
    nEngineSide = -1;
    EXPECT_FALSE(NeedToAbortMove(&ss));
    nEngineSide = WHITE;

    // A node limit replaces the clock.
    ClearSearchStats();
    nNodeLimit = 100;
    EXPECT_FALSE(NeedToAbortMove(&ss));
    ThreadStats(0).nNodes = 60;
    ThreadStats(0).nQNodes = 40;
    EXPECT_TRUE(NeedToAbortMove(&ss));
    nNodeLimit = 0;
}

TEST_F(TimeTest, ClockBudgetIsExtendedThreeTimesAtMost) {
    // 10 s budget, 120 s on the clock, root move 3 of the iteration.
    bFixedTime = false;
    dMoveTime[WHITE] = 10.0;
    dClock[WHITE] = 120.0;
    SearchStack ss = RootStack();
    ss.nBudget = 10;
    ss.nRootMove = 3;
    StartedAgo(9900);
    EXPECT_FALSE(NeedToAbortMove(&ss));
    EXPECT_FALSE(ss.bLastIteration);
    const double adAfter[3] = {13.0, 16.9, 21.97};
    for (int i = 0; i < 3; ++i) {
        StartedAgo(int64_t(dMoveTime[WHITE] * 1000) + 1);
        EXPECT_FALSE(NeedToAbortMove(&ss)) << i;
        EXPECT_NEAR(dMoveTime[WHITE], adAfter[i], 1e-9) << i;
        EXPECT_TRUE(ss.bLastIteration);
    }
    // 21.97 is above twice the start: no more time.
    StartedAgo(21971);
    EXPECT_TRUE(NeedToAbortMove(&ss));
    EXPECT_NEAR(dMoveTime[WHITE], 21.97, 1e-9);
}

TEST_F(TimeTest, NoExtensionOnTheFirstRootMoveOrAShortClock) {
    bFixedTime = false;
    dMoveTime[WHITE] = 10.0;
    dClock[WHITE] = 120.0;
    SearchStack ss = RootStack();
    ss.nBudget = 10;
    ss.nRootMove = 1;
    StartedAgo(10001);
    EXPECT_TRUE(NeedToAbortMove(&ss));
    EXPECT_EQ(dMoveTime[WHITE], 10.0);
    // The clock must keep 10 s beyond the extended budget.
    ss.nRootMove = 4;
    dClock[WHITE] = 22.9;
    EXPECT_TRUE(NeedToAbortMove(&ss));
    EXPECT_EQ(dMoveTime[WHITE], 10.0);
    EXPECT_FALSE(ss.bLastIteration);
}

TEST_F(TimeTest, MateSearchExtension) {
    // The last search announced a mate: 30 percent more while the clock is far from spent, and
    // the iteration is not made the last one.
    bFixedTime = false;
    anLastScore[WHITE] = MATE - 5;
    dMoveTime[WHITE] = 10.0;
    dClock[WHITE] = 25.0;  // 1.3 * 10 + 5 < 25 < 2 * elapsed
    SearchStack ss = RootStack();
    ss.nBudget = 10;
    ss.nRootMove = 1;
    ss.nRootScore = MATE - 5;
    StartedAgo(12600);
    EXPECT_FALSE(NeedToAbortMove(&ss));
    EXPECT_NEAR(dMoveTime[WHITE], 13.0, 1e-9);
    EXPECT_FALSE(ss.bLastIteration);
    // Once the mate got shorter, no more.
    dMoveTime[WHITE] = 10.0;
    ss.nRootScore = MATE - 3;
    EXPECT_TRUE(NeedToAbortMove(&ss));
    EXPECT_EQ(dMoveTime[WHITE], 10.0);
}

// ---------------------------------------------------------------------------------------
// Budgets of "go".

void Go(const char* line) {
    WordList w;
    SplitWords(line, &w);
    ParseGoParameters(&w);
}

TEST_F(TimeTest, BudgetsNeverPlanPastTheClock) {
    const int nSavedBuffer = nTimeBuffer;
    nTimeBuffer = 0;
    RunCommand("position startpos");
    // 10 s + 0.1: 10 * 0.8 / 40 plus 90 percent of the increment (kept to the millisecond).
    Go("go wtime 10000 btime 10000 winc 100 binc 100");
    EXPECT_NEAR(dMoveTime[WHITE], 0.29, 1e-12);
    EXPECT_TRUE(bLowTime[WHITE]);
    // One move to go with a big increment: the text's 1.6 + 0.9 s would pass the 2 s clock.
    Go("go wtime 2000 btime 2000 winc 1000 binc 1000 movestogo 1");
    EXPECT_NEAR(dMoveTime[WHITE], 1.8, 1e-12);
    Go("go wtime 1000 btime 1000 movestogo 1");
    EXPECT_NEAR(dMoveTime[WHITE], 0.8, 1e-12);
    // Almost nothing left: no budget at all (the first iteration still runs).
    Go("go wtime 40 btime 40 movestogo 1");
    EXPECT_EQ(dMoveTime[WHITE], 0.0);
    Go("go wtime -5 btime -5");
    EXPECT_EQ(dMoveTime[WHITE], 0.0);
    // A node limit below one stops at the first check instead of meaning none.
    Go("go nodes -3");
    EXPECT_EQ(nNodeLimit, 1);
    Go("go nodes 0");
    EXPECT_EQ(nNodeLimit, 1);
    nNodeLimit = 0;
    nTimeBuffer = nSavedBuffer;
}

// ---------------------------------------------------------------------------------------
// Output formats.

TEST_F(RootTest, UciLineScoresBoundsAndMates) {
    UseHash(0);
    const Position pos = Setup(kStartFen);
    PvLine line = LineOf(pos, {"e2e4", "e7e5"}, 31);
    EXPECT_EQ(FormatUciInfo(&pos, line, 2, 11, 51, 0.25, 1000, 5, 0),
              "info score cp 31 depth 2 seldepth 5 nodes 1000 time 250 nps 4000 hashfull 0 pv e2e4 e7e5 \n");
    EXPECT_EQ(FormatUciInfo(&pos, line, 2, 31, 51, 0, 7, 5, 0).substr(0, 35),
              "info score cp 31 upperbound depth 2");
    EXPECT_EQ(FormatUciInfo(&pos, line, 2, 11, 31, 0, 7, 5, 0).substr(0, 35),
              "info score cp 31 lowerbound depth 2");
    // A time of 0 gives nps 0.
    EXPECT_NE(FormatUciInfo(&pos, line, 2, 11, 51, 0, 7, 5, 0).find(" time 0 nps 0 "), std::string::npos);
    // Mates go out in moves: mate in one (29999), mate in two (29997), mated next move (-29998).
    line.nScore = MATE - 1;
    EXPECT_EQ(FormatUciInfo(&pos, line, 2, -SCORE_INF, SCORE_INF, 0, 7, 5, 0).substr(0, 26),
              "info score mate 1 depth 2 ");
    line.nScore = MATE - 3;
    EXPECT_EQ(FormatUciInfo(&pos, line, 2, -SCORE_INF, SCORE_INF, 0, 7, 5, 0).substr(0, 26),
              "info score mate 2 depth 2 ");
    line.nScore = -(MATE - 2);
    EXPECT_EQ(FormatUciInfo(&pos, line, 2, -SCORE_INF, SCORE_INF, 0, 7, 5, 0).substr(0, 27),
              "info score mate -1 depth 2 ");
    line.nScore = -(MATE - 4);
    EXPECT_EQ(FormatUciInfo(&pos, line, 2, -SCORE_INF, SCORE_INF, 0, 7, 5, 0).substr(0, 27),
              "info score mate -2 depth 2 ");
    line.nScore = MATE_BOUND;  // the last score that is not a mate
    EXPECT_EQ(FormatUciInfo(&pos, line, 2, -SCORE_INF, SCORE_INF, 0, 7, 5, 0).substr(0, 26),
              "info score cp 29872 depth ");
    line.nScore = -MATE_BOUND;
    EXPECT_EQ(FormatUciInfo(&pos, line, 2, -SCORE_INF, SCORE_INF, 0, 7, 5, 0).substr(0, 27),
              "info score cp -29872 depth ");
    // A move that does not fit ends the line printed.
    line.anMoves[1] = line.anMoves[0];
    EXPECT_NE(FormatUciInfo(&pos, line, 2, 0, 1, 0, 7, 5, 0).find(" pv e2e4 \n"), std::string::npos);
}

TEST_F(RootTest, UciLineContinuesFromTheTable) {
    const Position pos = Setup(kStartFen);
    PvLine line = LineOf(pos, {"e2e4"}, 20);
    line.nDepth = 3;  // the line came from a table cut three plies deep
    Position p1, p2;
    MakeMove(line.anMoves[0], &pos, &p1, 0, -1);
    const Move e5 = FindMove(p1, "e7e5");
    MakeMove(e5, &p1, &p2, 0, -1);
    StoreHash(&p1, 2, 0, -SCORE_INF, SCORE_INF, e5, false, false);
    StoreHash(&p2, 1, 0, -SCORE_INF, SCORE_INF, FindMove(p2, "g1f3"), false, false);
    EXPECT_NE(FormatUciInfo(&pos, line, 3, 0, 50, 0, 7, 5, 0).find(" pv e2e4  e7e5 g1f3 \n"),
              std::string::npos);
    // Without continuation the pv ends in two blanks.
    ClearTransTable();
    EXPECT_NE(FormatUciInfo(&pos, line, 3, 0, 50, 0, 7, 5, 0).find(" pv e2e4  \n"), std::string::npos);
}

TEST_F(RootTest, ConsoleLineFields) {
    UseHash(0);
    const Position pos = Setup(kStartFen);
    PvLine line = LineOf(pos, {"e2e4", "e7e5", "g1f3"}, 31);
    line.nIteration = 3;
    line.nSelDepth = 9;
    EXPECT_EQ(FormatConsoleLine(&pos, line, 0, 50, 3725.5, 15000000, 1),
              "01:02:05.50     15M  3/3/9 \t  0.31   \t1. e4 e5 2. Nf3 \n");
    EXPECT_EQ(FormatConsoleLine(&pos, line, 0, 50, 0.0, 9999, 1).substr(0, 21), "00:00:00.00    9999  ");
    EXPECT_EQ(FormatConsoleLine(&pos, line, 0, 50, 0.0, 123456, 1).substr(0, 21), "00:00:00.00    123K  ");
    EXPECT_EQ(FormatConsoleLine(&pos, line, 0, 50, 0.0, 20000000000ull, 1).substr(0, 21),
              "00:00:00.00     20B  ");
    // Mates in plies, and the bound marks.
    line.nScore = MATE - 5;
    EXPECT_NE(FormatConsoleLine(&pos, line, 0, SCORE_INF, 0, 1, 1).find("\t   +M5   \t"), std::string::npos);
    line.nScore = -(MATE - 4);
    EXPECT_NE(FormatConsoleLine(&pos, line, -SCORE_INF, 0, 0, 1, 1).find("\t   -M4   \t"), std::string::npos);
    line.nScore = -40;
    EXPECT_NE(FormatConsoleLine(&pos, line, -40, 0, 0, 1, 1).find("\t -0.40-- \t"), std::string::npos);
    line.nScore = 70;
    EXPECT_NE(FormatConsoleLine(&pos, line, 0, 70, 0, 1, 1).find("\t  0.70++ \t"), std::string::npos);
    // Black to move at move 12: "12..." first, and white's reply is move 13.
    const Position black = Setup("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 12");
    PvLine b = LineOf(black, {"e7e5", "g1f3"}, 0);
    EXPECT_NE(FormatConsoleLine(&black, b, -50, 50, 0, 1, 12).find("\t12... e5 13. Nf3 \n"),
              std::string::npos);
}

// ---------------------------------------------------------------------------------------
// Dump files.

TEST_F(RootTest, DumpRoundTripAndRefusedFiles) {
    const int nHash = nHashMB, nPawn = nPawnHashKB, nEval = nEvalHashMB;
    nHashMB = 1;
    nPawnHashKB = 16;
    nEvalHashMB = 1;
    ReleaseHashTables();
    AllocTransTable(false);
    AllocPawnHash(false);
    AllocEvalHash(false);
    const Position pos = Setup(kStartFen);
    PvLine line;
    IterativeDeepening(&pos, 4, &line, false);
    anLastScore[0] = 123;
    anLastScore[1] = -45;
    game.aGameHistory[599] = 0x1234;
    aThreadMarkers[0].nLastIrreversible = 7;
    const Move k1 = anKiller1[2];

    const std::string dir = ::testing::TempDir();
    const std::string name = dir + "/qm_root_test.dump", shortName = dir + "/qm_root_test_short.dump";
    ASSERT_TRUE(WriteDump(name.c_str()));
    ASSERT_TRUE(AppendDumpState(name.c_str()));
    EXPECT_EQ(std::filesystem::file_size(name), DumpFileBytes());
    std::filesystem::copy_file(name, shortName, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(shortName, DumpFileBytes() - 4);

    // Change the state, then read it back.
    anLastScore[0] = anLastScore[1] = 0;
    game.aGameHistory[599] = 0;
    aThreadMarkers[0].nLastIrreversible = 0;
    RelaxedStore(anKiller1[2], Move(0));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(LoadDump(name.c_str()));
    // At the console the fresh tables are announced; nothing else is said.
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(said.find("ump file"), std::string::npos) << said;
    EXPECT_EQ(anLastScore[0], 123);
    EXPECT_EQ(anLastScore[1], -45);
    EXPECT_EQ(game.aGameHistory[599], 0x1234u);
    EXPECT_EQ(aThreadMarkers[0].nLastIrreversible, 7);
    EXPECT_EQ(anKiller1[2], k1);
    Move aMore[2];
    EXPECT_GE(HashContinuation(&pos, 2, aMore), 1);

    // A short file and a missing one change nothing.
    anLastScore[0] = 9;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(LoadDump(shortName.c_str()));
    EXPECT_FALSE(LoadDump((dir + "/no_such_file.dump").c_str()));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Cannot load dump file " + shortName + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Cannot load dump file " + dir + "/no_such_file.dump\n"), std::string::npos) << out;
    EXPECT_EQ(anLastScore[0], 9);
    EXPECT_NE(pTransTable, nullptr);

    game.aGameHistory[599] = 0;
    std::filesystem::remove(name);
    std::filesystem::remove(shortName);
    nHashMB = nHash;
    nPawnHashKB = nPawn;
    nEvalHashMB = nEval;
    ReleaseHashTables();
    AllocPawnHash(false);
    AllocEvalHash(false);
}

TEST_F(RootTest, LoadDumpClampsWhatItReads) {
    const int nHash = nHashMB, nPawn = nPawnHashKB, nEval = nEvalHashMB;
    nHashMB = 1;
    nPawnHashKB = 16;
    nEvalHashMB = 1;
    ReleaseHashTables();
    AllocTransTable(false);
    AllocPawnHash(false);
    AllocEvalHash(false);
    const Position pos = Setup(kStartFen);
    const Move quiet = FindMove(pos, "g1f3");
    // A capture of the right shape: from d1 taking on d7 (never a killer).
    const Move capture = quiet | (Move(1) << 20);
    RelaxedStore(anKiller1[3], quiet);
    RelaxedStore(anKiller2[3], capture);
    RelaxedStore(anKiller1[4], Move(0xFFFFFFFFu));
    anLastScore[0] = 99999;
    anLastScore[1] = -70000;
    aThreadMarkers[0].nLastIrreversible = -5;
    // A table entry whose score lies beyond the search's range.
    HashBucket& b = HashBucketOf(pos.nHashKey);
    b.anCheck[0].store(HashCheckOf(pos.nHashKey));
    b.anData[0].store(PackHashData(3, 0, 0, 0, quiet, false, false) | (uint64_t(0xFFFF) << HASH_SCORE_SHIFT));
    const std::string name = ::testing::TempDir() + "/qm_clamp_test.dump";
    ASSERT_TRUE(WriteDump(name.c_str()));
    ASSERT_TRUE(AppendDumpState(name.c_str()));
    ClearTransTable();

    testing::internal::CaptureStdout();
    EXPECT_TRUE(LoadDump(name.c_str()));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(anKiller1[3], quiet);
    EXPECT_EQ(anKiller2[3], 0u);
    EXPECT_EQ(anKiller1[4], 0u);
    EXPECT_EQ(anLastScore[0], SCORE_INF);
    EXPECT_EQ(anLastScore[1], -SCORE_INF);
    EXPECT_EQ(aThreadMarkers[0].nLastIrreversible, 0);
    EXPECT_EQ(HashScore(HashBucketOf(pos.nHashKey).anData[0].load()), SCORE_INF);
    EXPECT_EQ(HashMove(HashBucketOf(pos.nHashKey).anData[0].load()), quiet);
    // The search runs on what was loaded and names a legal move.
    anLastScore[0] = anLastScore[1] = 0;
    PvLine line;
    IterativeDeepening(&pos, 3, &line, false);
    ASSERT_GE(line.nLength, 1);
    EXPECT_TRUE(IsGeneratedMove(&pos, line.anMoves[0]));

    std::filesystem::remove(name);
    nHashMB = nHash;
    nPawnHashKB = nPawn;
    nEvalHashMB = nEval;
    ReleaseHashTables();
    AllocPawnHash(false);
    AllocEvalHash(false);
}

TEST(RootDepth, NextIterationMustFitTheBudget) {
    double dBf = 0, dEstimate = 0;
    // 1 s then 3 s: the next one is taken to last 3 + 2 * 3 = 9 s, against 1.2 times the budget.
    EXPECT_FALSE(NextIterationFits(1.0, 3.0, 7.0, &dBf, &dEstimate));
    EXPECT_DOUBLE_EQ(dBf, 2.0);
    EXPECT_DOUBLE_EQ(dEstimate, 9.0);
    EXPECT_TRUE(NextIterationFits(1.0, 3.0, 7.5));
    // Iterations too quick to time always fit; so does one that took no longer than the last.
    EXPECT_TRUE(NextIterationFits(0.0, 0.5, 0.01));
    EXPECT_TRUE(NextIterationFits(2.0, 2.0, 1.7));
    // Below 10 ms the clock cannot time an iteration; a jump from 12 ms to 120 ms counts as 4x.
    EXPECT_TRUE(NextIterationFits(0.002, 0.030, 0.1));
    EXPECT_TRUE(NextIterationFits(0.012, 0.120, 0.4, &dBf, &dEstimate));
    EXPECT_DOUBLE_EQ(dBf, 3.0);
    EXPECT_DOUBLE_EQ(dEstimate, 0.48);
}

TEST(RootDepth, MaximumDepthStaysWithinTheIterationTables) {
    EnsureEngineReady();
    const int nSaved = nMaxDepth;
    for (const auto& [text, n] : std::initializer_list<std::pair<const char*, int>>{
             {"sd 300", 255}, {"sd 255", 255}, {"sd 0", 1}, {"sd -4", 1}, {"sd x", 1}, {"sd 7", 7}}) {
        RunCommand(text);
        EXPECT_EQ(nMaxDepth, n) << text;
    }
    EXPECT_EQ(ClampMaxDepth(1000000), kMaxIterations);
    nMaxDepth = nSaved;
}

}  // namespace
