// King and pawn against king: an exact retrograde solution (win or draw, with the distance to a
// won conversion in plies), the "kpk" test-position generator built on it, and a measure of how
// often the evaluation's pawn-ending judgement agrees with the exact result.
//
// The table holds every placement of the white king, the black king and a white pawn (any file,
// ranks 2 to 7) with either side to move. A black pawn reads the same table upside down.
//
// Results and distances:
// - White wins when he can force the pawn to promote into a won ending: a queen or rook that the
//   black king cannot take, with black not stalemated (a mate counts too). The distance counts
//   the plies up to and including that promotion, so a winning promotion on the move is 1. A
//   bishop or knight never wins, and promoting into a stalemate is a draw, so a rook may be the
//   only winning promotion.
// - Everything else is a draw: the pawn is taken, either side is stalemated, or the defender
//   keeps the pawn from promoting safely for ever.
// - Illegal: two men on one square, touching kings, the side not to move in check, and black to
//   move in check from a pawn on its second rank (a pawn cannot come there).
//
// The generator ("kpk") prints positions with a white rook pawn (a- or h-file), either side to
// move, in which exactly one legal move keeps the best result the side to move can reach: the
// only winning move of the attacker, or the only drawing move of the defender. (A drawn
// attacker and a lost defender keep their result with every move.) Skipped as trivial: positions
// with a single legal move, and the defender to move with the pawn en prise (taking it draws).
// The positions come in a fixed order (pawn square, white king, black king, white to move
// first), as "<EPD> bm <SAN>; id "KPK.<n>"" with the position in its four EPD fields (placement,
// side, castling, en passant) so that the output does not depend on the game's move counters.
#pragma once

#include <cstdint>
#include <string>

#include "board/board.h"

enum : int {
    KPK_ILLEGAL = -2,  // not a legal KPK position (or not KPK material at all)
    KPK_DRAW = -1,
    // A result of 0 or more is a win for the pawn's side in that many plies (0 only for a
    // defender already mated, which king and pawn cannot bring about).
};

// Solves the table once (later calls return at once; safe from any thread).
void InitKpk();
// Milliseconds the solution took (0 before InitKpk).
int64_t KpkSolveMs();

// Result with a white pawn; squares in the board's numbering, nSideToMove WHITE or BLACK.
// Squares outside 0..63 or a pawn on the first or eighth rank give KPK_ILLEGAL.
int KpkProbe(int nSideToMove, int nWhiteKing, int nBlackKing, int nPawn);
// Result of a position with king and pawn against king, for the pawn's side, whichever colour
// owns the pawn. Other material gives KPK_ILLEGAL.
int KpkProbePosition(const Position* pos);
// Result, for the side that had the pawn, of the position reached by any legal move out of a
// KPK position: a KPK position, or the pawn taken (a draw), or a promotion (a queen or rook
// that is safe, with the defender not stalemated, wins in 0 more plies). KPK_ILLEGAL for
// anything else.
int KpkOutcome(const Position* pos);

// Sets up a KPK position with a white pawn (no castling, no en passant, counters zero).
void SetKpkPosition(Position* pos, int nSideToMove, int nWhiteKing, int nBlackKing, int nPawn);

// The legal moves of a KPK position judged by the table: the best result the side to move can
// reach and how many moves keep it.
struct KpkMoveCount {
    int nLegal;      // legal moves
    int nKeeping;    // moves that keep the best result
    bool bWin;       // the best result is a win for the pawn's side
    Move nOnlyMove;  // the keeping move when there is exactly one, else 0
};
KpkMoveCount CountKpkBestMoves(const Position* pos);

// The generator's selection rule for one position (see above). On true, *pnMove is the move.
bool IsKpkTestPosition(const Position* pos, Move* pnMove);
// The output line of a selected position with its running number, newline included.
std::string KpkEpdLine(const Position* pos, Move m, int nNumber);

// The "kpk" command: prints every selected rook-pawn position as an EPD line on standard
// output; returns how many it printed.
int RunKpk();

// Agreement of the static evaluation with the exact result over all legal positions with a
// white pawn (rook pawns only, or every file). The evaluation runs with the full window at ply 0
// and is read from white's point of view: it "calls a draw" when the score lies within
// kKpkDrawMargin of 0 and "calls a win" above it. It agrees when it calls a draw on an exact
// draw or a win on an exact win. The judge "fires" when JudgeKPK sets white's scale to 0.
inline constexpr int kKpkDrawMargin = 50;
struct KpkAgreement {
    int nPositions;
    int nAgree;
    int nExactDraws;
    int nExactWins;
    int nDrawsCalled;       // exact draws the evaluation called a draw
    int nWinsCalled;        // exact wins the evaluation called a win
    int nJudgeFires;        // positions whose judge set white's scale to 0
    int nJudgeFiresDrawn;   // ... of which the exact result is a draw
    int nJudgeSilent;       // positions left at scale 16
    int nJudgeSilentAgree;  // ... on which the evaluation agrees with the exact result
};
KpkAgreement MeasureKpkAgreement(bool bRookPawnsOnly);
// Prints the figures of MeasureKpkAgreement as a few lines of text.
void PrintKpkAgreement(const KpkAgreement& a, const char* szTitle);
