// Move words as text: SAN for people and logs, coordinates for the UCI protocol.
#include "board/board.h"

std::string MoveToSan(const Position* pos, Move m) {
    std::string s;
    if (!m) return s;
    const int from = MoveFrom(m), to = MoveTo(m);
    if (MoveKind(m) == KIND_CASTLE) return (to & 7) == (SQ_G1 & 7) ? "O-O" : "O-O-O";

    const int side = pos->bSideToMove;
    const int piece = MovePiece(m);
    Bitboard candidates = 0;
    switch (piece) {
        case PAWN:
            if (pos->aBoard[to] || MoveKind(m) == KIND_EP) s += FileChar(from);
            break;
        case KNIGHT:
            s += 'N';
            candidates = abbKnightAttacks[to] & pos->bbPieces[side][BB_KNIGHT];
            break;
        case BISHOP:
            s += 'B';
            candidates = BishopAttacks(*pos, to) & pos->bbPieces[side][BB_BISHOP];
            break;
        case ROOK:
            s += 'R';
            candidates = RookAttacks(*pos, to) & pos->bbPieces[side][BB_ROOK];
            break;
        case QUEEN:
            s += 'Q';
            candidates = (BishopAttacks(*pos, to) | RookAttacks(*pos, to)) & pos->bbPieces[side][BB_QUEEN];
            break;
        case KING:
            s += 'K';
            break;
        default:
            break;
    }
    // Only the file is used to tell pieces apart.
    if (PopCount(candidates) >= 2) s += FileChar(from);
    if (MoveCaptured(m)) s += 'x';
    s += FileChar(to);
    s += RankChar(to);
    if (piece == PAWN && (SquareRank(to) == 7 || SquareRank(to) == 0)) {
        static const char kPromo[] = "??NBRQ??";
        s += '=';
        s += kPromo[MovePromo(m)];
        if (MovePromo(m) < KNIGHT || MovePromo(m) > QUEEN) s.resize(s.size() - 2), s += '?';
    }
    Position after;
    MakeMove(m, pos, &after, 0, -1);
    if (AttackedBy(KingSquare(after, side ^ 1), &after, side)) s += '+';
    return s;
}

std::string MoveToCoord(Move m) {
    std::string s;
    const int from = MoveFrom(m), to = MoveTo(m);
    s += FileChar(from);
    s += RankChar(from);
    s += FileChar(to);
    s += RankChar(to);
    static const char kPromo[] = "??nbrq??";
    const int promo = MovePromo(m);
    if (promo >= KNIGHT && promo <= QUEEN) s += kPromo[promo];
    return s;
}
