// The real binary as a GUI drives it: the input thread answers "stop", "isready" and "quit" at
// once whatever waits before them, "go depth" holds for one search, a forced move answers at
// once with any thread count, the low-time flag does not outlive its search, mates are
// reported in moves, and the book beside the program is found from any folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/engine_process.h"

namespace {

// Generous for a loaded machine; the requirement is 50 ms, measured figures are a few ms.
constexpr int kPrompt = 250 * kSlow;

void StartUci(EngineSession* s, int nThreads = 1) {
    ASSERT_TRUE(StartSession(s));
    SendLine(s, "uci");
    ASSERT_GE(ReadLineStarting(s, "uciok", 10000 * kSlow, nullptr), 0);
    if (nThreads > 1) SendLine(s, "setoption name NumThreads value " + std::to_string(nThreads));
}

// The deepest "depth N" and the last "nodes N" of the info lines.
int DeepestDepth(const std::vector<std::string>& lines) {
    static const std::regex re(" depth (\\d+) ");
    int n = 0;
    for (const std::string& l : lines) {
        std::smatch m;
        if (l.rfind("info ", 0) == 0 && std::regex_search(l, m, re)) n = std::max(n, std::stoi(m[1]));
    }
    return n;
}

std::string LastNodes(const std::vector<std::string>& lines) {
    static const std::regex re(" nodes (\\d+) ");
    std::string nodes;
    for (const std::string& l : lines) {
        std::smatch m;
        if (l.rfind("info score", 0) == 0 && std::regex_search(l, m, re)) nodes = m[1];
    }
    return nodes;
}

TEST(InputThread, StopIsreadyAndQuitAnswerWhileAPositionWaits) {
    EngineSession s;
    StartUci(&s);
    SendLine(&s, "go movetime 60000");
    ASSERT_GE(ReadLineStarting(&s, "info", 10000 * kSlow, nullptr), 0);
    SendLine(&s, "position startpos moves e2e4");
    const int64_t tStop = SendLine(&s, "stop");
    std::string best;
    const int64_t tBest = ReadLineStarting(&s, "bestmove", 5000 * kSlow, &best);
    ASSERT_GE(tBest, 0) << "no bestmove after stop";
    EXPECT_LT(tBest - tStop, kPrompt);
    const int64_t tAsk = SendLine(&s, "isready");
    const int64_t tReady = ReadLineStarting(&s, "readyok", 5000 * kSlow, nullptr);
    ASSERT_GE(tReady, 0);
    EXPECT_LT(tReady - tAsk, kPrompt);
    // The position was taken: the next search plays for black.
    SendLine(&s, "go depth 1");
    ASSERT_GE(ReadLineStarting(&s, "bestmove", 10000 * kSlow, &best), 0);
    EXPECT_TRUE(std::regex_search(best, std::regex("^bestmove [a-h][78]"))) << best;
    // "quit" while a 60-second search and a queued command wait.
    SendLine(&s, "go movetime 60000");
    SendLine(&s, "setoption name Hash value 1");
    const int64_t tQuit = SessionMs(&s);
    EXPECT_EQ(EndSession(&s, 5000 * kSlow), 0);
    EXPECT_LT(SessionMs(&s) - tQuit, 2 * kPrompt);
}

TEST(InputThread, ConsolePrintWaitsWithoutBlockingStop) {
    EngineSession s;
    ASSERT_TRUE(StartSession(&s));
    SendLine(&s, "go depth 60");
    ASSERT_GE(ReadLineStarting(&s, "Time", 10000 * kSlow, nullptr), 0);
    SendLine(&s, "print");
    const int64_t tAsk = SendLine(&s, "isready");
    const int64_t tReady = ReadLineStarting(&s, "readyok", 5000 * kSlow, nullptr);
    ASSERT_GE(tReady, 0);
    EXPECT_LT(tReady - tAsk, kPrompt);
    const int64_t tStop = SendLine(&s, "stop");
    const int64_t tMove = ReadLineStarting(&s, "Making move", 5000 * kSlow, nullptr);
    ASSERT_GE(tMove, 0);
    EXPECT_LT(tMove - tStop, kPrompt);
    // Then the waiting "print" runs: the engine's board after its move, black to move.
    std::string fen;
    ASSERT_GE(ReadLineStarting(&s, "FEN", 5000 * kSlow, &fen), 0);
    EXPECT_EQ(EndSession(&s), 0);
}

TEST(InputThread, StopOvertakingAQueuedGoStillStopsIt) {
    // The second "go" waits for the first search; the "stop" read meanwhile must end both, so
    // an endless search can never outlive the stop sent after it.
    EngineSession s;
    StartUci(&s);
    SendLine(&s, "go movetime 60000");
    SendLine(&s, "go infinite");
    SendLine(&s, "stop");
    std::string best;
    ASSERT_GE(ReadLineStarting(&s, "bestmove", 5000 * kSlow, &best), 0);
    ASSERT_GE(ReadLineStarting(&s, "bestmove", 5000 * kSlow, &best), 0) << "the endless search never ended";
    EXPECT_EQ(EndSession(&s), 0);
}

TEST(GoDepth, LimitsThatSearchOnly) {
    EngineSession s;
    StartUci(&s);
    std::vector<std::string> info;
    SendLine(&s, "go depth 3");
    ASSERT_GE(ReadLineStarting(&s, "bestmove", 10000 * kSlow, nullptr, &info), 0);
    EXPECT_EQ(DeepestDepth(info), 3);
    SendLine(&s, "ucinewgame");
    SendLine(&s, "setoption name OwnBook value false");
    SendLine(&s, "position startpos");
    info.clear();
    SendLine(&s, "go movetime 400");
    ASSERT_GE(ReadLineStarting(&s, "bestmove", 10000 * kSlow, nullptr, &info), 0);
    EXPECT_GT(DeepestDepth(info), 3);
    EXPECT_EQ(EndSession(&s), 0);
}

TEST(ForcedMove, AnswersAtOnceWithTwoThreads) {
    EngineSession s;
    StartUci(&s, 2);
    SendLine(&s, "position fen 1k6/8/8/8/8/8/1q6/K7 w - - 0 1");
    std::vector<std::string> info;
    const int64_t tGo = SendLine(&s, "go wtime 60000 btime 60000");
    std::string best;
    const int64_t tBest = ReadLineStarting(&s, "bestmove", 10000 * kSlow, &best, &info);
    ASSERT_GE(tBest, 0);
    EXPECT_EQ(best.substr(0, 13), "bestmove a1b2");
    EXPECT_LT(tBest - tGo, 4 * kPrompt);
    EXPECT_LE(DeepestDepth(info), 1);
    EXPECT_EQ(EndSession(&s), 0);
}

TEST(LowTime, AShortClockLeavesLaterSearchesAlone) {
    // The same fixed-depth search after a low-clock search and a new game counts the same
    // nodes as in a fresh engine: low-time pruning went off with its search.
    const std::string kFen =
        "position fen r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";
    auto Nodes = [&](bool bShortClockFirst) {
        EngineSession s;
        StartUci(&s);
        SendLine(&s, "setoption name OwnBook value false");
        if (bShortClockFirst) {
            SendLine(&s, kFen);
            SendLine(&s, "go wtime 300 btime 300");
            EXPECT_GE(ReadLineStarting(&s, "bestmove", 10000 * kSlow, nullptr), 0);
        }
        SendLine(&s, "ucinewgame");
        SendLine(&s, kFen);
        std::vector<std::string> info;
        SendLine(&s, "go depth 7");
        EXPECT_GE(ReadLineStarting(&s, "bestmove", 30000 * kSlow, nullptr, &info), 0);
        EndSession(&s);
        return LastNodes(info);
    };
    const std::string fresh = Nodes(false);
    ASSERT_FALSE(fresh.empty());
    EXPECT_EQ(Nodes(true), fresh);
}

TEST(MateScore, MateInTwoInMoves) {
    EngineSession s;
    StartUci(&s);
    SendLine(&s, "position fen r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 1");
    std::vector<std::string> info;
    SendLine(&s, "go depth 8");
    std::string best;
    ASSERT_GE(ReadLineStarting(&s, "bestmove", 30000 * kSlow, &best, &info), 0);
    EXPECT_EQ(best.substr(0, 13), "bestmove d5f6");
    bool bMate = false;
    for (const std::string& l : info) {
        EXPECT_EQ(l.find("score cp 299"), std::string::npos) << l;
        bMate |= l.rfind("info score mate 2 ", 0) == 0;
    }
    EXPECT_TRUE(bMate);
    EXPECT_EQ(EndSession(&s), 0);
}

TEST(Book, FoundBesideTheProgramFromAnyFolder) {
    char tmpl[] = "/tmp/qm_bookdir_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    const std::string exe = PlaceEngine(dir);
    ASSERT_NE(exe, std::string(QM_BINARY));
    const std::string book = dir + "/QuietMarmoset.book";
    EngineRun made =
        RunEngine("createbook " + std::string(QM_SOURCE_DIR) + "/tests/data/book_golden.pgn " + book + "\n");
    ASSERT_TRUE(std::filesystem::exists(book)) << made.sOut;
    // Started from another folder (RunEngine's own), the engine still plays from that book.
    EngineRun run = RunEngine("uci\nposition startpos\ngo wtime 60000 btime 60000\n", 20000, exe);
    EXPECT_NE(run.sOut.find("Successfully loaded opening book file (" + book + ")"), std::string::npos)
        << run.sOut;
    EXPECT_EQ(run.sOut.find("info score"), std::string::npos) << "a book move needs no search";
    EXPECT_NE(run.sOut.find("bestmove "), std::string::npos);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
