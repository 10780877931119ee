#include "tools/perft.h"

#include <cinttypes>
#include <cstdio>

#include "core/settings.h"
#include "core/stats.h"
#include "eval/cache.h"
#include "eval/eval.h"
#include "platform/platform.h"
#include "search/threads.h"

uint64_t anThreadNodes[kMaxThreads];

namespace {

// Gives a root sub-tree to the first idle helper; false when every helper is busy.
bool HandToHelper(const Position& child, int depth, bool bEval) {
    for (int i = 1; i < nNumThreads; ++i) {
        WorkerSlot& slot = aWorkers[i];
        if (slot.nJob.load(std::memory_order_acquire) != JOB_IDLE) continue;
        slot.nPerftDepth = depth;
        slot.posJob = child;
        slot.nJob.store(bEval ? JOB_PERFTE_PART : JOB_PERFT_PART, std::memory_order_release);
        return true;
    }
    return false;
}

void PrintRule() {
    printf("--------------------------------------------------------------------------------\n");
}

}  // namespace

namespace {

// The counting recursion, compiled separately with and without the evaluation call: merely
// having the call in the plain version costs a third of its speed.
template <bool bEval>
uint64_t PerftT(const Position* pos, int depth, int ply, int nThread) {
    if constexpr (bEval) {
        int anKingInfo[2];
        (void)Evaluate(pos, -32000, 32000, ply, anKingInfo, 0);
    }
    MoveList list;
    StartPicker(&list, 0, PHASE_CAPTURES);
    const int us = pos->bSideToMove;
    uint64_t nCount = 0;
    Position child;
    for (Move m; (m = NextMove(pos, &list, depth, false)) != 0;) {
        MakeMove(m, pos, &child, 0, nThread);
        if (AttackedBy(KingSquare(child, us), &child, us ^ 1)) continue;
        ++nCount;
        if (depth <= 1) continue;
        if (ply == 0 && nThread == 0 && HandToHelper(child, depth - 1, bEval)) continue;
        nCount += PerftT<bEval>(&child, depth - 1, ply + 1, nThread);
    }
    return nCount;
}

}  // namespace

uint64_t Perft(const Position* pos, int depth, int ply, bool bEval, int nThread) {
    return bEval ? PerftT<true>(pos, depth, ply, nThread) : PerftT<false>(pos, depth, ply, nThread);
}

void PerftReport(WorkerSlot* slot, bool bEval) {
    const char* name = bEval ? "PerftE" : "Perft";
    const int nThreads = nNumThreads;
    int nDepth = slot->nPerftDepth;
    if (nDepth > kMaxPerftDepth) nDepth = kMaxPerftDepth;

    if (bEval) {
        if (!aPawnHash) AllocPawnHash(ShowHashMessages());
        if (!aEvalHash) AllocEvalHash(ShowHashMessages());
    }
    ClearSearchStats();
    uint64_t anPrev[kMaxThreads] = {};
    PrintRule();
    printf("%s Results (%d threads) - QM v%s\n\n", name, nThreads, kVersion);
    for (int d = 1; d <= nDepth; ++d) {
        for (uint64_t& n : anThreadNodes) n = 0;
        const int64_t t0 = NowMs();
        anThreadNodes[slot->nThread] += Perft(&slot->posJob, d, 0, bEval, slot->nThread);
        WaitHelpersIdle();
        const int64_t t1 = NowMs();

        uint64_t nTotal = 0, nBefore = 0;
        for (int t = 0; t < nThreads; ++t) {
            nTotal += anThreadNodes[t];
            nBefore += anPrev[t];
        }
        const uint64_t nNodes = nTotal - nBefore;
        printf("%s(%d) Nodes = %10" PRIu64 " ", name, d, nNodes);
        if (nThreads > 1) {
            printf("(");
            for (int t = 0; t < nThreads; ++t)
                printf("%6.1f%%", nTotal ? double(anThreadNodes[t]) * 100.0 / double(nTotal) : 0.0);
            printf(") ");
        }
        const double secs = double(t1 - t0) / 1000.0;
        printf("Time = %10.1lf sec   ", secs);
        if (t1 > t0)
            printf("Avg NPS = %7.0lf\n", double(nNodes) / secs);
        else
            printf("Avg NPS = 0\n");
        for (int t = 0; t < kMaxThreads; ++t) anPrev[t] = anThreadNodes[t];
        ThreadStats(0).nNodes += nNodes;
    }
    PrintRule();
}

// A helper's share of a report: one root sub-tree, counted for its own thread.
static void PerftPart(WorkerSlot* slot, bool bEval) {
    anThreadNodes[slot->nThread] += Perft(&slot->posJob, slot->nPerftDepth, 99, bEval, slot->nThread);
}

void RegisterPerftJobs() {
    perftJobs.pReport = PerftReport;
    perftJobs.pPart = PerftPart;
}
