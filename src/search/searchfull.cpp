// The main search: a principal-variation alpha-beta search in quarter plies with table cutoffs,
// repetition and fifty-move draws, mate-distance pruning, null move, internal iterative
// deepening, the per-move decision of ExtendOrPrune, zero-window searches of later moves, killer
// and history updates, and the master side of split points.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/log.h"
#include "core/settings.h"
#include "core/stats.h"
#include "eval/eval.h"
#include "search/search.h"
#include "search/threads.h"

int anHistoryCutoffs[2][6][64];
int anHistoryTried[2][6][64];
std::atomic<int> nSelDepth{0};
std::atomic<uint64_t> nNextInfoNodes{2000000};
ThreadHistory aThreadHistory[kMaxThreads];
SpinLock lockSplitPicker;
SpinLock lockSplitResult;

namespace {

// The counts start at 1 from the first search on.
const bool bHistoryTablesReady = [] {
    ResetSearchHistory();
    return true;
}();

constexpr int kHistoryLimit = 30000;

void HalveHistoryScores() {
    for (auto& side : anHistory)
        for (auto& piece : side)
            for (int& h : piece) RelaxedStore(h, RelaxedLoad(h) / 2);
}

void HalveHistoryCounts() {
    for (int c = 0; c < 2; c++)
        for (int p = 0; p < 6; p++)
            for (int sq = 0; sq < 64; sq++) {
                int& a = anHistoryCutoffs[c][p][sq];
                int& b = anHistoryTried[c][p][sq];
                RelaxedStore(a, (RelaxedLoad(a) + 1) / 2);
                RelaxedStore(b, (RelaxedLoad(b) + 1) / 2);
            }
}

inline bool ThreadAborted(int nThread) {
    return aWorkers[nThread].nJob.load(std::memory_order_relaxed) == JOB_ABORT;
}

inline bool StopRequested() {
    return bStopSearch.load(std::memory_order_relaxed);
}

// The best score of a node may be raised by helpers at a split point, so it is read and
// written atomically.
inline int BestScore(const PvLine* pv) {
    return RelaxedLoad(pv->nScore);
}

inline int EmptyLine(PvLine* pv, int nScore) {
    pv->nLength = 0;
    pv->nDepth = 0;
    RelaxedStore(pv->nScore, nScore);
    return nScore;
}

// The UCI progress line: for every root move of a long, deep search, and otherwise every so many
// nodes (the step grows with the node total) repeating the last move printed.
void Progress(Move m, int nLegal, bool bRootLine) {
    const uint64_t nTotal = SearchNodeTotal();
    if (bRootLine && nTotal > 1000000) {
        PrintCurrMove(nLegal, MoveToCoord(m).c_str(), nTotal, HashFull());
        return;
    }
    if (nTotal < nNextInfoNodes.load(std::memory_order_relaxed)) return;
    const uint64_t nStep = nTotal < 10000000    ? 1000000
                           : nTotal < 20000000  ? 2000000
                           : nTotal < 50000000  ? 5000000
                           : nTotal < 100000000 ? 10000000
                                                : 50000000;
    nNextInfoNodes.store(nTotal + nStep, std::memory_order_relaxed);
    PrintCurrMove(0, nullptr, nTotal, HashFull());
}

// The position after passing: side, keys, half-move clock and en-passant square.
void MakeNullMove(const Position* pos, Position* out) {
    CopyPosition(out, pos);
    out->bSideToMove ^= 1;
    out->nHashKey ^= nKeySide;
    out->nPawnKey ^= nKeySide;
    const uint8_t nFifty = uint8_t(pos->nFifty < 255 ? pos->nFifty + 1 : 255);
    out->nHashKey ^= uint64_t(anKeyFifty[pos->nFifty]) ^ uint64_t(anKeyFifty[nFifty]);
    out->nFifty = nFifty;
    if (out->nEpSquare >= 0) {
        out->nHashKey ^= anKeyEp[out->nEpSquare];
        out->nEpSquare = -1;
    }
    out->nInCheck = 0;
}

// Worker 0 leaving its split point: it waits for the helpers it enlisted (they point into this
// frame), counts the wait as idle time, and clears an abort a helper's cutoff left on it.
// Returns whether a helper's cutoff ended the node.
bool EndSplit(int nThread, int nHelperMask) {
    const int64_t t0 = NowMs();
    WaitHelpersIdle(nHelperMask);
    aWorkers[nThread].nIdleMs.fetch_add(NowMs() - t0, std::memory_order_relaxed);
    int nAbort = JOB_ABORT;
    return aWorkers[nThread].nJob.compare_exchange_strong(nAbort, JOB_IDLE, std::memory_order_acq_rel);
}

// Master side of a cutoff at a split point: tell the enlisted helpers to stop.
void StopHelpers(int nThread, int nHelperMask) {
    for (int h = 1; h < kMaxThreads; h++)
        if (nHelperMask & (1 << h)) aWorkers[h].nJob.store(JOB_ABORT, std::memory_order_release);
    EndSplit(nThread, nHelperMask);
}

}  // namespace

void AddHistoryTried(int nSide, Move m) {
    int& t = anHistoryTried[nSide][MovePiece(m) - 1][MoveTo(m)];
    const int v = RelaxedLoad(t) + 1;
    RelaxedStore(t, v);
    if (v >= kHistoryLimit) HalveHistoryCounts();
}

// A cutoff: the history score grows by the squared depth in plies, and the move counts as
// tried and as cutting off.
void AddHistoryCutoff(int nSide, Move m, int nDepthPlies) {
    const int p = MovePiece(m) - 1, to = MoveTo(m);
    int& h = anHistory[nSide][p][to];
    const int v = RelaxedLoad(h) + nDepthPlies * nDepthPlies;
    RelaxedStore(h, v);
    int& c = anHistoryCutoffs[nSide][p][to];
    RelaxedStore(c, RelaxedLoad(c) + 1);
    if (v >= kHistoryLimit) HalveHistoryScores();
    AddHistoryTried(nSide, m);
}

void UpdateKillers(int nRow, Move m) {
    const Move k1 = RelaxedLoad(anKiller1[nRow]);
    if (k1 != m) {
        RelaxedStore(anKiller2[nRow], k1);
        RelaxedStore(anKiller1[nRow], m);
    }
}

void SetLine(PvLine* pv, Move m, const PvLine& child, int nScore) {
    int n = child.nLength;
    if (n > kMaxPly - 1) n = kMaxPly - 1;
    pv->anMoves[0] = m;
    memcpy(pv->anMoves + 1, child.anMoves, sizeof(uint32_t) * size_t(n > 0 ? n : 0));
    pv->nLength = n > 0 ? n + 1 : 1;
    pv->nDepth = child.nDepth + 1;
    RelaxedStore(pv->nScore, nScore);
}

void ResetSearchHistory() {
    for (int c = 0; c < 2; c++)
        for (int p = 0; p < 6; p++)
            for (int sq = 0; sq < 64; sq++) {
                RelaxedStore(anHistory[c][p][sq], 0);
                RelaxedStore(anHistoryCutoffs[c][p][sq], 1);
                RelaxedStore(anHistoryTried[c][p][sq], 1);
            }
}

void ClearKillers() {
    for (int i = 0; i < kMaxPly; i++) {
        RelaxedStore(anKiller1[i], Move(0));
        RelaxedStore(anKiller2[i], Move(0));
    }
}

uint64_t SearchNodeTotal() {
    uint64_t n = 0;
    for (int t = 0; t < kMaxThreads; t++) n += ThreadStats(t).nNodes.Get() + ThreadStats(t).nQNodes.Get();
    return n;
}

void SpinLock::Lock() {
    // With more workers than cores the holder may be descheduled: yield after a short spin.
    int nSpins = 0;
    while (nLocked.exchange(1, std::memory_order_acquire))
        while (nLocked.load(std::memory_order_relaxed)) {
            CpuPause();
            if (++nSpins >= 64) {
                nSpins = 0;
                std::this_thread::yield();
            }
        }
}

int SearchFull(const Position* pos, int nDepth, int nAlpha, int nBeta, PvLine* pvOut, int nPly,
               bool bAllowNull, SearchStack* ss, int nThread) {
    SearchStats& st = ThreadStats(nThread);
    const int nPlyIndex = nPly / ONE_PLY;
    const bool bStrong = !bClassicStyle;
    const bool bPvNode = nBeta != nAlpha + 1;
    int anEvalInfo[2] = {EVAL_NO_KING, EVAL_NO_KING};
    pvOut->nLength = 0;
    pvOut->nDepth = 0;

    // Count; the deepest line returns the evaluation; a stop unwinds all but a one-ply root.
    st.nNodes++;
    if (nPlyIndex > nSelDepth.load(std::memory_order_relaxed))
        nSelDepth.store(nPlyIndex, std::memory_order_relaxed);
    st.nSelDepth.Max(uint64_t(nPlyIndex));
    if (nPlyIndex >= kMaxPly) return EmptyLine(pvOut, Evaluate(pos, nAlpha, nBeta, nPlyIndex, anEvalInfo, 0));
    if (StopRequested() && nDepth + nPly > ONE_PLY) return EmptyLine(pvOut, 0);

    // Repetition: one earlier occurrence inside the search line is a draw, two near the root
    // (so that a position repeated once in the game is still played for).
    uint64_t* aHistory = SearchHistory(nThread);
    const int nHere = game.nGamePly + nPlyIndex;
    const bool bHistoryOk = nHere >= 0 && nHere < kGameHistorySize;
    if (bHistoryOk) {
        const uint64_t nSig = RepetitionKey(*pos);
        aHistory[nHere] = nSig;
        const int nRequired = nPlyIndex <= 1 ? 3 : 2;
        int nLow = aThreadMarkers[nThread].nLastIrreversible;
        if (nLow < 0) nLow = 0;
        int nCount = 1;
        for (int i = nHere - 1; i >= nLow; i--) {
            if (aHistory[i] != nSig) continue;
            if (nCount == nRequired - 1) {
                if (nPly == 0 && bUciMode) TraceLog(1, "info string Draw by repetition\n");
                return EmptyLine(pvOut, 0);
            }
            nCount++;
        }
    }

    // Fifty-move rule.
    if (nPly > 0 && pos->nFifty > 100) return EmptyLine(pvOut, 0);

    // Transposition table. A cut's move is kept in the line only when it is legal here (a key
    // collision can bring a pseudo-legal but illegal move); the root takes a cut only with one.
    // The newer rules take cuts at null-window nodes only, so that a PV is searched, not cut short.
    // A root searched for some of its moves only (searchmoves, MultiPV) neither takes a cut nor
    // stores its result: the table's entry for it speaks of all the moves.
    const bool bRootFiltered = nPly == 0 && RootFiltered();
    HashProbe probe;
    if (ProbeHash(pos, nDepth / ONE_PLY, nAlpha, nBeta, nPlyIndex, &probe) && (!bStrong || !bPvNode)) {
        const Move m = probe.nMove;
        const bool bLegal = m && IsMoveValid(pos, m) && IsLegalMove(pos, m);
        if (nPly > 0 || (bLegal && !bRootFiltered)) {
            pvOut->anMoves[0] = m;
            pvOut->nLength = bLegal ? 1 : 0;
            pvOut->nDepth = probe.nDepth;
            RelaxedStore(pvOut->nScore, probe.nScore);
            return probe.nScore;
        }
    }
    Move nHashMove = probe.bHashMoveFound && IsMoveValid(pos, probe.nMove) ? probe.nMove : 0;
    bool bThreat = probe.bThreat;

    // Time check, every 1024 nodes of this thread.
    if (StopRequested() ||
        ((st.nNodes.Get() + st.nQNodes.Get()) % 1024 == 0 && nDepth > ONE_PLY && NeedToAbortMove(ss))) {
        TraceLog(2, "SearchFull() - timeout\n");
        fflush(stdout);
        bStopSearch.store(true, std::memory_order_relaxed);
        return EmptyLine(pvOut, Evaluate(pos, nAlpha, nBeta, nPlyIndex, anEvalInfo, 0));
    }

    // A helper's cutoff at the split point above.
    if (ThreadAborted(nThread)) return EmptyLine(pvOut, 0);

    // Mate-distance pruning: no score here can beat a mate in one or lose to more than a
    // mate next move.
    const bool bInCheck = pos->nInCheck != 0;
    const int nEntryAlpha = nAlpha;
    if (!bInCheck) {
        const int nLo = nPlyIndex - (MATE - 2);
        if (nAlpha < nLo) {
            if (nLo >= nBeta) {
                st.nMatePrunes++;
                return EmptyLine(pvOut, nLo);
            }
            nAlpha = nLo;
        }
        const int nHi = (MATE - 1) - nPlyIndex;
        if (nBeta > nHi) {
            if (nAlpha >= nHi) {
                st.nMatePrunes++;
                return EmptyLine(pvOut, nHi);
            }
            nBeta = nHi;
        }
    }

    // The entry handed to the children; its bLastIteration goes back to ours on return.
    SearchStack local = *ss;
    const int nOwnCaptureSq = ss->nCaptureSq;
    const int nOwnCapturedType = ss->nCapturedType;
    const int nNodeType = ss->nNodeType;
    auto Leave = [&](int nScore) {
        if (local.bLastIteration) ss->bLastIteration = 1;
        return nScore;
    };

    // Static evaluation; below one ply the quiescence search decides unless the
    // evaluation is far outside the window.
    int nStaticEval = 0;
    if (!bInCheck) nStaticEval = Evaluate(pos, nAlpha, nBeta, nPlyIndex, anEvalInfo, 0);
    if (nDepth < ONE_PLY) {
        int s = nStaticEval;
        if (bInCheck || (nAlpha < nStaticEval + 975 && nStaticEval - 975 < nBeta)) {
            PvLine qpv;
            s = Quiesce(pos, 32, nAlpha, nBeta, &qpv, nPlyIndex, ss, nThread);
            // An interrupted check evasion search has no score: fall back to the evaluation (the
            // stand pat of a node not in check is that evaluation already).
            if (s == -SCORE_INF)
                s = bInCheck ? Evaluate(pos, nAlpha, nBeta, nPlyIndex, anEvalInfo, 0) : nStaticEval;
        }
        return EmptyLine(pvOut, s);
    }

    // Full node.
    int nNodeExt = 0;
    if (probe.bSingleReply) {
        nNodeExt = ONE_PLY;
        st.nSingleReplyExts++;
    }
    int& nLastIrreversible = aThreadMarkers[nThread].nLastIrreversible;
    const int nSavedIrreversible = nLastIrreversible;

    // The newer rules: a static score far above beta at low depth stands (reverse futility); one
    // far below alpha is checked by the quiescence search alone (razoring).
    const int nDepthPlies = nDepth / ONE_PLY;
    if (bStrong && !bPvNode && !bInCheck && nPly > 0 && nBeta > -MATE_BOUND && nBeta < MATE_BOUND) {
        if (nDepthPlies <= 7 && nStaticEval - 80 * nDepthPlies >= nBeta) {
            st.nFutilityPrunes++;
            return Leave(EmptyLine(pvOut, nStaticEval));
        }
        if (nDepthPlies <= 3 && nStaticEval + 200 + 150 * nDepthPlies <= nAlpha) {
            PvLine qpv;
            const int q = Quiesce(pos, 32, nAlpha, nBeta, &qpv, nPlyIndex, ss, nThread);
            if (q != -SCORE_INF && q <= nAlpha && !StopRequested()) {
                st.nRazorReductions++;
                return Leave(EmptyLine(pvOut, q));
            }
        }
    }

    // Null move: pass, and if a reduced search still fails high, so does this node. The first
    // design reduces four plies from four plies of depth on; the newer rules 3 + depth/4 plies
    // and more the further the evaluation stands above beta, from two plies on, never with
    // pawns alone (zugzwang) and with a verification search at high depth.
    const Bitboard* own = pos->bbPieces[pos->bSideToMove];
    const bool bPieces = (own[BB_KNIGHT] | own[BB_BISHOP] | own[BB_ROOK] | own[BB_QUEEN]) != 0;
    const int nNullMinDepth = bStrong ? 2 * ONE_PLY : 17;
    int nNullReduction = 16;
    if (bStrong) nNullReduction = ONE_PLY * (4 + nDepthPlies / 4 + std::min((nStaticEval - nBeta) / 200, 3));
    if (nDepth >= nNullMinDepth && bAllowNull && !bInCheck && nPly > 0 && nStaticEval >= nBeta &&
        !probe.bAvoidNull && nBeta >= -(MATE_BOUND - 1) && nBeta <= MATE_BOUND - 1 && nBeta == nAlpha + 1 &&
        !bThreat && (bPieces || !bStrong)) {
        Position nullPos;
        MakeNullMove(pos, &nullPos);
        // No repetition can span the null move.
        const uint64_t nSavedSig = bHistoryOk ? aHistory[nHere] : 0;
        if (bHistoryOk) aHistory[nHere] = 0;
        local.nCaptureSq = -1;
        local.nCapturedType = -1;
        local.nNodeType = NODE_CUT;
        PvLine nullPv;
        int s = -SearchFull(&nullPos, nDepth - nNullReduction, -nBeta, -nBeta + 1, &nullPv, nPly + ONE_PLY,
                            false, &local, nThread);
        if (bHistoryOk) aHistory[nHere] = nSavedSig;
        nLastIrreversible = nSavedIrreversible;
        if (s >= nBeta && bStrong) {
            // A mate found after passing proves nothing about this node.
            if (s >= MATE_BOUND) s = nBeta;
            if (nDepthPlies >= 12 && !StopRequested()) {
                local.nNodeType = ss->nNodeType;
                PvLine verifyPv;
                const int v = SearchFull(pos, nDepth - nNullReduction, nBeta - 1, nBeta, &verifyPv, nPly,
                                         false, &local, nThread);
                nLastIrreversible = nSavedIrreversible;
                if (v < nBeta) s = v;
            }
        }
        if (s >= nBeta) {
            st.nNullCuts++;
            return Leave(EmptyLine(pvOut, s));
        }
        st.nNullFails++;
        // Passing lets the opponent mate at once: a threat the table remembers.
        if (s == nPlyIndex - (MATE - 2)) bThreat = true;
    }

    // First move: the table's, else at PV nodes one from a shallower search.
    int nPhase = PHASE_START;
    if (nHashMove) {
        nPhase = PHASE_HASH;
    } else if (nBeta != nAlpha + 1 && nDepth >= 9) {
        local.nCaptureSq = nOwnCaptureSq;
        local.nCapturedType = nOwnCapturedType;
        local.nNodeType = nNodeType;
        PvLine iidPv;
        int s = SearchFull(pos, nDepth - 8, nAlpha, nBeta, &iidPv, nPly, false, &local, nThread);
        if (s <= nAlpha) SearchFull(pos, nDepth - 8, -SCORE_INF, nBeta, &iidPv, nPly, false, &local, nThread);
        nLastIrreversible = nSavedIrreversible;
        if (iidPv.nLength > 0 && IsMoveValid(pos, iidPv.anMoves[0])) {
            nHashMove = iidPv.anMoves[0];
            nPhase = PHASE_HASH;
        }
    }
    // Without a table move a null-window node is searched a ply shallower (the newer rules):
    // it is cheaper to find the move at the next visit than to search blind at full depth.
    if (bStrong && !nHashMove && !bPvNode && nDepth >= 4 * ONE_PLY) nDepth -= ONE_PLY;
    if (nPly == 0) nPhase = PHASE_ROOT;
    MoveList list;
    StartPicker(&list, nHashMove, nPhase);

    // The moves.
    RelaxedStore(pvOut->nScore, -SCORE_INF);
    int nMoveIndex = 0, nLegal = 0;
    const int nMover = pos->bSideToMove, nOpp = nMover ^ 1;
    const bool bRoot = nPly == 0;
    const bool bRootTrace = bRoot && TraceLevel() >= 2;
    const bool bUci = bUciMode;
    char szRootText[128] = "";
    bool bSplit = false;  // helpers share this node's picker and line
    int nHelperMask = 0;  // the helpers enlisted (bit h for worker h)
    Position child;
    PvLine childPv;
    int s = 0;
    while (!ThreadAborted(nThread)) {
        // Next move (under the picker lock at a split point).
        if (bSplit) lockSplitPicker.Lock();
        int nMoveScore = 0;
        const Move m = NextMove(pos, &list, nPlyIndex, bInCheck, &nMoveScore);
        const int nReturned = list.nReturned, nListCount = list.nCount;
        if (bSplit) lockSplitPicker.Unlock();
        if (!m) break;
        if (bRootTrace)
            snprintf(szRootText, sizeof(szRootText), " Root move %2d.%6s", nReturned,
                     MoveToSan(pos, m).c_str());

        // The only evasion is searched a ply deeper.
        if (bInCheck && nNodeExt == 0 && nListCount == 1) {
            nNodeExt = ONE_PLY;
            st.nSingleReplyExts++;
        }

        // Make it; every move (the table's included) must leave the mover's king safe.
        MakeMove(m, pos, &child, nPlyIndex, nThread);
        if (AttackedBy(KingSquare(child, nMover), &child, nOpp)) {
            nLastIrreversible = nSavedIrreversible;
            if (bRootTrace) TraceLog(2, "%s illegal\n", szRootText);
            continue;
        }
        nLegal++;

        // Progress line, checks given, and the capture the children see.
        if (bUci) Progress(m, nLegal, bRoot && nDepth >= 33);
        child.nInCheck = uint8_t(AttackedBy(KingSquare(child, nOpp), &child, nMover));
        // At a split point the move counts for this worker's share in the thread statistics.
        if (bSplit) aWorkers[nThread].nSplitMoves.fetch_add(1, std::memory_order_relaxed);
        const int nCaptured = MoveCaptured(m);
        local.nCaptureSq = nCaptured ? MoveTo(m) : -1;
        local.nCapturedType = nCaptured ? nCaptured : -1;
        if (ThreadAborted(nThread)) break;
        const int nBest = BestScore(pvOut);
        if (nBest > nAlpha) nAlpha = nBest;

        // Extend, reduce or prune.
        bool bPruned = false;
        int nAdjust = 0, nReduction = 0;
        if (bStrong) {
            const PlanNode node{nDepth,   nPly,        nAlpha,
                                nBeta,    nStaticEval, BestScore(pvOut),
                                nNodeExt, bInCheck,    nNodeType == NODE_CUT};
            const MovePlan plan = PlanMove(node, pos, &child, m, nMoveScore, nReturned);
            bPruned = plan.bPruned;
            nAdjust = plan.nExtension;
            nReduction = plan.nReduction;
            if (bPruned) st.nExtPrunes++;
        } else {
            nAdjust = ExtendOrPrune(m, &child, nAlpha, nBeta, nMoveScore, nOwnCaptureSq, nNodeExt, nDepth,
                                    nPly, bInCheck, child.nInCheck, nMoveIndex, nStaticEval, &bPruned,
                                    anEvalInfo[0], anEvalInfo[1], nThread);
        }
        if (bPruned) {
            nLastIrreversible = nSavedIrreversible;
            if (bRootTrace && nDepth >= 33) TraceLog(2, "%s pruned\n", szRootText);
            continue;
        }
        const int nNewDepth = nDepth - ONE_PLY + nAdjust;
        if (bRoot) ss->nRootMove = local.nRootMove = nLegal;

        // The first move with the full window; later ones with a null window one ply
        // shallower, searched again when they beat alpha (and deeper when a reduction failed).
        if (nMoveIndex == 0) {
            local.nNodeType = -nNodeType;
            s = -SearchFull(&child, nNewDepth, -nBeta, -nAlpha, &childPv, nPly + ONE_PLY, true, &local,
                            nThread);
        } else if (bStrong) {
            local.nNodeType = nNodeType == NODE_PV ? NODE_CUT : -nNodeType;
            s = SearchLaterMove(&child, nNewDepth, nReduction, nAlpha, nBeta, &childPv, nPly + ONE_PLY,
                                &local, nThread);
        } else {
            local.nNodeType = nNodeType == NODE_PV ? NODE_CUT : -nNodeType;
            st.nZwSearches++;
            s = -SearchFull(&child, nNewDepth - ONE_PLY, -nAlpha - 1, -nAlpha, &childPv, nPly + ONE_PLY, true,
                            &local, nThread);
            if (s > nAlpha && !ThreadAborted(nThread)) {
                if (s < nBeta) {
                    if (bRootTrace && nDepth >= 33) {
                        const size_t n = strlen(szRootText);
                        snprintf(szRootText + n, sizeof(szRootText) - n, " score = %d (need to research)", s);
                    }
                    st.nReSearches++;
                    s = -SearchFull(&child, nNewDepth, -nBeta, -nAlpha, &childPv, nPly + ONE_PLY, true,
                                    &local, nThread);
                }
                if (s >= nBeta && nNewDepth < nDepth - ONE_PLY && !ThreadAborted(nThread)) {
                    st.nReReductions++;
                    s = -SearchFull(&child, nDepth - ONE_PLY, -nBeta, -nAlpha, &childPv, nPly + ONE_PLY, true,
                                    &local, nThread);
                }
            }
        }
        if (ThreadAborted(nThread)) break;
        if (bRootTrace)
            TraceLog(2, "%s score = %d (%d/%d) depth=%d\n", szRootText, s, nAlpha, nBeta, childPv.nLength);

        // A stop unwinds at once.
        nLastIrreversible = nSavedIrreversible;
        if (StopRequested()) {
            if (bSplit) EndSplit(nThread, nHelperMask);
            return Leave(s);
        }

        // Root scores for the next iteration's order; the moves tried here.
        if (bRoot) {
            if (bSplit) lockSplitResult.Lock();
            RecordRootMove(m, s <= nAlpha ? nEntryAlpha : s >= nBeta ? nBeta : s, nMoveIndex == 0);
            if (bSplit) lockSplitResult.Unlock();
        }
        if (nMoveIndex < kMaxMoves) list.aTried[nMoveIndex] = m;

        // Best score and line (under the result lock at a split point).
        if (bSplit) lockSplitResult.Lock();
        if (s > BestScore(pvOut)) {
            if (s >= nBeta) {
                CountFailHigh(st, nLegal);
                if (m != list.nHashMove && !nCaptured) UpdateKillers(nPlyIndex, m);
                const int nTried = nMoveIndex < kMaxMoves ? nMoveIndex : kMaxMoves;
                if (bStrong)
                    UpdateQuietHistory(nMover, m, list.aTried, nTried, nDepth / ONE_PLY);
                else
                    AddHistoryCutoff(nMover, m, nDepth / ONE_PLY);
                if (!bRootFiltered)
                    StoreHashAtPly(pos, nDepth / ONE_PLY, nPlyIndex, s, nAlpha, nBeta, m, bThreat, false);
                SetLine(pvOut, m, childPv, s);
                if (bSplit) {
                    lockSplitResult.Unlock();
                    StopHelpers(nThread, nHelperMask);
                }
                nLastIrreversible = nSavedIrreversible;
                if (!bStrong)
                    for (int i = 0; i < nTried; i++) AddHistoryTried(nMover, list.aTried[i]);
                return Leave(s);
            }
            SetLine(pvOut, m, childPv, s);
        }
        if (bSplit) lockSplitResult.Unlock();

        // Split point: after the first move of a PV node, worker 0 offers the rest to the
        // idle helpers.
        if (nMoveIndex == 0 && nThread == 0 && nNumThreads >= 2 && nNodeType == NODE_PV && !bSplit) {
            // The helpers get the node's own entry (its capture fields, not the first move's).
            SearchStack splitSs = local;
            splitSs.nCaptureSq = nOwnCaptureSq;
            splitSs.nCapturedType = nOwnCapturedType;
            splitSs.nNodeType = nNodeType;
            SplitRequest req{pos,   &list, pvOut,         &splitSs,    nDepth,   nEntryAlpha,
                             nBeta, nPly,  pos->nInCheck, nStaticEval, nNodeExt, bThreat};
            nHelperMask = OfferSplit(req);
            bSplit = nHelperMask != 0;
        }
        nMoveIndex++;
    }

    // After the loop; a node aborted from outside keeps what it has.
    nLastIrreversible = nSavedIrreversible;
    const bool bAborted = bSplit ? EndSplit(nThread, nHelperMask) : ThreadAborted(nThread);
    if (!bAborted) {
        // Mate or stalemate (pruned moves count as legal).
        if (nLegal == 0) return Leave(EmptyLine(pvOut, bInCheck ? nPlyIndex - MATE : 0));

        // Store the result; a root with a single legal move needs no further iteration. (At
        // a split point this worker counted only its own moves: one of them says nothing.)
        const int nBest = BestScore(pvOut);
        if (!StopRequested() && nBest >= -(SCORE_INF - 1) && !bRootFiltered) {
            const bool bSingle = nLegal == 1 && !bSplit;
            StoreHashAtPly(pos, nDepth / ONE_PLY, nPlyIndex, nBest, nEntryAlpha, nBeta,
                           pvOut->nLength > 0 ? pvOut->anMoves[0] : 0, bThreat, bSingle);
            if (bSingle && bRoot && !bPondering.load(std::memory_order_relaxed)) local.bLastIteration = 1;
        }
    }

    // Every move pruned: the static evaluation stands.
    const int nBest = BestScore(pvOut);
    if (nBest == -SCORE_INF) return Leave(EmptyLine(pvOut, nStaticEval));
    return Leave(nBest);
}
