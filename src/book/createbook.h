// Building the opening book file from a PGN collection.
#pragma once

#include "book/book.h"

inline constexpr int kBookGamePlies = 20;  // plies of each game that enter the book
inline constexpr int kBookMinElo = 2500;   // both players must be rated at least this
inline constexpr int kBookCapacity = kBookMaxPositions + 1;

// Builds a book from the games of pgnPath rated kBookMinElo or more on both sides and longer than
// kBookGamePlies plies: for every position among their first kBookGamePlies plies the distinct
// moves played there, in first-seen order, by the side to move when it did not lose the game
// (by the Result tag; a game without one counts as won by black). Writes bookPath in the layout
// of book.h, keys ascending. Prints "Parsing %s ..." with a dot before every hundredth used
// game, then the counts, "Sorting positions...", "Writing to file..." and
// "Completed book creation.".
//
// Failures print a line and write nothing (an existing bookPath is left as it was): "Cannot open
// PGN file %s", "Cannot create book file %s" (checked before parsing), "Cannot read PGN file %s"
// (a read error, such as a directory given as the PGN file), "Cannot write book file %s", and
// the limits "ERROR book.nNumPositions is over limit (%ld)" (a kBookCapacity-th position) and
// "ERROR tPositions[j].nNumMoves is over limit (%d)" (a kBookMaxMoves + 1-th move of one
// position). Returns true when the book was written.
bool CreateBook(const char* pgnPath, const char* bookPath);
