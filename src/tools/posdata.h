// Training positions on disk (docs/training-data.md): a 16-byte header, then 32-byte records
// appended one game at a time. A run that is interrupted leaves at worst a torn last record,
// which readers drop and "--append" cuts off before it writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "board/board.h"

inline constexpr char kPosDataMagic[8] = {'Q', 'M', 'P', 'O', 'S', 'D', 'A', 'T'};
inline constexpr uint32_t kPosDataVersion = 1;
inline constexpr int kPosDataHeaderBytes = 16;
inline constexpr int kPosRecordBytes = 32;

// One position with its labels. Squares count a1 = 0 .. h8 = 63.
struct PosRecord {
    uint64_t nOccupancy;   // bit s set: a piece on square s
    uint8_t anPieces[16];  // the pieces in rising square order, 4 bits each, low half first:
                           // colour * 8 + type (1 pawn .. 6 king)
    int16_t nScore;        // search score in centipawns from the side to move's view
    uint8_t nResult;       // game result from white's view: 0 black won, 1 draw, 2 white won
    uint8_t nFlags;        // bit 0 black to move; bits 1..4 castling rights K, Q, k, q
    uint8_t nEpSquare;     // en-passant target square, 64 for none
    uint8_t nFifty;        // half-move clock
    uint16_t nFullMove;
};
static_assert(sizeof(PosRecord) == kPosRecordBytes);

// Packs pos (at most 32 pieces) with its score and the result (0, 1, 2 from white's view).
PosRecord PackPosition(const Position& pos, int nScore, int nResult, int nFullMove);
// The position of a record; false for a record no legal position has (bad piece codes, more
// or fewer than one king a side, pawns on the back ranks).
bool UnpackPosition(const PosRecord& r, Position* pos);
// The record's pieces as (colour, type, square a1 = 0) triples; returns their number (<= 32).
struct PackedPiece {
    uint8_t nColour, nType, nSquare;
};
int RecordPieces(const PosRecord& r, PackedPiece* aOut);
inline int RecordSideToMove(const PosRecord& r) {
    return r.nFlags & 1;
}

// The header's bytes.
void WritePosDataHeader(uint8_t* aOut);
// Opens a data file for reading and checks its header; the record count (whole records only)
// and whether a torn record follows them go to *pnRecords and *pbTorn.
FILE* OpenPosData(const char* szPath, uint64_t* pnRecords, bool* pbTorn, std::string* pErr);
// Reads every whole record of a file (appending to *pOut); false with the reason for a file
// that cannot be opened or has no valid header.
bool LoadPosData(const char* szPath, std::vector<PosRecord>* pOut, bool* pbTorn, std::string* pErr);
// Opens a file for writing records: a new file (header written), or with bAppend an existing
// one whose torn tail is cut off first (a missing one is created). *pnRecords gets the records
// already there.
FILE* CreatePosData(const char* szPath, bool bAppend, uint64_t* pnRecords, std::string* pErr);
