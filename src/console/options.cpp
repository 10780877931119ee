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
#include "eval/eval.h"
#include "eval/weights.h"
#include "movegen/movegen.h"
#include "nnue/nnue.h"
#include "platform/platform.h"
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
    bNetEval = kNetEvalDefault;

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

namespace {

// "EvalFile": a path as given, else the name beside the program; empty or "<embedded>" goes
// back to the compiled-in net. A net that cannot be had leaves the one in use.
void SetEvalFile(const std::string& sPath) {
    std::string err;
    if (sPath.empty() || sPath == kEmbeddedNetName) {
        if (UseEmbeddedNetwork(&err))
            OutputLine("info string EvalFile: the embedded net (%s)\n",
                       NetDescription(*ActiveNetwork()).c_str());
        else
            OutputLine("info string EvalFile: %s; keeping %s\n", err.c_str(), ActiveNetworkSource().c_str());
        ForgetEvalResults();
        return;
    }
    std::string sFound = sPath;
    if (FILE* f = fopen(sFound.c_str(), "rb"))
        fclose(f);
    else if (sPath.find('/') == std::string::npos)
        sFound = ExecutableDir() + "/" + sPath;
    if (LoadActiveNetwork(sFound.c_str(), &err)) {
        OutputLine("info string EvalFile: loaded %s (%s)\n", sFound.c_str(),
                   NetDescription(*ActiveNetwork()).c_str());
        ForgetEvalResults();
    } else {
        OutputLine("info string EvalFile: cannot use %s: %s; keeping the net from %s\n", sPath.c_str(),
                   err.c_str(), ActiveNetworkSource().c_str());
    }
}

}  // namespace

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
    } else if (strcmp(name, "evaluation") == 0) {
        // The caches hold scores of the evaluation they were filled with.
        if (strcmp(value, "net") != 0 && strcmp(value, "hand") != 0)
            OutputLine("Error - Unknown Evaluation %s (Net or Hand)\n", value);
        else if (bThinking)
            OutputLine("Error - Evaluation cannot change during a search\n");
        else {
            bNetEval = value[0] == 'n';
            if (bNetEval && !ActiveNetwork())
                OutputLine("info string No net is loaded: the hand-written evaluation plays\n");
            ForgetEvalResults();
        }
    } else if (strcmp(name, "evalfile") == 0) {
        if (bThinking)
            OutputLine("Error - EvalFile cannot change during a search\n");
        else
            SetEvalFile(sRawValue);
    } else if (strcmp(name, "timebuffer") == 0) {
        nTimeBuffer = ReadNumber(value);
    } else {
        OutputLine("Error - Unknown option %s\n", name);
    }
}
