// PGN game reader for the book builder and the CSV dump, and the safe output files both write.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "board/board.h"

inline constexpr int kPgnMaxPlies = 600;  // moves stored per game; later ones are replayed only
inline constexpr int kPgnNameSize = 20;   // player names: 19 characters and the terminator
inline constexpr int kPgnEcoSize = 5;     // ECO code: 4 characters and the terminator

// Result codes from the Result tag.
enum : int { PGN_BLACK_WINS = 0, PGN_DRAW = 1, PGN_WHITE_WINS = 2, PGN_OTHER_RESULT = -1 };

// One game as the tools need it; cleared at the start of every read.
struct PgnGame {
    Move anMoves[kPgnMaxPlies];
    int32_t nNumPlies;
    int32_t nResult;  // PGN_ codes; stays 0 (a black win) when the game has no Result tag
    char szWhite[kPgnNameSize];
    char szBlack[kPgnNameSize];
    int32_t nWhiteElo;  // 0 when missing or not a number
    int32_t nBlackElo;
    char szEco[kPgnEcoSize];
};

// Reads the next game of an open PGN file: its tag section and its move text, the moves
// replayed from the initial position. Tags used: White and Black (commas become spaces, cut to
// 19 characters), WhiteElo and BlackElo, Result, ECO (cut to 4); FEN and Annotator mark a game
// whose moves are not read. Comments, variations, numeric annotations and move numbers are
// skipped; the move list ends at the result token or at the first token that is not a legal
// move here (a black move number such as "2..." is one), and the rest of that game's move
// text is then passed over, so the next call starts at the next game.
//
// The move list is empty when the move text does not begin with "1." or the game is not read.
// Returns false when the file ends before the game is complete (before or among its tags, or
// inside a move text that had no result token; the record then holds what was read). A UTF-8
// byte-order mark at the start of the file and Windows line ends are read like plain text.
bool ReadPgnGame(FILE* file, PgnGame* game);

// ---------------------------------------------------------------------------------------
// Output files of the PGN tools are written under a temporary name in the target's directory
// and renamed over the target only when complete, so a failed run never leaves half a file.
struct SafeOutput {
    FILE* pFile = nullptr;
    std::string sPath;      // the file to produce
    std::string sTempPath;  // where it is being written
};

// Creates the temporary file for path (binary mode); false when it cannot be created.
bool OpenSafeOutput(SafeOutput* out, const char* path);
// Closes the temporary file and renames it to its target; false (and the temporary file
// removed) when a write, the close or the rename failed.
bool CommitSafeOutput(SafeOutput* out);
// Closes and removes the temporary file; the target is left as it was.
void AbandonSafeOutput(SafeOutput* out);
