// The EPD test runner: scoring, hostile files, the console game left as it was, and the "test"
// command in the real binary with helper threads.
#include "tools/epdtest.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "console/console.h"
#include "core/settings.h"
#include "search/threads.h"
#include "support/engine_process.h"
#include "support/engine_setup.h"

namespace {

struct TempFile {
    std::string sPath;
    explicit TempFile(const std::string& content) {
        char name[] = "/tmp/qm_epdtest_XXXXXX";
        const int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, content.data(), content.size()), ssize_t(content.size()));
        close(fd);
        sPath = name;
    }
    ~TempFile() { unlink(sPath.c_str()); }
};

// Two mates in one around a record whose position is not a FEN; the last has an identifier far
// longer than any buffer.
std::string ThreeRecords() {
    return "r1bqkbnr/pppp1ppp/2n5/4p3/2B1P3/5Q2/PPPP1PPP/RNB1K1NR w KQkq - bm Qxf7+; id \"mate.1\";\n"
           "rnbqkbnr/pppppppp/8/8/8/9/PPPPPPPP/RNBQKBNR w KQkq - bm e4; id \"bad.fen\";\n"
           "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - bm Ra8+; id \"" +
           std::string(5000, 'x') + "\";\n";
}

// The runner changes the search settings for good; the other tests expect them as they were.
class EpdRunner : public ::testing::Test {
protected:
    int nSavedDepth = 0;
    bool bSavedShow = false;
    void SetUp() override {
        EnsureEngineReady();
        SetNumThreads(1);  // a direct call has no awake helpers
        nSavedDepth = nMaxDepth;
        bSavedShow = bShowBoard;
    }
    void TearDown() override {
        nMaxDepth = nSavedDepth;
        bShowBoard = bSavedShow;
    }
    static int Run(const std::string& path, int nSecs, std::string* pOut) {
        testing::internal::CaptureStdout();
        const int n = RunEpdTest(path.c_str(), nSecs);
        *pOut = testing::internal::GetCapturedStdout();
        return n;
    }
};

TEST_F(EpdRunner, SkipsABadFenAndSurvivesAnEndlessIdentifier) {
    TempFile f(ThreeRecords());
    std::string out;
    EXPECT_EQ(Run(f.sPath, 1, &out), 2);
    // A quoted identifier closed by ";" loses both quotes and the ";".
    EXPECT_NE(out.find("Starting test for " + f.sPath + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Test #001 (mate.1 \tbm=     Qxf7+): \tQxf7+\t(100.00%)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Test #002 (bad.fen): invalid position, record skipped\n"), std::string::npos) << out;
    // The identifier is cut to its buffer: 98 characters after the opening quote.
    EXPECT_NE(out.find("Test #003 (" + std::string(98, 'x') + " \tbm=      Ra8+): \tRa8+\t(100.00%)\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Result = 2 of 2 (100.0%)\n"), std::string::npos) << out;
}

TEST_F(EpdRunner, AvoidMovesCountAsExpectedAndZeroSecondsMeansDepthOne) {
    // Only one legal move: played at once, and listed after "am" it still counts as a hit.
    TempFile f("7k/8/8/8/8/8/6q1/7K w - - am Kxg2; id \"forced\";\n");
    std::string out;
    EXPECT_EQ(Run(f.sPath, 0, &out), 1);
    EXPECT_EQ(nMaxDepth, 1);
    EXPECT_NE(out.find("Kxg2\t(100.00%)\n"), std::string::npos) << out;
}

TEST_F(EpdRunner, MissingAndEmptyFiles) {
    std::string out;
    EXPECT_EQ(Run("/nonexistent/dir/suite.epd", 1, &out), -1);
    EXPECT_EQ(out, "Cannot open EPD file /nonexistent/dir/suite.epd\n");

    TempFile empty("");
    EXPECT_EQ(Run(empty.sPath, 1, &out), 0);
    EXPECT_NE(out.find("Result = 0 of 0 (0.0%)\n"), std::string::npos) << out;
}

TEST_F(EpdRunner, ConsoleGameIsPutBack) {
    RunCommand("position startpos moves e2e4 e7e5 g1f3");
    const GameState before = game;
    const uint64_t nKey = pCurrent->nHashKey;
    TempFile f("6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - bm Ra8+; id \"m\";\n");
    std::string out;
    EXPECT_EQ(Run(f.sPath, 1, &out), 1);
    EXPECT_EQ(game.nGamePly, 3);
    EXPECT_EQ(game.nFullMove, before.nFullMove);
    for (int i = 0; i <= 3; ++i) EXPECT_EQ(game.aGameHistory[i], before.aGameHistory[i]) << i;
    EXPECT_EQ(pCurrent->nHashKey, nKey);
    RunCommand("new");
}

// Records mangled at random: cut, scrambled, stretched, bytes of any value. Searched to depth
// 1; the run must end normally with a count no larger than the records it read.
TEST_F(EpdRunner, MangledRecordsNeverCrash) {
    const std::string aBases[] = {
        "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id WAC.001;",
        "8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - bm Rxb2; id \"WAC.002\";",
        "r1b1k2r/ppppnppp/2n2q2/2b5/3NP3/2P1B3/PP3PPP/RN1QKB1R w KQkq - am Nxc6 Qd2; id x;",
    };
    std::mt19937 rng(7);
    std::string text;
    for (int i = 0; i < 40; ++i) {
        std::string s = aBases[rng() % 3];
        switch (i % 4) {
            case 0:
                s.resize(rng() % s.size());
                break;
            case 1:
                for (int k = 0; k < 4; ++k) s[rng() % s.size()] = "pk/ ;\"bm8Kx"[rng() % 11];
                break;
            case 2:
                s.insert(rng() % s.size(), std::string(rng() % 400, "x;\" b"[rng() % 5]));
                break;
            default:
                for (int k = 0; k < 3; ++k) s[rng() % s.size()] = char(rng() % 256);
                break;
        }
        text += s + "\n";
    }
    TempFile f(text);
    std::string out;
    const int n = Run(f.sPath, 0, &out);
    EXPECT_GE(n, 0);
    EXPECT_LE(n, 40);
    EXPECT_NE(out.find("Result = "), std::string::npos);
}

// The real binary: "test" runs as a worker job with a helper awake; "isready" is answered while
// it runs, and the end of the input lets it finish. The first record is not solved, so it takes
// its whole second (unless the helper finds it).
TEST(EpdTestCommand, RunsWithHelpersAndFinishesAtEndOfInput) {
    TempFile f("8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - bm Rxb2; id WAC.002;\n" + ThreeRecords());
    EngineRun run = RunEngine("setoption name NumThreads value 2\ntest " + f.sPath + " 1\nisready\n", 30000);
    EXPECT_FALSE(run.bTimedOut);
    EXPECT_EQ(run.nExitCode, 0) << run.sErr;
    const size_t nReady = run.sOut.find("readyok\n");
    // Whether a helper finds the deep first solution in time is left open.
    size_t nResult = run.sOut.find("Result = 2 of 3 (66.7%)\n");
    if (nResult == std::string::npos) nResult = run.sOut.find("Result = 3 of 3 (100.0%)\n");
    ASSERT_NE(nResult, std::string::npos) << run.sOut;
    EXPECT_LT(nReady, nResult) << run.sOut;
    EXPECT_NE(RunEngine("test\n").sOut.find("Usage: test EPD SECS\n"), std::string::npos);
}

}  // namespace
