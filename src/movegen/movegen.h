// Move generation, the staged move picker, static exchange and the legality helpers.
#pragma once

#include "board/board.h"

// Room for every move of any position (the most known is 218), with a safety margin;
// the generators never write past it.
inline constexpr int kMaxMoves = 256;
inline constexpr int kMaxPly = 128;

// Picker phases.
enum : int {
    PHASE_HASH = 1,
    PHASE_START = 2,
    PHASE_EVASIONS = 3,
    PHASE_CAPTURES = 4,
    PHASE_GOOD_CAPTURES = 5,
    PHASE_KILLER1 = 6,
    PHASE_KILLER2 = 7,
    PHASE_QUIETS = 8,
    PHASE_QUIETS_NEXT = 9,
    PHASE_BAD_CAPTURES = 10,
    PHASE_BAD_CAPTURES_NEXT = 11,
    PHASE_SORTED_BATCH = 12,
    PHASE_DONE = 13,
    PHASE_ROOT = 14,
};

// One node's moves and picker state. Set nHashMove and nPhase (see StartPicker) before the
// first NextMove call.
struct MoveList {
    Move aMoves[kMaxMoves];
    int aScores[kMaxMoves];
    Move aTried[kMaxMoves];  // owned by the search
    Move nHashMove;
    Move nKiller1Played;
    Move nKiller2Played;
    int nCount;
    int nGoodCaptures;
    int nBadCaptures;
    int nIndex;  // index in aMoves of the move handed out last
    int nEnd;    // one past the last index of the batch being handed out
    int nPhase;
    int nReturned;  // moves handed out so far at this node
    bool bDone;     // the node has no more moves
};

// Killer, history and root tables shared by the searches (written by the search, read here;
// defined in picker.cpp). anHistory is indexed [colour][piece type - 1][destination].
extern Move anKiller1[kMaxPly];
extern Move anKiller2[kMaxPly];
extern int anHistory[2][6][64];
extern MoveList RootMoves;

// The root moves a search may choose from: only those of aOnly when nOnly > 0 ("go
// searchmoves"), never those of aSkip (the lines MultiPV has found already this iteration).
// Written by the root driver between searches of the root, read by the picker's root phase,
// which hands out no other move.
struct RootFilter {
    Move aOnly[kMaxMoves];
    int nOnly;
    Move aSkip[kMaxMoves];
    int nSkip;
};
extern RootFilter rootFilter;
bool RootMoveAllowed(Move m);
inline bool RootFiltered() {
    return rootFilter.nOnly > 0 || rootFilter.nSkip > 0;
}

// Pseudo-legal generators for the side to move; out holds kMaxMoves entries. Moves come by origin
// square, then destination square, lowest first; promotions as queen, rook, bishop, knight.
// Captures: pawn captures (towards the a-file, then the h-file), en passant, promotion pushes,
// then knight, bishop/queen, rook/queen and king captures.
int GenerateCaptures(const Position* pos, Move* out);
// The pawn part of GenerateCaptures alone (captures, en passant, promotion pushes).
int GeneratePawnCaptures(const Position* pos, Move* out);
// Pawn pushes (each single push followed by its double push), knight, bishop/queen, rook/queen
// and king moves onto empty squares, then king-side and queen-side castling.
int GenerateQuiets(const Position* pos, Move* out);
// King steps to unattacked squares and, unless in double check, the moves that take the checker
// or block its line. Falls back to GenerateCaptures then GenerateQuiets when not in check.
int GenerateEvasions(const Position* pos, Move* out);
// The same into an array of nRoom entries: at most nRoom - 1 moves are kept (the last entry is
// scratch), so nothing is written past out[nRoom - 1]. The forms above take nRoom = kMaxMoves.
int GenerateCaptures(const Position* pos, Move* out, int nRoom);
int GeneratePawnCaptures(const Position* pos, Move* out, int nRoom);
int GenerateQuiets(const Position* pos, Move* out, int nRoom);
int GenerateEvasions(const Position* pos, Move* out, int nRoom);

// Prepares the picker: nPhase PHASE_HASH when nHashMove != 0 else PHASE_START (either value
// given is corrected by nHashMove); PHASE_ROOT at the root; PHASE_CAPTURES for perft (no hash
// move, no evasion batch).
void StartPicker(MoveList* list, Move nHashMove, int nPhase);
// Hands out the next move by value (0 when the node is exhausted; later calls return 0 too) and
// writes its ordering score: 1 for the hash move, 0 for a killer, the sorted score otherwise.
// list->nReturned counts the moves handed out (1 after the first). Order at an ordinary node:
// hash move, good captures, killer 1, killer 2, quiet moves by history, bad captures; in check
// (bInCheck, from PHASE_HASH/PHASE_START) one sorted batch of evasions. nKillerRow is the ply
// index of the killer tables. Not thread-safe: a shared list needs its owner's lock.
Move NextMove(const Position* pos, MoveList* list, int nKillerRow, bool bInCheck, int* pnScore = nullptr);

// Pseudo-legality of a move word from outside the generators (hash moves, killers): true exactly
// for the words the generators would emit in pos.
bool IsMoveValid(const Position* pos, Move m);
// Sorts the nCount entries from index first by score, highest first (moves travel with scores).
void SortMoves(MoveList* list, int first);
// Attack kind (AttackedBy) of a piece checking the side to move, 0 when not in check.
int InCheck(const Position* pos);
// True when the move is among the generated moves of pos and does not leave the mover's king
// attacked.
bool IsGeneratedMove(const Position* pos, Move m);
// True when the mover's king is not attacked after the move (m must be pseudo-legal).
bool IsLegalMove(const Position* pos, Move m);

// Expected material gain (centipawns, for the side to move) of the piece on from capturing on to
// and the recaptures that follow with the least valuable attackers (x-rays included, kings never
// recapturing, pins ignored). The piece on from must attack to.
int StaticExchange(const Position* pos, int from, int to);
