// The command-line bench ("quietmarmoset bench [DEPTH]"): a fixed list of positions, each
// searched from cleared tables to a fixed depth with one thread. Its node count is the same on
// every run and every machine: the signature of the search that engine testers compare.
#pragma once

#include <cstdint>

// Deepest default that keeps the whole run within 5-15 seconds on a 2-core test machine.
inline constexpr int kNodeBenchDepth = 12;

struct NodeBenchResult {
    uint64_t nNodes = 0;
    double dSeconds = 0;
};

// Searches every position to nDepth (the default for 0 or below) with one thread, Hash 16 and
// no book, each from cleared tables and history; prints a line per position and then, as its
// last line, "N nodes M nps". Call only while no job runs.
NodeBenchResult RunNodeBench(int nDepth);
