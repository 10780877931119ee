// Polyglot opening books, the .bin format most GUIs and book tools share: the format's own
// position key, its move encoding, and a book read whole into memory.
//
// File layout: 16-byte entries sorted by key (ascending, unsigned), all fields big-endian:
//   0   8 bytes   position key (PolyglotKey)
//   8   2 bytes   move: to file 0-2, to rank 3-5, from file 6-8, from rank 9-11, promotion
//                 12-14 (0 none, 1 knight, 2 bishop, 3 rook, 4 queen); castling is written as
//                 the king taking its own rook (e1h1, e1a1, e8h8, e8a8)
//   10  2 bytes   weight (moves are chosen in proportion to it)
//   12  4 bytes   learn (not used here)
#pragma once

#include <cstdint>
#include <vector>

#include "board/board.h"

inline constexpr int kPolyglotRandomCount = 781;
inline constexpr int kPolyglotEntrySize = 16;
extern const uint64_t kPolyglotRandom[kPolyglotRandomCount];

struct PolyglotEntry {
    uint64_t nKey;
    uint16_t nMove;
    uint16_t nWeight;
    uint32_t nLearn;
};

// The Polyglot key of pos: pieces, castling rights, the en passant file only when a pawn of the
// side to move stands beside the pawn that has just advanced two squares, and white to move.
uint64_t PolyglotKey(const Position& pos);

// Our move for a Polyglot move code in pos (king-takes-rook castling translated), 0 when no
// legal move of pos matches.
Move PolyglotMove(const Position* pos, uint16_t nCode);

// The entries of a whole file's bytes; false when the size is not a positive multiple of 16 or
// the keys are not in ascending order (a probe's binary search would miss entries).
bool ParsePolyglotBook(const std::vector<uint8_t>& bytes, std::vector<PolyglotEntry>* out);

// A move for pos from the book: among the entries of its key whose moves are legal, the one
// where nRandom modulo the sum of their weights falls (every such move alike when all weights
// are 0). 0 when the book has no legal move for pos.
Move ChoosePolyglotMove(const std::vector<PolyglotEntry>& book, const Position* pos, uint64_t nRandom);
