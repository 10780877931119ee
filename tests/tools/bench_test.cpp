// The benchmark: its fixed texts, a single timed search, the book switched off, and "quit"
// ending a running benchmark in the real binary.
#include "tools/bench.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "core/settings.h"
#include "platform/platform.h"
#include "search/threads.h"
#include "support/engine_process.h"
#include "support/engine_setup.h"

namespace {

std::string Captured(void (*fn)()) {
    testing::internal::CaptureStdout();
    fn();
    return testing::internal::GetCapturedStdout();
}

TEST(Bench, TimingLoopHeadersAndLines) {
    EnsureEngineReady();
    const std::string out = Captured([] { RunBitTimings(1000); });
    const std::vector<std::string> lines = SplitLines(out);
    ASSERT_EQ(lines.size(), 30u) << out;
    const char* const aHeaders[3] = {"ASM - Intrinsics Benchmark Test 1/3 (LSB)",
                                     "ASM - Intrinsics Benchmark Test 2/3 (MSB)",
                                     "ASM - Intrinsics Benchmark Test 3/3 (Count)"};
    const char* const aNames[3] = {"GetWhiteBit", "GetBlackBit", "CountBits"};
    for (int g = 0; g < 3; ++g) {
        EXPECT_EQ(lines[g * 10], "");
        EXPECT_EQ(lines[g * 10 + 1], aHeaders[g]);
        for (int k = 0; k < 8; ++k) {
            const std::regex re(std::string(aNames[g]) + "\\[" + std::to_string(k * 4) +
                                "\\] time = \\d+\\.\\d\\d");
            EXPECT_TRUE(std::regex_match(lines[g * 10 + 2 + k], re)) << lines[g * 10 + 2 + k];
        }
    }
}

TEST(Bench, UnknownGroupRunsNothingAndSwitchesTheBookOff) {
    EnsureEngineReady();
    bOwnBook = true;
    const std::string out = Captured([] { RunBenchmark("nosuch"); });
    EXPECT_EQ(out,
              "Unknown benchmark group nosuch (PAWN, WAC, M20, PGO, PERFT or ASM)\n"
              "\nAvg NPS = 0\n\nBenchmark Complete\n");
    EXPECT_FALSE(bOwnBook);
}

TEST(Bench, OneTimedSearchPrintsItsReport) {
    EnsureEngineReady();
    SetNumThreads(1);  // a direct call has no awake helpers
    const bool bSavedShow = bShowBoard;
    bShowBoard = false;
    std::string out = Captured([] { EXPECT_TRUE(RunBenchTest("6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1", 1)); });
    EXPECT_NE(out.find("Node Counts"), std::string::npos) << out;
    EXPECT_EQ(nEngineSide, WHITE);
    out = Captured([] { EXPECT_FALSE(RunBenchTest("not a position", 1)); });
    EXPECT_NE(out.find("Invalid FEN"), std::string::npos) << out;
    bShowBoard = bSavedShow;
    RunCommand("new");
}

TEST(BenchCommand, BookStaysOffAfterwards) {
    EngineRun run = RunEngine("setoption name OwnBook value true\nbench nosuch\nuci\n");
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_NE(run.sOut.find("Benchmark Complete\n"), std::string::npos) << run.sOut;
    EXPECT_NE(run.sOut.find("option name OwnBook type check default false\n"), std::string::npos) << run.sOut;
}

// Ten searches of five seconds: "quit" must end the job within the one running, helpers and all.
TEST(BenchCommand, QuitEndsARunningBenchmarkPromptly) {
    EngineSession s;
    ASSERT_TRUE(StartSession(&s));
    SendLine(&s, "setoption name NumThreads value 2");
    SendLine(&s, "bench pgo");
    std::string line;
    ASSERT_GE(ReadLineStarting(&s, "PGO - Profile Guided Optimization Test 1/10", 10000, &line), 0) << s.sOut;
    SleepMs(300);
    const int64_t t0 = NowMs();
    EXPECT_EQ(EndSession(&s, 3000), 0) << s.sOut;
    EXPECT_LT(NowMs() - t0, 3000);
    EXPECT_EQ(s.sOut.find("Benchmark Complete"), std::string::npos);
}

}  // namespace
