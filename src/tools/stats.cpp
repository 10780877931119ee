#include "tools/stats.h"

#include <cinttypes>
#include <cstdarg>

#include "console/console.h"
#include "console/options.h"
#include "search/hash.h"

StatsRecord aStatsRecords[kStatsRecords];
thread_local constinit int nStatsRecord = -1;

namespace {

std::atomic<int> nNextSpareRecord{0};

// Calls f(acc field, source field) for every counter of the record, so that clearing,
// summing and accumulating cannot miss one. The three "last search" values (time, iteration,
// selective depth) are handled by the callers.
template <class F>
void ForEachCounter(SearchStats& a, const SearchStats& b, F f) {
    f(a.nNodes, b.nNodes);
    for (int i = 0; i < kMaxThreads; ++i) f(a.anThreadNodes[i], b.anThreadNodes[i]);
    f(a.nQNodes, b.nQNodes);
    f(a.nHashFills, b.nHashFills);
    f(a.nLazyExits1, b.nLazyExits1);
    f(a.nLazyExits2, b.nLazyExits2);
    f(a.nLazyPasses, b.nLazyPasses);
    for (int i = 0; i < kFailHighSlots; ++i) f(a.anFailHighAt[i], b.anFailHighAt[i]);
    f(a.nNullCuts, b.nNullCuts);
    f(a.nNullFails, b.nNullFails);
    f(a.nNullVerifications, b.nNullVerifications);
    f(a.nFutilityPrunes, b.nFutilityPrunes);
    f(a.nExtPrunes, b.nExtPrunes);
    f(a.nMatePrunes, b.nMatePrunes);
    f(a.nRazorReductions, b.nRazorReductions);
    f(a.nKingReductions, b.nKingReductions);
    f(a.nLmrReductions, b.nLmrReductions);
    f(a.nCheckExts, b.nCheckExts);
    f(a.nRecaptureExts, b.nRecaptureExts);
    f(a.nPawnExts, b.nPawnExts);
    f(a.nSingleReplyExts, b.nSingleReplyExts);
    f(a.nKingExts, b.nKingExts);
    for (int i = 0; i < 4; ++i) {
        f(a.anProbes[i], b.anProbes[i]);
        f(a.anProbeCuts[i], b.anProbeCuts[i]);
        f(a.anProbeMoves[i], b.anProbeMoves[i]);
        f(a.anProbeMisses[i], b.anProbeMisses[i]);
        f(a.anWrites[i], b.anWrites[i]);
        f(a.anOverwrites[i], b.anOverwrites[i]);
    }
    f(a.nPawnHashHits, b.nPawnHashHits);
    f(a.nPawnHashMisses, b.nPawnHashMisses);
    f(a.nEvalHashHits, b.nEvalHashHits);
    f(a.nEvalHashMisses, b.nEvalHashMisses);
    f(a.nEvalHashOverwrites, b.nEvalHashOverwrites);
    f(a.nMaterialHits, b.nMaterialHits);
    f(a.nMaterialMisses, b.nMaterialMisses);
    f(a.nRecognizerCalls, b.nRecognizerCalls);
    f(a.nZwSearches, b.nZwSearches);
    f(a.nReSearches, b.nReSearches);
    f(a.nReReductions, b.nReReductions);
}
// 123 counters above plus the three "last search" values, all eight bytes: a field added to
// the record without a line above trips this.
static_assert(sizeof(SearchStats) == 8 * 126, "every counter must be listed in ForEachCounter");

double Pct(uint64_t n, uint64_t nTotal) {
    return nTotal ? double(n) * 100.0 / double(nTotal) : 0.0;
}

// Appends one formatted line to the report.
void AppendF(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void AppendF(std::string* out, const char* format, ...) {
    char buf[512];
    va_list args;
    va_start(args, format);
    const int n = vsnprintf(buf, sizeof(buf), format, args);
    va_end(args);
    if (n > 0) out->append(buf, size_t(n) < sizeof(buf) ? size_t(n) : sizeof(buf) - 1);
}

void AppendRule(std::string* out) {
    out->append(80, '-');
    out->push_back('\n');
}

}  // namespace

int BindStatsRecordLazily() {
    const int i = kMaxThreads +
                  nNextSpareRecord.fetch_add(1, std::memory_order_relaxed) % (kStatsRecords - kMaxThreads);
    nStatsRecord = i;
    return i;
}

void BindStatsThread(int nThread) {
    if (nThread >= 0 && nThread < kMaxThreads) nStatsRecord = nThread;
}

void ClearSearchStats() {
    for (StatsRecord& rec : aStatsRecords) {
        SearchStats& r = rec.s;
        ForEachCounter(r, r, [](StatCounter& a, const StatCounter&) { a.Set(0); });
        r.dSearchTime.Set(0.0);
        r.nLastIteration.Set(0);
        r.nSelDepth.Set(0);
    }
}

void AddStatsRecord(SearchStats* acc, const SearchStats& s) {
    ForEachCounter(*acc, s, [](StatCounter& a, const StatCounter& b) { a.Add(b.Get()); });
    acc->dSearchTime.Set(acc->dSearchTime.Get() + s.dSearchTime.Get());
    acc->nLastIteration.Max(s.nLastIteration);
    acc->nSelDepth.Max(s.nSelDepth);
}

void GatherSearchStats(SearchStats* out) {
    SearchStats sum;
    for (const StatsRecord& rec : aStatsRecords) {
        const SearchStats& r = rec.s;
        ForEachCounter(sum, r, [](StatCounter& a, const StatCounter& b) { a.Add(b.Get()); });
        if (r.dSearchTime.Get() > sum.dSearchTime.Get()) sum.dSearchTime.Set(r.dSearchTime.Get());
        sum.nLastIteration.Max(r.nLastIteration);
        sum.nSelDepth.Max(r.nSelDepth);
    }
    for (int i = 0; i < kMaxThreads; ++i) sum.anThreadNodes[i].Add(aStatsRecords[i].s.nNodes);
    sum.nHashFills.Add(HashFills());
    *out = sum;
}

void AddSearchStats(SearchStats* acc) {
    SearchStats now;
    GatherSearchStats(&now);
    AddStatsRecord(acc, now);
}

CountText FormatCount(uint64_t n) {
    CountText t;
    if (n > 10000000000ULL)
        snprintf(t.sz, sizeof(t.sz), "%.1lfB", double(n) / 1e9);
    else if (n > 10000000)
        snprintf(t.sz, sizeof(t.sz), "%.1lfM", double(n) / 1e6);
    else if (n <= 10000)
        snprintf(t.sz, sizeof(t.sz), "%" PRIu64, n);
    else
        snprintf(t.sz, sizeof(t.sz), "%.1lfK", double(n) / 1000);
    return t;
}

// ---------------------------------------------------------------------------------------
// Report.

std::string FormatSearchStats(const SearchStats& s) {
    std::string out;
    AppendRule(&out);
    out += "Node Counts\n";

    const uint64_t nTotal = s.nNodes + s.nQNodes;
    if (nNumThreads <= 1) {
        AppendF(&out, "  Total Nodes = %s (%s + %s %.1lf%% Q nodes) Recog %s\n", FormatCount(nTotal).sz,
                FormatCount(s.nNodes).sz, FormatCount(s.nQNodes).sz, Pct(s.nQNodes, nTotal),
                FormatCount(s.nRecognizerCalls).sz);
    } else {
        const int nThreads = nNumThreads < kMaxThreads ? nNumThreads : kMaxThreads;
        uint64_t nSum = 0;
        for (int i = 0; i < nThreads; ++i) nSum += s.anThreadNodes[i];
        AppendF(&out, "  Total Nodes = %s (", FormatCount(nTotal).sz);
        for (int i = 0; i < nThreads; ++i) AppendF(&out, "%.1lf%% ", Pct(s.anThreadNodes[i], nSum));
        AppendF(&out, ") Recog %s\n", FormatCount(s.nRecognizerCalls).sz);
    }
    const double dTime = s.dSearchTime;
    AppendF(&out, "  Avg NPS = %.0lf (%" PRIu64 " nodes in %.1lf secs)\n",
            dTime > 0 ? double(nTotal) / dTime : 0.0, nTotal, dTime);

    out += "Cutoffs\n";
    uint64_t nFailHighs = 0;
    for (int i = 1; i < kFailHighSlots && s.anFailHighAt[i]; ++i) nFailHighs += s.anFailHighAt[i];
    out += "  Fail highs =";
    for (int i = 1; i <= 5 && s.anFailHighAt[i]; ++i)
        AppendF(&out, " %.1lf%%", Pct(s.anFailHighAt[i], nFailHighs));
    out += "\n";

    const uint64_t nNull = s.nNullCuts + s.nNullFails;
    AppendF(&out, "  Null moves = %s, Vers = %.01lf%% Cuts = %.1lf%%\n", FormatCount(nNull).sz,
            Pct(s.nNullVerifications, nNull), Pct(s.nNullCuts, nNull));
    const uint64_t nLazy = s.nLazyExits1 + s.nLazyExits2 + s.nLazyPasses;
    AppendF(&out, "  Lazy eval  = %.1lf%% + %.1lf%%\n", Pct(s.nLazyExits1, nLazy), Pct(s.nLazyExits2, nLazy));

    const uint64_t nPrunes = s.nFutilityPrunes + s.nExtPrunes + s.nMatePrunes;
    AppendF(&out, "Prunes = %7s, Fut = %4.1lf%% Ext = %4.1lf%% Mat = %5.2lf%%\n", FormatCount(nPrunes).sz,
            Pct(s.nFutilityPrunes, nPrunes), Pct(s.nExtPrunes, nPrunes), Pct(s.nMatePrunes, nPrunes));
    const uint64_t nReds = s.nRazorReductions + s.nKingReductions + s.nLmrReductions;
    AppendF(&out, "Reds   = %7s, LMR = %4.1lf%% Raz = %4.1f%% Kng = %5.2lf%%\n", FormatCount(nReds).sz,
            Pct(s.nLmrReductions, nReds), Pct(s.nRazorReductions, nReds), Pct(s.nKingReductions, nReds));
    const uint64_t nExts = s.nCheckExts + s.nRecaptureExts + s.nPawnExts + s.nSingleReplyExts + s.nKingExts;
    AppendF(&out, "Exts   = %7s, Chk = %4.1lf%% Cap = %4.1lf%% Kng = %5.2lf%% Pwn = %.2lf%% Sng = %.3lf%%\n",
            FormatCount(nExts).sz, Pct(s.nCheckExts, nExts), Pct(s.nRecaptureExts, nExts),
            Pct(s.nKingExts, nExts), Pct(s.nPawnExts, nExts), Pct(s.nSingleReplyExts, nExts));
    AppendF(&out, "ZW Searches = %s, Re-cut = %.3lf%% Re-red = %.3lf%%\n", FormatCount(s.nZwSearches).sz,
            Pct(s.nReSearches, s.nZwSearches), Pct(s.nReReductions, s.nZwSearches));

    // The share is per bucket, so it can pass 100 (a bucket has four slots).
    AppendF(&out, "Hashing (%" PRIu64 " Entries in %.1lf MB Used = %.1lf%%)\n", nTransBuckets,
            double(nTransBuckets) * sizeof(HashBucket) / 1048576, Pct(s.nHashFills, nTransBuckets));
    uint64_t nCuts = 0, nMoves = 0;
    for (int i = 0; i < 4; ++i) {
        const uint64_t nHits = s.anProbeCuts[i] + s.anProbeMoves[i];
        AppendF(&out, "  Probes[%d] = %7s Hits %6.3lf%% (Cuts %.2lf%% Moves %.1lf%%)\n", i,
                FormatCount(s.anProbes[i]).sz, Pct(nHits, s.anProbes[i].Get()), Pct(s.anProbeCuts[i], nHits),
                Pct(s.anProbeMoves[i], nHits));
        nCuts += s.anProbeCuts[i];
        nMoves += s.anProbeMoves[i];
    }
    AppendF(&out, "  Total = %7s Cuts %7s Moves\n", FormatCount(nCuts).sz, FormatCount(nMoves).sz);
    if (nPawnHashEntries)
        AppendF(&out, "  Pawn Hash (%" PRIu64 " in %.0lf KB) Hits/Misses = %s/%s (%.1lf%%)\n",
                nPawnHashEntries, double(nPawnHashEntries) * sizeof(PawnEntry) / 1024,
                FormatCount(s.nPawnHashHits).sz, FormatCount(s.nPawnHashMisses).sz,
                Pct(s.nPawnHashHits, s.nPawnHashHits + s.nPawnHashMisses));
    if (nEvalHashEntries)
        AppendF(&out, "  Eval Hash (%" PRIu64 " in %.0lf MB) Hits/Misses = %s/%s (%.1lf%%)\n",
                nEvalHashEntries, double(nEvalHashEntries) * sizeof(EvalHashEntry) / 1048576,
                FormatCount(s.nEvalHashHits).sz, FormatCount(s.nEvalHashMisses).sz,
                Pct(s.nEvalHashHits, s.nEvalHashHits + s.nEvalHashMisses));
    AppendF(&out, "  Material Hash (%" PRIu64 " in %.0lf KB) Hits/Misses = %s/%s (%.1lf%%)\n",
            nMaterialTableEntries, double(nMaterialTableEntries) * 36 / 1024, FormatCount(s.nMaterialHits).sz,
            FormatCount(s.nMaterialMisses).sz, Pct(s.nMaterialHits, s.nMaterialHits + s.nMaterialMisses));
    AppendRule(&out);
    return out;
}

void PrintSearchStats(const SearchStats& s) {
    const std::string text = FormatSearchStats(s);
    fwrite(text.data(), 1, text.size(), stdout);
}

void PrintStatsReport() {
    SearchStats s;
    GatherSearchStats(&s);
    PrintSearchStats(s);
}

// ---------------------------------------------------------------------------------------
// CSV log.

void FormatStatsFileName(char* buf, size_t nSize, time_t t) {
    struct tm tmLocal;
    localtime_r(&t, &tmLocal);
    snprintf(buf, nSize, "QM_%s_%04d%02d%02d_%02d%02d%02d.stats.csv", kVersion, tmLocal.tm_year + 1900,
             tmLocal.tm_mon + 1, tmLocal.tm_mday, tmLocal.tm_hour, tmLocal.tm_min, tmLocal.tm_sec);
}

void WriteStatsCsvHeader(FILE* f) {
    fprintf(f, "QM v%s - Compiled on %s at %s\n", kVersion, __DATE__, __TIME__);
    fprintf(f, "Num Threads = %d\n", nNumThreads);
    fprintf(f, "Trans Hash = %.1lf MB\n", double(nTransBuckets) * sizeof(HashBucket) / 1048576);
    fprintf(f, "Pawn Hash = %.1lf KB\n", double(nPawnHashEntries) * sizeof(PawnEntry) / 1024);
    fprintf(f, "Eval Hash = %.1lf MB\n", double(nEvalHashEntries) * sizeof(EvalHashEntry) / 1048576);
    fprintf(f, "Seed = %u\n", unsigned(nSeed));
    fputs("FEN Searched,Move,Score,Time,Depth,Nodes,Q Nodes,Null Cuts %,Lazy 1 %,Lazy 2 %", f);
    fputs(",Futility Prunes,Ext Prunes,Mate", f);
    fputs(",LMR,Razors,King", f);
    fputs(",Check Exts,Recaps,Pawn Exts,Single Reply Exts,King Exts", f);
    fputs(",Hash Used %", f);
    for (int i = 0; i < 4; ++i)
        fprintf(f, ",Probes[%d],Cuts[%d] %%,Moves[%d] %%,Miss[%d] %%,Writes[%d],Overwrite[%d] %%", i, i, i, i,
                i, i);
    fputs(",Pawn Hit %", f);
    if (nEvalHashEntries) fputs(", Eval Hash %, Eval Hash Overwrite %", f);
    fputs("\n", f);
}

void WriteStatsCsvLine(FILE* f, const SearchStats& s, const char* fen, const char* move, int nScore) {
    const uint64_t nLazy = s.nLazyExits1 + s.nLazyExits2 + s.nLazyPasses;
    fprintf(f,
            "%s,%s,%d,%.3lf,%d,%" PRIu64 ",%" PRIu64 ",%.1lf,%.1lf,%.1lf,%" PRIu64 ",%" PRIu64 ",%" PRIu64
            ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64
            ",%.1lf",
            fen, move, nScore, s.dSearchTime.Get(), int(s.nLastIteration.Get()), s.nNodes.Get(),
            s.nQNodes.Get(), Pct(s.nNullCuts, s.nNullCuts + s.nNullFails), Pct(s.nLazyExits1, nLazy),
            Pct(s.nLazyExits2, nLazy), s.nFutilityPrunes.Get(), s.nExtPrunes.Get(), s.nMatePrunes.Get(),
            s.nLmrReductions.Get(), s.nRazorReductions.Get(), s.nKingReductions.Get(), s.nCheckExts.Get(),
            s.nRecaptureExts.Get(), s.nPawnExts.Get(), s.nSingleReplyExts.Get(), s.nKingExts.Get(),
            Pct(s.nHashFills, 4 * nTransBuckets));
    for (int i = 0; i < 4; ++i) {
        const uint64_t nSum = s.anProbeCuts[i] + s.anProbeMoves[i] + s.anProbeMisses[i];
        fprintf(f, ",%" PRIu64 ",%.1lf,%.1lf,%.1lf,%" PRIu64 ",%.1lf", s.anProbes[i].Get(),
                Pct(s.anProbeCuts[i], nSum), Pct(s.anProbeMoves[i], nSum), Pct(s.anProbeMisses[i], nSum),
                s.anWrites[i].Get(), Pct(s.anOverwrites[i], s.anWrites[i].Get()));
    }
    fprintf(f, ",%.1lf", Pct(s.nPawnHashHits, s.nPawnHashHits + s.nPawnHashMisses));
    if (nEvalHashEntries)
        fprintf(f, ",%.1lf,%.1lf", Pct(s.nEvalHashHits, s.nEvalHashHits + s.nEvalHashMisses),
                Pct(s.nEvalHashOverwrites, s.nEvalHashMisses.Get()));
    fputs("\n", f);
}

void LogSearchStats(const char* fen, const char* move, int nScore) {
    if (!bLogStats) return;
    FILE* f;
    if (bStatsHeaderWritten) {
        f = fopen(szStatsFileName, "a");
    } else {
        FormatStatsFileName(szStatsFileName, sizeof(szStatsFileName), time(nullptr));
        f = fopen(szStatsFileName, "w");
        if (f) WriteStatsCsvHeader(f);
    }
    if (!f) return;  // a log that cannot be written is skipped silently
    SearchStats s;
    GatherSearchStats(&s);
    WriteStatsCsvLine(f, s, fen, move, nScore);
    fclose(f);
    bStatsHeaderWritten = true;
}
