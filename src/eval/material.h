// Material table: everything the evaluation needs to know about the piece counts of both sides
// (balance with its adjustments, game phase, material class, scale factors and an optional
// ending recogniser), computed once per material signature and cached in a small shared table.
#pragma once

#include <array>
#include <cstdint>

#include "board/board.h"

// An ending recogniser: returns a score from white's point of view that the evaluation adds to
// the material balance. nPly is the caller's ply index; the stronger side's score is lowered by
// it so that quicker wins are preferred.
using RecognizerFn = int (*)(const Position* pos, int nPly);

// Material classes: set only when each side has at most two units (pawns or pieces other than
// the king). Letters before the second K are white's; "KKN" is a black knight against a bare
// white king. Every other material has class MAT_NONE.
enum : int {
    MAT_NONE = 0,
    MAT_KK = 1,
    MAT_KNK = 2,
    MAT_KKN = 3,
    MAT_KBK = 4,
    MAT_KKB = 5,
    MAT_KPK = 6,
    MAT_KKP = 7,
    MAT_KRK = 8,
    MAT_KKR = 9,
    MAT_KKQ = 10,  // (black queen before white queen)
    MAT_KQK = 11,
    MAT_KRKR = 12,
    MAT_KBKB = 13,
    MAT_KNKN = 14,
    MAT_KRKP = 19,
    MAT_KPKR = 20,
    MAT_KBKP = 21,
    MAT_KPKB = 22,
    MAT_KNKP = 23,
    MAT_KPKN = 24,
    MAT_KQKR = 25,
    MAT_KRKQ = 26,
    MAT_KQKQ = 27,
    MAT_KQKP = 28,
    MAT_KPKQ = 29,
    MAT_KBNK = 30,
    MAT_KKBN = 31,
    MAT_KNNK = 32,
    MAT_KKNN = 33,
    MAT_KBPK = 34,
    MAT_KNPK = 35,
    MAT_KKBP = 36,
    MAT_KKNP = 37,
    MAT_KRPKR = 38,
    MAT_KBPKB = 39,
    MAT_KRKRP = 40,
    MAT_KBKBP = 41,
    MAT_KBNKB = 42,
    MAT_KBNKN = 43,
    MAT_KBKBN = 44,
    MAT_KNKBN = 45,
};

// One material entry. The evaluation works on its own copy (ProbeMaterial fills the caller's
// record), so it may change nScale for the position at hand without touching the table.
struct MaterialEntry {
    uint32_t nCheck;             // upper 32 bits of nMaterialKey
    uint8_t nClass;              // MAT_ class
    int16_t nBalance;            // white minus black, with the adjustments, in centipawns
    uint8_t bScratch;            // cleared by every probe; unused by the evaluation
    RecognizerFn pfnRecognizer;  // null unless the ending has one
    uint8_t nKingSq[2];          // white and black king squares (filled by every probe)
    uint8_t nPawns[2];
    uint8_t nKnights[2];
    uint8_t nBishops[2];
    uint8_t nRooks[2];
    uint8_t nQueens[2];
    uint8_t nPieces[2];  // knights + bishops + rooks + queens
    uint16_t nPhase;     // 0 (bare kings) .. 256 (full material)
    uint8_t nScale[2];   // sixteenths: [0] scales a score in white's favour, [1] one in black's
};

inline constexpr int kMaterialTableSize = 2048;  // entries; a power of two
inline constexpr int kScaleFull = 16;

// The table's entry count, for the statistics report (0 = none).
extern uint64_t nMaterialTableEntries;

// Allocates the table, or empties it when it exists. On failure prints "Error initialising
// Material table\n", sets the entry count (nMaterialTableEntries) to 0 and
// returns false. Takes the table lock, so it is safe while other threads probe.
bool AllocMaterialTable();
// Allocates the table unless it exists; returns false when that fails (message printed).
bool InitMaterialTable();
// Start-up form: InitMaterialTable, and on failure ends the process with exit code 1.
void InitMaterialTableOrDie();
// True once the table exists.
bool MaterialTableReady();

// Fills *pEntry for the position: a table hit is copied, a miss is computed and stored (the
// whole probe runs under the table's spin lock). Counts nMaterialHits / nMaterialMisses in the
// calling thread's statistics record. Sets nKingSq and clears bScratch. Allocates the table on
// first use; if that fails the process ends with exit code 1. Safe from any thread.
void ProbeMaterial(const Position* pos, MaterialEntry* pEntry);

// Computes the entry from the position's bitboards and material counters (all fields but
// nCheck, nKingSq and bScratch, which are left as they were).
void ComputeMaterialEntry(const Position* pos, MaterialEntry* pEntry);

// Ending recognisers (score from white's point of view, nPly = the caller's ply index).
// King and queen, or king and rook, against a bare king: drive the lone king to the edge.
int RecognizeKXK(const Position* pos, int nPly);
// King and queen against king and rook.
int RecognizeKQKR(const Position* pos, int nPly);
// King, bishop and knight against a bare king: drive the lone king to a corner of the
// bishop's colour.
int RecognizeKBNK(const Position* pos, int nPly);

// King distance tables of the recognisers, by square (exposed for tests).
extern const std::array<int, 64> anEdgeTable;
extern const std::array<int, 64> anCornerTable;
