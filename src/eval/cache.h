// The evaluation's own tables: the pawn hash (24-byte entries, by pawn signature) and the
// evaluation cache (16-byte entries, by position key), shared by every search thread without a
// lock. Each word of a slot is a relaxed atomic; a probe copies a slot into a local record
// before any field is read, so a torn slot is at worst a miss, never undefined behaviour.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

//
// PawnEntry and EvalHashEntry are the plain records the evaluation works with (and the raw
// layout of the dump file). The tables hold the same bytes as relaxed atomic 64-bit words; a
// probe copies a slot into a local record, a store writes a record's words back.

struct PawnEntry {
    uint64_t nKey;  // nPawnKey of the position, 0 = empty
    int16_t nScore;
    uint8_t nCount[2];
    uint8_t nPassed[2];  // file masks: bit i = files with square & 7 == i (bit 0 the h-file)
    uint8_t nIsolated[2];
    uint8_t nDoubled[2];
    uint8_t nFiles[2];
    uint8_t anUnused[4];
};
static_assert(sizeof(PawnEntry) == 24, "pawn entry is 24 bytes");
static_assert(offsetof(PawnEntry, nScore) == 8 && offsetof(PawnEntry, nCount) == 10 &&
              offsetof(PawnEntry, nPassed) == 12 && offsetof(PawnEntry, nIsolated) == 14 &&
              offsetof(PawnEntry, nDoubled) == 16 && offsetof(PawnEntry, nFiles) == 18);
using PawnHashEntry = PawnEntry;

struct EvalHashEntry {
    uint64_t nKey;   // nHashKey of the position, 0 = empty
    int16_t nScore;  // final score from the side to move's point of view
    uint8_t anUnused[6];
};
static_assert(sizeof(EvalHashEntry) == 16, "eval hash entry is 16 bytes");
static_assert(offsetof(EvalHashEntry, nScore) == 8);

struct PawnHashSlot {
    std::atomic<uint64_t> anWord[3];
};
struct EvalHashSlot {
    std::atomic<uint64_t> anWord[2];
};
static_assert(sizeof(PawnHashSlot) == sizeof(PawnEntry) && sizeof(EvalHashSlot) == sizeof(EvalHashEntry));

extern PawnHashSlot* aPawnHash;    // null when not allocated
extern uint64_t nPawnHashEntries;  // a power of two; 0 = disabled
extern EvalHashSlot* aEvalHash;
extern uint64_t nEvalHashEntries;

// Slot index of a key: the low 32 bits masked by count - 1 (the table must have entries).
inline uint64_t PawnHashIndex(uint64_t nKey) {
    return uint32_t(nKey) & (nPawnHashEntries - 1);
}
inline uint64_t EvalHashIndex(uint64_t nKey) {
    return uint32_t(nKey) & (nEvalHashEntries - 1);
}

// Copies the slot for nKey into *out (whatever it holds) and returns true when it belongs to
// nKey. A zero key never hits. The table must have entries.
bool LoadPawnEntry(uint64_t nKey, PawnEntry* out);
// Writes the record into the slot of e.nKey (always replacing).
void StorePawnEntry(const PawnEntry& e);
bool LoadEvalEntry(uint64_t nKey, EvalHashEntry* out);
// Writes key and score into the slot of nKey; returns true when the slot held another position.
bool StoreEvalEntry(uint64_t nKey, int nScore);

// ---------------------------------------------------------------------------------------
// Sizing and allocation. Each allocator frees its old table first and zero-fills the new
// one. bPrint asks for the console messages; pass ShowHashMessages() for the usual rule. A size
// of 0 or below disables the table; a size that cannot be allocated prints the
// insufficient-memory message and leaves the table disabled (null, count 0), to be retried at
// the next search. Allocate, free and clear only while no search runs.
bool AllocPawnHash(bool bPrint);
bool AllocEvalHash(bool bPrint);
void FreePawnHash();
void FreeEvalHash();
void ClearPawnHash();
void ClearEvalHash();

// Raw image for the dump file: the pawn entries (24 bytes each), then the eval entries (16
// bytes), native little-endian, word by word. False on a short read or write.
bool WriteEvalCaches(FILE* f);
bool ReadEvalCaches(FILE* f);

// Entry counts for a size setting, computed in 64 bits; 0 for a setting of 0 or below.
uint64_t PawnHashEntriesFor(int64_t nKB);  // FloorPowerOfTwo(KB * 1024 / 24)
uint64_t EvalHashEntriesFor(int64_t nMB);  // FloorPowerOfTwo(MB * 1048576 / 16)
// 0 for 0, else the largest power of two not above n.
uint64_t FloorPowerOfTwo(uint64_t n);
