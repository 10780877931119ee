// Bench signature: a single-thread fixed-depth search visits the same nodes in every run, so the
// node count summed over a fixed set of positions identifies the search's behaviour. Any change
// to move ordering, pruning, extensions, evaluation or the tables moves it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "support/engine_process.h"

namespace {

constexpr int kSignatureDepth = 7;

// Opening, open middle game, tactics, a closed centre, a rook ending and a pawn race.
const char* const kSignatureFens[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R w KQ - 0 8",
    "r1b2rk1/2q1bppp/p2p1n2/np2p3/3PP3/5N1P/PPBN1PP1/R1BQR1K1 w - - 0 13",
    "8/8/4k3/3r4/5R2/4K3/6P1/8 w - - 0 1",
    "8/5pk1/8/8/8/8/1P3K2/8 b - - 0 1",
};

// One engine run: each position after "ucinewgame" with fixed tables, one thread, no book.
// Returns the node total of each search (the last iteration line before its best move).
std::vector<uint64_t> SearchNodes(const std::string& sDepthCommand, const char* szGo,
                                  const char* szStyle = "Strong") {
    std::string script =
        "uci\n"
        "setoption name SearchStyle value " +
        std::string(szStyle) +
        "\n"
        "setoption name OwnBook value false\n"
        "setoption name NumThreads value 1\n"
        "setoption name Hash value 16\n"
        "setoption name PawnHash value 1024\n"
        "setoption name EvalHash value 4\n"
        "setoption name NumBeers value 0\n";
    // The first design is its search with its own weights.
    if (std::string(szStyle) == "Classic") script += "setoption name EvalWeights value Classic\n";
    for (const char* fen : kSignatureFens) {
        script += "ucinewgame\n";
        script += std::string("position fen ") + fen + "\n";
        script += sDepthCommand + "\n";
        script += std::string(szGo) + "\n";
    }
    // Waits for the last search: the end of the input would stop it.
    script += "ucinewgame\n";
    const EngineRun run = RunEngine(script, 120000 * kSlow);
    EXPECT_EQ(run.nExitCode, 0) << run.sErr;
    std::vector<uint64_t> out;
    static const std::regex re("^info score cp -?\\d+.* nodes (\\d+) .*");
    uint64_t nLast = 0;
    for (const std::string& l : SplitLines(run.sOut)) {
        std::smatch m;
        if (std::regex_match(l, m, re)) nLast = std::stoull(m[1]);
        if (l.rfind("bestmove ", 0) == 0) {
            out.push_back(nLast);
            nLast = 0;
        }
    }
    return out;
}

uint64_t Sum(const std::vector<uint64_t>& v) {
    uint64_t n = 0;
    for (uint64_t x : v) n += x;
    return n;
}

TEST(Signature, FixedDepthNodeCountsAreTheRecordedOnes) {
    const std::string sd = "sd " + std::to_string(kSignatureDepth);
    const std::vector<uint64_t> first = SearchNodes(sd, "go movetime 3600000");
    ASSERT_EQ(first.size(), std::size(kSignatureFens));
    for (size_t i = 0; i < first.size(); ++i) EXPECT_GT(first[i], 0u) << kSignatureFens[i];

    // Deterministic: a second run, and "go depth" instead of "sd", visit the same nodes.
    EXPECT_EQ(SearchNodes(sd, "go wtime 3600000 btime 3600000 movestogo 1"), first);
    EXPECT_EQ(SearchNodes("", ("go depth " + std::to_string(kSignatureDepth)).c_str()), first);

    // The recorded signature. It changes with any change of the search's behaviour; when such
    // a change is intended, update this number deliberately, in the same commit, and say so.
    constexpr uint64_t kSignature = 81420;
    EXPECT_EQ(Sum(first), kSignature);
    // The first design's, kept selectable.
    EXPECT_EQ(Sum(SearchNodes(sd, "go movetime 3600000", "Classic")), 233135u);
}

// The command-line bench that test frameworks run: its last line is "N nodes M nps", N the
// same on every run. The recorded count is that of depth 7 (the default depth runs ~10 s);
// "bench" at the default depth gives the signature that commit messages quote.
TEST(Signature, CommandLineBenchCountsTheSameNodesEveryRun) {
    constexpr uint64_t kBenchAtDepth7 = 477802;
    auto Count = [] {
        const EngineRun run = RunEngine("", 120000 * kSlow, "", {"bench", "7"});
        EXPECT_EQ(run.nExitCode, 0) << run.sErr;
        const std::vector<std::string> lines = SplitLines(run.sOut);
        EXPECT_FALSE(lines.empty());
        std::smatch m;
        static const std::regex last("^(\\d+) nodes (\\d+) nps$");
        const std::string sLast = lines.empty() ? "" : lines.back();
        EXPECT_TRUE(std::regex_match(sLast, m, last)) << sLast;
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.rfind("Position ", 0) == 0; }),
                  41);
        return m.empty() ? uint64_t(0) : uint64_t(std::stoull(m[1]));
    };
    const uint64_t n = Count();
    EXPECT_EQ(Count(), n);
    EXPECT_EQ(n, kBenchAtDepth7);
}

}  // namespace
