// Middlegame king safety: castling state, pawn shelter and the attacks on the king's zone.
#include <bit>

#include "eval/eval.h"
#include "eval/weights.h"

namespace {

// Danger of the squares next to the king on k from the pieces of colour them. For every
// neighbour z, each kind of piece that attacks it adds its weight and count (a queen counts
// twice, each kind once), and z adds weight x count; more when the attacked neighbours
// outnumber the safe ones.
//
// The attack sets are built from the attackers' side: a slider attacks z exactly when z is in
// the slider's own attack set, so a handful of lookups replaces several per neighbour.
int KingZoneDanger(const Position* pos, int k, int them) {
    const Bitboard* bb = pos->bbPieces[them];
    const Bitboard zone = abbKingAttacks[k];
    Bitboard pawnAtt = 0, knightAtt = 0, bishopAtt = 0, rookAtt = 0, queenAtt = 0;
    for (Bitboard b = bb[BB_PAWN]; b;) pawnAtt |= abbPawnAttacks[them][PopLowest(b)];
    for (Bitboard b = bb[BB_KNIGHT]; b;) knightAtt |= abbKnightAttacks[PopLowest(b)];
    for (Bitboard b = bb[BB_BISHOP]; b;) bishopAtt |= BishopAttacks(*pos, PopLowest(b));
    for (Bitboard b = bb[BB_ROOK]; b;) rookAtt |= RookAttacks(*pos, PopLowest(b));
    for (Bitboard b = bb[BB_QUEEN]; b;) {
        const int q = PopLowest(b);
        queenAtt |= BishopAttacks(*pos, q) | RookAttacks(*pos, q);
    }
    const Bitboard attacked = zone & (pawnAtt | knightAtt | bishopAtt | rookAtt | queenAtt);
    const int* aw = evalWeights.anZoneAttacker;
    int danger = 0;
    for (Bitboard a = attacked; a;) {
        const Bitboard z = SquareBit(PopLowest(a));
        int w = 0, n = 0;
        if (pawnAtt & z) w = aw[0], n = 1;
        if (knightAtt & z) w += aw[1], n += 1;
        if (bishopAtt & z) w += aw[2], n += 1;
        if (rookAtt & z) w += aw[3], n += 1;
        if (queenAtt & z) w += aw[4], n += 2;
        danger += w * n;
    }
    const int nAttacked = PopCount(attacked), nSafe = PopCount(zone) - nAttacked;
    return nAttacked > nSafe ? danger + evalWeights.nZoneOutnumbered : danger;
}

// Base value from castling: not castled costs a little, more without rights left; castled kings
// on a wing are judged by the shelter of the three wing files, the outer one at half weight.
template <typename Shelter>
int CastlingBase(const Position* pos, int k, int nCastledFlag, int nRights, Shelter shelter) {
    if (!(pos->nCastling & nCastledFlag))
        return (pos->nCastling & nRights) ? -evalWeights.nNotCastled : -evalWeights.nNoCastlingRights;
    int c = k & 7;                                                               // 0 = h-file
    if (c <= 2) return shelter(pos, 0) + shelter(pos, 1) + shelter(pos, 2) / 2;  // h, g, f
    if (c >= 5) return shelter(pos, 7) + shelter(pos, 6) + shelter(pos, 5) / 2;  // a, b, c
    return 0;
}

}  // namespace

int ShelterWhite(const Position* pos, int nFile) {
    const Bitboard file = abbFileMask[nFile & 7];
    const Bitboard own = pos->bbPieces[WHITE][BB_PAWN] & file, enemy = pos->bbPieces[BLACK][BB_PAWN] & file;
    const EvalWeights& w = evalWeights;
    int v;
    if (!own) {
        v = -w.nShelterNoPawn;
    } else {
        int r = LowestSquare(own) >> 3;  // least advanced white pawn
        v = r <= 1 ? 0 : r == 2 ? -w.nShelterThird : -w.nShelterFar;
    }
    if (enemy) {
        int r = (63 - std::countl_zero(enemy)) >> 3;  // highest black pawn
        if (r == 2)
            v -= w.nStormThird;
        else if (r == 3)
            v -= w.nStormFourth;
    }
    return v;
}

int ShelterBlack(const Position* pos, int nFile) {
    const Bitboard file = abbFileMask[nFile & 7];
    const Bitboard own = pos->bbPieces[BLACK][BB_PAWN] & file, enemy = pos->bbPieces[WHITE][BB_PAWN] & file;
    const EvalWeights& w = evalWeights;
    int v;
    if (!own) {
        v = -w.nShelterNoPawn;
    } else {
        int r = (63 - std::countl_zero(own)) >> 3;  // least advanced black pawn
        v = r >= 6 ? 0 : r == 5 ? -w.nShelterThird : -w.nShelterFar;
    }
    if (enemy) {
        int r = LowestSquare(enemy) >> 3;  // lowest white pawn
        if (r == 5)
            v -= w.nStormThird;
        else if (r == 4)
            v -= w.nStormFourth;
    }
    return v;
}

int WhiteKingSafety(const Position* pos, int nKingSq) {
    int base = CastlingBase(pos, nKingSq, CASTLED_W, CASTLE_WK | CASTLE_WQ, ShelterWhite);
    return base - KingZoneDanger(pos, nKingSq, BLACK);
}

int BlackKingSafety(const Position* pos, int nKingSq) {
    int base = CastlingBase(pos, nKingSq, CASTLED_B, CASTLE_BK | CASTLE_BQ, ShelterBlack);
    return base - KingZoneDanger(pos, nKingSq, WHITE);
}
