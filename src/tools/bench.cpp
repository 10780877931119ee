// The benchmark suite: fixed positions through the real search, perft and bit-primitive timings.
#include "tools/bench.h"

#include <strings.h>

#include <bit>
#include <cstdio>

#include "core/log.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "platform/platform.h"
#include "search/hash.h"
#include "search/search.h"
#include "search/threads.h"
#include "tools/epdtest.h"
#include "tools/perft.h"
#include "tools/stats.h"

namespace {

struct BenchPosition {
    const char* szHeader;
    const char* szFen;
    int nSeconds;
    int nPawnHashKB;  // -1: the group's setting
};

struct BenchGroup {
    const char* szName;
    int nHashMB;
    int nPawnHashKB;
    int nEvalHashMB;
    int nShowBoard;  // -1: left as it is
    const BenchPosition* aTests;
    int nTests;
};

const char* const kPawnFen = "7r/4q1k1/1p1p1ppr/p1nRp3/P1P1P1BP/1P4P1/2Q3K1/3R4 b - - 0 1";

const BenchPosition aPawnTests[] = {
    {"\nPAWN - No Pawn Hash Benchmark Test 1/5 (IQ.1033 @10 sec, bm=f5)\n", kPawnFen, 10, 0},
    {"\nPAWN - 128KB Hash Benchmark Test 2/5 (IQ.1033 @10 sec, bm=f5)\n", kPawnFen, 10, 128},
    {"\nPAWN - 512KB Hash Benchmark Test 3/5 (IQ.1033 @10 sec, bm=f5)\n", kPawnFen, 10, 512},
    {"\nPAWN - 1MB Hash Benchmark Test 4/5 (IQ.1033 @10 sec, bm=f5)\n", kPawnFen, 10, 1024},
};

const BenchPosition aWacTests[] = {
    {"\nWAC - Benchmark Test WAC 1/3 (#2 @10 sec, bm=Rxb2)\n",
     "8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - 0 1", 10, -1},
    {"\nWAC - Benchmark Test WAC 2/3 (#86 @10 sec, bm=Ng4+)\n",
     "8/p7/1ppk1n2/5ppp/P1PP4/2P1K1P1/5N1P/8 b - - 0 1", 10, -1},
    {"\nWAC - Benchmark Test WAC 3/3 (#92 @10 sec, bm=Bxg4)\n",
     "r4rk1/1p2ppbp/p2pbnp1/q7/3BPPP1/2N2B2/PPP4P/R2Q1RK1 b - - 0 1", 10, -1},
};

const BenchPosition aM20Tests[] = {
    {"\nM20 - Benchmark Test Mate in 20 (@30 sec, bm=exf5)\n",
     "2r2k2/1R5R/6r1/5p1N/4P2p/1p3P2/5K2/4n3 w - - 1 49", 30, -1},
};

const BenchPosition aPgoTests[] = {
    {"\nPGO - Profile Guided Optimization Test 1/10 (@5 sec, bm=Nf6+)\n",
     "1rbq1rk1/p1b1nppp/1p2p3/8/1B1pN3/P2B4/1P3PPP/2RQ1R1K w - -", 5, -1},
    {"\nPGO - Profile Guided Optimization Test 2/10 (@5 sec, bm=Rxb2)\n",
     "r1b1r1k1/1ppn1p1p/3pnqp1/8/p1P1P3/5P2/PbNQNBPP/1R2RB1K w - -", 5, -1},
    {"\nPGO - Profile Guided Optimization Test 3/10 (@5 sec, am=Rxa2)\n",
     "r5k1/3n1ppp/1p6/3p1p2/3P1B2/r3P2P/PR3PP1/2R3K1 b - -", 5, -1},
    {"\nPGO - Profile Guided Optimization Test 4/10 (@5 sec, bm=Bxe4)\n",
     "2r2rk1/1bqnbpp1/1p1ppn1p/pP6/N1P1P3/P2B1N1P/1B2QPP1/R2R2K1 b - -", 5, -1},
    {"\nPGO - Profile Guided Optimization Test 5/10 (@5 sec, bm=Nf5)\n",
     "q3rn1k/2QR4/pp2pp2/8/P1P5/1P4N1/6n1/6K1 w - -", 5, -1},
    {"\nPGO - Profile Guided Optimization Test 6/10 (@5 sec, bm=Rd6)\n",
     "6k1/p3q2p/1nr3pB/8/3Q1P2/6P1/PP5P/3R2K1 b - -", 5, -1},
    {"\nPGO - Profile Guided Optimization Test 7/10 (@5 sec, bm=Nxd5)\n",
     "1r4k1/7p/5np1/3p3n/8/2NB4/7P/3N1RK1 w - -", 5, -1},
    {"\nPGO - Profile Guided Optimization Test 8/10 (@5 sec, bm=b4)\n",
     "8/4p3/p2p4/2pP4/2P1P3/1P4k1/1P1K4/8 w - -", 5, -1},
    {"\nPGO - Profile Guided Optimization Test 9/10 (@5 sec, bm=Bg4)\n",
     "8/5p2/pk2p3/4P2p/2b1pP1P/P3P2B/8/7K w - -", 5, -1},
    {"\nPGO - Profile Guided Optimization Test 10/10 (@5 sec, bm=Kf2)\n",
     "8/3rp1kp/1rp3p1/p1R1P3/P2P4/5P2/6KP/3R4 w - -", 5, -1},
};

const BenchGroup aSearchGroups[] = {
    {"PAWN", 2, -1, 2, 0, aPawnTests, 4},
    {"WAC", 32, 512, 16, 1, aWacTests, 3},
    {"M20", 32, 512, 16, -1, aM20Tests, 1},
    {"PGO", 32, 512, 16, -1, aPgoTests, 10},
};

// Longest group name kept (a longer one matches no group anyway).
constexpr int kBenchTypeSize = 100;

// Arguments of the "bench" job: the command's words are gone once the command returns.
char szJobType[kBenchTypeSize];

// The timing loops' results land here, so that the compiler must compute every one of them.
volatile uint64_t nBitSink;

// Only a tool job can be told to stop; a direct call runs to the end.
bool Aborted() {
    return ToolJobRunning() && ToolAborted();
}

bool Selected(const char* szType, const char* szGroup) {
    return !*szType || strcasecmp(szType, szGroup) == 0;
}

// Searches every position of the group; adds their search seconds and nodes to the totals.
void RunSearchGroup(const BenchGroup& g, double* pdTime, uint64_t* pnNodes) {
    nHashMB = g.nHashMB;
    nEvalHashMB = g.nEvalHashMB;
    if (g.nPawnHashKB >= 0) nPawnHashKB = g.nPawnHashKB;
    if (g.nShowBoard >= 0) bShowBoard = g.nShowBoard != 0;
    for (int i = 0; i < g.nTests && !Aborted(); ++i) {
        const BenchPosition& t = g.aTests[i];
        if (t.nPawnHashKB >= 0) nPawnHashKB = t.nPawnHashKB;
        OutputLine("%s", t.szHeader);
        if (!RunBenchTest(t.szFen, t.nSeconds)) continue;
        SearchStats s;
        GatherSearchStats(&s);
        *pdTime += s.dSearchTime;
        *pnNodes += s.nNodes + s.nQNodes;
    }
}

void RunPerftTimed(const char* szHeader, bool bEval) {
    OutputLine("%s", szHeader);
    WorkerSlot& slot = aWorkers[0];
    if (!ParseFen(&slot.posJob, &game, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1")) return;
    slot.nPerftDepth = 6;
    // One thread, as the header says, so that the figures compare across NumThreads settings.
    const int nSaved = nNumThreads;
    nNumThreads = 1;
    PerftReport(&slot, bEval);
    nNumThreads = nSaved;
}

template <class F>
void TimeBitPrimitive(const char* szHeader, const char* szLine, int64_t nLoops, F primitive) {
    OutputLine("%s", szHeader);
    for (int n = 0; n <= 28 && !Aborted(); n += 4) {
        // Read anew every time, so that the call cannot be hoisted out of the loop.
        volatile Bitboard bb = RandomBits(n);
        const int64_t t0 = NowMs();
        uint64_t nSum = 0;
        for (int64_t i = 0; i < nLoops; ++i) nSum += uint64_t(primitive(Bitboard(bb)));
        nBitSink = nSum;
        OutputLine(szLine, n, double(NowMs() - t0) / 1000.0);
    }
}

void BenchJob(void*) {
    RunBenchmark(szJobType);
}

}  // namespace

bool RunBenchTest(const char* szFen, int nSeconds) {
    Position pos;
    NewGame(&pos);
    AllocMissingHashTables();
    if (!ParseFen(&pos, &game, szFen)) return false;
    // The position is the root of the game: repetitions count from here.
    if (game.nGamePly < 0 || game.nGamePly > kMaxGamePly) game.nGamePly = 0;
    game.aGameHistory[game.nGamePly] = RepetitionKey(pos);
    aThreadMarkers[0].nLastIrreversible = game.nGamePly;
    if (bShowBoard) PrintBoard(&pos, stdout);

    // Fixed time per move, as "st" sets it.
    SetMoveBudget(WHITE, nSeconds);
    SetMoveBudget(BLACK, nSeconds);
    bFixedTime = true;
    nNodeLimit = 0;
    AllocateTime();

    nEngineSide = pos.bSideToMove;
    ResetSearchStats();
    // A "quit" that came before the flag was cleared must still end the run.
    bStopSearch.exchange(false);
    if (Aborted()) return false;
    PvLine line;
    IterativeDeepening(&pos, nMaxDepth, &line, bShowBoard);
    PrintStatsReport();
    return true;
}

void RunBitTimings(int64_t nLoops) {
    TimeBitPrimitive("\nASM - Intrinsics Benchmark Test 1/3 (LSB)\n", "GetWhiteBit[%d] time = %.2lf\n",
                     nLoops, [](Bitboard b) { return std::countr_zero(b); });
    if (Aborted()) return;
    TimeBitPrimitive("\nASM - Intrinsics Benchmark Test 2/3 (MSB)\n", "GetBlackBit[%d] time = %.2lf\n",
                     nLoops, [](Bitboard b) { return 63 - std::countl_zero(b); });
    if (Aborted()) return;
    TimeBitPrimitive("\nASM - Intrinsics Benchmark Test 3/3 (Count)\n", "CountBits[%d] time = %.2lf\n",
                     nLoops, [](Bitboard b) { return std::popcount(b); });
}

void RunBenchmark(const char* szType) {
    char szTypeCopy[kBenchTypeSize];
    snprintf(szTypeCopy, sizeof(szTypeCopy), "%s", szType ? szType : "");
    // Written only when on: "bench" has switched it off already, and the input side may be
    // reading it ("uci") while this job runs.
    if (bOwnBook) bOwnBook = false;
    SaveConsoleGame();

    bool bKnown = Selected(szTypeCopy, "PERFT") || Selected(szTypeCopy, "ASM");
    for (const BenchGroup& g : aSearchGroups) bKnown |= Selected(szTypeCopy, g.szName);
    if (!bKnown) OutputLine("Unknown benchmark group %s (PAWN, WAC, M20, PGO, PERFT or ASM)\n", szTypeCopy);

    double dTime = 0.0;
    uint64_t nNodes = 0;
    for (const BenchGroup& g : aSearchGroups)
        if (!Aborted() && Selected(szTypeCopy, g.szName)) RunSearchGroup(g, &dTime, &nNodes);
    if (!Aborted() && Selected(szTypeCopy, "PERFT")) {
        RunPerftTimed("\nPERFT - Benchmark Performance Test 1/2 (6 plies, 1 thread)\n", false);
        if (!Aborted())
            RunPerftTimed("\nPERFT - Benchmark Performance Test w Eval 2/2 (6 plies, 1 thread)\n", true);
    }
    if (!Aborted() && Selected(szTypeCopy, "ASM")) RunBitTimings(kBenchBitLoops);

    RestoreConsoleGame();
    nEngineSide = -1;
    bStopSearch = false;
    if (Aborted()) {
        OutputLine("\nBenchmark stopped\n");
        return;
    }
    OutputLine("\nAvg NPS = %.0lf\n", dTime > 0 ? double(nNodes) / dTime : 0.0);
    OutputLine("\nBenchmark Complete\n");
}

void BenchCommand(const char* szType) {
    snprintf(szJobType, sizeof(szJobType), "%s", szType ? szType : "");
    // The book would answer some positions without a search; it stays off afterwards.
    bOwnBook = false;
    StartToolJob(BenchJob, nullptr);
}
