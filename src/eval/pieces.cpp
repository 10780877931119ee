// Knight, bishop, rook and queen terms with their king tropism and mobility.
#include <bit>

#include "eval/eval.h"
#include "eval/weights.h"

namespace {

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

inline int TotalPawns(const PawnEntry* pe) {
    return pe->nCount[0] + pe->nCount[1];
}

// Distance between two files given as board file indices (square & 7).
inline int FileDistance(int a, int b) {
    return a > b ? a - b : b - a;
}

// Open and half-open file bonus of a rook or queen of colour us on file c, more when the enemy
// king stands on that file or beside it.
inline int OpenFileBonus(const Position* pos, int us, int c, int nEnemyKing) {
    const EvalWeights& w = evalWeights;
    Bitboard file = abbFileMask[c];
    if (pos->bbPieces[us][BB_PAWN] & file) return 0;
    int v = (pos->bbPieces[us ^ 1][BB_PAWN] & file) ? w.nHalfOpenFile : w.nOpenFile;
    int d = FileDistance(nEnemyKing & 7, c);
    if (d == 0)
        v += w.nEnemyKingFile;
    else if (d == 1)
        v += w.nEnemyKingNextFile;
    return v;
}

}  // namespace

int EvaluateKnights(const Position* pos, const PawnEntry* /*pe*/, const MaterialEntry* me, int* pnTropism,
                    int* pnMobility) {
    const EvalWeights& w = evalWeights;
    const Bitboard wPawns = pos->bbPieces[WHITE][BB_PAWN], bPawns = pos->bbPieces[BLACK][BB_PAWN];
    const int wK = me->nKingSq[WHITE], bK = me->nKingSq[BLACK];
    int score = 0, trop = 0, mob = 0;

    Bitboard b = pos->bbPieces[WHITE][BB_KNIGHT];
    if (b) {
        const bool bNoEnemyMinors = !(pos->bbPieces[BLACK][BB_KNIGHT] | pos->bbPieces[BLACK][BB_BISHOP]);
        const Bitboard notOwn = ~pos->bbPieces[WHITE][BB_ALL];
        do {
            int s = PopLowest(b);
            score += w.anKnightTable[s];
            trop += w.anKnightTropism[Distance(s, bK)];
            mob += (PopCount(abbKnightAttacks[s] & notOwn) - w.anMobilityBase[0]) * w.anMobilityWeight[0];
            int o = w.anOutpostTable[s];
            if (o && !(abbFrontSpanAdjacent[WHITE][s] & bPawns) && (abbPawnAttacks[BLACK][s] & wPawns)) {
                score += o;
                if (bNoEnemyMinors) score += w.nOutpostNoMinorsFactor * o;
            }
        } while (b);
    }

    b = pos->bbPieces[BLACK][BB_KNIGHT];
    if (b) {
        const bool bNoEnemyMinors = !(pos->bbPieces[WHITE][BB_KNIGHT] | pos->bbPieces[WHITE][BB_BISHOP]);
        const Bitboard notOwn = ~pos->bbPieces[BLACK][BB_ALL];
        do {
            int s = PopLowest(b);
            score -= w.anKnightTable[s ^ 56];
            trop -= w.anKnightTropism[Distance(s, wK)];
            mob -= (PopCount(abbKnightAttacks[s] & notOwn) - w.anMobilityBase[0]) * w.anMobilityWeight[0];
            int o = w.anOutpostTable[s ^ 56];
            if (o && !(abbFrontSpanAdjacent[BLACK][s] & wPawns) && (abbPawnAttacks[WHITE][s] & bPawns)) {
                score -= o;
                if (bNoEnemyMinors) score -= w.nOutpostNoMinorsFactor * o;
            }
        } while (b);
    }

    *pnTropism += trop;
    *pnMobility += mob;
    return score;
}

int EvaluateBishops(const Position* pos, const PawnEntry* pe, const MaterialEntry* me, int* pnTropism,
                    int* pnMobility) {
    const EvalWeights& w = evalWeights;
    const int wK = me->nKingSq[WHITE], bK = me->nKingSq[BLACK];
    const int nPawns = TotalPawns(pe);
    const bool bFewPawns = nPawns < kFewPawns;
    const Bitboard wBishops = pos->bbPieces[WHITE][BB_BISHOP], bBishops = pos->bbPieces[BLACK][BB_BISHOP];
    int score = 0, trop = 0, mob = 0;

    for (Bitboard b = wBishops; b;) {
        int s = PopLowest(b);
        score += w.anBishopTable[s];
        trop += w.anBishopTropism[Distance(s, bK)];
        int m = bFewPawns ? 0 : PopCount(BishopAttacks(*pos, s) & ~pos->bbPieces[WHITE][BB_PAWN]);
        mob += w.anMobilityWeight[1] * (m - w.anMobilityBase[1]);
    }
    for (Bitboard b = bBishops; b;) {
        int s = PopLowest(b);
        score -= w.anBishopTable[s ^ 56];
        trop -= w.anBishopTropism[Distance(s, wK)];
        int m = bFewPawns ? 0 : PopCount(BishopAttacks(*pos, s) & ~pos->bbPieces[BLACK][BB_PAWN]);
        mob -= w.anMobilityWeight[1] * (m - w.anMobilityBase[1]);
    }

    // A bishop that controls a passer's promotion square.
    const int B = w.anBishopForPasser[nPawns < 16 ? nPawns : 16];
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
    const EvalWeights& w = evalWeights;
    const Bitboard wPawns = pos->bbPieces[WHITE][BB_PAWN], bPawns = pos->bbPieces[BLACK][BB_PAWN];
    const int wK = me->nKingSq[WHITE], bK = me->nKingSq[BLACK];
    const bool bFewPawns = TotalPawns(pe) < kFewPawns;
    int score = 0, trop = 0, mob = 0;

    for (Bitboard b = pos->bbPieces[WHITE][BB_ROOK]; b;) {
        int s = PopLowest(b), c = s & 7;
        trop += w.anRookTropism[Distance(s, bK)];
        int m = bFewPawns ? 0 : PopCount(RookAttacks(*pos, s) & ~wPawns);
        mob += w.anMobilityWeight[2] * (m - w.anMobilityBase[2]);
        // Behind (below) the file's rearmost pawn when the file holds a passer.
        if (pe->nPassed[WHITE] & (1 << c))
            score += s < LowestSquare(wPawns & abbFileMask[c]) ? w.nRookBehindPasser : w.nRookBesidePasser;
        score += OpenFileBonus(pos, WHITE, c, bK);
        if ((s >> 3) == 6) {
            score += w.anSeventhRank[PopCount(bPawns & kRank7)];
            if ((bK >> 3) == 7) score += w.nSeventhRankKing;
        }
    }
    for (Bitboard b = pos->bbPieces[BLACK][BB_ROOK]; b;) {
        int s = PopLowest(b), c = s & 7;
        trop -= w.anRookTropism[Distance(s, wK)];
        int m = bFewPawns ? 0 : PopCount(RookAttacks(*pos, s) & ~bPawns);
        mob -= w.anMobilityWeight[2] * (m - w.anMobilityBase[2]);
        if (pe->nPassed[BLACK] & (1 << c)) {
            // Black's rearmost pawn is the highest one; an empty file (a torn pawn entry) gives -1.
            int nRear = 63 - std::countl_zero(bPawns & abbFileMask[c]);
            score -= s > nRear ? w.nRookBehindPasser : w.nRookBesidePasser;
        }
        score -= OpenFileBonus(pos, BLACK, c, wK);
        if ((s >> 3) == 1) {
            score -= w.anSeventhRank[PopCount(wPawns & kRank2)];
            if ((wK >> 3) == 0) score -= w.nSeventhRankKing;
        }
    }

    *pnTropism += trop;
    *pnMobility += mob;
    return score;
}

int EvaluateQueens(const Position* pos, const PawnEntry* pe, const MaterialEntry* me, int* pnTropism,
                   int* pnMobility) {
    const EvalWeights& w = evalWeights;
    const Bitboard wPawns = pos->bbPieces[WHITE][BB_PAWN], bPawns = pos->bbPieces[BLACK][BB_PAWN];
    const int wK = me->nKingSq[WHITE], bK = me->nKingSq[BLACK];
    const bool bFewPawns = TotalPawns(pe) < kFewPawns;
    int score = 0, trop = 0, mob = 0;

    for (Bitboard b = pos->bbPieces[WHITE][BB_QUEEN]; b;) {
        int s = PopLowest(b), c = s & 7;
        trop += w.anQueenTropism[Distance(s, bK)];
        int m = bFewPawns ? 0 : PopCount((BishopAttacks(*pos, s) | RookAttacks(*pos, s)) & ~wPawns);
        mob += w.anMobilityWeight[3] * (m - w.anMobilityBase[3]);
        score += OpenFileBonus(pos, WHITE, c, bK);
        if ((s >> 3) == 6) {
            score += w.anSeventhRank[PopCount(bPawns & kRank7)];
            if ((bK >> 3) == 7) score += w.nSeventhRankKing;
        }
    }
    for (Bitboard b = pos->bbPieces[BLACK][BB_QUEEN]; b;) {
        int s = PopLowest(b), c = s & 7;
        trop -= w.anQueenTropism[Distance(s, wK)];
        int m = bFewPawns ? 0 : PopCount((BishopAttacks(*pos, s) | RookAttacks(*pos, s)) & ~bPawns);
        mob -= w.anMobilityWeight[3] * (m - w.anMobilityBase[3]);
        score -= OpenFileBonus(pos, BLACK, c, wK);
        if ((s >> 3) == 1) {
            score -= w.anSeventhRank[PopCount(wPawns & kRank2)];
            if ((wK >> 3) == 0) score -= w.nSeventhRankKing;
        }
    }

    *pnTropism += trop;
    *pnMobility += mob;
    return score;
}
