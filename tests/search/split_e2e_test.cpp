// Several search threads, driven like a GUI: the helpers join split points, yet every answer is a
// legal move, mates keep their exact scores, "stop" still ends the search at once, and the
// level-2 trace reports what each thread did.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "movegen/movegen.h"
#include "support/engine_process.h"
#include "support/engine_setup.h"

namespace {

std::string BestMoveOf(const std::string& line) {
    std::smatch m;
    static const std::regex re("^bestmove (\\S+)( ponder \\S+)?$");
    return std::regex_match(line, m, re) ? std::string(m[1]) : "";
}

void StartUci(EngineSession* s, int nThreads) {
    ASSERT_TRUE(StartSession(s));
    SendLine(s, "uci");
    ASSERT_GE(ReadLineStarting(s, "uciok", 10000 * kSlow, nullptr), 0);
    SendLine(s, "setoption name NumThreads value " + std::to_string(nThreads));
    SendLine(s, "setoption name OwnBook value false");
}

// A quiet middlegame, a tactical one, a mate in two (Nf6+ gxf6 Bxf7#) and an ending.
constexpr const char* kPositions[] = {
    "r1bqkbnr/pppp1ppp/2n5/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R w KQ - 0 8",
    "r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 1",
    "8/5pk1/6p1/3P4/5P2/2r3P1/5K2/3R4 w - - 0 40",
};

TEST(SplitSearch, SeveralThreadsAnswerLegalMovesAndExactMates) {
    for (int nThreads : {2, 4}) {
        EngineSession s;
        StartUci(&s, nThreads);
        for (const char* fen : kPositions) {
            SendLine(&s, std::string("position fen ") + fen);
            SendLine(&s, "go depth 9");
            std::string line;
            std::vector<std::string> info;
            ASSERT_GE(ReadLineStarting(&s, "bestmove", 60000 * kSlow, &line, &info), 0) << fen;
            EXPECT_TRUE(IsLegalText(PositionFromFen(fen), BestMoveOf(line)))
                << nThreads << " threads, " << fen << ": " << line;
            if (fen == kPositions[2]) {
                EXPECT_EQ(BestMoveOf(line), "d5f6");
                ASSERT_FALSE(info.empty());
                EXPECT_EQ(info.back().rfind("info score mate 2 ", 0), 0u) << info.back();
            }
        }
        // "stop" ends an endless search with several threads as promptly as with one.
        SendLine(&s, "position startpos moves e2e4");
        SendLine(&s, "go infinite");
        ASSERT_GE(ReadLineStarting(&s, "info score", 10000 * kSlow, nullptr), 0);
        const int64_t t0 = SendLine(&s, "stop");
        std::string line;
        const int64_t t = ReadLineStarting(&s, "bestmove", 10000 * kSlow, &line);
        ASSERT_GE(t, 0);
        EXPECT_LT(t - t0, 2000 * kSlow);
        EXPECT_EQ(EndSession(&s), 0);
    }
}

TEST(SplitSearch, LevelTwoTraceReportsEveryThread) {
    EngineSession s;
    StartUci(&s, 2);
    SendLine(&s, "setoption name TraceLevel value 2");
    SendLine(&s, std::string("position fen ") + kPositions[1]);
    // Statistics follow iterations that end after a second; with iterations growing ~2.5x, a
    // 2.5-second search could miss them, a 4-second one holds one.
    SendLine(&s, "go movetime 4000");
    std::string line;
    ASSERT_GE(ReadLineStarting(&s, "bestmove", 30000 * kSlow, &line), 0);
    // After iterations past the fifth that end more than a second into the search.
    static const std::regex share(".*nodes \\d+ \\(\\d+\\.\\d% \\d+\\.\\d% \\)");
    static const std::regex thread(
        ".*Thread ([01]): Idle \\d+ms, Efficiency -?\\d+\\.\\d% Balance (\\d+\\.\\d)% moves (\\d+)");
    int nShare = 0, nThread = 0;
    double adBalance[2] = {0, 0};
    long anMoves[2] = {0, 0};
    for (const std::string& l : SplitLines(s.sOut)) {
        nShare += std::regex_match(l, share);
        std::smatch m;
        if (!std::regex_match(l, m, thread)) continue;
        nThread++;
        const int t = std::stoi(m[1]);
        adBalance[t] = std::stod(m[2]);
        anMoves[t] = std::stol(m[3]);
    }
    EXPECT_GT(nShare, 0) << s.sOut.substr(0, 2000);
    EXPECT_GE(nThread, 2 * nShare);
    // Worker 0 searches moves at its own split points too: both shares count, and they add up.
    EXPECT_GT(anMoves[0], 0);
    EXPECT_GT(anMoves[1], 0);
    EXPECT_NEAR(adBalance[0] + adBalance[1], 100.0, 0.2);
    EXPECT_EQ(EndSession(&s), 0);
}

}  // namespace
