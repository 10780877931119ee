#include "search/threads.h"

#include <cstdio>
#include <thread>

#include "core/log.h"
#include "core/settings.h"
#include "search/search.h"

WorkerSlot aWorkers[kMaxThreads];
PerftJobs perftJobs;

namespace {

// Heap-held and never destroyed: a joinable std::thread destroyed at exit terminates the
// process, and destroying an event that a sleeping worker waits on blocks the exit.
std::thread* apThreads[kMaxThreads];
Event* const aGoEvents = new Event[kMaxThreads];

void (*pToolRun)(void*) = nullptr;
void* pToolArg = nullptr;
std::atomic<bool> bToolAbort{false};
std::atomic<bool> bToolRunning{false};

// Spin-wait step: a pause, and a yield now and then, since the workers can outnumber the cores.
inline void SpinStep(int* spins) {
    CpuPause();
    if (++*spins >= 64) {
        *spins = 0;
        std::this_thread::yield();
    }
}

void EndJob() {
    // nJob and the events first: once bThinking is clear the input thread may hand over the
    // next job, which a late reset would wipe out.
    aWorkers[0].nJob.store(JOB_IDLE, std::memory_order_release);
    for (int i = 0; i < kMaxThreads; ++i) aGoEvents[i].Reset();
    bThinking.store(false, std::memory_order_release);
}

// A search job starts: the helpers wake to spin for split points, and every worker's thread
// statistics start from zero.
void WakeHelpersForSearch() {
    const int64_t nNow = NowMs();
    for (int w = 0; w < nNumThreads; ++w) {
        WorkerSlot& h = aWorkers[w];
        if (w > 0) {
            h.nJob.store(JOB_IDLE, std::memory_order_release);
            WakeWorker(w);
        }
        h.nIdleSince.store(nNow, std::memory_order_relaxed);
        h.nIdleMs.store(0, std::memory_order_relaxed);
        h.nSplitMoves.store(0, std::memory_order_relaxed);
    }
}

// Job 4: worker 0 thinks.
void RunThink(WorkerSlot& slot) {
    WakeHelpersForSearch();
    Think(&slot.posJob, slot.nJobStartMs);
    TraceLog(2, "putting %d threads to sleep\n", nNumThreads);
    EndJob();
    TraceLog(2, "thinking false\n");
}

// Job 10: like a think, the helpers spin for split points while the tool searches.
void RunTool() {
    WakeHelpersForSearch();
    if (pToolRun) pToolRun(pToolArg);
    bToolRunning.store(false, std::memory_order_release);
    EndJob();
}

void RunPerftReport(WorkerSlot& slot, bool bEval) {
    for (int i = 1; i < nNumThreads; ++i) WakeWorker(i);
    if (perftJobs.pReport) perftJobs.pReport(&slot, bEval);
    EndJob();
}

}  // namespace

int SetNumThreads(int n) {
    if (n < 1) n = 1;
    if (n > kMaxThreads) n = kMaxThreads;
    nNumThreads = n;
    for (int i = 0; i < n; ++i) {
        if (apThreads[i]) continue;
        aWorkers[i].nThread = i;
        aWorkers[i].nJob.store(JOB_IDLE, std::memory_order_relaxed);
        aGoEvents[i].Reset();
        apThreads[i] = new std::thread(WorkerMain, i);
    }
    return n;
}

void WorkerMain(int i) {
    WorkerSlot& slot = aWorkers[i];
    int spins = 0;
    for (;;) {
        const int job = slot.nJob.load(std::memory_order_acquire);
        switch (job) {
            case JOB_QUIT:
                return;
            case JOB_THINK:
                RunThink(slot);
                break;
            case JOB_TOOL:
                RunTool();
                break;
            case JOB_SPLIT:
                SplitSearch(i);
                slot.nIdleSince.store(NowMs(), std::memory_order_relaxed);
                slot.nJob.store(JOB_IDLE, std::memory_order_release);
                break;
            case JOB_ABORT:
                slot.nIdleSince.store(NowMs(), std::memory_order_relaxed);
                slot.nJob.store(JOB_IDLE, std::memory_order_release);
                break;
            case JOB_PERFT:
            case JOB_PERFTE:
                RunPerftReport(slot, job == JOB_PERFTE);
                break;
            case JOB_PERFT_PART:
            case JOB_PERFTE_PART:
                if (perftJobs.pPart) perftJobs.pPart(&slot, job == JOB_PERFTE_PART);
                slot.nJob.store(JOB_IDLE, std::memory_order_release);
                break;
            default:
                // Idle (or a job word this build does not run): sleep between jobs, spin during one
                // so that a hand-over needs no kernel wake-up. bThinking is re-read on every pass.
                if (!bThinking.load(std::memory_order_acquire)) {
                    TraceLog(2, "Thread %d waiting for signal\n", i);
                    const int64_t t0 = NowMs();
                    aGoEvents[i].Wait();
                    TraceLog(2, "Thread %d done waiting for signal (%ld ms)\n", i, long(NowMs() - t0));
                    spins = 0;
                } else {
                    SpinStep(&spins);
                }
                break;
        }
    }
}

void WakeWorker(int i) {
    aGoEvents[i].Signal();
}

void WaitHelpersIdle(int nMask) {
    int spins = 0;
    for (int i = 1; i < nNumThreads && i < kMaxThreads; ++i) {
        if ((nMask & (1 << i)) && aWorkers[i].nJob.load(std::memory_order_acquire) != JOB_IDLE) {
            SpinStep(&spins);
            i = 0;  // a busy helper: start over from worker 1
        }
    }
}

void StartJob(int nJob, const Position& pos, int nDepth) {
    WorkerSlot& slot = aWorkers[0];
    slot.posJob = pos;
    slot.nPerftDepth = nDepth;
    slot.nJobStartMs = NowMs();
    bStopSearch.store(false, std::memory_order_relaxed);  // a stop sent while idle must not end the new job
    // bThinking before the job word: a worker that sees the job also sees bThinking set.
    bThinking.store(true, std::memory_order_release);
    slot.nJob.store(nJob, std::memory_order_release);
    aGoEvents[0].Signal();
}

void StartToolJob(void (*pRun)(void*), void* pArg) {
    pToolRun = pRun;
    pToolArg = pArg;
    bToolAbort.store(false, std::memory_order_relaxed);
    bToolRunning.store(true, std::memory_order_relaxed);
    StartJob(JOB_TOOL, aWorkers[0].posJob, 0);
}

bool ToolAborted() {
    return bToolAbort.load(std::memory_order_relaxed);
}

void AbortToolJob() {
    bToolAbort.store(true, std::memory_order_relaxed);
}

bool ToolJobRunning() {
    return bToolRunning.load(std::memory_order_acquire);
}

void WaitWhileThinking() {
    while (bThinking.load(std::memory_order_acquire)) SleepMs(2);
}

void StopWorkers() {
    WaitWhileThinking();
    for (int i = 0; i < kMaxThreads; ++i) {
        if (!apThreads[i]) continue;
        aWorkers[i].nJob.store(JOB_QUIT, std::memory_order_release);
        aGoEvents[i].Signal();
    }
    for (int i = 0; i < kMaxThreads; ++i) {
        if (!apThreads[i]) continue;
        apThreads[i]->join();
        delete apThreads[i];
        apThreads[i] = nullptr;
        aWorkers[i].nJob.store(JOB_IDLE, std::memory_order_relaxed);
    }
}
