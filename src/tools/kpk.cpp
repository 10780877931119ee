// King and pawn against king: the retrograde solution, the "kpk" generator and the evaluation
// agreement measure.
#include "tools/kpk.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "eval/endgame.h"
#include "eval/eval.h"
#include "eval/material.h"
#include "movegen/movegen.h"
#include "platform/platform.h"

namespace {

// Table values: a win in d plies is stored as d + 1; draws (and, while solving, positions not
// decided yet) as 0.
constexpr uint8_t kDraw = 0;
constexpr uint8_t kIllegal = 255;
constexpr int kMaxStoredPlies = 250;

// [side to move][pawn][white king][black king]; pawn squares on the first and eighth rank stay
// illegal.
uint8_t aKpk[2][64][64][64];
Bitboard abbSteps[64];  // king steps, built here so that solving needs no other table
std::once_flag kpkOnce;
int64_t nKpkSolveMs = 0;

inline bool IsWin(uint8_t v) {
    return v != kDraw && v != kIllegal;
}

// Squares a white pawn attacks: +9 is one rank up towards the a-file, +7 towards the h-file.
inline Bitboard PawnAttacks(int p) {
    Bitboard b = 0;
    if ((p & 7) != 7) b |= SquareBit(p + 9);
    if ((p & 7) != 0) b |= SquareBit(p + 7);
    return b;
}

// Sliding attacks from sq over occ by walking the rays (only used for promotions).
Bitboard SlideAttacks(int sq, Bitboard occ, bool bDiagonal) {
    static const int adStraight[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    static const int adDiagonal[4][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    const int(*d)[2] = bDiagonal ? adDiagonal : adStraight;
    Bitboard b = 0;
    for (int i = 0; i < 4; i++) {
        int c = sq & 7, r = sq >> 3;
        for (;;) {
            c += d[i][0];
            r += d[i][1];
            if (c < 0 || c > 7 || r < 0 || r > 7) break;
            b |= SquareBit(r * 8 + c);
            if (occ & SquareBit(r * 8 + c)) break;
        }
    }
    return b;
}

// Black to move after white promoted on q to a queen or rook: won unless black can take the new
// piece or is stalemated (a mate is a win as well).
bool PromotionWins(int wk, int bk, int q, bool bQueen) {
    const Bitboard occ = SquareBit(wk) | SquareBit(q);  // the black king blocks nothing
    Bitboard att = abbSteps[wk] | SlideAttacks(q, occ, false);
    if (bQueen) att |= SlideAttacks(q, occ, true);
    const Bitboard escapes = abbSteps[bk] & ~att;
    if (escapes & SquareBit(q)) return false;
    if (!escapes) return (att & SquareBit(bk)) != 0;
    return true;
}

bool IsLegalPlacement(int stm, int p, int wk, int bk) {
    if (p < 8 || p > 55 || wk == bk || wk == p || bk == p) return false;
    if (Distance(wk, bk) <= 1) return false;
    const bool bPawnChecks = (PawnAttacks(p) & SquareBit(bk)) != 0;
    if (stm == WHITE && bPawnChecks) return false;
    // A check from a pawn that cannot have moved yet has no last move to explain it.
    if (stm == BLACK && bPawnChecks && (p >> 3) == 1) return false;
    return true;
}

// Black to move, not decided: won when black has a move and every move reaches a decided win
// (the pawn must not be takeable). One pass of these tests per ply decides the positions whose
// distance is that ply, because the smaller distances were all decided in the earlier passes.
bool BlackLost(int p, int wk, int bk) {
    Bitboard to = abbSteps[bk] & ~abbSteps[wk] & ~PawnAttacks(p);
    if (to & SquareBit(p)) return false;  // takes the pawn
    if (!to) return false;                // stalemate, or a mate already settled
    while (to) {
        const int t = PopLowest(to);
        if (!IsWin(aKpk[WHITE][p][wk][t])) return false;
    }
    return true;
}

// White to move, not decided: won when some king move or pawn push reaches a decided win.
bool WhiteWins(int p, int wk, int bk) {
    Bitboard to = abbSteps[wk] & ~abbSteps[bk] & ~SquareBit(p);
    while (to) {
        const int t = PopLowest(to);
        if (IsWin(aKpk[BLACK][p][t][bk])) return true;
    }
    const int p1 = p + 8;
    if (p1 == wk || p1 == bk || p1 >= 56) return false;  // promotions were settled first
    if (IsWin(aKpk[BLACK][p1][wk][bk])) return true;
    const int p2 = p + 16;
    return (p >> 3) == 1 && p2 != wk && p2 != bk && IsWin(aKpk[BLACK][p2][wk][bk]);
}

void SolveKpk() {
    const int64_t nStart = NowMs();
    for (int sq = 0; sq < 64; sq++) {
        abbSteps[sq] = 0;
        for (int t = 0; t < 64; t++)
            if (Distance(sq, t) == 1) abbSteps[sq] |= SquareBit(t);
    }
    for (int stm = 0; stm < 2; stm++)
        for (int p = 0; p < 64; p++)
            for (int wk = 0; wk < 64; wk++)
                for (int bk = 0; bk < 64; bk++)
                    aKpk[stm][p][wk][bk] = IsLegalPlacement(stm, p, wk, bk) ? kDraw : kIllegal;

    // Black to move without a move: mated (a win in 0 plies, which king and pawn cannot really
    // bring about) or stalemated (a draw).
    for (int p = 8; p < 56; p++)
        for (int wk = 0; wk < 64; wk++)
            for (int bk = 0; bk < 64; bk++) {
                const bool bNoMove = !(abbSteps[bk] & ~abbSteps[wk] & ~PawnAttacks(p));
                if (aKpk[BLACK][p][wk][bk] == kDraw && bNoMove && (PawnAttacks(p) & SquareBit(bk)))
                    aKpk[BLACK][p][wk][bk] = 0 + 1;
            }

    // White to move with the pawn on the seventh: a safe queen or rook wins in one ply.
    for (int p = 48; p < 56; p++)
        for (int wk = 0; wk < 64; wk++)
            for (int bk = 0; bk < 64; bk++) {
                const int q = p + 8;
                if (aKpk[WHITE][p][wk][bk] == kIllegal || q == wk || q == bk) continue;
                if (PromotionWins(wk, bk, q, true) || PromotionWins(wk, bk, q, false))
                    aKpk[WHITE][p][wk][bk] = 1 + 1;
            }

    // Ply d decides black to move at even d and white to move at odd d; two passes in a row
    // without a new win end the solution.
    int nIdle = 0;
    for (int d = 1; nIdle < 2 && d <= kMaxStoredPlies; d++) {
        const int stm = (d & 1) ? WHITE : BLACK;
        int nNew = 0;
        for (int p = 8; p < 56; p++)
            for (int wk = 0; wk < 64; wk++)
                for (int bk = 0; bk < 64; bk++) {
                    uint8_t& v = aKpk[stm][p][wk][bk];
                    if (v != kDraw) continue;
                    if (stm == WHITE ? WhiteWins(p, wk, bk) : BlackLost(p, wk, bk)) {
                        v = uint8_t(d + 1);
                        nNew++;
                    }
                }
        nIdle = nNew ? 0 : nIdle + 1;
    }
    nKpkSolveMs = NowMs() - nStart;
}

int LegalMoves(const Position* pos, Move* aOut) {
    Move aMoves[kMaxMoves];
    int n = GenerateCaptures(pos, aMoves);
    n += GenerateQuiets(pos, aMoves + n, kMaxMoves - n);
    int nLegal = 0;
    for (int i = 0; i < n; i++)
        if (IsLegalMove(pos, aMoves[i])) aOut[nLegal++] = aMoves[i];
    return nLegal;
}

// Colour that owns the only man besides the kings, or -1; *pnType receives its type.
int LoneManOwner(const Position* pos, int* pnType) {
    int nOwner = -1;
    for (int c = 0; c < 2; c++) {
        const Bitboard* bb = pos->bbPieces[c];
        const Bitboard men = bb[BB_ALL] & ~bb[BB_KING];
        if (!men) continue;
        if (PopCount(men) > 1 || nOwner >= 0) return -2;
        nOwner = c;
        *pnType = CodeType(pos->aBoard[LowestSquare(men)]);
    }
    return nOwner;
}

}  // namespace

void InitKpk() {
    std::call_once(kpkOnce, SolveKpk);
}

int64_t KpkSolveMs() {
    return nKpkSolveMs;
}

int KpkProbe(int nSideToMove, int nWhiteKing, int nBlackKing, int nPawn) {
    InitKpk();
    if ((nSideToMove != WHITE && nSideToMove != BLACK) || nWhiteKing < 0 || nWhiteKing > 63 ||
        nBlackKing < 0 || nBlackKing > 63 || nPawn < 0 || nPawn > 63)
        return KPK_ILLEGAL;
    const uint8_t v = aKpk[nSideToMove][nPawn][nWhiteKing][nBlackKing];
    if (v == kIllegal) return KPK_ILLEGAL;
    if (v == kDraw) return KPK_DRAW;
    return v - 1;
}

int KpkProbePosition(const Position* pos) {
    int nType = 0;
    const int c = LoneManOwner(pos, &nType);
    if (c < 0 || nType != PAWN) return KPK_ILLEGAL;
    const int p = LowestSquare(pos->bbPieces[c][BB_PAWN]);
    const int own = KingSquare(*pos, c), other = KingSquare(*pos, c ^ 1);
    if (c == WHITE) return KpkProbe(pos->bSideToMove, own, other, p);
    // A black pawn: turn the board upside down and swap the colours.
    return KpkProbe(pos->bSideToMove ^ 1, own ^ 56, other ^ 56, p ^ 56);
}

int KpkOutcome(const Position* pos) {
    int nType = 0;
    const int c = LoneManOwner(pos, &nType);
    if (c == -1) return KPK_DRAW;  // bare kings: the pawn was taken
    if (c < 0) return KPK_ILLEGAL;
    if (nType == PAWN) return KpkProbePosition(pos);
    if (pos->bSideToMove == c) return KPK_ILLEGAL;  // a promotion hands the move to the defender
    Move aMoves[kMaxMoves];
    const int n = LegalMoves(pos, aMoves);
    if (n == 0) return InCheck(pos) ? 0 : KPK_DRAW;
    if (nType != QUEEN && nType != ROOK) return KPK_DRAW;
    for (int i = 0; i < n; i++)
        if (MoveCaptured(aMoves[i])) return KPK_DRAW;
    return 0;
}

void SetKpkPosition(Position* pos, int nSideToMove, int nWhiteKing, int nBlackKing, int nPawn) {
    *pos = Position{};
    pos->aBoard[nWhiteKing] = uint8_t(PieceCode(WHITE, KING));
    pos->aBoard[nBlackKing] = uint8_t(PieceCode(BLACK, KING));
    pos->aBoard[nPawn] = uint8_t(PieceCode(WHITE, PAWN));
    pos->nMaterial[WHITE] = 100;
    pos->bSideToMove = uint8_t(nSideToMove);
    pos->nEpSquare = -1;
    ComputeBitboards(pos);
    ComputeHashKey(pos);
}

KpkMoveCount CountKpkBestMoves(const Position* pos) {
    KpkMoveCount r = {0, 0, false, 0};
    int nType = 0;
    const int c = LoneManOwner(pos, &nType);
    if (c < 0 || nType != PAWN) return r;
    const bool bAttacker = pos->bSideToMove == c;
    Move aMoves[kMaxMoves];
    r.nLegal = LegalMoves(pos, aMoves);
    int nWins = 0;
    Move nLastWin = 0, nLastDraw = 0;
    for (int i = 0; i < r.nLegal; i++) {
        Position after;
        MakeMove(aMoves[i], pos, &after, 0, -1);
        if (KpkOutcome(&after) >= 0) {
            nWins++;
            nLastWin = aMoves[i];
        } else {
            nLastDraw = aMoves[i];
        }
    }
    const int nDraws = r.nLegal - nWins;
    if (bAttacker) {
        r.bWin = nWins > 0;
        r.nKeeping = nWins > 0 ? nWins : nDraws;
        if (r.nKeeping == 1) r.nOnlyMove = nWins > 0 ? nLastWin : nLastDraw;
    } else {
        r.bWin = r.nLegal > 0 && nDraws == 0;
        r.nKeeping = nDraws > 0 ? nDraws : nWins;
        if (r.nKeeping == 1) r.nOnlyMove = nDraws > 0 ? nLastDraw : nLastWin;
    }
    return r;
}

bool IsKpkTestPosition(const Position* pos, Move* pnMove) {
    if (KpkProbePosition(pos) == KPK_ILLEGAL) return false;
    int nType = 0;
    const int c = LoneManOwner(pos, &nType);
    const int p = LowestSquare(pos->bbPieces[c][BB_PAWN]);
    if ((p & 7) != 0 && (p & 7) != 7) return false;
    // The defender to move with the pawn en prise: taking it is the obvious draw.
    if (pos->bSideToMove != c &&
        (abbSteps[KingSquare(*pos, c ^ 1)] & ~abbSteps[KingSquare(*pos, c)] & SquareBit(p)))
        return false;
    const KpkMoveCount mc = CountKpkBestMoves(pos);
    if (mc.nLegal < 2 || mc.nKeeping != 1) return false;
    *pnMove = mc.nOnlyMove;
    return true;
}

std::string KpkEpdLine(const Position* pos, Move m, int nNumber) {
    char szFen[128];
    WriteFen(pos, szFen);
    // Keep the four EPD fields: placement, side, castling, en passant.
    int nBlanks = 0;
    for (char* s = szFen; *s; s++)
        if (*s == ' ' && ++nBlanks == 4) {
            *s = 0;
            break;
        }
    const std::string sMove = MoveToSan(pos, m) + ";";
    char szLine[256];
    snprintf(szLine, sizeof szLine, "%s bm %s id \"KPK.%d\"\n", szFen, sMove.c_str(), nNumber);
    return szLine;
}

int RunKpk() {
    InitKpk();
    int nPrinted = 0;
    for (int nFile : {0, 7})
        for (int nRank = 1; nRank <= 6; nRank++) {
            const int p = MakeSquare(nFile, nRank);
            for (int wk = 0; wk < 64; wk++)
                for (int bk = 0; bk < 64; bk++)
                    for (int stm = WHITE; stm <= BLACK; stm++) {
                        if (KpkProbe(stm, wk, bk, p) == KPK_ILLEGAL) continue;
                        Position pos;
                        SetKpkPosition(&pos, stm, wk, bk, p);
                        Move m = 0;
                        if (!IsKpkTestPosition(&pos, &m)) continue;
                        fputs(KpkEpdLine(&pos, m, ++nPrinted).c_str(), stdout);
                    }
        }
    fflush(stdout);
    return nPrinted;
}

KpkAgreement MeasureKpkAgreement(bool bRookPawnsOnly) {
    InitKpk();
    KpkAgreement a;
    memset(&a, 0, sizeof a);
    for (int p = 8; p < 56; p++) {
        if (bRookPawnsOnly && (p & 7) != 0 && (p & 7) != 7) continue;
        for (int wk = 0; wk < 64; wk++)
            for (int bk = 0; bk < 64; bk++)
                for (int stm = WHITE; stm <= BLACK; stm++) {
                    const int nExact = KpkProbe(stm, wk, bk, p);
                    if (nExact == KPK_ILLEGAL) continue;
                    Position pos;
                    SetKpkPosition(&pos, stm, wk, bk, p);
                    int anKing[2];
                    const int v = Evaluate(&pos, -32000, 32000, 0, anKing, 0);
                    const int nWhiteView = stm == WHITE ? v : -v;
                    const bool bCallsWin = nWhiteView > kKpkDrawMargin;
                    const bool bCallsDraw = nWhiteView >= -kKpkDrawMargin && !bCallsWin;
                    const bool bWin = nExact >= 0;
                    const bool bAgree = bWin ? bCallsWin : bCallsDraw;

                    MaterialEntry me;
                    ProbeMaterial(&pos, &me);
                    JudgeKPK(&pos, &me);
                    const bool bFires = me.nScale[WHITE] == 0;

                    a.nPositions++;
                    a.nAgree += bAgree;
                    a.nExactWins += bWin;
                    a.nExactDraws += !bWin;
                    a.nWinsCalled += bWin && bCallsWin;
                    a.nDrawsCalled += !bWin && bCallsDraw;
                    if (bFires) {
                        a.nJudgeFires++;
                        a.nJudgeFiresDrawn += !bWin;
                    } else {
                        a.nJudgeSilent++;
                        a.nJudgeSilentAgree += bAgree;
                    }
                }
    }
    return a;
}

void PrintKpkAgreement(const KpkAgreement& a, const char* szTitle) {
    auto Pct = [](int n, int d) { return d ? 100.0 * n / d : 0.0; };
    printf("%s: %d positions (%d won, %d drawn)\n", szTitle, a.nPositions, a.nExactWins, a.nExactDraws);
    printf("  evaluation agrees on %d (%.2f%%): wins called %d (%.2f%%), draws called %d (%.2f%%)\n",
           a.nAgree, Pct(a.nAgree, a.nPositions), a.nWinsCalled, Pct(a.nWinsCalled, a.nExactWins),
           a.nDrawsCalled, Pct(a.nDrawsCalled, a.nExactDraws));
    printf("  judge fires on %d: %d really drawn (%.2f%%)\n", a.nJudgeFires, a.nJudgeFiresDrawn,
           Pct(a.nJudgeFiresDrawn, a.nJudgeFires));
    printf("  judge silent on %d: evaluation agrees on %d (%.2f%%)\n", a.nJudgeSilent, a.nJudgeSilentAgree,
           Pct(a.nJudgeSilentAgree, a.nJudgeSilent));
}
