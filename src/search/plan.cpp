// The newer search rules (SearchStyle Strong) for one move: which moves are skipped, which are
// extended, and how far a later move's first null-window search is reduced; and the sequence
// that verifies a reduced fail high. The node's owner and the helpers of a split point take the
// same decisions from here.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/stats.h"
#include "search/search.h"
#include "search/threads.h"

namespace {

// Whole-ply reductions by depth and move number: log × log, so that a late move at a deep node
// gives up several plies and an early one at a shallow node none.
struct ReductionTable {
    int8_t an[64][64];
    ReductionTable() {
        for (int d = 0; d < 64; d++)
            for (int n = 0; n < 64; n++)
                an[d][n] = int8_t(d == 0 || n == 0 ? 0 : 0.75 + std::log(d) * std::log(n) / 2.25);
    }
};
const ReductionTable kReductions;

constexpr int kHistoryMax = 16384;

inline bool IsKiller(Move m, int nRow) {
    return unsigned(nRow) < unsigned(kMaxPly) &&
           (m == RelaxedLoad(anKiller1[nRow]) || m == RelaxedLoad(anKiller2[nRow]));
}

// The exchange on the destination after the move, from the mover's side (0 for a quiet move
// nothing can take, negative when the piece is left to be won).
inline int MoveExchange(const Position* pos, Move m) {
    return StaticExchange(pos, MoveFrom(m), MoveTo(m));
}

inline bool Aborted(int nThread) {
    return aWorkers[nThread].nJob.load(std::memory_order_relaxed) == JOB_ABORT;
}

}  // namespace

int ReductionPlies(int nDepthPlies, int nMoveNumber) {
    const int d = nDepthPlies < 63 ? (nDepthPlies > 0 ? nDepthPlies : 0) : 63;
    const int n = nMoveNumber < 63 ? (nMoveNumber > 0 ? nMoveNumber : 0) : 63;
    return kReductions.an[d][n];
}

MovePlan PlanMove(const PlanNode& node, const Position* pos, const Position* child, Move m, int nMoveScore,
                  int nMoveNumber) {
    MovePlan plan{false, node.nNodeExt, 0};
    const int d = node.nDepth / ONE_PLY;
    const int nRow = node.nPly / ONE_PLY;
    const bool bCapture = MoveCaptured(m) != 0;
    const bool bQuiet = !bCapture && MovePromo(m) == 0;
    const bool bGivesCheck = child->nInCheck != 0;
    const bool bNormal = MoveKind(m) == KIND_NORMAL;
    const bool bPv = node.nBeta != node.nAlpha + 1;
    const bool bKiller = bQuiet && IsKiller(m, nRow);
    const int nHistory = bQuiet ? RelaxedLoad(anHistory[pos->bSideToMove][MovePiece(m) - 1][MoveTo(m)]) : 0;

    // Pruning, once a move has a score that is not a mate against us, away from the root and
    // never out of check or into one.
    if (node.nPly > 0 && !node.bInCheck && !bGivesCheck && node.nBestScore > -MATE_BOUND) {
        if (bQuiet && !bPv) {
            // Late moves at low depth: after 3 + d² moves the rest are hopeless.
            if (d <= 8 && nMoveNumber > 3 + d * d) {
                plan.bPruned = true;
                return plan;
            }
            // Futility: a quiet move cannot lift a static score this far below alpha.
            if (d <= 6 && !bKiller && node.nStaticEval + 100 + 100 * d <= node.nAlpha) {
                plan.bPruned = true;
                return plan;
            }
        }
        // A move that loses material by exchange, at low depth.
        if (bNormal && d <= 7) {
            const int nLimit = bQuiet ? -30 * d * d : -100 * d;
            if ((bQuiet || nMoveScore < 0) && MoveExchange(pos, m) < nLimit) {
                plan.bPruned = true;
                return plan;
            }
        }
    }

    // A check that does not hang material is searched a ply deeper (once per node).
    if (bGivesCheck && plan.nExtension == 0 && (bCapture ? nMoveScore >= 0 : MoveExchange(pos, m) >= 0))
        plan.nExtension = ONE_PLY;

    // Late-move reduction of quiet moves and losing captures.
    const int nFirstReduced = bPv ? 3 : 2;
    if (d >= 3 && nMoveNumber >= nFirstReduced && !node.bInCheck && (bQuiet || nMoveScore < 0)) {
        int r = ReductionPlies(d, nMoveNumber);
        if (bPv) r--;
        if (node.bCutNode) r++;
        if (bKiller) r--;
        if (bGivesCheck) r--;
        r -= nHistory / 6000;
        const int nChildPlies = (node.nDepth - ONE_PLY + plan.nExtension) / ONE_PLY;
        if (r > nChildPlies - 1) r = nChildPlies - 1;
        if (r > 0) plan.nReduction = r * ONE_PLY;
    }
    return plan;
}

int SearchLaterMove(const Position* child, int nNewDepth, int nReduction, int nAlpha, int nBeta,
                    PvLine* childPv, int nChildPly, SearchStack* local, int nThread) {
    SearchStats& st = ThreadStats(nThread);
    st.nZwSearches++;
    int s = -SearchFull(child, nNewDepth - nReduction, -nAlpha - 1, -nAlpha, childPv, nChildPly, true, local,
                        nThread);
    if (s > nAlpha && nReduction > 0 && !Aborted(nThread)) {
        st.nReReductions++;
        s = -SearchFull(child, nNewDepth, -nAlpha - 1, -nAlpha, childPv, nChildPly, true, local, nThread);
    }
    if (s > nAlpha && s < nBeta && !Aborted(nThread)) {
        st.nReSearches++;
        s = -SearchFull(child, nNewDepth, -nBeta, -nAlpha, childPv, nChildPly, true, local, nThread);
    }
    return s;
}

void UpdateQuietHistory(int nSide, Move best, const Move* aTried, int nTried, int nDepthPlies) {
    const int nBonus = std::min(20 * nDepthPlies * nDepthPlies + 40 * nDepthPlies, 2400);
    auto add = [&](Move m, int nDelta) {
        if (!m || MoveCaptured(m) || MovePromo(m)) return;
        int& h = anHistory[nSide][MovePiece(m) - 1][MoveTo(m)];
        const int v = RelaxedLoad(h);
        // Gravity: the nearer an entry is to the bound, the less a bonus moves it.
        RelaxedStore(h, v + nDelta - v * std::abs(nDelta) / kHistoryMax);
    };
    add(best, nBonus);
    for (int i = 0; i < nTried; i++)
        if (aTried[i] != best) add(aTried[i], -nBonus);
}
