#include "console/options.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "board/board.h"
#include "book/book.h"
#include "console/console.h"
#include "core/log.h"
#include "eval/weights.h"
#include "movegen/movegen.h"
#include "search/search.h"
#include "search/threads.h"

bool bBookWanted = true;

void InitDefaults() {
    bPonder = true;
    bOwnBook = true;
    bBookWanted = true;
    nMultiPv = 1;
    bAnalyseMode = false;
    bLogStats = false;
    SetTraceLevel(0);
    nTimeBuffer = 0;
    nNumBeers = 0;
    bClassicStyle = false;
    SelectEvalWeights(true);  // the fitted set won its match against the first design's

    bUciMode = false;
    bShowBoard = true;
    nEngineSide = 1;
    game.nFullMove = 1;
    game.nGamePly = 0;
    nMaxDepth = 128;
    nGoDepth = 0;
    bFixedTime = true;
    for (int c = 0; c < 2; ++c) {
        dClock[c] = 0.0;
        nIncrement[c] = 0;
        dIncrement[c] = 0.0;
        nMovesToGo[c] = 0;
        dMoveTime[c] = 5.0;
        bLowTime[c] = false;
    }
    nNodeLimit = 0;
    bPondering = false;
    bStopSearch = false;

    memset(game.aGameHistory, 0, sizeof(game.aGameHistory));
    ResetHistoryTables();
}

static void LowerCase(char* text) {
    for (; *text; ++text) *text = char(tolower(static_cast<unsigned char>(*text)));
}

void SetOption(char* name, char* value) {
    // A file name keeps its case.
    const std::string sRawValue = value;
    LowerCase(name);
    LowerCase(value);
    const bool bTrue = strcmp(value, "true") == 0;
    if (strcmp(name, "hash") == 0) {
        nHashMB = ReadNumber(value);
    } else if (strcmp(name, "pawnhash") == 0) {
        nPawnHashKB = ReadNumber(value);
    } else if (strcmp(name, "evalhash") == 0) {
        nEvalHashMB = ReadNumber(value);
    } else if (strcmp(name, "numthreads") == 0 || strcmp(name, "threads") == 0) {
        SetNumThreads(ReadNumber(value));
    } else if (strcmp(name, "ponder") == 0) {
        bPonder = bTrue;
    } else if (strcmp(name, "tracelevel") == 0) {
        int level = ReadNumber(value);
        SetTraceLevel(level);
        if (level == 3) MakeDumpLogName();
    } else if (strcmp(name, "logstats") == 0) {
        bLogStats = bTrue;
    } else if (strcmp(name, "ownbook") == 0) {
        bOwnBook = bTrue;
        bBookWanted = bTrue;
    } else if (strcmp(name, "bookfile") == 0) {
        // Loaded at once, so that a wrong name is reported where it was given; a book switched
        // off stays off.
        SetBookFileName(sRawValue);
        if (bBookWanted) {
            bOwnBook = true;
            LoadBook();
        }
    } else if (strcmp(name, "multipv") == 0) {
        nMultiPv = std::clamp(ReadNumber(value), 1, kMaxMultiPv);
    } else if (strcmp(name, "uci_analysemode") == 0) {
        bAnalyseMode = bTrue;
    } else if (strcmp(name, "numbeers") == 0) {
        nNumBeers = ReadNumber(value);
        if (nNumBeers == 9) nMaxDepth = ClampMaxDepth(8);
        if (nNumBeers == 10) nMaxDepth = ClampMaxDepth(6);
    } else if (strcmp(name, "searchstyle") == 0) {
        if (strcmp(value, "classic") == 0)
            bClassicStyle = true;
        else if (strcmp(value, "strong") == 0)
            bClassicStyle = false;
        else
            OutputLine("Error - Unknown SearchStyle %s (Strong or Classic)\n", value);
    } else if (strcmp(name, "evalweights") == 0) {
        // Weights change only between searches: a search's tables hold results of the old ones.
        if (strcmp(value, "classic") != 0 && strcmp(value, "fitted") != 0)
            OutputLine("Error - Unknown EvalWeights %s (Fitted or Classic)\n", value);
        else if (bThinking)
            OutputLine("Error - EvalWeights cannot change during a search\n");
        else
            SelectEvalWeights(value[0] == 'f');
    } else if (strcmp(name, "timebuffer") == 0) {
        nTimeBuffer = ReadNumber(value);
    } else {
        OutputLine("Error - Unknown option %s\n", name);
    }
}
