// Opening book: the book file layout, loading its index at a new game and probing it at the root.
// Polyglot books (book/polyglot.h) are loaded and probed through the same functions.
//
// File layout (all integers little-endian, no padding anywhere):
//   0       23 bytes   the text "QuietMarmoset Book File", no terminator (not compared on load)
//   23      1 byte     format version, 2
//   24      4 bytes    N, number of positions
//   28      12 * N     index: { 64-bit nHashKey, 32-bit absolute offset of its move record },
//                      sorted by key ascending (unsigned), keys unique
//   28+12N  ...        N move records in index order: { 8-bit count n (1..29), n 32-bit Move words }
// The first record starts at 28 + 12N and record i+1 starts 1 + 4 * n(i) bytes after record i.
// Keys are the full position key (side, castling, en passant and half-move clock included).
// There are no weights: every stored move of a position is equally likely to be chosen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "board/board.h"

inline constexpr const char* kBookFileName = "QuietMarmoset.book";
inline constexpr char kBookMagic[] = "QuietMarmoset Book File";
inline constexpr int kBookMagicSize = 23;
inline constexpr uint8_t kBookVersion = 2;
inline constexpr int kBookHeaderSize = 28;        // magic, version byte, 32-bit count
inline constexpr int kBookIndexRecordSize = 12;   // 64-bit key, 32-bit offset
inline constexpr int kBookMaxMoves = 29;          // most moves one record may hold
inline constexpr int kBookMaxPositions = 299999;  // most positions the builder writes
inline constexpr int kBookMaxPly = 40;            // the root consults the book only before this game ply

static_assert(sizeof(kBookMagic) - 1 == kBookMagicSize);
static_assert(kBookMagicSize + sizeof(uint8_t) + sizeof(uint32_t) == kBookHeaderSize);
static_assert(sizeof(uint64_t) + sizeof(uint32_t) == kBookIndexRecordSize);
static_assert(sizeof(Move) == 4, "move words are stored as 32-bit fields");
static_assert(kBookMaxMoves <= 255, "the move count is one byte");

// Little-endian field access shared by the reader and the book builder, so that the file is
// the same on every host.
inline void StoreLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}
inline void StoreLe64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; i++) p[i] = uint8_t(v >> (8 * i));
}
inline uint32_t LoadLe32(const uint8_t* p) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; i--) v = (v << 8) | p[i];
    return v;
}
inline uint64_t LoadLe64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--) v = (v << 8) | p[i];
    return v;
}

// One resident index entry; move records stay on disk and are read at each probe.
struct BookEntry {
    uint64_t nKey;
    uint32_t nOffset;
};

// The index of the last successful load (empty when none).
extern int nBookPositions;
extern std::vector<BookEntry> aBookIndex;

// The book's file name (the option BookFile; kBookFileName until set, and again when set empty).
void SetBookFileName(const std::string& name);
const std::string& BookFileName();
// The book to load: BookFileName() as it stands (in the working directory unless it is a full
// path), else the same relative name in sExeDir (the program's folder), else the plain name
// (which then is not found).
std::string FindBookFile(const std::string& sExeDir);
// Loads the index of the book FindBookFile names for this program; called by NewGame.
// Does nothing and returns false while bOwnBook is false. On success prints
// "Successfully loaded opening book file (%s)\n" and returns true. A missing file prints
// "Cannot find opening book file to load (%s)\n"; a wrong version byte, a short file, a count
// that does not fit the file, an offset outside the move records or an unsorted index prints
// "Invalid opening book file found (%s)\n". Every failure drops the index, sets bOwnBook false
// and returns false.
bool LoadBook();
// The same for any path; later probes read that file. A Polyglot book (book/polyglot.h: a name
// ending in ".bin", or a file that is neither headed like ours nor has a count that fits it, and
// is made of whole 16-byte entries) is read whole instead; one larger than 512 MB is refused
// with "Opening book file too large (...)", one that is not whole sorted entries with the
// message of a damaged book of ours.
bool LoadBookFile(const char* path);

// The book move for pos, or 0 when the book is off or does not know the position. The choice is
// entry BookRandom(nSeed) mod n of the record, so a given seed, book and position always give the
// same move. Entries that are not legal in pos are skipped (the next entry is tried, wrapping
// round); a record without a legal move gives 0 and leaves the book on.
// A file that has vanished prints "WARNING Cannot find book file %s\n", a failed seek
// "WARNING Error reading book at %ld\n", and a count byte of 0 or above 29 or a short read
// "Invalid opening book file found (%s)\n"; each of these sets bOwnBook false and gives 0.
// The caller checks bOwnBook and game ply < kBookMaxPly itself; worker 0 only.
// A Polyglot book is probed with its own key and chooses among the legal moves it holds in
// proportion to their weights, by the next draw of the book's generator (ResetBookDraws).
Move ProbeBook(const Position* pos);
// Starts the Polyglot draws again from the seed (the "seed" command).
void ResetBookDraws();

// First value of the book's generator (splitmix64) seeded with the 32-bit pattern of seed:
// portable and reproducible on every platform.
uint64_t BookRandom(int seed);

// Drops the resident index.
void FreeBook();
