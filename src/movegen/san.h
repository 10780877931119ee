// Reading moves written in standard algebraic notation (PGN game scores, EPD "bm" fields).
#pragma once

#include "board/board.h"

// Longest move text accepted once its move number and annotation marks are removed ("exd8=Q"
// is 6); anything longer is not a move.
inline constexpr int kSanMaxLength = 12;

// Reads one SAN move in pos: a move-number prefix up to the first '.' ("12.Nf3"), the marks
// '?', '!' and '#' anywhere and trailing '+' signs are ignored. Accepted forms: castling "O-O"
// and "O-O-O" (letter O), pawn pushes "e4" and captures "exd5" (en passant when the target is
// empty), promotions only with '=' and a capital Q, R, B or N ("e8=Q", "exd8=N"), and piece
// moves "Nf3", "Nxf3" with an optional file, rank or full-square origin ("Nbd7", "N1f3",
// "Qh4e1"). Without an origin and with several pieces able to reach the square, the first
// one in square order whose move is legal is taken; with one, the lowest matching legal one.
//
// True only when the text names a legal move of pos; *pMove then holds the move generator's
// word for it. Results ("1-0", "*"), "0-0", "--", malformed or overlong texts, pieces that
// cannot reach the square, an origin that matches no piece and illegal moves give false, and
// *pMove is left alone.
bool ParseSan(const Position* pos, const char* text, Move* pMove);
