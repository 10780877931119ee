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

// Killer, history and root tables shared by the searches (written by the search, read here).
extern Move anKiller1[kMaxPly];
extern Move anKiller2[kMaxPly];
extern int anHistory[2][6][64];
extern MoveList RootMoves;

int GenerateCaptures(const Position* pos, Move* out);
int GeneratePawnCaptures(const Position* pos, Move* out);
int GenerateQuiets(const Position* pos, Move* out);
int GenerateEvasions(const Position* pos, Move* out);  // falls back to all moves when not in check
// The same into an array of nRoom entries: at most nRoom - 1 moves are kept (the last entry is
// scratch), so nothing is written past out[nRoom - 1]. The forms above take nRoom = kMaxMoves.
int GenerateCaptures(const Position* pos, Move* out, int nRoom);
int GeneratePawnCaptures(const Position* pos, Move* out, int nRoom);
int GenerateQuiets(const Position* pos, Move* out, int nRoom);
int GenerateEvasions(const Position* pos, Move* out, int nRoom);

// Prepares the picker: nPhase PHASE_HASH when nHashMove != 0 else PHASE_START; PHASE_ROOT at the
// root; PHASE_CAPTURES for perft.
void StartPicker(MoveList* list, Move nHashMove, int nPhase);
// Hands out the next move by value (0 when the node is exhausted) and its ordering score.
// list->nReturned counts the moves handed out (1 after the first).
Move NextMove(const Position* pos, MoveList* list, int nKillerRow, bool bInCheck, int* pnScore = nullptr);

bool IsMoveValid(const Position* pos, Move m);
void SortMoves(MoveList* list, int first);
int InCheck(const Position* pos);
// True when the move is among the generated moves of pos and does not leave the mover's king
// attacked.
bool IsGeneratedMove(const Position* pos, Move m);
// True when the mover's king is not attacked after the move (m must be pseudo-legal).
bool IsLegalMove(const Position* pos, Move m);

int StaticExchange(const Position* pos, int from, int to);
