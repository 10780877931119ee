#include <cstdio>
#include <cstring>
#include <ctime>

#include "book/book.h"
#include "console/console.h"
#include "console/options.h"
#include "movegen/movegen.h"
#include "search/hash.h"
#include "search/log.h"
#include "search/search.h"
#include "tools/stats.h"

char szStatsFileName[64];
bool bStatsHeaderWritten = false;

void FreeHashTables() {
    // Every user allocates a missing table again at the then current size.
    ReleaseHashTables();
}

void ResetSearchStats() {
    ClearSearchStats();
}

void ResetHistoryTables() {
    ResetSearchHistory();  // history values 0, counts 1
    ClearKillers();
}

void MakeStatsFileName() {
    time_t now = time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    snprintf(szStatsFileName, sizeof(szStatsFileName), "QM_%s_%04d%02d%02d_%02d%02d%02d.stats.csv", kVersion,
             t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    bStatsHeaderWritten = false;
}

void NewGame(Position* pos) {
    SetStartPosition(pos);
    FreeHashTables();
    if (bOwnBook) LoadBook();
    ResetSearchStats();
    if (TraceLevel() == 3) MakeDumpLogName();
    nEngineSide = -1;
    anLastScore[WHITE] = anLastScore[BLACK] = 0;
    game.nFullMove = 1;
    game.nGamePly = 0;
    game.aGameHistory[0] = RepetitionKey(*pos);
    aThreadMarkers[0].nLastIrreversible = 0;
    ResetHistoryTables();
    MakeStatsFileName();
    bStopSearch = false;
}
