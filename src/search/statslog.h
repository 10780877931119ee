// The CSV log of searches (LogStats option): one line per search in the game's statistics file.
#pragma once

#include <cstdio>
#include <ctime>

#include "core/stats.h"

// The game's statistics file: named at each new game, its header written with the first line.
extern char szStatsFileName[64];
extern bool bStatsHeaderWritten;
void MakeStatsFileName();

// CSV log of searches (LogStats option).
void FormatStatsFileName(char* buf, size_t nSize, time_t t);  // "QM_1.04_YYYYMMDD_HHMMSS.stats.csv"
void WriteStatsCsvHeader(FILE* f);
void WriteStatsCsvLine(FILE* f, const SearchStats& s, const char* fen, const char* move, int nScore);
// Appends the line of the search just finished to the game's statistics file (creating it with
// its header first); does nothing unless bLogStats is set. Uses szStatsFileName and
// bStatsHeaderWritten.
void LogSearchStats(const char* fen, const char* move, int nScore);
