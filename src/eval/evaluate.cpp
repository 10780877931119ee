// The evaluation pipeline: material and ending recognisers, the first lazy exit, pawns and
// traps, the second lazy exit, the evaluation cache, and only then the king and piece terms.
#include <algorithm>
#include <cstdio>

#include "core/log.h"
#include "core/settings.h"
#include "core/stats.h"
#include "eval/eval.h"
#include "eval/pawns.h"
#include "eval/weights.h"
#include "nnue/nnue.h"

namespace {

// A net's score never reaches the mate range, whatever its weights.
constexpr int kNetEvalLimit = 20000;

// King values of the last position this thread computed them for. Kept per thread: the
// searches of different workers hardly ever share it, and a shared record could be torn.
// Valid only for the weights of its generation.
struct KingCache {
    uint64_t nKey;
    int anValue[2];
    uint32_t nGeneration;
};
thread_local KingCache kingCache = {0, {0, 0}, 0};

inline void NoKingInfo(int* anKingInfo) {
    anKingInfo[0] = anKingInfo[1] = EVAL_NO_KING;
}

// A white-positive value scaled by the side it favours (sixteenths, truncating toward zero),
// then given the side to move's sign.
inline int ScaleScore(int v, const MaterialEntry& me, int nSide) {
    if (v > 0)
        v = v * me.nScale[WHITE] / 16;
    else if (v < 0)
        v = v * me.nScale[BLACK] / 16;
    return nSide == WHITE ? v : -v;
}

// Fixed patterns: a bishop shut in on a7/h7 (a2/h2) by two pawns, and a rook locked in by its
// own uncastled king.
int Traps(const Position* pos) {
    const uint8_t* b = pos->aBoard;
    constexpr int WB = PieceCode(WHITE, BISHOP), BB = PieceCode(BLACK, BISHOP);
    constexpr int WP = PieceCode(WHITE, PAWN), BP = PieceCode(BLACK, PAWN);
    constexpr int WK = PieceCode(WHITE, KING), BK = PieceCode(BLACK, KING);
    constexpr int WR = PieceCode(WHITE, ROOK), BR = PieceCode(BLACK, ROOK);
    constexpr int a7 = 55, b6 = 46, c7 = 53, h7 = 48, g6 = 41, f7 = 50;
    constexpr int a2 = 15, b3 = 22, c2 = 13, h2 = 8, g3 = 17, f2 = 10;
    const int nBishop = evalWeights.nTrappedBishop, nRook = evalWeights.nTrappedRook;
    int t = 0;
    if (b[a7] == WB && b[b6] == BP && b[c7] == BP) t -= nBishop;
    if (b[h7] == WB && b[g6] == BP && b[f7] == BP) t -= nBishop;
    if (b[a2] == BB && b[b3] == WP && b[c2] == WP) t += nBishop;
    if (b[h2] == BB && b[g3] == WP && b[f2] == WP) t += nBishop;
    if ((b[SQ_B1] == WK || b[SQ_C1] == WK) && (b[SQ_A1] == WR || b[a2] == WR || b[SQ_B1] == WR)) t -= nRook;
    if ((b[SQ_F1] == WK || b[SQ_G1] == WK) && (b[SQ_H1] == WR || b[h2] == WR || b[SQ_G1] == WR)) t -= nRook;
    if ((b[SQ_B8] == BK || b[SQ_C8] == BK) && (b[SQ_A8] == BR || b[a7] == BR || b[SQ_B8] == BR)) t += nRook;
    if ((b[SQ_F8] == BK || b[SQ_G8] == BK) && (b[SQ_H8] == BR || b[h7] == BR || b[SQ_G8] == BR)) t += nRook;
    return t;
}

// The king values through this thread's cache.
void KingValues(const Position* pos, const MaterialEntry& me, int* an) {
    KingCache& kc = kingCache;
    if (kc.nGeneration == nEvalWeightsGeneration && kc.nKey == pos->nHashKey) {
        an[0] = kc.anValue[0];
        an[1] = kc.anValue[1];
        return;
    }
    ComputeKingValues(pos, me, an);
    kc.nKey = pos->nHashKey;
    kc.anValue[0] = an[0];
    kc.anValue[1] = an[1];
    kc.nGeneration = nEvalWeightsGeneration;
}

// The learned evaluation, after the draw rules and ending recognisers that know better than a
// net trained on middlegames: the net's score, faded with the fifty-move clock as the
// hand-written material is, and scaled down in the endings the material table calls hard to
// win. Cached like the hand-written score (switching evaluations empties the cache).
int NetScore(const Position* pos, const Network& net, const MaterialEntry& me, int nPlyIndex, int* anKingInfo,
             bool bCache) {
    NoKingInfo(anKingInfo);
    SearchStats& st = Stats();
    const bool bHash = bCache && nEvalHashEntries > 0;
    if (bHash) {
        EvalHashEntry e;
        if (LoadEvalEntry(pos->nHashKey, &e)) {
            st.nEvalHashHits++;
            return e.nScore;
        }
        st.nEvalHashMisses++;
    }
    int v = EvaluateNetwork(net, *pos, nPlyIndex);
    if (pos->nFifty > 50) v = v * (100 - pos->nFifty) / 50;
    const int nFavoured = (v > 0) == (pos->bSideToMove == WHITE) ? WHITE : BLACK;
    if (me.nScale[nFavoured] < 16) v = v * me.nScale[nFavoured] / 16;
    v = std::clamp(v, -kNetEvalLimit, kNetEvalLimit);
    if (bHash && StoreEvalEntry(pos->nHashKey, v)) st.nEvalHashOverwrites++;
    return v;
}

}  // namespace

uint32_t nEvalWeightsGeneration = 1;

void ComputeKingValues(const Position* pos, const MaterialEntry& me, int* an) {
    const EvalWeights& w = evalWeights;
    const int wK = me.nKingSq[WHITE], bK = me.nKingSq[BLACK], p = me.nPhase;
    const int wEnd = w.anKingEndgameTable[wK], bEnd = w.anKingEndgameTable[bK ^ 56];
    if (p <= w.nKingBlendPhase) {
        an[0] = wEnd;
        an[1] = bEnd;
    } else {
        const int wMid = WhiteKingSafety(pos, wK) + w.anKingMiddleTable[wK];
        const int bMid = BlackKingSafety(pos, bK) + w.anKingMiddleTable[bK ^ 56];
        an[0] = (wEnd * (256 - p) + wMid * p) / 256;
        an[1] = (bEnd * (256 - p) + bMid * p) / 256;
    }
}

void ForgetEvalResults() {
    AllocMaterialTable();
    if (aPawnHash) AllocPawnHash(false);
    if (aEvalHash) AllocEvalHash(false);
    ++nEvalWeightsGeneration;
}

namespace {

// The pipeline with its choices explicit: the console shows both evaluations side by side,
// and a score of one must neither come from nor go into the cache filled by the other.
int EvaluateWith(const Position* pos, int nAlpha, int nBeta, int nPlyIndex, int* anKingInfo, int nTrace,
                 bool bNet, bool bCache) {
    SearchStats& st = Stats();
    const int nSide = pos->bSideToMove;
    const bool bNullWindow = nBeta == nAlpha + 1;
    const int nBeers = nNumBeers;

    // Material.
    MaterialEntry me;
    ProbeMaterial(pos, &me);
    int m = me.nBalance;

    // Fifty-move rule: the material advantage fades to nothing between 50 and 100.
    if (pos->nFifty >= 100) {
        NoKingInfo(anKingInfo);
        return 0;
    }
    if (pos->nFifty > 50) m = 2 * m - (pos->nFifty * m) / 50;

    // Dead draws, scale factors and ending recognisers.
    if (me.nScale[WHITE] == 0 && me.nScale[BLACK] == 0) {
        NoKingInfo(anKingInfo);
        st.nRecognizerCalls++;
        return 0;
    }
    if (me.nScale[WHITE] != 16 || me.nScale[BLACK] != 16) st.nRecognizerCalls++;
    if (me.pfnRecognizer) {
        int r = m + me.pfnRecognizer(pos, nPlyIndex);
        NoKingInfo(anKingInfo);
        st.nRecognizerCalls++;
        return nSide == WHITE ? r : -r;
    }

    if (bNet)
        if (const Network* net = ActiveNetwork())
            return NetScore(pos, *net, me, nPlyIndex, anKingInfo, bCache);

    // First lazy exit, on material alone.
    if (bNullWindow) {
        int l = ScaleScore(m, me, nSide);
        if (l - evalWeights.nLazyMargin1 > nBeta || l + evalWeights.nLazyMargin1 < nAlpha) {
            NoKingInfo(anKingInfo);
            st.nLazyExits1++;
            return l;
        }
    }

    // The strongest handicap plays on bare material.
    if (nBeers == 10) {
        NoKingInfo(anKingInfo);
        return nSide == WHITE ? m : -m;
    }

    // Pawns, and the scale factors of hard-to-win endings.
    PawnEntry pe;
    int s = m + EvaluatePawns(pos, &pe, me);
    ScaleDrawishEndings(pos, &me, &pe);

    // Traps.
    const int t = Traps(pos);
    s += t;

    // Second lazy exit.
    if (bNullWindow) {
        int l = ScaleScore(s, me, nSide);
        if (l - evalWeights.nLazyMargin2 > nBeta || l + evalWeights.nLazyMargin2 < nAlpha) {
            NoKingInfo(anKingInfo);
            st.nLazyExits2++;
            return l;
        }
        st.nLazyPasses++;
    }

    // Evaluation cache.
    const bool bHash = bCache && nEvalHashEntries > 0;
    if (bHash) {
        EvalHashEntry e;
        if (LoadEvalEntry(pos->nHashKey, &e)) {
            st.nEvalHashHits++;
            NoKingInfo(anKingInfo);
            return e.nScore;
        }
        st.nEvalHashMisses++;
    }

    // Kings.
    KingValues(pos, me, anKingInfo);
    const int king = anKingInfo[0] - anKingInfo[1];

    // Pieces.
    int trop = 0, mob = 0;
    const int knights = EvaluateKnights(pos, &pe, &me, &trop, &mob);
    const int bishops = EvaluateBishops(pos, &pe, &me, &trop, &mob);
    const int rooks = EvaluateRooks(pos, &pe, &me, &trop, &mob);
    const int queens = EvaluateQueens(pos, &pe, &me, &trop, &mob);

    // Total. The tropism sum counts four fifths in the first design, truncated toward zero.
    const int tropism = trop * evalWeights.nTropismNumerator / 5;
    int total = s + king + knights + bishops + rooks + queens;
    if (nBeers < 5) total += tropism;
    if (nBeers < 7) total += mob;

    // Scale and turn to the side to move.
    const int score = ScaleScore(total, me, nSide);

    // Trace.
    if (nTrace > 0) {
        EvalTrace tr = {pe.nScore, t, king, knights, bishops, rooks, queens, tropism, mob};
        PrintEvalTrace(tr, score);
    }

    // Store in the cache (always replacing).
    if (bHash && StoreEvalEntry(pos->nHashKey, score)) st.nEvalHashOverwrites++;
    return score;
}

}  // namespace

bool NetEvalInUse() {
    // EvalWeights Classic is the first design's evaluation entire, whatever Evaluation says.
    return bNetEval && bFittedWeights && ActiveNetwork();
}

int Evaluate(const Position* pos, int nAlpha, int nBeta, int nPlyIndex, int* anKingInfo, int nTrace) {
    return EvaluateWith(pos, nAlpha, nBeta, nPlyIndex, anKingInfo, nTrace, NetEvalInUse(), true);
}

int EvalCommand(const Position* pos, int nTrace) {
    if (!aPawnHash) AllocPawnHash(ShowHashMessages());
    int an[2];
    // Each score goes through the cache only when it is the one the cache holds.
    const bool bNet = NetEvalInUse();
    const int nHand = EvaluateWith(pos, -32000, 32000, 0, an, nTrace, false, !bNet);
    // With the hand-written evaluation playing, the output is its trace alone, as it always was;
    // with the net playing, one more line sets the two scores side by side.
    if (!bNet) return nHand;
    const Network* net = ActiveNetwork();
    const int nNet = NetStaticEval(pos);
    OutputLine("Net eval = %d (%s, %s), hand-written eval = %d; in use: net\n", nNet,
               NetDescription(*net).c_str(), ActiveNetworkSource().c_str(), nHand);
    return nNet;
}

int BoardStaticEval(const Position* pos) {
    int an[2];
    return EvaluateWith(pos, -32000, 32000, 0, an, 0, false, !NetEvalInUse());
}

int NetStaticEval(const Position* pos) {
    int an[2];
    if (!ActiveNetwork()) return BoardStaticEval(pos);
    return EvaluateWith(pos, -32000, 32000, 0, an, 0, true, NetEvalInUse());
}

// A null window far below any score makes the first exit answer with the scaled material l1;
// a window just inside the first margin above l1 is out of the first exit's reach but, unless
// pawns and traps add nearly that margin, far enough above the pawn-level score for the second
// exit to cut; otherwise the same window below l1 makes it cut.
int SecondLazyScore(const Position* pos) {
    int an[2];
    const int l1 = Evaluate(pos, -32000, -31999, 0, an, 0);
    const int m1 = evalWeights.nLazyMargin1;
    SearchStats& st = Stats();
    const uint64_t nCuts = st.nLazyExits2;
    const int above = Evaluate(pos, l1 + m1 - 1, l1 + m1, 0, an, 0);
    if (st.nLazyExits2 != nCuts) return above;
    return Evaluate(pos, l1 - m1, l1 - m1 + 1, 0, an, 0);
}
