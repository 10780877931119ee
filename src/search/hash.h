// Transposition table, and the release and dump image of all three shared hash tables (the
// pawn hash and the evaluation cache are the evaluation's own, eval/cache.h).
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
#include "eval/cache.h"

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
// Sizing and allocation. Each allocator frees its old table first and zero-fills the new
// one. bPrint asks for the console messages; pass ShowHashMessages() for the usual rule
// (console mode with the board display on). A size of 0 or below disables the table; a size
// that cannot be allocated prints the insufficient-memory message (the transposition table's
// always) and leaves the table disabled (null, count 0), to be retried at the next search.
// Allocate, free and clear only while no search runs.
bool AllocTransTable(bool bPrint);
void FreeTransTable();
// Releases all three tables (the work of FreeHashTables).
void ReleaseHashTables();
// Zero-fill of an allocated table (the EPD runner clears the transposition table between
// positions).
void ClearTransTable();

// Raw image of the three tables for the dump file: all buckets (48 bytes each), then the pawn
// entries (24 bytes), then the eval entries (16 bytes), native little-endian, read and written
// word by word so that a search may run meanwhile. Reading needs tables of the same sizes as
// when writing (the file records no sizes). False on a short read or write.
bool WriteHashTables(FILE* f);
bool ReadHashTables(FILE* f);

// Entry counts for a size setting, computed in 64 bits; 0 for a setting of 0 or below.
uint64_t TransBucketsFor(int64_t nMB);  // MB * 1048576 / 48
