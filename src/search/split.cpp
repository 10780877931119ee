// Split points: worker 0 hands the remaining moves of a PV node to the idle helpers, which take
// them one by one from the node's shared picker and search them with a null window. The first
// worker to find a cutoff stores it, publishes the score and tells every worker to abort.
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "core/settings.h"
#include "core/stats.h"
#include "eval/eval.h"
#include "search/search.h"
#include "search/threads.h"

SplitSlot aSplitSlots[kMaxThreads];

namespace {
// The helpers of the split point in progress (one at a time: only worker 0 splits, and never
// below a split node, whose later children are not PV nodes).
std::atomic<int> nSplitMask{0};

inline bool Aborted(int nThread) {
    return aWorkers[nThread].nJob.load(std::memory_order_acquire) == JOB_ABORT;
}

}  // namespace

void RecordRootMove(Move m, int nScore, bool bFirst) {
    // A MultiPV line after the first searches the moves the lines before it left: their scores
    // in the first line's list are brought up to date, so the next iteration orders by both.
    if (rootFilter.nSkip > 0) {
        for (int i = 0; i < RootMoves.nCount; i++)
            if (RootMoves.aMoves[i] == m) {
                RootMoves.aScores[i] = nScore;
                return;
            }
        bFirst = false;
    }
    if (bFirst) RootMoves.nCount = 0;
    const int n = RootMoves.nCount;
    if (n >= kMaxMoves) return;
    RootMoves.aMoves[n] = m;
    RootMoves.aScores[n] = nScore;
    RootMoves.nCount = n + 1;
}

int OfferSplit(const SplitRequest& req) {
    int nMask = 0;
    const int64_t nNow = NowMs();
    const int nHere = game.nGamePly + req.nPly / ONE_PLY;
    int nLow = aThreadMarkers[0].nLastIrreversible;
    if (nLow < 0) nLow = 0;
    for (int h = 1; h < nNumThreads && h < kMaxThreads; h++) {
        WorkerSlot& w = aWorkers[h];
        if (w.nJob.load(std::memory_order_acquire) != JOB_IDLE) continue;
        SplitSlot& sp = aSplitSlots[h];
        CopyPosition(&sp.pos, req.pPos);
        sp.ss = *req.pSs;
        sp.pList = req.pList;
        sp.pPv = req.pPv;
        sp.nDepth = req.nDepth;
        sp.nAlpha = req.nAlpha;
        sp.nBeta = req.nBeta;
        sp.nNodeExt = req.nNodeExt;
        sp.nPly = req.nPly;
        sp.nInCheck = req.nInCheck;
        sp.nStaticEval = req.nStaticEval;
        sp.bThreat = req.bThreat;
        // Only the part of the line a repetition test can reach: back to the last irreversible
        // move, up to the split node itself.
        if (nHere >= 0 && nHere < kGameHistorySize && nLow <= nHere)
            memcpy(aThreadHistory[h].aHistory + nLow, game.aGameHistory + nLow,
                   sizeof(uint64_t) * size_t(nHere - nLow + 1));
        aThreadMarkers[h].nLastIrreversible = aThreadMarkers[0].nLastIrreversible;
        w.nIdleMs.fetch_add(nNow - w.nIdleSince.load(std::memory_order_relaxed), std::memory_order_relaxed);
        w.nJob.store(JOB_SPLIT, std::memory_order_release);
        nMask |= 1 << h;
    }
    nSplitMask.store(nMask, std::memory_order_relaxed);
    return nMask;
}

void SplitSearch(int nThread) {
    SplitSlot& sp = aSplitSlots[nThread];
    WorkerSlot& me = aWorkers[nThread];
    SearchStats& st = ThreadStats(nThread);
    const Position* pos = &sp.pos;
    MoveList* list = sp.pList;
    PvLine* shared = sp.pPv;
    const int nPlyIndex = sp.nPly / ONE_PLY;
    const int nBeta = sp.nBeta;
    const bool bInCheck = sp.nInCheck != 0;
    const bool bRootTrace = sp.nPly == 0 && TraceLevel() >= 2;
    const int nMover = pos->bSideToMove, nOpp = nMover ^ 1;
    const bool bStrong = !bClassicStyle;
    int nAlpha = RelaxedLoad(shared->nScore);
    if (nAlpha < sp.nAlpha) nAlpha = sp.nAlpha;
    st.nNodes++;
    int& nLastIrreversible = aThreadMarkers[nThread].nLastIrreversible;
    const int nSavedIrreversible = nLastIrreversible;

    SearchStack local = sp.ss;
    Position child;
    PvLine childPv;
    Move aMine[kMaxMoves];
    int nSearched = 0;
    char szRootText[128] = "";
    while (!Aborted(nThread)) {
        lockSplitPicker.Lock();
        int nMoveScore = 0;
        const Move m = NextMove(pos, list, nPlyIndex, bInCheck, &nMoveScore);
        const int nReturned = list->nReturned;
        lockSplitPicker.Unlock();
        if (!m) break;
        if (bRootTrace)
            snprintf(szRootText, sizeof(szRootText), " Root move %2d.%6s", nReturned,
                     MoveToSan(pos, m).c_str());

        MakeMove(m, pos, &child, nPlyIndex, nThread);
        if (AttackedBy(KingSquare(child, nMover), &child, nOpp)) {
            nLastIrreversible = nSavedIrreversible;
            if (bRootTrace) TraceLog(2, "%s illegal\n", szRootText);
            continue;
        }
        child.nInCheck = uint8_t(AttackedBy(KingSquare(child, nOpp), &child, nMover));
        me.nSplitMoves.fetch_add(1, std::memory_order_relaxed);
        const int nCaptured = MoveCaptured(m);
        local.nCaptureSq = nCaptured ? MoveTo(m) : -1;
        local.nCapturedType = nCaptured ? nCaptured : -1;
        local.nNodeType = NODE_CUT;
        if (Aborted(nThread)) break;
        const int nBestSoFar = RelaxedLoad(shared->nScore);
        if (nBestSoFar > nAlpha) nAlpha = nBestSoFar;

        // The king rules need the node's own evaluation terms, which a helper does not have.
        bool bPruned = false;
        int nAdjust = 0;
        MovePlan plan{false, 0, 0};
        if (bStrong) {
            const PlanNode node{sp.nDepth,  sp.nPly,     nAlpha,   nBeta, sp.nStaticEval,
                                nBestSoFar, sp.nNodeExt, bInCheck, false};
            plan = PlanMove(node, pos, &child, m, nMoveScore, nReturned);
            bPruned = plan.bPruned;
            nAdjust = plan.nExtension;
        } else {
            nAdjust = ExtendOrPrune(m, &child, nAlpha, nBeta, nMoveScore, sp.ss.nCaptureSq, sp.nNodeExt,
                                    sp.nDepth, sp.nPly, bInCheck, child.nInCheck, nReturned - 1,
                                    sp.nStaticEval, &bPruned, EVAL_NO_KING, EVAL_NO_KING, nThread);
        }
        if (bPruned) {
            nLastIrreversible = nSavedIrreversible;
            continue;
        }
        const int nNewDepth = sp.nDepth - ONE_PLY + nAdjust;
        const int nChildPly = sp.nPly + ONE_PLY;

        int s = 0;
        if (bStrong) {
            s = SearchLaterMove(&child, nNewDepth, plan.nReduction, nAlpha, nBeta, &childPv, nChildPly,
                                &local, nThread);
            if (Aborted(nThread)) break;
        } else {
            st.nZwSearches++;
            s = -SearchFull(&child, nNewDepth, -nAlpha - 1, -nAlpha, &childPv, nChildPly, true, &local,
                            nThread);
            if (Aborted(nThread)) break;
            if (s > nAlpha) {
                if (s < nBeta) {
                    if (bRootTrace && sp.nDepth > 32) {
                        const size_t n = strlen(szRootText);
                        snprintf(szRootText + n, sizeof(szRootText) - n, " score = %d (need to research)", s);
                    }
                    st.nReSearches++;
                    s = -SearchFull(&child, nNewDepth, -nBeta, -nAlpha, &childPv, nChildPly, true, &local,
                                    nThread);
                    if (Aborted(nThread)) break;
                }
                if (s >= nBeta && nNewDepth < sp.nDepth - ONE_PLY) {
                    st.nReReductions++;
                    s = -SearchFull(&child, sp.nDepth - ONE_PLY, -nBeta, -nAlpha, &childPv, nChildPly, true,
                                    &local, nThread);
                    if (Aborted(nThread)) break;
                }
            }
        }
        if (bRootTrace)
            TraceLog(2, "%s score = %d (%d/%d) depth=%d\n", szRootText, s, nAlpha, nBeta, childPv.nLength);
        nLastIrreversible = nSavedIrreversible;
        if (bStopSearch.load(std::memory_order_relaxed)) break;
        if (nSearched < kMaxMoves) aMine[nSearched] = m;

        lockSplitResult.Lock();
        if (sp.nPly == 0) RecordRootMove(m, s <= nAlpha ? sp.nAlpha : s >= nBeta ? nBeta : s, false);
        if (s > RelaxedLoad(shared->nScore) && !Aborted(nThread)) {
            if (s >= nBeta) {
                // The node is refuted: store it, publish the score, and stop everybody at it.
                if (m != list->nHashMove && !nCaptured) UpdateKillers(nPlyIndex, m);
                const int nMine = nSearched < kMaxMoves ? nSearched : kMaxMoves;
                if (bStrong)
                    UpdateQuietHistory(nMover, m, aMine, nMine, sp.nDepth / ONE_PLY);
                else
                    AddHistoryCutoff(nMover, m, sp.nDepth / ONE_PLY);
                if (sp.nPly > 0 || !RootFiltered())
                    StoreHashAtPly(pos, sp.nDepth / ONE_PLY, nPlyIndex, s, sp.nAlpha, nBeta, m, sp.bThreat,
                                   false);
                SetLine(shared, m, childPv, s);
                lockSplitResult.Unlock();
                const int nMask = nSplitMask.load(std::memory_order_relaxed) | 1;
                for (int w = 0; w < kMaxThreads; w++)
                    if (nMask & (1 << w)) aWorkers[w].nJob.store(JOB_ABORT, std::memory_order_release);
                if (!bStrong)
                    for (int i = 0; i < nMine; i++) AddHistoryTried(nMover, aMine[i]);
                nLastIrreversible = nSavedIrreversible;
                return;
            }
            SetLine(shared, m, childPv, s);
        }
        lockSplitResult.Unlock();
        nSearched++;
    }
    nLastIrreversible = nSavedIrreversible;
}
