// A new game: the start position and every table and counter the searches keep per game.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "book/book.h"
#include "core/log.h"
#include "core/settings.h"
#include "movegen/movegen.h"
#include "search/hash.h"
#include "search/search.h"
#include "search/statslog.h"

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
