// EPD test files: reading one record (position, expected moves, identifier).
#pragma once

#include "board/board.h"

// Size of the expected-moves and identifier buffers (text plus terminator); longer texts are
// truncated to fit.
inline constexpr int kEpdTextSize = 100;

// Outcome of ReadEpdRecord beyond its bool result.
enum : int {
    EPD_END = 0,      // the file (or the record) ended first; also when the file cannot be opened
    EPD_OK = 1,       // the record was read and its position set up
    EPD_BAD_FEN = 2,  // the record was read but its position string is not a valid FEN
};

// Reads record nIndex (zero-based) of the EPD file at path: the position string (every token
// before the first "bm" or "am" word) is set up in *pos with the FEN reader; szMoves receives
// the expected moves (the tokens after the operation word up to the first one ending in ";",
// joined by single blanks, without that ";") and szId the token after "id" with its first and
// last character removed (empty when no "id" follows the move list on the same line). Both
// buffers hold kEpdTextSize characters. Returns false when the file ends before the record is
// complete. pnStatus, when given, receives one of the EPD_ values; on EPD_BAD_FEN the position
// is left untouched.
bool ReadEpdRecord(const char* path, Position* pos, char* szMoves, int nIndex, char* szId,
                   int* pnStatus = nullptr);
