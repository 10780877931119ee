// Dumping a PGN collection to CSV tables of games and of positions with their pawn features.
#pragma once

#include <string>

#include "board/board.h"

inline constexpr const char* kGamesCsvName = "games.csv";
inline constexpr const char* kMovesCsvName = "moves.csv";

// Writes games.csv (one line per game: number, players, ratings, result code, ECO) and moves.csv
// (one line per ply: game number, ply index, the move in SAN, the FEN after it with the game's
// own move number, both sides' pawn to queen counts and the pawn-file fields of PawnFileFields)
// into the working directory, for the games longer than 20 plies with both ratings present. The
// dump ends at the first game without moves (the end of the file, or a game whose moves are not
// read). Prints "Parsing ..." with a dot before every hundredth game dumped and "\nDone\n"; a
// missing input prints "PGN file not found", a read error "Cannot read PGN file %s", and an
// output that cannot be written "Cannot create file %s" or "Cannot write file %s"; then neither
// CSV file is changed. True when both files were written.
bool DumpPgn(const char* pgnPath);
// The same into games.csv and moves.csv of the directory dir (tests).
bool DumpPgnTo(const char* pgnPath, const char* dir);

// The six pawn-file fields of a position, in this order: white doubled, black doubled, white
// isolated, black isolated, semi-open (a pawn of one side only) and open files, each written
// as its file letters in the order H to A (empty for none).
void PawnFileFields(const Position* pos, std::string asFields[6]);
