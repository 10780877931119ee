// Search statistics: per-thread records, the compact count, the "stats" report and the CSV log.
#include "eval/material.h"
#include "search/statslog.h"
#include "tools/stats.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "console/console.h"
#include "core/settings.h"
#include "search/hash.h"

namespace {

// The report reads the table sizes and the thread count: give them known values, put them
// back afterwards.
class StatsReport : public testing::Test {
protected:
    void SetUp() override {
        nSavedHash = nHashMB;
        nSavedPawn = nPawnHashKB;
        nSavedEval = nEvalHashMB;
        nSavedThreads = nNumThreads;
        nSavedMaterial = nMaterialTableEntries;
        nSavedSeed = nSeed;
        bSavedLog = bLogStats;
        nHashMB = 1;
        nPawnHashKB = 1024;
        nEvalHashMB = 16;
        ASSERT_TRUE(AllocTransTable(false));
        ASSERT_TRUE(AllocPawnHash(false));
        ASSERT_TRUE(AllocEvalHash(false));
        nNumThreads = 1;
        nMaterialTableEntries = 2048;
        ClearSearchStats();
    }
    void TearDown() override {
        ReleaseHashTables();
        ResetHashFills();
        ClearSearchStats();
        nHashMB = nSavedHash;
        nPawnHashKB = nSavedPawn;
        nEvalHashMB = nSavedEval;
        nNumThreads = nSavedThreads;
        nMaterialTableEntries = nSavedMaterial;
        nSeed = nSavedSeed;
        bLogStats = bSavedLog;
    }

    int nSavedHash = 0, nSavedPawn = 0, nSavedEval = 0, nSavedThreads = 1, nSavedSeed = 0;
    uint64_t nSavedMaterial = 0;
    bool bSavedLog = false;
};

// A record with a round share for every line of the report.
SearchStats KnownRecord() {
    SearchStats s;
    s.nNodes = 6000;
    s.nQNodes = 4000;
    s.nRecognizerCalls = 12;
    s.dSearchTime = 2.0;
    s.nLastIteration = 9;
    s.anFailHighAt[1] = 90;
    s.anFailHighAt[2] = 6;
    s.anFailHighAt[3] = 3;
    s.anFailHighAt[4] = 1;
    s.anFailHighAt[6] = 50;  // after a gap: neither shown nor counted
    s.nNullCuts = 30;
    s.nNullFails = 10;
    s.nLazyExits1 = 10;
    s.nLazyExits2 = 30;
    s.nLazyPasses = 60;
    s.nFutilityPrunes = 50;
    s.nExtPrunes = 30;
    s.nMatePrunes = 20;
    s.nRazorReductions = 25;
    s.nKingReductions = 5;
    s.nLmrReductions = 70;
    s.nCheckExts = 400;
    s.nRecaptureExts = 300;
    s.nPawnExts = 200;
    s.nSingleReplyExts = 50;
    s.nKingExts = 50;
    s.nZwSearches = 20000;
    s.nReSearches = 100;
    s.nReReductions = 50;
    s.nHashFills = 2184;
    s.anProbes[0] = 1000;
    s.anProbeCuts[0] = 200;
    s.anProbeMoves[0] = 300;
    s.anProbeMisses[0] = 500;
    s.anWrites[0] = 400;
    s.anOverwrites[0] = 100;
    s.anProbes[1] = 20000;
    s.anProbeMisses[1] = 20000;
    s.nPawnHashHits = 900;
    s.nPawnHashMisses = 100;
    s.nEvalHashHits = 250;
    s.nEvalHashMisses = 750;
    s.nEvalHashOverwrites = 75;
    s.nMaterialHits = 999;
    s.nMaterialMisses = 1;
    return s;
}

const std::string kRule = std::string(80, '-') + "\n";

// ---------------------------------------------------------------------------------------

TEST(FormatCount, ThresholdsAndSuffixes) {
    EXPECT_STREQ(FormatCount(0).sz, "0");
    EXPECT_STREQ(FormatCount(10000).sz, "10000");
    EXPECT_STREQ(FormatCount(10001).sz, "10.0K");
    EXPECT_STREQ(FormatCount(123456).sz, "123.5K");
    EXPECT_STREQ(FormatCount(10000000).sz, "10000.0K");
    EXPECT_STREQ(FormatCount(10000001).sz, "10.0M");
    EXPECT_STREQ(FormatCount(10000000000ULL).sz, "10000.0M");
    EXPECT_STREQ(FormatCount(10000000001ULL).sz, "10.0B");
    // The largest count needs 14 characters: no overflow.
    EXPECT_STREQ(FormatCount(UINT64_MAX).sz, "18446744073.7B");
}

TEST_F(StatsReport, KnownCountersGiveTheKnownReport) {
    const std::string expected =
        kRule +
        "Node Counts\n"
        "  Total Nodes = 10000 (6000 + 4000 40.0% Q nodes) Recog 12\n"
        "  Avg NPS = 5000 (10000 nodes in 2.0 secs)\n"
        "Cutoffs\n"
        "  Fail highs = 90.0% 6.0% 3.0% 1.0%\n"
        "  Null moves = 40, Vers = 0.0% Cuts = 75.0%\n"
        "  Lazy eval  = 10.0% + 30.0%\n"
        "Prunes =     100, Fut = 50.0% Ext = 30.0% Mat = 20.00%\n"
        "Reds   =     100, LMR = 70.0% Raz = 25.0% Kng =  5.00%\n"
        "Exts   =    1000, Chk = 40.0% Cap = 30.0% Kng =  5.00% Pwn = 20.00% Sng = 5.000%\n"
        "ZW Searches = 20.0K, Re-cut = 0.500% Re-red = 0.250%\n"
        "Hashing (21845 Entries in 1.0 MB Used = 10.0%)\n"
        "  Probes[0] =    1000 Hits 50.000% (Cuts 40.00% Moves 60.0%)\n"
        "  Probes[1] =   20.0K Hits  0.000% (Cuts 0.00% Moves 0.0%)\n"
        "  Probes[2] =       0 Hits  0.000% (Cuts 0.00% Moves 0.0%)\n"
        "  Probes[3] =       0 Hits  0.000% (Cuts 0.00% Moves 0.0%)\n"
        "  Total =     200 Cuts     300 Moves\n"
        "  Pawn Hash (32768 in 768 KB) Hits/Misses = 900/100 (90.0%)\n"
        "  Eval Hash (1048576 in 16 MB) Hits/Misses = 250/750 (25.0%)\n"
        "  Material Hash (2048 in 72 KB) Hits/Misses = 999/1 (99.9%)\n" +
        kRule;
    EXPECT_EQ(FormatSearchStats(KnownRecord()), expected);
}

TEST_F(StatsReport, SeveralThreadsShowTheirShares) {
    nNumThreads = 3;
    SearchStats s = KnownRecord();
    s.anThreadNodes[0] = 3000;
    s.anThreadNodes[1] = 2000;
    s.anThreadNodes[2] = 1000;
    const std::string text = FormatSearchStats(s);
    EXPECT_NE(text.find("\n  Total Nodes = 10000 (50.0% 33.3% 16.7% ) Recog 12\n"), std::string::npos)
        << text;
}

TEST_F(StatsReport, EmptyRecordAndMissingTablesDivideByNothing) {
    ReleaseHashTables();
    nMaterialTableEntries = 0;
    const std::string expected =
        kRule +
        "Node Counts\n"
        "  Total Nodes = 0 (0 + 0 0.0% Q nodes) Recog 0\n"
        "  Avg NPS = 0 (0 nodes in 0.0 secs)\n"
        "Cutoffs\n"
        "  Fail highs =\n"
        "  Null moves = 0, Vers = 0.0% Cuts = 0.0%\n"
        "  Lazy eval  = 0.0% + 0.0%\n"
        "Prunes =       0, Fut =  0.0% Ext =  0.0% Mat =  0.00%\n"
        "Reds   =       0, LMR =  0.0% Raz =  0.0% Kng =  0.00%\n"
        "Exts   =       0, Chk =  0.0% Cap =  0.0% Kng =  0.00% Pwn = 0.00% Sng = 0.000%\n"
        "ZW Searches = 0, Re-cut = 0.000% Re-red = 0.000%\n"
        "Hashing (0 Entries in 0.0 MB Used = 0.0%)\n"
        "  Probes[0] =       0 Hits  0.000% (Cuts 0.00% Moves 0.0%)\n"
        "  Probes[1] =       0 Hits  0.000% (Cuts 0.00% Moves 0.0%)\n"
        "  Probes[2] =       0 Hits  0.000% (Cuts 0.00% Moves 0.0%)\n"
        "  Probes[3] =       0 Hits  0.000% (Cuts 0.00% Moves 0.0%)\n"
        "  Total =       0 Cuts       0 Moves\n"
        "  Material Hash (0 in 0 KB) Hits/Misses = 0/0 (0.0%)\n" +
        kRule;
    EXPECT_EQ(FormatSearchStats(SearchStats{}), expected);
}

TEST_F(StatsReport, OnlyFailHighsAtTheFirstMoveShowOneFullShare) {
    SearchStats s;
    s.anFailHighAt[1] = 7;
    EXPECT_NE(FormatSearchStats(s).find("\n  Fail highs = 100.0%\n"), std::string::npos);
    // More than five moves: five shares shown, all counted.
    for (int i = 1; i <= 10; ++i) s.anFailHighAt[i] = 10;
    EXPECT_NE(FormatSearchStats(s).find("\n  Fail highs = 10.0% 10.0% 10.0% 10.0% 10.0%\n"),
              std::string::npos);
}

// ---------------------------------------------------------------------------------------
// Records.

TEST_F(StatsReport, ThreadRecordsAreSummedAndCleared) {
    ThreadStats(0).nNodes += 300;
    ThreadStats(1).nNodes += 100;
    ThreadStats(1).nSelDepth.Max(17);
    ThreadStats(0).nSelDepth.Max(12);
    ThreadStats(0).dSearchTime = 1.5;
    Stats().nEvalHashHits++;  // this thread's own record
    Stats().nEvalHashHits++;
    CountFailHigh(ThreadStats(2), 1);
    CountFailHigh(ThreadStats(2), 500);  // late moves share the last entry
    // Fills are counted by the table.
    Position p{};
    p.nHashKey = 0x1234567800000042ULL;
    StoreHash(&p, 1, 0, -1, 1, 0, false, false);

    SearchStats s;
    GatherSearchStats(&s);
    EXPECT_EQ(s.nNodes.Get(), 400u);
    EXPECT_EQ(s.anThreadNodes[0].Get(), 300u);
    EXPECT_EQ(s.anThreadNodes[1].Get(), 100u);
    EXPECT_EQ(s.nSelDepth.Get(), 17u);
    EXPECT_EQ(s.dSearchTime.Get(), 1.5);
    EXPECT_EQ(s.nEvalHashHits.Get(), 2u);
    EXPECT_EQ(s.anFailHighAt[1].Get(), 1u);
    EXPECT_EQ(s.anFailHighAt[kFailHighSlots - 1].Get(), 1u);
    EXPECT_EQ(s.nHashFills.Get(), 1u);
    EXPECT_EQ(s.anWrites[0].Get(), 1u);

    SearchStats acc;
    AddSearchStats(&acc);
    AddSearchStats(&acc);
    EXPECT_EQ(acc.nNodes.Get(), 800u);
    EXPECT_EQ(acc.anThreadNodes[1].Get(), 200u);
    EXPECT_EQ(acc.dSearchTime.Get(), 3.0);
    EXPECT_EQ(acc.nSelDepth.Get(), 17u);

    ClearSearchStats();
    GatherSearchStats(&s);
    EXPECT_EQ(s.nNodes.Get(), 0u);
    EXPECT_EQ(s.nEvalHashHits.Get(), 0u);
    EXPECT_EQ(s.dSearchTime.Get(), 0.0);
    EXPECT_EQ(s.nHashFills.Get(), 1u);  // the fill count belongs to the current game move
}

// Workers count into their own records while another thread reads the totals (run under TSan).
TEST_F(StatsReport, CountingFromSeveralThreadsLosesNothing) {
    constexpr int kPerThread = 100000;
    std::atomic<bool> bDone{false};
    std::thread reader([&] {
        while (!bDone.load()) {
            SearchStats s;
            GatherSearchStats(&s);
            EXPECT_LE(s.nNodes.Get(), uint64_t(kMaxThreads) * kPerThread);
        }
    });
    std::vector<std::thread> workers;
    for (int t = 0; t < kMaxThreads; ++t)
        workers.emplace_back([t] {
            BindStatsThread(t);
            for (int i = 0; i < kPerThread; ++i) {
                ThreadStats(t).nNodes++;
                Stats().nQNodes++;
            }
        });
    for (auto& w : workers) w.join();
    bDone = true;
    reader.join();
    SearchStats s;
    GatherSearchStats(&s);
    EXPECT_EQ(s.nNodes.Get(), uint64_t(kMaxThreads) * kPerThread);
    EXPECT_EQ(s.nQNodes.Get(), uint64_t(kMaxThreads) * kPerThread);
    for (int t = 0; t < kMaxThreads; ++t) EXPECT_EQ(s.anThreadNodes[t].Get(), uint64_t(kPerThread));
}

// ---------------------------------------------------------------------------------------
// CSV log.

std::string ReadAll(FILE* f) {
    fflush(f);
    rewind(f);
    std::string text;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof(buf), f)) > 0;) text.append(buf, n);
    return text;
}

const char* kColumns =
    "FEN Searched,Move,Score,Time,Depth,Nodes,Q Nodes,Null Cuts %,Lazy 1 %,Lazy 2 %,Futility Prunes,Ext "
    "Prunes,Mate,LMR,Razors,King,Check Exts,Recaps,Pawn Exts,Single Reply Exts,King Exts,Hash Used %"
    ",Probes[0],Cuts[0] %,Moves[0] %,Miss[0] %,Writes[0],Overwrite[0] %"
    ",Probes[1],Cuts[1] %,Moves[1] %,Miss[1] %,Writes[1],Overwrite[1] %"
    ",Probes[2],Cuts[2] %,Moves[2] %,Miss[2] %,Writes[2],Overwrite[2] %"
    ",Probes[3],Cuts[3] %,Moves[3] %,Miss[3] %,Writes[3],Overwrite[3] %,Pawn Hit %";

TEST_F(StatsReport, CsvHeader) {
    nSeed = 1234567;
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    WriteStatsCsvHeader(f);
    const std::string text = ReadAll(f);
    fclose(f);
    const std::string first = "QM v1.04 - Compiled on " __DATE__ " at " __TIME__ "\n";
    ASSERT_EQ(text.substr(0, 23), first.substr(0, 23));
    const std::string rest = text.substr(text.find('\n') + 1);
    EXPECT_EQ(rest,
              std::string("Num Threads = 1\nTrans Hash = 1.0 MB\nPawn Hash = 768.0 KB\nEval Hash = 16.0 MB\n"
                          "Seed = 1234567\n") +
                  kColumns + ", Eval Hash %, Eval Hash Overwrite %\n");

    FreeEvalHash();  // no eval columns without the table
    f = tmpfile();
    WriteStatsCsvHeader(f);
    const std::string noEval = ReadAll(f);
    fclose(f);
    EXPECT_NE(noEval.find(std::string("Eval Hash = 0.0 MB\n")), std::string::npos);
    EXPECT_EQ(noEval.substr(noEval.size() - strlen(kColumns) - 1), std::string(kColumns) + "\n");
}

TEST_F(StatsReport, CsvLine) {
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    WriteStatsCsvLine(f, KnownRecord(), "8/8/8/8/8/8/8/K1k5 w - - 0 1", "a1a2", -35);
    // Hash use is per slot here: 2184 fills of 4 * 21845 slots.
    EXPECT_EQ(ReadAll(f),
              "8/8/8/8/8/8/8/K1k5 w - - 0 "
              "1,a1a2,-35,2.000,9,6000,4000,75.0,10.0,30.0,50,30,20,70,25,5,400,300,200,50,"
              "50,2.5"
              ",1000,20.0,30.0,50.0,400,25.0"
              ",20000,0.0,0.0,100.0,0,0.0"
              ",0,0.0,0.0,0.0,0,0.0"
              ",0,0.0,0.0,0.0,0,0.0"
              ",90.0,25.0,10.0\n");
    fclose(f);
}

TEST_F(StatsReport, StatsFileName) {
    struct tm t {};
    t.tm_year = 2009 - 1900;
    t.tm_mon = 10;
    t.tm_mday = 7;
    t.tm_hour = 11;
    t.tm_min = 23;
    t.tm_sec = 4;
    t.tm_isdst = -1;
    char buf[64];
    FormatStatsFileName(buf, sizeof(buf), mktime(&t));
    EXPECT_STREQ(buf, "QM_1.04_20091107_112304.stats.csv");
    char tiny[8];
    FormatStatsFileName(tiny, sizeof(tiny), mktime(&t));  // truncated, never overrun
    EXPECT_STREQ(tiny, "QM_1.04");
}

TEST_F(StatsReport, LogSearchStatsWritesOneFilePerGame) {
    namespace fs = std::filesystem;
    const fs::path old = fs::current_path();
    const fs::path dir = fs::temp_directory_path() / ("qm_stats_" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
    const bool bSavedHeader = bStatsHeaderWritten;

    bLogStats = false;
    bStatsHeaderWritten = false;
    LogSearchStats("fen", "e2e4", 10);
    EXPECT_TRUE(fs::is_empty(dir));

    bLogStats = true;
    ThreadStats(0).nNodes = 5;
    LogSearchStats("fen1", "e2e4", 10);
    EXPECT_TRUE(bStatsHeaderWritten);
    LogSearchStats("fen2", "d2d4", -3);
    const std::string name = szStatsFileName;
    EXPECT_EQ(name.rfind("QM_1.04_", 0), 0u) << name;
    EXPECT_EQ(name.size(), strlen("QM_1.04_20091107_112304.stats.csv")) << name;
    std::ifstream in(dir / name);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    const size_t nLines = size_t(std::count(text.begin(), text.end(), '\n'));
    EXPECT_EQ(nLines, 9u);  // six header lines, the columns, two searches
    EXPECT_NE(text.find("\nfen1,e2e4,10,0.000,0,5,0,"), std::string::npos) << text;
    EXPECT_NE(text.find("\nfen2,d2d4,-3,"), std::string::npos) << text;
    EXPECT_EQ(text.find("QM v1.04"), text.rfind("QM v1.04"));  // one header

    bStatsHeaderWritten = bSavedHeader;
    fs::current_path(old);
    fs::remove_all(dir);
}

}  // namespace
