// Deep perft counts through the engine binary: the whole suite to depth 6 and the classic
// six-ply counts with one to four threads.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/engine_process.h"

namespace {

const char* const kKiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
const char* const kPosition3 = "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1";
const int kMinutes = 60 * 1000;

struct SuiteEntry {
    std::string sFen;
    std::vector<uint64_t> anCounts;  // by depth, index 0 unused
};

std::vector<SuiteEntry> ReadSuite() {
    std::vector<SuiteEntry> suite;
    std::ifstream in(std::string(QM_DATA_DIR) + "/perft/perftsuite.epd");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        SuiteEntry e;
        std::getline(fields, e.sFen, ';');
        while (!e.sFen.empty() && e.sFen.back() == ' ') e.sFen.pop_back();
        e.anCounts.push_back(0);
        for (std::string field; std::getline(fields, field, ';');) {
            unsigned depth = 0;
            unsigned long long nodes = 0;
            if (sscanf(field.c_str(), "D%u %llu", &depth, &nodes) == 2 && depth == e.anCounts.size())
                e.anCounts.push_back(nodes);
        }
        suite.push_back(e);
    }
    return suite;
}

// Runs perft to the deepest known depth (at most maxDepth) of every suite position.
void RunSuite(int maxDepth, int threads) {
    const std::vector<SuiteEntry> suite = ReadSuite();
    ASSERT_EQ(suite.size(), 126u);
    std::string script;
    for (const SuiteEntry& e : suite) {
        const int depth = std::min<int>(maxDepth, int(e.anCounts.size()) - 1);
        script += "position fen " + e.sFen + "\nperft " + std::to_string(depth) + " " +
                  std::to_string(threads) + "\n";
    }
    EngineRun run = RunEngine(script, 40 * kMinutes);
    ASSERT_FALSE(run.bTimedOut);
    ASSERT_EQ(run.nExitCode, 0) << run.sErr;
    std::vector<std::vector<uint64_t>> reports = ParsePerftReports(run.sOut);
    ASSERT_EQ(reports.size(), suite.size());
    for (size_t i = 0; i < suite.size(); ++i) {
        const size_t depth = std::min<size_t>(size_t(maxDepth), suite[i].anCounts.size() - 1);
        std::vector<uint64_t> expected(suite[i].anCounts.begin(),
                                       suite[i].anCounts.begin() + long(depth) + 1);
        EXPECT_EQ(reports[i], expected) << suite[i].sFen;
    }
}

TEST(PerftDeep, SuiteToDepthSix) {
    RunSuite(6, 2);
}

TEST(PerftDeep, SixPlyCountsWithOneToFourThreads) {
    std::string script;
    for (int t = 1; t <= 4; ++t) {
        script += "position startpos\nperft 6 " + std::to_string(t) + "\n";
        script += std::string("position fen ") + kKiwipete + "\nperft 5 " + std::to_string(t) + "\n";
        script += std::string("position fen ") + kPosition3 + "\nperft 6 " + std::to_string(t) + "\n";
    }
    EngineRun run = RunEngine(script, 30 * kMinutes);
    ASSERT_EQ(run.nExitCode, 0) << run.sErr;
    std::vector<std::vector<uint64_t>> reports = ParsePerftReports(run.sOut);
    ASSERT_EQ(reports.size(), 12u) << run.sOut;
    for (size_t t = 0; t < 4; ++t) {
        EXPECT_EQ(reports[t * 3], (std::vector<uint64_t>{0, 20, 400, 8902, 197281, 4865609, 119060324}))
            << t + 1 << " threads";
        EXPECT_EQ(reports[t * 3 + 1], (std::vector<uint64_t>{0, 48, 2039, 97862, 4085603, 193690690}))
            << t + 1 << " threads";
        EXPECT_EQ(reports[t * 3 + 2], (std::vector<uint64_t>{0, 14, 191, 2812, 43238, 674624, 11030083}))
            << t + 1 << " threads";
    }
}

}  // namespace
