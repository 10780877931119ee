// The main search: mates and draws with their exact scores, mate-distance bounds, null-move
// conditions, table moves that must not be trusted, the root's reports, and small searches of
// fixed positions.
#include <gtest/gtest.h>

#include <cstring>

#include "core/log.h"
#include "search/search_support.h"

namespace {

constexpr const char* kStartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
constexpr const char* kKiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

// ---------------------------------------------------------------------------------------
// Mates, stalemate and the mate-distance bounds.

TEST_F(SearchTest, MateInOneScoresThirtyThousandLessOnePly) {
    const Position pos = Setup("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    PvLine line;
    const int s = Deepen(pos, 3, &line);
    EXPECT_EQ(s, MATE - 1);
    ASSERT_GE(line.nLength, 1);
    EXPECT_EQ(MoveToCoord(line.anMoves[0]), "a1a8");
    Position end;
    ASSERT_TRUE(LineIsLegal(pos, line, &end));
    EXPECT_TRUE(IsCheckmate(end));
}

TEST_F(SearchTest, MateInTwoScoresThreePlies) {
    // Kb6 and Rh8 mate next move whatever black does.
    const Position pos = Setup("k7/8/2K5/8/8/8/8/7R w - - 0 1");
    PvLine line;
    const int s = Deepen(pos, 5, &line);
    EXPECT_EQ(s, MATE - 3);
    ASSERT_EQ(line.nLength, 3);
    Position end;
    ASSERT_TRUE(LineIsLegal(pos, line, &end));
    EXPECT_TRUE(IsCheckmate(end));
}

TEST_F(SearchTest, BeingMatedScoresFromTheDefendersSide) {
    // Black's only move is Ka7, and Ra1 mates.
    const Position pos = Setup("k7/2K5/8/8/8/8/8/1R6 b - - 0 1");
    PvLine line;
    const int s = Deepen(pos, 4, &line);
    EXPECT_EQ(s, -(MATE - 2));
    EXPECT_TRUE(LineIsLegal(pos, line));
}

TEST_F(SearchTest, CheckmatedAndStalematedNodes) {
    PvLine line;
    SearchStack ss = RootStack();
    // Mated at the root: ply index 0.
    const Position mated = Setup("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
    EXPECT_EQ(SearchFull(&mated, 8, -SCORE_INF, SCORE_INF, &line, 0, true, &ss, 0), -MATE);
    EXPECT_EQ(line.nLength, 0);
    // Mated three plies from the root.
    Setup("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
    EXPECT_EQ(SearchFull(&mated, 8, -SCORE_INF, SCORE_INF, &line, 12, true, &ss, 0), 3 - MATE);
    // Stalemate scores 0 at any ply.
    const Position stale = Setup("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(SearchFull(&stale, 8, -SCORE_INF, SCORE_INF, &line, 0, true, &ss, 0), 0);
    EXPECT_EQ(SearchFull(&stale, 8, -500, 500, &line, 8, true, &ss, 0), 0);
    EXPECT_EQ(line.nLength, 0);
}

TEST_F(SearchTest, PrefersMateToStalemate) {
    // Qf8 mates; Qf7 would stalemate.
    const Position pos = Setup("7k/8/6K1/8/8/8/8/5Q2 w - - 0 1");
    PvLine line;
    EXPECT_EQ(Deepen(pos, 3, &line), MATE - 1);
    Position end;
    ASSERT_TRUE(LineIsLegal(pos, line, &end));
    EXPECT_TRUE(IsCheckmate(end));
}

TEST_F(SearchTest, MateDistanceBoundsAtPlyIndexTen) {
    const Position pos = Setup("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    PvLine line;
    SearchStack ss = RootStack();
    const uint64_t before = ThreadStats(0).nMatePrunes.Get();
    // No score at ply index 10 beats a mate next move (29989) ...
    EXPECT_EQ(SearchFull(&pos, 8, 29989, SCORE_INF, &line, 40, true, &ss, 0), 29989);
    // ... or falls below being mated two plies on (-29988).
    EXPECT_EQ(SearchFull(&pos, 8, -SCORE_INF, -29988, &line, 40, true, &ss, 0), -29988);
    EXPECT_EQ(line.nLength, 0);
    EXPECT_EQ(ThreadStats(0).nMatePrunes.Get(), before + 2);
    // A window that only narrows is searched.
    const int s = SearchFull(&pos, 8, 29000, SCORE_INF, &line, 40, true, &ss, 0);
    EXPECT_LE(s, 29989);
    EXPECT_EQ(ThreadStats(0).nMatePrunes.Get(), before + 2);
}

TEST_F(SearchTest, NoMateDistancePruningInCheck) {
    const Position pos = Setup("4k3/8/8/8/8/8/4q3/4K3 w - - 0 1");
    ASSERT_TRUE(pos.nInCheck);
    PvLine line;
    SearchStack ss = RootStack();
    // Pruned, the node would answer 29989 at once; searched, it fails low below it.
    const int s = SearchFull(&pos, 4, 29989, SCORE_INF, &line, 40, true, &ss, 0);
    EXPECT_LT(s, 29989);
}

// ---------------------------------------------------------------------------------------
// Repetition and the fifty-move rule.

// Plays coordinate moves from pos as game moves: the history gets each new signature.
Position PlayGame(const Position& start, const std::vector<const char*>& moves) {
    Position pos = start, next;
    game.nGamePly = 0;
    game.aGameHistory[0] = RepetitionKey(pos);
    aThreadMarkers[0].nLastIrreversible = 0;
    for (const char* text : moves) {
        Move m = 0;
        Move list[kMaxMoves];
        int n = GenerateCaptures(&pos, list);
        n += GenerateQuiets(&pos, list + n, kMaxMoves - n);
        for (int i = 0; i < n; i++)
            if (MoveToCoord(list[i]) == text) m = list[i];
        EXPECT_NE(m, 0u) << text;
        MakeMove(m, &pos, &next, 0, 0);
        pos = next;
        game.aGameHistory[++game.nGamePly] = RepetitionKey(pos);
    }
    pos.nInCheck = uint8_t(InCheck(&pos));
    return pos;
}

// White is a queen up; only repetition can save black.
constexpr const char* kQueenUp = "4k1n1/8/8/8/8/8/8/Q3K1N1 w - - 0 1";

TEST_F(SearchTest, RootNeedsTwoEarlierOccurrences) {
    const Position start = Setup(kQueenUp);
    PvLine line;
    SearchStack ss = RootStack();
    // Once repeated: the root still searches (the position is worth a queen).
    Position pos = PlayGame(start, {"g1f3", "g8f6", "f3g1", "f6g8"});
    EXPECT_GT(SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 0, true, &ss, 0), 500);
    // Twice repeated: a draw at the root (ply index 0) and at ply index 1.
    pos = PlayGame(start, {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8"});
    EXPECT_EQ(SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 0, true, &ss, 0), 0);
    EXPECT_EQ(line.nLength, 0);
}

TEST_F(SearchTest, OneRepetitionInsideTheLineIsADraw) {
    const Position start = Setup(kQueenUp);
    PvLine line;
    SearchStack ss = RootStack();
    // The game stands two plies in; the node searched at ply index 2 repeats the game's start.
    Position pos = PlayGame(start, {"g1f3", "g8f6", "f3g1", "f6g8"});
    game.nGamePly = 2;
    // Entry 3 is the node at ply index 1 (written by that node in a real search).
    EXPECT_EQ(SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 8, true, &ss, 0), 0);
    // At ply index 1 one earlier occurrence is not enough.
    game.nGamePly = 3;
    EXPECT_GT(SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 4, true, &ss, 0), 500);
}

TEST_F(SearchTest, RepetitionLooksNoFurtherBackThanTheLastIrreversibleMove) {
    const Position start = Setup(kQueenUp);
    PvLine line;
    SearchStack ss = RootStack();
    Position pos = PlayGame(start, {"g1f3", "g8f6", "f3g1", "f6g8"});
    game.nGamePly = 2;
    aThreadMarkers[0].nLastIrreversible = 1;  // entry 0 lies before a capture or pawn move
    EXPECT_GT(SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 8, true, &ss, 0), 500);
    EXPECT_EQ(aThreadMarkers[0].nLastIrreversible, 1) << "the marker is restored after the search";
}

TEST_F(SearchTest, HelperSearchesOnItsOwnHistory) {
    const Position start = Setup(kQueenUp);
    PvLine line;
    SearchStack ss = RootStack();
    const Position pos = PlayGame(start, {"g1f3", "g8f6", "f3g1", "f6g8"});
    game.nGamePly = 2;
    const uint64_t game4 = game.aGameHistory[4];
    // Worker 1 with an empty history of its own sees no repetition ...
    for (uint64_t& h : aThreadHistory[1].aHistory) h = 0;
    aThreadMarkers[1].nLastIrreversible = 0;
    const uint64_t nodes1 = ThreadStats(1).nNodes.Get();
    EXPECT_GT(SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 8, true, &ss, 1), 500);
    EXPECT_GT(ThreadStats(1).nNodes.Get(), nodes1);
    // ... and with worker 0's history copied (as at a split point) finds the draw.
    for (int i = 0; i < kGameHistorySize; i++) aThreadHistory[1].aHistory[i] = game.aGameHistory[i];
    EXPECT_EQ(SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 8, true, &ss, 1), 0);
    // The game's own history was never written by worker 1.
    EXPECT_EQ(game.aGameHistory[4], game4);
    EXPECT_EQ(aThreadMarkers[0].nLastIrreversible, 0);
}

TEST_F(SearchTest, FiftyMoveRuleAboveOneHundred) {
    // White can take the rook; only the fifty-move counter decides the node's score.
    const char* fen101 = "k7/8/8/8/8/8/8/KQ5r w - - 101 80";
    const char* fen100 = "k7/8/8/8/8/8/8/KQ5r w - - 100 80";
    PvLine line;
    SearchStack ss = RootStack();
    Position pos = Setup(fen101);
    EXPECT_EQ(SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 4, true, &ss, 0), 0);
    pos = Setup(fen100);
    EXPECT_GT(SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 4, true, &ss, 0), 500);
    // The root itself is never drawn by the counter.
    pos = Setup(fen101);
    EXPECT_GT(SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 0, true, &ss, 0), 500);
    ASSERT_GE(line.nLength, 1);
    EXPECT_EQ(MoveToCoord(line.anMoves[0]), "b1h1");
}

// ---------------------------------------------------------------------------------------
// Null move.

// Counts the null-move searches one node makes (its children are too shallow for their own).
uint64_t NullMovesTried(const Position& pos, int depth, int alpha, int beta, int ply) {
    PvLine line;
    SearchStack ss{0, 0, 0, -1, -1, NODE_CUT, 0};
    const uint64_t before = ThreadStats(0).nNullCuts.Get() + ThreadStats(0).nNullFails.Get();
    SearchFull(&pos, depth, alpha, beta, &line, ply, true, &ss, 0);
    return ThreadStats(0).nNullCuts.Get() + ThreadStats(0).nNullFails.Get() - before;
}

TEST_F(SearchTest, NullMoveConditions) {
    // White is a rook up: the static evaluation is far above beta = -100.
    const Position pos = Setup("4k3/pppp4/8/8/8/8/PPPP4/R3K3 w - - 0 1");
    // Each case on an empty table, so that no stored result decides it first.
    auto tried = [](const Position& p, int depth, int alpha, int beta, int ply) {
        ResetState();
        return NullMovesTried(p, depth, alpha, beta, ply);
    };
    EXPECT_EQ(tried(pos, 17, -101, -100, 4), 1u);
    EXPECT_EQ(tried(pos, 16, -101, -100, 4), 0u) << "four plies or less";
    EXPECT_EQ(tried(pos, 17, -101, -100, 0), 0u) << "root";
    EXPECT_EQ(tried(pos, 17, -200, -100, 4), 0u) << "PV window";
    EXPECT_EQ(tried(pos, 17, -29873, -29872, 4), 0u) << "mate-range beta";
    EXPECT_EQ(tried(pos, 17, 2000, 2001, 4), 0u) << "evaluation below beta";
    EXPECT_EQ(tried(pos, 17, -29872, -29871, 4), 1u) << "beta -29871 is still allowed";
    // In check.
    const Position check = Setup("4k3/pppp4/8/8/8/8/PPPP1q2/R3K3 w - - 0 1");
    ASSERT_TRUE(check.nInCheck);
    EXPECT_EQ(tried(check, 17, -2001, -2000, 4), 0u);
    // There is no exception for pawn endings: the null move is tried there too.
    const Position pawns = Setup("4k3/pppp4/8/8/8/8/PPPPP3/4K3 w - - 0 1");
    EXPECT_EQ(tried(pawns, 17, -201, -200, 4), 1u);
}

TEST_F(SearchTest, NullMoveVetoedByTheTable) {
    const Position pos = Setup("4k3/pppp4/8/8/8/8/PPPP4/R3K3 w - - 0 1");
    // An upper bound below beta from (at least) the null search's depth predicts a fail low.
    StoreHash(&pos, 1, -500, -101, -100, 0, false, false);
    EXPECT_EQ(NullMovesTried(pos, 20, -101, -100, 4), 0u);
    // A remembered mate threat (read from an entry deep enough) does the same.
    ResetState();
    StoreHash(&pos, 6, -500, -600, -599, 0, true, false);
    EXPECT_EQ(NullMovesTried(pos, 20, -101, -100, 4), 0u);
}

TEST_F(SearchTest, NullMoveDetectsMateThreat) {
    // White is a rook up, but passing would allow Rd1 mate.
    const Position pos = Setup("3r2k1/RR3ppp/8/8/8/8/5PPP/6K1 w - - 0 1");
    PvLine line;
    SearchStack ss{0, 0, 0, -1, -1, NODE_CUT, 0};
    const uint64_t fails = ThreadStats(0).nNullFails.Get();
    SearchFull(&pos, 20, -2001, -2000, &line, 8, true, &ss, 0);
    EXPECT_EQ(ThreadStats(0).nNullFails.Get(), fails + 1);
    // The node's table entry carries the threat.
    const HashBucket& b = HashBucketOf(pos.nHashKey);
    bool found = false;
    for (int i = 0; i < 4; i++)
        if (b.anCheck[i].load() == HashCheckOf(pos.nHashKey)) found = HashThreat(b.anData[i].load());
    EXPECT_TRUE(found);
}

// ---------------------------------------------------------------------------------------
// Table moves that must not be trusted.

TEST_F(SearchTest, IllegalTableMoveIsNeverPlayed) {
    // The e2 knight is pinned: Nc3 is pseudo-legal but illegal.
    const Position pos = Setup("4r1k1/8/8/8/8/8/4N3/4K3 w - - 0 1");
    const Move bad = FindMove(pos, "e2c3");
    ASSERT_NE(bad, 0u);
    ASSERT_FALSE(IsLegalMove(&pos, bad));
    // As an exact entry the root must not take it as its result ...
    StoreHash(&pos, 30, 500, -SCORE_INF, SCORE_INF, bad, false, false);
    PvLine line;
    SearchStack ss = RootStack();
    SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 0, true, &ss, 0);
    ASSERT_GE(line.nLength, 1);
    EXPECT_TRUE(LineIsLegal(pos, line));
    // ... nor as a shallow entry that only orders the moves.
    ResetState();
    StoreHash(&pos, 0, 500, -SCORE_INF, SCORE_INF, bad, false, false);
    SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 0, true, &ss, 0);
    EXPECT_TRUE(LineIsLegal(pos, line));
    // Below the root a cut keeps its score but not the illegal move.
    ResetState();
    StoreHash(&pos, 30, 500, -SCORE_INF, SCORE_INF, bad, false, false);
    EXPECT_EQ(SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 4, true, &ss, 0), 500);
    EXPECT_EQ(line.nLength, 0);
}

// ---------------------------------------------------------------------------------------
// Root reports, stops and aborts.

TEST_F(SearchTest, SingleLegalMoveAtTheRootEndsTheIterations) {
    const Position pos = Setup("7k/8/8/8/8/8/r7/K6r w - - 0 1");  // only Kxa2
    PvLine line;
    SearchStack ss = RootStack();
    SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 0, true, &ss, 0);
    EXPECT_TRUE(ss.bLastIteration);
    EXPECT_EQ(ss.nRootMove, 1);
    // Not while pondering.
    ResetState();
    bPondering = true;
    SearchStack ponder = RootStack();
    SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 0, true, &ponder, 0);
    bPondering = false;
    EXPECT_FALSE(ponder.bLastIteration);
    // Several moves: no request.
    ResetState();
    const Position open = Setup(kStartFen);
    SearchStack many = RootStack();
    SearchFull(&open, 8, -SCORE_INF, SCORE_INF, &line, 0, true, &many, 0);
    EXPECT_FALSE(many.bLastIteration);
    EXPECT_EQ(many.nRootMove, 20);
}

TEST_F(SearchTest, RootMovesKeepTheirScores) {
    const Position pos = Setup(kStartFen);
    PvLine line;
    SearchStack ss = RootStack();
    const int s = SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 0, true, &ss, 0);
    ASSERT_EQ(RootMoves.nCount, 20);
    // The best move has its exact score; moves that failed low keep the alpha the root was
    // called with.
    int nBest = 0, nLow = 0;
    for (int i = 0; i < RootMoves.nCount; i++) {
        if (RootMoves.aMoves[i] == line.anMoves[0]) {
            nBest++;
            EXPECT_EQ(RootMoves.aScores[i], s);
        }
        if (RootMoves.aScores[i] == -SCORE_INF) nLow++;
    }
    EXPECT_EQ(nBest, 1);
    EXPECT_GT(nLow, 0);
}

TEST_F(SearchTest, StopAndAbortReturnAtOnce) {
    const Position pos = Setup(kStartFen);
    PvLine line;
    SearchStack ss = RootStack();
    bStopSearch = true;
    const uint64_t n = Nodes();
    EXPECT_EQ(SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 4, true, &ss, 0), 0);
    EXPECT_EQ(Nodes(), n + 1);
    bStopSearch = false;
    aWorkers[0].nJob.store(JOB_ABORT);
    EXPECT_EQ(SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 4, true, &ss, 0), 0);
    EXPECT_EQ(line.nLength, 0);
    aWorkers[0].nJob.store(JOB_IDLE);
}

TEST_F(SearchTest, RootTracesAndDrawMessage) {
    const int level = TraceLevel();
    PvLine line;
    SearchStack ss = RootStack();
    // A root drawn by repetition tells a GUI at trace level 1.
    const Position start = Setup(kQueenUp);
    const Position pos = PlayGame(start, {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8"});
    bUciMode = true;
    SetTraceLevel(1);
    testing::internal::CaptureStdout();
    SearchFull(&pos, 8, -SCORE_INF, SCORE_INF, &line, 0, true, &ss, 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "info string Draw by repetition\n");
    bUciMode = false;
    // At level 2 every root move is traced, illegal ones too.
    const Position pinned = Setup("4r1k1/8/8/8/8/8/4N3/4K3 w - - 0 1");
    SetTraceLevel(2);
    testing::internal::CaptureStdout();
    SearchFull(&pinned, 4, -SCORE_INF, SCORE_INF, &line, 0, true, &ss, 0);
    out = testing::internal::GetCapturedStdout();
    SetTraceLevel(level);
    EXPECT_NE(out.find(" Root move  1."), std::string::npos) << out;
    EXPECT_NE(out.find("illegal\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" score = "), std::string::npos) << out;
}

// ---------------------------------------------------------------------------------------
// Fixed positions to a small depth.

TEST_F(SearchTest, FixedPositionsGiveLegalLines) {
    const char* fens[] = {
        kStartFen,
        kKiwipete,
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
        "4k3/8/8/8/8/8/4p3/4K3 w - - 0 1",
        "8/8/8/8/8/5k2/6p1/6K1 w - - 0 1",
    };
    for (const char* fen : fens) {
        ResetState();
        const Position pos = Setup(fen);
        PvLine line;
        Deepen(pos, 4, &line);
        ASSERT_GE(line.nLength, 1) << fen;
        EXPECT_TRUE(LineIsLegal(pos, line)) << fen;
    }
}

TEST_F(SearchTest, WinsHangingMaterial) {
    // Bxd8 wins the queen for a bishop.
    const Position pos = Setup("rnbqkbnr/ppp2ppp/8/3pp1B1/3P4/8/PPP1PPPP/RN1QKBNR w KQkq - 0 3");
    PvLine line;
    const int s = Deepen(pos, 4, &line);
    EXPECT_EQ(MoveToCoord(line.anMoves[0]), "g5d8");
    EXPECT_GT(s, 500);
}

TEST_F(SearchTest, SameSearchSameNodeCount) {
    const Position pos = Setup(kKiwipete);
    PvLine line;
    Deepen(pos, 4, &line);
    const uint64_t nodes = Nodes(), qnodes = QNodes();
    const Move best = line.anMoves[0];
    ResetState();
    UseHash(8);
    Setup(kKiwipete);
    Deepen(pos, 4, &line);
    EXPECT_EQ(Nodes(), nodes);
    EXPECT_EQ(QNodes(), qnodes);
    EXPECT_EQ(line.anMoves[0], best);
}

TEST_F(SearchTest, WorksWithoutTranspositionTable) {
    UseHash(0);
    const Position pos = Setup("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    PvLine line;
    EXPECT_EQ(Deepen(pos, 3, &line), MATE - 1);
    EXPECT_TRUE(LineIsLegal(pos, line));
}

TEST_F(SearchTest, CutoffsFeedKillersAndHistory) {
    const Position pos = Setup(kStartFen);
    PvLine line;
    Deepen(pos, 5, &line);
    int nKillers = 0;
    for (int i = 0; i < kMaxPly; i++) nKillers += anKiller1[i] != 0;
    EXPECT_GT(nKillers, 0);
    long nCutoffs = 0, nTried = 0;
    for (int c = 0; c < 2; c++)
        for (int p = 0; p < 6; p++)
            for (int sq = 0; sq < 64; sq++) {
                EXPECT_LE(anHistoryCutoffs[c][p][sq], anHistoryTried[c][p][sq]);
                nCutoffs += anHistoryCutoffs[c][p][sq] - 1;
                nTried += anHistoryTried[c][p][sq] - 1;
            }
    EXPECT_GT(nCutoffs, 0);
    EXPECT_GT(nTried, nCutoffs);
}

}  // namespace
