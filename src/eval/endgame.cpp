// Ending recognisers of the material table and the judges of the smallest pawn endings.
#include "eval/endgame.h"

#include <array>
#include <cstdlib>

namespace {

constexpr Bitboard kLightSquares = 0xAA55AA55AA55AA55ULL;  // h1 is light

// The tables below are written as diagrams (rank 8 first, files a to h); diagram index i is
// square 63 - i.
constexpr std::array<int, 64> FromDiagram(const std::array<int, 64>& diagram) {
    std::array<int, 64> t{};
    for (int sq = 0; sq < 64; sq++) t[sq] = diagram[63 - sq];
    return t;
}

}  // namespace

extern const std::array<int, 64> anEdgeTable = FromDiagram({
    90, 80, 70, 60, 60, 70, 80, 90,  //
    80, 60, 50, 40, 40, 50, 60, 80,  //
    70, 50, 30, 20, 20, 30, 50, 70,  //
    60, 40, 20, 10, 10, 20, 40, 60,  //
    60, 40, 20, 10, 10, 20, 40, 60,  //
    70, 50, 30, 20, 20, 30, 50, 70,  //
    80, 60, 50, 40, 40, 50, 60, 80,  //
    90, 80, 70, 60, 60, 70, 80, 90,
});

// Positive towards a8 and h1, the light corners.
extern const std::array<int, 64> anCornerTable = FromDiagram({
    60,  50,  30,  5,  -5, -30, -50, -60,  //
    50,  40,  30,  5,  -5, -30, -40, -50,  //
    30,  30,  10,  5,  -5, -10, -30, -30,  //
    5,   5,   5,   0,  0,  -5,  -5,  -5,   //
    -5,  -5,  -5,  0,  0,  5,   5,   5,    //
    -30, -30, -10, -5, 5,  10,  30,  30,   //
    -50, -40, -30, -5, 5,  30,  40,  50,   //
    -60, -50, -30, -5, 5,  30,  50,  60,
});

int RecognizeKXK(const Position* pos, int nPly) {
    const int wk = KingSquare(*pos, WHITE), bk = KingSquare(*pos, BLACK);
    if (pos->bbPieces[WHITE][BB_RQ]) return (7 - Distance(wk, bk)) * 16 + anEdgeTable[bk] - nPly;
    return (Distance(wk, bk) - 7) * 16 - anEdgeTable[wk] + nPly;
}

int RecognizeKQKR(const Position* pos, int nPly) {
    const int wk = KingSquare(*pos, WHITE), bk = KingSquare(*pos, BLACK);
    if (pos->bbPieces[WHITE][BB_QUEEN]) {
        const int rook = LowestSquare(pos->bbPieces[BLACK][BB_ROOK]);
        return (7 - Distance(wk, bk)) * 16 + anEdgeTable[bk] + 4 * Distance(bk, rook) - nPly;
    }
    const int rook = LowestSquare(pos->bbPieces[WHITE][BB_ROOK]);
    return (Distance(wk, bk) - 7) * 16 - anEdgeTable[wk] - 4 * Distance(wk, rook) + nPly;
}

int RecognizeKBNK(const Position* pos, int nPly) {
    if (pos->bbPieces[WHITE][BB_BISHOP]) {
        int v = anCornerTable[KingSquare(*pos, BLACK)];
        if (!(pos->bbPieces[WHITE][BB_BISHOP] & kLightSquares)) v = -v;
        return (v - nPly) / 2;
    }
    int v = anCornerTable[KingSquare(*pos, WHITE)];
    if (pos->bbPieces[BLACK][BB_BISHOP] & kLightSquares) v = -v;
    return (v + nPly) / 2;
}

namespace {

// The judges' common frame: the strong side (the pawn's owner) plays up the board as white.
struct PawnFrame {
    int nStrong;  // colour owning the pawn
    int P, pc, pr, Q;
    int S, Sc, Sr;
    int W, Wc, Wr;
    int stm;  // 0 when the strong side is to move
};

PawnFrame MakeFrame(const Position* pos, const MaterialEntry& e, int strong) {
    PawnFrame f;
    const int flip = strong == WHITE ? 0 : 56;  // rank r becomes 7 - r, the file stays
    f.nStrong = strong;
    f.P = LowestSquare(pos->bbPieces[strong][BB_PAWN]) ^ flip;
    f.pc = f.P & 7;
    f.pr = f.P >> 3;
    f.Q = f.pc + 56;
    f.S = e.nKingSq[strong] ^ flip;
    f.Sc = f.S & 7;
    f.Sr = f.S >> 3;
    f.W = e.nKingSq[strong ^ 1] ^ flip;
    f.Wc = f.W & 7;
    f.Wr = f.W >> 3;
    f.stm = pos->bSideToMove == strong ? 0 : 1;
    return f;
}

// The defender wins the race to a square when he needs no more moves than the attacker, counting
// who moves first.
bool DefenderInTime(int stm, int dDefender, int dAttacker) {
    return stm == 0 ? dDefender <= dAttacker - 1 : dDefender - 1 <= dAttacker;
}

int JudgeKPKFrame(const PawnFrame& f) {
    const int P = f.P, S = f.S, W = f.W, pr = f.pr, pc = f.pc, stm = f.stm;
    int r = 16;

    // Square rule: a pawn the defending king cannot catch.
    const int n = (7 - pr == 6) ? 5 : 7 - pr;
    const int dWQ = Distance(W, f.Q) - (stm == 1 ? 1 : 0);
    const bool bUnstoppable = n < dWQ;

    if (!bUnstoppable) {
        // Defending king in front of the pawn (square numbers compared arithmetically).
        if (W == P + 8) {
            if (pr <= 5) {
                r = 0;
            } else {
                const bool bBehind = S == P - 7 || S == P - 9;
                if (stm == 0 ? bBehind : !bBehind) r = 0;
            }
        } else if (W == P + 16) {
            if (pr <= 4) {
                r = 0;
            } else if (!(stm == 0 && (S == P - 1 || S == P + 1))) {
                r = 0;
            }
        } else if (S == P - 1 || S == P + 1 || ((S == P + 7 || S == P + 8 || S == P + 9) && pr <= 3)) {
            if (W == S + 16 && stm == 0) r = 0;
        }
    }

    if (pc != 0 && pc != 7) return r;

    // Rook pawn.
    const int dS = Distance(S, f.Q), dW = Distance(W, f.Q);
    if (bUnstoppable && !(f.Sc == pc && f.Sr > pr)) return r;
    if (dW <= 1) return 0;
    if (f.Sc == pc) {
        const int m = pr == 1 ? 2 : pr;
        if (f.Sr > m) {
            if (std::abs(f.Wc - pc) == 2 && (f.Wr > m || f.Wr >= 5)) r = 0;
        } else if (DefenderInTime(stm, dW, dS)) {
            r = 0;
        }
        return r;
    }
    if (f.Wr <= f.Sr) {
        if (f.Wr == f.Sr) {
            if (std::abs(f.Wc - pc) <= std::abs(f.Sc - pc)) r = 0;
        } else if (f.Wr >= pr) {
            if (DefenderInTime(stm, Distance(W, P), Distance(S, P))) r = 0;
        }
        return r;
    }
    if (f.Sc == f.Wc) return 0;
    const int a = std::abs(f.Wc - pc), b = std::abs(f.Sc - pc);
    if (b == a - 1) {
        if (stm == 1 || 7 - f.Sr > b) r = 0;
    } else if (b > a) {
        r = 0;
    } else if (b < a - 1) {
        if (DefenderInTime(stm, dW, dS)) r = 0;
    }
    return r;
}

int StrongSideOf(const MaterialEntry& e) {
    return e.nPawns[WHITE] ? WHITE : BLACK;
}

}  // namespace

void JudgeKPK(const Position* pos, MaterialEntry* pEntry) {
    const int strong = StrongSideOf(*pEntry);
    if (!pos->bbPieces[strong][BB_PAWN]) return;  // not the ending the class promised
    const PawnFrame f = MakeFrame(pos, *pEntry, strong);
    pEntry->nScale[strong] = uint8_t(JudgeKPKFrame(f));
    pEntry->nScale[strong ^ 1] = 0;
}

void JudgeKBPK(const Position* pos, MaterialEntry* pEntry) {
    const int strong = StrongSideOf(*pEntry);
    if (!pos->bbPieces[strong][BB_PAWN] || !pos->bbPieces[strong][BB_BISHOP]) return;
    const PawnFrame f = MakeFrame(pos, *pEntry, strong);
    const int bishop = LowestSquare(pos->bbPieces[strong][BB_BISHOP]) ^ (strong == WHITE ? 0 : 56);
    const bool bRookPawn = f.pc == 0 || f.pc == 7;
    const bool bWrongBishop = SquareColour(bishop) != SquareColour(f.Q);
    pEntry->nScale[strong] = (bRookPawn && Distance(f.W, f.Q) <= 1 && bWrongBishop) ? 0 : 16;
    pEntry->nScale[strong ^ 1] = 0;
}
