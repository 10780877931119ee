// The think driver (job 4 of worker 0): one search, the engine's move played on its own
// position, and the answer: "bestmove" for a GUI, "Making move" and the board at the console.
#include <cstdio>
#include <string>

#include "core/log.h"
#include "core/settings.h"
#include "core/stats.h"
#include "eval/eval.h"
#include "movegen/movegen.h"
#include "platform/platform.h"
#include "search/search.h"
#include "search/statslog.h"

std::atomic<bool> bInfiniteSearch{false};
GameHooks gameHooks;

namespace {

// A ponder search that ended by itself keeps its move until "ponderhit" or "stop", and a
// "go infinite" search until "stop": a GUI must not get a best move it has not asked for yet.
void HoldBestMove() {
    while (!bStopSearch.load(std::memory_order_relaxed) &&
           (bPondering.load(std::memory_order_relaxed) || bInfiniteSearch.load(std::memory_order_relaxed)))
        SleepMs(1);
}

void AllocMissingTables() {
    const bool bPrint = ShowHashMessages();
    if (!pTransTable && TransBucketsFor(nHashMB) > 0) AllocTransTable(bPrint);
    if (!aPawnHash && PawnHashEntriesFor(nPawnHashKB) > 0) AllocPawnHash(bPrint);
    if (!aEvalHash && EvalHashEntriesFor(nEvalHashMB) > 0) AllocEvalHash(bPrint);
}

}  // namespace

void Think(const Position* pos, int64_t nStartMs) {
    if (nStartMs < 0) nStartMs = NowMs();
    Position root;
    CopyPosition(&root, pos);
    root.nInCheck = uint8_t(InCheck(&root));
    AllocMissingTables();
    ClearSearchStats();
    ResetHashFills();

    PvLine line;
    const int nScore = IterativeDeepening(&root, SearchDepthLimit(), &line, bShowBoard, nullptr, 0, nStartMs);
    HoldBestMove();
    // Still pondering: the GUI stopped a ponder search, whose move is reported and not played.
    const bool bPonderStopped = bPondering.load(std::memory_order_relaxed);

    // The move: the line's first (checked), else the best one seen, else any legal one.
    int nLength = line.nLength < 2 ? line.nLength : 2;
    if (nLength < 0) nLength = 0;
    nLength = ValidLineLength(&root, line.anMoves, nLength);
    const Move best = nLength >= 1 ? line.anMoves[0] : FallbackMove(&root);
    Move ponder = 0;
    if (best) {
        if (nLength >= 2) {
            ponder = line.anMoves[1];
        } else {
            // A one-move line (a book move, a table cut) may still have a reply in the table.
            Position after;
            MakeMove(best, &root, &after, 0, -1);
            if (!HashContinuation(&after, 1, &ponder)) ponder = 0;
        }
    }

    // The game state first, so that once "bestmove" is out the next "position" or "go" finds
    // everything settled (they also wait for this job to end).
    const int nSide = nEngineSide == WHITE || nEngineSide == BLACK ? nEngineSide : root.bSideToMove;
    std::string sFen, sSan;
    bool bPlayed = false;
    if (best && !bPonderStopped) {
        anLastScore[nSide] = nScore;
        sFen = FenOf(root);
        sSan = MoveToSan(&root, best);
        bPlayed = gameHooks.pPlayMove && gameHooks.pPlayMove(root.nHashKey, best);
    }
    if (bUciMode) nEngineSide = -1;

    if (bUciMode) {
        char buf[64];
        if (best) {
            const bool bShowPonder = bPonder && ponder && (!bPonderStopped || nNumBeers < 8);
            snprintf(buf, sizeof(buf), "bestmove %s%s%s\n", MoveToCoord(best).c_str(),
                     bShowPonder ? " ponder " : "", bShowPonder ? MoveToCoord(ponder).c_str() : "");
        } else {
            snprintf(buf, sizeof(buf), "bestmove i_got_nuffin\n");
        }
        OutputLine("%s", buf);
        TraceLog(3, "%s", buf);
    } else if (best) {
        if (!bPonderStopped && bShowBoard) {
            OutputLine("Making move %s\n", sSan.c_str());
            if (bPlayed && gameHooks.pShowGame) gameHooks.pShowGame();
        }
    } else if (nScore == -MATE) {
        OutputLine("%s", root.bSideToMove == WHITE ? "0-1 {Doh!!! I lost}\n" : "1-0 {Doh!!! I lost}\n");
    } else if (nScore == 0) {
        OutputLine("1/2-1/2 {hmmmm I guess we both suck!}\n");
    }

    if (best && !bPonderStopped) LogSearchStats(sFen.c_str(), sSan.c_str(), nScore);
    bPondering = false;
    bInfiniteSearch = false;
    // What this "go" asked for (searchmoves, mate) ends with its search.
    rootFilter.nOnly = rootFilter.nSkip = 0;
    nGoMate = 0;
    ResetHashFills();
    bStopSearch = false;
}
