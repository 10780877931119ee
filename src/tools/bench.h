// The "bench" command: fixed positions searched for fixed times (a regression and speed check),
// perft runs and timing loops of the bit primitives.
#pragma once

#include <cstdint>

// Times each bit primitive is applied per timing loop of the ASM group.
inline constexpr int64_t kBenchBitLoops = 100000000;

// Runs the groups whose name equals szType (any case), or all of them for an empty type, then
// prints the average speed of the searches. Switches the opening book off and leaves the hash
// sizes and board display of the last group set. Inside a tool job it ends early once
// ToolAborted() says so. Call only while no other search runs; outside a tool job only with one
// thread, since the helpers then sleep and a split point would wait for them for ever.
void RunBenchmark(const char* szType);

// One timed search of fen as the root of a new game (the hash tables are released and
// allocated afresh), followed by the statistics report. False for an invalid FEN or when the
// run was told to stop before the search. The same rule for threads as RunBenchmark.
bool RunBenchTest(const char* szFen, int nSeconds);

// The ASM group with nLoops applications of each primitive per timing.
void RunBitTimings(int64_t nLoops);

// The interpreter's "bench [TYPE]": switches the book off, copies the type and starts
// RunBenchmark as a worker-0 tool job, then returns at once.
void BenchCommand(const char* szType);
