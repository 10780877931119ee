// Static exchange evaluation: the material outcome of the capture sequence on one square, each
// side recapturing with its least valuable attacker and free to stop when going on would lose.
#include "movegen/movegen.h"

namespace {

constexpr int kTypeValue[8] = {0, 100, 325, 325, 500, 975, 0, 0};

// The rook or queen (straight lines) or bishop or queen (diagonals) that stands first beyond s,
// seen from the target square: it joins the exchange once the piece on s has captured.
inline Bitboard XRayBehind(const Position& pos, int target, int s, Bitboard bq, Bitboard rq) {
    switch (anDirection[target][s]) {
        case 8:
            return FileAttacks(pos, s) & abbRay[RAY_UP][s] & rq;
        case -8:
            return FileAttacks(pos, s) & abbRay[RAY_DOWN][s] & rq;
        case 1:
            return RankAttacks(pos, s) & abbRay[RAY_TO_A][s] & rq;
        case -1:
            return RankAttacks(pos, s) & abbRay[RAY_TO_H][s] & rq;
        case 9:
            return Diag45LAttacks(pos, s) & abbRay[RAY_UP_A][s] & bq;
        case -9:
            return Diag45LAttacks(pos, s) & abbRay[RAY_DOWN_H][s] & bq;
        case 7:
            return Diag45RAttacks(pos, s) & abbRay[RAY_UP_H][s] & bq;
        case -7:
            return Diag45RAttacks(pos, s) & abbRay[RAY_DOWN_A][s] & bq;
        default:
            return 0;
    }
}

}  // namespace

int StaticExchange(const Position* pos, int from, int to) {
    const Position& p = *pos;
    const Bitboard(&white)[9] = p.bbPieces[WHITE];
    const Bitboard(&black)[9] = p.bbPieces[BLACK];
    const Bitboard bq = white[BB_BQ] | black[BB_BQ];
    const Bitboard rq = white[BB_RQ] | black[BB_RQ];

    Bitboard attackers = (BishopAttacks(p, to) & bq) | (RookAttacks(p, to) & rq) |
                         (abbKingAttacks[to] & (white[BB_KING] | black[BB_KING])) |
                         (abbKnightAttacks[to] & (white[BB_KNIGHT] | black[BB_KNIGHT])) |
                         (abbPawnAttacks[BLACK][to] & white[BB_PAWN]) |
                         (abbPawnAttacks[WHITE][to] & black[BB_PAWN]);

    // Every capture takes one piece out of the attacker set for good, so 64 entries always suffice.
    int balance[64];
    balance[0] = kTypeValue[CodeType(p.aBoard[to])];
    int onTarget = kTypeValue[CodeType(p.aBoard[from])];
    attackers &= ~SquareBit(from);
    attackers |= XRayBehind(p, to, from, bq, rq);

    const int mover = p.bSideToMove;
    int side = mover ^ 1;
    int n = 1;
    while (attackers) {
        const Bitboard* own = p.bbPieces[side];
        int type = PAWN;
        Bitboard candidates = 0;
        for (; type <= KING; type++)
            if ((candidates = attackers & own[type - 1])) break;
        if (!candidates || type == KING) break;  // the king never recaptures
        const int sq = LowestSquare(candidates);
        balance[n] = side == mover ? balance[n - 1] + onTarget : balance[n - 1] - onTarget;
        onTarget = kTypeValue[type];
        attackers &= ~SquareBit(sq);
        attackers |= XRayBehind(p, to, sq, bq, rq);
        n++;
        side ^= 1;
    }

    int v = balance[n - 1];
    for (int i = n - 1; i >= 1; i--) {
        if (i & 1)
            v = balance[i - 1] < v ? balance[i - 1] : v;  // the opponent may decline to recapture
        else
            v = balance[i - 1] > v ? balance[i - 1] : v;
    }
    return v;
}
