// Checks on single moves: pseudo-legality of moves from outside the generators (hash moves,
// killers), the in-check test, and legality for moves typed by the user.
#include "movegen/movegen.h"

namespace {

// The four castling words exist exactly as the generators write them; each needs its right,
// king and rook at home, empty squares between them, and unattacked king squares.
bool IsCastlingValid(const Position* pos, Move m) {
    const int us = pos->bSideToMove, them = us ^ 1;
    const int offset = us == WHITE ? 0 : 56;
    const int e = SQ_E1 + offset;
    const uint8_t* board = pos->aBoard;
    const int rook = PieceCode(us, ROOK);
    if (m == BuildMove(e, SQ_G1 + offset, KIND_CASTLE, 0, KING, NONE)) {
        const int f = SQ_F1 + offset, g = SQ_G1 + offset;
        return (pos->nCastling & (us == WHITE ? CASTLE_WK : CASTLE_BK)) && board[SQ_H1 + offset] == rook &&
               !board[f] && !board[g] && !AttackedBy(e, pos, them) && !AttackedBy(f, pos, them) &&
               !AttackedBy(g, pos, them);
    }
    if (m == BuildMove(e, SQ_C1 + offset, KIND_CASTLE, 0, KING, NONE)) {
        const int d = SQ_D1 + offset, c = SQ_C1 + offset;
        return (pos->nCastling & (us == WHITE ? CASTLE_WQ : CASTLE_BQ)) && board[SQ_A1 + offset] == rook &&
               !board[d] && !board[c] && !board[SQ_B1 + offset] && !AttackedBy(e, pos, them) &&
               !AttackedBy(d, pos, them) && !AttackedBy(c, pos, them);
    }
    return false;
}

bool IsPawnMoveValid(const Position* pos, Move m) {
    const int us = pos->bSideToMove;
    const int from = MoveFrom(m), to = MoveTo(m), kind = MoveKind(m), promo = MovePromo(m);
    const int q = pos->aBoard[to];
    const int push = us == WHITE ? 8 : -8;
    if (kind == KIND_EP) {
        // Onto the en-passant square from a square that attacks it, with the passed pawn behind.
        return to == pos->nEpSquare && !q && promo == NONE && MoveCaptured(m) == PAWN &&
               SquareRank(to) == (us == WHITE ? 5 : 2) && (abbPawnAttacks[us ^ 1][to] & SquareBit(from)) &&
               pos->aBoard[to - push] == PieceCode(us ^ 1, PAWN);
    }
    const bool bLastRank = SquareRank(to) == (us == WHITE ? 7 : 0);
    if (bLastRank ? kind != KIND_PROMO || promo < KNIGHT || promo > QUEEN
                  : kind != KIND_NORMAL || promo != NONE)
        return false;
    const int step = to - from;
    if (step == push) return !q;
    if (step == 2 * push) return !q && SquareRank(from) == (us == WHITE ? 1 : 6) && !pos->aBoard[from + push];
    return q && (abbPawnAttacks[us][from] & SquareBit(to));
}

}  // namespace

bool IsMoveValid(const Position* pos, Move m) {
    if (!m || (m >> 23)) return false;
    const int from = MoveFrom(m), to = MoveTo(m), piece = MovePiece(m);
    const int p = pos->aBoard[from], q = pos->aBoard[to];
    // The piece must be there, be the mover's, and not land on one of its own side.
    if (!piece || CodeType(p) != piece || !((p ^ q) & 0x18) || CodeColour(p) != pos->bSideToMove)
        return false;
    if (MoveKind(m) == KIND_CASTLE) return IsCastlingValid(pos, m);
    if (MoveKind(m) != KIND_EP && MoveCaptured(m) != CodeType(q)) return false;
    if (piece == PAWN) return IsPawnMoveValid(pos, m);
    if (MoveKind(m) != KIND_NORMAL || MovePromo(m) != NONE) return false;
    const Bitboard target = SquareBit(to);
    switch (piece) {
        case KNIGHT:
            return abbKnightAttacks[from] & target;
        case BISHOP:
            return BishopAttacks(*pos, from) & target;
        case ROOK:
            return RookAttacks(*pos, from) & target;
        case QUEEN:
            return (BishopAttacks(*pos, from) | RookAttacks(*pos, from)) & target;
        case KING:
            return abbKingAttacks[from] & target;
        default:
            return false;
    }
}

int InCheck(const Position* pos) {
    const int us = pos->bSideToMove;
    if (!pos->bbPieces[us][BB_KING]) return 0;
    return AttackedBy(KingSquare(*pos, us), pos, us ^ 1);
}

bool IsLegalMove(const Position* pos, Move m) {
    const int us = pos->bSideToMove;
    Position child;
    MakeMove(m, pos, &child, 0, -1);  // scratch move: no irreversible-move marker
    if (!child.bbPieces[us][BB_KING]) return false;
    return !AttackedBy(KingSquare(child, us), &child, us ^ 1);
}

bool IsGeneratedMove(const Position* pos, Move m) {
    if (!m) return false;
    Move moves[kMaxMoves];
    int n = GenerateCaptures(pos, moves, kMaxMoves);
    n += GenerateQuiets(pos, moves + n, kMaxMoves - n);
    for (int i = 0; i < n; i++)
        if (moves[i] == m) return IsLegalMove(pos, m);
    return false;
}
