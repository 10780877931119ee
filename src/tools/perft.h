// Perft: counts legal move sequences, to check move generation and time it.
#pragma once

#include <cstdint>

#include "board/board.h"
#include "movegen/movegen.h"

struct WorkerSlot;

// The perft depth is also the picker's killer row, so it must stay inside the killer tables.
inline constexpr int kMaxPerftDepth = kMaxPly - 1;

// Legal moves counted per worker in the current report run.
extern uint64_t anThreadNodes[kMaxThreads];

// Counts every legal move at every level from 1 to depth below pos (N(1) + ... + N(depth)) and
// returns the count. At the report root (ply 0, worker 0) whole sub-trees go to idle helpers,
// which add their counts to anThreadNodes themselves; the returned count leaves those out.
uint64_t Perft(const Position* pos, int depth, int ply, bool bEval, int nThread);

// Runs perft for depths 1 to slot->nPerftDepth on slot->posJob and prints the result table.
void PerftReport(WorkerSlot* slot, bool bEval);

// Hands the report and the helpers' sub-tree count to the worker threads (call at start-up).
void RegisterPerftJobs();
