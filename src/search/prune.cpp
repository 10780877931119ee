// The per-move decision of the main search: extensions (pawn to the seventh, check, recapture,
// king attack), reductions (low time, underpromotion, own king exposure, late moves) and move
// pruning (frontier futility, history, low time). Every pruning rule needs a null window, so PV
// nodes never lose moves here.
#include "core/settings.h"
#include "core/stats.h"
#include "eval/eval.h"
#include "search/search.h"

namespace {

// The king values of the last child seen by each thread (children come again after re-searches).
struct alignas(64) KingTermCache {
    uint64_t nKey;
    int anTerms[2];
    uint32_t nGeneration;  // nEvalWeightsGeneration of the values; 0 = none
};
KingTermCache aKingTermCache[kMaxThreads];

void ComputeKingTerms(const Position* pos, int* anTerms) {
    MaterialEntry me;
    ProbeMaterial(pos, &me);
    ComputeKingValues(pos, me, anTerms);
}

inline bool OnSecondOrSeventhRank(int sq) {
    const int r = SquareRank(sq);
    return r == 1 || r == 6;
}

}  // namespace

void ChildKingTerms(const Position* pos, int* anTerms, int nThread) {
    if (unsigned(nThread) >= unsigned(kMaxThreads)) {
        ComputeKingTerms(pos, anTerms);
        return;
    }
    KingTermCache& c = aKingTermCache[nThread];
    if (c.nGeneration != nEvalWeightsGeneration || c.nKey != pos->nHashKey) {
        ComputeKingTerms(pos, c.anTerms);
        c.nKey = pos->nHashKey;
        c.nGeneration = nEvalWeightsGeneration;
    }
    anTerms[0] = c.anTerms[0];
    anTerms[1] = c.anTerms[1];
}

int ExtendOrPrune(Move move, const Position* child, int nAlpha, int nBeta, int nMoveScore, int nCaptureSq,
                  int nNodeExt, int nDepth, int nPly, bool bInCheck, int nGivesCheck, int nMoveIndex,
                  int nStaticEval, bool* pbPruned, int nKingTermWhite, int nKingTermBlack, int nThread) {
    SearchStats& st = ThreadStats(nThread);
    *pbPruned = false;
    int ext = 0, red = 0;
    bool bPawnPush = false;
    const bool bGivesCheck = nGivesCheck != 0;
    const bool bNullWindow = nBeta == nAlpha + 1;
    const bool bQuiet = MoveCaptured(move) == 0;
    const int nTo = MoveTo(move);
    const int nBeers = nNumBeers;

    // The rules run in this order; later ones look at what earlier ones decided.

    // A pawn reaching the seventh rank as the node's first choice.
    if (nMoveIndex == 0 && nMoveScore >= 0 && !bGivesCheck && nNodeExt == 0 && MovePiece(move) == PAWN &&
        OnSecondOrSeventhRank(nTo)) {
        ext = 3;
        bPawnPush = true;
        st.nPawnExts++;
    }

    // The quiet-move prunings share most of their conditions (frontier and low-time rules).
    const bool bPrunable = nPly > 4 * ONE_PLY && !bInCheck && !bGivesCheck && !bPawnPush && bNullWindow &&
                           MoveKind(move) == KIND_NORMAL;

    // Frontier futility: a quiet move one ply from the horizon far below alpha.
    if (nDepth == ONE_PLY && bPrunable && nStaticEval + 100 < nAlpha && nBeers < 4) {
        if (bQuiet) {
            st.nFutilityPrunes++;
            *pbPruned = true;
            return 0;
        }
        nNodeExt = 0;
        ext = 0;
    }

    if (bGivesCheck) {
        // Check extension; a check that loses material right after a capture gets less.
        st.nCheckExts++;
        nNodeExt = nCaptureSq >= 0 && nMoveScore < 0 ? 3 : 4;
    } else if (!bInCheck && nMoveIndex >= 3 && nDepth <= 4 * ONE_PLY && nPly > 2 * ONE_PLY && bNullWindow &&
               nNodeExt == 0 && ext == 0 && (bQuiet || nMoveScore <= 0) && !bPawnPush) {
        // History pruning: moves that cut off in less than 70 percent of the searches that tried
        // them (16384 * 0.7 = 11468.8).
        const int nSide = child->bSideToMove ^ 1, nPiece = MovePiece(move) - 1;
        const int64_t nCutoffs = RelaxedLoad(anHistoryCutoffs[nSide][nPiece][nTo]);
        const int64_t nTried = RelaxedLoad(anHistoryTried[nSide][nPiece][nTo]);
        const int64_t nRatio = nTried > 0 ? nCutoffs * 16384 / nTried : 0;
        if (nRatio <= 11468) {
            st.nExtPrunes++;
            *pbPruned = true;
            return 0;
        }
    }

    // Recapture.
    if (nTo == nCaptureSq && nMoveScore > 0 && nNodeExt == 0 && ext == 0) {
        ext = 4;
        st.nRecaptureExts++;
    }

    // Short of time for the side that answers: prune and reduce harder far below alpha.
    if (bLowTime[child->bSideToMove] && bPrunable) {
        if (nDepth == 2 * ONE_PLY && nStaticEval + 600 < nAlpha && nBeers < 4) {
            if (bQuiet) {
                st.nExtPrunes++;
                *pbPruned = true;
                return 0;
            }
            nNodeExt = 0;
            ext = 0;
        } else if (nDepth == 3 * ONE_PLY && nStaticEval + 900 < nAlpha && nBeers < 3) {
            red = 4;
            st.nRazorReductions++;
        }
    }

    // Underpromotion.
    const int nPromo = MovePromo(move);
    if (nPromo == KNIGHT || nPromo == BISHOP || nPromo == ROOK) red = 4;

    // King exposure: reduce a move that weakens the mover's sheltered king, extend one that
    // strips the opponent's.
    if (nKingTermWhite > EVAL_NO_KING && nNodeExt == 0 && ext == 0 && red == 0 && !bInCheck) {
        int anAfter[2];
        ChildKingTerms(child, anAfter, nThread);
        const int anBefore[2] = {nKingTermWhite, nKingTermBlack};
        const int nMover = child->bSideToMove ^ 1, nOpp = child->bSideToMove;
        const int nOwnBefore = anBefore[nMover], nOppBefore = anBefore[nOpp];
        if (nOwnBefore > -15 && nOwnBefore < 15 && nOwnBefore > anAfter[nMover] + 40 && nMoveIndex > 0) {
            red = 4;
            ext = 0;
            st.nKingReductions++;
        }
        if (nOppBefore > -15 && nOppBefore < 15 && nOppBefore > anAfter[nOpp] + 40 && nMoveScore >= 0 &&
            nStaticEval + 500 > nAlpha) {
            ext = 3;
            red = 0;
            st.nKingExts++;
        }
    }

    // Late-move reduction.
    if (nMoveIndex >= 3 && nDepth >= 3 * ONE_PLY && nNodeExt == 0 && ext == 0 && red == 0 &&
        (bQuiet || nMoveScore <= 0) && !bInCheck && !bGivesCheck && nPromo == 0 && !bPawnPush && nBeers < 6) {
        const int nRow = nPly / ONE_PLY;
        if (move != RelaxedLoad(anKiller1[nRow]) && move != RelaxedLoad(anKiller2[nRow])) {
            red = 4;
            st.nLmrReductions++;
        }
    }

    return ext - red + nNodeExt;
}
