// Worker threads, the job protocol and the trace log, in-process.
#include "search/threads.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "console/console.h"
#include "console/options.h"
#include "core/log.h"
#include "support/engine_setup.h"
#include "tools/perft.h"

namespace {

class Workers : public testing::Test {
protected:
    void SetUp() override { EnsureEngineReady(); }
    void TearDown() override {
        WaitWhileThinking();
        SetNumThreads(1);
    }
};

// Runs one perft job quietly and returns the legal moves all workers counted.
uint64_t RunPerftJob(const Position& pos, int depth) {
    testing::internal::CaptureStdout();
    StartJob(JOB_PERFT, pos, depth);
    WaitWhileThinking();
    fflush(stdout);
    testing::internal::GetCapturedStdout();
    uint64_t n = 0;
    for (int t = 0; t < nNumThreads; ++t) n += anThreadNodes[t];
    return n;
}

TEST_F(Workers, ThreadCountIsClampedAndThreadsStay) {
    EXPECT_EQ(SetNumThreads(6), 4);
    EXPECT_EQ(nNumThreads, 4);
    EXPECT_EQ(SetNumThreads(0), 1);
    EXPECT_EQ(SetNumThreads(-5), 1);
    EXPECT_EQ(SetNumThreads(2), 2);
    // Shrinking leaves the other workers asleep; growing again uses them.
    EXPECT_EQ(SetNumThreads(4), 4);
    EXPECT_EQ(SetNumThreads(3), 3);
}

TEST_F(Workers, BackToBackJobsAreNeitherLostNorMixed) {
    Position start;
    SetStartPosition(&start);
    // Each run counts N(1) + N(2) + N(3) = 20 + 400 + 8902 (depth 3 is the last of the report).
    const uint64_t expected = 20 + 400 + 8902;
    for (int threads : {1, 2, 3, 4}) {
        SetNumThreads(threads);
        for (int i = 0; i < 25; ++i) {
            ASSERT_EQ(RunPerftJob(start, 3), expected) << threads << " threads, run " << i;
            EXPECT_FALSE(bThinking);
            for (int w = 0; w < threads; ++w) EXPECT_EQ(aWorkers[w].nJob.load(), JOB_IDLE);
        }
    }
}

TEST_F(Workers, HelpersTakeRootSubtrees) {
    SetNumThreads(4);
    Position start;
    SetStartPosition(&start);
    RunPerftJob(start, 4);
    uint64_t nHelpers = anThreadNodes[1] + anThreadNodes[2] + anThreadNodes[3];
    EXPECT_GT(nHelpers, 0u);
    EXPECT_EQ(anThreadNodes[0] + nHelpers, 20u + 400 + 8902 + 197281);
}

TEST_F(Workers, StoppedWorkersCanBeStartedAgain) {
    SetNumThreads(3);
    StopWorkers();
    SetNumThreads(3);
    Position start;
    SetStartPosition(&start);
    EXPECT_EQ(RunPerftJob(start, 2), 420u);
}

TEST_F(Workers, CommandsWaitForTheRunningJob) {
    // "perft" returns at once; a "position" during the report is staged, and the next command
    // that changes state waits for the report: the report sees the position it was started on,
    // the next one the staged position.
    testing::internal::CaptureStdout();
    ExecuteCommand("position startpos");
    ExecuteCommand("perft 4 2");
    ExecuteCommand("position fen 4k3/8/8/8/8/8/8/4K2R w K - 0 1");
    ExecuteCommand("perft 2");
    WaitWhileThinking();
    fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Perft(4) Nodes =     197281 ("), std::string::npos) << out;
    EXPECT_NE(out.find("Perft(2) Nodes =         66 ("), std::string::npos) << out;
}

// ---------------------------------------------------------------------------------------
// Trace log.

class Trace : public testing::Test {
protected:
    void SetUp() override { EnsureEngineReady(); }
    void TearDown() override { SetTraceLevel(0); }
};

// The worker threads trace their sleeps at level 2; those lines may fall anywhere.
std::string WithoutWorkerLines(const std::string& text) {
    static const std::regex worker(R"((DEBUG <\d+:\d+> )?Thread \d+ (done )?waiting for signal.*\n)");
    return std::regex_replace(text, worker, "");
}

std::string Captured(void (*body)()) {
    testing::internal::CaptureStdout();
    body();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

TEST_F(Trace, LevelsAboveTheSettingAreDropped) {
    SetTraceLevel(0);
    EXPECT_EQ(Captured([] {
                  TraceLog(0, "always %d\n", 0);
                  TraceLog(1, "info string hidden\n");
                  TraceLog(2, "hidden too\n");
              }),
              "always 0\n");
    SetTraceLevel(1);
    EXPECT_EQ(Captured([] {
                  TraceLog(1, "info string shown\n");
                  TraceLog(2, "hidden\n");
              }),
              "info string shown\n");
}

TEST_F(Trace, LevelTwoCarriesTheDebugPrefix) {
    SetTraceLevel(2);
    std::string out = WithoutWorkerLines(Captured([] { TraceLog(2, "Seed = %d\n", 42); }));
    EXPECT_TRUE(std::regex_match(out, std::regex(R"(DEBUG <\d+:\d+> Seed = 42\n)"))) << out;
    // Long messages are not cut.
    std::string out2 = Captured([] { TraceLog(0, "%s\n", std::string(5000, 'z').c_str()); });
    EXPECT_EQ(out2.size(), 5001u);
}

TEST_F(Trace, LevelThreeAppendsToTheDumpLog) {
    const std::filesystem::path old = std::filesystem::current_path();
    char dirTemplate[] = "/tmp/qm_trace_XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::filesystem::path dir = dirTemplate;
    std::filesystem::current_path(dir);

    char option[] = "tracelevel", value[] = "3";
    SetOption(option, value);
    char name[64];
    GetDumpLogName(name);
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(QM_1\.04_\d{8}_\d{6}\.dump\.log)"))) << name;
    std::string out = Captured([] {
        TraceLog(3, "first %s\n", "line");
        TraceLog(1, "second\n");
        TraceLog(0, "third\n");
    });
    SetTraceLevel(0);
    EXPECT_TRUE(std::regex_match(WithoutWorkerLines(out),
                                 std::regex(R"(DEBUG <\d+:\d+> first line\nsecond\nthird\n)")))
        << out;
    std::ifstream in(dir / name);
    std::stringstream file;
    file << in.rdbuf();
    EXPECT_EQ(WithoutWorkerLines(file.str()), "first line\nsecond\nthird\n");

    std::filesystem::current_path(old);
    std::filesystem::remove_all(dir);
}

}  // namespace
