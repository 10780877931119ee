// Reading SAN moves. The text only tells where a move goes, what moves and perhaps where it comes
// from; the move itself is then looked up among the generated moves and tested for legality, so
// the word handed back is exactly the one the generator and the search use.
#include "movegen/san.h"

#include <cstring>

#include "movegen/movegen.h"

namespace {

bool IsFileLetter(char c) {
    return c >= 'a' && c <= 'h';
}
bool IsRankDigit(char c) {
    return c >= '1' && c <= '8';
}
int NamedSquare(char file, char rank) {
    return MakeSquare(file - 'a', rank - '1');
}

int PromotionType(char c) {
    switch (c) {
        case 'Q':
            return QUEEN;
        case 'R':
            return ROOK;
        case 'B':
            return BISHOP;
        case 'N':
            return KNIGHT;
        default:
            return NONE;
    }
}

int PieceLetterType(char c) {
    switch (c) {
        case 'N':
            return KNIGHT;
        case 'B':
            return BISHOP;
        case 'R':
            return ROOK;
        case 'Q':
            return QUEEN;
        case 'K':
            return KING;
        default:
            return NONE;
    }
}

// The pseudo-legal moves of the position, generated once per text.
struct Generated {
    Move aMoves[kMaxMoves];
    int nCount;
};

void GenerateAll(const Position* pos, Generated* g) {
    g->nCount = GenerateCaptures(pos, g->aMoves, kMaxMoves);
    g->nCount += GenerateQuiets(pos, g->aMoves + g->nCount, kMaxMoves - g->nCount);
}

// The legal generated move of the given piece type from -> to (promoting to promo, NONE for
// no promotion), or 0.
Move FindLegal(const Position* pos, const Generated& g, int type, int from, int to, int promo) {
    for (int i = 0; i < g.nCount; i++) {
        const Move m = g.aMoves[i];
        if (MoveFrom(m) == from && MoveTo(m) == to && MovePromo(m) == promo)
            return MovePiece(m) == type && IsLegalMove(pos, m) ? m : 0;
    }
    return 0;
}

bool Accept(Move m, Move* pMove) {
    if (!m) return false;
    *pMove = m;
    return true;
}

bool ParseCastling(const Position* pos, const char* s, Move* pMove) {
    const bool bKingSide = strcmp(s, "O-O") == 0;
    const int to = pos->bSideToMove == WHITE ? (bKingSide ? SQ_G1 : SQ_C1) : (bKingSide ? SQ_G8 : SQ_C8);
    Generated g;
    GenerateAll(pos, &g);
    for (int i = 0; i < g.nCount; i++) {
        const Move m = g.aMoves[i];
        if (MoveKind(m) == KIND_CASTLE && MoveTo(m) == to) return IsLegalMove(pos, m) && Accept(m, pMove);
    }
    return false;
}

// "e4", "exd5", "e8=Q", "exd8=N": the origin is one rank behind the target on the pawn's file
// (two for a double step past an empty square).
bool ParsePawnMove(const Position* pos, const char* s, Move* pMove) {
    const int back = pos->bSideToMove == WHITE ? -8 : 8;
    int from, to, i;
    if (s[1] == 'x') {
        if (!IsFileLetter(s[2]) || !IsRankDigit(s[3])) return false;
        to = NamedSquare(s[2], s[3]);
        if (to + back < 0 || to + back > 63) return false;
        from = MakeSquare(s[0] - 'a', SquareRank(to + back));
        i = 4;
    } else {
        if (!IsRankDigit(s[1])) return false;
        to = NamedSquare(s[0], s[1]);
        from = to + back;
        if (from < 0 || from > 63) return false;
        if (!pos->aBoard[from]) {
            from += back;
            if (from < 0 || from > 63) return false;
        }
        i = 2;
    }
    int promo = NONE;
    if (s[i] == '=') {
        promo = PromotionType(s[i + 1]);
        if (promo == NONE) return false;
        i += 2;
    }
    if (s[i]) return false;
    Generated g;
    GenerateAll(pos, &g);
    return Accept(FindLegal(pos, g, PAWN, from, to, promo), pMove);
}

// "Nf3", "Nxf3", "Nbd7", "N1f3", "Qh4e1": destination last, before it an optional 'x', before
// that an optional origin file and/or rank.
bool ParsePieceMove(const Position* pos, const char* s, int n, Move* pMove) {
    const int type = PieceLetterType(s[0]);
    if (type == NONE || n < 3) return false;
    if (!IsFileLetter(s[n - 2]) || !IsRankDigit(s[n - 1])) return false;
    const int to = NamedSquare(s[n - 2], s[n - 1]);
    int end = n - 2;  // s[1 .. end) is the origin and the capture mark
    if (end > 1 && s[end - 1] == 'x') end--;
    int j = 1;
    Bitboard origin = ~Bitboard(0);
    if (j < end && IsFileLetter(s[j])) origin &= abbFileMask[7 - (s[j++] - 'a')];
    if (j < end && IsRankDigit(s[j])) origin &= Bitboard(0xFF) << (8 * (s[j++] - '1'));
    if (j != end) return false;

    const int side = pos->bSideToMove;
    const Bitboard* own = pos->bbPieces[side];
    Bitboard candidates = 0;
    switch (type) {
        case KNIGHT:
            candidates = abbKnightAttacks[to] & own[BB_KNIGHT];
            break;
        case BISHOP:
            candidates = BishopAttacks(*pos, to) & own[BB_BISHOP];
            break;
        case ROOK:
            candidates = RookAttacks(*pos, to) & own[BB_ROOK];
            break;
        case QUEEN:
            candidates = (BishopAttacks(*pos, to) | RookAttacks(*pos, to)) & own[BB_QUEEN];
            break;
        default:
            candidates = abbKingAttacks[to] & own[BB_KING];
            break;
    }
    candidates &= origin;
    if (!candidates) return false;

    // Writers leave the origin out when the other pieces that reach the square are pinned, so
    // the first candidate whose move is legal is the one meant.
    Generated g;
    GenerateAll(pos, &g);
    while (candidates) {
        const Move m = FindLegal(pos, g, type, PopLowest(candidates), to, NONE);
        if (m) return Accept(m, pMove);
    }
    return false;
}

}  // namespace

bool ParseSan(const Position* pos, const char* text, Move* pMove) {
    if (!text) return false;
    // A move-number prefix ends at the first '.'; "12..." leaves dots behind and is no move.
    const char* p = strchr(text, '.');
    p = p ? p + 1 : text;
    char s[kSanMaxLength + 1];
    int n = 0;
    for (; *p; p++) {
        if (*p == '?' || *p == '!' || *p == '#') continue;
        if (n == kSanMaxLength) return false;
        s[n++] = *p;
    }
    while (n > 0 && s[n - 1] == '+') n--;
    s[n] = 0;
    if (n == 0) return false;

    if (strcmp(s, "O-O") == 0 || strcmp(s, "O-O-O") == 0) return ParseCastling(pos, s, pMove);
    if (IsFileLetter(s[0])) return ParsePawnMove(pos, s, pMove);
    return ParsePieceMove(pos, s, n, pMove);
}
