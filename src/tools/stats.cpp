#include "tools/stats.h"

#include <cinttypes>
#include <cstdarg>

#include "core/settings.h"
#include "eval/material.h"
#include "search/hash.h"

namespace {

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
                FormatCount(s.nNodes).sz, FormatCount(s.nQNodes).sz, StatPct(s.nQNodes, nTotal),
                FormatCount(s.nRecognizerCalls).sz);
    } else {
        const int nThreads = nNumThreads < kMaxThreads ? nNumThreads : kMaxThreads;
        uint64_t nSum = 0;
        for (int i = 0; i < nThreads; ++i) nSum += s.anThreadNodes[i];
        AppendF(&out, "  Total Nodes = %s (", FormatCount(nTotal).sz);
        for (int i = 0; i < nThreads; ++i) AppendF(&out, "%.1lf%% ", StatPct(s.anThreadNodes[i], nSum));
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
        AppendF(&out, " %.1lf%%", StatPct(s.anFailHighAt[i], nFailHighs));
    out += "\n";

    const uint64_t nNull = s.nNullCuts + s.nNullFails;
    AppendF(&out, "  Null moves = %s, Vers = %.01lf%% Cuts = %.1lf%%\n", FormatCount(nNull).sz,
            StatPct(s.nNullVerifications, nNull), StatPct(s.nNullCuts, nNull));
    const uint64_t nLazy = s.nLazyExits1 + s.nLazyExits2 + s.nLazyPasses;
    AppendF(&out, "  Lazy eval  = %.1lf%% + %.1lf%%\n", StatPct(s.nLazyExits1, nLazy),
            StatPct(s.nLazyExits2, nLazy));

    const uint64_t nPrunes = s.nFutilityPrunes + s.nExtPrunes + s.nMatePrunes;
    AppendF(&out, "Prunes = %7s, Fut = %4.1lf%% Ext = %4.1lf%% Mat = %5.2lf%%\n", FormatCount(nPrunes).sz,
            StatPct(s.nFutilityPrunes, nPrunes), StatPct(s.nExtPrunes, nPrunes),
            StatPct(s.nMatePrunes, nPrunes));
    const uint64_t nReds = s.nRazorReductions + s.nKingReductions + s.nLmrReductions;
    AppendF(&out, "Reds   = %7s, LMR = %4.1lf%% Raz = %4.1f%% Kng = %5.2lf%%\n", FormatCount(nReds).sz,
            StatPct(s.nLmrReductions, nReds), StatPct(s.nRazorReductions, nReds),
            StatPct(s.nKingReductions, nReds));
    const uint64_t nExts = s.nCheckExts + s.nRecaptureExts + s.nPawnExts + s.nSingleReplyExts + s.nKingExts;
    AppendF(&out, "Exts   = %7s, Chk = %4.1lf%% Cap = %4.1lf%% Kng = %5.2lf%% Pwn = %.2lf%% Sng = %.3lf%%\n",
            FormatCount(nExts).sz, StatPct(s.nCheckExts, nExts), StatPct(s.nRecaptureExts, nExts),
            StatPct(s.nKingExts, nExts), StatPct(s.nPawnExts, nExts), StatPct(s.nSingleReplyExts, nExts));
    AppendF(&out, "ZW Searches = %s, Re-cut = %.3lf%% Re-red = %.3lf%%\n", FormatCount(s.nZwSearches).sz,
            StatPct(s.nReSearches, s.nZwSearches), StatPct(s.nReReductions, s.nZwSearches));

    // The share is per bucket, so it can pass 100 (a bucket has four slots).
    AppendF(&out, "Hashing (%" PRIu64 " Entries in %.1lf MB Used = %.1lf%%)\n", nTransBuckets,
            double(nTransBuckets) * sizeof(HashBucket) / 1048576, StatPct(s.nHashFills, nTransBuckets));
    uint64_t nCuts = 0, nMoves = 0;
    for (int i = 0; i < 4; ++i) {
        const uint64_t nHits = s.anProbeCuts[i] + s.anProbeMoves[i];
        AppendF(&out, "  Probes[%d] = %7s Hits %6.3lf%% (Cuts %.2lf%% Moves %.1lf%%)\n", i,
                FormatCount(s.anProbes[i]).sz, StatPct(nHits, s.anProbes[i].Get()),
                StatPct(s.anProbeCuts[i], nHits), StatPct(s.anProbeMoves[i], nHits));
        nCuts += s.anProbeCuts[i];
        nMoves += s.anProbeMoves[i];
    }
    AppendF(&out, "  Total = %7s Cuts %7s Moves\n", FormatCount(nCuts).sz, FormatCount(nMoves).sz);
    if (nPawnHashEntries)
        AppendF(&out, "  Pawn Hash (%" PRIu64 " in %.0lf KB) Hits/Misses = %s/%s (%.1lf%%)\n",
                nPawnHashEntries, double(nPawnHashEntries) * sizeof(PawnEntry) / 1024,
                FormatCount(s.nPawnHashHits).sz, FormatCount(s.nPawnHashMisses).sz,
                StatPct(s.nPawnHashHits, s.nPawnHashHits + s.nPawnHashMisses));
    if (nEvalHashEntries)
        AppendF(&out, "  Eval Hash (%" PRIu64 " in %.0lf MB) Hits/Misses = %s/%s (%.1lf%%)\n",
                nEvalHashEntries, double(nEvalHashEntries) * sizeof(EvalHashEntry) / 1048576,
                FormatCount(s.nEvalHashHits).sz, FormatCount(s.nEvalHashMisses).sz,
                StatPct(s.nEvalHashHits, s.nEvalHashHits + s.nEvalHashMisses));
    AppendF(&out, "  Material Hash (%" PRIu64 " in %.0lf KB) Hits/Misses = %s/%s (%.1lf%%)\n",
            nMaterialTableEntries, double(nMaterialTableEntries) * 36 / 1024, FormatCount(s.nMaterialHits).sz,
            FormatCount(s.nMaterialMisses).sz, StatPct(s.nMaterialHits, s.nMaterialHits + s.nMaterialMisses));
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
