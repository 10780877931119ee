// Search statistics counters: kept by the search, the evaluation and the hash tables, read by
// the report and the CSV log above them.
//
// Every thread counts into its own record (one per worker plus a few for other threads, each
// on its own cache lines), so an increment is a relaxed load and store of a word no other
// thread writes: no lock, no locked instruction, and no data race when the input thread or
// worker 0 reads the records while helpers are still counting. GatherSearchStats sums the
// records into one.
//
// Use from the search (knows its worker number):   ThreadStats(nThread).nNodes++;
// Use from the evaluation and the hash tables:       Stats().nEvalHashHits++;
#pragma once

#include <atomic>
#include <cstdint>

#include "core/settings.h"

// A counter written by one thread and readable by any.
struct StatCounter {
    std::atomic<uint64_t> n{0};

    StatCounter() = default;
    StatCounter(const StatCounter& o) noexcept : n(o.Get()) {}
    StatCounter& operator=(const StatCounter& o) noexcept {
        Set(o.Get());
        return *this;
    }
    StatCounter& operator=(uint64_t v) noexcept {
        Set(v);
        return *this;
    }
    uint64_t Get() const { return n.load(std::memory_order_relaxed); }
    void Set(uint64_t v) { n.store(v, std::memory_order_relaxed); }
    // Single-writer add: a plain load and store, never a locked read-modify-write.
    void Add(uint64_t v) { Set(Get() + v); }
    void operator++() { Add(1); }
    void operator++(int) { Add(1); }
    void operator+=(uint64_t v) { Add(v); }
    void Max(uint64_t v) {
        if (v > Get()) Set(v);
    }
    operator uint64_t() const { return Get(); }
};

// A double with the same single-writer, read-anywhere rule.
struct StatSeconds {
    std::atomic<double> d{0.0};

    StatSeconds() = default;
    StatSeconds(const StatSeconds& o) noexcept : d(o.Get()) {}
    StatSeconds& operator=(const StatSeconds& o) noexcept {
        Set(o.Get());
        return *this;
    }
    StatSeconds& operator=(double v) noexcept {
        Set(v);
        return *this;
    }
    double Get() const { return d.load(std::memory_order_relaxed); }
    void Set(double v) { d.store(v, std::memory_order_relaxed); }
    operator double() const { return Get(); }
};

// Beta cut-offs are counted by the number of the legal move that caused them (index 1 = the
// first move); later moves share the last entry.
inline constexpr int kFailHighSlots = 64;

struct SearchStats {
    StatCounter nNodes;  // calls of SearchFull
    // Nodes per search thread: filled by GatherSearchStats from each worker's nNodes (the
    // search does not count here).
    StatCounter anThreadNodes[kMaxThreads];
    StatSeconds dSearchTime;     // duration of the last search in seconds (worker 0 sets it)
    StatCounter nQNodes;         // quiescence nodes
    StatCounter nLastIteration;  // last completed iteration of the last search
    StatCounter nSelDepth;       // deepest ply reached (use Max)
    StatCounter nHashFills;      // filled by GatherSearchStats from HashFills()

    StatCounter nLazyExits1;  // evaluations ended by the first lazy cut
    StatCounter nLazyExits2;  // ... by the second lazy cut
    StatCounter nLazyPasses;  // evaluations that passed the second lazy test
    StatCounter anFailHighAt[kFailHighSlots];

    StatCounter nNullCuts;
    StatCounter nNullFails;
    StatCounter nNullVerifications;  // the search verifies no null-move cut: stays 0

    StatCounter nFutilityPrunes;
    StatCounter nExtPrunes;  // extended (history) pruning
    StatCounter nMatePrunes;

    StatCounter nRazorReductions;
    StatCounter nKingReductions;
    StatCounter nLmrReductions;

    StatCounter nCheckExts;
    StatCounter nRecaptureExts;
    StatCounter nPawnExts;
    StatCounter nSingleReplyExts;
    StatCounter nKingExts;

    // Transposition table outcomes per bucket slot (counted by ProbeHash / StoreHash).
    StatCounter anProbes[4];
    StatCounter anProbeCuts[4];
    StatCounter anProbeMoves[4];
    StatCounter anProbeMisses[4];
    StatCounter anWrites[4];
    StatCounter anOverwrites[4];

    StatCounter nPawnHashHits;
    StatCounter nPawnHashMisses;
    StatCounter nEvalHashHits;
    StatCounter nEvalHashMisses;
    StatCounter nEvalHashOverwrites;  // stores over a slot holding another position
    StatCounter nMaterialHits;
    StatCounter nMaterialMisses;
    StatCounter nRecognizerCalls;  // evaluations where a scale factor or recogniser applied

    StatCounter nZwSearches;    // zero-window searches
    StatCounter nReSearches;    // their re-searches after failing high
    StatCounter nReReductions;  // re-searches of reduced moves
};

inline void CountFailHigh(SearchStats& s, int nMove) {
    s.anFailHighAt[nMove < 0 ? 0 : nMove >= kFailHighSlots ? kFailHighSlots - 1 : nMove]++;
}

// Records 0..kMaxThreads-1 belong to the search workers; the rest are handed out to any other
// thread that counts (the input thread, tests). Should more threads count than there are
// records, two share one and may lose increments, never more.
inline constexpr int kStatsRecords = kMaxThreads + 4;
struct alignas(64) StatsRecord {
    SearchStats s;
};
extern StatsRecord aStatsRecords[kStatsRecords];
extern thread_local constinit int nStatsRecord;  // -1 until bound
int BindStatsRecordLazily();
inline int StatsRecordIndex() {
    const int i = nStatsRecord;
    return i >= 0 ? i : BindStatsRecordLazily();
}
// The calling thread's record.
inline SearchStats& Stats() {
    return aStatsRecords[StatsRecordIndex()].s;
}
// Search worker n's record (n in 0..kMaxThreads-1).
inline SearchStats& ThreadStats(int nThread) {
    return aStatsRecords[nThread].s;
}
// A worker thread binds Stats() to its own record (call once at thread start).
void BindStatsThread(int nThread);

// Stores of the current game move that went into an empty slot or one written under another
// age (the basis of "hashfull"), counted per thread like the records. HashFills() sums them.
void CountHashFill();
uint64_t HashFills();
void ResetHashFills();

// n as a share of nTotal in percent (0 for a total of 0).
inline double StatPct(uint64_t n, uint64_t nTotal) {
    return nTotal ? double(n) * 100.0 / double(nTotal) : 0.0;
}

// Zeroes every record (the work of ResetSearchStats). The transposition table's fill count
// is separate (ResetHashFills).
void ClearSearchStats();
// Sums all records (and the hash fill count) into *out.
void GatherSearchStats(SearchStats* out);
// Adds the current totals into an accumulator (the EPD runner sums its searches this way).
void AddSearchStats(SearchStats* acc);
// acc += s, counter by counter (times add; nSelDepth and nLastIteration keep the maximum).
void AddStatsRecord(SearchStats* acc, const SearchStats& s);
