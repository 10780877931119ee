// Quiescence search: captures (and every evasion when in check) below the main search's horizon,
// so that the static evaluation is only taken in quiet positions.
#include <cstdio>

#include "core/log.h"
#include "core/settings.h"
#include "core/stats.h"
#include "eval/eval.h"
#include "search/search.h"

namespace {

constexpr int kTypeValue[8] = {0, 100, 325, 325, 500, 975, 0, 0};

// Ordering score of one generated move (the loop stops at the first negative one unless in
// check, so losing captures and underpromotions are never searched).
inline int QuiesceMoveScore(const Position* pos, Move m, Move nHashMove, Move nKiller1, Move nKiller2) {
    if (m == nHashMove) return SCORE_INF;
    if (m == nKiller1) return 5000;
    if (m == nKiller2) return 4000;
    if (MoveCaptured(m)) {
        const int d = kTypeValue[MoveCaptured(m)] - kTypeValue[MovePiece(m)];
        return d > 0 ? d : StaticExchange(pos, MoveFrom(m), MoveTo(m));
    }
    if (MovePromo(m)) return MovePromo(m) == QUEEN ? 975 : -1;
    return 0;
}

inline int EmptyLine(PvLine* pv, int nScore) {
    pv->nLength = 0;
    pv->nScore = nScore;
    return nScore;
}

// The UCI progress line every so many nodes (the steps grow with the node total).
void QuiesceProgress() {
    const uint64_t nTotal = SearchNodeTotal();
    uint64_t nNext = nNextInfoNodes.load(std::memory_order_relaxed);
    if (nTotal < nNext) return;
    const uint64_t nStep = nTotal < 10000000    ? 1000000
                           : nTotal < 20000000  ? 2000000
                           : nTotal < 50000000  ? 5000000
                           : nTotal < 100000000 ? 10000000
                                                : 50000000;
    nNextInfoNodes.store(nTotal + nStep, std::memory_order_relaxed);
    PrintCurrMove(0, nullptr, nTotal, HashFull());
}

}  // namespace

int Quiesce(const Position* pos, int nQDepth, int nAlpha, int nBeta, PvLine* pvOut, int nPlyIndex,
            SearchStack* ss, int nThread) {
    SearchStats& st = ThreadStats(nThread);
    int anEvalInfo[2];

    // A drawn fifty-move count ends the line at once.
    pvOut->nLength = 0;
    pvOut->nDepth = 0;
    st.nQNodes++;
    int nBest = -SCORE_INF;
    if (nPlyIndex > 0 && pos->nFifty > 100) return EmptyLine(pvOut, 0);
    const bool bInCheck = pos->nInCheck != 0;

    // Stand pat.
    int nStandPat = -SCORE_INF;
    if (!bInCheck) {
        nStandPat = Evaluate(pos, nAlpha, nBeta, nPlyIndex, anEvalInfo, 0);
        nBest = nStandPat;
        if (nStandPat > nAlpha) {
            pvOut->nScore = nStandPat;
            if (nStandPat >= nBeta) return nStandPat;
        }
    }

    // The table gives a move to try first (and, for deep enough entries, a cut).
    HashProbe probe;
    if (ProbeHash(pos, nQDepth, nAlpha, nBeta, nPlyIndex, &probe)) return EmptyLine(pvOut, probe.nScore);
    const Move nHashMove = probe.bHashMoveFound ? probe.nMove : 0;

    // Out of levels or plies: the evaluation as it stands.
    pvOut->nScore = nBest;
    if (nPlyIndex > nSelDepth.load(std::memory_order_relaxed))
        nSelDepth.store(nPlyIndex, std::memory_order_relaxed);
    st.nSelDepth.Max(uint64_t(nPlyIndex));
    if (nQDepth == 0 || nPlyIndex >= kMaxPly)
        return EmptyLine(pvOut, Evaluate(pos, nAlpha, nBeta, nPlyIndex, anEvalInfo, 0));

    // Time check, at most 1024 nodes apart.
    if (bStopSearch.load(std::memory_order_relaxed) ||
        ((st.nNodes.Get() + st.nQNodes.Get() + 1) % 1024 == 0 && NeedToAbortMove(ss))) {
        TraceLog(2, "Q timeout\n");
        fflush(stdout);
        bStopSearch.store(true, std::memory_order_relaxed);
        return EmptyLine(pvOut, Evaluate(pos, nAlpha, nBeta, nPlyIndex, anEvalInfo, 0));
    }

    // Generate, score and sort.
    MoveList list;
    const int nCount = bInCheck ? GenerateEvasions(pos, list.aMoves, kMaxMoves)
                                : GenerateCaptures(pos, list.aMoves, kMaxMoves);
    const int nRow = nPlyIndex < kMaxPly ? nPlyIndex : kMaxPly - 1;
    const Move nKiller1 = RelaxedLoad(anKiller1[nRow]), nKiller2 = RelaxedLoad(anKiller2[nRow]);
    for (int i = 0; i < nCount; i++)
        list.aScores[i] = QuiesceMoveScore(pos, list.aMoves[i], nHashMove, nKiller1, nKiller2);
    list.nCount = nCount;
    SortMoves(&list, 0);

    // The moves.
    const int nMover = pos->bSideToMove, nOpp = nMover ^ 1;
    const bool bNullWindow = nBeta == nAlpha + 1;
    const bool bUci = bUciMode;
    bool bLegalSeen = false;
    Position child;
    PvLine childPv;
    for (int i = 0; i < nCount; i++) {
        const Move m = list.aMoves[i];
        if (!bInCheck && list.aScores[i] < 0) break;

        MakeMove(m, pos, &child, nPlyIndex, nThread);
        if (AttackedBy(KingSquare(child, nMover), &child, nOpp)) continue;
        bLegalSeen = true;
        if (bUci) QuiesceProgress();
        child.nInCheck = uint8_t(AttackedBy(KingSquare(child, nOpp), &child, nMover));

        // Delta pruning: a capture that cannot lift the score to alpha even with its exchange gain.
        if (!bInCheck && !child.nInCheck && bNullWindow) {
            int nGain = StaticExchange(pos, MoveFrom(m), MoveTo(m)) + nStandPat + 50;
            if (MoveKind(m) == KIND_PROMO) nGain += 875;
            if (nAlpha >= nGain) {
                if (nGain > nBest) {
                    nBest = nGain;
                    EmptyLine(pvOut, nGain);
                }
                continue;
            }
        }

        if (nBest > nAlpha) nAlpha = nBest;
        const int s = -Quiesce(&child, nQDepth - 1, -nBeta, -nAlpha, &childPv, nPlyIndex + 1, ss, nThread);
        if (bStopSearch.load(std::memory_order_relaxed)) return nBest;
        if (s >= nBeta) {
            SetLine(pvOut, m, childPv, s);
            return s;
        }
        if (s > nBest) {
            nBest = s;
            SetLine(pvOut, m, childPv, s);
        }
    }

    // No legal evasion: mated.
    if (bInCheck && !bLegalSeen) return EmptyLine(pvOut, nPlyIndex - MATE);
    if (nCount > 0 && list.aScores[0] >= 0) return nBest;
    // The list was empty or began with a losing move: the position is judged as it stands
    // (without a check the stand pat is that evaluation, same arguments, nothing searched).
    if (!bInCheck) return EmptyLine(pvOut, nStandPat);
    return EmptyLine(pvOut, Evaluate(pos, nAlpha, nBeta, nPlyIndex, anEvalInfo, 0));
}
