// Worker threads and the job protocol between the input thread and the workers.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/board.h"
#include "platform/platform.h"

// Values of WorkerSlot::nJob.
enum : int {
    JOB_IDLE = 0,
    JOB_PERFT = 1,        // perft report (worker 0)
    JOB_PERFT_PART = 2,   // one perft sub-tree (helpers)
    JOB_QUIT = 3,         // end the thread
    JOB_THINK = 4,        // search (worker 0)
    JOB_SPLIT = 5,        // search at a split point (helpers)
    JOB_NOTHING = 6,      // keep polling
    JOB_ABORT = 7,        // stop the current split-point work
    JOB_PERFTE = 8,       // perft report with evaluation (worker 0)
    JOB_PERFTE_PART = 9,  // one perft sub-tree with evaluation (helpers)
    JOB_TOOL = 10,        // a console tool that searches (bench, EPD test; worker 0)
};

// A worker's job record. The job word is the whole hand-over protocol: the other fields are
// written only while nJob is JOB_IDLE, and nJob is stored last (release) and read first
// (acquire).
struct alignas(64) WorkerSlot {
    int nThread;
    Position posJob;
    int nPerftDepth;
    int64_t nJobStartMs;  // NowMs when the job was handed over
    std::atomic<int> nJob;
    // Thread statistics of the current search (reset when a think starts): when the worker
    // last became idle (NowMs), its idle milliseconds, and the moves it searched at split
    // points. Written by the worker, read by worker 0's trace.
    std::atomic<int64_t> nIdleSince{0};
    std::atomic<int64_t> nIdleMs{0};
    std::atomic<int> nSplitMoves{0};
};
extern WorkerSlot aWorkers[kMaxThreads];

// Perft lives above the search (with the tools); it hands the workers its report (jobs 1 and
// 8, worker 0) and its sub-tree count (jobs 2 and 9, helpers) here once at start-up.
struct PerftJobs {
    void (*pReport)(WorkerSlot* slot, bool bEval) = nullptr;
    void (*pPart)(WorkerSlot* slot, bool bEval) = nullptr;
};
extern PerftJobs perftJobs;

// Sets the worker count (clamped to 1..kMaxThreads) and creates the missing threads; threads
// are never destroyed when the count shrinks. Call only while no job runs. Returns the count.
int SetNumThreads(int n);
// The body of worker thread i.
void WorkerMain(int i);
// Wakes worker i if it sleeps between jobs (it then polls its job word while bThinking is set).
void WakeWorker(int i);
// Spins until every helper (workers 1..nNumThreads-1) is idle, or with a mask only the
// helpers whose bit (1 << worker) is set.
void WaitHelpersIdle(int nMask = -1);

// Hands a job to worker 0: copies the position, sets bThinking and signals the worker. Call
// only while no job runs.
void StartJob(int nJob, const Position& pos, int nDepth);
// Runs pRun(pArg) as a worker-0 job with the helpers awake (so that its searches can split).
// Call only while no job runs; the function may run several searches one after the other and
// should end early once ToolAborted() says so.
void StartToolJob(void (*pRun)(void*), void* pArg);
// Set by "quit" (and "stop") while a tool job runs; cleared when the next job starts.
bool ToolAborted();
void AbortToolJob();
// True while the running job is a tool job.
bool ToolJobRunning();
// Polls until the running job (if any) has ended.
void WaitWhileThinking();
// Ends and joins every worker thread (after the running job has ended).
void StopWorkers();
