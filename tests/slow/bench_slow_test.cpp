// A whole benchmark group through the real binary: four ten-second searches.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/engine_process.h"

namespace {

TEST(BenchSlow, PawnGroupInLowerCase) {
    EngineRun run = RunEngine("bench pawn\n", 120000);
    ASSERT_FALSE(run.bTimedOut);
    EXPECT_EQ(run.nExitCode, 0) << run.sErr;
    const char* const aHeaders[4] = {
        "\nPAWN - No Pawn Hash Benchmark Test 1/5 (IQ.1033 @10 sec, bm=f5)\n",
        "\nPAWN - 128KB Hash Benchmark Test 2/5 (IQ.1033 @10 sec, bm=f5)\n",
        "\nPAWN - 512KB Hash Benchmark Test 3/5 (IQ.1033 @10 sec, bm=f5)\n",
        "\nPAWN - 1MB Hash Benchmark Test 4/5 (IQ.1033 @10 sec, bm=f5)\n",
    };
    size_t nAt = 0;
    for (const char* h : aHeaders) {
        const size_t n = run.sOut.find(h, nAt);
        ASSERT_NE(n, std::string::npos) << h << run.sOut;
        // Each search ends with its statistics report before the next header.
        nAt = run.sOut.find("Node Counts", n);
        ASSERT_NE(nAt, std::string::npos) << run.sOut;
    }
    std::smatch m;
    ASSERT_TRUE(std::regex_search(run.sOut, m, std::regex("\nAvg NPS = (\\d+)\n\nBenchmark Complete\n$")))
        << run.sOut.substr(run.sOut.size() > 2000 ? run.sOut.size() - 2000 : 0);
    EXPECT_GT(std::stoll(m[1]), 0);
}

}  // namespace
