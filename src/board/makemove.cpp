// Copy-make: the position after a move is written into a second record; every redundant
// field (boards, rotated boards, material, rights, clocks, all three keys) is updated
// incrementally. Every changed field is computed from the source record and stored once into
// the destination, so no load has to wait for the block copy's wide stores.
#include "board/board.h"

namespace {

constexpr int kTypeValue[7] = {0, 100, 325, 325, 500, 975, 0};

struct Rotated {
    Bitboard r90, r45L, r45R;
    inline void Toggle(int sq) {
        r90 ^= SquareBit(anRot90Index[sq]);
        r45L ^= SquareBit(anRot45LIndex[sq]);
        r45R ^= SquareBit(anRot45RIndex[sq]);
    }
};

// Material key term change for one piece count going from its count in src to that + delta.
inline uint64_t CountKey(const Position* src, int colour, int type, int delta) {
    int n = PopCount(src->bbPieces[colour][type - 1]);
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
    const Bitboard* srcMine = src->bbPieces[c];
    const Bitboard* srcTheirs = src->bbPieces[o];
    Bitboard* mine = dst->bbPieces[c];
    Bitboard* theirs = dst->bbPieces[o];

    CopyPosition(dst, src);
    dst->aBoard[to] = uint8_t(code);
    dst->aBoard[from] = 0;

    uint64_t key = src->nHashKey ^ nKeySide;
    uint64_t pawnKey = src->nPawnKey ^ nKeySide;
    uint64_t materialKey = src->nMaterialKey;
    uint8_t castling = src->nCastling;
    int8_t epSquare = -1;
    int materialMine = src->nMaterial[c];
    int materialTheirs = src->nMaterial[o] - kTypeValue[capType];
    Bitboard allMine = srcMine[BB_ALL] ^ moveBits;
    Rotated rot{src->bbRotated90, src->bbRotated45L, src->bbRotated45R};

    // Half-move clock: reset by captures and pawn moves; saturates instead of wrapping.
    const bool bIrreversible = capType || kind == KIND_EP || type == PAWN;
    const uint8_t fifty = bIrreversible ? 0 : uint8_t(src->nFifty < 255 ? src->nFifty + 1 : 255);
    key ^= anKeyFifty[src->nFifty] ^ anKeyFifty[fifty];
    if (src->nEpSquare >= 0) key ^= anKeyEp[src->nEpSquare];
    key ^= anKeyPiece[from][c][type] ^ anKeyPiece[to][c][type] ^ anKeyPiece[to][o][capType];

    switch (type) {
        case PAWN: {
            if (to - from == (c == WHITE ? 16 : -16)) {
                epSquare = int8_t((from + to) >> 1);
                key ^= anKeyEp[epSquare];
            }
            if (kind == KIND_EP) {
                const int capSq = c == WHITE ? to - 8 : to + 8;
                const Bitboard capBit = SquareBit(capSq);
                materialKey ^= CountKey(src, o, PAWN, -1);
                theirs[BB_PAWN] = srcTheirs[BB_PAWN] ^ capBit;
                theirs[BB_ALL] = srcTheirs[BB_ALL] ^ capBit;
                rot.Toggle(capSq);
                dst->aBoard[capSq] = 0;
                key ^= anKeyPiece[capSq][o][PAWN];
                pawnKey ^= anKeyPiece[capSq][o][PAWN];
                materialTheirs -= 100;
            }
            pawnKey ^= anKeyPiece[from][c][PAWN];
            if (SquareRank(to) != (c == WHITE ? 7 : 0)) {
                mine[BB_PAWN] = srcMine[BB_PAWN] ^ moveBits;
                pawnKey ^= anKeyPiece[to][c][PAWN];
            } else {
                int promo = MovePromo(m);
                if (promo < KNIGHT || promo > QUEEN) promo = QUEEN;  // never produced by the generators
                materialKey ^= CountKey(src, c, PAWN, -1) ^ CountKey(src, c, promo, +1);
                mine[BB_PAWN] = srcMine[BB_PAWN] ^ fromBit;
                mine[promo - 1] = srcMine[promo - 1] | toBit;
                if (promo == BISHOP || promo == QUEEN) mine[BB_BQ] = srcMine[BB_BQ] | toBit;
                if (promo == ROOK || promo == QUEEN) mine[BB_RQ] = srcMine[BB_RQ] | toBit;
                dst->aBoard[to] = uint8_t(PieceCode(c, promo));
                key ^= anKeyPiece[to][c][PAWN] ^ anKeyPiece[to][c][promo];
                materialMine += kTypeValue[promo] - 100;
            }
            break;
        }
        case KNIGHT:
            mine[BB_KNIGHT] = srcMine[BB_KNIGHT] ^ moveBits;
            break;
        case BISHOP:
            mine[BB_BISHOP] = srcMine[BB_BISHOP] ^ moveBits;
            mine[BB_BQ] = srcMine[BB_BQ] ^ moveBits;
            break;
        case ROOK:
            mine[BB_ROOK] = srcMine[BB_ROOK] ^ moveBits;
            mine[BB_RQ] = srcMine[BB_RQ] ^ moveBits;
            castling &= uint8_t(~anCastleMask[from]);
            break;
        case QUEEN:
            mine[BB_QUEEN] = srcMine[BB_QUEEN] ^ moveBits;
            mine[BB_BQ] = srcMine[BB_BQ] ^ moveBits;
            mine[BB_RQ] = srcMine[BB_RQ] ^ moveBits;
            break;
        case KING:
            mine[BB_KING] = srcMine[BB_KING] ^ moveBits;
            castling &= c == WHITE ? 0xFC : 0xF3;
            if (kind == KIND_CASTLE) {
                int rookFrom, rookTo;
                switch (to) {
                    case SQ_G1: rookFrom = SQ_H1, rookTo = SQ_F1; break;
                    case SQ_C1: rookFrom = SQ_A1, rookTo = SQ_D1; break;
                    case SQ_G8: rookFrom = SQ_H8, rookTo = SQ_F8; break;
                    default: rookFrom = SQ_A8, rookTo = SQ_D8; break;
                }
                const Bitboard rookBits = SquareBit(rookFrom) | SquareBit(rookTo);
                mine[BB_ROOK] = srcMine[BB_ROOK] ^ rookBits;
                mine[BB_RQ] = srcMine[BB_RQ] ^ rookBits;
                allMine ^= rookBits;
                rot.Toggle(rookFrom);
                rot.Toggle(rookTo);
                dst->aBoard[rookFrom] = 0;
                dst->aBoard[rookTo] = uint8_t(PieceCode(c, ROOK));
                key ^= anKeyPiece[rookFrom][c][ROOK] ^ anKeyPiece[rookTo][c][ROOK];
                castling |= c == WHITE ? CASTLED_W : CASTLED_B;
            }
            break;
        default:
            break;
    }
    mine[BB_ALL] = allMine;

    if (capType) {
        if (capType != KING) materialKey ^= CountKey(src, o, capType, -1);
        theirs[capType - 1] = srcTheirs[capType - 1] ^ toBit;
        theirs[BB_ALL] = srcTheirs[BB_ALL] ^ toBit;
        if (capType == BISHOP || capType == QUEEN) theirs[BB_BQ] = srcTheirs[BB_BQ] ^ toBit;
        if (capType == ROOK || capType == QUEEN) theirs[BB_RQ] = srcTheirs[BB_RQ] ^ toBit;
        if (capType == ROOK) castling &= uint8_t(~anCastleMask[to]);
        if (capType == PAWN) pawnKey ^= anKeyPiece[to][o][PAWN];
        rot.Toggle(from);  // the destination stays occupied
    } else {
        rot.Toggle(from);
        rot.Toggle(to);
    }
    if (bIrreversible && nThread >= 0) aThreadMarkers[nThread].nLastIrreversible = game.nGamePly + nPly;

    const int changed = (src->nCastling ^ castling) & 0x0F;
    if (changed) {
        if (changed & CASTLE_WK) key ^= anKeyCastle[0];
        if (changed & CASTLE_WQ) key ^= anKeyCastle[1];
        if (changed & CASTLE_BK) key ^= anKeyCastle[2];
        if (changed & CASTLE_BQ) key ^= anKeyCastle[3];
    }
    dst->bbRotated90 = rot.r90;
    dst->bbRotated45L = rot.r45L;
    dst->bbRotated45R = rot.r45R;
    dst->nMaterial[c] = materialMine;
    dst->nMaterial[o] = materialTheirs;
    dst->bSideToMove = uint8_t(o);
    dst->nEpSquare = epSquare;
    dst->nFifty = fifty;
    dst->nCastling = castling;
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
