// Rule judges for the smallest pawn endings. They return nothing: they write the scale factors
// of the caller's material entry (16 = the side may win, 0 = it cannot), and the side with the
// bare king always gets 0. The recognisers declared in material.h live beside them.
#pragma once

#include "board/board.h"
#include "eval/material.h"

// King and one pawn against a bare king (classes MAT_KPK and MAT_KKP). Uses the pawn board, the
// side to move and pEntry->nKingSq (filled by ProbeMaterial).
void JudgeKPK(const Position* pos, MaterialEntry* pEntry);
// King, bishop and pawn against a bare king (classes MAT_KBPK and MAT_KKBP): 0 for a rook pawn
// whose promotion square the defending king holds and the bishop cannot cover, else 16.
void JudgeKBPK(const Position* pos, MaterialEntry* pEntry);

// Square colour as the judges and the drawish-ending rules use it: (sq ^ (sq >> 3)) & 1.
inline int SquareColour(int sq) {
    return (sq ^ (sq >> 3)) & 1;
}
