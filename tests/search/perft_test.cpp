// Perft counts (in-process and through the engine binary) and the report text.
#include "tools/perft.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/settings.h"
#include "search/threads.h"
#include "support/engine_process.h"
#include "support/engine_setup.h"

namespace {

const char* const kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* const kKiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
const char* const kPosition3 = "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1";

// N(depth): Perft counts every level, so the last level is the difference of two runs.
uint64_t Leaves(const Position& pos, int depth) {
    EXPECT_EQ(nNumThreads, 1);  // no hand-off in the direct calls
    return Perft(&pos, depth, 0, false, 0) - (depth > 1 ? Perft(&pos, depth - 1, 0, false, 0) : 0);
}

class PerftCounts : public testing::Test {
protected:
    void SetUp() override {
        EnsureEngineReady();
        WaitWhileThinking();
        SetNumThreads(1);
    }
};

TEST_F(PerftCounts, StartPosition) {
    const Position pos = PositionFromFen(kStart);
    const uint64_t expected[] = {0, 20, 400, 8902, 197281, 4865609};
    for (int d = 1; d <= 5; ++d) EXPECT_EQ(Leaves(pos, d), expected[d]) << "depth " << d;
}

TEST_F(PerftCounts, Kiwipete) {
    const Position pos = PositionFromFen(kKiwipete);
    const uint64_t expected[] = {0, 48, 2039, 97862, 4085603};
    for (int d = 1; d <= 4; ++d) EXPECT_EQ(Leaves(pos, d), expected[d]) << "depth " << d;
}

TEST_F(PerftCounts, Position3) {
    const Position pos = PositionFromFen(kPosition3);
    EXPECT_EQ(Leaves(pos, 5), 674624u);
}

TEST_F(PerftCounts, MatedAndStalematedSidesHaveNoMoves) {
    const Position mated = PositionFromFen("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3");
    const Position stalemate = PositionFromFen("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    for (int d = 1; d <= 3; ++d) {
        EXPECT_EQ(Perft(&mated, d, 0, false, 0), 0u);
        EXPECT_EQ(Perft(&stalemate, d, 0, false, 0), 0u);
    }
}

TEST_F(PerftCounts, SuiteToDepthFour) {
    std::ifstream in(std::string(QM_DATA_DIR) + "/perft/perftsuite.epd");
    ASSERT_TRUE(in) << "perft suite missing";
    int nPositions = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string fen;
        std::getline(fields, fen, ';');
        const Position pos = PositionFromFen(fen.c_str());
        ++nPositions;
        for (std::string field; std::getline(fields, field, ';');) {
            unsigned depth = 0;
            unsigned long long nodes = 0;
            if (sscanf(field.c_str(), "D%u %llu", &depth, &nodes) != 2 || depth > 4) continue;
            EXPECT_EQ(Leaves(pos, int(depth)), nodes) << fen << " depth " << depth;
        }
    }
    EXPECT_EQ(nPositions, 126);
    RecordProperty(
        "seconds",
        std::to_string(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count()));
}

// ---------------------------------------------------------------------------------------
// Through the engine binary: the report, threads and perfte.

const char* const kRule = "--------------------------------------------------------------------------------";

TEST(PerftReportText, OneThread) {
    EngineRun run = RunEngine("perft 3\nquit\n");
    ASSERT_EQ(run.nExitCode, 0) << run.sErr;
    std::vector<std::string> lines = SplitLines(run.sOut);
    const int first = FindLineStarting(lines, kRule);
    ASSERT_GE(first, 0);
    ASSERT_EQ(int(lines.size()), first + 7) << run.sOut;
    EXPECT_EQ(lines[size_t(first) + 1], "Perft Results (1 threads) - QM v1.04");
    EXPECT_EQ(lines[size_t(first) + 2], "");
    const char* counts[] = {"        20", "       400", "      8902"};
    for (int d = 1; d <= 3; ++d) {
        const std::string pattern = "Perft\\(" + std::to_string(d) + "\\) Nodes = " + counts[d - 1] +
                                    " Time = [ \\d]{7}\\d\\.\\d sec   Avg NPS = (0|[ \\d]{6}\\d+)";
        EXPECT_TRUE(std::regex_match(lines[size_t(first + 2 + d)], std::regex(pattern)))
            << lines[size_t(first + 2 + d)];
    }
    EXPECT_EQ(lines[size_t(first) + 6], kRule);
}

TEST(PerftReportText, SharesOnlyWithSeveralThreads) {
    EngineRun run = RunEngine(
        "perft 2 3\nperftE 1\nperft 0\nperft -1 1\nperft 128\n"
        "position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1\nperft 127\nquit\n",
        120000);
    ASSERT_EQ(run.nExitCode, 0) << run.sErr;
    std::vector<std::string> lines = SplitLines(run.sOut);
    int at = FindLineStarting(lines, "Perft Results (3 threads) - QM v1.04");
    ASSERT_GE(at, 0) << run.sOut;
    const std::string share = "[ \\d]{4}\\.\\d%";
    const std::string tail = " Time = [ \\d]{7}\\d\\.\\d sec   Avg NPS = (0|[ \\d]{6}\\d+)";
    EXPECT_TRUE(std::regex_match(lines[size_t(at) + 2], std::regex("Perft\\(1\\) Nodes = {9}20 \\(" + share +
                                                                   share + share + "\\)" + tail)))
        << lines[size_t(at) + 2];
    EXPECT_TRUE(std::regex_match(lines[size_t(at) + 3], std::regex("Perft\\(2\\) Nodes = {8}400 \\(" + share +
                                                                   share + share + "\\)" + tail)))
        << lines[size_t(at) + 3];
    // perfte: its own texts; a depth of 0 or less prints the frame only; 128 is refused.
    at = FindLineStarting(lines, "PerftE Results (3 threads) - QM v1.04");
    ASSERT_GE(at, 0);
    EXPECT_EQ(lines[size_t(at) + 2].compare(0, 28, "PerftE(1) Nodes =         20"), 0);
    at = FindLineStarting(lines, "Perft Results (3 threads)", at);
    ASSERT_GE(at, 0);
    EXPECT_EQ(lines[size_t(at) + 2], kRule);
    at = FindLineStarting(lines, "Perft Results (1 threads)", at);
    ASSERT_GE(at, 0);
    EXPECT_EQ(lines[size_t(at) + 2], kRule);
    EXPECT_EQ(CountLine(run.sOut, "Perft depth 128 is too deep (at most 127)"), 1);
    // 127 is the deepest accepted (here on a stalemate, where every depth counts 0).
    std::vector<std::vector<uint64_t>> reports = ParsePerftReports(run.sOut);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), std::vector<uint64_t>(128, 0));
}

TEST(PerftThreads, SameCountsWithTwoThreeAndFourThreads) {
    std::string script;
    for (int t = 2; t <= 4; ++t) script += "perft 5 " + std::to_string(t) + "\n";
    script += std::string("position fen ") + kKiwipete + "\n";
    for (int t = 2; t <= 4; ++t) script += "perft 4 " + std::to_string(t) + "\n";
    script += std::string("position fen ") + kPosition3 + "\n";
    for (int t = 2; t <= 4; ++t) script += "perfte 4 " + std::to_string(t) + "\n";
    // The end of input, unlike "quit", lets every queued command run.
    EngineRun run = RunEngine(script, 300000);
    ASSERT_EQ(run.nExitCode, 0) << run.sErr;
    std::vector<std::vector<uint64_t>> reports = ParsePerftReports(run.sOut);
    ASSERT_EQ(reports.size(), 6u) << run.sOut;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(reports[size_t(i)], (std::vector<uint64_t>{0, 20, 400, 8902, 197281, 4865609}));
    for (int i = 3; i < 6; ++i)
        EXPECT_EQ(reports[size_t(i)], (std::vector<uint64_t>{0, 48, 2039, 97862, 4085603}));
    std::vector<std::vector<uint64_t>> evalReports = ParsePerftReports(run.sOut, "PerftE");
    ASSERT_EQ(evalReports.size(), 3u);
    for (const auto& r : evalReports) EXPECT_EQ(r, (std::vector<uint64_t>{0, 14, 191, 2812, 43238}));
    for (int t = 2; t <= 4; ++t)
        EXPECT_NE(run.sOut.find("Perft Results (" + std::to_string(t) + " threads)"), std::string::npos);
}

}  // namespace
