// Knight, bishop, rook and queen terms with their king tropism and mobility.
#include <bit>

#include "eval/eval.h"

namespace {

// Tropism by king distance 0..7 to the enemy king.
constexpr int kKnightTropism[8] = {0, 8, 10, 10, 7, 4, 0, 0};
constexpr int kBishopTropism[8] = {0, 10, 10, 10, 7, 4, 0, 0};
constexpr int kRookTropism[8] = {0, 14, 13, 10, 7, 4, 0, 0};
constexpr int kQueenTropism[8] = {0, 30, 20, 10, 4, 1, 0, 0};

// By the number of enemy pawns on the rook's (or queen's) seventh rank.
constexpr int kRook7th[9] = {0, 5, 7, 10, 12, 15, 18, 20, 0};
// Bishop supporting a passer whose promotion square it controls, by the pawns on the board.
constexpr int kBishopPasser[17] = {0, 30, 30, 20, 20, 15, 15, 10, 10, 5, 5, 0, 0, 0, 0, 0, 0};

constexpr Bitboard kLightSquares = 0xAA55AA55AA55AA55ULL;
constexpr Bitboard kDarkSquares = 0x55AA55AA55AA55AAULL;
constexpr Bitboard kRank2 = 0x000000000000FF00ULL;
constexpr Bitboard kRank7 = 0x00FF000000000000ULL;
// File masks of the pawn entry (bit 0 the h-file): files whose promotion square is light for
// white (a, c, e, g) and the others (b, d, f, h).
constexpr int kFilesAceg = 0xAA;
constexpr int kFilesBdfh = 0x55;
// Below three pawns the sliders' mobility is not counted.
constexpr int kFewPawns = 3;

// clang-format off
constexpr std::array<int, 64> kWhiteKnightTable = TableFromDiagram({
    -30, -10, -10, -10, -10, -10, -10, -30,
    -10,  -8,   0,   0,   0,   0,  -8, -10,
    -10,   0,   5,   5,   5,   5,   0, -10,
    -10,   0,   5,  10,  10,   5,   0, -10,
    -10,   0,   5,  10,  10,   5,   0, -10,
    -10,   2,   5,   5,   5,   5,   2, -10,
    -20, -10,   2,   2,   2,   2, -10, -20,
    -30, -20, -10, -10, -10, -10, -20, -30,
});
constexpr std::array<int, 64> kBlackKnightTable = TableFromDiagram({
     30,  20,  10,  10,  10,  10,  20,  30,
     20,  10,  -2,  -2,  -2,  -2,  10,  20,
     10,  -2,  -5,  -5,  -5,  -5,  -2,  10,
     10,   0,  -5, -10, -10,  -5,   0,  10,
     10,   0,  -5, -10, -10,  -5,   0,  10,
     10,   0,  -5,  -5,  -5,  -5,   0,  10,
     10,   8,   0,   0,   0,   0,   8,  10,
     30,  10,  10,  10,  10,  10,  10,  30,
});
constexpr std::array<int, 64> kWhiteBishopTable = TableFromDiagram({
    -20, -10, -10, -10, -10, -10, -10, -20,
    -10,   0,   0,   0,   0,   0,   0, -10,
    -10,   0,   5,   5,   5,   5,   0, -10,
    -10,   0,   5,  10,  10,   5,   0, -10,
    -10,   0,   5,  10,  10,   5,   0, -10,
    -10,   0,   5,   5,   5,   5,   0, -10,
    -10,   0,   0,   0,   0,   0,   0, -10,
    -20, -10, -20, -10, -10, -20, -10, -20,
});
constexpr std::array<int, 64> kBlackBishopTable = TableFromDiagram({
     20,  10,  20,  10,  10,  20,  10,  20,
     10,   0,   0,   0,   0,   0,   0,  10,
     10,   0,  -5,  -5,  -5,  -5,   0,  10,
     10,   0,  -5, -10, -10,  -5,   0,  10,
     10,   0,  -5, -10, -10,  -5,   0,  10,
     10,   0,  -5,  -5,  -5,  -5,   0,  10,
     10,   0,   0,   0,   0,   0,   0,  10,
     20,  10,  10,  10,  10,  10,  10,  20,
});
// clang-format on
// Knight outposts in the enemy half: white reads it at the knight's square s, black at 63 - s.
// clang-format off
constexpr std::array<int, 64> kOutpostTable = TableFromDiagram({
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  6, 10, 10,  6,  0,  0,
     0,  0, 12, 15, 15, 12,  0,  0,
     0,  0, 12, 15, 15, 12,  0,  0,
     0,  0,  0,  6,  6,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
});
// clang-format on

inline int TotalPawns(const PawnEntry* pe) {
    return pe->nCount[0] + pe->nCount[1];
}

// Distance between two files given as board file indices (square & 7).
inline int FileDistance(int a, int b) {
    return a > b ? a - b : b - a;
}

// Open and half-open file bonus of a white rook or queen on file c: 10 on a file without white
// pawns, 20 without any pawn, then 10 more when the black king is on a neighbouring file and
// 20 more on the same file. Black mirrors it with the colours exchanged.
inline int OpenFileBonus(const Position* pos, int us, int c, int nEnemyKing) {
    Bitboard file = abbFileMask[c];
    if (pos->bbPieces[us][BB_PAWN] & file) return 0;
    int v = (pos->bbPieces[us ^ 1][BB_PAWN] & file) ? 10 : 20;
    int d = FileDistance(nEnemyKing & 7, c);
    if (d == 0)
        v += 20;
    else if (d == 1)
        v += 10;
    return v;
}

}  // namespace

int EvaluateKnights(const Position* pos, const PawnEntry* /*pe*/, const MaterialEntry* me, int* pnTropism,
                    int* pnMobility) {
    const Bitboard wPawns = pos->bbPieces[WHITE][BB_PAWN], bPawns = pos->bbPieces[BLACK][BB_PAWN];
    const int wK = me->nKingSq[WHITE], bK = me->nKingSq[BLACK];
    int score = 0, trop = 0, mob = 0;

    Bitboard b = pos->bbPieces[WHITE][BB_KNIGHT];
    if (b) {
        const bool bNoEnemyMinors = !(pos->bbPieces[BLACK][BB_KNIGHT] | pos->bbPieces[BLACK][BB_BISHOP]);
        const Bitboard notOwn = ~pos->bbPieces[WHITE][BB_ALL];
        do {
            int s = PopLowest(b);
            score += kWhiteKnightTable[s];
            trop += kKnightTropism[Distance(s, bK)];
            mob += (PopCount(abbKnightAttacks[s] & notOwn) - 4) * 4;
            int o = kOutpostTable[s];
            if (o && !(abbFrontSpanAdjacent[WHITE][s] & bPawns) && (abbPawnAttacks[BLACK][s] & wPawns)) {
                score += o;
                if (bNoEnemyMinors) score += 2 * o;
            }
        } while (b);
    }

    b = pos->bbPieces[BLACK][BB_KNIGHT];
    if (b) {
        const bool bNoEnemyMinors = !(pos->bbPieces[WHITE][BB_KNIGHT] | pos->bbPieces[WHITE][BB_BISHOP]);
        const Bitboard notOwn = ~pos->bbPieces[BLACK][BB_ALL];
        do {
            int s = PopLowest(b);
            score += kBlackKnightTable[s];
            trop -= kKnightTropism[Distance(s, wK)];
            mob += (4 - PopCount(abbKnightAttacks[s] & notOwn)) * 4;
            int o = kOutpostTable[63 - s];
            if (o && !(abbFrontSpanAdjacent[BLACK][s] & wPawns) && (abbPawnAttacks[WHITE][s] & bPawns)) {
                score -= o;
                if (bNoEnemyMinors) score -= 2 * o;
            }
        } while (b);
    }

    *pnTropism += trop;
    *pnMobility += mob;
    return score;
}

int EvaluateBishops(const Position* pos, const PawnEntry* pe, const MaterialEntry* me, int* pnTropism,
                    int* pnMobility) {
    const int wK = me->nKingSq[WHITE], bK = me->nKingSq[BLACK];
    const int nPawns = TotalPawns(pe);
    const bool bFewPawns = nPawns < kFewPawns;
    const Bitboard wBishops = pos->bbPieces[WHITE][BB_BISHOP], bBishops = pos->bbPieces[BLACK][BB_BISHOP];
    int score = 0, trop = 0, mob = 0;

    for (Bitboard b = wBishops; b;) {
        int s = PopLowest(b);
        score += kWhiteBishopTable[s];
        trop += kBishopTropism[Distance(s, bK)];
        int m = bFewPawns ? -6 : PopCount(BishopAttacks(*pos, s) & ~pos->bbPieces[WHITE][BB_PAWN]) - 6;
        mob += 5 * m;
    }
    for (Bitboard b = bBishops; b;) {
        int s = PopLowest(b);
        score += kBlackBishopTable[s];
        trop -= kBishopTropism[Distance(s, wK)];
        int m = bFewPawns ? -6 : PopCount(BishopAttacks(*pos, s) & ~pos->bbPieces[BLACK][BB_PAWN]) - 6;
        mob -= 5 * m;
    }

    // A bishop that controls a passer's promotion square.
    const int B = kBishopPasser[nPawns < 16 ? nPawns : 16];
    if ((pe->nPassed[WHITE] & kFilesAceg) && (wBishops & kLightSquares)) score += B;
    if ((pe->nPassed[WHITE] & kFilesBdfh) && (wBishops & kDarkSquares)) score += B;
    if ((pe->nPassed[BLACK] & kFilesBdfh) && (bBishops & kLightSquares)) score -= B;
    if ((pe->nPassed[BLACK] & kFilesAceg) && (bBishops & kDarkSquares)) score -= B;

    *pnTropism += trop;
    *pnMobility += mob;
    return score;
}

int EvaluateRooks(const Position* pos, const PawnEntry* pe, const MaterialEntry* me, int* pnTropism,
                  int* pnMobility) {
    const Bitboard wPawns = pos->bbPieces[WHITE][BB_PAWN], bPawns = pos->bbPieces[BLACK][BB_PAWN];
    const int wK = me->nKingSq[WHITE], bK = me->nKingSq[BLACK];
    const bool bFewPawns = TotalPawns(pe) < kFewPawns;
    int score = 0, trop = 0, mob = 0;

    for (Bitboard b = pos->bbPieces[WHITE][BB_ROOK]; b;) {
        int s = PopLowest(b), c = s & 7;
        trop += kRookTropism[Distance(s, bK)];
        int m = bFewPawns ? -7 : PopCount(RookAttacks(*pos, s) & ~wPawns) - 7;
        mob += 3 * m;
        // Behind (below) the file's rearmost pawn when the file holds a passer.
        if (pe->nPassed[WHITE] & (1 << c)) score += s < LowestSquare(wPawns & abbFileMask[c]) ? 10 : 7;
        score += OpenFileBonus(pos, WHITE, c, bK);
        if ((s >> 3) == 6) {
            score += kRook7th[PopCount(bPawns & kRank7)];
            if ((bK >> 3) == 7) score += 10;
        }
    }
    for (Bitboard b = pos->bbPieces[BLACK][BB_ROOK]; b;) {
        int s = PopLowest(b), c = s & 7;
        trop -= kRookTropism[Distance(s, wK)];
        int m = bFewPawns ? -7 : PopCount(RookAttacks(*pos, s) & ~bPawns) - 7;
        mob -= 3 * m;
        if (pe->nPassed[BLACK] & (1 << c)) {
            // Black's rearmost pawn is the highest one; an empty file (a torn pawn entry) gives -1.
            int nRear = 63 - std::countl_zero(bPawns & abbFileMask[c]);
            score -= s > nRear ? 10 : 7;
        }
        score -= OpenFileBonus(pos, BLACK, c, wK);
        if ((s >> 3) == 1) {
            score -= kRook7th[PopCount(wPawns & kRank2)];
            if ((wK >> 3) == 0) score -= 10;
        }
    }

    *pnTropism += trop;
    *pnMobility += mob;
    return score;
}

int EvaluateQueens(const Position* pos, const PawnEntry* pe, const MaterialEntry* me, int* pnTropism,
                   int* pnMobility) {
    const Bitboard wPawns = pos->bbPieces[WHITE][BB_PAWN], bPawns = pos->bbPieces[BLACK][BB_PAWN];
    const int wK = me->nKingSq[WHITE], bK = me->nKingSq[BLACK];
    const bool bFewPawns = TotalPawns(pe) < kFewPawns;
    int score = 0, trop = 0, mob = 0;

    for (Bitboard b = pos->bbPieces[WHITE][BB_QUEEN]; b;) {
        int s = PopLowest(b), c = s & 7;
        trop += kQueenTropism[Distance(s, bK)];
        int m = bFewPawns ? -13 : PopCount((BishopAttacks(*pos, s) | RookAttacks(*pos, s)) & ~wPawns) - 13;
        mob += 2 * m;
        score += OpenFileBonus(pos, WHITE, c, bK);
        if ((s >> 3) == 6) {
            score += kRook7th[PopCount(bPawns & kRank7)];
            if ((bK >> 3) == 7) score += 10;
        }
    }
    for (Bitboard b = pos->bbPieces[BLACK][BB_QUEEN]; b;) {
        int s = PopLowest(b), c = s & 7;
        trop -= kQueenTropism[Distance(s, wK)];
        int m = bFewPawns ? -13 : PopCount((BishopAttacks(*pos, s) | RookAttacks(*pos, s)) & ~bPawns) - 13;
        mob -= 2 * m;
        score -= OpenFileBonus(pos, BLACK, c, wK);
        if ((s >> 3) == 1) {
            score -= kRook7th[PopCount(wPawns & kRank2)];
            if ((wK >> 3) == 0) score -= 10;
        }
    }

    *pnTropism += trop;
    *pnMobility += mob;
    return score;
}
