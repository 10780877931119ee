// Scale factors for endings that are hard to win: a lone pawn or bishop and pawn against the
// bare king go to the ending judges; otherwise a side whose pawns all stand on one file and
// whose only piece is at most one bishop cannot win when the defending king holds the
// promotion square (or blocks the file ahead of the pawns).
#include <bit>

#include "eval/endgame.h"
#include "eval/eval.h"

namespace {

// The rule for colour c; o is the other colour.
void ScaleSingleFile(const Position* pos, MaterialEntry* me, int c) {
    const int o = c ^ 1;
    const Bitboard* bb = pos->bbPieces[c];
    const Bitboard pawns = bb[BB_PAWN];
    if (!pawns || bb[BB_ROOK] || bb[BB_QUEEN] || bb[BB_KNIGHT] || PopCount(bb[BB_BISHOP]) > 1) return;
    const int nFile = LowestSquare(pawns) & 7;
    if (pawns & ~abbFileMask[nFile]) return;

    const int q = c == WHITE ? nFile + 56 : nFile;  // promotion square
    // The rearmost pawn of either colour, so that the rule reads the same for both sides.
    const int P = c == WHITE ? LowestSquare(pawns) : 63 - std::countl_zero(pawns);
    const int k = KingSquare(*pos, o);
    const Bitboard bishop = bb[BB_BISHOP];
    const bool bOtherColourBishop = bishop && SquareColour(LowestSquare(bishop)) != SquareColour(q);
    const bool bOtherHasPieces = me->nPieces[o] > 0;

    if (nFile == 0 || nFile == 7) {
        if (Distance(k, q) > 1) return;
        if (!bishop)
            me->nScale[c] = 0;
        else if (bOtherColourBishop)
            me->nScale[c] = bOtherHasPieces ? 1 : 0;
        return;
    }
    if (!bOtherHasPieces) return;
    const bool bHolds = Distance(k, q) <= 1 || ((k & 7) == nFile && Distance(k, q) < Distance(P, q));
    if (!bHolds) return;
    if (!bishop)
        me->nScale[c] = 0;
    else if (bOtherColourBishop)
        me->nScale[c] = 1;
}

}  // namespace

void ScaleDrawishEndings(const Position* pos, MaterialEntry* me, const PawnEntry* /*pe*/) {
    switch (me->nClass) {
        case MAT_KPK:
        case MAT_KKP:
            JudgeKPK(pos, me);
            return;
        case MAT_KBPK:
        case MAT_KKBP:
            JudgeKBPK(pos, me);
            return;
        case MAT_KRKP:
        case MAT_KPKR:
        case MAT_KBKP:
        case MAT_KPKB:
        case MAT_KNKP:
        case MAT_KPKN:
        case MAT_KQKP:
        case MAT_KPKQ:
        case MAT_KNPK:
        case MAT_KKNP:
        case MAT_KRPKR:
        case MAT_KBPKB:
        case MAT_KRKRP:
        case MAT_KBKBP:
            return;
        default:
            break;
    }
    ScaleSingleFile(pos, me, WHITE);
    ScaleSingleFile(pos, me, BLACK);
}
