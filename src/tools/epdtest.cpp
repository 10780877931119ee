// The EPD test runner. Every position is searched from cleared tables as the root of a game of
// its own, so that a result depends neither on the order of the file nor on the game the console
// was playing; that game is put back when the run ends.
#include "tools/epdtest.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/log.h"
#include "core/settings.h"
#include "movegen/san.h"
#include "platform/platform.h"
#include "search/hash.h"
#include "search/search.h"
#include "search/threads.h"
#include "tools/epd.h"
#include "tools/stats.h"

namespace {

// Arguments of the "test" job: the command's words are gone once the command returns.
std::string sJobFile;
int nJobSecs = 0;

// The console game, kept aside while a tool's positions take its place (about 66 KB: too big
// for a worker's stack frame).
struct SavedGame {
    GameState game;
    int nMarker;
    int anLastScore[2];
};
SavedGame savedGame;

// The expected moves of one record: their texts (compared with the engine's answer) and the
// codes of those the move reader understood (the search stops early on one of them).
struct Expected {
    char aszText[kEpdMaxExpected][kEpdTextSize];
    int nTexts;
    Move anCodes[kEpdMaxExpected];
    int nCodes;
};

// Only a tool job can be told to stop; a direct call runs to the end.
bool Aborted() {
    return ToolJobRunning() && ToolAborted();
}

void StartFreshGame(const Position& pos) {
    game.nFullMove = 1;
    game.nGamePly = 0;
    game.aGameHistory[0] = RepetitionKey(pos);
    aThreadMarkers[0].nLastIrreversible = 0;
    anLastScore[WHITE] = anLastScore[BLACK] = 0;
}

// Splits the blank-separated move list and reads each word in pos.
void SplitExpected(const Position& pos, const char* szMoves, Expected* e) {
    e->nTexts = e->nCodes = 0;
    const char* p = szMoves;
    while (*p && e->nTexts < kEpdMaxExpected) {
        while (*p == ' ') ++p;
        size_t n = strcspn(p, " ");
        if (n == 0) break;
        char* text = e->aszText[e->nTexts++];
        const size_t nKeep = n < size_t(kEpdTextSize) ? n : size_t(kEpdTextSize) - 1;
        memcpy(text, p, nKeep);
        text[nKeep] = 0;
        p += n;
        Move m;
        if (ParseSan(&pos, text, &m)) e->anCodes[e->nCodes++] = m;
    }
}

// An answer counts when its text is one of the expected texts, or when its move is one the
// record names in another spelling (a rank instead of a file to tell two pieces apart, a check
// mark left out).
bool IsExpected(const Expected& e, const std::string& sAnswer, Move best) {
    for (int i = 0; i < e.nTexts; ++i)
        if (sAnswer == e.aszText[i]) return true;
    for (int i = 0; i < e.nCodes; ++i)
        if (best && e.anCodes[i] == best) return true;
    return false;
}

// One search of a test position; returns the move the engine would play (0 when it has none).
Move SearchTestPosition(const Position& pos, const Expected& e) {
    PvLine line;
    line.nLength = 0;
    IterativeDeepening(&pos, nMaxDepth, &line, bShowBoard, e.anCodes, e.nCodes);
    if (line.nLength > 0 && ValidLineLength(&pos, line.anMoves, 1) == 1) return line.anMoves[0];
    return FallbackMove(&pos);
}

// Zero-fills the tables and forgets what the last search learnt, so that the next position is
// searched as if it came first.
void ForgetLastSearch() {
    ClearTransTable();
    ClearPawnHash();
    ClearEvalHash();
    ResetHashFills();
    ResetSearchHistory();
}

void EpdJob(void*) {
    RunEpdTest(sJobFile.c_str(), nJobSecs);
}

}  // namespace

void AllocMissingHashTables() {
    const bool bPrint = ShowHashMessages();
    if (!pTransTable && TransBucketsFor(nHashMB) > 0) AllocTransTable(bPrint);
    if (!aPawnHash && PawnHashEntriesFor(nPawnHashKB) > 0) AllocPawnHash(bPrint);
    if (!aEvalHash && EvalHashEntriesFor(nEvalHashMB) > 0) AllocEvalHash(bPrint);
}

void SaveConsoleGame() {
    savedGame.game = game;
    savedGame.nMarker = aThreadMarkers[0].nLastIrreversible;
    savedGame.anLastScore[0] = anLastScore[0];
    savedGame.anLastScore[1] = anLastScore[1];
}

void RestoreConsoleGame() {
    game = savedGame.game;
    aThreadMarkers[0].nLastIrreversible = savedGame.nMarker;
    anLastScore[0] = savedGame.anLastScore[0];
    anLastScore[1] = savedGame.anLastScore[1];
}

int RunEpdTest(const char* szFile, int nSecs) {
    if (FILE* f = fopen(szFile, "r")) {
        fclose(f);
    } else {
        OutputLine("Cannot open EPD file %s\n", szFile);
        return -1;
    }
    // Fixed time per move (no clock arithmetic) and no node limit left from a "go nodes".
    bFixedTime = true;
    nNodeLimit = 0;
    ResetHistoryTables();

    int nRuns = 1;
    if (nSecs < 0) {
        nRuns = kEpdRepeatRuns;
        nSecs = nSecs == INT_MIN ? INT_MAX : -nSecs;
    }
    // Depth 1 ends a search of 0 seconds, not the clock, which would cut even that short.
    const double dBudget = nSecs == 0 ? 999999999.0 : double(nSecs);

    SaveConsoleGame();

    int anCorrect[kEpdRepeatRuns];
    int nRunsDone = 0;
    const bool bColour = IsTerminal(stdout);
    auto pExpected = std::make_unique<Expected>();
    for (int nRun = 0; nRun < nRuns && !Aborted(); ++nRun) {
        OutputLine("Starting test for %s\n", szFile);
        AllocMissingHashTables();
        ClearSearchStats();
        SearchStats acc;
        GatherSearchStats(&acc);
        if (nSecs == 0) nMaxDepth = 1;

        int nTests = 0, nCorrect = 0;
        for (int nIndex = 0;; ++nIndex) {
            Position pos;
            char szMoves[kEpdTextSize], szId[kEpdTextSize];
            int nStatus = EPD_END;
            if (!ReadEpdRecord(szFile, &pos, szMoves, nIndex, szId, &nStatus)) break;
            if (nStatus != EPD_OK) {
                OutputLine("Test #%03d (%s): invalid position, record skipped\n", nIndex + 1, szId);
                continue;
            }
            OutputLine("Test #%03d (%s \tbm=%10s): \t", nIndex + 1, szId, szMoves);

            nEngineSide = pos.bSideToMove;
            SetMoveBudget(WHITE, dBudget);
            SetMoveBudget(BLACK, dBudget);
            bShowBoard = false;
            SplitExpected(pos, szMoves, pExpected.get());
            StartFreshGame(pos);
            // A "quit" that came before the flag was cleared must still end the run.
            bStopSearch.exchange(false);
            if (Aborted()) {
                OutputLine("stopped\n");
                break;
            }

            const Move best = SearchTestPosition(pos, *pExpected);
            AddSearchStats(&acc);
            ClearSearchStats();
            ForgetLastSearch();

            const std::string sAnswer = MoveToSan(&pos, best);
            ++nTests;
            const bool bHit = IsExpected(*pExpected, sAnswer, best);
            if (bHit) ++nCorrect;
            // Light red for a miss on a terminal, then back to the normal colour.
            const bool bRed = !bHit && bColour;
            OutputLine("%s%s\t(%.2f%%)\n%s", bRed ? "\x1b[91m" : "", sAnswer.c_str(),
                       double(nCorrect) * 100.0 / nTests, bRed ? "\x1b[0m" : "");
            if (Aborted()) break;
        }
        OutputLine("Result = %d of %d (%.1f%%)\n", nCorrect, nTests,
                   nTests ? double(nCorrect) * 100.0 / nTests : 0.0);
        PrintSearchStats(acc);
        nEngineSide = -1;
        anCorrect[nRunsDone++] = nCorrect;
    }
    if (nRuns > 1)
        for (int i = 0; i < nRunsDone; ++i) OutputLine("%d\n", anCorrect[i]);

    RestoreConsoleGame();
    bStopSearch = false;
    return nRunsDone ? anCorrect[nRunsDone - 1] : 0;
}

void EpdTestCommand(const char* szFile, int nSecs) {
    if (!szFile || !*szFile) {
        OutputLine("Usage: test EPD SECS\n");
        return;
    }
    sJobFile = szFile;
    nJobSecs = nSecs;
    StartToolJob(EpdJob, nullptr);
}
