// Pawn structure evaluation and the pawn hash probe.
#include "eval/pawns.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "core/stats.h"
#include "eval/weights.h"

namespace {

// Rank masks by rank index 0..7.
inline Bitboard RanksBelow(int r) {
    return r <= 0 ? 0 : (Bitboard(1) << (8 * r)) - 1;
}
inline Bitboard RanksUpTo(int r) {
    return r >= 7 ? ~Bitboard(0) : (Bitboard(1) << (8 * (r + 1))) - 1;
}
inline Bitboard RanksAbove(int r) {
    return ~RanksUpTo(r);
}
inline Bitboard RanksFrom(int r) {
    return ~RanksBelow(r);
}

inline int HighestSquare(Bitboard b) {
    return 63 - std::countl_zero(b);
}

// Square-rule test of the most advanced pawn s of `side` against the defending king.
// The target is s advanced by the counted moves (for a pawn on its second rank that is its
// seventh-rank square, five moves away).
bool PawnRunsThrough(int side, int s, int defenderKing, bool bDefenderToMove) {
    const int r = s >> 3;
    int moves = side == WHITE ? 7 - r : r;
    if (moves == 6) moves = 5;
    const int target = side == WHITE ? s + 8 * moves : s - 8 * moves;
    const int d = Distance(defenderKing, target) - (bDefenderToMove ? 1 : 0);
    return moves < d;
}

// Doubled-pawn term of one side (a penalty, 0 or below), walking its doubled files in order.
int DoubledTerm(const PawnEntry& e, const MaterialEntry& m, int side, Bitboard enemyPawns) {
    const int heavy = m.nRooks[side] + 2 * m.nQueens[side];
    const EvalWeights& w = evalWeights;
    const int penalty = w.anDoubledByPawns[std::min<int>(e.nCount[side], 8)];
    int v = 0;
    for (unsigned files = e.nDoubled[side]; files; files &= files - 1) {
        const int f = std::countr_zero(files);
        if (!(e.nIsolated[side] & (1u << f))) {
            v -= penalty;
            if (heavy >= 2)
                v /= 4;
            else if (m.nRooks[side] != 1)
                v *= 2;
        } else {
            v = (enemyPawns & abbFileMask[f]) ? -w.nDoubledIsolated : -w.nDoubledIsolatedOpen;
        }
    }
    return v;
}

}  // namespace

void ComputePawnEntry(const Position* pos, PawnEntry* pEntry) {
    PawnEntry& e = *pEntry;
    const EvalWeights& w = evalWeights;
    const Bitboard wp = pos->bbPieces[WHITE][BB_PAWN], bp = pos->bbPieces[BLACK][BB_PAWN];
    int score = 0;
    if (!wp) score -= w.nNoPawns;
    if (!bp) score += w.nNoPawns;
    e.nCount[WHITE] = uint8_t(PopCount(wp));
    e.nCount[BLACK] = uint8_t(PopCount(bp));
    for (int c = 0; c < 2; c++) e.nPassed[c] = e.nIsolated[c] = e.nDoubled[c] = e.nFiles[c] = 0;
    std::fill(std::begin(e.anUnused), std::end(e.anUnused), uint8_t(0));

    for (Bitboard b = wp; b;) score += w.anPawnTable[PopLowest(b)];
    for (Bitboard b = bp; b;) score -= w.anPawnTable[PopLowest(b) ^ 56];

    for (int f = 0; f < 8; f++) {
        const unsigned bit = 1u << f;
        const bool bEdge = f == 0 || f == 7;
        const Bitboard adjacent = abbAdjacentFiles[f];
        const Bitboard W = wp & abbFileMask[f], B = bp & abbFileMask[f];

        if (W) {
            e.nFiles[WHITE] |= bit;
            if (bEdge) score -= w.nEdgePawn;
            const int n = PopCount(W);
            if (n >= 2) e.nDoubled[WHITE] |= bit;
            const int s = HighestSquare(W), r = s >> 3;
            const bool bPassed = !(abbFrontSpanAdjacent[WHITE][s] & bp) && (B & ~RanksBelow(r)) == 0;
            if (bPassed) {
                e.nPassed[WHITE] |= bit;
                score += w.anPassedByRank[r];
                if (bEdge) score -= w.nPassedOnEdge;
                // Connected with a passer on the neighbouring file, both far advanced.
                if (f > 0 && (e.nPassed[WHITE] & (bit >> 1)) && r >= 5 &&
                    (HighestSquare(wp & abbFileMask[f - 1]) >> 3) >= 5)
                    score += w.nConnectedPassers;
            } else if (!B &&
                       PopCount(wp & adjacent & RanksUpTo(r)) -
                               PopCount(bp & abbFrontSpanAdjacent[WHITE][s]) >=
                           0 &&
                       PopCount(abbPawnAttacks[BLACK][s] & wp) - PopCount(abbPawnAttacks[WHITE][s] & bp) >=
                           0) {
                score += w.anPassedByRank[r] / 2;  // candidate passer
            }
            const Bitboard helpers = wp & adjacent;
            if (!helpers) {
                e.nIsolated[WHITE] |= bit;
                score -= w.nIsolatedPerPawn * n;
            } else if ((LowestSquare(helpers) >> 3) > r) {
                score -= w.nBackward;
            }
        }

        if (B) {
            e.nFiles[BLACK] |= bit;
            if (bEdge) score += w.nEdgePawn;
            const int n = PopCount(B);
            if (n >= 2) e.nDoubled[BLACK] |= bit;
            const int s = LowestSquare(B), r = s >> 3;
            const bool bPassed = !(abbFrontSpanAdjacent[BLACK][s] & wp) && (W & ~RanksAbove(r)) == 0;
            if (bPassed) {
                e.nPassed[BLACK] |= bit;
                score -= w.anPassedByRank[7 - r];
                if (bEdge) score += w.nPassedOnEdge;
                if (f > 0 && (e.nPassed[BLACK] & (bit >> 1)) && r <= 2 &&
                    (LowestSquare(bp & abbFileMask[f - 1]) >> 3) <= 2)
                    score -= w.nConnectedPassers;
            } else if (!W &&
                       PopCount(bp & adjacent & RanksFrom(r)) -
                               PopCount(wp & abbFrontSpanAdjacent[BLACK][s]) >=
                           0 &&
                       PopCount(abbPawnAttacks[WHITE][s] & bp) - PopCount(abbPawnAttacks[BLACK][s] & wp) >=
                           0) {
                score -= w.anPassedByRank[7 - r] / 2;
            }
            const Bitboard helpers = bp & adjacent;
            if (!helpers) {
                e.nIsolated[BLACK] |= bit;
                score += w.nIsolatedPerPawn * n;
            } else if ((HighestSquare(helpers) >> 3) < r) {
                score += w.nBackward;
            }
        }
    }
    e.nScore = int16_t(score);
}

int EvaluatePawns(const Position* pos, PawnEntry* pEntry, const MaterialEntry& material) {
    const uint64_t key = pos->nPawnKey;
    if (aPawnHash == nullptr || nPawnHashEntries == 0) {
        ComputePawnEntry(pos, pEntry);
        pEntry->nKey = key;
    } else if (LoadPawnEntry(key, pEntry)) {
        Stats().nPawnHashHits++;
    } else {
        Stats().nPawnHashMisses++;
        ComputePawnEntry(pos, pEntry);
        pEntry->nKey = key;
        StorePawnEntry(*pEntry);
    }
    const PawnEntry& e = *pEntry;
    const EvalWeights& w = evalWeights;
    int score = e.nScore;

    const Bitboard wp = pos->bbPieces[WHITE][BB_PAWN], bp = pos->bbPieces[BLACK][BB_PAWN];
    const Bitboard occupied = Occupancy(*pos);
    const int wk = material.nKingSq[WHITE], bk = material.nKingSq[BLACK];

    // Passed pawns: a queen of the other side devalues each; against a bare king (pawns aside)
    // a pawn the king cannot catch is nearly a queen. Files with no pawn of the side (a torn
    // hash entry) are skipped.
    for (unsigned files = e.nPassed[WHITE]; files; files &= files - 1) {
        if (material.nQueens[BLACK]) {
            score -= w.nPasserAgainstQueen;
            continue;
        }
        const Bitboard W = wp & abbFileMask[std::countr_zero(files)];
        if (!W) continue;
        const int s = HighestSquare(W);
        if (material.nPieces[BLACK] == 0 && !(abbRay[RAY_UP][s] & occupied) &&
            PawnRunsThrough(WHITE, s, bk, pos->bSideToMove == BLACK)) {
            score += w.nUnstoppable;
            break;
        }
    }
    for (unsigned files = e.nPassed[BLACK]; files; files &= files - 1) {
        if (material.nQueens[WHITE]) {
            score += w.nPasserAgainstQueen;
            continue;
        }
        const Bitboard B = bp & abbFileMask[std::countr_zero(files)];
        if (!B) continue;
        const int s = LowestSquare(B);
        if (material.nPieces[WHITE] == 0 && !(abbRay[RAY_DOWN][s] & occupied) &&
            PawnRunsThrough(BLACK, s, wk, pos->bSideToMove == WHITE)) {
            score -= w.nUnstoppable;
            break;
        }
    }

    // Pawn ending with sound structures on both sides: the majority counts.
    if (material.nPhase == 0 && e.nCount[WHITE] && e.nCount[BLACK] && !e.nIsolated[WHITE] &&
        !e.nIsolated[BLACK] && !e.nDoubled[WHITE] && !e.nDoubled[BLACK])
        score += (e.nCount[WHITE] - e.nCount[BLACK]) * w.nPawnEndingMajority;

    score += DoubledTerm(e, material, WHITE, bp);
    score -= DoubledTerm(e, material, BLACK, wp);

    if (material.nPhase != 0) return score;

    // Opposition of the kings in a pawn ending.
    int d = -1;
    if ((wk & 7) == (bk & 7))
        d = std::abs((wk >> 3) - (bk >> 3));
    else if ((wk >> 3) == (bk >> 3))
        d = std::abs((wk & 7) - (bk & 7));
    if (d > 0) {
        const bool bWhiteToMove = pos->bSideToMove == WHITE;
        if (d & 1)
            score += bWhiteToMove ? -w.nOppositionOdd : w.nOppositionOdd;
        else
            score += bWhiteToMove ? w.nOppositionEven : -w.nOppositionEven;
    }
    return score;
}
