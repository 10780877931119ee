// Time control during a search: when to stop, and the extensions of a clock-based budget that
// runs out in the middle of an iteration.
#include <algorithm>
#include <cstdio>

#include "core/log.h"
#include "core/settings.h"
#include "platform/platform.h"
#include "search/search.h"

std::atomic<int64_t> nSearchStartTicks{0};
std::atomic<bool> bSearchClock{false};

namespace {

inline bool ValidSide(int nSide) {
    return nSide == WHITE || nSide == BLACK;
}

}  // namespace

double SearchElapsed() {
    return double(NowMs() - nSearchStartTicks.load(std::memory_order_relaxed)) / 1000.0;
}

double MoveBudget(int nSide) {
    if (!ValidSide(nSide)) return 0.0;
    return std::atomic_ref<double>(dMoveTime[nSide]).load(std::memory_order_relaxed);
}

void SetMoveBudget(int nSide, double dSeconds) {
    if (ValidSide(nSide))
        std::atomic_ref<double>(dMoveTime[nSide]).store(dSeconds, std::memory_order_relaxed);
}

bool NeedToAbortMove(SearchStack* ss) {
    if (bStopSearch.load(std::memory_order_relaxed)) return true;
    // A ponder search never times out; after "ponderhit" the time counts from its start.
    if (bPondering.load(std::memory_order_relaxed)) return false;

    // A node limit replaces the clock.
    if (nNodeLimit != 0) {
        if (SearchNodeTotal() < uint64_t(nNodeLimit)) return false;
        if (bUciMode) TraceLog(1, "info string Timeout on move %d (nodes limit)\n", ss->nRootMove);
        return true;
    }

    const int nSide = nEngineSide;
    if (!bSearchClock.load(std::memory_order_relaxed) || !ValidSide(nSide)) return false;
    const double dElapsed = SearchElapsed();
    double dBudget = MoveBudget(nSide);
    const double dClockLeft = dClock[nSide];

    // Out of budget under a clock: more time when the clock can spare it. Both kinds of
    // extension leave the new budget well inside the clock (5 and 10 seconds spare).
    // (The first design's extensions; the newer clock's limit is already the hard one.)
    if (!bFixedTime && dBudget <= dElapsed && bClassicStyle) {
        const int nLast = anLastScore[nSide];
        if (nLast >= MATE_BOUND) {
            // The last search announced a mate: finding it again is worth a little more time.
            if (ss->nRootScore < nLast + 2 && 1.3 * dBudget + 5 < dClockLeft && dClockLeft < 2 * dElapsed) {
                const double dAdd = 0.3 * dBudget;
                dBudget += dAdd;
                SetMoveBudget(nSide, dBudget);
                if (bUciMode)
                    TraceLog(1,
                             "info string Timeout on move %d - Extending by %.1lf secs due to mate search\n",
                             ss->nRootMove, dAdd);
            }
        } else if (ss->nRootMove <= 1) {
            // Still on the first root move: its score is what the last iteration said.
            if (bUciMode) TraceLog(1, "info string Timeout on move %d - Not extending\n", ss->nRootMove);
        } else if (0.3 * dBudget + 10 < dClockLeft - dBudget) {
            // A later root move is being searched, which may be about to replace the best one.
            if (dBudget < 2 * ss->nBudget) {
                const double dAdd = 0.3 * dBudget;
                dBudget += dAdd;
                SetMoveBudget(nSide, dBudget);
                ss->bLastIteration = 1;
                if (bUciMode)
                    TraceLog(1, "info string Timeout on move %d - Extending search by %lf sec\n",
                             ss->nRootMove, dAdd);
            } else if (bUciMode) {
                TraceLog(1, "info string Timeout on move %d - Cannot extend, taking too long :(\n",
                         ss->nRootMove);
            }
        }
    }
    fflush(stdout);

    if (dElapsed >= dBudget) {
        TraceLog(2, "NeedToAbortMove() timeout %lf %d %lf %lf\n", dElapsed, nSide, MoveBudget(WHITE),
                 MoveBudget(BLACK));
        fflush(stdout);
        return true;
    }
    return false;
}

void AllocateTime() {
    // Every search sets the low-time flag anew: a short clock must not leave low-time pruning
    // on for the analysis that follows. A search without a time budget is never short of time.
    if (nNodeLimit != 0) {
        bLowTime[0] = bLowTime[1] = false;
        return;
    }
    if (bFixedTime) {
        for (int c = 0; c < 2; ++c) {
            dSoftTime[c] = dMoveTime[c];
            bLowTime[c] = dMoveTime[c] < 1.5;
        }
        return;
    }
    for (int c = 0; c < 2; ++c) {
        if (!bClassicStyle && nMovesToGo[c] != 0) {
            // A target of a 22nd of the clock (with the default 20 moves to go) and most of the
            // increment; a search may run on to four targets to finish an iteration it began.
            double avail = dClock[c] - nTimeBuffer;
            if (avail < 0) avail = 0;
            double dSoft = avail / (nMovesToGo[c] + 2);
            if (dIncrement[c] > 0 && dIncrement[c] < avail) dSoft += dIncrement[c] * 0.8;
            double dHard = std::min(4 * dSoft, 0.35 * avail + dIncrement[c] * 0.8);
            // The same reserve as below for the answer's way back to the GUI.
            const double dCap = std::max(0.0, avail - std::max(0.05, avail * 0.1));
            dHard = std::min(dHard, dCap);
            dMoveTime[c] = dHard;
            dSoftTime[c] = std::min(dSoft, dHard);
            bLowTime[c] = dSoftTime[c] < 1.5;
            continue;
        }
        if (nMovesToGo[c] != 0) {
            double avail = dClock[c] - nTimeBuffer;
            if (avail < 0) avail = 0;
            dMoveTime[c] = avail * 0.8 / nMovesToGo[c];
            if (dIncrement[c] > 0 && dIncrement[c] < avail) dMoveTime[c] += dIncrement[c] * 0.9;
            // The increment comes only after the move: never plan past the clock, and keep a
            // reserve (a tenth, at least 50 ms) for the answer's way back to the GUI.
            const double dCap = avail - std::max(0.05, avail * 0.1);
            if (dMoveTime[c] > dCap) dMoveTime[c] = dCap > 0 ? dCap : 0;
        }
        dSoftTime[c] = dMoveTime[c];
        bLowTime[c] = dMoveTime[c] < 1.5;
    }
}
