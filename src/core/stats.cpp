#include "core/stats.h"

StatsRecord aStatsRecords[kStatsRecords];
thread_local constinit int nStatsRecord = -1;

namespace {

std::atomic<int> nNextSpareRecord{0};

// Fill counts, one per statistics record so that every thread counts into its own line.
struct alignas(64) FillCounter {
    StatCounter n;
};
FillCounter aHashFills[kStatsRecords];

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

void CountHashFill() {
    aHashFills[StatsRecordIndex()].n++;
}

uint64_t HashFills() {
    uint64_t n = 0;
    for (const FillCounter& c : aHashFills) n += c.n.Get();
    return n;
}

void ResetHashFills() {
    for (FillCounter& c : aHashFills) c.n.Set(0);
}
