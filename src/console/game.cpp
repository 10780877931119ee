#include <cstdio>
#include <cstring>
#include <ctime>

#include "console/console.h"
#include "console/options.h"
#include "movegen/movegen.h"
#include "search/log.h"

char szStatsFileName[64];
bool bStatsHeaderWritten = false;

void FreeHashTables() {
    // The transposition, pawn and evaluation tables register their release here as they are
    // added; every user allocates a missing table again at the current size.
}

void ResetSearchStats() {
    // The search statistics record registers its reset here as it is added.
}

void ResetHistoryTables() {
    memset(anHistory, 0, sizeof(anHistory));
    memset(anKiller1, 0, sizeof(anKiller1));
    memset(anKiller2, 0, sizeof(anKiller2));
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
    ResetSearchStats();
    if (TraceLevel() == 3) MakeDumpLogName();
    nEngineSide = -1;
    game.nFullMove = 1;
    game.nGamePly = 0;
    game.aGameHistory[0] = RepetitionKey(*pos);
    aThreadMarkers[0].nLastIrreversible = 0;
    ResetHistoryTables();
    MakeStatsFileName();
    bStopSearch = false;
}
