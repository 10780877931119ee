// The "stats" report of the search statistics.
#pragma once

#include <cstdint>
#include <string>

#include "core/stats.h"

// Compact count: above 10 000 000 000 "12.3B", above 10 000 000 "12.3M", up to 10 000 the
// plain number, otherwise "12.3K".
struct CountText {
    char sz[24];
};
CountText FormatCount(uint64_t n);

// The "stats" report of a record (uses the current table sizes and nNumThreads).
std::string FormatSearchStats(const SearchStats& s);
void PrintSearchStats(const SearchStats& s);
// The "stats" command: gathers the current totals and prints the report.
void PrintStatsReport();
