// The root driver: book probe, iterative deepening with aspiration windows, the per-iteration
// output, the stop rules, the blunder dump and the principal-variation store.
#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "book/book.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/stats.h"
#include "movegen/movegen.h"
#include "search/search.h"
#include "search/threads.h"

int anLastScore[2];
double adIterTime[kMaxIterations + 1];
static_assert(kMaxIterations == kMaxSearchDepth, "one time per iteration");

namespace {

// Best root move of a first iteration that a stop interrupted, with the key of its root: the
// move to play when no iteration completed.
Move nPartialMove = 0;
uint64_t nPartialKey = 0;

bool InList(Move m, const Move* aMoves, int n) {
    for (int i = 0; i < n; ++i)
        if (aMoves[i] == m) return true;
    return false;
}

// The number of legal moves of pos, and the first of them in *pFirst (0 when there is none);
// with bAllowedOnly only those the root filter lets the search choose.
int CountLegalMoves(const Position* pos, Move* pFirst = nullptr, bool bAllowedOnly = false) {
    Move moves[kMaxMoves];
    int n = GenerateCaptures(pos, moves, kMaxMoves);
    n += GenerateQuiets(pos, moves + n, kMaxMoves - n);
    int nLegal = 0;
    if (pFirst) *pFirst = 0;
    for (int i = 0; i < n; ++i) {
        if (!IsMoveValid(pos, moves[i]) || !IsLegalMove(pos, moves[i])) continue;
        if (bAllowedOnly && !RootMoveAllowed(moves[i])) continue;
        if (nLegal++ == 0 && pFirst) *pFirst = moves[i];
    }
    return nLegal;
}

Move FirstLegalMove(const Position* pos, bool bAllowedOnly = false) {
    Move m;
    CountLegalMoves(pos, &m, bAllowedOnly);
    return m;
}

// "go searchmoves" names moves of the position the GUI sent; the search keeps those legal at
// its own root, and searches every move when none is left.
void CheckSearchMoves(const Position* root) {
    int n = 0;
    for (int i = 0; i < rootFilter.nOnly && i < kMaxMoves; ++i) {
        const Move m = rootFilter.aOnly[i];
        if (ValidLineLength(root, &m, 1) == 1) rootFilter.aOnly[n++] = m;
    }
    rootFilter.nOnly = n;
    rootFilter.nSkip = 0;
}

// The lines of a MultiPV iteration, best first (worker 0 runs one root driver at a time), and
// each line's last score, the centre of its next aspiration window.
PvLine aLines[kMaxMultiPv];
int anLineScore[kMaxMultiPv];

// The second to last lines of an iteration: each a search of the root without the moves of the
// lines before it, with its own aspiration window. aLines[0] holds the first line on entry.
// Returns the number of lines completed (a stop ends the rest) and sorts them, best first.
int SearchOtherLines(const Position& root, int nIteration, int nLines, SearchStack* ss) {
    int nDone = 1;
    for (int k = 1; k < nLines; ++k) {
        rootFilter.aSkip[k - 1] = aLines[k - 1].anMoves[0];
        rootFilter.nSkip = k;
        int nAlpha = anLineScore[k] - 20, nBeta = anLineScore[k] + 20, nRetries = 0;
        PvLine& line = aLines[k];
        bool bStopped = false;
        for (;;) {
            line.nLength = 0;
            const int s = SearchFull(&root, nIteration * ONE_PLY, nAlpha, nBeta, &line, 0, true, ss, 0);
            if (bStopSearch.load(std::memory_order_relaxed)) {
                bStopped = true;
                break;
            }
            if (!WidenWindow(s, &nRetries, &nAlpha, &nBeta)) break;
        }
        if (bStopped || line.nLength == 0) break;
        line.nIteration = nIteration;
        line.nSelDepth = nSelDepth.load(std::memory_order_relaxed);
        nDone = k + 1;
    }
    rootFilter.nSkip = 0;
    // A later line may come out above an earlier one when the search of the earlier one was
    // cut short by its window: the order shown and played is by score.
    std::stable_sort(aLines, aLines + nDone,
                     [](const PvLine& a, const PvLine& b) { return a.nScore > b.nScore; });
    for (int k = 0; k < nDone; ++k) anLineScore[k] = aLines[k].nScore;
    return nDone;
}

// The root has stood here twice before since the last irreversible move: a draw by
// repetition that the GUI has not claimed.
bool RootIsRepetition(const Position& root) {
    const int nHere = game.nGamePly;
    if (nHere <= 0 || nHere >= kGameHistorySize) return false;
    const uint64_t nSig = RepetitionKey(root);
    int nLow = aThreadMarkers[0].nLastIrreversible;
    if (nLow < 0) nLow = 0;
    int nSeen = 0;
    for (int i = nHere - 1; i >= nLow; --i) nSeen += game.aGameHistory[i] == nSig;
    return nSeen >= 2;
}

// True when the table already holds m for pos at least nDepth plies deep.
bool TableHolds(const Position& pos, Move m, int nDepth) {
    const HashBucket& b = HashBucketOf(pos.nHashKey);
    const uint32_t nCheck = HashCheckOf(pos.nHashKey);
    for (int i = 0; i < 4; ++i) {
        if (b.anCheck[i].load(std::memory_order_relaxed) != nCheck) continue;
        const uint64_t d = b.anData[i].load(std::memory_order_relaxed);
        return HashMove(d) == (m & HASH_MOVE_MASK) && HashDepth(d) >= nDepth;
    }
    return false;
}

// Writes the line of the last completed iteration back into the table, so that the next
// search (and the continuation of the output lines) finds it even where deeper parts of the
// tree overwrote it. The root's score is exact, and so is every node's on the line, from its
// own side's point of view.
void StorePrincipalVariation(const Position& root, const PvLine& line, int nIterations, int nScore) {
    if (nTransBuckets == 0) return;
    int n = line.nLength < nIterations ? line.nLength : nIterations;
    n = ValidLineLength(&root, line.anMoves, n);
    Position p, next;
    CopyPosition(&p, &root);
    for (int k = 0; k < n; ++k) {
        const Move m = line.anMoves[k];
        const int nDepth = nIterations - k;
        // A root searched for some of its moves only keeps its entry from a search of them all.
        if (!TableHolds(p, m, nDepth) && (k > 0 || !RootFiltered())) {
            const int s = (k & 1) ? -nScore : nScore;
            StoreHashAtPly(&p, nDepth, k, s, -SCORE_INF, SCORE_INF, m, false, false);
        }
        MakeMove(m, &p, &next, 0, -1);
        CopyPosition(&p, &next);
    }
}

// A sharp drop of the score against the last search: keep the dump of this search's start
// under a name of its own.
void CheckBlunder(int nLast, int nNow) {
    if (!(nNow + 600 < nLast && nLast >= -499 && (nNow >= -(MATE_BOUND - 1) || nLast > MATE_BOUND))) return;
    const time_t now = time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    char szName[96];
    snprintf(szName, sizeof(szName), "QM_%s_BLUNDER_%04d%02d%02d_%02d%02d%02d_%d.dump", kVersion,
             t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
             int(uint64_t(NowMs()) % 32768));
    if (rename(kDumpFileName, szName) == 0)
        TraceLog(3, "BLUNDER - score dropped from %d to %d (dumped to %s)\n", nLast, nNow, szName);
}

// Share of each worker in the nodes and at the split points (level 2, long parallel searches).
void TraceThreadStats(double dSearchTime) {
    uint64_t nTotal = 0, nMoves = 0;
    for (int t = 0; t < nNumThreads; ++t) {
        nTotal += ThreadStats(t).nNodes.Get();
        nMoves += uint64_t(aWorkers[t].nSplitMoves.load(std::memory_order_relaxed));
    }
    char buf[512];
    int n = snprintf(buf, sizeof(buf), "nodes %" PRIu64 " (", ThreadStats(0).nNodes.Get());
    for (int t = 0; t < nNumThreads && n > 0 && n < int(sizeof(buf)); ++t)
        n += snprintf(buf + n, sizeof(buf) - size_t(n), "%.1lf%% ",
                      nTotal ? double(ThreadStats(t).nNodes.Get()) * 100.0 / double(nTotal) : 0.0);
    TraceLog(2, "%s)\n", buf);
    const double dMs = dSearchTime * 1000.0;
    for (int t = 0; t < nNumThreads; ++t) {
        const int64_t nIdle = aWorkers[t].nIdleMs.load(std::memory_order_relaxed);
        const int nSplitMoves = aWorkers[t].nSplitMoves.load(std::memory_order_relaxed);
        TraceLog(2, "Thread %d: Idle %ldms, Efficiency %.1lf%% Balance %.1lf%% moves %ld\n", t, long(nIdle),
                 (dMs - double(nIdle)) * 100.0 / dMs,
                 nMoves ? double(nSplitMoves) * 100.0 / double(nMoves) : 0.0, long(nSplitMoves));
    }
    fflush(stdout);
}

}  // namespace

bool WidenWindow(int nScore, int* pnRetries, int* pnAlpha, int* pnBeta) {
    const bool bLow = nScore <= *pnAlpha && *pnAlpha > -SCORE_INF;
    const bool bHigh = !bLow && nScore >= *pnBeta && *pnBeta < SCORE_INF;
    if (!bLow && !bHigh) return false;
    if (!bClassicStyle) {
        // The newer rules widen step by step, doubling the margin past the score, so that a
        // small miss costs a small re-search; the far side closes in on the failing one.
        const int nDelta = 20 << std::min(++*pnRetries, 5);
        if (nDelta > 500) {
            *pnAlpha = -SCORE_INF;
            *pnBeta = SCORE_INF;
        } else if (bLow) {
            *pnBeta = (*pnAlpha + *pnBeta) / 2;
            *pnAlpha = std::max(nScore - nDelta, -SCORE_INF);
        } else {
            *pnBeta = std::min(nScore + nDelta, int(SCORE_INF));
        }
        return true;
    }
    if (++*pnRetries >= 2) {
        *pnAlpha = -SCORE_INF;
        *pnBeta = SCORE_INF;
    } else if (bLow) {
        *pnAlpha -= std::max(std::abs(nScore - *pnAlpha) + 1, 60);
        *pnBeta -= 20;
    } else {
        *pnBeta += std::max(std::abs(nScore - *pnBeta) + 1, 60);
        *pnAlpha += 20;
    }
    return true;
}

bool NextIterationFits(double tPrev, double tLast, double dBudget, double* pdBf, double* pdEstimate) {
    // A quotient of millisecond readings below kMinTimed is noise (iterations answered from the
    // table take 0-2 ms and then one real one 20 ms), and a single jump says little about the
    // next iteration: the factor is capped.
    constexpr double kMinTimed = 0.010, kMaxBf = 3.0;
    if (tPrev < kMinTimed) tPrev = 0;
    double dBf = tPrev > 0 ? (tLast - tPrev) / tPrev : 0.0;
    if (dBf > kMaxBf) dBf = kMaxBf;
    const double dEstimate = tLast + dBf * tLast;
    if (pdBf) *pdBf = dBf;
    if (pdEstimate) *pdEstimate = dEstimate;
    return tPrev <= 0 || dBudget * 1.2 >= dEstimate;
}

Move FallbackMove(const Position* pos) {
    if (nPartialMove && nPartialKey == pos->nHashKey && ValidLineLength(pos, &nPartialMove, 1) == 1)
        return nPartialMove;
    HashProbe probe;
    ProbeHash(pos, 0, -SCORE_INF, SCORE_INF, 0, &probe);
    if (probe.nMove && RootMoveAllowed(probe.nMove) && ValidLineLength(pos, &probe.nMove, 1) == 1)
        return probe.nMove;
    return FirstLegalMove(pos, true);
}

int IterativeDeepening(const Position* pos, int nMaxDepthArg, PvLine* result, bool bShow,
                       const Move* aTestMoves, int nTestMoves, int64_t nStartMs) {
    Position root;
    CopyPosition(&root, pos);
    root.nInCheck = uint8_t(InCheck(&root));
    const int nSide = nEngineSide == WHITE || nEngineSide == BLACK ? nEngineSide : root.bSideToMove;
    int c = anLastScore[nSide];

    // Start: clock, root stack entry, root move table, dump, counters.
    nSearchStartTicks.store(nStartMs >= 0 ? nStartMs : NowMs(), std::memory_order_relaxed);
    bSearchClock.store(true, std::memory_order_relaxed);
    const double dBudget = MoveBudget(nEngineSide);
    SearchStack ss{dBudget < INT_MAX ? int(dBudget) : INT_MAX, 0, 0, -1, -1, NODE_PV, 0};
    memset(&RootMoves, 0, sizeof(RootMoves));
    CheckSearchMoves(&root);
    nPartialMove = 0;
    nPartialKey = root.nHashKey;
    if (TraceLevel() > 2) {
        WriteDump(kDumpFileName);
        AppendDumpState(kDumpFileName);
    }
    result->nLength = 0;
    result->nDepth = 0;
    result->nIteration = 0;
    result->nSelDepth = 0;
    result->nScore = c;
    nSelDepth.store(0, std::memory_order_relaxed);
    nNextInfoNodes.store(2000000, std::memory_order_relaxed);
    ResetCurrMove();
    const char* szWhat = bPondering.load(std::memory_order_relaxed) ? "Pondering" : "Searching";
    if (bUciMode)
        TraceLog(
            1,
            "info string %s for %.1lf secs hash=%.1f/%.1f/%.1lf ponder=%d beers=%d threads=%d timeout=%d)\n",
            szWhat, dBudget, double(nTransBuckets) * sizeof(HashBucket) / 1048576.0,
            double(nPawnHashEntries) * sizeof(PawnEntry) / 1024.0,
            double(nEvalHashEntries) * sizeof(EvalHashEntry) / 1048576.0, int(bPonder), nNumBeers,
            nNumThreads, int(bStopSearch.load(std::memory_order_relaxed)));

    // The book answers without a search, but not in analysis (several lines, the GUI's analysis
    // mode, a search for a mate), nor with a move outside the ones asked for.
    if (bOwnBook && game.nGamePly < kBookMaxPly && nGoMate == 0 && nMultiPv == 1 && !bAnalyseMode) {
        const Move m = ProbeBook(&root);
        if (m && RootMoveAllowed(m) && ValidLineLength(&root, &m, 1) == 1) {
            result->anMoves[0] = m;
            result->nLength = 1;
            result->nDepth = 1;
            result->nScore = 0;
            bSearchClock.store(false, std::memory_order_relaxed);
            return 0;
        }
    }

    if (TraceLevel() >= 2)
        TraceLog(2, "%s (%s) with %d threads for %.1lf secs\n", szWhat, FenOf(root).c_str(), nNumThreads,
                 dBudget);
    if (!bUciMode && bShow) {
        OutputLine("Time          Nodes  Depth/Max   Score    Line\n");
    }
    ClearKillers();

    // Mate or stalemate on the board: nothing to search.
    if (!FirstLegalMove(&root)) {
        result->nScore = root.nInCheck ? -MATE : 0;
        bSearchClock.store(false, std::memory_order_relaxed);
        return result->nScore;
    }

    // A forced move is played after the first iteration, whatever the thread count: with
    // helpers at the root's split point no single searcher sees that the root has one move.
    const bool bOnlyMove = CountLegalMoves(&root) == 1;
    // MultiPV: as many lines as there are moves to choose from.
    const int nLines = std::min(std::clamp(nMultiPv, 1, kMaxMultiPv), CountLegalMoves(&root, nullptr, true));
    for (int k = 0; k < kMaxMultiPv; ++k) anLineScore[k] = c;

    // A root standing for the third time would end every iteration at once with an empty line;
    // searched as if its history began here, it gives a move worth playing.
    int& nMarker = aThreadMarkers[0].nLastIrreversible;
    const int nSavedMarker = nMarker;
    if (RootIsRepetition(root)) {
        if (bUciMode) TraceLog(1, "info string Draw by repetition\n");
        nMarker = game.nGamePly;
    }

    int nScore = c, nLastIter = 0, nStableIterations = 0;
    // The interpreter keeps nMaxDepth in 1..kMaxSearchDepth; a direct caller asking for no
    // iteration gets none, and none gets more than adIterTime holds.
    const int nTop = nMaxDepthArg < 1 ? 0 : ClampMaxDepth(nMaxDepthArg);
    PvLine line;
    for (int i = 1; i <= nTop; ++i) {
        int nAlpha = c - 20, nBeta = c + 20, nRetries = 0, s = 0;
        bool bStopped = false;
        for (;;) {
            line.nLength = 0;
            s = SearchFull(&root, i * ONE_PLY, nAlpha, nBeta, &line, 0, true, &ss, 0);
            const double t = SearchElapsed();
            adIterTime[i] = t;
            ThreadStats(0).dSearchTime = t;
            line.nIteration = i;
            line.nSelDepth = nSelDepth.load(std::memory_order_relaxed);

            if (bStopSearch.load(std::memory_order_relaxed)) {
                if (TraceLevel() > 1) {
                    OutputLine("DEBUG timeout nodes %" PRIu64 " qnodes %" PRIu64 "\n",
                               ThreadStats(0).nNodes.Get(), ThreadStats(0).nQNodes.Get());
                    TraceLog(3, "timeout nodes %" PRIu64 " qnodes %" PRIu64 "\n", ThreadStats(0).nNodes.Get(),
                             ThreadStats(0).nQNodes.Get());
                }
                // An interrupted iteration is dropped; the first one still names a move.
                if (i == 1 && line.nLength > 0) nPartialMove = line.anMoves[0];
                bStopped = true;
                break;
            }
            if (line.nLength > 0 && nLines == 1) {
                if (!bUciMode && bShow) PrintConsoleLine(&root, line, nAlpha, nBeta);
                PrintUciInfo(&root, line, i, nAlpha, nBeta);
            }

            if (!WidenWindow(s, &nRetries, &nAlpha, &nBeta)) break;
        }
        if (bStopped) break;

        // MultiPV: the other lines, then all of them shown best first; the best is the answer.
        bool bLinesStopped = false;
        if (nLines > 1 && line.nLength > 0) {
            aLines[0] = line;
            const int nDone = SearchOtherLines(root, i, nLines, &ss);
            bLinesStopped = nDone < nLines;
            adIterTime[i] = SearchElapsed();
            ThreadStats(0).dSearchTime = adIterTime[i];
            for (int k = 0; k < nDone; ++k) {
                if (!bUciMode && bShow) PrintConsoleLine(&root, aLines[k], -SCORE_INF, SCORE_INF);
                PrintUciInfo(&root, aLines[k], i, -SCORE_INF, SCORE_INF, k + 1);
            }
            line = aLines[0];
            s = line.nScore;
        }

        // A completed iteration; the newer clock watches how settled its answer is.
        const Move nBestNow = line.nLength > 0 ? line.anMoves[0] : 0;
        nStableIterations =
            i > 1 && nBestNow == result->anMoves[0] && result->nLength > 0 ? nStableIterations + 1 : 0;
        const int nDrop = i > 1 ? nScore - s : 0;
        *result = line;
        nScore = s;
        nLastIter = i;
        ss.nRootScore = s;
        ThreadStats(0).nLastIteration = uint64_t(i);
        if (bLinesStopped) break;
        // A mate found by the extensions of a shallow iteration has a short line: the search
        // goes on until the iteration is as deep as the mate, so the answer shows it whole.
        if (nGoMate > 0 && s > MATE_BOUND && (MATE - s + 1) / 2 <= nGoMate && MATE - s <= i) {
            TraceLog(1, "Mate in %d found\n", (MATE - s + 1) / 2);
            break;
        }

        // Stop rules.
        if (s > MATE_BOUND && MATE - s <= i - 3 && s > anLastScore[nSide]) {
            TraceLog(1, "Mate score %d\n", s);
            break;
        }
        if (s < -MATE_BOUND && s + MATE <= i - 3) {
            TraceLog(1, "Mate score %d\n", s);
            break;
        }
        if (s == -MATE) break;
        if (nSoftNodeLimit > 0 && SearchNodeTotal() >= uint64_t(nSoftNodeLimit)) break;
        if (ss.bLastIteration || (bOnlyMove && !bPondering.load(std::memory_order_relaxed))) {
            TraceLog(1, "Last Iteration\n");
            fflush(stdout);
            break;
        }
        const double dTime = ThreadStats(0).dSearchTime;
        if (nNumThreads > 1 && i > 5 && dTime > 1.0 && TraceLevel() >= 2) TraceThreadStats(dTime);
        if (nTestMoves > 0 && result->nLength > 0 && InList(result->anMoves[0], aTestMoves, nTestMoves)) {
            TraceLog(2, "Testing Mode!!!\n");
            break;
        }
        // Under a clock, an iteration that cannot finish in the budget is not started: its
        // time would be lost with it. Fixed-depth, fixed-time, node-limited and ponder searches
        // are left alone.
        if (i >= 2 && i < nTop && !bFixedTime && nNodeLimit == 0 &&
            !bPondering.load(std::memory_order_relaxed) && s < MATE_BOUND &&
            (nEngineSide == WHITE || nEngineSide == BLACK)) {
            // The newer clock plans iterations against its target, not the hard limit.
            // Beside that, a best move that just changed or a falling score asks for more time,
            // a move that held for several iterations for less (the hard limit still bounds it).
            double dHave = MoveBudget(nEngineSide);
            if (!bClassicStyle) {
                double dScale = nStableIterations == 0 ? 1.4 : nStableIterations >= 4 ? 0.7 : 1.0;
                if (nDrop > 30) dScale *= 1.3;
                dHave = std::min(dSoftTime[nEngineSide] * dScale, MoveBudget(nEngineSide));
            }
            double dBf, dEstimate;
            const bool bFits = NextIterationFits(adIterTime[i - 1], adIterTime[i], dHave, &dBf, &dEstimate);
            TraceLog(2, "BF = %lf, Est time = %lf have = %lf\n", dBf, dEstimate, dHave);
            if (!bFits) {
                TraceLog(1, "Insufficient time left for next iteration\n");
                break;
            }
        }
        c = s;
    }
    nMarker = nSavedMarker;

    if (nLastIter > 0) {
        if (TraceLevel() > 2) CheckBlunder(anLastScore[nSide], result->nScore);
        StorePrincipalVariation(root, *result, nLastIter, nScore);
    }
    bSearchClock.store(false, std::memory_order_relaxed);
    return nScore;
}
