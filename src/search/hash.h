// Transposition table, and the sizing and allocation of the three shared hash tables
// (transposition table, pawn hash, evaluation cache).
//
// Every table is shared by all search threads without a lock. Each word of a slot is a relaxed
// atomic, so a reader may see a slot whose words come from two different stores (a torn
// entry) but never undefined behaviour: the transposition table's hash move is checked with
// IsMoveValid before use, and pawn and eval entries are copied into a local record by
// LoadPawnEntry / LoadEvalEntry before any field is read.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "board/board.h"

// ---------------------------------------------------------------------------------------
// Scores and bounds.
inline constexpr int SCORE_INF = 32000;   // window limit; -SCORE_INF is "no score yet"
inline constexpr int MATE = 30000;        // a side mated at ply index p scores p - MATE
inline constexpr int MATE_BOUND = 29872;  // scores beyond +-MATE_BOUND are mate scores

enum : int { BOUND_NONE = 0, BOUND_EXACT = 1, BOUND_UPPER = 2, BOUND_LOWER = 3 };

// ---------------------------------------------------------------------------------------
// Transposition table.
//
// Packed slot data (bit 0 = least significant):
//   0-7 depth in whole plies, 8-10 age (nGamePly & 7), 11-12 bound, 13-28 score + 32000,
//   29-51 low 23 bits of the best move (0 = none), 52 threat, 53 single reply, 54-63 zero.
inline constexpr int HASH_AGE_SHIFT = 8;
inline constexpr int HASH_BOUND_SHIFT = 11;
inline constexpr int HASH_SCORE_SHIFT = 13;
inline constexpr int HASH_MOVE_SHIFT = 29;
inline constexpr int HASH_THREAT_SHIFT = 52;
inline constexpr int HASH_SINGLE_SHIFT = 53;
inline constexpr Move HASH_MOVE_MASK = 0x7FFFFF;  // a move word never uses more than 23 bits

inline constexpr int HashDepth(uint64_t d) {
    return int(d & 0xFF);
}
inline constexpr int HashAge(uint64_t d) {
    return int((d >> HASH_AGE_SHIFT) & 7);
}
inline constexpr int HashBound(uint64_t d) {
    return int((d >> HASH_BOUND_SHIFT) & 3);
}
inline constexpr int HashScore(uint64_t d) {
    return int((d >> HASH_SCORE_SHIFT) & 0xFFFF) - SCORE_INF;
}
inline constexpr Move HashMove(uint64_t d) {
    return Move((d >> HASH_MOVE_SHIFT) & HASH_MOVE_MASK);
}
inline constexpr bool HashThreat(uint64_t d) {
    return (d >> HASH_THREAT_SHIFT) & 1;
}
inline constexpr bool HashSingleReply(uint64_t d) {
    return (d >> HASH_SINGLE_SHIFT) & 1;
}
// Packs a slot data word. Depth is clamped to 0..255 and the score to +-SCORE_INF.
uint64_t PackHashData(int nDepth, int nAge, int nBound, int nScore, Move m, bool bThreat, bool bSingleReply);

// Four slots: the check words first (high 32 bits of the owner's nHashKey, 0 = empty), then
// the data words. Slots fill in order, so an empty slot 0 means an empty bucket.
struct HashBucket {
    std::atomic<uint32_t> anCheck[4];
    std::atomic<uint64_t> anData[4];
};
static_assert(sizeof(HashBucket) == 48, "a bucket is 48 bytes");
static_assert(std::atomic<uint64_t>::is_always_lock_free && std::atomic<uint32_t>::is_always_lock_free);

extern HashBucket* pTransTable;  // null when not allocated
extern uint64_t nTransBuckets;   // 0 = disabled: probes and stores are skipped

// Bucket of a key: the whole key modulo the bucket count (not a power of two).
inline HashBucket& HashBucketOf(uint64_t nKey) {
    return pTransTable[nKey % nTransBuckets];
}
inline uint32_t HashCheckOf(uint64_t nKey) {
    return uint32_t(nKey >> 32);
}

// Stores of the current game move that went into an empty slot or one written under another
// age (the basis of "hashfull"). Counted per thread; HashFills() sums them.
uint64_t HashFills();
void ResetHashFills();
// nHashFills * 1000 / (4 * nTransBuckets); 0 when the table is disabled.
double HashFull();

// What a probe hands back to the search (it copies this into its principal variation).
struct HashProbe {
    Move nMove;   // hash move (pseudo-legal in the probed position), 0 = none
    int nLength;  // 1 when nMove is set, else 0
    int nDepth;   // stored depth in plies
    int nScore;   // on a cut: the score adjusted to the ply; otherwise the raw stored score
    bool bHashMoveFound;
    bool bAvoidNull;    // a null-move search here would be expected to fail low
    bool bThreat;       // the stored node found a mate threat against the side to move
    bool bSingleReply;  // the stored node had exactly one legal move
};

// Bucket scan of the main and quiescence searches. Clears *out, then returns true on a cut
// (score in out->nScore). nDepthPlies is the required depth in whole plies.
bool ProbeHash(const Position* pos, int nDepthPlies, int nAlpha, int nBeta, int nPlyIndex, HashProbe* out);
// The decision for one matching slot (same outputs as ProbeHash; *out is not cleared).
bool ProbeHashSlot(const Position* pos, uint64_t nData, int nDepthPlies, int nAlpha, int nBeta, int nPlyIndex,
                   HashProbe* out);
// Stores a result whose mate scores are already node-relative (alpha and beta shifted alike).
// Returns false when the table is disabled or the old entry was kept.
bool StoreHash(const Position* pos, int nDepthPlies, int nScore, int nAlpha, int nBeta, Move m, bool bThreat,
               bool bSingleReply);
// Converts a root-relative mate score (and alpha, beta) to node-relative form, then stores.
bool StoreHashAtPly(const Position* pos, int nDepthPlies, int nPlyIndex, int nScore, int nAlpha, int nBeta,
                    Move m, bool bThreat, bool bSingleReply);
// Score conversions between root-relative (search) and node-relative (table) mate scores.
inline int ScoreToHash(int nScore, int nPlyIndex) {
    return nScore > MATE_BOUND ? nScore + nPlyIndex : nScore < -MATE_BOUND ? nScore - nPlyIndex : nScore;
}
inline int ScoreFromHash(int nScore, int nPlyIndex) {
    return nScore > MATE_BOUND ? nScore - nPlyIndex : nScore < -MATE_BOUND ? nScore + nPlyIndex : nScore;
}

// ---------------------------------------------------------------------------------------
// Pawn hash (24-byte entries) and evaluation cache (16-byte entries).
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
// one. bPrint asks for the console messages; pass ShowHashMessages() for the usual rule
// (console mode with the board display on). A size of 0 or below disables the table; a size
// that cannot be allocated prints the insufficient-memory message (the transposition table's
// always) and leaves the table disabled (null, count 0), to be retried at the next search.
// Allocate, free and clear only while no search runs.
bool ShowHashMessages();
bool AllocTransTable(bool bPrint);
bool AllocPawnHash(bool bPrint);
bool AllocEvalHash(bool bPrint);
void FreeTransTable();
void FreePawnHash();
void FreeEvalHash();
// Releases all three tables (the work of FreeHashTables).
void ReleaseHashTables();
// Zero-fill of an allocated table (the EPD runner clears the transposition table between
// positions).
void ClearTransTable();
void ClearPawnHash();
void ClearEvalHash();

// Raw image of the three tables for the dump file: all buckets (48 bytes each), then the pawn
// entries (24 bytes), then the eval entries (16 bytes), native little-endian, read and written
// word by word so that a search may run meanwhile. Reading needs tables of the same sizes as
// when writing (the file records no sizes). False on a short read or write.
bool WriteHashTables(FILE* f);
bool ReadHashTables(FILE* f);

// Entry counts for a size setting, computed in 64 bits; 0 for a setting of 0 or below.
uint64_t TransBucketsFor(int64_t nMB);     // MB * 1048576 / 48
uint64_t PawnHashEntriesFor(int64_t nKB);  // FloorPowerOfTwo(KB * 1024 / 24)
uint64_t EvalHashEntriesFor(int64_t nMB);  // FloorPowerOfTwo(MB * 1048576 / 16)
// 0 for 0, else the largest power of two not above n.
uint64_t FloorPowerOfTwo(uint64_t n);
