// Copy-make: the position after a move is written into a second record; every redundant
// field (boards, rotated boards, material, rights, clocks, all three keys) is updated
// incrementally.
#include "board/board.h"

namespace {

constexpr int kTypeValue[7] = {0, 100, 325, 325, 500, 975, 0};

inline void ToggleRotated(Position* p, int sq) {
    p->bbRotated90 ^= SquareBit(anRot90Index[sq]);
    p->bbRotated45L ^= SquareBit(anRot45LIndex[sq]);
    p->bbRotated45R ^= SquareBit(anRot45RIndex[sq]);
}

// Material key term change for one piece count going from n to n + delta.
inline uint64_t CountKey(const Position* p, int colour, int type, int delta) {
    int n = PopCount(p->bbPieces[colour][type - 1]);
    return anKeyPiece[n][colour][type] ^ anKeyPiece[n + delta][colour][type];
}

template <int c>
inline void MakeMoveT(Move m, const Position* src, Position* dst, int nPly, int nThread) {
    constexpr int o = c ^ 1;
    const int from = MoveFrom(m), to = MoveTo(m), kind = MoveKind(m);
    const int code = src->aBoard[from];
    const int type = CodeType(code);
    const int capType = CodeType(src->aBoard[to]);
    const Bitboard fromBit = SquareBit(from), toBit = SquareBit(to), moveBits = fromBit | toBit;

    *dst = *src;
    const uint8_t oldCastling = src->nCastling;
    dst->aBoard[to] = uint8_t(code);
    dst->aBoard[from] = 0;

    uint64_t key = src->nHashKey;
    uint64_t pawnKey = src->nPawnKey ^ nKeySide;
    uint64_t materialKey = src->nMaterialKey;

    // Half-move clock: reset by captures and pawn moves; saturates instead of wrapping.
    const bool bIrreversible = capType || kind == KIND_EP || type == PAWN;
    const uint8_t fifty = bIrreversible ? 0 : uint8_t(src->nFifty < 255 ? src->nFifty + 1 : 255);
    key ^= anKeyFifty[src->nFifty] ^ anKeyFifty[fifty];
    dst->nFifty = fifty;

    if (src->nEpSquare >= 0) {
        key ^= anKeyEp[src->nEpSquare];
        dst->nEpSquare = -1;
    }
    key ^= anKeyPiece[from][c][type] ^ anKeyPiece[to][c][type] ^ anKeyPiece[to][o][capType];
    key ^= nKeySide;

    Bitboard* mine = dst->bbPieces[c];
    Bitboard* theirs = dst->bbPieces[o];
    mine[BB_ALL] ^= moveBits;
    dst->nMaterial[o] -= kTypeValue[capType];

    switch (type) {
        case PAWN: {
            if (to - from == (c == WHITE ? 16 : -16)) {
                const int ep = (from + to) >> 1;
                dst->nEpSquare = int8_t(ep);
                key ^= anKeyEp[ep];
            }
            if (kind == KIND_EP) {
                const int capSq = c == WHITE ? to - 8 : to + 8;
                const Bitboard capBit = SquareBit(capSq);
                materialKey ^= CountKey(dst, o, PAWN, -1);
                theirs[BB_PAWN] ^= capBit;
                theirs[BB_ALL] ^= capBit;
                ToggleRotated(dst, capSq);
                dst->aBoard[capSq] = 0;
                key ^= anKeyPiece[capSq][o][PAWN];
                pawnKey ^= anKeyPiece[capSq][o][PAWN];
                dst->nMaterial[o] -= 100;
            }
            pawnKey ^= anKeyPiece[from][c][PAWN];
            if (SquareRank(to) != (c == WHITE ? 7 : 0)) {
                mine[BB_PAWN] ^= moveBits;
                pawnKey ^= anKeyPiece[to][c][PAWN];
            } else {
                int promo = MovePromo(m);
                if (promo < KNIGHT || promo > QUEEN) promo = QUEEN;  // never produced by the generators
                materialKey ^= CountKey(dst, c, PAWN, -1);
                mine[BB_PAWN] ^= fromBit;
                materialKey ^= CountKey(dst, c, promo, +1);
                mine[promo - 1] |= toBit;
                if (promo == BISHOP || promo == QUEEN) mine[BB_BQ] |= toBit;
                if (promo == ROOK || promo == QUEEN) mine[BB_RQ] |= toBit;
                dst->aBoard[to] = uint8_t(PieceCode(c, promo));
                key ^= anKeyPiece[to][c][PAWN] ^ anKeyPiece[to][c][promo];
                dst->nMaterial[c] += kTypeValue[promo] - 100;
            }
            break;
        }
        case KNIGHT:
            mine[BB_KNIGHT] ^= moveBits;
            break;
        case BISHOP:
            mine[BB_BISHOP] ^= moveBits;
            mine[BB_BQ] ^= moveBits;
            break;
        case ROOK:
            mine[BB_ROOK] ^= moveBits;
            mine[BB_RQ] ^= moveBits;
            dst->nCastling &= uint8_t(~anCastleMask[from]);
            break;
        case QUEEN:
            mine[BB_QUEEN] ^= moveBits;
            mine[BB_BQ] ^= moveBits;
            mine[BB_RQ] ^= moveBits;
            break;
        case KING:
            mine[BB_KING] ^= moveBits;
            dst->nCastling &= c == WHITE ? 0xFC : 0xF3;
            if (kind == KIND_CASTLE) {
                int rookFrom, rookTo;
                switch (to) {
                    case SQ_G1: rookFrom = SQ_H1, rookTo = SQ_F1; break;
                    case SQ_C1: rookFrom = SQ_A1, rookTo = SQ_D1; break;
                    case SQ_G8: rookFrom = SQ_H8, rookTo = SQ_F8; break;
                    default: rookFrom = SQ_A8, rookTo = SQ_D8; break;
                }
                const Bitboard rookBits = SquareBit(rookFrom) | SquareBit(rookTo);
                mine[BB_ROOK] ^= rookBits;
                mine[BB_RQ] ^= rookBits;
                mine[BB_ALL] ^= rookBits;
                ToggleRotated(dst, rookFrom);
                ToggleRotated(dst, rookTo);
                dst->aBoard[rookFrom] = 0;
                dst->aBoard[rookTo] = uint8_t(PieceCode(c, ROOK));
                key ^= anKeyPiece[rookFrom][c][ROOK] ^ anKeyPiece[rookTo][c][ROOK];
                dst->nCastling |= c == WHITE ? CASTLED_W : CASTLED_B;
            }
            break;
        default:
            break;
    }

    if (capType) {
        materialKey ^= capType == KING ? 0 : CountKey(dst, o, capType, -1);
        theirs[capType - 1] ^= toBit;
        theirs[BB_ALL] ^= toBit;
        if (capType == BISHOP || capType == QUEEN) theirs[BB_BQ] ^= toBit;
        if (capType == ROOK || capType == QUEEN) theirs[BB_RQ] ^= toBit;
        if (capType == ROOK) dst->nCastling &= uint8_t(~anCastleMask[to]);
        if (capType == PAWN) pawnKey ^= anKeyPiece[to][o][PAWN];
    }

    dst->bSideToMove = uint8_t(o);

    if (capType) {
        ToggleRotated(dst, from);
    } else {
        ToggleRotated(dst, from);
        ToggleRotated(dst, to);
    }
    if (bIrreversible && nThread >= 0) aThreadMarkers[nThread].nLastIrreversible = game.nGamePly + nPly;

    const int changed = (oldCastling ^ dst->nCastling) & 0x0F;
    if (changed) {
        if (changed & CASTLE_WK) key ^= anKeyCastle[0];
        if (changed & CASTLE_WQ) key ^= anKeyCastle[1];
        if (changed & CASTLE_BK) key ^= anKeyCastle[2];
        if (changed & CASTLE_BQ) key ^= anKeyCastle[3];
    }
    dst->nHashKey = key;
    dst->nPawnKey = pawnKey;
    dst->nMaterialKey = materialKey;
}

}  // namespace

void MakeMove(Move m, const Position* from, Position* to, int nPly, int nThread) {
    if (from->bSideToMove == WHITE)
        MakeMoveT<WHITE>(m, from, to, nPly, nThread);
    else
        MakeMoveT<BLACK>(m, from, to, nPly, nThread);
}
